#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/cli.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

using test::TempDir;
using test::WriteFileBytes;

struct ShowRun {
    int status;
    std::string out;
    std::string err;
};

// The command reads the settings as every command does: from a program folder of the test's own,
// not from whatever folder an earlier test in this process left behind.
class ShowCommandTest : public ::testing::Test {
  protected:
    test::TestProgramFolder home_;
};

ShowRun Show(const std::string& path, bool json = true) {
    std::ostringstream out, err;
    std::vector<std::string> args{"show", path};
    if (json) args.emplace_back("--json");
    const int status = RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

TEST_F(ShowCommandTest, PrintsTheModelAsJson) {
    TempDir folder;
    const std::string path = folder / "m.eml";
    WriteFileBytes(path,
                   "From: =?utf-8?q?J=C3=B6rg?= <j@example.com>\r\nTo: \"A \\\"B\\\"\" <a@x>\r\n"
                   "Cc: raw\xFF@example.com\r\n"
                   "Subject: tab\there\r\nMIME-Version: 1.0\r\n"
                   "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                   "--b\r\nContent-Type: text/plain; charset=iso-8859-1\r\n\r\ncaf\xE9\r\n"
                   "--b\r\nContent-Type: application/octet-stream; name=a.bin\r\n"
                   "Content-Transfer-Encoding: base64\r\n\r\nYWJj\r\n--b--\r\n");
    const ShowRun run = Show(path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(R"("subject":"tab\there")"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(R"("from":[{"name":"J)"
                           "\xC3\xB6"
                           R"(rg","address":"j@example.com"}])"),
              std::string::npos);
    EXPECT_NE(run.out.find(R"("name":"A \"B\"")"), std::string::npos);
    EXPECT_NE(run.out.find(R"("date":null)"), std::string::npos);
    // Bytes that are no UTF-8 never reach the JSON text.
    EXPECT_NE(run.out.find(R"("address":"raw)"
                           "\xEF\xBF\xBD"
                           R"(@example.com")"),
              std::string::npos);
    // The text is shown in UTF-8 whatever its character set.
    EXPECT_NE(run.out.find(R"("body":["caf)"
                           "\xC3\xA9"
                           R"("])"),
              std::string::npos);
    // SHA-256 of "abc".
    EXPECT_NE(
        run.out.find(
            R"("file_name":"a.bin","content_type":"application/octet-stream",)"
            R"("size":3,"sha256":"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"})"),
        std::string::npos);

    const ShowRun missing = Show(folder / "none.eml");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Cannot load message from file"), std::string::npos);
    EXPECT_EQ(Show("").status, 2);
}

TEST_F(ShowCommandTest, DigestMembersAreMessagesAndATypeWithoutSubtypeIsText) {
    TempDir folder;
    const std::string digest = folder / "digest.eml";
    WriteFileBytes(digest,
                   "MIME-Version: 1.0\r\nContent-Type: multipart/digest; boundary=d\r\n\r\n"
                   "--d\r\n\r\nSubject: member\r\n\r\nbody\r\n--d--\r\n");
    const ShowRun members = Show(digest);
    ASSERT_EQ(members.status, 0) << members.err;
    EXPECT_NE(
        members.out.find(
            R"("kind":"attachment","file_name":"message.eml","content_type":"message/rfc822")"),
        std::string::npos)
        << members.out;

    const std::string untyped = folder / "untyped.eml";
    WriteFileBytes(untyped,
                   "MIME-Version: 1.0\r\nContent-Type: text; charset=us-ascii\r\n\r\nwords\r\n");
    const ShowRun text = Show(untyped);
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find(R"("body":["words"])"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(R"("parts":[])"), std::string::npos) << text.out;
}

// Real mail written by several mailers, each message checked against Python's email package.
TEST_F(ShowCommandTest, AgreesWithAStandardReaderOnRealMail) {
    const std::string shared = test::SharedFixturesDir();
    if (shared.empty()) GTEST_SKIP() << "../shared is absent: no real mail to read";
    if (std::system("python3 -c 'import email' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 is not installed: no standard reader to compare with";
    }
    const std::string mailbox = test::ReadFileBytes(shared + "/mbox/mbox.win");
    TempDir folder;
    std::vector<std::string> messages;
    size_t start = std::string::npos;
    for (size_t at = 0; at < mailbox.size();) {
        const size_t end = std::min(mailbox.find('\n', at), mailbox.size());
        if (mailbox.compare(at, 5, "From ") == 0) {
            if (start != std::string::npos) messages.push_back(mailbox.substr(start, at - start));
            start = end + 1;
        }
        at = end + 1;
    }
    if (start < mailbox.size()) messages.push_back(mailbox.substr(start));
    ASSERT_EQ(messages.size(), 45u);

    const std::string script =
        std::string(MAILSIFT_SOURCE_DIR) + "/tests/app/compare_with_standard_reader.py";
    for (size_t i = 0; i < messages.size(); ++i) {
        const std::string path = folder / (std::to_string(i) + ".eml");
        WriteFileBytes(path, messages[i]);
        const ShowRun run = Show(path);
        ASSERT_EQ(run.status, 0) << run.err;
        WriteFileBytes(path + ".json", run.out);
        const std::string report = path + ".differences";
        const int status = std::system(
            ("python3 '" + script + "' '" + path + "' '" + path + ".json' > '" + report + "' 2>&1")
                .c_str());
        EXPECT_EQ(status, 0) << "message " << i << ":\n" << test::ReadFileBytes(report);
    }
}

}  // namespace
}  // namespace mailsift
