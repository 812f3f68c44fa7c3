#include "ui/host_lookup.h"

#include <QHostInfo>
#include <QObject>

#include "ui/replaceable_service.h"

namespace mailsift::ui {

namespace {

class SystemHostLookup : public HostLookup {
  public:
    int Start(const QString& name, std::function<void(bool)> answer) override {
        // A zero byte would cut the name short and look up another host than the one asked
        // for; no name at all is refused by the lookup itself, from the event loop.
        const QString asked = name.contains(QChar(0)) ? QString() : name;
        return QHostInfo::lookupHost(
            asked, &context_, [answer = std::move(answer)](const QHostInfo& info) {
                answer(info.error() == QHostInfo::NoError && !info.addresses().isEmpty());
            });
    }

    void Abort(int id) override { QHostInfo::abortHostLookup(id); }

  private:
    QObject context_;
};

using Service = ReplaceableService<HostLookup, SystemHostLookup>;

}  // namespace

HostLookup& CurrentHostLookup() {
    return Service::Current();
}

std::unique_ptr<HostLookup> InstallHostLookup(std::unique_ptr<HostLookup> lookup) {
    return Service::Install(std::move(lookup));
}

}  // namespace mailsift::ui
