#include "outlook/msg/msg_storage.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "mapi/mapi_tags.h"
#include "outlook/msg/msg_message.h"
#include "support/file_helpers.h"
#include "support/reference_mail.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "tests/mapi_provider/provider_session.h"
#include "tests/outlook/msg_test_buffers.h"

namespace mailsift::test {
namespace {

using namespace mapi;

const char* const kPython = "/usr/bin/python3";

bool HaveOlefile() {
    return std::system((std::string(kPython) + " -c 'import olefile' 2>/dev/null").c_str()) == 0;
}

#define REQUIRE_OLEFILE()                             \
    if (!HaveOlefile()) {                             \
        GTEST_SKIP() << kPython << " has no olefile"; \
    }

std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// What the reader script says of a .msg file.
struct Layout {
    struct Entry {
        unsigned flags = 0;
        std::string value;  // 8 bytes as hex
    };
    std::string clsid;
    std::set<std::string> storages;
    std::map<std::string, std::pair<uint64_t, std::string>> streams;  // size, hex
    std::map<std::string, std::vector<uint64_t>> headers;             // size, length, fields
    std::map<std::string, std::map<std::string, Entry>> entries;      // storage, tag

    uint32_t Size(const std::string& storage, const std::string& tag) const {
        const std::string value = Unhex(entries.at(storage).at(tag).value);
        uint32_t size = 0;
        for (int i = 3; i >= 0; --i) size = (size << 8) | static_cast<unsigned char>(value[i]);
        return size;
    }
};

Layout ReadLayout(const std::string& path) {
    Layout layout;
    std::istringstream lines(
        RunCommand(std::string(kPython) + " " MSG_READER_SCRIPT " layout '" + path + "' 2>&1"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string kind, name;
        fields >> kind >> name;
        if (kind == "clsid") {
            layout.clsid = name;
        } else if (kind == "storage") {
            layout.storages.insert(name);
        } else if (kind == "stream") {
            uint64_t size = 0;
            std::string sha1, hex;
            fields >> size >> sha1 >> hex;
            layout.streams[name] = {size, hex == "-" ? "" : hex};
        } else if (kind == "header") {
            for (uint64_t value = 0; fields >> value;) layout.headers[name].push_back(value);
        } else if (kind == "entry") {
            std::string tag;
            Layout::Entry entry;
            fields >> tag >> entry.flags >> entry.value;
            layout.entries[name][tag] = entry;
        } else {
            ADD_FAILURE() << "reader said: " << line;
        }
    }
    return layout;
}

SPropValue Prop(ULONG tag) {
    SPropValue value{};
    value.ulPropTag = tag;
    return value;
}
SPropValue Long(ULONG tag, ULONG number) {
    SPropValue value = Prop(tag);
    value.Value.ul = number;
    return value;
}
SPropValue Text(ULONG tag, const char16_t* text) {
    SPropValue value = Prop(tag);
    value.Value.lpszW = const_cast<char16_t*>(text);
    return value;
}
SPropValue Bytes(ULONG tag, std::string& bytes) {
    SPropValue value = Prop(tag);
    value.Value.bin = {static_cast<ULONG>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data())};
    return value;
}

HRESULT Set(IMAPIProp* object, std::vector<SPropValue> values) {
    LPSPropProblemArray problems = nullptr;
    const HRESULT hr =
        object->SetProps(static_cast<ULONG>(values.size()), values.data(), &problems);
    FreeProviderBuffer(problems);
    return hr;
}

HRESULT AddRecipients(IMessage* message, std::vector<std::vector<SPropValue>>& rows) {
    std::vector<char> raw(CbNewADRLIST(static_cast<ULONG>(rows.size())));
    auto* list = reinterpret_cast<LPADRLIST>(raw.data());
    list->cRows = static_cast<ULONG>(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        list->aRow[i] = {0, static_cast<ULONG>(rows[i].size()), rows[i].data()};
    }
    return message->ModifyRecipients(MODRECIP_ADD, list);
}

HRESULT WriteData(IAttach* attach, const std::string& data, size_t piece) {
    InterfaceRef<IUnknown> stream;
    HRESULT hr = attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0,
                                      MAPI_CREATE | MAPI_MODIFY, stream.out());
    for (size_t done = 0; SUCCEEDED(hr) && done < data.size(); done += piece) {
        const auto count = static_cast<ULONG>(std::min(piece, data.size() - done));
        ULONG written = 0;
        hr = static_cast<IStream*>(stream.get())->Write(data.data() + done, count, &written);
    }
    return hr;
}

// A message of every kind of content, committed to `path`.
void WriteSampleMessage(const std::string& path) {
    std::string error;
    auto storage = MsgStorage::Create(path, ProviderBuffers(), error);
    ASSERT_NE(storage, nullptr) << error;
    InterfaceRef<IMessage> message;
    *message.out() = storage->OpenMessage();
    storage->SetClass(CLSID_MailMessage);
    std::string entryId = "\x01\x02\x03";
    GUID guid = MakeOleGuid(0x12345678);
    LONG numbers[] = {7, -1};
    char16_t one[] = u"one", two[] = u"two";
    LPWSTR words[] = {one, two};
    SPropValue multi = Prop(PROP_TAG(PT_MV_LONG, 0x6601));
    multi.Value.MVl = {2, numbers};
    SPropValue strings = Prop(PROP_TAG(PT_MV_UNICODE, 0x6602));
    strings.Value.MVszW = {2, words};
    SPropValue clsid = Prop(PROP_TAG(PT_CLSID, 0x6603));
    clsid.Value.lpguid = &guid;
    SPropValue flag = Prop(PR_HASATTACH);
    flag.Value.b = 1;
    ASSERT_EQ(Set(message.get(), {Text(PR_SUBJECT_W, u"Grüße"), Long(PR_MESSAGE_SIZE, 1234),
                                  Bytes(PR_RECORD_KEY, entryId), multi, strings, clsid, flag,
                                  Text(PROP_TAG(PT_UNICODE, 0x0E04), u"To")}),
              S_OK);
    std::vector<std::vector<SPropValue>> rows = {
        {Text(PR_DISPLAY_NAME_W, u"Ann"), Long(PR_RECIPIENT_TYPE, 1)},
        {Text(PR_DISPLAY_NAME_W, u"Bob"), Long(PR_RECIPIENT_TYPE, 2)}};
    ASSERT_EQ(AddRecipients(message.get(), rows), S_OK);

    ULONG number = 0;
    InterfaceRef<IAttach> data;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, data.out()), S_OK);
    ASSERT_EQ(Set(data.get(), {Text(PR_ATTACH_LONG_FILENAME_W, u"a.txt"),
                               Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE)}),
              S_OK);
    ASSERT_EQ(WriteData(data.get(), "hello attachment", 5), S_OK);
    ASSERT_EQ(data->SaveChanges(KEEP_OPEN_READWRITE), S_OK);

    InterfaceRef<IAttach> dropped;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, dropped.out()), S_OK);
    ASSERT_EQ(dropped->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_EQ(message->DeleteAttach(number, 0, nullptr, 0), S_OK);
    // Writing to an attachment deleted meanwhile does no harm.
    EXPECT_EQ(WriteData(dropped.get(), "late", 4), S_OK);
    EXPECT_EQ(dropped->SaveChanges(KEEP_OPEN_READWRITE), MAPI_E_INVALID_OBJECT);

    InterfaceRef<IAttach> holder;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, holder.out()), S_OK);
    ASSERT_EQ(Set(holder.get(), {Long(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG)}), S_OK);
    InterfaceRef<IUnknown> inner;
    ASSERT_EQ(holder->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_CREATE | MAPI_MODIFY,
                                   inner.out()),
              S_OK);
    auto* embedded = static_cast<IMessage*>(static_cast<IMAPIProp*>(inner.get()));
    ASSERT_EQ(Set(embedded, {Text(PR_SUBJECT_W, u"inner")}), S_OK);
    std::vector<std::vector<SPropValue>> innerRows = {{Text(PR_DISPLAY_NAME_W, u"Cy")}};
    ASSERT_EQ(AddRecipients(embedded, innerRows), S_OK);
    ASSERT_EQ(embedded->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_EQ(holder->SaveChanges(KEEP_OPEN_READWRITE), S_OK);

    ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    // Changes after the last save are not written.
    ASSERT_EQ(Set(message.get(), {Text(PR_BODY_W, u"unsaved")}), S_OK);
    ASSERT_TRUE(storage->Commit(error)) << error;
}

