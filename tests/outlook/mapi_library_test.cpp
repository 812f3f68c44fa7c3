#include "outlook/mapi_library.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/report_log.h"
#include "config/settings.h"
#include "mapi-provider/provider_loader.h"
#include "support/file_helpers.h"
#include "support/test_program_folder.h"

namespace mailsift::test {
namespace {

using Lines = std::vector<std::string>;

class MapiLibraryTest : public ::testing::Test {
  protected:
    MapiLibraryTest()
        : listener_(AddReportListener([this](const std::string& line) { log_.push_back(line); })) {}
    ~MapiLibraryTest() override { RemoveReportListener(listener_); }

    // Loads with the setting at `path`; log_ holds the lines of this call.
    bool LoadFrom(const std::string& path) {
        WriteSetting("MSOutlookLibraryPath", path);
        log_.clear();
        return loader_.Load();
    }
    int Marker() { return loader_.Entries().MAPIInitialize(nullptr); }

    TestProgramFolder folder_;
    MapiLibraryLoader loader_;
    Lines log_;
    int listener_;
};

TEST_F(MapiLibraryTest, NoUsablePathLoadsNothing) {
    const Lines notSet = {"Initializate MAPI", "Config library path: %MSOutlookLibraryPath"};
    EXPECT_FALSE(loader_.Load());
    EXPECT_EQ(log_, notSet);
    // An empty value reads as not set.
    EXPECT_FALSE(LoadFrom(""));
    EXPECT_EQ(log_, notSet);
    const std::string missing = folder_.dir() / "missing.dll";
    EXPECT_FALSE(LoadFrom(missing));
    EXPECT_EQ(log_, (Lines{"Initializate MAPI", "Config library path: " + missing}));
    EXPECT_FALSE(loader_.Loaded());
}

TEST_F(MapiLibraryTest, FileThatIsNoLibraryFailsAndIsTriedAgain) {
    const std::string text = folder_.dir() / "msmapi32.dll";
    WriteFileBytes(text, "not a library");
    EXPECT_FALSE(LoadFrom(text));
    ASSERT_EQ(log_.size(), 4u);
    EXPECT_EQ(log_[2], "MSMAPI32Dll handle: 0");
    EXPECT_TRUE(log_[3].starts_with("MSMAPI32Dll load error: ")) << log_[3];

    EXPECT_TRUE(LoadFrom(TEST_MAPI_LIBRARY_FIRST));
    EXPECT_EQ(Marker(), 1);
}

TEST_F(MapiLibraryTest, FirstLibraryLoadedStaysInUse) {
    ASSERT_TRUE(LoadFrom(TEST_MAPI_LIBRARY_FIRST));
    ASSERT_EQ(log_.size(), 5u);
    const std::string handle = log_[2].substr(std::string("MSMAPI32Dll handle: ").size());
    EXPECT_NE(handle, "0");
    EXPECT_EQ(log_, (Lines{"Initializate MAPI",
                           std::string("Config library path: ") + TEST_MAPI_LIBRARY_FIRST,
                           "MSMAPI32Dll handle: " + handle, "MSMAPI32Dll intilization OK",
                           "MAPI library handle: " + handle}));
    EXPECT_EQ(Marker(), 1);
    mapi::LPSPropValue value = nullptr;
    EXPECT_EQ(loader_.Entries().HrGetOneProp(nullptr, 0, &value), mapi::MAPI_E_NOT_FOUND);

    EXPECT_TRUE(LoadFrom(TEST_MAPI_LIBRARY_SECOND));
    EXPECT_EQ(log_.size(), 3u);
    EXPECT_EQ(log_.back(), "MAPI library handle: " + handle);
    EXPECT_EQ(Marker(), 1);

    EXPECT_FALSE(LoadFrom(folder_.dir() / "gone.dll"));
    EXPECT_TRUE(loader_.Loaded());
    EXPECT_EQ(Marker(), 1);
}

TEST_F(MapiLibraryTest, LibraryLackingAnEntryIsNotKept) {
    EXPECT_FALSE(LoadFrom(TEST_MAPI_LIBRARY_LACKING));
    ASSERT_EQ(log_.size(), 5u);
    EXPECT_EQ(log_[4], "MAPI entry point missing: HrGetOneProp@12");
    EXPECT_FALSE(loader_.Loaded());
    EXPECT_EQ(loader_.Entries().MAPIInitialize, nullptr);

    EXPECT_TRUE(LoadFrom(TEST_MAPI_LIBRARY_SECOND));
    EXPECT_EQ(Marker(), 2);

    mapi::MapiEntryPoints entries;
    std::string error;
    EXPECT_FALSE(mapi_provider::LoadMapiLibrary(TEST_MAPI_LIBRARY_LACKING, entries, error));
    EXPECT_EQ(error, "missing entry point HrGetOneProp@12");
}

TEST_F(MapiLibraryTest, BareFileNameLoadsFromTheCurrentFolder) {
    const std::filesystem::path library(TEST_MAPI_LIBRARY_SECOND);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(library.parent_path());
    const bool loaded = LoadFrom(library.filename().string());
    std::filesystem::current_path(previous);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Marker(), 2);
}

}  // namespace
}  // namespace mailsift::test
