#include "export/export_command.h"

#include <algorithm>
#include <filesystem>

#include "config/outlook_store_list.h"
#include "platform/file_system.h"
#include "platform/text_case.h"
#include "platform/work_hooks.h"

namespace mailsift {

namespace {

struct ClientStore {
    ExtractSource source;
    std::string TSettings::*baseFile;
    const char* notConfiguredKey;
};

constexpr ClientStore kFolderClients[] = {
    {SourceOutlookExpress, &TSettings::OutlookExpressBaseFile, "OutlookExpressNotAdjusted"},
    {SourceThunderbird, &TSettings::ThunderbirdBaseFile, "ThunderbirdNotAdjusted"},
    {SourceEudora, &TSettings::EudoraBaseFile, "EudoraNotAdjusted"},
};

bool PathExists(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::exists(path, error);
}

// Outlook Express keeps its folder list in "folders.dbx" inside the store folder, in whatever
// letter case the folder was copied with. A base that names a folder file itself is exported
// as that file rather than as a path that cannot exist.
std::string OutlookExpressStorePath(const std::string& base) {
    if (IsExistingFile(base)) return base;
    std::string folder = base;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (EqualsIgnoringCase(name, "folders.dbx")) return folder + "/" + name;
    }
    return folder + "/folders.dbx";
}

void Export(ExportRun& run, const std::string& storePath, ExtractSource source, bool saveAsEml,
            ExportObserver* observer) {
    const ExportStoreResult result =
        run.ExtractAllMessages(storePath, ClientName(source), saveAsEml);
    if (observer != nullptr) observer->StoreExported(ClientName(source), storePath, result);
}

void ExportMSOutlook(ExportRun& run, ExportDialogs& dialogs, ExportObserver* observer) {
    if (!IsExistingFile(ReadSetting("MSOutlookLibraryPath")) &&
        dialogs.Confirm("MSOutlookNotAdjusted")) {
        dialogs.OpenOutlookWizard();
    }
    run.StartClient(ExportOptions::FromSettings());
    const bool saveAsEml = Settings.MSOutlookStoreInEml;
    for (const TMSOutlookStore& store : LoadMSOutlookFileList()) {
        if (StopRequested()) break;
        if (!store.Selected) continue;
        Export(run, store.Path, SourceMSOutlook, saveAsEml, observer);
    }
}

void ExportFolderClient(ExportRun& run, const ClientStore& client, ExportDialogs& dialogs,
                        ExportObserver* observer) {
    if (!PathExists(Settings.*client.baseFile) && dialogs.Confirm(client.notConfiguredKey)) {
        dialogs.OpenSetup(client.source);
    }
    const std::string& base = Settings.*client.baseFile;
    const std::string storePath =
        client.source == SourceOutlookExpress ? OutlookExpressStorePath(base) : base;
    run.StartClient(ExportOptions::FromSettings());
    Export(run, storePath, client.source, true, observer);
}

}  // namespace

std::string ClientName(ExtractSource source) {
    switch (source) {
        case SourceMSOutlook:
            return "MSOutlook";
        case SourceOutlookExpress:
            return "OutlookExpress";
        case SourceThunderbird:
            return "Thunderbird";
        case SourceEudora:
            return "Eudora";
    }
    return {};
}

bool AnyClientChosen() {
    return std::any_of(Settings.ExtractFrom.begin(), Settings.ExtractFrom.end(),
                       [](bool chosen) { return chosen; });
}

bool ExportChosenClients(ExportDialogs& dialogs, ExportObserver* observer) {
    if (!AnyClientChosen()) {
        if (dialogs.Confirm("NoOneEmailClientSelected")) dialogs.OpenSetup(std::nullopt);
        return false;
    }
    ClearStopRequest();
    // One run for all clients, so that no client's files replace another's.
    ExportRun run(ExportOptions::FromSettings());
    if (Settings.ExtractFromMSOutlook()) ExportMSOutlook(run, dialogs, observer);
    for (const ClientStore& client : kFolderClients) {
        if (StopRequested()) break;
        if (Settings.ExtractFrom[client.source]) ExportFolderClient(run, client, dialogs, observer);
    }
    return true;
}

}  // namespace mailsift