TEST(MsgStorageTest, WritesTheLayoutOfOutlookFiles) {
    REQUIRE_OLEFILE();
    TempDir dir;
    WriteSampleMessage(dir / "sample.msg");
    const Layout layout = ReadLayout(dir / "sample.msg");
    EXPECT_EQ(layout.clsid, "00020D0B-0000-0000-C000-000000000046");
    EXPECT_EQ(layout.storages, (std::set<std::string>{
                                   "__attach_version1.0_#00000000", "__attach_version1.0_#00000001",
                                   "__attach_version1.0_#00000001/__substg1.0_3701000D",
                                   "__attach_version1.0_#00000001/__substg1.0_3701000D/"
                                   "__recip_version1.0_#00000000",
                                   "__nameid_version1.0", "__recip_version1.0_#00000000",
                                   "__recip_version1.0_#00000001"}));
    // Header: next recipient id, next attachment id, recipient count, attachment count.
    EXPECT_EQ(layout.headers.at("."), (std::vector<uint64_t>{32, 32 + 9 * 16, 2, 2, 2, 2}));
    const auto& root = layout.entries.at(".");
    EXPECT_EQ(root.at("0037001F").flags, 6u);
    EXPECT_EQ(layout.Size(".", "0037001F"), 12u);  // five characters and the terminator
    EXPECT_EQ(layout.streams.at("__substg1.0_0037001F").second,
              Hex(std::string_view("G\0r\0\xFC\0\xDF\0e\0", 10)));
    EXPECT_EQ(root.at("0E080003").value, "d204000000000000");
    EXPECT_EQ(root.at("0E1B000B").value, "0100000000000000");
    EXPECT_EQ(root.at("0E04001F").flags, 2u);  // read-only, as Outlook marks it
    EXPECT_EQ(layout.streams.at("__substg1.0_0FF90102").second, "010203");
    EXPECT_EQ(layout.streams.at("__substg1.0_66011003").second, "07000000ffffffff");
    EXPECT_EQ(layout.streams.at("__substg1.0_66030048").first, 16u);
    EXPECT_EQ(layout.streams.at("__substg1.0_6602101F").second, "0800000008000000");
    EXPECT_EQ(layout.streams.at("__substg1.0_6602101F-00000001").second, "740077006f000000");
    EXPECT_EQ(root.count("1000001F"), 0u) << "saved after the last SaveChanges";
    // The strings are Unicode, and the store's support mask says so.
    EXPECT_EQ(root.at("340D0003").value, "0000040000000000");
    EXPECT_EQ(root.at("340D0003").flags, 2u);
    for (const char* name :
         {"__substg1.0_00020102", "__substg1.0_00030102", "__substg1.0_00040102"}) {
        EXPECT_EQ(layout.streams.at(std::string("__nameid_version1.0/") + name).first, 0u);
    }

    const std::string recipient = "__recip_version1.0_#00000001";
    EXPECT_EQ(layout.headers.at(recipient)[0], 8u);
    EXPECT_EQ(layout.entries.at(recipient).at("30000003").value, "0100000000000000");
    EXPECT_EQ(layout.streams.at(recipient + "/__substg1.0_3001001F").second, "42006f006200");

    const std::string data = "__attach_version1.0_#00000000";
    EXPECT_EQ(layout.streams.at(data + "/__substg1.0_37010102").second, Hex("hello attachment"));
    EXPECT_EQ(layout.Size(data, "37010102"), 16u);
    EXPECT_EQ(layout.entries.at(data).at("0E210003").value, "0000000000000000");

    const std::string holder = "__attach_version1.0_#00000001";
    EXPECT_EQ(layout.entries.at(holder).at("0E210003").value, "0100000000000000");
    EXPECT_EQ(layout.Size(holder, "3701000D"), 0xFFFFFFFFu);
    const std::string inner = holder + "/__substg1.0_3701000D";
    EXPECT_EQ(layout.headers.at(inner), (std::vector<uint64_t>{24, 24 + 16, 1, 0, 1, 0}));
    EXPECT_EQ(layout.streams.at(inner + "/__substg1.0_0037001F").second,
              Hex(std::string_view("i\0n\0n\0e\0r\0", 10)));
    EXPECT_EQ(layout.storages.count(inner + "/__nameid_version1.0"), 0u);
}

