#include "ui/address_check_runner.h"

#include <QPointer>
#include <QString>
#include <QTimer>

#include "ui/host_lookup.h"

namespace mailsift::ui {

AddressCheckRunner::AddressCheckRunner(QObject* parent) : QObject(parent) {}

AddressCheckRunner::~AddressCheckRunner() {
    Cancel();
}

void AddressCheckRunner::Start(const std::vector<std::string>& addresses) {
    Cancel();
    run_ = std::make_unique<DomainCheckRun>();
    running_ = true;
    for (size_t i = 0; i < addresses.size() && running_; ++i) {
        if (const std::optional<bool> exists = run_->Add(i, addresses[i])) {
            emit Decided(static_cast<int>(i), *exists);
        }
    }
    Pump();
}

void AddressCheckRunner::Cancel() {
    for (const auto& [serial, lookup] : pending_) CurrentHostLookup().Abort(lookup.lookupId);
    pending_.clear();
    running_ = false;
}

void AddressCheckRunner::Pump() {
    // An answer told while lookups are being begun lands here again; the loop below carries on.
    if (pumping_) return;
    pumping_ = true;
    while (running_ && pending_.size() < kDomainLookupsAtOnce) {
        const std::optional<DomainCheckRun::Lookup> lookup = run_->NextLookup();
        if (!lookup) break;
        const quint64 serial = nextSerial_++;
        pending_[serial].ticket = lookup->ticket;
        const QPointer<AddressCheckRunner> self(this);
        const int id = CurrentHostLookup().Start(QString::fromStdString(lookup->host),
                                                 [self, serial](bool resolves) {
                                                     if (self) self->Answered(serial, resolves);
                                                 });
        if (const auto it = pending_.find(serial); it != pending_.end()) it->second.lookupId = id;
        QTimer::singleShot(timeout_, this, [this, serial] { TimedOut(serial); });
    }
    pumping_ = false;
    if (running_ && pending_.empty() && run_->Finished()) {
        running_ = false;
        emit Finished();
    }
}

void AddressCheckRunner::Answered(quint64 serial, bool resolves) {
    const auto it = pending_.find(serial);
    // A lookup given up, or of a check cancelled, answers into the void.
    if (it == pending_.end()) return;
    const size_t ticket = it->second.ticket;
    pending_.erase(it);
    Tell(run_->Answer(ticket, resolves));
    Pump();
}

void AddressCheckRunner::TimedOut(quint64 serial) {
    const auto it = pending_.find(serial);
    if (it == pending_.end()) return;
    CurrentHostLookup().Abort(it->second.lookupId);
    const size_t ticket = it->second.ticket;
    pending_.erase(it);
    Tell(run_->Answer(ticket, false));
    Pump();
}

void AddressCheckRunner::Tell(const std::vector<DomainCheckRun::Verdict>& verdicts) {
    for (const DomainCheckRun::Verdict& verdict : verdicts) {
        emit Decided(static_cast<int>(verdict.key), verdict.exists);
        // A receiver may have cancelled the check.
        if (!running_) return;
    }
}

}  // namespace mailsift::ui
