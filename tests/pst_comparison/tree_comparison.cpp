#include "tests/pst_comparison/tree_comparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

namespace mailsift::test {

std::string JoinedPath(const std::vector<std::string>& path) {
    if (path.empty()) return "(top)";
    std::string joined;
    for (const std::string& name : path) joined += (joined.empty() ? "" : "/") + name;
    return joined;
}

std::vector<std::string> Concatenated(std::vector<std::string> head,
                                      const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::string AsPrinted(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return text;
}

// pffexport writes a body as stored, with CR LF line ends; readpst writes LF line ends, adds a
// blank line before the next MIME boundary (or drops the last line end of a description) and,
// for quoted-printable parts, drops the blanks at line ends. Those differences are the
// writers', not the store's, so line ends become LF and white space at line ends and at the
// end goes.
std::string NormalisedBody(std::string_view text) {
    std::string result;
    const auto dropTrailingBlanks = [&result] {
        while (!result.empty() && (result.back() == ' ' || result.back() == '\t')) {
            result.pop_back();
        }
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            dropTrailingBlanks();
            result += '\n';
        } else {
            result += text[i];
        }
    }
    while (!result.empty() && std::isspace(static_cast<unsigned char>(result.back()))) {
        result.pop_back();
    }
    return result;
}

const StoredFolder* FindFolder(const StoredTree& tree, const std::vector<std::string>& path) {
    const auto found = std::find_if(tree.folders.begin(), tree.folders.end(),
                                    [&path](const StoredFolder& f) { return f.path == path; });
    return found == tree.folders.end() ? nullptr : &*found;
}

// Every folder as "path: item count", sorted, so that a difference reads as a diff.
std::vector<std::string> FolderLines(const StoredTree& tree) {
    std::vector<std::string> lines;
    for (const StoredFolder& folder : tree.folders) {
        lines.push_back(JoinedPath(folder.path) + ": " + std::to_string(folder.itemCount));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// readpst starts at the top of the personal folders and names it after the store; in the
// provider's tree, which starts at the root folder, that is the child of the root below which
// every folder readpst wrote is found, holding at least as many items.
std::vector<std::string> ReferenceTopIn(const StoredTree& reference, const StoredTree& actual) {
    std::vector<std::vector<std::string>> candidates;
    for (const StoredFolder& child : actual.folders) {
        if (child.path.size() != 1) continue;
        if (std::all_of(reference.folders.begin(), reference.folders.end(),
                        [&](const StoredFolder& folder) {
                            const StoredFolder* dumped =
                                FindFolder(actual, Concatenated(child.path, folder.path));
                            return dumped != nullptr && dumped->itemCount >= folder.itemCount;
                        })) {
            candidates.push_back(child.path);
        }
    }
    if (candidates.size() != 1) {
        ADD_FAILURE() << candidates.size()
                      << " folders below the root could be the reader's top folder";
        return {};
    }
    return candidates.front();
}

void CompareMessage(const StoredMessage& expected, const StoredMessage& actual, Aspect aspect) {
    switch (aspect) {
        case Aspect::kSubjectsAndSenders:
            // The subject itself paired the two messages.
            if (expected.senderName) {
                EXPECT_EQ(actual.senderName, AsPrinted(*expected.senderName));
            }
            if (expected.senderAddress) {
                EXPECT_EQ(actual.senderAddress, AsPrinted(*expected.senderAddress));
            }
            if (expected.submitTime) {
                EXPECT_EQ(actual.submitTime, expected.submitTime);
            }
            if (expected.size) {
                EXPECT_EQ(actual.size, expected.size);
            }
            break;
        case Aspect::kBodies:
            if (expected.body) {
                EXPECT_EQ(NormalisedBody(actual.body.value_or("")), NormalisedBody(*expected.body));
            }
            break;
        case Aspect::kAttachments: {
            if (!expected.attachments) break;
            const std::vector<StoredAttachment> none;
            const std::vector<StoredAttachment>& got =
                actual.attachments ? *actual.attachments : none;
            ASSERT_EQ(got.size(), expected.attachments->size());
            for (size_t i = 0; i < got.size(); ++i) {
                const StoredAttachment& wanted = (*expected.attachments)[i];
                SCOPED_TRACE("attachment " + std::to_string(i));
                if (wanted.name) {
                    EXPECT_EQ(got[i].name, wanted.name);
                }
                if (!wanted.bytes) continue;
                ASSERT_TRUE(got[i].bytes.has_value()) << "no attachment file was written";
                EXPECT_EQ(got[i].bytes->size(), wanted.bytes->size());
                EXPECT_TRUE(*got[i].bytes == *wanted.bytes) << "the attachment bytes differ";
            }
            break;
        }
    }
}

// Pairs each message a reader wrote with the first unpaired message of the same subject in
// the same folder of the provider's tree; the readers may list fewer items than the provider
// (pffexport skips free/busy data, readpst distribution lists), never other ones.
void CompareMessages(const std::string& reader, const StoredTree& reference,
                     const std::vector<std::string>& topInActual, const std::string& actualName,
                     const StoredTree& actual, Aspect aspect) {
    for (const StoredFolder& folder : reference.folders) {
        const std::vector<std::string> path = Concatenated(topInActual, folder.path);
        const StoredFolder* dumped = FindFolder(actual, path);
        if (dumped == nullptr) {
            ADD_FAILURE() << reader << " has folder " << JoinedPath(path) << ", " << actualName
                          << " has not";
            continue;
        }
        std::vector<bool> paired(dumped->messages.size());
        for (const StoredMessage& expected : folder.messages) {
            SCOPED_TRACE(reader + ", " + JoinedPath(path) + ", \"" + expected.subject + "\"");
            size_t i = 0;
            while (i < paired.size() &&
                   (paired[i] || dumped->messages[i].subject != AsPrinted(expected.subject))) {
                ++i;
            }
            if (i == paired.size()) {
                std::ostringstream subjects;
                for (const StoredMessage& m : dumped->messages) {
                    subjects << " \"" << m.subject << '"';
                }
                ADD_FAILURE() << actualName
                              << " lists no such message; it lists:" << subjects.str();
                continue;
            }
            paired[i] = true;
            CompareMessage(expected, dumped->messages[i], aspect);
        }
    }
}

}  // namespace mailsift::test
