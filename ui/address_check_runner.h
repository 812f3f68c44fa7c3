#pragma once
// Checks many addresses without holding up the window: each domain is resolved once however
// many addresses share it, a bounded number of lookups at a time, each given up after a
// timeout, and every verdict is told as soon as it is known.
#include <QObject>
#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "addresses/address_check.h"

namespace mailsift::ui {

class AddressCheckRunner : public QObject {
    Q_OBJECT
  public:
    explicit AddressCheckRunner(QObject* parent = nullptr);
    ~AddressCheckRunner() override;

    void SetLookupTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

    // Checks addresses; each verdict names its address by its index. A check under way is
    // cancelled first. Verdicts known without a lookup are told before Start returns.
    void Start(const std::vector<std::string>& addresses);
    // Abandons the lookups under way and those not begun; no verdict follows.
    void Cancel();
    bool Running() const { return running_; }
    // Lookups begun by the current or last check.
    size_t LookupsStarted() const { return run_ ? run_->LookupsStarted() : 0; }

  signals:
    void Decided(int index, bool exists);
    // Every address has its verdict.
    void Finished();

  private:
    struct Pending {
        int lookupId = 0;
        size_t ticket = 0;
    };

    void Pump();
    void Answered(quint64 serial, bool resolves);
    void TimedOut(quint64 serial);
    void Tell(const std::vector<DomainCheckRun::Verdict>& verdicts);

    std::unique_ptr<DomainCheckRun> run_;
    std::unordered_map<quint64, Pending> pending_;  // by the serial of each lookup begun
    quint64 nextSerial_ = 0;
    std::chrono::milliseconds timeout_ = kDomainLookupTimeout;
    bool running_ = false;
    bool pumping_ = false;
};

}  // namespace mailsift::ui
