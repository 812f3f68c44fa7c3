#pragma once
// How the Export button asks the user: Yes/No boxes with the language texts, and the Setup
// window or the connection wizard on Yes.
#include "export/export_command.h"

class QWidget;

namespace mailsift::ui {

class Windows;

class WindowExportDialogs : public ExportDialogs {
  public:
    WindowExportDialogs(QWidget* parent, Windows& windows) : parent_(parent), windows_(windows) {}
    bool Confirm(std::string_view key) override;
    void OpenSetup(std::optional<ExtractSource> source) override;
    void OpenOutlookWizard() override;

  private:
    QWidget* parent_;
    Windows& windows_;
};

}  // namespace mailsift::ui
