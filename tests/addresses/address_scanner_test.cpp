#include "addresses/address_scanner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/work_hooks.h"
#include "support/fake_store_backend.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;
using Entries = std::vector<std::string>;
using namespace std::string_literals;

// The bracketed scan over bytes cut into pieces of the given size (0: one piece).
Entries Bracketed(std::string_view bytes, size_t piece = 0, int64_t* count = nullptr) {
    AddressList list;
    int64_t newEntries = 0;
    BracketedScanner scanner(list, newEntries);
    if (piece == 0) piece = std::max<size_t>(bytes.size(), 1);
    for (size_t at = 0; at < bytes.size(); at += piece) scanner.Feed(bytes.substr(at, piece));
    scanner.Finish();
    if (count != nullptr) *count = newEntries;
    return list.entries();
}

Entries Cleaned(const std::vector<std::string>& texts) {
    AddressList list;
    for (const std::string& text : texts) AddCleanAddress(text, list);
    return list.entries();
}

class FileScanTest : public ::testing::Test {
  protected:
    ~FileScanTest() override { ClearStopRequest(); }
};

TEST(BracketedScanTest, RecogniserRules) {
    int64_t count = 0;
    EXPECT_THAT(Bracketed("To: <Ann.Lee@Example.COM>, <ann.lee@example.com> <ANN.LEE@EXAMPLE.com>",
                          0, &count),
                ElementsAre("ann.lee@example.com"));
    EXPECT_EQ(count, 1) << "only new entries count";
    EXPECT_THAT(Bracketed("<<bob@x.org>"), ElementsAre("bob@x.org"));
    EXPECT_THAT(Bracketed("<@<c@d.e>"), ElementsAre("c@d.e")) << "an empty local part ends at @";
    EXPECT_THAT(Bracketed("<first_last@x.org> <a+b@x.org>"), ElementsAre());
    EXPECT_THAT(Bracketed("<ok@x.org> <cut@x.org"), ElementsAre("ok@x.org"));
    EXPECT_THAT(Bracketed("<local@host> <a@mail.dept.example.co.uk> <123@456.789>"),
                ElementsAre("a@mail.dept.example.co.uk", "123@456.789"));
    EXPECT_THAT(Bracketed("<a@.> <-@b.>"), ElementsAre("a@.", "-@b.")) << "labels may be empty";
    EXPECT_THAT(Bracketed("<a b@c.d> <x@y.z >"), ElementsAre());
    EXPECT_THAT(Bracketed(std::string("<a@b.c\0>", 8)), ElementsAre());
    EXPECT_THAT(Bracketed("<\xC3\xA9@x.org> <z@x.\xC3\xA9>"), ElementsAre());
}

TEST(BracketedScanTest, PiecesFindWhatTheWholeFinds) {
    // Addresses, near misses and failed attempts at every offset, so every cut falls inside
    // an attempt in some state (in the local part, in a label, on the "@", the "." or ">").
    std::mt19937 random(7);
    const std::vector<std::string> parts = {"<a@b.c>",   "<<Dd@e.f>", "<@g.h>",   "<i@j>",
                                            "<k@l.m",    "x",         "<N@O.P>",  " ",
                                            "<q_r@s.t>", "\n",        "<u@v.w.x>"};
    std::string bytes;
    std::uniform_int_distribution<size_t> pick(0, parts.size() - 1);
    for (int i = 0; i < 3000; ++i) bytes += parts[pick(random)];
    bytes += "<bb" + std::string(kMaxBracketedAddress, 'b') + "@x.org> <after@x.org>";

    int64_t wholeCount = 0;
    const Entries whole = Bracketed(bytes, 0, &wholeCount);
    EXPECT_THAT(whole, UnorderedElementsAre("a@b.c", "dd@e.f", "n@o.p", "u@v.w.x", "after@x.org"));
    EXPECT_EQ(whole.back(), "after@x.org") << "an overlong address is passed over, not the rest";
    for (size_t piece : {1, 2, 3, 5, 7, 64, 4099}) {
        int64_t count = 0;
        EXPECT_EQ(Bracketed(bytes, piece, &count), whole) << piece;
        EXPECT_EQ(count, wholeCount) << piece;
    }

    // The same through the file reader with small chunks.
    test::TempDir dir;
    const std::string path = dir / "Inbox";
    test::WriteFileBytes(path, bytes);
    for (size_t chunk : {1, 4, 1000}) {
        AddressList list;
        int64_t count = 0;
        EXPECT_TRUE(
            ScanStoreFileRaw(path, static_cast<int64_t>(bytes.size()), list, count, {}, chunk));
        EXPECT_EQ(list.entries(), whole) << chunk;
    }
}

