#include "addresses/address_sources.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/work_hooks.h"
#include "support/fake_store_backend.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class StoreFilesTest : public ::testing::Test {
  protected:
    std::string Make(const std::string& relative, const std::string& bytes = "x") {
        const fs::path path = dir_.path() / relative;
        fs::create_directories(path.parent_path());
        test::WriteFileBytes(path.string(), bytes);
        return path.string();
    }
    std::string Root() const { return dir_.path().string(); }

    test::TempDir dir_;
};

TEST_F(StoreFilesTest, MaskDecidesFilesAndFoldersEntered) {
    for (const char* name : {"a.dbx", "B.DBX", ".hidden.dbx", "x.dbxx", "notes.txt", "sub/c.dbx",
                             "deep.dbx/e.dbx", "deep.dbx/f.txt", "sub/inner/g"}) {
        Make(name);
    }
    std::vector<std::string> found;
    FindStoreFiles(Root(), "*.dbx", found);
    const std::string top = Root() + "/";
    EXPECT_THAT(found, ElementsAre(top + ".hidden.dbx", top + "B.DBX", top + "a.dbx",
                                   top + "deep.dbx/e.dbx"))
        << "only subfolders whose names match the mask are entered";

    std::vector<std::string> all;
    FindStoreFiles(top, "*", all);
    EXPECT_THAT(all, ElementsAre(top + ".hidden.dbx", top + "B.DBX", top + "a.dbx",
                                 top + "deep.dbx/e.dbx", top + "deep.dbx/f.txt", top + "notes.txt",
                                 top + "sub/c.dbx", top + "sub/inner/g", top + "x.dbxx"));

    std::vector<std::string> none;
    FindStoreFiles(Root() + "/missing", "*", none);
    EXPECT_THAT(none, IsEmpty());
}

TEST_F(StoreFilesTest, LinksLoopsAndSpecialFiles) {
    Make("Mail/Inbox");
    fs::create_directory_symlink(dir_.path() / "Mail", dir_.path() / "Mail/again");
    fs::create_symlink(dir_.path() / "Mail/Inbox", dir_.path() / "Mail/linked");
    ASSERT_EQ(mkfifo((dir_.path() / "Mail/pipe").c_str(), 0600), 0);
    std::vector<std::string> found;
    FindStoreFiles(Root() + "/Mail", "*", found);
    EXPECT_THAT(found, ElementsAre(Root() + "/Mail/Inbox", Root() + "/Mail/linked"))
        << "the folder reached again through the link is walked once; the pipe is no file";
}

TEST_F(StoreFilesTest, SourceStoresAreReplacedOnlyByAFind) {
    AddressExtraction run;
    run.FilesOf(AddressSource::OutlookExpress) = {"/old/Inbox.dbx"};
    Make("empty/notes.txt");
    EXPECT_FALSE(FindSourceStores(run, AddressSource::OutlookExpress, Root() + "/empty"));
    EXPECT_THAT(run.FilesOf(AddressSource::OutlookExpress), ElementsAre("/old/Inbox.dbx"));
    const std::string inbox = Make("oe/Inbox.dbx");
    EXPECT_TRUE(FindSourceStores(run, AddressSource::OutlookExpress, Root() + "/oe"));
    EXPECT_THAT(run.FilesOf(AddressSource::OutlookExpress), ElementsAre(inbox));
    EXPECT_FALSE(FindSourceStores(run, AddressSource::MSOutlook, Root() + "/oe"));
}

// Records what a run tells its window.
struct RunLog {
    std::vector<std::string> events;
    int64_t position = 0;
    int64_t maximum = 0;
    int64_t total = -1;

    ExtractionObserver Observer() {
        ExtractionObserver observer;
        observer.SourceStarted = [this](AddressSource s) {
            events.push_back("start " + std::string(SourceInfo(s).Tag));
        };
        observer.SourceEnded = [this](AddressSource s) {
            events.push_back("end " + std::string(SourceInfo(s).Tag));
        };
        observer.TotalChanged = [this](int64_t t) { total = t; };
        observer.ProgressChanged = [this](int64_t p, int64_t m) { position = p, maximum = m; };
        return observer;
    }
};

