#include "outlook/outlook_backend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include <sys/stat.h>

#include "config/report_log.h"
#include "config/settings.h"
#include "mapi/interface_ref.h"
#include "mapi/mapi_tags.h"
#include "mime/base64.h"
#include "mime/header_list.h"
#include "mime/message.h"
#include "outlook/default_store_backends.h"
#include "outlook/mapi_library.h"
#include "outlook/msg/msg_storage.h"
#include "outlook/outlook_message_files.h"
#include "platform/date_time.h"
#include "samples/demo_personal_folders.h"
#include "samples/pst_store_writer.h"
#include "stores/store_facade.h"
#include "support/file_helpers.h"
#include "support/reference_mail.h"
#include "support/run_command.h"
#include "support/scoped_env.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

namespace fs = std::filesystem;

std::string Fixture(const std::string& name) {
    const std::string dir = test::SharedFixturesDir();
    const std::string path = dir + "/pst/" + name;
    return !dir.empty() && fs::exists(path) ? path : std::string();
}

#define REQUIRE_FIXTURE(var, name)                                          \
    const std::string var = Fixture(name);                                  \
    if (var.empty()) {                                                      \
        GTEST_SKIP() << "personal folder file " << name << " is not there"; \
    }

// The report lines written while it lives.
class ReportRecorder {
  public:
    ReportRecorder()
        : id_(AddReportListener([this](const std::string& line) { lines.push_back(line); })) {}
    ~ReportRecorder() { RemoveReportListener(id_); }
    size_t Count(const std::string& prefix) const {
        size_t count = 0;
        for (const std::string& line : lines) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
        return count;
    }
    std::vector<std::string> lines;

  private:
    int id_;
};

class OutlookBackendTest : public ::testing::Test {
  protected:
    OutlookBackendTest() {
        WriteSetting("MSOutlookLibraryPath", MAPI_PROVIDER_PATH);
        UseDefaultStoreBackends();
    }
    ~OutlookBackendTest() override {
        if (handle_ > kMaxResultCode) CloseMessageStore(handle_);
    }

    StoreHandle Open(const std::string& path) {
        handle_ = OpenMessageStore(path, folders_);
        return handle_;
    }
    // The last folder of the name: the top folder carries the store's name, which the
    // fixtures' mail folders share.
    const TFolder* FolderNamed(const std::string& name) const {
        const TFolder* found = nullptr;
        for (const TFolder* folder : folders_) {
            if (folder->Name == name) found = folder;
        }
        return found;
    }
    std::string Temp(const std::string& name) const { return home_.dir() / name; }

    test::TestProgramFolder home_;
    TFolderList folders_;
    StoreHandle handle_ = 0;
};

TEST_F(OutlookBackendTest, ListsEveryFolderUnderItsParentWithUniqueIds) {
    for (const char* name : {"sample1.pst", "dist-list.pst", "submessage.pst"}) {
        SCOPED_TRACE(name);
        REQUIRE_FIXTURE(path, name);
        folders_.clear();
        ASSERT_GT(Open(path), kMaxResultCode);
        ASSERT_FALSE(folders_.empty());
        const TFolder& top = *folders_.front();
        EXPECT_EQ(top.Path, "/MS Outlook/" + top.Name);
        EXPECT_EQ(top.ParentId, 0);
        std::map<int32_t, const TFolder*> byId;
        for (const TFolder* folder : folders_) {
            EXPECT_EQ(folder->StoreFile, path);
            ASSERT_NE(folder->Id, 0) << folder->Path;
            EXPECT_TRUE(byId.emplace(folder->Id, folder).second) << folder->Path;
            if (folder == &top) continue;
            // Every folder comes after its parent, and its path is the parent's and its name.
            const auto parent = byId.find(folder->ParentId);
            ASSERT_NE(parent, byId.end()) << folder->Path;
            EXPECT_EQ(folder->Path, parent->second->Path + "/" + folder->Name);
        }
        EXPECT_EQ(CloseMessageStore(handle_), kResultSuccess);
        handle_ = 0;
    }
    REQUIRE_FIXTURE(sample, "sample1.pst");
    folders_.clear();
    ASSERT_GT(Open(sample), kMaxResultCode);
    const TFolder* inbox = FolderNamed("Sample1");
    ASSERT_NE(inbox, nullptr);
    EXPECT_EQ(inbox->Path, "/MS Outlook/sample1/Top of Outlook data file/Sample1");
    EXPECT_EQ(inbox->MessageCount, 1);
}

