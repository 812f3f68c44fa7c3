#pragma once
// A small personal folder file for the demo: an inbox with a subfolder and sent items, messages
// with recipients and attachments and without transport headers, so that .eml files are made
// from the message properties alone.
#include <string>

namespace mailsift::samples {

// Writes "Outlook/Personal Folders.pst" below folder (created when missing); its path.
std::string WriteDemoPersonalFolderFile(const std::string& folder);

}  // namespace mailsift::samples
