#pragma once
#include <string>

#include "platform/date_time.h"

namespace mailsift {

// Sets the file's last-modification time to the local date-time (whole seconds);
// every failure is ignored.
void SetFileDate(const std::string& path, TDateTime value);
// Creates the folder and every missing folder above it; true when the folder exists afterwards.
bool ForceDirectories(const std::string& path);
// The path without "/" at its end; "/" itself stays.
std::string WithoutTrailingSlashes(std::string path);

}  // namespace mailsift
