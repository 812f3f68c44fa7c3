#pragma once
// The main window: the hub with one section per task, the client pictures that choose what
// the Export button exports, and the status line that shows every report message.
#include <QPixmap>
#include <QStringList>
#include <QWidget>
#include <array>
#include <memory>

#include "config/settings.h"

namespace Ui {
class MainForm;
}

namespace mailsift::ui {

class ClickableLabel;
class UpdateCheck;
class Windows;

class MainForm : public QWidget {
    Q_OBJECT
  public:
    // arguments: the command line after the program name ("/extract" exports on the first
    // activation).
    MainForm(Windows& windows, QStringList arguments);
    ~MainForm() override;

    // Shows each client picture in colour when its source is chosen in the settings, greyed
    // otherwise.
    void RefreshClientsImage();
    // The Export button: exports every chosen client, or stops the export under way.
    void MSOutlookActionExecute();
    bool ExportRunning() const { return exportRunning_; }
    // The address extraction wizard, modally.
    void ExtractAddressesActionExecute();
    // Opens the address file the settings name, or says that there is none.
    void Image8Click();
    // Runs the update check's action, as start-up does when the check is enabled.
    void CheckForUpdate();
    // A check the user asked for: this one and every later one says when there is no newer
    // version.
    void UpdateNow();

  protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BindActions();
    // The client pictures in ExtractSource order.
    std::array<ClickableLabel*, 4> ClientPictures() const;
    void ClientPictureClick(ExtractSource source);
    void RunActivationWork();
    void RunChosenExport();
    void SetExportCaption(bool running);

    std::unique_ptr<Ui::MainForm> ui_;
    Windows& windows_;
    std::unique_ptr<UpdateCheck> updateCheck_;
    QStringList arguments_;
    // 0–3 the clients in colour, 4–7 the same greyed, in ExtractSource order.
    std::array<QPixmap, 8> clientPictures_;
    QString restCaption_;
    int reportListener_ = 0;
    bool firstActivation_ = true;
    bool exportRunning_ = false;
};

}  // namespace mailsift::ui
