#pragma once
// Finding the messages of mailbox files: which lines start a message, where each message of a
// file starts, and which files of a directory tree are mailboxes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "stores/core_types.h"

namespace mailsift {

// Whether a line (without its line end) starts a message: it begins with "From ", and after the
// next blank there are two colons (a time with seconds) or a blank-delimited time of hours and
// minutes ("9:05", "22:02").
bool IsSeparatorLine(std::string_view line);

// The number of messages in the mailbox file at path; offsets receives the byte offset of each
// message's separator line. A file whose first line is not a separator line is no mailbox and
// counts 0, as does anything that is not a regular file. The first line after a separator and
// the file's last line are never taken for separators. Counting ends early, with what was found,
// on a read error or when a stop is requested.
int32_t CountMailboxMessages(const std::string& path, TMessageOffset& offsets);

// One folder record per mailbox file below root, depth first, the entries of each directory in
// byte order of their names. Id counts the mailboxes found from 1; ParentId is the count at the
// moment the scan entered the file's directory (0 for root). Symbolic links to directories are
// not followed.
std::vector<TFolder> ScanMailboxDirectory(const std::string& root);

// A single mailbox file as a store of one folder (Id 1); empty when it holds no message.
std::vector<TFolder> ScanMailboxFile(const std::string& path);

}  // namespace mailsift