class ExtractionTest : public StoreFilesTest {
  protected:
    ExtractionTest() : backends_({&outlook_, nullptr, nullptr}) {
        outlook_.AddFolder("Inbox", 2);
        TMessage message;
        message.Body = "write to Bob@Y.org today";
        message.FromAddress = "ann@x.org";
        outlook_.UseMessage(message);
    }
    ~ExtractionTest() override { ClearStopRequest(); }

    void Select(AddressSource source, std::vector<std::string> files) {
        run_.Selected[AddressExtraction::Index(source)] = true;
        run_.FilesOf(source) = std::move(files);
    }
    std::vector<std::string> ListOf(AddressSource source) const {
        return run_.ListOf(source).entries();
    }

    test::TestProgramFolder home_;
    test::FakeStoreBackend outlook_{"outlook"};
    test::ScopedStoreBackends backends_;
    AddressExtraction run_;
    RunLog log_;
};

TEST_F(ExtractionTest, ScansSelectedSourcesInOrderWithCounts) {
    Select(AddressSource::MSOutlook, {Make("a.pst"), Root() + "/missing.pst"});
    Select(AddressSource::OutlookExpress,
           {Make("oe/Inbox.dbx", "<A@b.cd> <e@f.gh>"), Root() + "/oe/gone.dbx",
            Make("oe/Sent.dbx", "<a@b.cd> <i@j.kl>")});
    Select(AddressSource::Thunderbird, {Make("tb/Empty", ""), Make("tb/Inbox", "<a@b.cd>")});
    Select(AddressSource::Eudora, {Make("eu/In.mbx", "<m@n.op>")});
    run_.ListOf(AddressSource::Eudora).Add("kept@from.before");
    ClearStopRequest();
    RequestStop();  // left over from an earlier run: a run starts by clearing it

    EXPECT_EQ(RunAddressExtraction(run_, log_.Observer()), ExtractionEnd::Finished);
    EXPECT_THAT(ListOf(AddressSource::MSOutlook), ElementsAre("Bob@Y.org", "ann@x.org"));
    EXPECT_THAT(ListOf(AddressSource::OutlookExpress), ElementsAre("a@b.cd", "e@f.gh", "i@j.kl"));
    EXPECT_THAT(ListOf(AddressSource::Thunderbird), ElementsAre("a@b.cd"));
    EXPECT_THAT(ListOf(AddressSource::Eudora), ElementsAre("kept@from.before", "m@n.op"));
    EXPECT_EQ(log_.total, 2 + 3 + 1 + 1) << "MS Outlook counts its list, the others new entries";
    EXPECT_EQ(run_.SourceCount, 1);
    EXPECT_EQ(log_.maximum, 8);
    EXPECT_EQ(log_.position, 7) << "a missing Outlook Express file does not move the bar";
    EXPECT_THAT(log_.events, ElementsAre("start outlook", "end outlook", "start outlookexpress",
                                         "end outlookexpress", "start thunderbird",
                                         "end thunderbird", "start eudora", "end eudora"));
    EXPECT_EQ(outlook_.readCalls(), 2);
}

TEST_F(ExtractionTest, EndsEarly) {
    Select(AddressSource::MSOutlook, {});
    Select(AddressSource::OutlookExpress, {Make("oe/Inbox.dbx", "<a@b.cd>")});
    EXPECT_EQ(RunAddressExtraction(run_, log_.Observer()), ExtractionEnd::NoOutlookStores);
    EXPECT_THAT(ListOf(AddressSource::OutlookExpress), IsEmpty());
    EXPECT_THAT(log_.events, ElementsAre("start outlook"));

    run_.Selected = {};
    log_ = {};
    Select(AddressSource::OutlookExpress,
           {Make("oe/A.dbx", "<a@b.cd>"), Make("oe/B.dbx", ""), Make("oe/C.dbx", "<c@d.ef>")});
    Select(AddressSource::Thunderbird, {Make("tb/Inbox", "<t@b.cd>")});
    // An empty folder file is passed over; the files and sources after it are still scanned.
    EXPECT_EQ(RunAddressExtraction(run_, log_.Observer()), ExtractionEnd::Finished);
    EXPECT_THAT(ListOf(AddressSource::OutlookExpress), ElementsAre("a@b.cd", "c@d.ef"));
    EXPECT_THAT(ListOf(AddressSource::Thunderbird), ElementsAre("t@b.cd"));
    EXPECT_EQ(log_.position, 4) << "the empty file moves the bar too";

    run_ = AddressExtraction{};
    Select(AddressSource::Thunderbird,
           {Make("tb/A", "<a@b.cd> <x@y.zz>"), Make("tb/B", "<b@b.cd>")});
    Select(AddressSource::Eudora, {Make("eu/In.mbx", "<e@b.cd>")});
    ExtractionObserver stopper;
    stopper.SourceCountChanged = [](int64_t count) {
        if (count == 1) RequestStop();
    };
    EXPECT_EQ(RunAddressExtraction(run_, stopper), ExtractionEnd::Stopped);
    EXPECT_THAT(ListOf(AddressSource::Thunderbird), ElementsAre("a@b.cd"));
    EXPECT_THAT(ListOf(AddressSource::Eudora), IsEmpty());
}

