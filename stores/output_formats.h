#pragma once
// The forms in which a message leaves the program besides the store's own message file: a
// plain-text summary and an HTML page, built from the record the store facade fills so that
// they look the same for every store kind; and the two path rules the export uses.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/new_file.h"
#include "stores/core_types.h"

namespace mailsift {

// Write the message's header fields and body to targetFile (replacing it). The result is
// GetMessageBody's code; no file is written unless it is 0. A target that cannot be written
// throws std::system_error and leaves no partial file behind.
int32_t SaveMessageToTextFile(StoreHandle handle, const TFolder& folder, int32_t index,
                              const std::string& targetFile);
int32_t SaveMessageToHTMLFile(StoreHandle handle, const TFolder& folder, int32_t index,
                              const std::string& targetFile);
// The same into a file just created; kResultWriteFailed when it could not be written.
int32_t SaveMessageToTextFile(StoreHandle handle, const TFolder& folder, int32_t index,
                              NewFile& target);
int32_t SaveMessageToHTMLFile(StoreHandle handle, const TFolder& folder, int32_t index,
                              NewFile& target);

// The path with every run of "/" reduced to one.
std::string CollapseDoubleSeparators(const std::string& path);

// Creates a new file at path, or, when the file system refuses its file name, at the first free
// "NoName n" in the same folder with the same extension (without it when that is refused too).
// A missing folder is created. Nothing that exists is ever replaced: null with error EEXIST when
// the name is taken, or with the cause of any other failure.
std::unique_ptr<NewFile> CreateSafeFile(const std::string& path, int& error);

// CreateSafeFile at path, or at path with " (2)", " (3)" … before its extension when the name
// is taken: nothing already there is replaced, whoever wrote it. The creation itself tells a
// taken name, so no file is looked up first. Throws std::system_error when no file can be made.
std::unique_ptr<NewFile> CreateUnusedFile(const std::string& path);

}  // namespace mailsift
