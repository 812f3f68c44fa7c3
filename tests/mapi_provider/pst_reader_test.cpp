#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "mapi-provider/pst_bytes.h"
#include "mapi-provider/pst_encoding.h"
#include "mapi-provider/pst_items.h"
#include "mapi-provider/pst_ltp.h"
#include "mapi-provider/pst_ndb.h"
#include "samples/pst_ndb_writer.h"
#include "samples/pst_store_writer.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"

namespace mailsift::test {
namespace {

using mapi_provider::pst::DataLayout;
using mapi_provider::pst::Heap;
using mapi_provider::pst::ItemReader;
using mapi_provider::pst::ItemRef;
using mapi_provider::pst::LittleEndian;
using mapi_provider::pst::NodeDatabase;
using mapi_provider::pst::Record;
using mapi_provider::pst::Status;
using mapi_provider::pst::Subnodes;

std::string Decoded(uint8_t encoding, uint32_t key, std::string data) {
    mapi_provider::pst::DecodeBlock(encoding, key, reinterpret_cast<uint8_t*>(data.data()),
                                    data.size());
    return data;
}

TEST(PstEncodingTest, SubstitutionAndCyclicEncodingDecodeAsPublished) {
    // The substitution table's first entries map these bytes back to 0, 1 and 2.
    EXPECT_EQ(Decoded(mapi_provider::pst::kEncodingPermute, 0, "\x41\x36\x13"),
              std::string("\0\1\2", 3));
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    std::string restored = Decoded(mapi_provider::pst::kEncodingPermute, 0, all);
    std::sort(restored.begin(), restored.end());
    std::string sorted = all;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(restored, sorted) << "the substitution is no permutation";

    // The cyclic encoding is its own inverse only when its tables are exactly the published
    // ones, and a different key gives a different result.
    std::mt19937 random(7);
    std::string data(4096, '\0');
    for (char& c : data) c = static_cast<char>(random());
    for (uint32_t key : {0u, 1u, 0x12345678u, 0xFFFFFFFFu}) {
        const std::string once = Decoded(mapi_provider::pst::kEncodingCyclic, key, data);
        EXPECT_NE(once, data);
        EXPECT_EQ(Decoded(mapi_provider::pst::kEncodingCyclic, key, once), data) << key;
    }
    EXPECT_NE(Decoded(mapi_provider::pst::kEncodingCyclic, 1, data),
              Decoded(mapi_provider::pst::kEncodingCyclic, 2, data));
    EXPECT_EQ(Decoded(mapi_provider::pst::kEncodingNone, 5, data), data);
}

// A heap of one block: the items one after another, then the page map.
std::string HeapBlock(uint8_t client, uint32_t userRoot, const std::vector<std::string>& items) {
    std::string block(12, '\0');
    block[2] = '\xEC';
    block[3] = static_cast<char>(client);
    std::memcpy(block.data() + 4, &userRoot, 4);
    std::vector<uint16_t> starts;
    for (const std::string& item : items) {
        starts.push_back(static_cast<uint16_t>(block.size()));
        block += item;
    }
    starts.push_back(static_cast<uint16_t>(block.size()));
    const auto map = static_cast<uint16_t>(block.size());
    std::memcpy(block.data(), &map, 2);
    const auto count = static_cast<uint16_t>(items.size());
    block.append(reinterpret_cast<const char*>(&count), 2);
    block.append(2, '\0');
    for (uint16_t start : starts) block.append(reinterpret_cast<const char*>(&start), 2);
    return block;
}

uint32_t Hid(uint32_t index) {
    return index << 5;
}

std::string Le32(uint32_t value) {
    return std::string(reinterpret_cast<const char*>(&value), 4);
}

TEST(PstHeapTest, ReferencesOutsideTheHeapAreDamageNotReads) {
    Heap heap;
    ASSERT_EQ(Heap::Open({HeapBlock(0xBC, Hid(1), {"abcd", "ef"})}, heap), Status::Ok);
    std::string_view item;
    EXPECT_EQ(heap.Get(Hid(2), item), Status::Ok);
    EXPECT_EQ(item, "ef");
    EXPECT_EQ(heap.Get(0, item), Status::Ok);
    EXPECT_TRUE(item.empty());
    EXPECT_EQ(heap.Get(Hid(3), item), Status::NotFound);
    EXPECT_EQ(heap.Get(Hid(1) | (1u << 16), item), Status::NotFound) << "a second block";
    EXPECT_EQ(heap.Get(Hid(1) | 1, item), Status::NotFound) << "a subnode, not a heap item";

    // A page map that points past itself, or allocations that run backwards.
    std::string block = HeapBlock(0xBC, Hid(1), {"abcd"});
    const uint16_t past = 0xFFF0;
    std::memcpy(block.data() + block.size() - 2, &past, 2);
    ASSERT_EQ(Heap::Open({block}, heap), Status::Ok);
    EXPECT_EQ(heap.Get(Hid(1), item), Status::Damaged);
    block = HeapBlock(0xBC, Hid(1), {"abcd"});
    const uint16_t map = 0xFFF0;
    std::memcpy(block.data(), &map, 2);
    ASSERT_EQ(Heap::Open({block}, heap), Status::Ok);
    EXPECT_EQ(heap.Get(Hid(1), item), Status::Damaged);

    EXPECT_EQ(Heap::Open({}, heap), Status::Damaged);
    EXPECT_EQ(Heap::Open({"\x0c\x00\xED\xBC"}, heap), Status::Damaged);
}

TEST(PstHeapTest, PropertyContextKeepsWhatCanBeReadAndSharesNoNodeTwice) {
    // Header of a B-tree with one index level over the leaf at item 2.
    const std::string header = std::string("\xB5\x02\x06\x01", 4) + Le32(Hid(3));
    std::string leaf;
    leaf += std::string("\x37\x00\x1F\x00", 4) + Le32(Hid(4));  // subject, on the heap
    leaf += std::string("\x17\x0E\x03\x00", 4) + Le32(7);       // a number kept in place
    leaf += std::string("\x00\x10\x1F\x00", 4) + Le32(Hid(9));  // a body that is not there
    leaf += std::string("\x13\x10\x02\x01", 4) + Le32(0x21);    // in a subnode
    // The index lists the leaf twice; its records must come out once.
    const std::string index =
        std::string("\x37\x00", 2) + Le32(Hid(2)) + std::string("\x37\x00", 2) + Le32(Hid(2));
    Heap heap;
    ASSERT_EQ(
        Heap::Open({HeapBlock(0xBC, Hid(1), {header, leaf, index, std::string("S\0u\0b\0", 6)})},
                   heap),
        Status::Ok);
    Record record;
    ASSERT_EQ(ReadPropertyContext(heap, record), Status::Ok);
    ASSERT_EQ(record.entries.size(), 3u);
    EXPECT_EQ(record.Bytes(*record.Find(0x0037)), std::string("S\0u\0b\0", 6));
    EXPECT_EQ(record.Bytes(*record.Find(0x0E17)), std::string("\7\0\0\0", 4));
    EXPECT_EQ(record.Find(0x1000), nullptr);
    EXPECT_EQ(record.Find(0x1013)->subnode, 0x21u);

    // A table is not a property context.
    ASSERT_EQ(Heap::Open({HeapBlock(0x7C, Hid(1), {header})}, heap), Status::Ok);
    EXPECT_EQ(ReadPropertyContext(heap, record), Status::Damaged);
}

class PstNodeDatabaseTest : public ::testing::Test {
  protected:
    TempDir temp;
    std::string path = temp / "store.pst";
};

TEST_F(PstNodeDatabaseTest, DataTreesThatRepeatOrSkipLevelsAreDamage) {
    constexpr uint32_t kRepeated = samples::PstNid(samples::kNidTypeLtp, 0x400);
    constexpr uint32_t kSkipping = samples::PstNid(samples::kNidTypeLtp, 0x401);
    constexpr uint32_t kFine = samples::PstNid(samples::kNidTypeLtp, 0x402);
    constexpr uint32_t kSubnodes = samples::PstNid(samples::kNidTypeLtp, 0x403);
    const std::string payload(8000, 'x');
    {
        samples::PstNdbWriter writer(path);
        const uint64_t data = writer.WriteBlock(payload);
        // One level of a data tree naming the same block a thousand times: 8 MB from a file of
        // a few KB.
        std::string repeated =
            std::string("\x01\x01", 2) + std::string("\xE8\x03", 2) + Le32(8000 * 1000);
        for (int i = 0; i < 1000; ++i)
            repeated += std::string(reinterpret_cast<const char*>(&data), 8);
        writer.AddNode(kRepeated, writer.WriteBlock(repeated, true), 0, 0);
        // A second level that names a data block where a first-level tree block belongs.
        const std::string skipping = std::string("\x01\x02\x01\x00", 4) + Le32(8000) +
                                     std::string(reinterpret_cast<const char*>(&data), 8);
        writer.AddNode(kSkipping, writer.WriteBlock(skipping, true), 0, 0);
        writer.AddNode(kFine, writer.WriteData(payload + payload), 0, 0);
        // A subnode block that says it holds more entries than it has room for.
        const std::string subnodes =
            std::string("\x02\x00\xFF\x00", 4) + std::string(4, '\0') + std::string(24, '\0');
        writer.AddNode(kSubnodes, data, writer.WriteBlock(subnodes, true), 0);
        writer.Finish();
    }
    std::unique_ptr<NodeDatabase> database;
    ASSERT_EQ(NodeDatabase::Open(path, database), Status::Ok);
    EXPECT_TRUE(database->complete());
    std::string read;
    EXPECT_EQ(database->ReadData(database->FindNode(kRepeated)->data, read), Status::Damaged);
    EXPECT_EQ(database->ReadData(database->FindNode(kSkipping)->data, read), Status::Damaged);
    ASSERT_EQ(database->ReadData(database->FindNode(kFine)->data, read), Status::Ok);
    EXPECT_EQ(read, payload + payload);
    DataLayout layout;
    ASSERT_EQ(database->Layout(database->FindNode(kFine)->data, layout), Status::Ok);
    EXPECT_EQ(layout.blocks.size(), 2u);
    EXPECT_EQ(layout.size(), 16000u);
    Subnodes subnodes;
    EXPECT_EQ(database->ReadSubnodes(database->FindNode(kSubnodes)->subnodes, subnodes),
              Status::Damaged);
    EXPECT_EQ(database->ReadBlock(0x7FFFFFF0, read), Status::NotFound);
}

TEST_F(PstNodeDatabaseTest, FilesThatAreNoStoresAreRefused) {
    std::unique_ptr<NodeDatabase> database;
    EXPECT_EQ(NodeDatabase::Open(temp / "missing.pst", database), Status::NotFound);
    EXPECT_EQ(NodeDatabase::Open(temp.path().string(), database), Status::NotFound);
    for (const std::string& bytes :
         {std::string(), std::string("!BDN"), std::string(4096, '\0'),
          std::string("!BDN\0\0\0\0SM\x24\x00", 12) + std::string(600, '\0')}) {
        WriteFileBytes(path, bytes);
        EXPECT_EQ(NodeDatabase::Open(path, database), Status::Damaged) << bytes.size();
    }
}

TEST_F(PstNodeDatabaseTest, ItemsOfAWrittenStore) {
    {
        samples::PstStoreWriter writer(path, "Reader store");
        const uint32_t inbox = writer.AddFolder(writer.TopFolder(), "Inbox");
        writer.AddFolder(inbox, "Below");
        for (int i = 0; i < 3; ++i) {
            samples::PstMessage message;
            message.Subject = "Message " + std::to_string(i);
            message.Body = "Text";
            if (i == 1) {
                message.Recipients.push_back({"Anna", "anna@example.org", "SMTP", 1});
                message.Recipients.push_back({"Fritz", "fritz@example.org", "SMTP", 2});
                message.Attachments.push_back({"big.bin", "", std::string(20000, 'a'), nullptr});
                auto inner = std::make_shared<samples::PstMessage>();
                inner->Subject = "Inside";
                message.Attachments.push_back({"inner", "", "", inner});
            }
            writer.AddMessage(inbox, message);
        }
        writer.Finish();
    }
    std::unique_ptr<ItemReader> reader;
    ASSERT_EQ(ItemReader::Open(path, reader), Status::Ok);
    std::vector<uint32_t> top;
    ASSERT_EQ(reader->SubFolders(mapi_provider::pst::kNidRootFolder, top), Status::Ok);
    ASSERT_EQ(top.size(), 1u);
    std::vector<uint32_t> folders;
    ASSERT_EQ(reader->SubFolders(top[0], folders), Status::Ok);
    ASSERT_EQ(folders.size(), 1u);
    std::vector<uint32_t> messages;
    ASSERT_EQ(reader->SubMessages(folders[0], messages), Status::Ok);
    ASSERT_EQ(messages.size(), 3u);
    std::vector<uint32_t> below;
    ASSERT_EQ(reader->SubFolders(folders[0], below), Status::Ok);
    EXPECT_EQ(below.size(), 1u);

    ItemRef message;
    ASSERT_EQ(reader->OpenNode(messages[1], message), Status::Ok);
    ASSERT_EQ(message->records.size(), 1u);
    std::string subject;
    ASSERT_EQ(reader->ReadValue(*message, message->records[0], *message->records[0].Find(0x0037),
                                subject),
              Status::Ok);
    EXPECT_EQ(subject, std::string("M\0e\0s\0s\0a\0g\0e\0 \0001\0", 18));
    ASSERT_EQ(message->attachments.size(), 2u);

    ItemRef recipients;
    ASSERT_EQ(reader->OpenRecipients(*message, recipients), Status::Ok);
    EXPECT_EQ(recipients->records.size(), 2u);

    ItemRef attachment;
    ASSERT_EQ(reader->OpenAttachment(*message, 0, attachment), Status::Ok);
    const mapi_provider::pst::Entry* data = attachment->records[0].Find(0x3701);
    ASSERT_NE(data, nullptr);
    std::string bytes;
    ASSERT_EQ(reader->ReadValue(*attachment, attachment->records[0], *data, bytes), Status::Ok);
    EXPECT_EQ(bytes, std::string(20000, 'a'));
    DataLayout layout;
    ASSERT_EQ(reader->ValueLayout(*attachment, *data, layout), Status::Ok);
    EXPECT_EQ(layout.size(), 20000u);

    ItemRef holder;
    ItemRef inner;
    ASSERT_EQ(reader->OpenAttachment(*message, 1, holder), Status::Ok);
    ASSERT_EQ(reader->OpenAttachedMessage(*holder, inner), Status::Ok);
    ASSERT_EQ(
        reader->ReadValue(*inner, inner->records[0], *inner->records[0].Find(0x0037), subject),
        Status::Ok);
    EXPECT_EQ(subject, std::string("I\0n\0s\0i\0d\0e\0", 12));
    EXPECT_EQ(reader->OpenAttachedMessage(*attachment, inner), Status::NotFound);
    EXPECT_EQ(reader->OpenAttachment(*message, 2, attachment), Status::NotFound);
    EXPECT_EQ(reader->OpenNode(0x7FFFFFE4, message), Status::NotFound);
}

// The same store with its data blocks in the cyclic encoding, the key of each being its
// identifier: the reader must find every value as in the plain store.
std::string CyclicCopy(const std::string& plain) {
    std::string copy = plain;
    const auto at = [&copy](size_t offset, size_t size) {
        return LittleEndian(copy.data() + offset, size);
    };
    std::vector<uint64_t> pages{at(240, 8)};
    while (!pages.empty()) {
        const size_t page = pages.back();
        pages.pop_back();
        const size_t count = static_cast<uint8_t>(copy[page + 488]);
        const size_t size = static_cast<uint8_t>(copy[page + 490]);
        const bool leaf = copy[page + 491] == 0;
        for (size_t i = 0; i < count; ++i) {
            const size_t entry = page + i * size;
            if (!leaf) {
                pages.push_back(at(entry + 16, 8));
                continue;
            }
            const uint64_t bid = at(entry, 8);
            if ((bid & 2) != 0) continue;
            mapi_provider::pst::DecodeBlock(
                mapi_provider::pst::kEncodingCyclic, static_cast<uint32_t>(bid),
                reinterpret_cast<uint8_t*>(copy.data() + at(entry + 8, 8)), at(entry + 16, 2));
        }
    }
    copy[513] = static_cast<char>(mapi_provider::pst::kEncodingCyclic);
    return copy;
}

TEST_F(PstNodeDatabaseTest, CyclicEncodingAndTablesOverManyBlocks) {
    samples::PstMessage message;
    message.Subject = "Many recipients";
    message.Body = std::string(20000, 'b');
    for (int i = 0; i < 300; ++i) {
        message.Recipients.push_back({"Reader " + std::to_string(i),
                                      "reader" + std::to_string(i) + "@example.org", "SMTP",
                                      1 + i % 3});
    }
    message.Attachments.push_back({"data.bin", "", std::string(50000, 'd'), nullptr});
    for (int i = 1; i < 300; ++i) {
        message.Attachments.push_back(
            {"small" + std::to_string(i), "", std::to_string(i), nullptr});
    }
    {
        samples::PstStoreWriter writer(path, "Tables");
        writer.AddMessage(writer.AddFolder(writer.TopFolder(), "Inbox"), message);
        writer.Finish();
    }
    const std::string cyclic = temp / "cyclic.pst";
    WriteFileBytes(cyclic, CyclicCopy(ReadFileBytes(path)));
    for (const std::string& file : {path, cyclic}) {
        std::unique_ptr<ItemReader> reader;
        ASSERT_EQ(ItemReader::Open(file, reader), Status::Ok) << file;
        std::vector<uint32_t> top;
        std::vector<uint32_t> folders;
        std::vector<uint32_t> messages;
        ASSERT_EQ(reader->SubFolders(mapi_provider::pst::kNidRootFolder, top), Status::Ok);
        ASSERT_EQ(reader->SubFolders(top.at(0), folders), Status::Ok);
        ASSERT_EQ(reader->SubMessages(folders.at(0), messages), Status::Ok);
        ItemRef read;
        ASSERT_EQ(reader->OpenNode(messages.at(0), read), Status::Ok) << file;
        std::string body;
        ASSERT_EQ(reader->ReadValue(*read, read->records[0], *read->records[0].Find(0x1000), body),
                  Status::Ok);
        EXPECT_EQ(body.size(), 40000u) << file;
        EXPECT_EQ(body.substr(0, 4), std::string("b\0b\0", 4));

        // The recipient table's rows fill several blocks of a subnode of their own.
        ItemRef recipients;
        ASSERT_EQ(reader->OpenRecipients(*read, recipients), Status::Ok);
        ASSERT_EQ(recipients->records.size(), 300u) << file;
        for (size_t i : {size_t{0}, size_t{150}, size_t{299}}) {
            const Record& row = recipients->records[i];
            std::string name;
            ASSERT_EQ(reader->ReadValue(*recipients, row, *row.Find(0x3001), name), Status::Ok);
            std::string expected;
            for (char c : "Reader " + std::to_string(i)) expected += std::string{c, '\0'};
            EXPECT_EQ(name, expected) << file << " row " << i;
            EXPECT_EQ(LittleEndian(row.Bytes(*row.Find(0x0C15)).data(), 4), 1 + i % 3);
        }

        ItemRef attachment;
        ASSERT_EQ(reader->OpenAttachment(*read, 0, attachment), Status::Ok);
        std::string data;
        ASSERT_EQ(reader->ReadValue(*attachment, attachment->records[0],
                                    *attachment->records[0].Find(0x3701), data),
                  Status::Ok);
        EXPECT_EQ(data, std::string(50000, 'd')) << file;
        // So does the attachment table's.
        ASSERT_EQ(read->attachments.size(), 300u) << file;
        ASSERT_EQ(reader->OpenAttachment(*read, 299, attachment), Status::Ok);
        ASSERT_EQ(reader->ReadValue(*attachment, attachment->records[0],
                                    *attachment->records[0].Find(0x3701), data),
                  Status::Ok);
        EXPECT_EQ(data, "299") << file;
    }
}

}  // namespace
}  // namespace mailsift::test
