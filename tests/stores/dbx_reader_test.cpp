#include "stores/dbx_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "samples/dbx_store_writer.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "support/undbx_texts.h"

namespace mailsift {
namespace {

using samples::DbxFolderFileWriter;
using samples::DbxMessage;
using samples::PatchDbxUint32;

DbxMessage Message(int number, size_t bodyLines = 3) {
    DbxMessage message;
    message.Subject = "Message " + std::to_string(number);
    message.SenderName = "Sender " + std::to_string(number);
    message.SenderAddress = "sender" + std::to_string(number) + "@example.com";
    message.Text =
        "From: " + message.SenderAddress + "\r\nSubject: " + message.Subject + "\r\n\r\n";
    for (size_t i = 0; i < bodyLines; ++i) message.Text += "Line " + std::to_string(i) + "\r\n";
    return message;
}

std::vector<std::string> Subjects(const std::vector<TMessageInfo>& infos) {
    std::vector<std::string> subjects;
    for (const TMessageInfo& info : infos) subjects.push_back(info.SubjectText);
    return subjects;
}

std::vector<std::string> SubjectsOf(int count) {
    std::vector<std::string> subjects;
    for (int i = 0; i < count; ++i) subjects.push_back("Message " + std::to_string(i));
    return subjects;
}

bool Has(const DbxDamageList& damage, DbxDamageKind kind, int64_t position) {
    return std::any_of(damage.begin(), damage.end(), [&](const DbxDamage& item) {
        return item.Kind == kind && item.Position == position;
    });
}

class DbxReaderTest : public ::testing::Test {
  protected:
    // A folder file of count messages written with the given entries per tree node.
    samples::DbxLayout WriteFolder(int count, int entriesPerNode = samples::kDbxMaxNodeEntries) {
        DbxFolderFileWriter writer(entriesPerNode);
        for (int i = 0; i < count; ++i) writer.Add(Message(i));
        return writer.Write(path_);
    }

    std::string Extract(int32_t dataPosition,
                        DbxExtractResult expected = DbxExtractResult::Copied) {
        const std::string target = dir_ / "out.eml";
        EXPECT_EQ(ExtractDbxMessage(path_, dataPosition, target, damage_), expected);
        return std::filesystem::exists(target) ? test::ReadFileBytes(target) : std::string();
    }

