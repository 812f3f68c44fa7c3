#pragma once
#include <string>
#include <vector>

namespace mailsift {

struct TMSOutlookStore {
    std::string Path;
    bool Selected = false;
    bool Exists = false;  // a missing file is listed, but disabled
};

// The MS Outlook store list of ConfigFolder() + "MSOutlook.lst": per store a line with the path
// and a line "Checked" or "Uncheked". A missing list file is an empty list.
std::vector<TMSOutlookStore> LoadMSOutlookFileList();
// Rewrites the whole list file. Failures throw std::system_error.
void SaveMSOutlookFileList(const std::vector<TMSOutlookStore>& stores);

}  // namespace mailsift
