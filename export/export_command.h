#pragma once
// The export of every chosen mail client, one after the other: MS Outlook's ticked personal
// folder files, then Outlook Express, Thunderbird and Eudora.
#include <optional>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "export/export_run.h"

namespace mailsift {

// How the command asks the user. The main window answers with its message boxes, setup dialog
// and wizard; the command line answers No.
class ExportDialogs {
  public:
    virtual ~ExportDialogs() = default;
    // A Yes/No question with the language text of key; true for Yes.
    virtual bool Confirm(std::string_view key) = 0;
    // The setup dialog on the page of source (the first page for none), modally.
    virtual void OpenSetup(std::optional<ExtractSource> source) = 0;
    // The MS Outlook connection wizard, modally.
    virtual void OpenOutlookWizard() = 0;
};

// What the command reports per exported store.
class ExportObserver {
  public:
    virtual ~ExportObserver() = default;
    virtual void StoreExported(const std::string& client, const std::string& storePath,
                               const ExportStoreResult& result) = 0;
};

// True when the settings choose at least one client to export.
bool AnyClientChosen();

// Exports every client chosen in the settings; the settings are read again after each question,
// as the dialogs may change them. Clears the stop flag first; a Stop ends the run after the
// current message and skips the remaining clients. False when no client was chosen.
bool ExportChosenClients(ExportDialogs& dialogs, ExportObserver* observer = nullptr);

// "MSOutlook", "OutlookExpress", "Thunderbird" or "Eudora": the name in archive names and
// in the history.
std::string ClientName(ExtractSource source);

}  // namespace mailsift
