#include "config/outlook_store_list.h"

#include <gtest/gtest.h>

#include "config_fixture.h"
#include "support/file_helpers.h"

namespace mailsift::test {
namespace {

using OutlookStoreListTest = ConfigTest;

TEST_F(OutlookStoreListTest, LoadsPairsWithExactStateAndExistence) {
    EXPECT_TRUE(LoadMSOutlookFileList().empty());

    std::string existing = temp_ / "mail.pst";
    WriteFileBytes(existing, "");
    WriteFileBytes(ConfigFolder() + "MSOutlook.lst",
                   existing +
                       "\r\nChecked\r\n/gone/b.pst\nchecked\r/gone/c.pst\r\nUncheked\r\n"
                       "/gone/odd.pst\r\n");
    std::vector<TMSOutlookStore> stores = LoadMSOutlookFileList();
    ASSERT_EQ(stores.size(), 4u);
    EXPECT_EQ(stores[0].Path, existing);
    EXPECT_TRUE(stores[0].Selected);
    EXPECT_TRUE(stores[0].Exists);
    EXPECT_EQ(stores[1].Path, "/gone/b.pst");
    EXPECT_FALSE(stores[1].Selected);
    EXPECT_FALSE(stores[1].Exists);
    EXPECT_FALSE(stores[2].Selected);
    EXPECT_EQ(stores[3].Path, "/gone/odd.pst");
    EXPECT_FALSE(stores[3].Selected);
}

TEST_F(OutlookStoreListTest, SaveRewritesTheWholeFile) {
    std::string file = ConfigFolder() + "MSOutlook.lst";
    WriteFileBytes(file, "/old.pst\r\nChecked\r\n");
    SaveMSOutlookFileList(
        {{"/a.pst", true, false}, {"/bad\nname.pst", true, false}, {"/b c.pst", false, false}});
    EXPECT_EQ(ReadFileBytes(file), "/a.pst\r\nChecked\r\n/b c.pst\r\nUncheked\r\n");
    EXPECT_EQ(LoadMSOutlookFileList().size(), 2u);

    SaveMSOutlookFileList({});
    EXPECT_EQ(ReadFileBytes(file), "");
}

}  // namespace
}  // namespace mailsift::test
