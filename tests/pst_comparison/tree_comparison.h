#pragma once
// Holds what a reader of personal folder files made of one against what another made of it:
// the folders by their path below the top, and the messages paired by subject.
#include <string>
#include <string_view>
#include <vector>

#include "tests/pst_comparison/reference_export.h"

namespace mailsift::test {

std::string JoinedPath(const std::vector<std::string>& path);
std::vector<std::string> Concatenated(std::vector<std::string> head,
                                      const std::vector<std::string>& tail);
// Tabs, CRs and LFs inside values as blanks, as tab-separated listings print them.
std::string AsPrinted(std::string text);
// A body with LF line ends and without white space at line ends and at the end.
std::string NormalisedBody(std::string_view text);
const StoredFolder* FindFolder(const StoredTree& tree, const std::vector<std::string>& path);
// Every folder as "path: item count", sorted, so that a difference reads as a diff.
std::vector<std::string> FolderLines(const StoredTree& tree);
// The folder of `actual`, one below its top, that stands for the top of `reference`: the one
// below which every folder of `reference` is found with at least as many items.
std::vector<std::string> ReferenceTopIn(const StoredTree& reference, const StoredTree& actual);

enum class Aspect { kSubjectsAndSenders, kBodies, kAttachments };

void CompareMessage(const StoredMessage& expected, const StoredMessage& actual, Aspect aspect);
// Pairs each message of `reference` with the first unpaired message of the same subject in the
// same folder of `actual` (below `topInActual`) and compares the aspect; `actual` may hold more.
void CompareMessages(const std::string& reader, const StoredTree& reference,
                     const std::vector<std::string>& topInActual, const std::string& actualName,
                     const StoredTree& actual, Aspect aspect);

}  // namespace mailsift::test