    test::TempDir dir_;
    const std::string path_ = dir_ / "Inbox.dbx";
    DbxDamageList damage_;
};

TEST_F(DbxReaderTest, TreeOfAnyDepthListsEveryInfoInOrder) {
    for (const int entriesPerNode : {1, 2, 5, samples::kDbxMaxNodeEntries}) {
        SCOPED_TRACE(entriesPerNode);
        const samples::DbxLayout layout = WriteFolder(120, entriesPerNode);
        EXPECT_EQ(layout.Nodes.size() > 1, entriesPerNode < 120);
        EXPECT_EQ(ReadDbxItemCount(path_, damage_), 120);
        const std::vector<TMessageInfo> infos = ReadDbxMessageInfos(path_, damage_);
        EXPECT_EQ(Subjects(infos), SubjectsOf(120));
        // Every node's link B leads back to its parent, which is walked already.
        EXPECT_TRUE(damage_.empty());
        ASSERT_EQ(infos.size(), layout.Objects.size());
        EXPECT_EQ(infos[7].InfoPosition, layout.Objects[7]);
        EXPECT_EQ(infos[7].DataPosition, layout.Blocks[7].front());
    }
}

TEST_F(DbxReaderTest, MessageInfoFields) {
    DbxFolderFileWriter writer;
    DbxMessage full = Message(0);
    full.Flags = 0x4081;
    full.ReceiverName = "Receiver";
    full.ReceiverAddress = "receiver@example.org";
    full.MessageId = "<id0@example.com>";
    full.Newsgroups = "news.group";
    full.CreatedTime = 0x01C1E3284E6704B3;
    full.ReceivedTime = 0x01C1E34B3982A480;
    full.Size = 4242;
    full.RawIndexEntries = {{0x08, 0}};  // the subject again, now pointing at the flags
    writer.Add(full);
    DbxMessage direct = Message(1);
    direct.Flags = 0x4000;
    direct.FlagsDirect = true;
    direct.DataPositionInData = true;
    writer.Add(direct);
    const samples::DbxLayout layout = writer.Write(path_);

    const std::vector<TMessageInfo> infos = ReadDbxMessageInfos(path_, damage_);
    ASSERT_EQ(infos.size(), 2u);
    const TMessageInfo& first = infos[0];
    EXPECT_EQ(first.Flags, 0x4081u);
    EXPECT_EQ(first.SenderName, "Sender 0");
    EXPECT_EQ(first.SenderAddress, "sender0@example.com");
    EXPECT_EQ(first.ReceiverName, "Receiver");
    EXPECT_EQ(first.ReceiverAddress, "receiver@example.org");
    EXPECT_EQ(first.MessageIdText, "<id0@example.com>");
    EXPECT_EQ(first.Str0B, "news.group");
    EXPECT_EQ(first.CreatedTime, 0x01C1E3284E6704B3u);
    EXPECT_EQ(first.ReceivedTime, 0x01C1E34B3982A480u);
    EXPECT_EQ(first.MessageSize, 4242u);
    // The later of two entries for one id wins; a string ends at its NUL.
    EXPECT_EQ(first.SubjectText, "\x81\x40");
    EXPECT_EQ(first.DataPosition, layout.Blocks[0].front());

    const TMessageInfo& second = infos[1];
    EXPECT_EQ(second.Flags, 0x4000u);
    EXPECT_EQ(second.DataPosition, layout.Blocks[1].front());
    EXPECT_EQ(second.CreatedTime, 0u);
    EXPECT_EQ(second.ReceivedTime, 0u);
    EXPECT_EQ(second.MessageSize, Message(1).Text.size());
    EXPECT_TRUE(second.ReceiverName.empty() && second.Str0B.empty());
    EXPECT_TRUE(damage_.empty());
}

TEST_F(DbxReaderTest, TextIsCopiedAcrossItsBlocks) {
    DbxFolderFileWriter writer;
    DbxMessage spanning;
    spanning.Text = std::string(1300, 'x');
    for (size_t i = 0; i < spanning.Text.size(); i += 7) spanning.Text[i] = static_cast<char>(i);
    writer.Add(spanning);
    DbxMessage exact;
    exact.Text = std::string(512, 'y');
    writer.Add(exact);
    writer.Add(DbxMessage{});  // no text at all
    const samples::DbxLayout layout = writer.Write(path_);
    ASSERT_EQ(layout.Blocks[0].size(), 3u);
    ASSERT_EQ(layout.Blocks[1].size(), 1u);

    test::WriteFileBytes(dir_ / "out.eml", std::string(5000, 'z'));
    EXPECT_EQ(Extract(layout.Blocks[0].front()), spanning.Text);
    EXPECT_EQ(Extract(layout.Blocks[1].front()), exact.Text);
    EXPECT_EQ(ReadDbxMessageInfos(path_, damage_)[2].DataPosition, 0);
    EXPECT_EQ(Extract(0, DbxExtractResult::NoText), exact.Text);  // target left alone
    EXPECT_EQ(ExtractDbxMessage(path_, layout.Blocks[0].front(), dir_ / "missing/out.eml", damage_),
              DbxExtractResult::TargetFailed);
    EXPECT_TRUE(damage_.empty());
}

TEST_F(DbxReaderTest, EmptyMissingAndShortFilesHoldNothing) {
    const std::string missing = dir_ / "missing.dbx";
    EXPECT_EQ(ReadDbxItemCount(missing, damage_), 0);
    EXPECT_TRUE(ReadDbxMessageInfos(missing, damage_).empty());
    EXPECT_EQ(ExtractDbxMessage(missing, 0x3000, dir_ / "out.eml", damage_),
              DbxExtractResult::NoText);

    test::WriteFileBytes(path_, std::string(100, '\0'));
    EXPECT_EQ(ReadDbxItemCount(path_, damage_), 0);
    EXPECT_TRUE(ReadDbxMessageInfos(path_, damage_).empty());

    // An item count of 0 empties a file whatever its tree holds.
    const samples::DbxLayout layout = WriteFolder(3);
    PatchDbxUint32(path_, samples::kDbxItemCountPosition, 0);
    EXPECT_TRUE(ReadDbxMessageInfos(path_, damage_).empty());
    PatchDbxUint32(path_, samples::kDbxItemCountPosition, 0x80000000);
    EXPECT_EQ(ReadDbxItemCount(path_, damage_), 0);
    EXPECT_TRUE(damage_.empty());
    EXPECT_EQ(ExtractDbxMessage(path_, layout.Blocks[0].front(), dir_ / "out.eml", damage_),
              DbxExtractResult::NoText);
}

TEST_F(DbxReaderTest, FolderInfosThatNameAFile) {
    samples::DbxFoldersFileWriter writer(2);
    writer.Add({"Root", "", 0, 0, false});
    writer.Add({"Inbox", "Inbox.dbx", 1, 0, false});
    writer.Add({"News", "News.dbx", 7, 1, true});
    writer.Add({"Sent", "Sent Items.dbx", 9, 1, false});
    writer.Write(dir_ / "folders.dbx");

    const std::vector<TFolder> folders = ReadDbxFolders(dir_ / "folders.dbx", damage_);
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders[0].Name, "Inbox");
    EXPECT_EQ(folders[0].StoreFile, "Inbox.dbx");
    EXPECT_EQ(folders[0].Id, 1);
    EXPECT_EQ(folders[1].Name, "News");
    EXPECT_TRUE(folders[1].StoreFile.empty());
    EXPECT_EQ(folders[1].ParentId, 1);
    EXPECT_EQ(folders[2].StoreFile, "Sent Items.dbx");
    EXPECT_EQ(folders[2].Id, 9);
    EXPECT_TRUE(damage_.empty());
}

TEST_F(DbxReaderTest, DamagedBranchIsCutOffAndTheRestRead) {
    const samples::DbxLayout layout = WriteFolder(30, 2);
    ASSERT_GE(layout.Nodes.size(), 3u);
    // The root's link A subtree holds the first messages; its node no longer names itself.
    const int32_t branch = layout.Nodes[1];
    PatchDbxUint32(path_, branch, branch + 4);
    // Nor does one message info.
    PatchDbxUint32(path_, layout.Objects[20], 0);
    const std::vector<std::string> subjects = Subjects(ReadDbxMessageInfos(path_, damage_));
    EXPECT_TRUE(Has(damage_, DbxDamageKind::NotAtOwnPosition, branch));
    EXPECT_TRUE(Has(damage_, DbxDamageKind::NotAtOwnPosition, layout.Objects[20]));
    EXPECT_FALSE(subjects.empty());
    EXPECT_LT(subjects.size(), 29u);
    EXPECT_EQ(std::count(subjects.begin(), subjects.end(), "Message 20"), 0);
    EXPECT_EQ(subjects.back(), "Message 29");
}

TEST_F(DbxReaderTest, TreeLinksBackToWalkedNodesEndTheWalk) {
    const samples::DbxLayout layout = WriteFolder(30, 2);
    const int32_t root = layout.Nodes.front();
    const int32_t leaf = layout.Nodes.back();
    // A leaf whose entry leads back to the root, and whose link A leads to itself.
    PatchDbxUint32(path_, leaf + samples::kDbxNodeEntries + 4, static_cast<uint32_t>(root));
    PatchDbxUint32(path_, leaf + samples::kDbxNodeLinkA, static_cast<uint32_t>(leaf));
    EXPECT_EQ(Subjects(ReadDbxMessageInfos(path_, damage_)), SubjectsOf(30));
    EXPECT_TRUE(Has(damage_, DbxDamageKind::TreeLoop, root));
    EXPECT_TRUE(Has(damage_, DbxDamageKind::TreeLoop, leaf));

    // The same object listed by two entries is read once.
    damage_.clear();
    const samples::DbxLayout small = WriteFolder(3);
    PatchDbxUint32(path_, small.Nodes[0] + samples::kDbxNodeEntries + 12,
                   static_cast<uint32_t>(small.Objects[0]));
    EXPECT_EQ(Subjects(ReadDbxMessageInfos(path_, damage_)),
              (std::vector<std::string>{"Message 0", "Message 2"}));
    EXPECT_TRUE(Has(damage_, DbxDamageKind::Overlap, small.Objects[0]));
}

TEST_F(DbxReaderTest, LengthsAndOffsetsBeyondTheirAreas) {
    const samples::DbxLayout layout = WriteFolder(4);
    // A body length of 4 GB in a small file, and one too short for the index table.
    PatchDbxUint32(path_, layout.Objects[1] + samples::kDbxObjectBodyLength, 0xFFFFFFF0);
    PatchDbxUint32(path_, layout.Objects[2] + samples::kDbxObjectBodyLength, 8);
    // A node claiming millions of entries, and an item count beyond what the file can hold.
    PatchDbxUint32(path_, layout.Nodes[0] + samples::kDbxNodeCount, 0xFFFFFF00);
    PatchDbxUint32(path_, samples::kDbxItemCountPosition, 0x7FFFFFFF);

    EXPECT_LT(ReadDbxItemCount(path_, damage_), layout.FileSize);
    EXPECT_TRUE(Has(damage_, DbxDamageKind::ItemCountTooLarge, samples::kDbxItemCountPosition));
    EXPECT_EQ(Subjects(ReadDbxMessageInfos(path_, damage_)),
              (std::vector<std::string>{"Message 0", "Message 3"}));
    EXPECT_TRUE(Has(damage_, DbxDamageKind::OutsideFile, layout.Objects[1]));
    EXPECT_TRUE(Has(damage_, DbxDamageKind::OutsideDataArea, layout.Objects[2]));
    EXPECT_TRUE(Has(damage_, DbxDamageKind::OutsideFile, layout.Nodes[0]));

    // Field offsets outside the data area leave the field empty.
    DbxFolderFileWriter writer;
    DbxMessage message = Message(0);
    message.RawIndexEntries = {{0x0D, 0xFFFFFF}, {0x02, 0x10000}, {0x04, 0xFFFF}};
    writer.Add(message);
    const int32_t object = writer.Write(path_).Objects[0];
    damage_.clear();
    const std::vector<TMessageInfo> infos = ReadDbxMessageInfos(path_, damage_);
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_EQ(infos[0].SenderName, "Sender 0");
    EXPECT_EQ(infos[0].CreatedTime, 0u);
    EXPECT_GT(infos[0].DataPosition, 0);
    EXPECT_EQ(std::count_if(damage_.begin(), damage_.end(),
                            [&](const DbxDamage& d) {
                                return d.Kind == DbxDamageKind::OutsideDataArea &&
                                       d.Position == object;
                            }),
              3);
}

TEST_F(DbxReaderTest, DamagedBlockChainsKeepTheIntactText) {
    DbxFolderFileWriter writer;
    DbxMessage message;
    message.Text = std::string(512, 'a') + std::string(512, 'b') + std::string(100, 'c');
    writer.Add(message);
    std::vector<int32_t> blocks = writer.Write(path_).Blocks[0];
    const int32_t first = blocks[0];

    // The last block leads back to the first: the text is copied once.
    PatchDbxUint32(path_, blocks[2] + samples::kDbxBlockNext, static_cast<uint32_t>(first));
    EXPECT_EQ(Extract(first), message.Text);
    EXPECT_TRUE(Has(damage_, DbxDamageKind::BlockChainLoop, first));

    blocks = writer.Write(path_).Blocks[0];
    PatchDbxUint32(path_, blocks[1] + samples::kDbxBlockTextLength, 513);
    EXPECT_EQ(Extract(first), std::string(512, 'a'));
    EXPECT_TRUE(Has(damage_, DbxDamageKind::BlockTooLong, blocks[1]));

    blocks = writer.Write(path_).Blocks[0];
    PatchDbxUint32(path_, blocks[1], 0);
    EXPECT_EQ(Extract(first), std::string(512, 'a'));
    EXPECT_TRUE(Has(damage_, DbxDamageKind::NotAtOwnPosition, blocks[1]));
    PatchDbxUint32(path_, first, 0);
    EXPECT_EQ(Extract(first, DbxExtractResult::NoText), std::string(512, 'a'));

    // A next block beyond the end, and a file cut inside the last block.
    blocks = writer.Write(path_).Blocks[0];
    PatchDbxUint32(path_, blocks[0] + samples::kDbxBlockNext, 0x7FFFFFF0);
    EXPECT_EQ(Extract(first), std::string(512, 'a'));
    EXPECT_TRUE(Has(damage_, DbxDamageKind::OutsideFile, 0x7FFFFFF0));
    writer.Write(path_);
    std::filesystem::resize_file(path_, static_cast<uintmax_t>(blocks[2] + 16 + 40));
    EXPECT_EQ(Extract(first), message.Text.substr(0, 1024 + 40));
    EXPECT_TRUE(Has(damage_, DbxDamageKind::OutsideFile, blocks[2]));
}

TEST(DbxStoreWriterTest, UndbxExtractsTheTextsPutIn) {
    test::TempDir dir;
    DbxFolderFileWriter writer(3);
    std::vector<std::string> texts;
    for (int i = 0; i < 40; ++i) {
        DbxMessage message = Message(i, static_cast<size_t>(i) * 29);
        message.CreatedTime = 0x01D0000000000000 + static_cast<uint64_t>(i) * 10'000'000;
        message.ReceivedTime = message.CreatedTime + 5;
        texts.push_back(message.Text);
        writer.Add(std::move(message));
    }
    writer.Write(dir / "Inbox.dbx");
    const auto extracted = test::UndbxTexts(dir / "Inbox.dbx", dir / "out");
    if (!extracted) GTEST_SKIP() << "undbx is not installed";
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(*extracted, texts);
}

}  // namespace
}  // namespace mailsift
