#include "stores/store_facade.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "config/language.h"
#include "config/settings.h"
#include "stores/store_handles.h"
#include "support/fake_store_backend.h"
#include "support/file_helpers.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

using test::FakeStoreBackend;

class StoreFacadeTest : public ::testing::Test {
  protected:
    StoreFacadeTest() : backends_({&outlook_, &express_, &mailbox_}) {
        for (FakeStoreBackend* backend : {&outlook_, &express_, &mailbox_}) {
            backend->AddFolder("Top", 2);
            backend->AddFolder("Top/Sub", 0);
        }
    }

    std::string MakeFile(const std::string& name) {
        const std::string path = home_.dir() / name;
        test::WriteFileBytes(path, "x");
        return path;
    }

    test::TestProgramFolder home_;
    FakeStoreBackend outlook_{"outlook"};
    FakeStoreBackend express_{"express"};
    FakeStoreBackend mailbox_{"mailbox"};
    test::ScopedStoreBackends backends_;
};

TEST_F(StoreFacadeTest, PathFormChoosesBackendAndKind) {
    struct Case {
        std::string name;
        FakeStoreBackend* backend;
        StoreKind kind;
    };
    const Case cases[] = {
        {"mail.pst", &outlook_, StoreKind::PersonalFolders},
        {"Inbox.DbX", &express_, StoreKind::OutlookExpress},
        {"In.MBX", &mailbox_, StoreKind::MailboxMbx},
        {"Inbox", &mailbox_, StoreKind::MailboxFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = MakeFile(c.name);
        TFolderList folders;
        StoreKind kind = StoreKind::MailboxFolder;
        const StoreHandle handle = OpenMessageStoreOfKind(path, folders, kind);
        ASSERT_GT(handle, kMaxResultCode);
        EXPECT_EQ(c.backend->openedPath(), path);
        EXPECT_EQ(kind, c.kind);
        EXPECT_EQ(folders.size(), 2u);
        EXPECT_EQ(CloseMessageStore(handle), kResultSuccess);
    }

    TFolderList folders;
    StoreKind kind = StoreKind::OutlookExpress;
    const StoreHandle handle = OpenMessageStoreOfKind(home_.dir().path().string(), folders, kind);
    EXPECT_EQ(handle, mailbox_.handle());
    EXPECT_EQ(kind, StoreKind::MailboxFolder);
    EXPECT_EQ(CloseMessageStore(handle), kResultSuccess);
}

TEST_F(StoreFacadeTest, PathsThatAreNoStore) {
    TFolderList folders;
    StoreKind kind = StoreKind::OutlookExpress;
    EXPECT_EQ(OpenMessageStoreOfKind(home_.dir() / "missing.dbx", folders, kind),
              StoreHandle{kResultNoSuchPath});
    EXPECT_EQ(OpenMessageStoreOfKind(MakeFile("notes.txt"), folders, kind),
              StoreHandle{kResultNothingFound});
    // A dot-file carries an extension, so it is no mailbox either.
    EXPECT_EQ(OpenMessageStoreOfKind(MakeFile(".hidden"), folders, kind),
              StoreHandle{kResultNothingFound});
    EXPECT_TRUE(folders.empty());
    EXPECT_EQ(kind, StoreKind::OutlookExpress);
    EXPECT_TRUE(express_.openedPath().empty() && mailbox_.openedPath().empty());
}

TEST_F(StoreFacadeTest, MissingBackendOpensNothing) {
    test::ScopedStoreBackends none({nullptr, &express_, nullptr});
    TFolderList folders;
    EXPECT_EQ(OpenMessageStore(MakeFile("a.pst"), folders), StoreHandle{kResultNothingFound});
    EXPECT_EQ(OpenMessageStore(MakeFile("Inbox"), folders), StoreHandle{kResultNothingFound});
    EXPECT_TRUE(folders.empty());
    TMessage message;
    EXPECT_EQ(GetMessageHeaders(5000, TFolder{}, 0, message), kResultNotMyHandle);
    EXPECT_EQ(CloseMessageStore(5000), kResultNotMyHandle);
}

TEST_F(StoreFacadeTest, SecondOpenOfOneBackendIsRefusedAndFirstStoreStillWorks) {
    TFolderList folders;
    const StoreHandle first = OpenMessageStore(MakeFile("one.dbx"), folders);
    ASSERT_GT(first, kMaxResultCode);
    TFolderList more;
    EXPECT_EQ(OpenMessageStore(MakeFile("two.dbx"), more), StoreHandle{kResultAlreadyOpen});
    EXPECT_TRUE(more.empty());

    TMessage message;
    EXPECT_EQ(GetMessageHeaders(first, *folders[0], 1, message), kResultSuccess);
    EXPECT_EQ(message.Subject, "express 1");
    EXPECT_EQ(CloseMessageStore(first), kResultSuccess);
}

TEST_F(StoreFacadeTest, MessageOperationsGoToTheOwnerWithTheirOptions) {
    TFolderList folders;
    const StoreHandle handle = OpenMessageStore(MakeFile("store.dbx"), folders);
    ASSERT_GT(handle, kMaxResultCode);
    const TFolder& folder = *folders[0];

    TMessage message;
    EXPECT_EQ(GetMessageHeaders(handle, folder, 0, message), kResultSuccess);
    EXPECT_FALSE(express_.lastOptions().WantBody);
    EXPECT_TRUE(message.Body.empty());

    EXPECT_EQ(GetMessageBody(handle, folder, 1, message), kResultSuccess);
    EXPECT_TRUE(express_.lastOptions().WantBody);
    EXPECT_EQ(message.Body, "body of express 1");

    EXPECT_EQ(GetMessageAttachFilesList(handle, folder, 0, message), kResultSuccess);
    EXPECT_TRUE(express_.lastOptions().WantAttachments);
    ASSERT_TRUE(message.Attachments.has_value());

    EXPECT_EQ(SaveAttachToFile(handle, folder, 0, 3, "/tmp/x/a.bin"), kResultSuccess);
    EXPECT_TRUE(express_.lastOptions().SaveAttachment);
    EXPECT_EQ(express_.lastOptions().AttachmentIndex, 3);
    EXPECT_EQ(express_.lastOptions().TargetFile, "/tmp/x/a.bin");

    EXPECT_EQ(SaveMessageToFile(handle, folder, 0, "/tmp/x/m.eml", true), kResultSuccess);
    EXPECT_TRUE(express_.lastOptions().SaveMessage);
    EXPECT_TRUE(express_.lastOptions().SaveAsEml);
    // The saving operations fill a record of their own, not the caller's.
    EXPECT_EQ(message.Subject, "express 0");

    EXPECT_EQ(GetMessageHeaders(handle, folder, 2, message), kResultBadMessageIndex);
    EXPECT_EQ(outlook_.readCalls(), 0);
    EXPECT_EQ(mailbox_.readCalls(), 0);
    EXPECT_EQ(CloseMessageStore(handle), kResultSuccess);
}

TEST_F(StoreFacadeTest, HandlesThatAreCodesOrUnknown) {
    TFolderList folders;
    const StoreHandle handle = OpenMessageStore(MakeFile("store.pst"), folders);
    ASSERT_GT(handle, kMaxResultCode);
    const std::string logBefore = home_.ReportLog();

    TMessage message;
    message.Subject = "left over";
    EXPECT_EQ(GetMessageHeaders(kMaxResultCode, *folders[0], 0, message), kResultBadHandle);
    EXPECT_EQ(SaveMessageToFile(0, *folders[0], 0, "x.eml", false), kResultBadHandle);
    EXPECT_EQ(outlook_.readCalls(), 0);
    EXPECT_EQ(home_.ReportLog(), logBefore) << "a refused handle writes no log line";

    EXPECT_EQ(GetMessageBody(handle + 1, *folders[0], 0, message), kResultNotMyHandle);
    EXPECT_TRUE(message.Subject.empty()) << "the record is cleared on every call";
    EXPECT_EQ(CloseMessageStore(handle + 1), kResultNotMyHandle);
    EXPECT_EQ(CloseMessageStore(handle), kResultSuccess);
    EXPECT_EQ(CloseMessageStore(handle), kResultNotMyHandle);
}

TEST_F(StoreFacadeTest, ACloseThatFailsIsReportedByItsOwner) {
    TFolderList folders;
    const StoreHandle handle = OpenMessageStore(MakeFile("store.pst"), folders);
    ASSERT_GT(handle, kMaxResultCode);
    outlook_.FailClosingWith(kResultMapiCloseFailed);
    EXPECT_EQ(CloseMessageStore(handle), kResultMapiCloseFailed);
    EXPECT_EQ(outlook_.handle(), handle) << "the store stays open, and its owner says why";
}

TEST_F(StoreFacadeTest, AnUnreadableLanguageFileDoesNotLoseTheStore) {
    Settings.LanguageNames[static_cast<size_t>(Settings.SelectedLanguage)] = "NoSuchLanguage";
    TFolderList folders;
    const StoreHandle handle = OpenMessageStore(MakeFile("store.dbx"), folders);
    ASSERT_GT(handle, kMaxResultCode);
    TMessage message;
    EXPECT_EQ(GetMessageHeaders(handle, *folders[0], 0, message), kResultSuccess);
    EXPECT_EQ(CloseMessageStore(handle), kResultSuccess);
    EXPECT_NE(home_.ReportLog().find("\t%OpenMessageStoreOK " + std::to_string(handle)),
              std::string::npos);
}

TEST_F(StoreFacadeTest, BackendExceptionsReachTheCaller) {
    TFolderList folders;
    const StoreHandle handle = OpenMessageStore(MakeFile("Inbox"), folders);
    ASSERT_GT(handle, kMaxResultCode);
    mailbox_.FailWith("damaged mailbox");
    TMessage message;
    EXPECT_THROW(GetMessageBody(handle, *folders[0], 0, message), std::runtime_error);
    EXPECT_EQ(CloseMessageStore(handle), kResultSuccess);
}

TEST_F(StoreFacadeTest, WritesItsLogLinesInTheUsersLanguage) {
    TFolderList folders;
    const StoreHandle handle = OpenMessageStore(MakeFile("store.dbx"), folders);
    TMessage message;
    GetMessageHeaders(handle, *folders[0], 0, message);
    GetMessageBody(handle, *folders[0], 1, message);
    GetMessageAttachFilesList(handle, *folders[0], 0, message);
    SaveMessageToFile(handle, *folders[0], 0, "/some/where/message.eml", false);
    SaveAttachToFile(handle, *folders[0], 0, 0, "/some/where/file.bin");
    OpenMessageStore(home_.dir() / "missing", folders);
    CloseMessageStore(handle);

    const std::string log = home_.ReportLog();
    const std::string expected[] = {
        "\t" + LanguageString("BeginOpenMessageStore") + "\r\n",
        "\t" + LanguageString("OpenMessageStoreOK") + " " + std::to_string(handle) + "\r\n",
        "\t" + LanguageString("GetMessageHeader") + " express express@example.org\r\n",
        "\t" + LanguageString("GetMessageBody") + " express express@example.org\r\n",
        "\t" + LanguageString("GetMessageAttachToFile") + " file.bin\r\n",
        "\t" + LanguageString("OpenMessageStoreOK") + " 2\r\n",
        "\t" + LanguageString("CloseMessageStore") + "\r\n",
    };
    size_t from = 0;
    for (const std::string& line : expected) {
        EXPECT_NE(line.find("\t%"), 0u) << "the shipped language file lacks a key: " << line;
        const size_t at = log.find(line, from);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << log;
        from = at + line.size();
    }
    EXPECT_EQ(log.find("message.eml"), std::string::npos) << "saving a message logs nothing";
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 8) << log;
}

TEST(StoreHandles, NeverReadAsResultCodesNorRepeat) {
    // Near the wrap of the tick count the plain sum would be a small number.
    const StoreHandle wrapped = NewStoreHandleFrom(UINT32_MAX - 100);
    EXPECT_GT(wrapped, kMaxResultCode);
    const StoreHandle top = NewStoreHandleFrom(UINT32_MAX - kMaxResultCode);
    EXPECT_EQ(top, UINT32_MAX);
    const StoreHandle next = NewStoreHandleFrom(UINT32_MAX - kMaxResultCode);
    EXPECT_GT(next, kMaxResultCode);
    EXPECT_NE(next, wrapped);

    const StoreHandle a = NewStoreHandleFrom(1000);
    const StoreHandle b = NewStoreHandleFrom(1000);
    EXPECT_EQ(a, 1000 + kMaxResultCode);
    EXPECT_NE(a, b);
    ReleaseStoreHandle(a);
    EXPECT_EQ(NewStoreHandleFrom(1000), a);
    for (StoreHandle h : {wrapped, top, next, a, b}) ReleaseStoreHandle(h);
}

}  // namespace
}  // namespace mailsift
