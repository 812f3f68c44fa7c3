#include "ui_test_support.h"

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

}  // namespace

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
