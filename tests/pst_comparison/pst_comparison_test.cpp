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
#include "tests/pst_comparison/tree_comparison.h"

namespace mailsift::test {
namespace {

const char* const kFixtures[] = {"dist-list", "sample1", "sample2", "submessage"};

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
        exports_ = &ExportsOf(GetParam());
    }

    void CompareWithBoth(Aspect aspect) const {
        CompareMessages("pffexport", exports_->pffexport, {}, "mapi-dump", exports_->dump, aspect);
        CompareMessages("readpst", exports_->readpst,
                        ReferenceTopIn(exports_->readpst, exports_->dump), "mapi-dump",
                        exports_->dump, aspect);
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
    const std::vector<std::string> top = ReferenceTopIn(readpst, exports_->dump);
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