TEST_F(ExtractionTest, FailuresEndASourceAFileOrTheRun) {
    // The window's counter failing stands for any failure inside a file's scan.
    ExtractionObserver failing;
    failing.SourceCountChanged = [](int64_t count) {
        if (count == 1) throw std::runtime_error("counter broke");
    };
    Select(AddressSource::OutlookExpress,
           {Make("oe/A.dbx", "<a@b.cd>"), Make("oe/B.dbx", "<b@b.cd>")});
    Select(AddressSource::Eudora, {Make("eu/A.mbx", "<e@b.cd>"), Make("eu/B.mbx", "<f@b.cd>")});
    EXPECT_EQ(RunAddressExtraction(run_, failing), ExtractionEnd::Finished);
    EXPECT_THAT(ListOf(AddressSource::OutlookExpress), ElementsAre("a@b.cd"))
        << "the Outlook Express source ends, the sources after it go on";
    EXPECT_THAT(ListOf(AddressSource::Eudora), ElementsAre("e@b.cd", "f@b.cd"))
        << "Eudora loses only the failing file's remainder";

    Select(AddressSource::Thunderbird, {Make("tb/A", "<t@b.cd>"), Make("tb/B", "<u@b.cd>")});
    run_.Selected[AddressExtraction::Index(AddressSource::OutlookExpress)] = false;
    EXPECT_EQ(RunAddressExtraction(run_, failing), ExtractionEnd::Failed);
    EXPECT_EQ(run_.FailureMessage, "counter broke");
    EXPECT_THAT(ListOf(AddressSource::Thunderbird), ElementsAre("t@b.cd"));
}

TEST(ReviewAndOutputTest, ReviewOrderAndBothOutputModes) {
    AddressExtraction run;
    for (AddressSource source :
         {AddressSource::MSOutlook, AddressSource::Thunderbird, AddressSource::Eudora}) {
        run.Selected[AddressExtraction::Index(source)] = true;
    }
    run.ListOf(AddressSource::Eudora).Add("zed@x.org");
    run.ListOf(AddressSource::Eudora).Add("Amy@x.org");
    run.ListOf(AddressSource::MSOutlook).Add("bob@x.org");
    run.ListOf(AddressSource::OutlookExpress).Add("unselected@x.org");
    run.ListOf(AddressSource::Thunderbird).Add("bob@x.org");

    std::vector<ReviewItem> items = MakeReviewList(run);
    EXPECT_THAT(
        items,
        ElementsAre(ReviewItem{"bob@x.org", "outlook"}, ReviewItem{"bob@x.org", "thunderbird"},
                    ReviewItem{"Amy@x.org", "eudora"}, ReviewItem{"zed@x.org", "eudora"}));
    EXPECT_EQ(run.ListOf(AddressSource::Eudora)[0], "Amy@x.org") << "the lists stay sorted";
    items[3].Caption += " [not exists]";

    test::TempDir out;
    WrittenFiles one = WriteAddressFiles(items, {.Folder = out.path().string()});
    EXPECT_THAT(one.Written, ElementsAre(out / "addresses.txt"));
    EXPECT_EQ(test::ReadFileBytes(out / "addresses.txt"),
              "bob@x.org\r\nbob@x.org\r\nAmy@x.org\r\nzed@x.org [not exists]\r\n");

    const std::string folder = out.path().string() + "/";
    WrittenFiles each = WriteAddressFiles(items, {.Mode = OutputMode::PerSource, .Folder = folder});
    EXPECT_THAT(each.Written,
                ElementsAre(out / "outlookddresses.txt", out / "thunderbirdddresses.txt",
                            out / "eudoraddresses.txt"));
    EXPECT_EQ(test::ReadFileBytes(out / "eudoraddresses.txt"),
              "Amy@x.org\r\nzed@x.org [not exists]\r\n");
    EXPECT_FALSE(fs::exists(out / "outlookexpressddresses.txt"));
    EXPECT_FALSE(fs::exists(out / "filaddresses.txt"));

    test::WriteFileBytes(out / "addresses.txt", "old content");
    EXPECT_THAT(WriteAddressFiles({}, {.Folder = folder}).Written,
                ElementsAre(out / "addresses.txt"));
    EXPECT_EQ(test::ReadFileBytes(out / "addresses.txt"), "") << "an empty list replaces the file";
    EXPECT_THAT(WriteAddressFiles({}, {.Mode = OutputMode::PerSource, .Folder = folder}).Written,
                IsEmpty());

    const WrittenFiles failed = WriteAddressFiles(items, {.Folder = out / "no/such"});
    EXPECT_THAT(failed.Written, IsEmpty());
    EXPECT_THAT(failed.Failed, ElementsAre(out / "no/such/addresses.txt"));
}

