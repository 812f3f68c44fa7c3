#include "outlook/msg/compound_directory.h"

#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "mapi/interface_ref.h"
#include "mapi/mapi_tags.h"
#include "outlook/msg/msg_compound_file.h"
#include "outlook/msg/msg_storage.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "tests/outlook/msg_test_buffers.h"

namespace mailsift::test {
namespace {

using namespace mapi;

uint32_t Get32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 4; i-- > 0;) value = value << 8 | static_cast<uint8_t>(bytes.at(at + i));
    return value;
}

struct Entry {
    size_t offset;
    uint8_t type, colour;
    uint32_t left, right, child;
    std::string key;  // the name upper-cased; the tests use ASCII names
};

// The directory of a compound file whose allocation table is named in the header.
std::vector<Entry> ReadEntries(const std::string& bytes) {
    const size_t sector = size_t{1} << (Get32(bytes, 0x1C) >> 16);
    std::vector<uint32_t> fat;
    for (uint32_t i = 0; i < std::min(Get32(bytes, 0x2C), 109u); ++i) {
        for (size_t j = 0; j < sector; j += 4) {
            fat.push_back(Get32(bytes, (Get32(bytes, 0x4C + 4 * i) + 1) * sector + j));
        }
    }
    std::vector<Entry> entries;
    for (uint32_t s = Get32(bytes, 0x30); s != 0xFFFFFFFEu; s = fat.at(s)) {
        for (size_t at = (s + 1) * sector; at < (s + 2) * sector; at += 128) {
            Entry& entry = entries.emplace_back(
                Entry{at, static_cast<uint8_t>(bytes.at(at + 0x42)),
                      static_cast<uint8_t>(bytes.at(at + 0x43)), Get32(bytes, at + 0x44),
                      Get32(bytes, at + 0x48), Get32(bytes, at + 0x4C), ""});
            for (size_t i = 0; i + 2 < static_cast<uint8_t>(bytes.at(at + 0x40)); i += 2) {
                entry.key += static_cast<char>(std::toupper(bytes.at(at + i)));
            }
        }
    }
    return entries;
}

// Checks the red-black rules below `index`, listing the entries in order; the black height.
int Walk(const std::vector<Entry>& entries, uint32_t index, bool redAbove, int depth,
         std::vector<uint32_t>& order, int& height) {
    if (index == 0xFFFFFFFFu || order.size() > entries.size()) {
        height = std::max(height, depth);
        return 1;
    }
    const bool red = entries.at(index).colour == 0;
    EXPECT_FALSE(red && redAbove) << index;
    const int left = Walk(entries, entries[index].left, red, depth + 1, order, height);
    order.push_back(index);
    EXPECT_EQ(left, Walk(entries, entries[index].right, red, depth + 1, order, height)) << index;
    return left + (red ? 0 : 1);
}

// Every storage's tree: black root, least height, in order; every entry in exactly one tree.
void ExpectBalanced(const std::string& path) {
    const std::vector<Entry> entries = ReadEntries(ReadFileBytes(path));
    std::vector<int> seen(entries.size(), 0);
    for (const Entry& storage : entries) {
        if (storage.type != 1 && storage.type != 5) continue;
        std::vector<uint32_t> order;
        int height = 0;
        Walk(entries, storage.child, true, 0, order, height);
        EXPECT_EQ(height, std::bit_width(order.size())) << storage.key;
        for (size_t i = 0; i < order.size(); ++i) {
            ++seen.at(order[i]);
            const std::string& a = entries[order[i > 0 ? i - 1 : 0]].key;
            const std::string& b = entries[order[i]].key;
            EXPECT_TRUE(i == 0 || a.size() < b.size() || (a.size() == b.size() && a < b)) << b;
        }
    }
    for (size_t i = 1; i < entries.size(); ++i) EXPECT_EQ(seen[i], entries[i].type == 0 ? 0 : 1);
}

std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t got; pipe && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, got);
    }
    if (pipe != nullptr) pclose(pipe);
    return out;
}

