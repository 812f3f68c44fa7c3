// Personal folder files written by the sample store writer, read back by pffexport, readpst and
// the MAPI provider: every folder, message and attachment byte as written.
#include "samples/pst_store_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/run_command.h"
#include "support/temp_dir.h"
#include "tests/pst_comparison/reference_export.h"
#include "tests/pst_comparison/tree_comparison.h"

namespace mailsift::test {
namespace {

using samples::PstAttachment;
using samples::PstMessage;
using samples::PstStoreWriter;

// 08.12.2026 10:30:00 UTC as FILETIME.
constexpr uint64_t kTime = 134411994000000000ull;
constexpr const char* kTimeText = "08.12.2026 10.30.00";
const std::string kTop = "Top of Personal Folders";

std::string Bytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return bytes;
}

PstMessage Mail(const std::string& subject, const std::string& body) {
    PstMessage message;
    message.Subject = subject;
    message.SenderName = "Anna Berger";
    message.SenderAddress = "anna@example.org";
    message.Body = body;
    message.SubmitTime = kTime;
    message.DeliveryTime = kTime;
    message.Recipients = {{"Fritz Hof", "fritz@example.org", "SMTP", 1},
                          {"Grete M\xC3\xBCller", "grete@example.net", "SMTP", 1},
                          {"Hans Egger", "hans@example.com", "SMTP", 2}};
    return message;
}

// Writes a store and keeps, beside it, what a reader should find: the folders below the root
// with their messages, as pffexport gives them.
class WrittenStore {
  public:
    explicit WrittenStore(const std::string& path) : writer_(path, "Written store") {
        tree.storeName = "Written store";
        tree.folders.push_back({{}, 0, {}});
        tree.folders.push_back({{kTop}, 0, {}});
        paths_.push_back({kTop});
    }
    // The folder's number for Add; parent 0 is the top of the personal folders.
    size_t Folder(size_t parent, const std::string& name) {
        std::vector<std::string> path = paths_[parent];
        path.push_back(name);
        nids_.push_back(
            writer_.AddFolder(parent == 0 ? writer_.TopFolder() : nids_[parent - 1], name));
        paths_.push_back(path);
        tree.folders.push_back({path, 0, {}});
        return paths_.size() - 1;
    }
    void Add(size_t folder, const PstMessage& message) {
        writer_.AddMessage(folder == 0 ? writer_.TopFolder() : nids_[folder - 1], message);
        StoredFolder& stored = tree.folders[folder + 1];
        ++stored.itemCount;
        StoredMessage expected;
        expected.subject = message.Subject;
        expected.senderName = message.SenderName;
        expected.senderAddress = message.SenderAddress;
        expected.submitTime = kTimeText;
        expected.body = message.Body;
        expected.attachments.emplace();
        for (const PstAttachment& attachment : message.Attachments) {
            StoredAttachment file;
            if (attachment.Embedded == nullptr) {
                file.name = attachment.FileName;
                file.bytes = attachment.Data;
            }
            expected.attachments->push_back(file);
        }
        stored.messages.push_back(std::move(expected));
        ++messages;
    }
    void Finish() { writer_.Finish(); }

    StoredTree tree;
    size_t messages = 0;

