#pragma once
// The forms in which a message leaves the program besides the store's own message file: a
// plain-text summary and an HTML page, built from the record the store facade fills so that
// they look the same for every store kind; and the two path rules the export uses.
#include <cstdint>
#include <string>

#include "stores/core_types.h"

namespace mailsift {

// Write the message's header fields and body to targetFile (replacing it). The result is
// GetMessageBody's code; no file is written unless it is 0. A target that cannot be written
// throws std::system_error and leaves no partial file behind.
int32_t SaveMessageToTextFile(StoreHandle handle, const TFolder& folder, int32_t index,
                              const std::string& targetFile);
int32_t SaveMessageToHTMLFile(StoreHandle handle, const TFolder& folder, int32_t index,
                              const std::string& targetFile);

// The path with every run of "/" reduced to one.
std::string CollapseDoubleSeparators(const std::string& path);

// The path to write to: unchanged when the file system takes its file name, otherwise the
// first free "NoName n" in the same folder with the same extension. The folder is created.
std::string MakeSafeFileName(const std::string& path);

}  // namespace mailsift
