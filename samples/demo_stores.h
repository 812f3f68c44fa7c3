#pragma once
// Small stores of Outlook Express, Thunderbird and Eudora holding the same few messages, with
// attachments and subfolders, for the demo and for windows that show stores.
#include <string>

namespace mailsift::samples {

struct DemoStores {
    std::string OutlookExpress;  // the store folder, holding "Folders.dbx"
    std::string Thunderbird;     // a profile's "Local Folders"
    std::string Eudora;          // a mail folder
};

// Writes the stores into folder (created when missing) and returns where they are.
DemoStores WriteDemoStores(const std::string& folder);

}  // namespace mailsift::samples
