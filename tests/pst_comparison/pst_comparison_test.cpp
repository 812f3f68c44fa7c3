// What the MAPI provider gives through mapi-dump, held against what pffexport and readpst
// extract from the same personal folder files written by Outlook.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "tests/pst_comparison/reference_export.h"

namespace mailsift::test {
namespace {

const char* const kFixtures[] = {"dist-list", "sample1", "sample2", "submessage"};

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

// mapi-dump prints tabs, CRs and LFs inside values as blanks.
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
std::vector<std::string> ReadpstTopInDump(const StoredTree& readpst, const StoredTree& dump) {
    std::vector<std::vector<std::string>> candidates;
    for (const StoredFolder& child : dump.folders) {
        if (child.path.size() != 1) continue;
        if (std::all_of(readpst.folders.begin(), readpst.folders.end(),
                        [&](const StoredFolder& folder) {
                            const StoredFolder* dumped =
                                FindFolder(dump, Concatenated(child.path, folder.path));
                            return dumped != nullptr && dumped->itemCount >= folder.itemCount;
                        })) {
            candidates.push_back(child.path);
        }
    }
    if (candidates.size() != 1) {
        ADD_FAILURE() << candidates.size()
                      << " folders below the provider's root could be readpst's top folder";
        return {};
    }
    return candidates.front();
}

struct Exports {
    TempDir dir;
    StoredTree pffexport;
    StoredTree readpst;
    StoredTree dump;
};

// Each file is exported once by each reader and shared by the tests.
const Exports& ExportsOf(const std::string& fixture) {
    static std::map<std::string, std::unique_ptr<Exports>> cache;
    std::unique_ptr<Exports>& exports = cache[fixture];
    if (!exports) {
        auto fresh = std::make_unique<Exports>();
        const std::string pst = SharedFixturesDir() + "/pst/" + fixture + ".pst";
        fresh->pffexport = ExportWithPffexport(pst, fresh->dir.path().string());
        fresh->readpst = ExportWithReadpst(pst, fresh->dir.path().string());
        fresh->dump = ReadMapiDump(MAILSIFT_MAPI_DUMP, pst, fresh->dir.path().string());
        exports = std::move(fresh);
    }
    return *exports;
}

enum class Aspect { kSubjectsAndSenders, kBodies, kAttachments };

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
                ASSERT_TRUE(got[i].bytes.has_value()) << "mapi-dump wrote no attachment file";
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
                     const std::vector<std::string>& topInDump, const StoredTree& dump,
                     Aspect aspect) {
    for (const StoredFolder& folder : reference.folders) {
        const std::vector<std::string> path = Concatenated(topInDump, folder.path);
        const StoredFolder* dumped = FindFolder(dump, path);
        if (dumped == nullptr) {
            ADD_FAILURE() << reader << " has folder " << JoinedPath(path) << ", mapi-dump has not";
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
                ADD_FAILURE() << "mapi-dump lists no such message; it lists:" << subjects.str();
                continue;
            }
            paired[i] = true;
            CompareMessage(expected, dumped->messages[i], aspect);
        }
    }
}

class PstComparison : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (SharedFixturesDir().empty()) {
            GTEST_SKIP() << "../shared is absent: no personal folder files to compare";
        }
        for (const char* reader : {"pffexport", "readpst"}) {
            if (!ProgramInstalled(reader)) {
                GTEST_SKIP() << reader << " is not installed (Debian pff-tools, pst-utils)";
            }
        }
        if (std::string_view(MAILSIFT_MAPI_DUMP).empty()) {
            GTEST_SKIP() << "mapi-dump is not part of this build";
        }
        exports_ = &ExportsOf(GetParam());
    }

    void CompareWithBoth(Aspect aspect) const {
        CompareMessages("pffexport", exports_->pffexport, {}, exports_->dump, aspect);
        CompareMessages("readpst", exports_->readpst,
                        ReadpstTopInDump(exports_->readpst, exports_->dump), exports_->dump,
                        aspect);
    }

    const Exports* exports_ = nullptr;
};

// pffexport exports every folder below the root, empty ones and search folders included,
// and counts what it exported and what it skipped.
TEST_P(PstComparison, FolderTreeAndCountsMatchPffexport) {
    EXPECT_EQ(FolderLines(exports_->dump), FolderLines(exports_->pffexport));
}

TEST_P(PstComparison, FolderTreeHoldsWhatReadpstWrote) {
    const StoredTree& readpst = exports_->readpst;
    ASSERT_TRUE(readpst.storeName.has_value()) << "readpst wrote nothing";
    EXPECT_EQ(exports_->dump.storeName, readpst.storeName);
    const std::vector<std::string> top = ReadpstTopInDump(readpst, exports_->dump);
    for (const StoredFolder& folder : readpst.folders) {
        const StoredFolder* dumped = FindFolder(exports_->dump, Concatenated(top, folder.path));
        ASSERT_NE(dumped, nullptr) << JoinedPath(folder.path);
        EXPECT_GE(dumped->itemCount, folder.itemCount) << JoinedPath(folder.path);
        EXPECT_GE(dumped->messages.size(), folder.itemCount) << JoinedPath(folder.path);
    }
}

TEST_P(PstComparison, SubjectsAndSendersMatch) {
    CompareWithBoth(Aspect::kSubjectsAndSenders);
}

TEST_P(PstComparison, BodiesMatch) {
    CompareWithBoth(Aspect::kBodies);
}

TEST_P(PstComparison, AttachmentNamesAndBytesMatch) {
    CompareWithBoth(Aspect::kAttachments);
}

INSTANTIATE_TEST_SUITE_P(OutlookFiles, PstComparison, ::testing::ValuesIn(kFixtures),
                         [](const ::testing::TestParamInfo<const char*>& fixture) {
                             std::string name = fixture.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace mailsift::test
