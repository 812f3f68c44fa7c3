#pragma once
// A small personal folder file for the demo: an inbox with a subfolder and sent items, messages
// with recipients and attachments and without transport headers, so that .eml files are made
// from the message properties alone; and a calendar, contacts and tasks, each with one item
// whose fields are named properties.
#include <string>

#include "samples/pst_store_writer.h"

namespace mailsift::samples {

// Writes "Outlook/Personal Folders.pst" below folder (created when missing); its path.
std::string WriteDemoPersonalFolderFile(const std::string& folder);

// The items of the calendar, contacts and tasks folders.
PstMessage DemoAppointment();
PstMessage DemoContact();
PstMessage DemoTask();

}  // namespace mailsift::samples
