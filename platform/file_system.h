#pragma once
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/date_time.h"

namespace mailsift {

// Sets the file's last-modification time to the local date-time (whole seconds);
// every failure is ignored.
void SetFileDate(const std::string& path, TDateTime value);
// Whether a regular file, or a folder, is at path (following links); false on every error.
bool IsExistingFile(const std::string& path);
bool IsExistingFolder(const std::string& path);
// Creates the folder and every missing folder above it; true when the folder exists afterwards.
bool ForceDirectories(const std::string& path);
// Replaces the file at path with bytes. A write that fails throws std::system_error and removes
// what it wrote, so a half-written file is never taken for a whole one; a file that was there
// before is replaced only by a whole successor, and stays as it was when the write fails.
void WriteWholeFile(const std::string& path, std::string_view bytes);
// The same for bytes that write puts into the stream, so that they need not be held at once.
void WriteFileFrom(const std::string& path, const std::function<void(std::ostream&)>& write);
// A name for the file that is written in the folder of `path` before it takes path's place:
// unique in this process, hidden, and short, so that a target whose name is as long as the
// file system allows still has one.
std::string PartialSiblingPath(const std::string& path);
// The path without "/" at its end; "/" itself stays.
std::string WithoutTrailingSlashes(std::string path);

}  // namespace mailsift
