#include "ui_test_support.h"

#include <QTimer>

#include "config/settings.h"

namespace mailsift::ui::test {

namespace {

class RecordingBoxes : public MessageBoxes {
  public:
    explicit RecordingBoxes(std::shared_ptr<RecordedBoxes> record) : record_(std::move(record)) {}
    bool Ask(QWidget*, const QString& text) override {
        record_->asked.append(text);
        return record_->answer;
    }
    void Tell(QWidget*, const QString& text) override { record_->told.append(text); }

  private:
    std::shared_ptr<RecordedBoxes> record_;
};

class RecordingOpener : public ShellOpener {
  public:
    explicit RecordingOpener(std::shared_ptr<RecordedOpens> record) : record_(std::move(record)) {}
    bool Open(const QUrl& address) override {
        record_->opened.append(address);
        return true;
    }

  private:
    std::shared_ptr<RecordedOpens> record_;
};

class FakeHostLookup : public HostLookup {
  public:
    explicit FakeHostLookup(std::shared_ptr<FakeDns> dns) : dns_(std::move(dns)) {}
    int Start(const QString& name, std::function<void(bool)> answer) override {
        const int id = ++lastId_;
        dns_->asked.append(name);
        if (dns_->silent.contains(name)) return id;
        const bool resolves = dns_->resolving.contains(name);
        QTimer::singleShot(dns_->delay, &context_,
                           [this, id, resolves, answer = std::move(answer)] {
                               if (!dns_->aborted.contains(id)) answer(resolves);
                           });
        return id;
    }
    void Abort(int id) override { dns_->aborted.append(id); }

  private:
    std::shared_ptr<FakeDns> dns_;
    QObject context_;
    int lastId_ = 0;
};

}  // namespace

FakeDnsInstalled::FakeDnsInstalled()
    : real_(InstallHostLookup(std::make_unique<FakeHostLookup>(dns_))) {}

FakeDnsInstalled::~FakeDnsInstalled() {
    InstallHostLookup(std::move(real_));
}

WindowTestFolder::WindowTestFolder()
    : startFolder_(std::filesystem::current_path()),
      realBoxes_(InstallMessageBoxes(std::make_unique<RecordingBoxes>(boxes_))),
      realOpener_(InstallShellOpener(std::make_unique<RecordingOpener>(opens_))) {
    // Nothing goes to the network from a test.
    WriteSetting("CheckForUpdate", "0");
}

WindowTestFolder::~WindowTestFolder() {
    InstallMessageBoxes(std::move(realBoxes_));
    InstallShellOpener(std::move(realOpener_));
    std::error_code ignored;
    std::filesystem::current_path(startFolder_, ignored);
}

void WindowTestFolder::ChooseClients(bool msOutlook, bool outlookExpress, bool thunderbird,
                                     bool eudora) {
    WriteSetting("ExtractFromMSOutlook", msOutlook ? "-1" : "0");
    WriteSetting("ExtractFromOutlookExpress", outlookExpress ? "-1" : "0");
    WriteSetting("ExtractFromThunderbird", thunderbird ? "-1" : "0");
    WriteSetting("ExtractFromEudora", eudora ? "-1" : "0");
}

}  // namespace mailsift::ui::test