TEST(MsgStorageTest, GivesBackWhatWasSetAndRefusesWhatCannotBeKept) {
    TempDir dir;
    std::string error;
    auto storage = MsgStorage::Create(dir / "m.msg", ProviderBuffers(), error);
    ASSERT_NE(storage, nullptr) << error;
    InterfaceRef<IMessage> message;
    *message.out() = storage->OpenMessage();
    InterfaceRef<IMessage> again;
    *again.out() = storage->OpenMessage();
    EXPECT_EQ(again.get(), message.get());

    SPropValue values[] = {Text(PR_SUBJECT_W, u"Hi"), Prop(PROP_TAG(0x0077, 0x6610)),
                           Prop(CHANGE_PROP_TYPE(PR_BODY_W, PT_ERROR)), Long(0x80010003, 1),
                           Text(PR_SUBJECT_W, nullptr)};
    values[2].Value.err = MAPI_E_NOT_FOUND;
    LPSPropProblemArray problems = nullptr;
    ASSERT_EQ(message->SetProps(5, values, &problems), S_OK);
    ASSERT_NE(problems, nullptr);
    ASSERT_EQ(problems->cProblem, 3u);  // unknown type, named property, null string
    EXPECT_EQ(problems->aProblem[0].ulIndex, 1u);
    EXPECT_EQ(problems->aProblem[0].scode, MAPI_E_INVALID_TYPE);
    EXPECT_EQ(problems->aProblem[1].ulIndex, 3u);
    EXPECT_EQ(problems->aProblem[2].ulIndex, 4u);
    FreeProviderBuffer(problems);

    SizedSPropTagArray<3> tags{3, {PR_SUBJECT_W, PR_BODY_W, PROP_TAG(PT_UNSPECIFIED, 0x0037)}};
    ULONG count = 0;
    LPSPropValue read = nullptr;
    EXPECT_EQ(message->GetProps(tags.get(), 0, &count, &read), MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(std::u16string(read[0].Value.lpszW), u"Hi");
    EXPECT_EQ(read[1].ulPropTag, CHANGE_PROP_TYPE(PR_BODY_W, PT_ERROR));
    EXPECT_EQ(read[2].ulPropTag, PR_SUBJECT_W);
    FreeProviderBuffer(read);
    LPSPropTagArray list = nullptr;
    ASSERT_EQ(message->GetPropList(0, &list), S_OK);
    EXPECT_EQ(list->cValues, 1u);
    FreeProviderBuffer(list);

    InterfaceRef<IAttach> attach;
    ULONG number = 9;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attach.out()), S_OK);
    EXPECT_EQ(number, 0u);
    EXPECT_EQ(Set(attach.get(), {Long(PR_ATTACH_NUM, 5)}), S_OK);
    const std::string big(3 << 20, 'x');
    ASSERT_EQ(WriteData(attach.get(), big, 1 << 16), S_OK);
    ASSERT_EQ(attach->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    // Too large to hand out whole: it is read through a stream.
    SizedSPropTagArray<2> attachTags{2, {PR_ATTACH_NUM, PR_ATTACH_DATA_BIN}};
    ASSERT_EQ(attach->GetProps(attachTags.get(), 0, &count, &read), MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(read[0].Value.ul, 0u);
    EXPECT_EQ(read[1].Value.err, MAPI_E_NOT_ENOUGH_MEMORY);
    FreeProviderBuffer(read);
    InterfaceRef<IAttach> reopened;
    ASSERT_EQ(message->OpenAttach(0, nullptr, 0, reopened.out()), S_OK);
    InterfaceRef<IUnknown> stream;
    ASSERT_EQ(reopened->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, stream.out()), S_OK);
    auto* reader = static_cast<IStream*>(stream.get());
    LARGE_INTEGER offset{};
    offset.QuadPart = -3;
    ASSERT_EQ(reader->Seek(offset, STREAM_SEEK_END, nullptr), S_OK);
    char tail[8] = {};
    ULONG got = 0;
    EXPECT_EQ(reader->Read(tail, sizeof tail, &got), S_OK);
    EXPECT_EQ(std::string(tail, got), "xxx");
    EXPECT_EQ(reader->Write("y", 1, &got), STG_E_ACCESSDENIED);

    // Writing after a save changes the attachment, not what it saved.
    ASSERT_EQ(WriteData(attach.get(), "changed", 7), S_OK);
    InterfaceRef<IAttach> saved;
    ASSERT_EQ(message->OpenAttach(0, nullptr, 0, saved.out()), S_OK);
    InterfaceRef<IUnknown> savedStream;
    ASSERT_EQ(saved->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, savedStream.out()), S_OK);
    EXPECT_EQ(static_cast<IStream*>(savedStream.get())->Read(tail, 7, &got), S_OK);
    EXPECT_EQ(std::string(tail, got), "xxxxxxx");

    // Embedded messages nest only so deep.
    std::vector<std::unique_ptr<InterfaceRef<IUnknown>>> messages;
    std::vector<std::unique_ptr<InterfaceRef<IAttach>>> attachments;
    IAttach* current = attach.get();
    HRESULT hr = S_OK;
    unsigned depth = 0;
    for (; depth < 100; ++depth) {
        messages.push_back(std::make_unique<InterfaceRef<IUnknown>>());
        hr = current->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_CREATE,
                                   messages.back()->out());
        if (FAILED(hr)) break;
        auto* inner = static_cast<IMessage*>(static_cast<IMAPIProp*>(messages.back()->get()));
        attachments.push_back(std::make_unique<InterfaceRef<IAttach>>());
        ASSERT_EQ(inner->CreateAttach(nullptr, 0, &number, attachments.back()->out()), S_OK);
        current = attachments.back()->get();
    }
    EXPECT_EQ(hr, MAPI_E_TOO_COMPLEX);
    EXPECT_EQ(depth, kMsgMaxEmbeddingDepth);
}

