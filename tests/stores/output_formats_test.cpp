#include "stores/output_formats.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/date_time.h"
#include "stores/store_facade.h"
#include "support/fake_store_backend.h"
#include "support/file_helpers.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

using test::FakeStoreBackend;

class OutputFormatsTest : public ::testing::Test {
  protected:
    OutputFormatsTest() : backends_({nullptr, nullptr, &mailbox_}) {
        mailbox_.AddFolder("MailBox/Inbox", 3);
        message_.FromName = "Ann Smith";
        message_.FromAddress = "ann@example.org";
        message_.ToName = "Bob";
        message_.ToAddress = "bob@example.org";
        message_.Subject = "Plans";
        message_.Created = EncodeDateTime({2004, 7, 1, 9, 5, 3, 0});
        message_.Received = EncodeDateTime({2004, 7, 2, 0, 0, 0, 0});
        message_.Size = 1234;
        message_.Body = "first line\r\nsecond line\r\n";
    }

    // Opens the fake store, renders message 0 with save, and returns the file's bytes.
    std::string Render(int32_t (*save)(StoreHandle, const TFolder&, int32_t, const std::string&)) {
        mailbox_.UseMessage(message_);
        TFolderList folders;
        const StoreHandle handle = OpenMessageStore(home_.dir().path().string(), folders);
        EXPECT_GT(handle, kMaxResultCode);
        const std::string target = home_.dir() / "out";
        EXPECT_EQ(save(handle, *folders[0], 0, target), kResultSuccess);
        CloseMessageStore(handle);
        return test::ReadFileBytes(target);
    }

    test::TestProgramFolder home_;
    FakeStoreBackend mailbox_{"mailbox"};
    test::ScopedStoreBackends backends_;
    TMessage message_;
};

TEST_F(OutputFormatsTest, TextSummaryLines) {
    EXPECT_EQ(Render(SaveMessageToTextFile),
              "From:\tAnn Smith <ann@example.org>\r\n"
              "To:\tBob bob@example.org\r\n"
              "Subject:\tPlans\r\n"
              "Create:\t01.07.2004 09:05:03\r\n"
              "Recive:\t02.07.2004\r\n"
              "Size:\t1234 byte\r\n"
              "Body:\r\n"
              "first line\r\nsecond line\r\n\r\n");

    message_.FromName.clear();
    EXPECT_EQ(Render(SaveMessageToTextFile).substr(0, 24), "From:\t <ann@example.org>");
}

TEST_F(OutputFormatsTest, HtmlPageLines) {
    EXPECT_EQ(
        Render(SaveMessageToHTMLFile),
        "\xEF\xBB\xBF<html>\r\n"
        "<title>Plans</title>\r\n"
        "<body>\r\n"
        "<b>From:</b>\tAnn Smith <a href=\"mailto:ann@example.org\">ann@example.org</a><br>\r\n"
        "<b>To:</b>\tBob <a href=\"mailto:bob@example.org\">bob@example.org</a><br>\r\n"
        "<b>Subject:</b>\tPlans<br>\r\n"
        "<b>Create:</b>\t01.07.2004 09:05:03<br>\r\n"
        "<b>Recive:</b>\t02.07.2004<br>\r\n"
        "<b>Size:</b>\t1234 byte<br><br><br>\r\n"
        "<p>first line</p>\r\n"
        "<p>second line</p>\r\n"
        "</body>\r\n"
        "</html>\r\n");
}

TEST_F(OutputFormatsTest, HtmlBodySplitsAtEveryLineEndAndEmptyBodyHasNoParagraph) {
    message_.Body = "a\nb\rc\r\n\r\nd";
    const std::string page = Render(SaveMessageToHTMLFile);
    EXPECT_NE(
        page.find("<br><br><br>\r\n<p>a</p>\r\n<p>b</p>\r\n<p>c</p>\r\n<p></p>\r\n<p>d</p>\r\n"
                  "</body>"),
        std::string::npos);

    message_.Body.clear();
    EXPECT_NE(Render(SaveMessageToHTMLFile).find("<br><br><br>\r\n</body>"), std::string::npos);
}

