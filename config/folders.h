#pragma once
#include <string>

namespace mailsift {

// Fixes the program folder: the executable's folder, or the folder named by MAILSIFT_HOME
// (created when missing), or ${XDG_DATA_HOME:-~/.local/share}/mailsift when the executable's
// folder is not writable. A program folder other than the executable's gets the missing files
// of the shipped "Config" folder copied into its own; existing files are never overwritten.
// The current directory is left alone. May be called again (tests do).
void InitFolders(const std::string& executablePath);

// Without a trailing "/"; empty before InitFolders.
const std::string& ProgramFolder();
// ProgramFolder() + "/Config/".
const std::string& ConfigFolder();

// The running executable, from /proc/self/exe; empty when that cannot be read.
std::string ExecutablePath();

}  // namespace mailsift