TEST(MsgStorageTest, CommitReplacesWholeOrLeavesEverythingAsItWas) {
    TempDir dir;
    std::string error;
    const std::string target = dir / "kept.msg";
    WriteFileBytes(target, "old content");
    {
        auto storage = MsgStorage::Create(target, ProviderBuffers(), error);
        ASSERT_NE(storage, nullptr) << error;
        IMessage* message = storage->OpenMessage();
        ASSERT_EQ(Set(message, {Text(PR_SUBJECT_W, u"new")}), S_OK);
        ASSERT_EQ(message->SaveChanges(0), S_OK);
        message->Release();
    }
    EXPECT_EQ(ReadFileBytes(target), "old content") << "destroyed without Commit";

    const std::filesystem::path locked = dir.path() / "locked";
    std::filesystem::create_directory(locked);
    auto storage = MsgStorage::Create((locked / "m.msg").string(), ProviderBuffers(), error);
    ASSERT_NE(storage, nullptr) << error;
    std::filesystem::permissions(
        locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (getuid() != 0) {
        EXPECT_FALSE(storage->Commit(error));
        EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
        EXPECT_TRUE(std::filesystem::is_empty(locked));
    }
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);

    // A folder in the target's place cannot be replaced: the sibling written goes again.
    std::filesystem::create_directory(dir.path() / "folder.msg");
    auto blocked = MsgStorage::Create(dir / "folder.msg", ProviderBuffers(), error);
    ASSERT_NE(blocked, nullptr);
    EXPECT_FALSE(blocked->Commit(error));
    EXPECT_NE(error.find("Cannot replace"), std::string::npos) << error;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
    EXPECT_EQ(
        MsgStorage::Create((dir.path() / "missing" / "m.msg").string(), ProviderBuffers(), error),
        nullptr);
    // Without a MAPI library of the program's own, nothing would free what the message hands
    // out to the copy.
    EXPECT_EQ(MsgStorage::Create((dir.path() / "m.msg").string(), error), nullptr);

    // The message outlives its storage and the storage its message, in either order.
    for (bool storageFirst : {true, false}) {
        auto owner = MsgStorage::Create(target, ProviderBuffers(), error);
        IMessage* message = owner->OpenMessage();
        ASSERT_EQ(Set(message, {Text(PR_SUBJECT_W, u"new")}), S_OK);
        ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
        ASSERT_TRUE(owner->Commit(error)) << error;
        if (storageFirst) {
            owner.reset();
            EXPECT_EQ(Set(message, {Text(PR_BODY_W, u"later")}), S_OK);
            EXPECT_EQ(message->Release(), 0u);
        } else {
            EXPECT_EQ(message->Release(), 1u);
            EXPECT_TRUE(owner->Commit(error)) << error;
        }
    }
    EXPECT_NE(ReadFileBytes(target).substr(0, 4), "old ");
}

// Limits keep what fits: the first recipients past the limit, a target whose name is as long
// as the file system allows; a read at the end of a stream is no failure.
TEST(MsgStorageTest, KeepsWhatFitsTheLimits) {
    TempDir dir;
    std::string error;
    const std::string target = (dir.path() / (std::string(250, 'n') + ".msg")).string();
    auto storage = MsgStorage::Create(target, ProviderBuffers(), error);
    ASSERT_NE(storage, nullptr) << error;
    InterfaceRef<IMessage> message;
    *message.out() = storage->OpenMessage();
    char16_t name[] = u"Ann";
    std::vector<std::vector<SPropValue>> rows(kMsgMaxRows + 5, {Text(PR_DISPLAY_NAME_W, name)});
    EXPECT_EQ(AddRecipients(message.get(), rows), MAPI_W_ERRORS_RETURNED);

    InterfaceRef<IAttach> attach;
    ULONG number = 0;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attach.out()), S_OK);
    ASSERT_EQ(WriteData(attach.get(), "abc", 3), S_OK);
    InterfaceRef<IUnknown> stream;
    ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, stream.out()), S_OK);
    LARGE_INTEGER past{};
    past.QuadPart = 10;
    auto* data = static_cast<IStream*>(stream.get());
    ASSERT_EQ(data->Seek(past, 0, nullptr), S_OK);
    char byte = 0;
    ULONG read = 7;
    EXPECT_EQ(data->Read(&byte, 1, &read), S_OK);
    EXPECT_EQ(read, 0u);

    ASSERT_EQ(attach->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    EXPECT_EQ(SavedMessageOf(message.get())->recipients.size(), kMsgMaxRows);
    ASSERT_TRUE(storage->Commit(error)) << error;
    EXPECT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(MsgStorageTest, LargeAttachmentGoesThroughATemporaryFile) {
    REQUIRE_OLEFILE();
    TempDir dir;
    std::string error;
    auto storage = MsgStorage::Create(dir / "large.msg", ProviderBuffers(), error);
    ASSERT_NE(storage, nullptr) << error;
    InterfaceRef<IMessage> message;
    *message.out() = storage->OpenMessage();
    InterfaceRef<IAttach> attach;
    ULONG number = 0;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attach.out()), S_OK);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    InterfaceRef<IUnknown> stream;
    ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                   stream.out()),
              S_OK);
    std::string piece(64 * 1024, '\0');
    constexpr size_t kSize = 100u << 20;
    for (size_t done = 0; done < kSize; done += piece.size()) {
        piece[0] = static_cast<char>(done >> 16);
        ULONG written = 0;
        ASSERT_EQ(static_cast<IStream*>(stream.get())
                      ->Write(piece.data(), static_cast<ULONG>(piece.size()), &written),
                  S_OK);
    }
    ASSERT_EQ(attach->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_TRUE(storage->Commit(error)) << error;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const long grownKb = after.ru_maxrss - before.ru_maxrss;
    RecordProperty("peak_growth_kb", std::to_string(grownKb));
    RecordProperty("seconds", std::to_string(seconds));
    std::printf("100 MB attachment: peak memory grew by %ld KB, written in %.2f s\n", grownKb,
                seconds);
    EXPECT_LT(grownKb, 32 * 1024);
    const Layout layout = ReadLayout(dir / "large.msg");
    EXPECT_EQ(layout.streams.at("__attach_version1.0_#00000000/__substg1.0_37010102").first, kSize);
}