TEST_F(OutlookBackendTest, ResultCodesOfOpenReadAndClose) {
    REQUIRE_FIXTURE(path, "sample1.pst");
    StoreBackend& backend = MSOutlookBackend();
    TFolderList folders;
    EXPECT_EQ(backend.Open(Temp("missing.pst"), folders), StoreHandle{kResultNothingFound});

    // A file that is no personal folder file fails, and leaves nothing that blocks the next.
    const std::string damaged = Temp("damaged.pst");
    test::WriteFileBytes(damaged, test::ReadFileBytes(path).substr(0, 600));
    EXPECT_EQ(backend.Open(damaged, folders), StoreHandle{kResultMapiOpenFailed});
    EXPECT_TRUE(folders.empty());

    {
        // The temporary profile went with the failed open, so it is made anew.
        ReportRecorder report;
        ASSERT_GT(Open(path), kMaxResultCode);
        EXPECT_EQ(report.Count("Profile.Create #0"), 1u);
    }
    {
        ReportRecorder report;
        EXPECT_EQ(backend.Open(path, folders), StoreHandle{kResultAlreadyOpen});
        EXPECT_TRUE(report.lines.empty());
    }
    TMessage message;
    message.Subject = "stale";
    EXPECT_EQ(backend.ReadMessage(handle_ + 1, {}, *folders_.front(), 0, message),
              kResultNotMyHandle);
    EXPECT_EQ(message.Subject, "");
    TFolder unknown;
    unknown.Path = "/MS Outlook/nowhere";
    EXPECT_EQ(backend.ReadMessage(handle_, {}, unknown, 0, message), kResultFolderMissing);
    const TFolder* inbox = FolderNamed("Sample1");
    ASSERT_NE(inbox, nullptr);
    message.Subject = "stale";
    EXPECT_EQ(backend.ReadMessage(handle_, {}, *inbox, 5, message), kResultSuccess);
    EXPECT_EQ(message.Subject, "");
    // A copy of a record is found by its path.
    const TFolder copy = *inbox;
    EXPECT_EQ(backend.ReadMessage(handle_, {}, copy, 0, message), kResultSuccess);
    EXPECT_EQ(message.Subject, "Here is a sample message");

    EXPECT_EQ(backend.Close(handle_ + 1), kResultNotMyHandle);
    EXPECT_EQ(backend.Close(handle_), kResultSuccess);
    EXPECT_EQ(backend.Close(handle_), kResultNotMyHandle);
    handle_ = 0;

    WriteSetting("MSOutlookLibraryPath", Temp("no-library.so"));
    EXPECT_EQ(backend.Open(path, folders), StoreHandle{kResultMapiUnavailable});
}

