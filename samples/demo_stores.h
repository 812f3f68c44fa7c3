#pragma once
// Small stores of every client: Outlook Express, Thunderbird and Eudora holding the same few
// messages, with attachments and subfolders, and a personal folder file of MS Outlook, for the
// demo and for windows that show stores.
#include <string>

namespace mailsift::samples {

struct DemoStores {
    std::string MSOutlook;       // a personal folder file
    std::string OutlookExpress;  // the store folder, holding "Folders.dbx"
    std::string Thunderbird;     // a profile's "Local Folders"
    std::string Eudora;          // a mail folder
};

// Writes the stores into folder (created when missing) and returns where they are.
DemoStores WriteDemoStores(const std::string& folder);

}  // namespace mailsift::samples