// Outlook ends some strings in their streams with terminators of their own.
void TrimTerminators(ULONG type, std::string& bytes) {
    const size_t width = type == PT_UNICODE ? 2 : (type == PT_STRING8 ? 1 : 0);
    while (width > 0 && bytes.size() >= width &&
           bytes.find_first_not_of('\0', bytes.size() - width) == std::string::npos) {
        bytes.resize(bytes.size() - width);
    }
}

// The value of an Outlook entry for SetProps; false for what is not set that way.
bool OutlookValue(const Layout& layout, const std::string& storage, const std::string& tagText,
                  std::vector<std::string>& keep, SPropValue& value) {
    const ULONG tag = static_cast<ULONG>(std::stoul(tagText, nullptr, 16));
    const ULONG type = PROP_TYPE(tag);
    value = Prop(tag);
    const std::string raw = Unhex(layout.entries.at(storage).at(tagText).value);
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(raw[i]);
    const size_t fixed = MsgFixedValueSize(type);
    if (PROP_ID(tag) >= MIN_NAMED_PROP_ID) return false;
    if (fixed > 0) {
        value.Value.li.QuadPart = static_cast<LONGLONG>(fixed == 8 ? bits : bits & 0xFFFFFFFFu);
        if (type == PT_I2 || type == PT_BOOLEAN) value.Value.i = static_cast<short>(bits);
        return true;
    }
    if (type != PT_UNICODE && type != PT_STRING8 && type != PT_BINARY) return false;
    const std::string prefix = storage == "." ? "" : storage + "/";
    std::string bytes = Unhex(layout.streams.at(prefix + "__substg1.0_" + tagText).second);
    if (type != PT_BINARY) {
        TrimTerminators(type, bytes);
        bytes.append(4, '\0');
    }
    keep.push_back(bytes);
    value.Value.bin = {static_cast<ULONG>(keep.back().size()),
                       reinterpret_cast<BYTE*>(keep.back().data())};
    if (type == PT_BINARY) return true;
    value.Value.lpszA = keep.back().data();
    return true;
}

TEST(MsgStorageTest, MatchesTheEntriesAndStreamsOfOutlookFiles) {
    REQUIRE_OLEFILE();
    const std::string fixtures = SharedFixturesDir();
    if (fixtures.empty() || !std::filesystem::exists(fixtures + "/msg")) {
        GTEST_SKIP() << "no .msg fixtures";
    }
    TempDir dir;
    for (const auto& file : std::filesystem::directory_iterator(fixtures + "/msg")) {
        SCOPED_TRACE(file.path().filename().string());
        const Layout outlook = ReadLayout(file.path().string());
        std::vector<std::string> keep;
        keep.reserve(4096);
        std::string error;
        const std::string ours = dir / file.path().filename().string();
        auto storage = MsgStorage::Create(ours, ProviderBuffers(), error);
        InterfaceRef<IMessage> message;
        *message.out() = storage->OpenMessage();
        storage->SetClass(CLSID_MailMessage);
        std::vector<std::vector<SPropValue>> rows;
        for (const auto& [name, entries] : outlook.entries) {
            std::vector<SPropValue> values;
            for (const auto& [tag, entry] : entries) {
                SPropValue value{};
                if (tag != "30000003" && OutlookValue(outlook, name, tag, keep, value)) {
                    values.push_back(value);
                }
            }
            if (name == ".") {
                ASSERT_EQ(Set(message.get(), values), S_OK);
            } else if (name.starts_with("__recip_version1.0_#")) {
                rows.push_back(values);
            }
        }
        if (!rows.empty()) {
            ASSERT_EQ(AddRecipients(message.get(), rows), S_OK);
        }
        ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
        ASSERT_TRUE(storage->Commit(error)) << error;

        const Layout written = ReadLayout(ours);
        EXPECT_EQ(written.headers.at(".").size(), outlook.headers.at(".").size());
        for (size_t i = 2; i < outlook.headers.at(".").size(); ++i) {
            EXPECT_EQ(written.headers.at(".")[i], outlook.headers.at(".")[i]) << "header " << i;
        }
        size_t compared = 0;
        for (const auto& [name, entries] : outlook.entries) {
            for (const auto& [tag, entry] : entries) {
                SPropValue unused{};
                std::vector<std::string> scratch;
                if (!OutlookValue(outlook, name, tag, scratch, unused)) continue;
                SCOPED_TRACE(name + " " + tag);
                ASSERT_EQ(written.entries.at(name).count(tag), 1u);
                const Layout::Entry& mine = written.entries.at(name).at(tag);
                EXPECT_EQ(mine.flags, entry.flags);
                const ULONG type = PROP_TYPE(static_cast<ULONG>(std::stoul(tag, nullptr, 16)));
                const size_t fixed = MsgFixedValueSize(type);
                if (fixed > 0) {
                    EXPECT_EQ(mine.value.substr(0, 2 * fixed), entry.value.substr(0, 2 * fixed));
                } else {
                    const std::string stream =
                        (name == "." ? "" : name + "/") + "__substg1.0_" + tag;
                    std::string theirs = Unhex(outlook.streams.at(stream).second);
                    const bool terminated = !theirs.empty() && theirs.back() == '\0';
                    if (!terminated) {
                        EXPECT_EQ(written.Size(name, tag), outlook.Size(name, tag));
                    }
                    TrimTerminators(type, theirs);
                    EXPECT_EQ(Unhex(written.streams.at(stream).second), theirs);
                }
                ++compared;
            }
        }
        EXPECT_GT(compared, 10u);
        EXPECT_EQ(written.clsid, outlook.clsid);
    }
}

