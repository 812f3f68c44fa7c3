#include "config/private_temp_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>

#include "config/settings.h"

namespace mailsift {

PrivateTempFolder::PrivateTempFolder() {
    // mkdtemp makes the folder for this user alone.
    std::string folder = ExpandEnvironmentPath("%Temp%") + "/mailsift-XXXXXX";
    if (::mkdtemp(folder.data()) != nullptr) path_ = folder;
}

PrivateTempFolder::~PrivateTempFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace mailsift