TEST_F(FileScanTest, FileScanReadsSizeBytesAndHonoursStop) {
    test::TempDir dir;
    const std::string path = dir / "Sent";
    const std::string bytes = "<a@b.c> <d@e.f> <g@h.i>";
    test::WriteFileBytes(path, bytes);

    AddressList list;
    int64_t count = 5;
    std::vector<int64_t> heard;
    EXPECT_TRUE(ScanStoreFileRaw(path, 14, list, count, [&](int64_t n) { heard.push_back(n); }));
    EXPECT_THAT(list.entries(), ElementsAre("a@b.c")) << "the second lacks its '>' at byte 14";
    EXPECT_THAT(heard, ElementsAre(6)) << "the count goes on from the source's count";

    EXPECT_TRUE(ScanStoreFileRaw(path, 1000, list, count)) << "a shrunk file ends early";
    EXPECT_THAT(list.entries(), ElementsAre("a@b.c", "d@e.f", "g@h.i"));
    EXPECT_EQ(count, 8);

    AddressList none;
    EXPECT_FALSE(ScanStoreFileRaw(dir / "missing", 10, none, count));
    EXPECT_FALSE(ScanStoreFileRaw(dir.path().string(), 10, none, count)) << "a folder";
    RequestStop();
    EXPECT_TRUE(ScanStoreFileRaw(path, 23, none, count));
    EXPECT_TRUE(none.empty());
    ClearStopRequest();

    // Stop pressed while the first address is counted: nothing after it is taken.
    EXPECT_TRUE(ScanStoreFileRaw(path, 23, none, count, [](int64_t) { RequestStop(); }));
    EXPECT_THAT(none.entries(), ElementsAre("a@b.c"));
}

TEST(LineCandidateTest, TakesTheFirstAddressOfALine) {
    EXPECT_EQ(TakeLineCandidate("Write to Ann <ann@x.org> or bob@y.org today"), "<ann@x.org>");
    EXPECT_EQ(TakeLineCandidate("ann@x.org,bob@y.org"), "ann@x.org");
    EXPECT_EQ(TakeLineCandidate("To:ann@x.org"), "ann@x.org");
    EXPECT_EQ(TakeLineCandidate("see mailto:Ann@X.org."), "Ann@X.org.");
    EXPECT_EQ(TakeLineCandidate("\"Ann\"\t<ann@x.org>"), "\"Ann\"\t<ann@x.org>");
    EXPECT_EQ(TakeLineCandidate("no address here"), "");

    EXPECT_THAT(
        Cleaned({TakeLineCandidate("Write to Ann <ann@x.org> or bob@y.org today"),
                 TakeLineCandidate("see mailto:Ann@X.org."),
                 TakeLineCandidate("\"Cy\" <Cy@Z.org>,"), TakeLineCandidate("d@e.fg, h@i.jk")}),
        ElementsAre("ann@x.org", "Cy@Z.org", "d@e.fg"))
        << "the case of the line stays; \"Ann@X.org\" is a duplicate of ann@x.org";
}