// Every message of `store`, in every folder.
void ForEachMessage(IMsgStore* store, const std::function<void(IMessage*)>& visit) {
    std::function<void(IMAPIFolder*, int)> walk = [&](IMAPIFolder* folder, int depth) {
        SizedSPropTagArray<1> columns{1, {PR_ENTRYID}};
        InterfaceRef<IMAPITable> contents;
        Rows messages;
        if (SUCCEEDED(folder->GetContentsTable(0, contents.out())) &&
            SUCCEEDED(Provider().HrQueryAllRows(contents.get(), columns.get(), nullptr, nullptr, 0,
                                                messages.out()))) {
            for (ULONG i = 0; i < messages.size(); ++i) {
                const SBinary& id = messages.at(i, 0).Value.bin;
                ULONG type = 0;
                InterfaceRef<IUnknown> message;
                if (SUCCEEDED(store->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb),
                                               &IID_IMessage, 0, &type, message.out()))) {
                    visit(static_cast<IMessage*>(static_cast<IMAPIProp*>(message.get())));
                }
            }
        }
        InterfaceRef<IMAPITable> hierarchy;
        Rows children;
        if (depth > 16 || FAILED(folder->GetHierarchyTable(0, hierarchy.out())) ||
            FAILED(Provider().HrQueryAllRows(hierarchy.get(), columns.get(), nullptr, nullptr, 0,
                                             children.out()))) {
            return;
        }
        for (ULONG i = 0; i < children.size(); ++i) {
            const SBinary& id = children.at(i, 0).Value.bin;
            ULONG type = 0;
            InterfaceRef<IUnknown> child;
            if (SUCCEEDED(folder->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, 0,
                                            &type, child.out())) &&
                type == MAPI_FOLDER) {
                walk(static_cast<IMAPIFolder*>(static_cast<IMAPIProp*>(child.get())), depth + 1);
            }
        }
    };
    ULONG type = 0;
    InterfaceRef<IUnknown> root;
    if (SUCCEEDED(store->OpenEntry(0, nullptr, nullptr, 0, &type, root.out()))) {
        walk(static_cast<IMAPIFolder*>(static_cast<IMAPIProp*>(root.get())), 0);
    }
}

// Bytes of the attachments stored by value, keyed by file name.
std::multimap<std::string, std::string> AttachmentsByValue(IMessage* message) {
    std::multimap<std::string, std::string> found;
    InterfaceRef<IMAPITable> table;
    Rows rows;
    SizedSPropTagArray<1> columns{1, {PR_ATTACH_NUM}};
    if (FAILED(message->GetAttachmentTable(0, table.out())) ||
        FAILED(Provider().HrQueryAllRows(table.get(), columns.get(), nullptr, nullptr, 0,
                                         rows.out()))) {
        return found;
    }
    for (ULONG i = 0; i < rows.size(); ++i) {
        InterfaceRef<IAttach> attach;
        InterfaceRef<IUnknown> stream;
        if (FAILED(message->OpenAttach(rows.at(i, 0).Value.ul, nullptr, 0, attach.out())) ||
            FAILED(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, stream.out()))) {
            continue;
        }
        std::string name = StringProp(attach.get(), PR_ATTACH_LONG_FILENAME_W);
        if (name.empty()) name = StringProp(attach.get(), PR_ATTACH_FILENAME_W);
        std::string bytes;
        char buffer[65536];
        ULONG got = 0;
        while (SUCCEEDED(static_cast<IStream*>(stream.get())->Read(buffer, sizeof buffer, &got)) &&
               got > 0) {
            bytes.append(buffer, got);
        }
        found.emplace(name, bytes);
    }
    return found;
}

std::string Normalized(std::string text) {
    std::erase(text, '\r');
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    return text;
}

