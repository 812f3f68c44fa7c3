#pragma once
// Host names are resolved through one interface, asynchronously, so that the address checks
// never hold up the window and tests answer them without a network.
#include <QString>
#include <functional>
#include <memory>

namespace mailsift::ui {

class HostLookup {
  public:
    virtual ~HostLookup() = default;
    // Starts resolving name and returns an id for Abort. answer(resolves) is called later from
    // the event loop, never from within Start, and at most once: true when the name has at
    // least one address. Every failure answers false.
    virtual int Start(const QString& name, std::function<void(bool resolves)> answer) = 0;
    // The answer of lookup id is not wanted any more; it is never given.
    virtual void Abort(int id) = 0;
};

// The lookup in force: the system's resolver (through QHostInfo) unless a test installed another.
HostLookup& CurrentHostLookup();
// Installs lookup (none puts the system's back) and returns the one that was in force.
std::unique_ptr<HostLookup> InstallHostLookup(std::unique_ptr<HostLookup> lookup);

}  // namespace mailsift::ui
