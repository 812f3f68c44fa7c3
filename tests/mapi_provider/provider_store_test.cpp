#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include "fake_message.h"
#include "provider_session.h"
#include "samples/demo_personal_folders.h"
#include "samples/pst_store_writer.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace mailsift::test {
namespace {

using namespace mapi;

std::string Fixture(const std::string& name) {
    const std::string dir = SharedFixturesDir();
    if (dir.empty() || !std::filesystem::exists(dir + "/pst/" + name)) {
        return "";
    }
    return dir + "/pst/" + name;
}

#define REQUIRE_FIXTURE(var, name)                                          \
    const std::string var = Fixture(name);                                  \
    if (var.empty()) {                                                      \
        GTEST_SKIP() << "personal folder file " << name << " is not there"; \
    }

IMAPIFolder* AsFolder(IUnknown* unknown) {
    return static_cast<IMAPIFolder*>(unknown);
}
IMessage* AsMessage(IUnknown* unknown) {
    return static_cast<IMessage*>(unknown);
}

void OpenRoot(IMsgStore* store, InterfaceRef<IUnknown>& root) {
    ULONG type = 0;
    EXPECT_EQ(store->OpenEntry(0, nullptr, &IID_IMAPIFolder, 0, &type, root.out()), S_OK);
    EXPECT_EQ(type, MAPI_FOLDER);
}

// Descends by display names, as the backend finds a folder by its path.
bool OpenFolder(IMsgStore* store, const std::vector<std::string>& names,
                InterfaceRef<IUnknown>& out) {
    out.reset();
    ULONG type = 0;
    if (FAILED(store->OpenEntry(0, nullptr, &IID_IMAPIFolder, 0, &type, out.out()))) {
        return false;
    }
    for (const std::string& name : names) {
        InterfaceRef<IUnknown> table;
        if (FAILED(AsFolder(out.get())->OpenProperty(PR_CONTAINER_HIERARCHY, &IID_IMAPITable, 0, 0,
                                                     table.out()))) {
            return false;
        }
        SizedSPropTagArray<2> columns{2, {PR_ENTRYID, PR_DISPLAY_NAME_W}};
        Rows rows;
        if (FAILED(Provider().HrQueryAllRows(static_cast<IMAPITable*>(table.get()), columns.get(),
                                             nullptr, nullptr, 0, rows.out()))) {
            return false;
        }
        bool found = false;
        for (ULONG i = 0; i < rows.size() && !found; ++i) {
            if (ToUtf8(rows.at(i, 1).Value.lpszW) == name) {
                InterfaceRef<IUnknown> child;
                found = SUCCEEDED(AsFolder(out.get())->OpenEntry(
                    rows.at(i, 0).Value.bin.cb,
                    reinterpret_cast<LPENTRYID>(rows.at(i, 0).Value.bin.lpb), nullptr, 0, &type,
                    child.out()));
                *out.out() = child.detach();
            }
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

// Opens message `index` of the folder at `names`.
bool OpenMessage(IMsgStore* store, const std::vector<std::string>& names, ULONG index,
                 InterfaceRef<IUnknown>& message) {
    InterfaceRef<IUnknown> folder;
    if (!OpenFolder(store, names, folder)) {
        return false;
    }
    InterfaceRef<IMAPITable> contents;
    SizedSPropTagArray<1> columns{1, {PR_ENTRYID}};
    Rows rows;
    if (FAILED(AsFolder(folder.get())->GetContentsTable(0, contents.out())) ||
        FAILED(Provider().HrQueryAllRows(contents.get(), columns.get(), nullptr, nullptr, 0,
                                         rows.out())) ||
        index >= rows.size()) {
        return false;
    }
    ULONG type = 0;
    const SBinary& entry = rows.at(index, 0).Value.bin;
    return SUCCEEDED(store->OpenEntry(entry.cb, reinterpret_cast<LPENTRYID>(entry.lpb),
                                      &IID_IMessage, MAPI_BEST_ACCESS, &type, message.out())) &&
           type == MAPI_MESSAGE;
}

// Reads a whole stream in chunks of `chunk` bytes.
std::string ReadStream(IStream* stream, ULONG chunk) {
    std::string data;
    std::vector<char> buffer(chunk);
    for (;;) {
        ULONG read = 0;
        if (FAILED(stream->Read(buffer.data(), chunk, &read)) || read == 0) {
            return data;
        }
        data.append(buffer.data(), read);
    }
}

std::string AttachmentBytes(IMessage* message, ULONG number, ULONG chunk) {
    InterfaceRef<IAttach> attach;
    InterfaceRef<IUnknown> stream;
    if (FAILED(message->OpenAttach(number, &IID_IAttachment, MAPI_BEST_ACCESS, attach.out())) ||
        FAILED(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_BEST_ACCESS,
                                    stream.out()))) {
        return "";
    }
    return ReadStream(static_cast<IStream*>(stream.get()), chunk);
}

// Walks the whole tree as the backend does and returns "depth name count" per folder,
// checking on the way what the walk relies on.
std::vector<std::string> WalkTree(IMsgStore* store, const std::string& rootName) {
    std::vector<std::string> lines;
    std::function<void(IMAPIFolder*, const std::string&, int)> walk = [&](IMAPIFolder* folder,
                                                                          const std::string& name,
                                                                          int depth) {
        LPSPropValue value = nullptr;
        EXPECT_EQ(Provider().HrGetOneProp(folder, PR_DISPLAY_NAME_W, &value), S_OK) << name;
        Provider().MAPIFreeBuffer(value);
        InterfaceRef<IMAPITable> contents;
        ASSERT_EQ(folder->GetContentsTable(0, contents.out()), S_OK);
        SizedSPropTagArray<1> entryColumn{1, {PR_ENTRYID}};
        Rows messages;
        ASSERT_EQ(Provider().HrQueryAllRows(contents.get(), entryColumn.get(), nullptr, nullptr, 0,
                                            messages.out()),
                  S_OK);
        lines.push_back(std::to_string(depth) + " " + name + " " + std::to_string(messages.size()));
        for (ULONG i = 0; i < messages.size(); ++i) {
            ASSERT_EQ(messages.at(i, 0).ulPropTag, PR_ENTRYID);
            ULONG type = 0;
            InterfaceRef<IUnknown> message;
            EXPECT_EQ(store->OpenEntry(messages.at(i, 0).Value.bin.cb,
                                       reinterpret_cast<LPENTRYID>(messages.at(i, 0).Value.bin.lpb),
                                       &IID_IMessage, MAPI_BEST_ACCESS, &type, message.out()),
                      S_OK);
            EXPECT_EQ(type, MAPI_MESSAGE);
        }
        InterfaceRef<IUnknown> table;
        ASSERT_EQ(folder->OpenProperty(PR_CONTAINER_HIERARCHY, &IID_IMAPITable, 0, 0, table.out()),
                  S_OK);
        SizedSPropTagArray<3> columns{3, {PR_ENTRYID, PR_DISPLAY_NAME_W, PR_COMMENT_W}};
        Rows children;
        ASSERT_EQ(Provider().HrQueryAllRows(static_cast<IMAPITable*>(table.get()), columns.get(),
                                            nullptr, nullptr, 0, children.out()),
                  S_OK);
        for (ULONG i = 0; i < children.size(); ++i) {
            ASSERT_EQ(children.at(i, 0).ulPropTag, PR_ENTRYID);
            EXPECT_EQ(children.at(i, 0).Value.bin.cb, 24u);
            ASSERT_EQ(children.at(i, 1).ulPropTag, PR_DISPLAY_NAME_W);
            // A missing comment is an error cell, not a crash or an empty string.
            if (children.at(i, 2).ulPropTag != PR_COMMENT_W) {
                EXPECT_EQ(children.at(i, 2).ulPropTag, CHANGE_PROP_TYPE(PR_COMMENT_W, PT_ERROR));
            }
            ULONG type = 0;
            InterfaceRef<IUnknown> child;
            ASSERT_EQ(
                folder->OpenEntry(children.at(i, 0).Value.bin.cb,
                                  reinterpret_cast<LPENTRYID>(children.at(i, 0).Value.bin.lpb),
                                  nullptr, 0, &type, child.out()),
                S_OK);
            ASSERT_EQ(type, MAPI_FOLDER);
            walk(AsFolder(child.get()), ToUtf8(children.at(i, 1).Value.lpszW), depth + 1);
        }
    };
    InterfaceRef<IUnknown> root;
    OpenRoot(store, root);
    if (root.get() != nullptr) {
        walk(AsFolder(root.get()), rootName, 0);
    }
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(MapiProviderStoreTest, StoreIsListedUnderTheConfiguredServiceName) {
    REQUIRE_FIXTURE(distList, "dist-list.pst");
    ProviderSession session;
    ASSERT_EQ(session.Open(distList), S_OK);
    EXPECT_EQ(session.storeName(), "Personal Folders");
    EXPECT_EQ(StringProp(session.store(), PR_DISPLAY_NAME_W), "Personal Folders");
    LPSPropValue type = nullptr;
    ASSERT_EQ(Provider().HrGetOneProp(session.store(), PR_OBJECT_TYPE, &type), S_OK);
    EXPECT_EQ(type->Value.l, static_cast<LONG>(MAPI_STORE));
    Provider().MAPIFreeBuffer(type);

    // A store without a display name of its own is named after its file.
    REQUIRE_FIXTURE(sample1, "sample1.pst");
    ProviderSession unnamed;
    ASSERT_EQ(unnamed.Open(sample1), S_OK);
    EXPECT_EQ(unnamed.storeName(), "sample1");
}

TEST(MapiProviderStoreTest, WalksEveryFixtureTree) {
    const std::map<std::string, std::vector<std::string>> expected = {
        {"dist-list.pst",
         {"0 Personal Folders 0", "1 Top of Personal Folders 0", "2 Inbox 0", "2 Calendar 1",
          "2 Contacts 2"}},
        {"sample1.pst", {"0 sample1 0", "1 Top of Outlook data file 0", "2 Sample1 1"}},
        {"sample2.pst", {"0 sample2 0", "1 Top of Outlook data file 0", "2 Sample2 1"}},
        {"submessage.pst", {"0 submessage 0", "2 submessage 1"}},
    };
    for (const auto& [name, lines] : expected) {
        REQUIRE_FIXTURE(path, name);
        ProviderSession session;
        ASSERT_EQ(session.Open(path), S_OK) << name;
        const std::vector<std::string> walked = WalkTree(session.store(), session.storeName());
        ASSERT_FALSE(walked.empty()) << name;
        EXPECT_EQ(walked.front(), lines.front()) << name;
        for (const std::string& line : lines) {
            EXPECT_TRUE(Contains(walked, line)) << name << ": " << line;
        }
    }
}

TEST(MapiProviderStoreTest, ReadsTheMessageRecordTagsOfUnicodeAndAnsiFiles) {
    for (const auto& [name, folder, size] :
         {std::tuple{"sample1.pst", "Sample1", 106589}, {"sample2.pst", "Sample2", 103861}}) {
        REQUIRE_FIXTURE(path, name);
        ProviderSession session;
        ASSERT_EQ(session.Open(path), S_OK);
        InterfaceRef<IUnknown> object;
        ASSERT_TRUE(OpenMessage(session.store(), {"Top of Outlook data file", folder}, 0, object));
        IMessage* message = AsMessage(object.get());
        EXPECT_EQ(StringProp(message, PR_SUBJECT_W), "Here is a sample message") << name;
        EXPECT_EQ(StringProp(message, CHANGE_PROP_TYPE(PR_SUBJECT_W, PT_STRING8)),
                  "Here is a sample message");
        EXPECT_EQ(StringProp(message, PR_SENDER_NAME_W), "Terry Mahaffey");
        EXPECT_EQ(StringProp(message, PR_SENDER_EMAIL_ADDRESS_W),
                  "/O=MICROSOFT/OU=NORTHAMERICA/CN=RECIPIENTS/CN=TERRYMAH1");
        EXPECT_EQ(StringProp(message, PR_BODY_W).rfind("With a sample attachment.", 0), 0u);
        EXPECT_FALSE(StringProp(message, PR_DISPLAY_TO_W).empty());

        LPSPropValue value = nullptr;
        ASSERT_EQ(Provider().HrGetOneProp(message, PR_MESSAGE_SIZE, &value), S_OK);
        EXPECT_EQ(value->Value.l, size);
        Provider().MAPIFreeBuffer(value);
        ASSERT_EQ(Provider().HrGetOneProp(message, PR_CLIENT_SUBMIT_TIME, &value), S_OK);
        const uint64_t ticks =
            (uint64_t{value->Value.ft.dwHighDateTime} << 32) | value->Value.ft.dwLowDateTime;
        Provider().MAPIFreeBuffer(value);
        const std::time_t unix = static_cast<std::time_t>(ticks / 10000000 - 11644473600ull);
        std::tm utc{};
        gmtime_r(&unix, &utc);
        EXPECT_EQ(utc.tm_year + 1900, 2010);
        EXPECT_EQ(utc.tm_mon + 1, 3);
        EXPECT_EQ(utc.tm_mday, 15);

        // Missing properties and properties asked for with another type are not found.
        value = nullptr;
        EXPECT_EQ(Provider().HrGetOneProp(message, PROP_TAG(PT_UNICODE, 0x7FF0), &value),
                  MAPI_E_NOT_FOUND);
        EXPECT_EQ(value, nullptr);
        EXPECT_EQ(Provider().HrGetOneProp(message, CHANGE_PROP_TYPE(PR_SUBJECT_W, PT_LONG), &value),
                  MAPI_E_NOT_FOUND);
    }
}

TEST(MapiProviderStoreTest, AttachmentTableAndStreamGiveTheAttachment) {
    REQUIRE_FIXTURE(path, "sample1.pst");
    ProviderSession session;
    ASSERT_EQ(session.Open(path), S_OK);
    InterfaceRef<IUnknown> object;
    ASSERT_TRUE(OpenMessage(session.store(), {"Top of Outlook data file", "Sample1"}, 0, object));
    IMessage* message = AsMessage(object.get());

    InterfaceRef<IUnknown> tableObject;
    ASSERT_EQ(
        message->OpenProperty(PR_MESSAGE_ATTACHMENTS, &IID_IMAPITable, 0, 0, tableObject.out()),
        S_OK);
    auto* table = static_cast<IMAPITable*>(tableObject.get());
    SizedSPropTagArray<3> columns{3,
                                  {PR_ATTACH_LONG_FILENAME_W, PR_ATTACH_NUM, PR_ATTACH_FILENAME_W}};
    ASSERT_EQ(table->SetColumns(columns.get(), TBL_BATCH), S_OK);
    Rows rows;
    ASSERT_EQ(Provider().HrQueryAllRows(table, nullptr, nullptr, nullptr, 0, rows.out()), S_OK);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.at(0, 0).ulPropTag, PR_ATTACH_LONG_FILENAME_W);
    EXPECT_EQ(ToUtf8(rows.at(0, 0).Value.lpszW), "leah_thumper.jpg");
    ASSERT_EQ(rows.at(0, 1).ulPropTag, PR_ATTACH_NUM);
    EXPECT_EQ(rows.at(0, 1).Value.l, 0);

    const std::string whole = AttachmentBytes(message, 0, 65535);
    ASSERT_EQ(whole.size(), 93142u);
    EXPECT_EQ(whole.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(whole.substr(whole.size() - 2), "\xFF\xD9");
    EXPECT_EQ(AttachmentBytes(message, 0, 1000), whole);

    InterfaceRef<IAttach> attach;
    ASSERT_EQ(message->OpenAttach(0, &IID_IAttachment, MAPI_BEST_ACCESS, attach.out()), S_OK);
    InterfaceRef<IUnknown> streamObject;
    ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, streamObject.out()),
              S_OK);
    auto* stream = static_cast<IStream*>(streamObject.get());
    LARGE_INTEGER offset{};
    offset.QuadPart = 93000;
    ULARGE_INTEGER position{};
    ASSERT_EQ(stream->Seek(offset, STREAM_SEEK_SET, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 93000u);
    EXPECT_EQ(ReadStream(stream, 100), whole.substr(93000));
    // Moves that would leave the 64-bit range, or land before the start, are refused and
    // keep the position.
    for (const auto& [move, origin] :
         {std::pair{INT64_MAX, STREAM_SEEK_CUR}, std::pair{INT64_MAX, STREAM_SEEK_END},
          std::pair{int64_t{-1}, STREAM_SEEK_SET}, std::pair{int64_t{-93143}, STREAM_SEEK_END}}) {
        offset.QuadPart = move;
        EXPECT_EQ(stream->Seek(offset, origin, nullptr), STG_E_INVALIDFUNCTION) << move;
    }
    offset.QuadPart = 0;
    ASSERT_EQ(stream->Seek(offset, STREAM_SEEK_CUR, &position), S_OK);
    EXPECT_EQ(position.QuadPart, whole.size());
    ULONG written = 1;
    EXPECT_TRUE(FAILED(stream->Write("x", 1, &written)));
    EXPECT_EQ(written, 0u);

    InterfaceRef<IAttach> missing;
    EXPECT_EQ(message->OpenAttach(1, &IID_IAttachment, MAPI_BEST_ACCESS, missing.out()),
              MAPI_E_NOT_FOUND);
}

const ULONG kExcludedTags[] = {PR_ACCESS,
                               PR_BODY_W,
                               PR_RTF_SYNC_BODY_COUNT,
                               PR_RTF_SYNC_BODY_CRC,
                               PR_RTF_SYNC_BODY_TAG_A,
                               PR_RTF_SYNC_PREFIX_COUNT,
                               PR_RTF_SYNC_TRAILING_COUNT};

HRESULT CopyExcluding(IMessage* source, FakeMessage& target) {
    SizedSPropTagArray<7> excluded{7, {}};
    std::copy(std::begin(kExcludedTags), std::end(kExcludedTags), excluded.aulPropTag);
    return source->CopyTo(0, nullptr, excluded.get(), 0, nullptr, &IID_IMessage, &target, 0,
                          nullptr);
}

TEST(MapiProviderStoreTest, CopyToCopiesAllButTheExcludedTags) {
    for (const auto& [name, folder] :
         {std::pair{"sample1.pst", "Sample1"}, {"sample2.pst", "Sample2"}}) {
        REQUIRE_FIXTURE(path, name);
        ProviderSession session;
        ASSERT_EQ(session.Open(path), S_OK);
        InterfaceRef<IUnknown> object;
        ASSERT_TRUE(OpenMessage(session.store(), {"Top of Outlook data file", folder}, 0, object));
        FakeMessage target;
        ASSERT_EQ(CopyExcluding(AsMessage(object.get()), target), S_OK) << name;

        // Strings arrive in their wide form, whatever the file stores.
        const CopiedProp* subject = FindProp(target.props, PR_SUBJECT_W);
        ASSERT_NE(subject, nullptr) << name;
        EXPECT_EQ(subject->text, "Here is a sample message");
        EXPECT_EQ(FindProp(target.props, CHANGE_PROP_TYPE(PR_SUBJECT_W, PT_STRING8)), nullptr);
        EXPECT_NE(FindProp(target.props, PR_MESSAGE_SIZE), nullptr);
        for (const CopiedProp& prop : target.props) {
            for (ULONG tag : kExcludedTags) {
                EXPECT_NE(PROP_ID(prop.tag), PROP_ID(tag)) << std::hex << prop.tag;
            }
        }
        // Named properties arrive under the identifiers the target gave their names.
        LPSPropTagArray named = nullptr;
        ULONG count = 0;
        LPMAPINAMEID* names = nullptr;
        ASSERT_EQ(AsMessage(object.get())->GetNamesFromIDs(&named, nullptr, 0, &count, &names),
                  S_OK);
        size_t arrived = 0;
        for (ULONG i = 0; i < count; ++i) {
            SPropValue* value = nullptr;
            ULONG values = 0;
            SizedSPropTagArray<1> one{1, {named->aulPropTag[i]}};
            ASSERT_TRUE(
                SUCCEEDED(AsMessage(object.get())->GetProps(one.get(), 0, &values, &value)));
            const bool present = PROP_TYPE(value->ulPropTag) != PT_ERROR;
            const ULONG type = PROP_TYPE(value->ulPropTag);
            Provider().MAPIFreeBuffer(value);
            if (!present) continue;
            PropertyName propertyName;
            ASSERT_TRUE(NameFromNameId(names[i], propertyName));
            const auto given = std::find(target.names.begin(), target.names.end(), propertyName);
            ASSERT_NE(given, target.names.end());
            const ULONG id = MIN_NAMED_PROP_ID + static_cast<ULONG>(given - target.names.begin());
            // Strings arrive wide, lists of strings too.
            const ULONG wide = type == PT_STRING8      ? PT_UNICODE
                               : type == PT_MV_STRING8 ? PT_MV_UNICODE
                                                       : type;
            EXPECT_NE(FindProp(target.props, PROP_TAG(wide, id)), nullptr) << std::hex << id;
            ++arrived;
        }
        EXPECT_GT(arrived, 0u) << name;
        Provider().MAPIFreeBuffer(names);
        Provider().MAPIFreeBuffer(named);

        ASSERT_FALSE(target.recipients.empty());
        const CopiedProp* recipient = FindProp(target.recipients[0], PR_DISPLAY_NAME_W);
        ASSERT_NE(recipient, nullptr);
        EXPECT_FALSE(recipient->text.empty());
        EXPECT_NE(FindProp(target.recipients[0], PR_RECIPIENT_TYPE), nullptr);

        ASSERT_EQ(target.attachments.size(), 1u);
        const FakeAttach& attach = *target.attachments[0];
        // The data goes through a stream in pieces and is not also set as a value.
        const std::string bytes = AttachmentBytes(AsMessage(object.get()), 0, 65535);
        EXPECT_EQ(std::string(attach.streamed.begin(), attach.streamed.end()), bytes);
        EXPECT_EQ(FindProp(attach.props, PR_ATTACH_DATA_BIN), nullptr);
        ASSERT_NE(attach.stream, nullptr);
        EXPECT_LT(attach.stream->largestWrite, bytes.size());
        EXPECT_EQ(attach.stream->references, 0);
        // A target without streams takes the data once, as a value.
        FakeMessage plain;
        plain.attachmentsOfferStreams = false;
        ASSERT_EQ(CopyExcluding(AsMessage(object.get()), plain), S_OK);
        ASSERT_EQ(plain.attachments.size(), 1u);
        const CopiedProps& plainProps = plain.attachments[0]->props;
        EXPECT_EQ(std::count_if(plainProps.begin(), plainProps.end(),
                                [](const CopiedProp& p) { return p.tag == PR_ATTACH_DATA_BIN; }),
                  1);
        const CopiedProp* data = FindProp(plainProps, PR_ATTACH_DATA_BIN);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(std::string(data->bytes.begin(), data->bytes.end()), bytes);
        const CopiedProp* longName = FindProp(attach.props, PR_ATTACH_LONG_FILENAME_W);
        ASSERT_NE(longName, nullptr);
        EXPECT_EQ(longName->text, "leah_thumper.jpg");
        EXPECT_EQ(attach.saves, 1);
        EXPECT_EQ(attach.references, 0);
        // Saving the copy itself is left to the caller.
        EXPECT_EQ(target.saves, 0);
    }
}

// Lists of strings hold every value, in Unicode and in ANSI files.
TEST(MapiProviderStoreTest, ListsOfStringsGiveEveryValue) {
    const std::vector<std::string> sample1 = {"Green Category", "Blue Category"};
    const std::vector<std::string> sample2 = {"Green Category", "Red Category"};
    for (const auto& [file, folder, expected] :
         {std::tuple{"sample1.pst", "Sample1", sample1}, {"sample2.pst", "Sample2", sample2}}) {
        SCOPED_TRACE(file);
        REQUIRE_FIXTURE(path, file);
        ProviderSession session;
        ASSERT_EQ(session.Open(path), S_OK);
        InterfaceRef<IUnknown> object;
        ASSERT_TRUE(OpenMessage(session.store(), {"Top of Outlook data file", folder}, 0, object));
        GUID publicStrings = PS_PUBLIC_STRINGS;
        char16_t keywords[] = u"Keywords";
        MAPINAMEID name{&publicStrings, MNID_STRING, {}};
        name.Kind.lpwstrName = keywords;
        LPMAPINAMEID names[] = {&name};
        LPSPropTagArray ids = nullptr;
        ASSERT_EQ(AsMessage(object.get())->GetIDsFromNames(1, names, 0, &ids), S_OK);
        const ULONG id = PROP_ID(ids->aulPropTag[0]);
        Provider().MAPIFreeBuffer(ids);
        for (ULONG type : {PT_MV_UNICODE, PT_MV_STRING8}) {
            SizedSPropTagArray<1> tags{1, {PROP_TAG(type, id)}};
            ULONG count = 0;
            LPSPropValue value = nullptr;
            ASSERT_EQ(AsMessage(object.get())->GetProps(tags.get(), 0, &count, &value), S_OK);
            std::vector<std::string> categories;
            for (ULONG i = 0; i < value->Value.MVszA.cValues; ++i) {
                categories.push_back(type == PT_MV_UNICODE ? ToUtf8(value->Value.MVszW.lppszW[i])
                                                           : value->Value.MVszA.lppszA[i]);
            }
            Provider().MAPIFreeBuffer(value);
            EXPECT_EQ(categories, expected);
        }
    }
}

TEST(MapiProviderStoreTest, EmbeddedMessageOpensAndCopiesRecursively) {
    REQUIRE_FIXTURE(path, "submessage.pst");
    ProviderSession session;
    ASSERT_EQ(session.Open(path), S_OK);
    InterfaceRef<IUnknown> object;
    ASSERT_TRUE(
        OpenMessage(session.store(), {"Top of Outlook data file", "submessage"}, 0, object));
    IMessage* message = AsMessage(object.get());

    InterfaceRef<IAttach> attach;
    ASSERT_EQ(message->OpenAttach(0, &IID_IAttachment, MAPI_BEST_ACCESS, attach.out()), S_OK);
    LPSPropValue method = nullptr;
    ASSERT_EQ(Provider().HrGetOneProp(attach.get(), PR_ATTACH_METHOD, &method), S_OK);
    EXPECT_EQ(method->Value.l, ATTACH_EMBEDDED_MSG);
    Provider().MAPIFreeBuffer(method);
    InterfaceRef<IUnknown> stream;
    EXPECT_EQ(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, stream.out()),
              MAPI_E_NOT_FOUND);
    InterfaceRef<IUnknown> embedded;
    ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, embedded.out()), S_OK);
    EXPECT_EQ(StringProp(AsMessage(embedded.get()), PR_SUBJECT_W), "This is an embedded message");
    // An embedded message has no entry identifier of its own.
    LPSPropValue entry = nullptr;
    EXPECT_EQ(Provider().HrGetOneProp(AsMessage(embedded.get()), PR_ENTRYID, &entry),
              MAPI_E_NOT_FOUND);