TEST_F(OutlookBackendTest, ReadsTheRecordAndSavesAttachmentsWithTheSubmitTime) {
    REQUIRE_FIXTURE(path, "sample1.pst");
    ASSERT_GT(Open(path), kMaxResultCode);
    const TFolder* inbox = FolderNamed("Sample1");
    ASSERT_NE(inbox, nullptr);

    TMessage headers;
    ASSERT_EQ(GetMessageHeaders(handle_, *inbox, 0, headers), kResultSuccess);
    EXPECT_EQ(headers.Subject, "Here is a sample message");
    EXPECT_EQ(headers.FromName, "Terry Mahaffey");
    EXPECT_TRUE(headers.Body.empty());
    EXPECT_TRUE(headers.HasAttachments);
    ASSERT_TRUE(headers.Attachments.has_value());
    EXPECT_TRUE(headers.Attachments->empty());
    // 15.03.2010 17:12:05 UTC, as local time.
    EXPECT_EQ(UnixTimeFromDateTime(headers.Received), 1268673125);

    TMessage body;
    ASSERT_EQ(GetMessageBody(handle_, *inbox, 0, body), kResultSuccess);
    EXPECT_FALSE(body.Body.empty());

    TMessage listed;
    ASSERT_EQ(GetMessageAttachFilesList(handle_, *inbox, 0, listed), kResultSuccess);
    ASSERT_TRUE(listed.Attachments.has_value());
    ASSERT_EQ(listed.Attachments->size(), 1u);
    EXPECT_EQ(listed.Attachments->front().FileName, "leah_thumper.jpg");

    const std::string picture = Temp("picture.jpg");
    ASSERT_EQ(SaveAttachToFile(handle_, *inbox, 0, listed.Attachments->front().Index, picture),
              kResultSuccess);
    const std::string bytes = test::ReadFileBytes(picture);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8");
    struct stat status {};
    ASSERT_EQ(::stat(picture.c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, 1268673125);
    // A save that cannot be made is not told as made.
    EXPECT_EQ(SaveAttachToFile(handle_, *inbox, 0, 7, Temp("none.bin")), kResultNoAttachments);
    EXPECT_FALSE(fs::exists(Temp("none.bin")));
}

TEST_F(OutlookBackendTest, ReadsAFolderContentsTableOnceWhileItStaysTheFolderRead) {
    REQUIRE_FIXTURE(path, "dist-list.pst");
    ASSERT_GT(Open(path), kMaxResultCode);
    const TFolder* contacts = FolderNamed("Contacts");
    const TFolder* calendar = FolderNamed("Calendar");
    ASSERT_NE(contacts, nullptr);
    ASSERT_NE(calendar, nullptr);
    ReportRecorder report;
    TMessage message;
    for (int32_t i = 0; i < contacts->MessageCount; ++i) {
        EXPECT_EQ(GetMessageHeaders(handle_, *contacts, i, message), kResultSuccess);
    }
    EXPECT_EQ(report.Count("Folder name: "), 1u);
    GetMessageHeaders(handle_, *calendar, 0, message);
    GetMessageHeaders(handle_, *contacts, 0, message);
    EXPECT_EQ(report.Count("Folder name: "), 3u);
    EXPECT_EQ(report.Count("Folder name: " + contacts->Path), 2u);
}

TEST_F(OutlookBackendTest, SavesMessagesAsMsgAndAsEml) {
    REQUIRE_FIXTURE(path, "sample1.pst");
    ASSERT_GT(Open(path), kMaxResultCode);
    const TFolder* inbox = FolderNamed("Sample1");
    ASSERT_NE(inbox, nullptr);

    const std::string msg = Temp("message.msg");
    ASSERT_EQ(SaveMessageToFile(handle_, *inbox, 0, msg, false), kResultSuccess);
    EXPECT_EQ(test::ReadFileBytes(msg).substr(0, 8), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    struct stat status {};
    ASSERT_EQ(::stat(msg.c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, 1268673125);

    const std::string eml = Temp("message.eml");
    ASSERT_EQ(SaveMessageToFile(handle_, *inbox, 0, eml, true), kResultSuccess);
    TIdMessage parsed;
    parsed.ReadFromFile(eml);
    EXPECT_EQ(parsed.Subject, "Here is a sample message");
    EXPECT_EQ(parsed.From().Name, "Terry Mahaffey");
    const std::string picture = Temp("picture.jpg");
    ASSERT_EQ(SaveAttachToFile(handle_, *inbox, 0, 0, picture), kResultSuccess);
    bool found = false;
    for (const auto& part : parsed.MessageParts) {
        if (part->Kind() != TIdPartKind::Attachment) continue;
        const auto& attachment = static_cast<const TIdAttachment&>(*part);
        EXPECT_EQ(attachment.FileName, "leah_thumper.jpg");
        const std::string saved = Temp("from-eml.jpg");
        attachment.SaveContent(saved);
        EXPECT_EQ(test::ReadFileBytes(saved), test::ReadFileBytes(picture));
        found = true;
    }
    EXPECT_TRUE(found);

    EXPECT_EQ(SaveMessageToFile(handle_, *inbox, 0, Temp("no/such/folder/m.msg"), false),
              kResultWriteFailed);
    const std::string blocked = Temp("blocked");
    fs::create_directories(blocked + "/m.msg");
    EXPECT_EQ(SaveMessageToFile(handle_, *inbox, 0, blocked + "/m.msg", false), kResultWriteFailed);
    EXPECT_EQ(std::distance(fs::directory_iterator(blocked), fs::directory_iterator()), 1);
}

// The message's text is UTF-8 whatever it was sent in, and the file says so, also for a
// message without parts and one without internet headers.
TEST_F(OutlookBackendTest, EmlFilesDeclareTheirTextAsUtf8) {
    REQUIRE_FIXTURE(path, "dist-list.pst");
    ASSERT_GT(Open(path), kMaxResultCode);
    const TFolder* contacts = FolderNamed("Contacts");
    ASSERT_NE(contacts, nullptr);
    const std::string eml = Temp("contact.eml");
    ASSERT_EQ(SaveMessageToFile(handle_, *contacts, 1, eml, true), kResultSuccess);
    const std::string text = test::ReadFileBytes(eml);
    EXPECT_NE(text.find("MIME-Version: 1.0\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Content-Type: text/plain; charset=\"utf-8\""), std::string::npos) << text;
    EXPECT_NE(text.find("Subject: contact name 1\r\n"), std::string::npos) << text;

    REQUIRE_FIXTURE(sample, "sample1.pst");
    ASSERT_EQ(CloseMessageStore(handle_), kResultSuccess);
    folders_.clear();
    ASSERT_GT(Open(sample), kMaxResultCode);
    const std::string withParts = Temp("sample.eml");
    ASSERT_EQ(SaveMessageToFile(handle_, *FolderNamed("Sample1"), 0, withParts, true),
              kResultSuccess);
    TIdMessage parsed;
    parsed.ReadFromFile(withParts);
    bool bodyFound = false;
    for (const auto& part : parsed.MessageParts) {
        if (part->Kind() != TIdPartKind::Text) continue;
        EXPECT_EQ(part->CharSet, "utf-8");
        const auto& lines = static_cast<const TIdText&>(*part).Body;
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(),
                  "With a sample attachment. It\u2019s my daughter and our puppy. "
                  "Aren\u2019t they cute?");
        bodyFound = true;
    }
    EXPECT_TRUE(bodyFound);
}

// A scratch message to write .eml files from: what it holds besides the record.
class EmlSourceMessage {
  public:
    explicit EmlSourceMessage(const std::string& path) {
        EXPECT_TRUE(LoadMapiLibrary());
        std::string error;
        storage_ = MsgStorage::Create(path, error);
        EXPECT_NE(storage_, nullptr) << error;
        if (storage_ != nullptr) *message_.out() = storage_->OpenMessage();
    }
    mapi::IMessage* get() const { return message_.get(); }

  private:
    std::unique_ptr<MsgStorage> storage_;
    mapi::InterfaceRef<mapi::IMessage> message_;
};

// A message file is no mail transfer: its text ends where the message's text ends, with no
// "." line that other mail programs would show, and lines that begin with "." keep their dots.
TEST_F(OutlookBackendTest, EmlFilesCarryTheTextExactly) {
    const EmlSourceMessage source(Temp("scratch.msg"));
    ASSERT_NE(source.get(), nullptr);
    TMessage record;
    record.Subject = "Dots";
    record.FromAddress = "anna@example.org";
    record.Body = "first\r\n.\r\n..two dots\r\n.and one\r\nlast line\r\n";
    const std::string eml = Temp("dots.eml");
    ASSERT_EQ(WriteEmlFile(source.get(), record, eml), kResultSuccess);
    const test::ReferenceMail mail = test::ReadMailWithPython(eml);
    ASSERT_TRUE(mail.read);
    EXPECT_EQ(mail.body, "first\n.\n..two dots\n.and one\nlast line\n");
    EXPECT_FALSE(test::ReadFileBytes(eml).ends_with("\r\n.\r\n"));

    // With an attachment the text is a part of its own, just as exact.
    REQUIRE_FIXTURE(path, "sample1.pst");
    ASSERT_GT(Open(path), kMaxResultCode);
    TMessage message;
    ASSERT_EQ(GetMessageBody(handle_, *FolderNamed("Sample1"), 0, message), kResultSuccess);
    ASSERT_EQ(SaveMessageToFile(handle_, *FolderNamed("Sample1"), 0, eml, true), kResultSuccess);
    std::string expected = message.Body;
    std::erase(expected, '\r');
    EXPECT_EQ(test::ReadMailWithPython(eml).body, expected);
}

samples::PstMessage SampleMail(const std::string& subject) {
    samples::PstMessage message;
    message.Subject = subject;
    message.SenderName = "Anna Berger";
    message.SenderAddress = "anna@example.org";
    message.Body = "Hello.\r\n.\r\n..two dots\r\n";
    return message;
}

// Without transport headers, To and Cc come from the recipient table: one address each, not
// one name made of all names with an empty address. The text is the message's own.
TEST_F(OutlookBackendTest, EmlRecipientsComeFromTheRecipientTable) {
    const std::string path = Temp("recipients.pst");
    {
        samples::PstStoreWriter writer(path, "Recipients");
        const uint32_t inbox = writer.AddFolder(writer.TopFolder(), std::string("Inbox"));
        samples::PstMessage message = SampleMail("Meeting");
        message.Recipients = {{"Fritz Hof", "fritz@example.org", "SMTP", 1},
                              {"Grete M\xC3\xBCller", "grete@example.net", "SMTP", 1},
                              {"Hans Egger", "hans@example.com", "SMTP", 2},
                              {"", "nameless@example.com", "SMTP", 1}};
        writer.AddMessage(inbox, message);
        writer.Finish();
    }
    ASSERT_GT(Open(path), kMaxResultCode);
    const TFolder* inbox = FolderNamed("Inbox");
    ASSERT_NE(inbox, nullptr);
    const std::string eml = Temp("meeting.eml");
    ASSERT_EQ(SaveMessageToFile(handle_, *inbox, 0, eml, true), kResultSuccess);
    const test::ReferenceMail mail = test::ReadMailWithPython(eml);
    ASSERT_TRUE(mail.read);
    EXPECT_EQ(mail.body, "Hello.\n.\n..two dots\n");
    std::vector<std::string> recipients;
    for (const test::ReferenceAddress& address : mail.recipients) {
        recipients.push_back(address.field + " " + address.name + " <" + address.address + ">");
    }
    EXPECT_EQ(recipients,
              (std::vector<std::string>{
                  "to Fritz Hof <fritz@example.org>", "to Grete M\xC3\xBCller <grete@example.net>",
                  "to  <nameless@example.com>", "cc Hans Egger <hans@example.com>"}));
}

// Attachments pass through a temporary folder on their way into an .eml file; it is made only
// for a message that has some, and is gone afterwards. Where none can be made, a message
// without attachments is still written, and one with them is not written without them.
// Attachments go into the .eml file from memory while a message's fit in 16 MB; larger ones
// and attached messages pass through a temporary folder, made only then and emptied after.
TEST_F(OutlookBackendTest, EmlAttachmentsPassThroughATemporaryFolderOnlyWhenNeeded) {
    const std::string path = Temp("attached.pst");
    const std::string large(17u << 20, 'L');
    {
        samples::PstStoreWriter writer(path, "Attached");
        const uint32_t inbox = writer.AddFolder(writer.TopFolder(), std::string("Inbox"));
        writer.AddMessage(inbox, SampleMail("Plain"));
        samples::PstMessage small = SampleMail("With a file");
        small.Attachments.push_back({"notes.txt", "text/plain", "the notes\r\n", nullptr});
        writer.AddMessage(inbox, small);
        samples::PstMessage holder = SampleMail("With a message");
        holder.Attachments.push_back(
            {"inner", "", "", std::make_shared<samples::PstMessage>(SampleMail("Inner"))});
        writer.AddMessage(inbox, holder);
        samples::PstMessage big = SampleMail("With a large file");
        big.Attachments.push_back({"large.bin", "application/octet-stream", large, nullptr});
        writer.AddMessage(inbox, big);
        writer.Finish();
    }
    ASSERT_GT(Open(path), kMaxResultCode);
    const TFolder* inbox = FolderNamed("Inbox");
    ASSERT_NE(inbox, nullptr);
    const std::string temp = Temp("temp");
    fs::create_directories(temp);
    {
        test::ScopedEnv tmpdir("TMPDIR", temp);
        test::ScopedEnv tempUpper("TEMP", std::nullopt);
        test::ScopedEnv tmp("TMP", std::nullopt);
        for (int index : {1, 2, 3}) {
            const std::string target = Temp("with" + std::to_string(index) + ".eml");
            ASSERT_EQ(SaveMessageToFile(handle_, *inbox, index, target, true), kResultSuccess);
            EXPECT_TRUE(fs::is_empty(temp)) << index;
        }
        // The content of the attachment named `name`, as base64 decodes it.
        const auto content = [this](const std::string& file, const std::string& name) {
            const std::string written = test::ReadFileBytes(Temp(file));
            const size_t body = written.find("\r\n\r\n", written.find("filename=\"" + name));
            if (body == std::string::npos) return std::string("(no such attachment)");
            return DecodeBase64(written.substr(body, written.find("\r\n--", body) - body));
        };
        EXPECT_EQ(content("with1.eml", "notes.txt"), "the notes\r\n");
        EXPECT_EQ(content("with2.eml", "inner.msg").substr(0, 4), "\xD0\xCF\x11\xE0");
        EXPECT_EQ(content("with3.eml", "large.bin"), large);

        // No temporary folder can be made below a file: only what fits in memory is written.
        test::ScopedEnv unusable("TMPDIR", Temp("with1.eml"));
        ReportRecorder report;
        EXPECT_EQ(SaveMessageToFile(handle_, *inbox, 0, Temp("plain.eml"), true), kResultSuccess);
        EXPECT_NE(test::ReadFileBytes(Temp("plain.eml")).find("Hello."), std::string::npos);
        EXPECT_EQ(SaveMessageToFile(handle_, *inbox, 1, Temp("small.eml"), true), kResultSuccess);
        for (int index : {2, 3}) {
            const std::string target = Temp("lost" + std::to_string(index) + ".eml");
            EXPECT_EQ(SaveMessageToFile(handle_, *inbox, index, target, true), kResultWriteFailed);
            EXPECT_FALSE(fs::exists(target));
        }
        EXPECT_EQ(report.Count("MS Outlook message not written: no temporary folder"), 2u);
    }
}

// A salvage tool does not give up on a store over a missing name: a root folder without one
// and folders whose name is missing or empty are listed under stand-in names, each its own.
TEST_F(OutlookBackendTest, FoldersWithoutANameAreWalkedUnderStandInNames) {
    const std::string path = Temp("nameless.pst");
    {
        samples::PstStoreWriter writer(path, "Nameless", std::nullopt);
        const uint32_t inbox = writer.AddFolder(writer.TopFolder(), std::string("Inbox"));
        writer.AddMessage(inbox, SampleMail("In the inbox"));
        const uint32_t unnamed = writer.AddFolder(writer.TopFolder(), std::nullopt);
        writer.AddMessage(unnamed, SampleMail("Without a name"));
        const uint32_t empty = writer.AddFolder(writer.TopFolder(), std::string());
        writer.AddMessage(empty, SampleMail("With an empty name"));
        writer.AddMessage(writer.AddFolder(empty, std::string("Below")), SampleMail("Below it"));
        writer.Finish();
    }
    ASSERT_GT(Open(path), kMaxResultCode);
    std::set<std::string> paths;
    std::set<std::string> subjects;
    for (const TFolder* folder : folders_) {
        EXPECT_TRUE(paths.insert(folder->Path).second) << folder->Path;
        for (int32_t i = 0; i < folder->MessageCount; ++i) {
            TMessage message;
            ASSERT_EQ(GetMessageHeaders(handle_, *folder, i, message), kResultSuccess);
            subjects.insert(message.Subject);
        }
    }
    EXPECT_EQ(folders_.size(), 6u);
    EXPECT_EQ(subjects, (std::set<std::string>{"In the inbox", "Without a name",
                                               "With an empty name", "Below it"}));
    const TFolder* below = FolderNamed("Below");
    ASSERT_NE(below, nullptr);
    EXPECT_NE(below->Path.find("/NoName folder "), std::string::npos) << below->Path;
}

// A message whose only text is HTML (many newsletters) keeps that text in its .eml file.
TEST_F(OutlookBackendTest, EmlFilesKeepAnHtmlOnlyBody) {
    ASSERT_TRUE(LoadMapiLibrary());
    std::string error;
    const auto storage = MsgStorage::Create(Temp("scratch.msg"), error);
    ASSERT_NE(storage, nullptr) << error;
    mapi::InterfaceRef<mapi::IMessage> message;
    *message.out() = storage->OpenMessage();
    std::string html = "<html><body><p>Gr\xC3\xBC\xC3\x9F\xC3\xA9 aus Wien</p></body></html>";
    mapi::SPropValue values[2]{};
    values[0].ulPropTag = mapi::PR_HTML;
    values[0].Value.bin = {static_cast<mapi::ULONG>(html.size()),
                           reinterpret_cast<mapi::BYTE*>(html.data())};
    values[1].ulPropTag = mapi::PR_INTERNET_CPID;
    values[1].Value.l = 65001;
    mapi::LPSPropProblemArray problems = nullptr;
    ASSERT_EQ(message->SetProps(2, values, &problems), mapi::S_OK);
    MapiEntries().MAPIFreeBuffer(problems);
    ASSERT_EQ(message->SaveChanges(mapi::KEEP_OPEN_READWRITE), mapi::S_OK);

    TMessage record;
    record.Subject = "Newsletter";
    record.FromAddress = "news@example.org";
    const std::string eml = Temp("html.eml");
    ASSERT_EQ(WriteEmlFile(message.get(), record, eml), kResultSuccess);
    TIdMessage parsed;
    parsed.ReadFromFile(eml);
    EXPECT_EQ(parsed.Subject, "Newsletter");
    ASSERT_EQ(parsed.MessageParts.size(), 1u);
    const TIdMessagePart& part = *parsed.MessageParts.front();
    ASSERT_EQ(part.Kind(), TIdPartKind::Text);
    EXPECT_EQ(MediaType(part.ContentType), "text/html");
    EXPECT_EQ(part.CharSet, "utf-8");
    const auto& lines = static_cast<const TIdText&>(part).Body;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), html);
}