  private:
    PstStoreWriter writer_;
    std::vector<uint32_t> nids_;
    std::vector<std::vector<std::string>> paths_;
};

// readpst lists a message's attachments last first; the tree with them in name order.
StoredTree AttachmentsByName(StoredTree tree) {
    for (StoredFolder& folder : tree.folders) {
        for (StoredMessage& message : folder.messages) {
            if (!message.attachments) continue;
            std::stable_sort(message.attachments->begin(), message.attachments->end(),
                             [](const StoredAttachment& a, const StoredAttachment& b) {
                                 return a.name.value_or("") < b.name.value_or("");
                             });
        }
    }
    return tree;
}

class PstStoreWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* reader : {"pffexport", "readpst"}) {
            if (!ProgramInstalled(reader)) {
                GTEST_SKIP() << reader << " is not installed (Debian pff-tools, pst-utils)";
            }
        }
    }
    std::string Path(const std::string& name) const { return (dir_.path() / name).string(); }

    // Both readers read every folder and message of the store as written, and its layout is
    // sound also where they do not look.
    void ExpectReadBack(const std::string& path, const WrittenStore& store) {
        EXPECT_EQ(RunCommand("/usr/bin/python3 " PST_LAYOUT_CHECK " '" + path + "'"), "sound\n");
        const StoredTree pff = ExportWithPffexport(path, dir_.path().string());
        EXPECT_EQ(FolderLines(pff), FolderLines(store.tree));
        for (const Aspect aspect :
             {Aspect::kSubjectsAndSenders, Aspect::kBodies, Aspect::kAttachments}) {
            CompareMessages("written", store.tree, {}, "pffexport", pff, aspect);
        }
        // The MAPI provider, which the MS Outlook backend reads through, sees the same.
        const StoredTree dump = ReadMapiDump(MAILSIFT_MAPI_DUMP, path, dir_.path().string());
        EXPECT_EQ(FolderLines(dump), FolderLines(store.tree));
        for (const Aspect aspect :
             {Aspect::kSubjectsAndSenders, Aspect::kBodies, Aspect::kAttachments}) {
            CompareMessages("written", store.tree, {}, "mapi-dump", dump, aspect);
        }
        const StoredTree readpst = AttachmentsByName(ExportWithReadpst(path, dir_.path().string()));
        const StoredTree written = AttachmentsByName(store.tree);
        EXPECT_EQ(readpst.storeName, store.tree.storeName);
        size_t items = 0;
        for (const StoredFolder& folder : readpst.folders) items += folder.itemCount;
        EXPECT_EQ(items, store.messages) << "readpst left messages out";
        for (const Aspect aspect :
             {Aspect::kSubjectsAndSenders, Aspect::kBodies, Aspect::kAttachments}) {
            CompareMessages("readpst", readpst, {kTop}, "written", written, aspect);
        }
    }

    TempDir dir_;
};

// A tree of several levels, an empty folder, and messages with and without attachments: small
// ones in the heap, one over a block, one over a data tree of one level and one of two levels.
TEST_F(PstStoreWriterTest, FoldersMessagesAndAttachmentsReadBackAsWritten) {
    const std::string path = Path("tree.pst");
    WrittenStore store(path);
    const size_t inbox = store.Folder(0, "Inbox");
    const size_t projects = store.Folder(inbox, "Projects");
    const size_t deep = store.Folder(projects, "Deep \xC3\xA4rchiv");
    store.Folder(0, "Empty");
    const size_t sent = store.Folder(0, "Sent Items");
    for (int i = 0; i < 20; ++i) {
        store.Add(inbox, Mail("Plain " + std::to_string(i), "Line one of " + std::to_string(i) +
                                                                "\r\n.\r\n..two dots\r\nend\r\n"));
    }
    const size_t sizes[] = {1, 100, 3000, 9000, 200000, 1021 * 8176 + 5000};
    for (size_t i = 0; i < std::size(sizes); ++i) {
        PstMessage message = Mail("Attached " + std::to_string(i), "See attached.\r\n");
        message.Attachments.push_back({"file" + std::to_string(i) + ".bin",
                                       "application/octet-stream",
                                       Bytes(sizes[i], static_cast<uint32_t>(i)), nullptr});
        message.Attachments.push_back({"note.txt", "text/plain", "a small note\r\n", nullptr});
        store.Add(i % 2 ? deep : sent, message);
    }
    PstMessage outer = Mail("Forwarded", "The original is attached.\r\n");
    auto inner = std::make_shared<PstMessage>(Mail("Original", "The original text.\r\n"));
    inner->Attachments.push_back({"inner.bin", "", Bytes(5000, 99), nullptr});
    outer.Attachments.push_back({"Original", "", "", inner});
    store.Add(projects, outer);
    PstMessage long_text = Mail("Long text", std::string(20000, 'x') + "\r\n");
    long_text.Html = "<p>" + std::string(5000, 'y') + "</p>";
    long_text.NamedProperties.push_back(
        {std::string("\x29\x03\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16), 0,
         "X-Project", samples::PstText(0x001F, "Mailsift")});
    store.Add(projects, long_text);
    store.Finish();
    ExpectReadBack(path, store);
}

// Enough messages for B-trees of several levels, a contents table over several heap pages and
// a row index of several levels.
TEST_F(PstStoreWriterTest, ManyMessagesInOneFolderReadBack) {
    const std::string path = Path("many.pst");
    WrittenStore store(path);
    const size_t archive = store.Folder(0, "Archive");
    for (int i = 0; i < 700; ++i) {
        PstMessage message =
            Mail("Message " + std::to_string(i), "Text " + std::to_string(i) + "\r\n");
        message.Recipients.resize(1);
        store.Add(archive, message);
    }
    store.Finish();
    ExpectReadBack(path, store);
}

}  // namespace
}  // namespace mailsift::test