TEST(CleanFilterTest, KeepsInnerPunctuationAndLimitsLength) {
    EXPECT_THAT(Cleaned({"first_last@x.org", "a+b@x.org", "_x@y.z_", ".@a.b", "Ann Lee@x.org"}),
                ElementsAre("first_last@x.org", "ab@x.org", "x@y.z", "@a.b", "AnnLee@x.org"));
    const std::string at34 = std::string(28, 'a') + "@x.org";
    ASSERT_EQ(at34.size(), 34u);
    AddressList list;
    EXPECT_TRUE(AddCleanAddress(at34, list));
    EXPECT_FALSE(AddCleanAddress("b" + at34, list)) << "35 characters";
    EXPECT_TRUE(AddCleanAddress("<" + std::string(28, 'c') + "@x.org>", list))
        << "the brackets are not counted";
    EXPECT_FALSE(AddCleanAddress("/O=ORG/OU=SITE/CN=RECIPIENTS/CN=ANN", list)) << "no @";
    EXPECT_FALSE(AddCleanAddress("ann@host", list)) << "no dot after the @";
    EXPECT_FALSE(AddCleanAddress("x", list));
    EXPECT_FALSE(AddCleanAddress(std::string(100000, 'a') + "@x.org", list));
    EXPECT_EQ(list.size(), 2u);
}

class MessageScanTest : public FileScanTest {
  protected:
    MessageScanTest() : backends_({&outlook_, nullptr, nullptr}) {
        path_ = home_.dir() / "mail.pst";
        test::WriteFileBytes(path_, "x");
    }

    void UseBody(std::string body, std::string from = "ann@x.org", std::string to = "") {
        TMessage message;
        message.Body = std::move(body);
        message.FromAddress = std::move(from);
        message.ToAddress = std::move(to);
        outlook_.UseMessage(message);
    }

    test::TestProgramFolder home_;
    test::FakeStoreBackend outlook_{"outlook"};
    test::ScopedStoreBackends backends_;
    std::string path_;
};

TEST_F(MessageScanTest, ScansBodyLinesWithSenderAndRecipient) {
    outlook_.AddFolder("Inbox", 2);
    outlook_.AddFolder("Inbox/Sub", 1);
    UseBody("hello\rcall bob@y.org now\r\nor cy@z.org\n\nlast@w.org\0hidden@v.org"s, "ann@x.org",
            "To@Dept.org");
    AddressList list;
    std::vector<int64_t> heard;
    ScanStoreMessages(path_, list, [&](int64_t size) { heard.push_back(size); });
    EXPECT_THAT(list.entries(),
                ElementsAre("bob@y.org", "ann@x.org", "To@Dept.org", "cy@z.org", "last@w.org"));
    EXPECT_EQ(outlook_.readCalls(), 3);
    EXPECT_TRUE(outlook_.lastOptions().WantBody);
    EXPECT_EQ(heard.size(), 3u * 3 + 1) << "per matching line of each message, once at the end";
    EXPECT_EQ(heard.back(), 5);
    EXPECT_EQ(outlook_.handle(), 0u) << "closed";

    AddressList quiet;
    UseBody("no address\nnot@even", "sender@x.org");
    ScanStoreMessages(path_, quiet);
    EXPECT_TRUE(quiet.empty()) << "without a matching line the sender is not taken either";
}

TEST_F(MessageScanTest, FailuresAreLoggedAndStoresThatDoNotOpenYieldNothing) {
    AddressList list;
    ScanStoreMessages(path_, list);
    EXPECT_TRUE(list.empty()) << "a store without folders";

    outlook_.AddFolder("Inbox", 3);
    outlook_.FailWith("damaged store");
    ScanStoreMessages(path_, list);
    EXPECT_TRUE(list.empty());
    EXPECT_THAT(home_.ReportLog(), HasSubstr("Extract exception: damaged store"));

    test::ScopedStoreBackends unreadable({nullptr, nullptr, nullptr});
    ScanStoreMessages(path_, list);
    EXPECT_TRUE(list.empty()) << "personal folder files this build cannot read";

    outlook_.FailWith("");
    UseBody("a@b.cd\nc@d.ef");
    {
        test::ScopedStoreBackends back({&outlook_, nullptr, nullptr});
        RequestStop();
        ScanStoreMessages(path_, list);
        EXPECT_TRUE(list.empty());
        EXPECT_EQ(outlook_.handle(), 0u) << "closed after a stop as well";
    }
}

}  // namespace
}  // namespace mailsift