    FakeMessage target;
    ASSERT_EQ(CopyExcluding(message, target), S_OK);
    ASSERT_EQ(target.attachments.size(), 1u);
    const FakeAttach& copied = *target.attachments[0];
    ASSERT_NE(copied.embedded, nullptr);
    const CopiedProp* subject = FindProp(copied.embedded->props, PR_SUBJECT_W);
    ASSERT_NE(subject, nullptr);
    EXPECT_EQ(subject->text, "This is an embedded message");
    EXPECT_FALSE(copied.embedded->recipients.empty());
    EXPECT_EQ(FindProp(copied.props, PR_ATTACH_DATA_BIN), nullptr);
    // Exclusions name the outer message's properties; the embedded one keeps its body.
    EXPECT_NE(FindProp(copied.embedded->props, PR_BODY_W), nullptr);
    EXPECT_EQ(FindProp(target.props, PR_BODY_W), nullptr);
    EXPECT_EQ(copied.embedded->saves, 1);
    EXPECT_EQ(copied.embedded->references, 0);
    EXPECT_EQ(copied.saves, 1);
}

std::string SubjectOf(IMessage* message) {
    LPSPropValue value = nullptr;
    if (FAILED(Provider().HrGetOneProp(message, PR_SUBJECT_W, &value))) {
        return "";
    }
    std::string subject = ToUtf8(value->Value.lpszW);
    Provider().MAPIFreeBuffer(value);
    return subject;
}