TEST(ReviewAndOutputTest, CsvFilesQuoteWhatNeedsItAndNameTheSource) {
    const std::vector<ReviewItem> items = {{"ann@x.org", "outlook"},
                                           {"odd,\"name\"@x.org", "outlook"},
                                           {"bob@y.org [not exists]", "eudora"}};
    const std::vector<AddressFile> one =
        ComposeAddressFiles(items, {.Format = OutputFormat::Csv, .Folder = "/out"});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].Path, "/out/addresses.csv");
    EXPECT_EQ(one[0].Text,
              "Address\r\nann@x.org\r\n\"odd,\"\"name\"\"@x.org\"\r\nbob@y.org [not exists]\r\n");

    const std::vector<AddressFile> each = ComposeAddressFiles(
        items, {.Mode = OutputMode::PerSource, .Format = OutputFormat::Csv, .Folder = "/out/"});
    ASSERT_EQ(each.size(), 2u);
    EXPECT_EQ(each[0].Path, "/out/outlookddresses.csv");
    EXPECT_EQ(each[0].Text,
              "Address,Source\r\nann@x.org,outlook\r\n\"odd,\"\"name\"\"@x.org\",outlook\r\n");
    EXPECT_EQ(each[1].Path, "/out/eudoraddresses.csv");
    EXPECT_EQ(each[1].Text, "Address,Source\r\nbob@y.org [not exists],eudora\r\n");

    const std::vector<AddressFile> empty =
        ComposeAddressFiles({}, {.Format = OutputFormat::Csv, .Folder = "/out"});
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].Text, "Address\r\n") << "an empty list still has its header";
    EXPECT_EQ(ComposeAddressFiles(
                  {}, {.Format = OutputFormat::Csv, .Folder = "/o", .OneFileName = "List.TXT"})[0]
                  .Path,
              "/o/List.csv");
    EXPECT_EQ(ComposeAddressFiles(
                  {}, {.Format = OutputFormat::Csv, .Folder = "/o", .OneFileName = "list"})[0]
                  .Path,
              "/o/list.csv");
}

TEST(ReviewAndOutputTest, TheSettingsAddressFileIsTheOneFileOnlyInItsFolder) {
    test::TempDir out;
    fs::create_directories(out / "store");
    fs::create_symlink(out / "store", out / "link");
    const std::string file = out / "store/EmailAddresses.txt";
    EXPECT_EQ(OneFileNameIn(out / "store", file), "EmailAddresses.txt");
    EXPECT_EQ(OneFileNameIn(out / "store/", file), "EmailAddresses.txt");
    EXPECT_EQ(OneFileNameIn(out / "link", file), "EmailAddresses.txt") << "the same folder";
    EXPECT_EQ(OneFileNameIn(out / "not-yet", out / "not-yet/mine.txt"), "mine.txt");
    EXPECT_EQ(OneFileNameIn(out.path().string(), file), "addresses.txt");
    EXPECT_EQ(OneFileNameIn(out / "store", ""), "addresses.txt");
}

}  // namespace
}  // namespace mailsift