// An attached message has no bytes of its own: it is written as a .msg file of its own.
TEST_F(OutlookBackendTest, AttachedMessagesAreSavedAsMsgFiles) {
    REQUIRE_FIXTURE(path, "submessage.pst");
    ASSERT_GT(Open(path), kMaxResultCode);
    const TFolder* folder = FolderNamed("submessage");
    ASSERT_NE(folder, nullptr);
    TMessage listed;
    ASSERT_EQ(GetMessageAttachFilesList(handle_, *folder, 0, listed), kResultSuccess);
    ASSERT_TRUE(listed.Attachments.has_value());
    ASSERT_EQ(listed.Attachments->size(), 1u);
    EXPECT_EQ(listed.Attachments->front().FileName, "This is an embedded message.msg");
    const std::string saved = Temp("embedded.msg");
    ASSERT_EQ(SaveAttachToFile(handle_, *folder, 0, 0, saved), kResultSuccess);
    EXPECT_EQ(test::ReadFileBytes(saved).substr(0, 8), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");

    const std::string eml = Temp("outer.eml");
    ASSERT_EQ(SaveMessageToFile(handle_, *folder, 0, eml, true), kResultSuccess);
    const std::string text = test::ReadFileBytes(eml);
    EXPECT_NE(text.find("filename=\"This is an embedded message.msg\""), std::string::npos);
}

// What the reader script lists of a .msg file's named properties: "name ..." and "value ..."
// lines, less their first word.
std::vector<std::string> NamedLines(const std::string& path, const std::string& kind) {
    std::istringstream lines(
        test::RunCommand("/usr/bin/python3 " MSG_READER_SCRIPT " names '" + path + "' 2>&1"));
    std::vector<std::string> found;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(kind + " ", 0) == 0) found.push_back(line.substr(kind.size() + 1));
    }
    return found;
}