TEST_F(OutputFormatsTest, HtmlPageKeepsMessageTextOutOfTheMarkup) {
    message_.Subject = "</title><script>alert(1)</script>";
    message_.FromName = "<b>x</b> & co";
    message_.FromAddress = "a\"><script>x</script>@b";
    message_.Body = "<img src=x onerror='y'>";
    const std::string page = Render(SaveMessageToHTMLFile);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_NE(page.find("<title>&lt;/title&gt;&lt;script&gt;alert(1)&lt;/script&gt;</title>"),
              std::string::npos);
    EXPECT_NE(page.find("&lt;b&gt;x&lt;/b&gt; &amp; co <a href=\"mailto:a&quot;&gt;"),
              std::string::npos);
    EXPECT_NE(page.find("<p>&lt;img src=x onerror=&#39;y&#39;&gt;</p>"), std::string::npos);
}

TEST_F(OutputFormatsTest, FailedReadWritesNoFileAndUnwritableTargetThrows) {
    TFolderList folders;
    const StoreHandle handle = OpenMessageStore(home_.dir().path().string(), folders);
    const std::string target = home_.dir() / "out.txt";
    EXPECT_EQ(SaveMessageToTextFile(handle, *folders[0], 7, target), kResultBadMessageIndex);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_THROW(SaveMessageToHTMLFile(handle, *folders[0], 0, home_.dir() / "none/out.html"),
                 std::system_error);
    // What already stands under the name and cannot be opened for writing (a read-only file of
    // someone else's, here a folder) was never written by the save and is not removed by it.
    const std::string taken = home_.dir() / "taken.txt";
    std::filesystem::create_directory(taken);
    EXPECT_THROW(SaveMessageToTextFile(handle, *folders[0], 0, taken), std::system_error);
    EXPECT_TRUE(std::filesystem::is_directory(taken));
    CloseMessageStore(handle);
}

TEST(PathRules, CollapseDoubleSeparators) {
    EXPECT_EQ(CollapseDoubleSeparators("MailBox//D//B"), "MailBox/D/B");
    EXPECT_EQ(CollapseDoubleSeparators("//a///b////"), "/a/b/");
    EXPECT_EQ(CollapseDoubleSeparators("plain/path"), "plain/path");
}

TEST(PathRules, CreateSafeFileCreatesGoodNamesAndTheFolderButNeverTakesAName) {
    test::TempDir dir;
    int error = 0;
    const std::string path = dir / "new/sub/Re: plans?.eml";
    const auto created = CreateSafeFile(path, error);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->Path(), path);
    EXPECT_TRUE(std::filesystem::is_regular_file(path));

    test::WriteFileBytes(dir / "kept.txt", "mine");
    EXPECT_EQ(CreateSafeFile(dir / "kept.txt", error), nullptr);
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(test::ReadFileBytes(dir / "kept.txt"), "mine");
}

TEST(PathRules, CreateSafeFileFallsBackToTheFirstFreeNoName) {
    test::TempDir dir;
    int error = 0;
    const auto pathOf = [&error](const std::string& path) {
        const auto file = CreateSafeFile(path, error);
        return file ? file->Path() : "(none)";
    };
    const std::string tooLong = dir / (std::string(300, 'x') + ".eml");
    EXPECT_EQ(pathOf(tooLong), dir / "NoName 1.eml");
    EXPECT_EQ(pathOf(tooLong), dir / "NoName 2.eml");
    // A number freed again is not looked for; one taken meanwhile by someone else is passed.
    std::filesystem::remove(dir / "NoName 1.eml");
    test::WriteFileBytes(dir / "NoName 3.eml", "someone else's");
    EXPECT_EQ(pathOf(tooLong), dir / "NoName 4.eml");
    EXPECT_EQ(test::ReadFileBytes(dir / "NoName 3.eml"), "someone else's");

    EXPECT_EQ(pathOf(dir / std::string("a\0b.txt", 7)), dir / "NoName 1.txt");
    EXPECT_EQ(pathOf(dir / ".."), dir / "NoName 1");
    // An extension too long for any name is left off.
    EXPECT_EQ(pathOf(dir / ("a." + std::string(300, 'e'))), dir / "NoName 2");
}

}  // namespace
}  // namespace mailsift
