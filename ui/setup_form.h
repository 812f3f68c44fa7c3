#pragma once
// The Setup window: which clients to export, where their mail is, the storage folder, the
// export format and options, the address file, the language, and the list of MS Outlook
// personal folder files. Its controls are bound to the settings keys they show by the
// property "settingKey" in its form.
#include <QDialog>
#include <memory>
#include <vector>

#include "config/outlook_store_list.h"
#include "config/settings.h"

class QLineEdit;
class QListWidgetItem;

namespace Ui {
class SetupForm;
}

namespace mailsift::ui {

class Windows;

class SetupForm : public QDialog {
    Q_OBJECT
  public:
    enum Page {
        MainPage,
        ExtractOptionsPage,
        MSOutlookPage,
        OutlookExpressPage,
        ThunderbirdPage,
        EudoraPage
    };

    // Loads the MS Outlook list and the settings, and fills the controls from them.
    SetupForm(Windows& windows, QWidget* parent = nullptr);
    ~SetupForm() override;

    // Shows the window modally on page.
    void ShowPage(Page page);
    // Copies the settings into the controls, refills the MS Outlook list from its file, and
    // creates the storage folder when it is missing.
    void ShowLogic();
    // OK and Apply: saves the MS Outlook list, copies the controls into the settings and saves
    // them, and re-labels every window when another language was chosen.
    void ApplySettings();
    // A client picture of the main window: chooses or drops source, and saves.
    void ToggleSource(ExtractSource source);
    // The Outlook Express folder picker; the folder is saved by the next OK or Apply.
    void PickOutlookExpressFolder();

    // The MS Outlook list as it stands in the window, in list order.
    std::vector<TMSOutlookStore> MSOutlookStores() const;
    void LoadMSOutlookFilesList();
    void SaveMSOutlookFilesList() const;
    // Adds path to the list ticked, or toggles the tick of the entry already listed.
    void AddStorePath(const QString& path);
    // The storage search; the files ticked there are added to the list, ticked.
    void SearchStorages();
    // The folder of the path in the path edit, where the file dialogs start.
    QString PathEditFolder() const;

    void done(int result) override;

  private:
    void BindActions();
    void BindClientPanels();
    void ShowPagePicture();
    void AddAction();
    void ReplaceAction();
    void DeleteAction();
    void DeleteInvalidAction();
    void BrowsePstFile();
    void SetOutlookExpressFromRegistry();
    // The folder picker over edit; true when a folder was chosen, which then ends with "/".
    bool PickFolder(QLineEdit* edit);
    void PickStorageFolder();
    void PickAddressFile();
    QListWidgetItem* FindStore(const QString& path) const;
    void AppendStore(const QString& path, bool ticked);
    static void MarkExisting(QListWidgetItem* item);
    bool eventFilter(QObject* watched, QEvent* event) override;

    std::unique_ptr<Ui::SetupForm> ui_;
    Windows& windows_;
};

}  // namespace mailsift::ui