// Messages are opened by the identifiers of their folder's contents table: while the table is
// open, from their place in it, else by a search of the store. Both give the message listed, and
// a message opened again in a row gives its attachments as before.
// The names of named properties come from the store's name-to-id map, both ways.
TEST(MapiProviderStoreTest, NamedPropertiesGiveTheirNames) {
    TempDir temp;
    const std::string path = temp / "named.pst";
    const samples::PstMessage appointment = samples::DemoAppointment();
    {
        samples::PstStoreWriter writer(path, "Named");
        writer.AddMessage(writer.AddFolder(writer.TopFolder(), std::string("Calendar")),
                          appointment);
        writer.AddMessage(writer.AddFolder(writer.TopFolder(), std::string("Tasks")),
                          samples::DemoTask());
        writer.Finish();
    }
    ProviderSession session;
    ASSERT_EQ(session.Open(path), S_OK);
    InterfaceRef<IUnknown> object;
    ASSERT_TRUE(OpenMessage(session.store(), {"Top of Personal Folders", "Calendar"}, 0, object));
    IMessage* message = AsMessage(object.get());
    LPSPropTagArray listed = nullptr;
    ASSERT_EQ(message->GetPropList(0, &listed), S_OK);
    std::vector<ULONG> named;
    for (ULONG i = 0; i < listed->cValues; ++i) {
        if (PROP_ID(listed->aulPropTag[i]) >= MIN_NAMED_PROP_ID) {
            named.push_back(listed->aulPropTag[i]);
        }
    }
    Provider().MAPIFreeBuffer(listed);
    ASSERT_EQ(named.size(), appointment.NamedProperties.size());

    std::vector<ULONG> asked = named;
    asked.push_back(PROP_TAG(PT_LONG, 0x7FF0));
    std::vector<BYTE> raw(CbNewSPropTagArray(static_cast<ULONG>(asked.size())));
    auto* tags = reinterpret_cast<LPSPropTagArray>(raw.data());
    tags->cValues = static_cast<ULONG>(asked.size());
    std::copy(asked.begin(), asked.end(), tags->aulPropTag);
    ULONG count = 0;
    LPMAPINAMEID* names = nullptr;
    ASSERT_EQ(message->GetNamesFromIDs(&tags, nullptr, 0, &count, &names), MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(count, asked.size());
    EXPECT_EQ(names[named.size()], nullptr) << "not a named property";
    std::vector<LPMAPINAMEID> given;
    for (size_t i = 0; i < named.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(names[i], nullptr);
        PropertyName name;
        ASSERT_TRUE(NameFromNameId(names[i], name));
        const auto written =
            std::find_if(appointment.NamedProperties.begin(), appointment.NamedProperties.end(),
                         [&](const samples::PstNamedProperty& property) {
                             std::u16string text(property.Name.begin(), property.Name.end());
                             return std::memcmp(&name.set, property.SetGuid.data(), 16) == 0 &&
                                    name.byString == !property.Name.empty() &&
                                    (name.byString ? name.text == text
                                                   : name.number == static_cast<LONG>(property.Id));
                         });
        ASSERT_NE(written, appointment.NamedProperties.end());
        EXPECT_EQ(PROP_TYPE(named[i]), written->Value.tag & 0xFFFF);
        given.push_back(names[i]);
    }
    // And back: each name gives its identifier; a name the store does not know gives none.
    GUID unknownSet = MakeOleGuid(0x12345678);
    MAPINAMEID unknown{&unknownSet, MNID_ID, {0x8208}};
    given.push_back(&unknown);
    LPSPropTagArray ids = nullptr;
    ASSERT_EQ(
        message->GetIDsFromNames(static_cast<ULONG>(given.size()), given.data(), MAPI_CREATE, &ids),
        MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(ids->cValues, given.size());
    for (size_t i = 0; i < named.size(); ++i) {
        EXPECT_EQ(ids->aulPropTag[i], PROP_TAG(PT_UNSPECIFIED, PROP_ID(named[i])));
    }
    EXPECT_EQ(PROP_TYPE(ids->aulPropTag[named.size()]), PT_ERROR);
    Provider().MAPIFreeBuffer(ids);
    Provider().MAPIFreeBuffer(names);

    // All names of one property set, from any object of the store.
    const GUID appointmentSet = MakeOleGuid(0x00062002);
    LPSPropTagArray all = nullptr;
    ASSERT_EQ(session.store()->GetNamesFromIDs(&all, const_cast<GUID*>(&appointmentSet), 0, &count,
                                               &names),
              S_OK);
    EXPECT_EQ(count, 4u);  // start, end, location, duration
    for (ULONG i = 0; i < count; ++i) EXPECT_EQ(*names[i]->lpguid, appointmentSet);
    Provider().MAPIFreeBuffer(names);
    Provider().MAPIFreeBuffer(all);
}

TEST(MapiProviderStoreTest, MessagesOpenedByIdentifierAreTheOnesListed) {
    TempDir temp;
    const std::string path = temp / "listed.pst";
    {
        samples::PstStoreWriter writer(path, "Listed");
        const uint32_t inbox = writer.AddFolder(writer.TopFolder(), std::string("Inbox"));
        const uint32_t other = writer.AddFolder(writer.TopFolder(), std::string("Other"));
        for (int i = 0; i < 40; ++i) {
            samples::PstMessage message;
            message.Subject = "Message " + std::to_string(i);
            message.Body = "Text " + std::to_string(i) + "\r\n";
            if (i % 3 == 0) {
                message.Attachments.push_back(
                    {"file" + std::to_string(i) + ".bin", "application/octet-stream",
                     std::string(1000 + i, static_cast<char>('a' + i)), nullptr});
            }
            writer.AddMessage(i % 4 == 3 ? other : inbox, message);
        }
        writer.Finish();
    }
    ProviderSession session;
    ASSERT_EQ(session.Open(path), S_OK);
    InterfaceRef<IUnknown> folder;
    ASSERT_TRUE(OpenFolder(session.store(), {"Top of Personal Folders", "Inbox"}, folder));
    // The folder's contents table, open while it lives, and the identifiers it lists.
    struct Listing {
        InterfaceRef<IMAPITable> contents;
        Rows rows;
        std::vector<std::vector<BYTE>> ids;
    };
    const auto list = [&](Listing& listing) {
        SizedSPropTagArray<1> columns{1, {PR_ENTRYID}};
        ASSERT_EQ(AsFolder(folder.get())->GetContentsTable(0, listing.contents.out()), S_OK);
        ASSERT_EQ(Provider().HrQueryAllRows(listing.contents.get(), columns.get(), nullptr, nullptr,
                                            0, listing.rows.out()),
                  S_OK);
        for (ULONG i = 0; i < listing.rows.size(); ++i) {
            const SBinary& entry = listing.rows.at(i, 0).Value.bin;
            listing.ids.emplace_back(entry.lpb, entry.lpb + entry.cb);
        }
    };
    std::vector<std::vector<BYTE>> ids;
    {
        Listing first;
        list(first);
        ids = first.ids;
    }
    ASSERT_EQ(ids.size(), 30u);
    std::vector<std::string> expected;
    for (int i = 0; i < 40; ++i) {
        if (i % 4 != 3) {
            expected.push_back("Message " + std::to_string(i));
        }
    }
    const auto subjectsOpened = [&] {
        std::vector<std::string> subjects;
        for (std::vector<BYTE>& id : ids) {
            ULONG type = 0;
            InterfaceRef<IUnknown> message;
            if (FAILED(session.store()->OpenEntry(
                    static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(id.data()),
                    &IID_IMessage, MAPI_BEST_ACCESS, &type, message.out()))) {
                subjects.push_back("(not opened)");
                continue;
            }
            subjects.push_back(SubjectOf(AsMessage(message.get())));
        }
        return subjects;
    };
    // The table is gone: each message is searched for.
    EXPECT_EQ(subjectsOpened(), expected);
    {
        // With the table open again, in reverse order too.
        Listing again;
        list(again);
        EXPECT_EQ(subjectsOpened(), expected);
        std::reverse(ids.begin(), ids.end());
        std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(subjectsOpened(), expected);
    }
    // Message 0 (last now), then message 6, each opened twice in a row.
    for (size_t at : {ids.size() - 1, ids.size() - 1, ids.size() - 6, ids.size() - 6}) {
        ULONG type = 0;
        InterfaceRef<IUnknown> message;
        ASSERT_EQ(session.store()->OpenEntry(static_cast<ULONG>(ids[at].size()),
                                             reinterpret_cast<LPENTRYID>(ids[at].data()),
                                             &IID_IMessage, MAPI_BEST_ACCESS, &type, message.out()),
                  S_OK);
        const int number = at == ids.size() - 1 ? 0 : 6;
        EXPECT_EQ(SubjectOf(AsMessage(message.get())), "Message " + std::to_string(number));
        EXPECT_EQ(AttachmentBytes(AsMessage(message.get()), 0, 300),
                  std::string(1000 + number, static_cast<char>('a' + number)));
    }
}

TEST(MapiProviderStoreTest, ForeignAndUnknownEntryIdsAreRefused) {
    REQUIRE_FIXTURE(path, "sample1.pst");
    ProviderSession session;
    ASSERT_EQ(session.Open(path), S_OK);
    ULONG type = 0;
    InterfaceRef<IUnknown> object;
    BYTE shortId[5] = {};
    EXPECT_EQ(session.store()->OpenEntry(sizeof shortId, reinterpret_cast<LPENTRYID>(shortId),
                                         nullptr, 0, &type, object.out()),
              MAPI_E_INVALID_ENTRYID);
    BYTE foreign[24] = {0, 0, 0, 0, 1, 2, 3};
    EXPECT_EQ(session.store()->OpenEntry(sizeof foreign, reinterpret_cast<LPENTRYID>(foreign),
                                         nullptr, 0, &type, object.out()),
              MAPI_E_INVALID_ENTRYID);

    // The store's own prefix with a node that does not exist.
    InterfaceRef<IUnknown> root;
    OpenRoot(session.store(), root);
    LPSPropValue entry = nullptr;
    ASSERT_EQ(Provider().HrGetOneProp(AsFolder(root.get()), PR_ENTRYID, &entry), S_OK);
    ASSERT_EQ(entry->Value.bin.cb, 24u);
    std::vector<BYTE> unknown(entry->Value.bin.lpb, entry->Value.bin.lpb + 24);
    Provider().MAPIFreeBuffer(entry);
    unknown[20] = unknown[21] = unknown[22] = unknown[23] = 0x7F;
    EXPECT_EQ(session.store()->OpenEntry(24, reinterpret_cast<LPENTRYID>(unknown.data()), nullptr,
                                         0, &type, object.out()),
              MAPI_E_NOT_FOUND);
    // A folder is not a message.
    EXPECT_EQ(session.store()->OpenEntry(0, nullptr, &IID_IMessage, 0, &type, object.out()),
              MAPI_E_INTERFACE_NOT_SUPPORTED);
}

// Writes `original` with `changes` (offset, byte) applied into `dir` as `name`.
std::string DamagedCopy(const TempDir& dir, const std::string& original, const std::string& name,
                        const std::vector<std::pair<size_t, char>>& changes) {
    std::string bytes = ReadFileBytes(original);
    for (const auto& [offset, value] : changes) {
        bytes.at(offset) = value;
    }
    WriteFileBytes(dir / name, bytes);
    return dir / name;
}

std::vector<std::pair<size_t, char>> Filled(size_t offset, size_t count, char value) {
    std::vector<std::pair<size_t, char>> changes;
    for (size_t i = 0; i < count; ++i) {
        changes.emplace_back(offset + i, value);
    }
    return changes;
}

TEST(MapiProviderStoreTest, DamagedSubItemTablesAreReportedNotEmpty) {
    REQUIRE_FIXTURE(path, "submessage.pst");
    TempDir temp;
    {
        // A leaf page of the node tree, listing the root's sub-folders, is unreadable. The
        // root's own hierarchy table still names them, so their loss shows; its contents table
        // lists nothing that is lost.
        ProviderSession session;
        ASSERT_EQ(
            session.Open(DamagedCopy(temp, path, "nodes.pst", Filled(33280 + 480, 16, '\xFF'))),
            S_OK);
        InterfaceRef<IUnknown> root;
        ULONG type = 0;
        ASSERT_EQ(session.store()->OpenEntry(0, nullptr, &IID_IMAPIFolder, 0, &type, root.out()),
                  S_OK);
        InterfaceRef<IMAPITable> hierarchy;
        EXPECT_EQ(AsFolder(root.get())->GetHierarchyTable(0, hierarchy.out()), MAPI_E_CORRUPT_DATA);
        EXPECT_EQ(hierarchy.get(), nullptr);
        LPSPropValue value = nullptr;
        EXPECT_EQ(Provider().HrGetOneProp(AsFolder(root.get()), PR_SUBFOLDERS, &value),
                  MAPI_E_CORRUPT_DATA);
        EXPECT_EQ(value, nullptr);
        InterfaceRef<IMAPITable> contents;
        ASSERT_EQ(AsFolder(root.get())->GetContentsTable(0, contents.out()), S_OK);
        ULONG rows = 99;
        EXPECT_EQ(contents->GetRowCount(0, &rows), S_OK);
        EXPECT_EQ(rows, 0u);
    }
    {
        // The message's attachment table is unreadable.
        ProviderSession session;
        ASSERT_EQ(
            session.Open(DamagedCopy(temp, path, "attachments.pst", Filled(82496, 16, '\xFF'))),
            S_OK);
        InterfaceRef<IUnknown> object;
        ASSERT_TRUE(
            OpenMessage(session.store(), {"Top of Outlook data file", "submessage"}, 0, object));
        IMessage* message = AsMessage(object.get());
        InterfaceRef<IMAPITable> attachments;
        EXPECT_EQ(message->GetAttachmentTable(0, attachments.out()), MAPI_E_CORRUPT_DATA);
        InterfaceRef<IAttach> attach;
        EXPECT_EQ(message->OpenAttach(0, &IID_IAttachment, MAPI_BEST_ACCESS, attach.out()),
                  MAPI_E_CORRUPT_DATA);
        // What can be copied still is, and the loss is reported.
        FakeMessage target;
        EXPECT_EQ(CopyExcluding(message, target), MAPI_W_ERRORS_RETURNED);
        EXPECT_NE(FindProp(target.props, PR_SUBJECT_W), nullptr);
        EXPECT_TRUE(target.attachments.empty());
    }
    {
        // The message's list of subnodes is unreadable: its tables are damage, not empty, and
        // the values kept in place are still read.
        ProviderSession session;
        ASSERT_EQ(session.Open(DamagedCopy(temp, path, "subnodes.pst", Filled(44672, 128, '\xFF'))),
                  S_OK);
        InterfaceRef<IUnknown> object;
        ASSERT_TRUE(
            OpenMessage(session.store(), {"Top of Outlook data file", "submessage"}, 0, object));
        IMessage* message = AsMessage(object.get());
        InterfaceRef<IMAPITable> table;
        EXPECT_EQ(message->GetAttachmentTable(0, table.out()), MAPI_E_CORRUPT_DATA);
        EXPECT_EQ(message->GetRecipientTable(0, table.out()), MAPI_E_CORRUPT_DATA);
        FakeMessage target;
        EXPECT_EQ(CopyExcluding(message, target), MAPI_W_ERRORS_RETURNED);
        EXPECT_NE(FindProp(target.props, PR_SUBJECT_W), nullptr);
        EXPECT_TRUE(target.recipients.empty());
    }
}

TEST(MapiProviderStoreTest, CopyToGoesOnPastCyclicEmbeddedMessages) {
    REQUIRE_FIXTURE(submessage, "submessage.pst");
    REQUIRE_FIXTURE(distList, "dist-list.pst");
    TempDir temp;
    {
        // The embedded message lists itself as its own attachment.
        ProviderSession session;
        ASSERT_EQ(session.Open(DamagedCopy(temp, submessage, "self.pst", {{21361, '\x03'}})), S_OK);
        InterfaceRef<IUnknown> object;
        ASSERT_TRUE(
            OpenMessage(session.store(), {"Top of Outlook data file", "submessage"}, 0, object));
        FakeMessage target;
        EXPECT_EQ(CopyExcluding(AsMessage(object.get()), target), MAPI_W_ERRORS_RETURNED);
        EXPECT_NE(FindProp(target.props, PR_SUBJECT_W), nullptr);
        ASSERT_EQ(target.attachments.size(), 1u);
        const FakeMessage* embedded = target.attachments[0]->embedded.get();
        ASSERT_NE(embedded, nullptr);
        const CopiedProp* subject = FindProp(embedded->props, PR_SUBJECT_W);
        ASSERT_NE(subject, nullptr);
        EXPECT_EQ(subject->text, "This is an embedded message");
        EXPECT_TRUE(embedded->attachments.empty());
        EXPECT_EQ(embedded->references, 0);
    }
    {
        // Both messages embedded in the appointment list the appointment's two attachments:
        // each nests the other once, and the copies that would repeat an ancestor are left out.
        ProviderSession session;
        ASSERT_EQ(session.Open(
                      DamagedCopy(temp, distList, "loop.pst", {{20016, '\xCA'}, {31280, '\xCA'}})),
                  S_OK);
        InterfaceRef<IUnknown> object;
        ASSERT_TRUE(
            OpenMessage(session.store(), {"Top of Personal Folders", "Calendar"}, 0, object));
        FakeMessage target;
        EXPECT_EQ(CopyExcluding(AsMessage(object.get()), target), MAPI_W_ERRORS_RETURNED);
        EXPECT_NE(FindProp(target.props, PR_MESSAGE_CLASS_W), nullptr);
        ASSERT_EQ(target.attachments.size(), 2u);
        for (const auto& attach : target.attachments) {
            ASSERT_NE(attach->embedded, nullptr);
            ASSERT_EQ(attach->embedded->attachments.size(), 1u);
            const FakeMessage* inner = attach->embedded->attachments[0]->embedded.get();
            ASSERT_NE(inner, nullptr);
            EXPECT_TRUE(inner->attachments.empty());
            EXPECT_EQ(attach->saves, 1);
        }
    }
}

// Reads everything reachable; only the absence of crashes, hangs and leaks is checked.
void ReadEverything(IMsgStore* store) {
    std::function<void(IMAPIFolder*, int)> visit = [&](IMAPIFolder* folder, int depth) {
        if (depth > 64) {
            return;
        }
        InterfaceRef<IMAPITable> contents;
        SizedSPropTagArray<1> entryColumn{1, {PR_ENTRYID}};
        Rows messages;
        if (SUCCEEDED(folder->GetContentsTable(0, contents.out())) &&
            SUCCEEDED(Provider().HrQueryAllRows(contents.get(), entryColumn.get(), nullptr, nullptr,
                                                0, messages.out()))) {
            for (ULONG i = 0; i < messages.size(); ++i) {
                if (messages.at(i, 0).ulPropTag != PR_ENTRYID) {
                    continue;
                }
                ULONG type = 0;
                InterfaceRef<IUnknown> message;
                if (SUCCEEDED(store->OpenEntry(
                        messages.at(i, 0).Value.bin.cb,
                        reinterpret_cast<LPENTRYID>(messages.at(i, 0).Value.bin.lpb), &IID_IMessage,
                        0, &type, message.out()))) {
                    StringProp(AsMessage(message.get()), PR_BODY_W);
                    AttachmentBytes(AsMessage(message.get()), 0, 4096);
                    FakeMessage target;
                    CopyExcluding(AsMessage(message.get()), target);
                }
            }
        }
        InterfaceRef<IMAPITable> hierarchy;
        SizedSPropTagArray<1> columns{1, {PR_ENTRYID}};
        Rows children;
        if (FAILED(folder->GetHierarchyTable(0, hierarchy.out())) ||
            FAILED(Provider().HrQueryAllRows(hierarchy.get(), columns.get(), nullptr, nullptr, 0,
                                             children.out()))) {
            return;
        }
        for (ULONG i = 0; i < children.size(); ++i) {
            ULONG type = 0;
            InterfaceRef<IUnknown> child;
            if (children.at(i, 0).ulPropTag == PR_ENTRYID &&
                SUCCEEDED(
                    folder->OpenEntry(children.at(i, 0).Value.bin.cb,
                                      reinterpret_cast<LPENTRYID>(children.at(i, 0).Value.bin.lpb),
                                      nullptr, 0, &type, child.out())) &&
                type == MAPI_FOLDER) {
                visit(AsFolder(child.get()), depth + 1);
            }
        }
    };
    ULONG type = 0;
    InterfaceRef<IUnknown> root;
    if (SUCCEEDED(store->OpenEntry(0, nullptr, nullptr, 0, &type, root.out())) &&
        type == MAPI_FOLDER) {
        visit(AsFolder(root.get()), 0);
    }
}

TEST(MapiProviderStoreTest, DamagedFilesFailCleanly) {
    REQUIRE_FIXTURE(path, "submessage.pst");
    const std::string original = ReadFileBytes(path);
    TempDir temp;
    std::vector<std::pair<std::string, std::string>> damaged = {
        {"empty.pst", ""},
        {"header.pst", original.substr(0, 512)},
        {"quarter.pst", original.substr(0, original.size() / 4)},
        {"short.pst", original.substr(0, original.size() - 4096)},
        {"noise.pst", std::string(original.size(), '\x5A')},
    };
    for (size_t at : {size_t{0x4400}, original.size() / 2, original.size() * 3 / 4}) {
        std::string holed = original;
        std::fill(holed.begin() + static_cast<std::ptrdiff_t>(at),
                  holed.begin() + static_cast<std::ptrdiff_t>(at + 8192), '\xFF');
        damaged.emplace_back("holed" + std::to_string(at) + ".pst", holed);
    }
    int refused = 0;
    for (const auto& [name, bytes] : damaged) {
        WriteFileBytes(temp / name, bytes);
        ProviderSession session;
        const HRESULT hr = session.Open(temp / name);
        if (FAILED(hr)) {
            EXPECT_EQ(hr, MAPI_E_CORRUPT_DATA) << name;
            ++refused;
            continue;
        }
        ReadEverything(session.store());
    }
    // The files without a usable header at least are refused outright.
    EXPECT_GE(refused, 3);
}

}  // namespace
}  // namespace mailsift::test
