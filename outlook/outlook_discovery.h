#pragma once
// Finds what reading MS Outlook stores needs on this system: the MAPI library and the
// personal folder files in MS Outlook's default data folder.
#include <string>
#include <vector>

#include "config/outlook_store_list.h"

namespace mailsift {

// MS Outlook's default data folder of the user (with a trailing "/"), or "" when none exists.
std::string DefaultOutlookDataFolder();

// Adds the personal folder files of the default data folders to `stores`, ticked; a file
// already listed is ticked instead of added again.
void FindDefaultPstFiles(std::vector<TMSOutlookStore>& stores);

// Sets the setting "MSOutlookLibraryPath" to FindMapiLibraryPath() when it names no existing
// file, so that a fresh installation finds the MAPI library beside the program.
void FillMapiLibraryPath();

// The work done each time the main window becomes active: fills in the MAPI library path when
// the setting names no existing file, and, when the list of personal folder files is empty,
// fills it with the default ones and saves it. Failures are passed over.
void RunOutlookActivationDiscovery();

}  // namespace mailsift