TEST(MsgStorageTest, CopiesOfStoredMessagesReadBackAlike) {
    REQUIRE_OLEFILE();
    const std::string fixtures = SharedFixturesDir();
    if (fixtures.empty() || !std::filesystem::exists(fixtures + "/pst")) {
        GTEST_SKIP() << "no personal folder fixtures";
    }
    if (std::system("command -v msgconvert >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "msgconvert is not installed";
    }
    SizedSPropTagArray<6> excluded{
        6,
        {PR_ACCESS, PR_RTF_SYNC_BODY_COUNT, PR_RTF_SYNC_BODY_CRC, PR_RTF_SYNC_BODY_TAG_A,
         PR_RTF_SYNC_PREFIX_COUNT, PR_RTF_SYNC_TRAILING_COUNT}};
    TempDir dir;
    int copied = 0;
    for (const auto& file : std::filesystem::directory_iterator(fixtures + "/pst")) {
        ProviderSession session;
        ASSERT_EQ(session.Open(file.path().string()), S_OK) << file.path();
        ForEachMessage(session.store(), [&](IMessage* source) {
            const std::string path = dir / (std::to_string(++copied) + ".msg");
            SCOPED_TRACE(file.path().filename().string() + " -> " + path);
            std::string error;
            auto storage = MsgStorage::Create(path, ProviderBuffers(), error);
            ASSERT_NE(storage, nullptr) << error;
            InterfaceRef<IMessage> target;
            *target.out() = storage->OpenMessage();
            storage->SetClass(CLSID_MailMessage);
            EXPECT_TRUE(SUCCEEDED(source->CopyTo(0, nullptr, excluded.get(), 0, nullptr,
                                                 &IID_IMessage, target.get(), 0, nullptr)));
            ASSERT_EQ(target->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
            ASSERT_TRUE(storage->Commit(error)) << error;
            storage.reset();
            target.reset();

            const Layout layout = ReadLayout(path);
            EXPECT_EQ(layout.headers.count("."), 1u);
            EXPECT_EQ(layout.entries.at(".").count("0FF40003"), 0u) << "excluded";
            const std::string eml = path + ".eml";
            ASSERT_EQ(
                std::system(
                    ("msgconvert --outfile '" + eml + "' '" + path + "' >/dev/null 2>&1").c_str()),
                0);
            std::multimap<std::string, std::string> mail;
            std::istringstream lines(
                RunCommand(std::string(kPython) + " " MSG_READER_SCRIPT " eml '" + eml + "'"));
            for (std::string line; std::getline(lines, line);) {
                const size_t space = line.find(' ');
                mail.emplace(line.substr(0, space),
                             space == std::string::npos ? "" : line.substr(space + 1));
            }
            EXPECT_EQ(mail.find("subject")->second, StringProp(source, PR_SUBJECT_W));
            // Exchange senders have no mail address; their name stands for them.
            const std::string from = mail.find("from")->second;
            const std::string senderName = StringProp(source, PR_SENDER_NAME_W);
            const std::string address = StringProp(source, PR_SENDER_EMAIL_ADDRESS_W);
            EXPECT_TRUE(from.find(address) != std::string::npos ||
                        from.find(senderName) != std::string::npos)
                << from << " / " << senderName << " / " << address;
            InterfaceRef<IMAPITable> recipients;
            ULONG count = 0;
            ASSERT_EQ(source->GetRecipientTable(0, recipients.out()), S_OK);
            ASSERT_EQ(recipients->GetRowCount(0, &count), S_OK);
            EXPECT_EQ(mail.count("recipient"), count);
            EXPECT_EQ(Normalized(Unhex(mail.find("body")->second)),
                      Normalized(StringProp(source, PR_BODY_W)));
            std::multiset<std::string> attached;
            const auto [first, last] = mail.equal_range("attachment");
            for (auto it = first; it != last; ++it) {
                std::istringstream fields(it->second);
                std::string name, size, sha1;
                fields >> name >> size >> sha1;
                attached.insert(Unhex(name) + " " + size);
            }
            for (const auto& [name, bytes] : AttachmentsByValue(source)) {
                EXPECT_EQ(attached.count(name + " " + std::to_string(bytes.size())), 1u) << name;
            }
        });
    }
    EXPECT_GT(copied, 0);
}

// The named properties of a .msg file as the reader script gives them.
struct NamedLayout {
    std::vector<std::string> names;             // "8000 <set> n|s <number or name>"
    std::map<std::string, std::string> values;  // "8000 001F" -> hex
    std::vector<std::string> problems;
};

NamedLayout ReadNames(const std::string& path) {
    NamedLayout layout;
    std::istringstream lines(
        RunCommand(std::string(kPython) + " " MSG_READER_SCRIPT " names '" + path + "' 2>&1"));
    for (std::string line; std::getline(lines, line);) {
        const size_t space = line.find(' ');
        const std::string kind = line.substr(0, space), rest = line.substr(space + 1);
        if (kind == "name") {
            layout.names.push_back(rest);
        } else if (kind == "value") {
            layout.values[rest.substr(0, 9)] = rest.substr(10);
        } else {
            layout.problems.push_back(line);
        }
    }
    return layout;
}

// A name as the reader script writes it, kept with its MAPINAMEID.
struct ScriptName {
    explicit ScriptName(const std::string& line) {
        std::istringstream fields(line);
        std::string id, set, kind, value;
        fields >> id >> set >> kind >> value;
        const std::string bytes = Unhex(set);
        std::memcpy(&name.set, bytes.data(), sizeof(GUID));
        name.byString = kind == "s";
        if (name.byString) {
            const std::string text = Unhex(value);
            for (size_t i = 0; i + 1 < text.size(); i += 2) {
                name.text += static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                                   static_cast<unsigned char>(text[i + 1]) << 8);
            }
        } else {
            name.number = static_cast<LONG>(std::stoul(value, nullptr, 16));
        }
    }
    // Valid while the name stays where it is.
    LPMAPINAMEID get() {
        id_ = NameIdOf(name);
        return &id_;
    }
    PropertyName name;

  private:
    MAPINAMEID id_{};
};

// The tags GetIDsFromNames gives for `names`, and its result.
HRESULT IdsOf(IMAPIProp* object, std::vector<ScriptName>& names, ULONG flags,
              std::vector<ULONG>& tags) {
    std::vector<LPMAPINAMEID> pointers;
    for (ScriptName& name : names) pointers.push_back(name.get());
    LPSPropTagArray array = nullptr;
    const HRESULT hr = object->GetIDsFromNames(static_cast<ULONG>(pointers.size()), pointers.data(),
                                               flags, &array);
    tags.clear();
    for (ULONG i = 0; array != nullptr && i < array->cValues; ++i) {
        tags.push_back(array->aulPropTag[i]);
    }
    FreeProviderBuffer(array);
    return hr;
}

// Outlook numbers the names of a file in the order they were first used; given the same
// names in the same order, the name storage must come out as Outlook wrote it.
TEST(MsgStorageTest, RecordsNamesAsOutlookFilesDo) {
    REQUIRE_OLEFILE();
    const std::string fixtures = SharedFixturesDir();
    if (fixtures.empty() || !std::filesystem::exists(fixtures + "/msg")) {
        GTEST_SKIP() << "no .msg fixtures";
    }
    TempDir dir;
    size_t checked = 0;
    for (const auto& file : std::filesystem::directory_iterator(fixtures + "/msg")) {
        SCOPED_TRACE(file.path().filename().string());
        const NamedLayout theirs = ReadNames(file.path().string());
        ASSERT_TRUE(theirs.problems.empty()) << theirs.problems.front();
        std::vector<ScriptName> names;
        for (const std::string& line : theirs.names) names.emplace_back(line);
        std::string error;
        const std::string ours = dir / file.path().filename().string();
        auto storage = MsgStorage::Create(ours, ProviderBuffers(), error);
        InterfaceRef<IMessage> message;
        *message.out() = storage->OpenMessage();
        std::vector<ULONG> tags;
        ASSERT_EQ(IdsOf(message.get(), names, MAPI_CREATE, tags), S_OK);
        for (size_t i = 0; i < tags.size(); ++i) {
            EXPECT_EQ(tags[i], PROP_TAG(PT_UNSPECIFIED, 0x8000 + static_cast<ULONG>(i)));
        }
        ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
        ASSERT_TRUE(storage->Commit(error)) << error;

        const NamedLayout written = ReadNames(ours);
        EXPECT_TRUE(written.problems.empty()) << written.problems.front();
        EXPECT_EQ(written.names, theirs.names);
        const Layout outlook = ReadLayout(file.path().string());
        const Layout mine = ReadLayout(ours);
        const std::string storage_name = "__nameid_version1.0/";
        for (const auto& [name, stream] : outlook.streams) {
            if (!name.starts_with(storage_name)) continue;
            SCOPED_TRACE(name);
            ASSERT_EQ(mine.streams.count(name), 1u);
            const std::string& bytes = mine.streams.at(name).second;
            if (name.ends_with("00040102")) {
                // Outlook leaves the last string unpadded at times.
                EXPECT_EQ(bytes.substr(0, stream.second.size()), stream.second);
                EXPECT_EQ(mine.streams.at(name).first, (stream.first + 3) / 4 * 4);
            } else {
                EXPECT_EQ(bytes, stream.second);
            }
            ++checked;
        }
        for (const auto& [name, stream] : mine.streams) {
            EXPECT_TRUE(!name.starts_with(storage_name) || outlook.streams.count(name) == 1)
                << name;
        }
    }
    EXPECT_GT(checked, 20u);
}

TEST(MsgStorageTest, NamedPropertiesShareOneMapAcrossTheFile) {
    REQUIRE_OLEFILE();
    TempDir dir;
    const std::string path = dir / "named.msg";
    std::string error;
    auto storage = MsgStorage::Create(path, ProviderBuffers(), error);
    ASSERT_NE(storage, nullptr) << error;
    InterfaceRef<IMessage> message;
    *message.out() = storage->OpenMessage();
    std::vector<ScriptName> location = {ScriptName("0 0220060000000000c000000000000046 n 8208")};
    std::vector<ScriptName> keywords = {
        ScriptName("0 2903020000000000c000000000000046 s 4b006500790077006f00720064007300")};
    std::vector<ULONG> tags;
    // Unknown names are not made unless asked for.
    EXPECT_EQ(IdsOf(message.get(), location, 0, tags), MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(tags, std::vector<ULONG>{PT_ERROR});
    ASSERT_EQ(IdsOf(message.get(), location, MAPI_CREATE, tags), S_OK);
    ASSERT_EQ(tags, std::vector<ULONG>{0x80000000});
    EXPECT_EQ(Set(message.get(), {Text(0x8000001F, u"Hall"), Long(0x80010003, 1)}), S_OK);

    ULONG number = 0;
    InterfaceRef<IAttach> holder;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, holder.out()), S_OK);
    ASSERT_EQ(IdsOf(holder.get(), keywords, MAPI_CREATE, tags), S_OK);
    ASSERT_EQ(tags, std::vector<ULONG>{0x80010000});
    ASSERT_EQ(Set(holder.get(), {Text(0x8001001F, u"attached")}), S_OK);
    InterfaceRef<IUnknown> inner;
    ASSERT_EQ(holder->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_CREATE | MAPI_MODIFY,
                                   inner.out()),
              S_OK);
    auto* embedded = static_cast<IMessage*>(static_cast<IMAPIProp*>(inner.get()));
    // The embedded message knows the names of the file it is in.
    ASSERT_EQ(IdsOf(embedded, location, 0, tags), S_OK);
    ASSERT_EQ(tags, std::vector<ULONG>{0x80000000});
    ASSERT_EQ(Set(embedded, {Text(0x8000001F, u"inner hall")}), S_OK);
    std::vector<std::vector<SPropValue>> rows = {
        {Text(PR_DISPLAY_NAME_W, u"Cy"), Text(0x8001001F, u"to Cy"), Long(0x80020003, 2)}};
    ASSERT_EQ(AddRecipients(embedded, rows), S_OK);
    LPSPropTagArray all = nullptr;
    ULONG count = 0;
    LPMAPINAMEID* names = nullptr;
    ASSERT_EQ(embedded->GetNamesFromIDs(&all, nullptr, 0, &count, &names), S_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(all->aulPropTag[1], 0x80010000u);
    EXPECT_EQ(names[1]->ulKind, MNID_STRING);
    EXPECT_EQ(std::u16string(names[1]->Kind.lpwstrName), u"Keywords");
    EXPECT_EQ(*names[0]->lpguid, location[0].name.set);
    EXPECT_EQ(names[0]->Kind.lID, 0x8208);
    FreeProviderBuffer(names);
    FreeProviderBuffer(all);
    SizedSPropTagArray<2> asked{2, {0x80010000, 0x80050000}};
    LPSPropTagArray askedTags = asked.get();
    ASSERT_EQ(message->GetNamesFromIDs(&askedTags, nullptr, 0, &count, &names),
              MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(count, 2u);
    EXPECT_NE(names[0], nullptr);
    EXPECT_EQ(names[1], nullptr);
    FreeProviderBuffer(names);
    ASSERT_EQ(embedded->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_EQ(holder->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_TRUE(storage->Commit(error)) << error;

    const NamedLayout named = ReadNames(path);
    EXPECT_TRUE(named.problems.empty()) << named.problems.front();
    EXPECT_EQ(named.names,
              (std::vector<std::string>{
                  "8000 0220060000000000c000000000000046 n 8208",
                  "8001 2903020000000000c000000000000046 s 4b006500790077006f00720064007300"}));
    EXPECT_EQ(named.values, (std::map<std::string, std::string>{{"8000 001F", "480061006c006c00"}}))
        << "the unnamed 0x8001 was refused";
    const Layout layout = ReadLayout(path);
    const std::string attachment = "__attach_version1.0_#00000000";
    EXPECT_EQ(layout.streams.at(attachment + "/__substg1.0_8001001F").second,
              Hex(std::string_view("a\0t\0t\0a\0c\0h\0e\0d\0", 16)));
    const std::string inside = attachment + "/__substg1.0_3701000D";
    EXPECT_EQ(layout.entries.at(inside).count("8000001F"), 1u);
    EXPECT_EQ(layout.entries.at(inside + "/__recip_version1.0_#00000000").count("8001001F"), 1u);
    EXPECT_EQ(layout.entries.at(inside + "/__recip_version1.0_#00000000").count("80020003"), 0u);
    EXPECT_EQ(layout.storages.count(inside + "/__nameid_version1.0"), 0u);
}

}  // namespace
}  // namespace mailsift::test
