#include "config/outlook_store_list.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "config/folders.h"
#include "config/text_file.h"
#include "platform/file_system.h"

namespace mailsift {

namespace {

std::string ListFile() {
    return ConfigFolder() + "MSOutlook.lst";
}

}  // namespace

std::vector<TMSOutlookStore> LoadMSOutlookFileList() {
    std::vector<TMSOutlookStore> stores;
    std::optional<std::string> text = ReadTextFile(ListFile());
    if (!text) return stores;
    std::vector<std::string> lines = SplitLines(*text);
    for (size_t i = 0; i < lines.size(); i += 2) {
        const std::string& path = lines[i];
        bool hasState = i + 1 < lines.size();
        // A path without its state line is the user's entry all the same; only a stray empty
        // last line is no entry at all.
        if (!hasState && path.empty()) break;
        TMSOutlookStore store;
        store.Path = path;
        store.Selected = hasState && lines[i + 1] == "Checked";
        store.Exists = IsExistingFile(path);
        stores.push_back(std::move(store));
    }
    return stores;
}

void SaveMSOutlookFileList(const std::vector<TMSOutlookStore>& stores) {
    std::vector<std::string> lines;
    for (const TMSOutlookStore& store : stores) {
        // A path holding a line break would shift every later pair; such a file name cannot be
        // listed in this format, so it is left out rather than corrupting the list.
        if (store.Path.find_first_of("\r\n") != std::string::npos) continue;
        lines.push_back(store.Path);
        lines.push_back(store.Selected ? "Checked" : "Uncheked");
    }
    WriteTextFile(ListFile(), JoinLines(lines));
}

}  // namespace mailsift