TEST(CompoundDirectoryTest, BalancesEveryStorageOnceAndForAll) {
    TempDir dir;
    const std::string path = dir / "wide.cfb";
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    {
        MsgCompoundFile compound(file, path);
        for (int i = 0; i < 3000; ++i) compound.WriteStream("stream" + std::to_string(i), "x");
        // Each storage inside the one before, its names in mixed case.
        for (int size : {0, 1, 2, 3, 7, 8}) {
            compound.BeginStorage("storage" + std::to_string(size));
            for (int i = 0; i < size; ++i) {
                compound.WriteStream((i % 2 ? "B" : "a") + std::to_string(i * 3), "y");
            }
        }
        ASSERT_TRUE(compound.Close()) << compound.error();
    }
    const std::string balanced = ReadFileBytes(path);
    ExpectBalanced(path);
    // A second pass finds nothing to change.
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(BalanceDirectoryTrees(file, error)) << error;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::cout << "3,000 entries passed again in " << took.count() << " ms\n";
    std::fclose(file);
    EXPECT_EQ(ReadFileBytes(path), balanced);

    if (std::system("/usr/bin/python3 -c 'import olefile' 2>/dev/null") != 0) {
        GTEST_SKIP() << "/usr/bin/python3 has no olefile";
    }
    EXPECT_EQ(Output("/usr/bin/python3 -c 'import olefile, sys; "
                     "print(len(olefile.OleFileIO(sys.argv[1]).listdir()))' " +
                     path + " 2>&1"),
              "3021\n");
}

// Written for writing only, through the message storage, and read back by msgconvert.
TEST(CompoundDirectoryTest, MessageWithManyRecipientsConvertsWithoutDeepRecursion) {
    TempDir dir;
    const std::string path = dir / "many.msg";
    std::string error;
    auto storage = MsgStorage::Create(path, ProviderBuffers(), error);
    ASSERT_NE(storage, nullptr) << error;
    InterfaceRef<IMessage> message;
    *message.out() = storage->OpenMessage();
    SPropValue name{};
    name.ulPropTag = PR_DISPLAY_NAME_W;
    name.Value.lpszW = const_cast<char16_t*>(u"Ann");
    std::vector<char> raw(CbNewADRLIST(300));
    auto* list = reinterpret_cast<LPADRLIST>(raw.data());
    list->cRows = 300;
    for (ULONG i = 0; i < 300; ++i) list->aRow[i] = {0, 1, &name};
    ASSERT_EQ(message->ModifyRecipients(MODRECIP_ADD, list), S_OK);
    ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_TRUE(storage->Commit(error)) << error;
    ExpectBalanced(path);

    if (std::system("command -v msgconvert >/dev/null") != 0) GTEST_SKIP() << "no msgconvert";
    const std::string said = Output("msgconvert --outfile " + path + ".eml " + path + " 2>&1");
    EXPECT_EQ(said.find("Deep recursion"), std::string::npos) << said;
    EXPECT_FALSE(ReadFileBytes(path + ".eml").empty());
}

TEST(CompoundDirectoryTest, DamagedDirectoryIsReportedAndLeftAsItWas) {
    TempDir dir;
    const std::string path = dir / "small.cfb";
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    {
        MsgCompoundFile compound(file, path);
        for (const char* name : {"a", "b", "c", "d"}) compound.WriteStream(name, "z");
        ASSERT_TRUE(compound.Close()) << compound.error();
    }
    std::fclose(file);
    const std::string good = ReadFileBytes(path);
    const std::vector<Entry> entries = ReadEntries(good);
    const size_t top = entries.at(entries[0].child).offset;
    const auto expectRefused = [&](size_t at, uint32_t value, const std::string& what) {
        std::string bad = good;
        for (size_t i = 0; i < 4; ++i) bad.at(at + i) = static_cast<char>(value >> (8 * i));
        WriteFileBytes(path, bad);
        std::FILE* damaged = std::fopen(path.c_str(), "r+b");
        std::string error;
        EXPECT_FALSE(BalanceDirectoryTrees(damaged, error)) << what;
        EXPECT_NE(error.find(what), std::string::npos) << error;
        std::fclose(damaged);
        EXPECT_EQ(ReadFileBytes(path), bad) << what;
    };
    expectRefused(top + 0x44, entries[0].child, "reached twice");  // a loop
    expectRefused(top + 0x48, 0, "reached twice");                 // the root again
    expectRefused(top + 0x44, static_cast<uint32_t>(entries.size()), "past the directory");
    expectRefused(top + 0x42, 0, "neither a storage nor a stream");
    expectRefused(0x30, 0x00FFFFFF, "past the end");
    expectRefused(0x2C, 0x00FFFFFF, "more allocation sectors");
}

}  // namespace
}  // namespace mailsift::test