std::string HexOf(std::string_view bytes) {
    std::string hex;
    char digits[3];
    for (unsigned char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", c);
        hex += digits;
    }
    return hex;
}

// A written value as the reader script shows it: strings and numbers as their stored bytes,
// a list of strings as each string's bytes, joined by commas.
std::string ShownValue(const samples::PstProperty& value) {
    if ((value.tag & 0xFFFF) != mapi::PT_MV_UNICODE) return HexOf(value.value);
    const auto at = [&](size_t offset) {
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i) {
            number = number << 8 | static_cast<unsigned char>(value.value[offset + i]);
        }
        return number;
    };
    const uint32_t count = at(0);
    std::string shown;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t start = at(4 + 4 * i);
        const uint32_t end =
            i + 1 < count ? at(8 + 4 * i) : static_cast<uint32_t>(value.value.size());
        shown +=
            (i > 0 ? "," : "") + HexOf(std::string_view(value.value).substr(start, end - start));
    }
    return shown;
}

// Appointments, contacts and tasks keep their named fields in .msg files: start and end
// times, location, categories, e-mail addresses, due dates, each under its name.
TEST_F(OutlookBackendTest, MsgFilesKeepNamedFieldsUnderTheirNames) {
    if (std::system("/usr/bin/python3 -c 'import olefile' 2>/dev/null") != 0) {
        GTEST_SKIP() << "/usr/bin/python3 has no olefile";
    }
    const std::string path = samples::WriteDemoPersonalFolderFile(Temp("demo"));
    ASSERT_GT(Open(path), kMaxResultCode);
    const std::pair<std::string, samples::PstMessage> items[] = {
        {"Calendar", samples::DemoAppointment()},
        {"Contacts", samples::DemoContact()},
        {"Tasks", samples::DemoTask()}};
    for (const auto& [folderName, item] : items) {
        SCOPED_TRACE(folderName);
        const TFolder* folder = FolderNamed(folderName);
        ASSERT_NE(folder, nullptr);
        const std::string msg = Temp(folderName + ".msg");
        ASSERT_EQ(SaveMessageToFile(handle_, *folder, 0, msg, false), kResultSuccess);
        EXPECT_TRUE(NamedLines(msg, "problem").empty()) << NamedLines(msg, "problem").front();
        const std::vector<std::string> names = NamedLines(msg, "name");
        const std::vector<std::string> values = NamedLines(msg, "value");
        ASSERT_FALSE(item.NamedProperties.empty());
        for (const samples::PstNamedProperty& named : item.NamedProperties) {
            std::string suffix = HexOf(named.SetGuid) + " ";
            if (named.Name.empty()) {
                char number[16];
                std::snprintf(number, sizeof number, "n %x", named.Id);
                suffix += number;
            } else {
                std::string utf16;
                for (char c : named.Name) utf16 += std::string{c, '\0'};
                suffix += "s " + HexOf(utf16);
            }
            SCOPED_TRACE(suffix);
            const auto name =
                std::find_if(names.begin(), names.end(), [&](const std::string& line) {
                    return line.size() > 5 && line.substr(5) == suffix;
                });
            ASSERT_NE(name, names.end());
            char type[8];
            std::snprintf(type, sizeof type, "%04X", named.Value.tag & 0xFFFF);
            const std::string value =
                name->substr(0, 4) + " " + type + " " + ShownValue(named.Value);
            EXPECT_NE(std::find(values.begin(), values.end(), value), values.end())
                << value << " among " << ::testing::PrintToString(values);
        }
        if (std::system("command -v msgconvert >/dev/null 2>&1") != 0) continue;
        const std::string converted = test::RunCommand("msgconvert --outfile - '" + msg + "' 2>&1");
        EXPECT_NE(converted.find("Subject: " + item.Subject), std::string::npos) << converted;
    }
}

// The program may end with a store still open (a command that failed half-way, a program
// using the library that never closes): what the backend holds is given back without harm.
TEST_F(OutlookBackendTest, EndingWithAStoreOpenIsClean) {
    REQUIRE_FIXTURE(path, "sample1.pst");
    EXPECT_EXIT(
        {
            TFolderList folders;
            std::exit(OpenMessageStore(path, folders) > kMaxResultCode ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace mailsift
