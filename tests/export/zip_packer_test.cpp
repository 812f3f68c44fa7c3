#include "export/zip_packer.h"

#include <gtest/gtest.h>
#include <utime.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/work_hooks.h"
#include "support/file_helpers.h"
#include "support/temp_dir.h"
#include "support/test_program_folder.h"

namespace mailsift {
namespace {

namespace fs = std::filesystem;

struct ArchiveEntry {
    std::string date;  // "yyyy-mm-dd hh:mm:ss", local time
    std::string bytes;
};

// Each entry as python3's zipfile module reads it (after checking every CRC): name, date and
// the bytes in hex, one entry per line.
constexpr const char* kReaderScript = R"(import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as archive:
    bad = archive.testzip()
    if bad is not None:
        sys.exit("bad CRC in " + bad)
    for info in archive.infolist():
        line = "%s\t%04d-%02d-%02d %02d:%02d:%02d\t%s\n" % (
            (info.filename,) + info.date_time + (archive.read(info).hex(),))
        sys.stdout.buffer.write(line.encode("utf-8"))
)";

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

class ZipPackerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("command -v python3 >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "python3 is not installed; the archives cannot be read back";
        }
        test::WriteFileBytes(script_, kReaderScript);
    }

    std::string File(const std::string& relative, const std::string& bytes) {
        const std::string path = work_ / relative;
        fs::create_directories(fs::path(path).parent_path());
        test::WriteFileBytes(path, bytes);
        return path;
    }

    // The archive's entries by name; nullopt (and a failure) when the reader rejects it.
    std::optional<std::map<std::string, ArchiveEntry>> ReadArchive(const std::string& archive) {
        const std::string command = "python3 '" + script_ + "' '" + archive + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) return std::nullopt;
        std::string output;
        char buffer[65536];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, got);
        }
        if (::pclose(pipe) != 0) {
            ADD_FAILURE() << "python3's zipfile rejects " << archive;
            return std::nullopt;
        }
        std::map<std::string, ArchiveEntry> entries;
        for (size_t start = 0; start < output.size();) {
            const size_t end = output.find('\n', start);
            const std::string line = output.substr(start, end - start);
            const size_t tab1 = line.find('\t');
            const size_t tab2 = line.find('\t', tab1 + 1);
            entries[line.substr(0, tab1)] = {line.substr(tab1 + 1, tab2 - tab1 - 1),
                                             FromHex(line.substr(tab2 + 1))};
            start = end == std::string::npos ? output.size() : end + 1;
        }
        return entries;
    }

    // The entry name of a file: its path without the leading "/".
    static std::string EntryOf(const std::string& path) {
        return fs::path(path).lexically_normal().string().substr(1);
    }

    // The names in the archive's folder, to see that a failed write left no temporary file.
    std::vector<std::string> FolderNames(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::vector<std::string> StatusTexts(ZipPacker& packer, std::string& result) {
        std::vector<std::string> texts;
        ScopedWorkHooks hooks(
            {nullptr, nullptr, nullptr, [&](const std::string& text) { texts.push_back(text); }});
        result = packer.Pack();
        return texts;
    }

    test::TestProgramFolder home_;
    test::TempDir work_;
    test::TempDir archives_;
    const std::string script_ = archives_ / "read_zip.py";
    const std::string archive_ = archives_ / "OutlookExpress 08.12.2026.zip";
};

TEST_F(ZipPackerTest, PacksFilesThatAnotherReaderReadsBack) {
    const std::string mail = File("Inbox/1 Ann Smith.eml", "From: Ann\r\n\r\nhello\r\n");
    const std::string empty = File("Inbox/2 .eml", "");
    // Large enough for libzip to ask for its data in many chunks, and hard to compress.
    std::string large(3 << 20, '\0');
    uint32_t seed = 12345;
    for (char& c : large) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    const std::string binary = File("Sent/Größe.bin", large);
    const std::string roundabout = work_ / "Sent/../Inbox/./3 Bob.eml";
    File("Inbox/3 Bob.eml", "From: Bob\r\n");

    // A message date on an even second: the archive keeps times to two seconds.
    std::tm date{};
    date.tm_year = 2004 - 1900;
    date.tm_mon = 6;
    date.tm_mday = 5;
    date.tm_hour = 9;
    date.tm_min = 5;
    date.tm_sec = 4;
    date.tm_isdst = -1;
    const std::time_t stamp = std::mktime(&date);
    const utimbuf times{stamp, stamp};
    ASSERT_EQ(::utime(mail.c_str(), &times), 0);

    ZipPacker packer(archive_);
    for (const std::string& path : {mail, empty, binary, roundabout}) packer.AddFile(path);
    std::string result;
    const std::vector<std::string> statuses = StatusTexts(packer, result);
    EXPECT_EQ(result, "");
    EXPECT_EQ(statuses, (std::vector<std::string>{"Packing: " + mail, "Packing: " + empty,
                                                  "Packing: " + binary, "Packing: " + roundabout,
                                                  "Packing complete."}));

    const auto entries = ReadArchive(archive_);
    ASSERT_TRUE(entries.has_value());
    EXPECT_EQ(entries->size(), 4u);
    EXPECT_EQ(entries->at(EntryOf(mail)).bytes, "From: Ann\r\n\r\nhello\r\n");
    EXPECT_EQ(entries->at(EntryOf(mail)).date, "2004-07-05 09:05:04");
    EXPECT_EQ(entries->at(EntryOf(empty)).bytes, "");
    EXPECT_TRUE(entries->at(EntryOf(binary)).bytes == large);
    // No entry climbs out of the folder it is unpacked into.
    EXPECT_EQ(entries->count(EntryOf(work_ / "Inbox/3 Bob.eml")), 1u);
    for (const auto& [name, entry] : *entries) EXPECT_EQ(name.find(".."), std::string::npos);

    // Packing only reads: the caller decides when the files go.
    EXPECT_TRUE(fs::exists(mail) && fs::exists(empty) && fs::exists(binary));
}

TEST_F(ZipPackerTest, ExtendsAnExistingArchiveUnderFreeNames) {
    const std::string mail = work_ / "Inbox/1 Ann.eml";
    const std::string notes = work_ / "Inbox/notes";
    File("Inbox/1 Ann.eml", "one");
    File("Inbox/notes", "first notes");
    ZipPacker first(archive_);
    first.AddFile(mail);
    first.AddFile(notes);
    ASSERT_EQ(first.Pack(), "");

    // A second run on the same day writes the same names again.
    File("Inbox/1 Ann.eml", "two");
    File("Inbox/notes", "second notes");
    const std::string other = File("Inbox/2 Bob.eml", "bob");
    ZipPacker second(archive_);
    for (const std::string& path : {mail, notes, other}) second.AddFile(path);
    ASSERT_EQ(second.Pack(), "");

    // A file listed twice is packed once.
    File("Inbox/1 Ann.eml", "three");
    ZipPacker third(archive_);
    third.AddFile(mail);
    third.AddFile(mail);
    ASSERT_EQ(third.Pack(), "");

    const auto entries = ReadArchive(archive_);
    ASSERT_TRUE(entries.has_value());
    const std::string folder = EntryOf(work_ / "Inbox") + "/";
    std::map<std::string, std::string> contents;
    for (const auto& [name, entry] : *entries) contents[name] = entry.bytes;
    EXPECT_EQ(contents, (std::map<std::string, std::string>{
                            {folder + "1 Ann.eml", "one"},
                            {folder + "1 Ann (2).eml", "two"},
                            {folder + "1 Ann (3).eml", "three"},
                            {folder + "notes", "first notes"},
                            {folder + "notes (2)", "second notes"},
                            {folder + "2 Bob.eml", "bob"},
                        }));
}

TEST_F(ZipPackerTest, UnreadableFilesFailAndLeaveEverythingAsItWas) {
    const std::string kept = File("Inbox/1 Ann.eml", "kept");
    ZipPacker earlier(archive_);
    earlier.AddFile(kept);
    ASSERT_EQ(earlier.Pack(), "");
    const std::string before = test::ReadFileBytes(archive_);
    const std::vector<std::string> folderBefore = FolderNames(archives_.path().string());

    const std::string mail = File("Inbox/2 Bob.eml", "bob");
    const std::string vanished = work_ / "Inbox/3 gone.eml";
    ZipPacker missing(archive_);
    missing.AddFile(mail);
    missing.AddFile(vanished);
    const std::string missingResult = missing.Pack();
    EXPECT_NE(missingResult.find(vanished), std::string::npos) << missingResult;

    ZipPacker folder(archive_);
    folder.AddFile(mail);
    folder.AddFile(work_ / "Inbox");
    EXPECT_NE(folder.Pack(), "");

    // A file that goes while libzip is already writing fails the write it is part of.
    const std::string late = File("Inbox/4 late.eml", "late");
    ZipPacker racing(archive_);
    racing.AddFile(mail);
    racing.AddFile(late);
    std::vector<std::string> statuses;
    std::string racingResult;
    {
        ScopedWorkHooks hooks({nullptr, nullptr, nullptr, [&](const std::string& text) {
                                   statuses.push_back(text);
                                   if (text == "Packing: " + mail) fs::remove(late);
                               }});
        racingResult = racing.Pack();
    }
    EXPECT_NE(racingResult.find(late), std::string::npos) << racingResult;
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Packing complete."), 0);

    EXPECT_TRUE(test::ReadFileBytes(archive_) == before);
    EXPECT_EQ(FolderNames(archives_.path().string()), folderBefore);
    EXPECT_TRUE(fs::exists(kept) && fs::exists(mail));
}

TEST_F(ZipPackerTest, UnwritableArchiveFailsAndLeavesEverythingAsItWas) {
    const std::string mail = File("Inbox/1 Ann.eml", "ann");

    // A file that is no archive is never replaced.
    const std::string foreign = archives_ / "foreign.zip";
    test::WriteFileBytes(foreign, "not an archive");
    ZipPacker notZip(foreign);
    notZip.AddFile(mail);
    EXPECT_NE(notZip.Pack(), "");
    EXPECT_EQ(test::ReadFileBytes(foreign), "not an archive");

    // libzip finds out only when it creates its temporary file at the close.
    ZipPacker noFolder(archives_ / "absent/archive.zip");
    noFolder.AddFile(mail);
    EXPECT_NE(noFolder.Pack(), "");
    EXPECT_FALSE(fs::exists(archives_ / "absent"));
    EXPECT_EQ(test::ReadFileBytes(mail), "ann");
}

TEST_F(ZipPackerTest, EmptyListWritesNoArchive) {
    ZipPacker nothing(archive_);
    std::string result;
    EXPECT_EQ(StatusTexts(nothing, result), std::vector<std::string>{"Packing complete."});
    EXPECT_EQ(result, "");
    EXPECT_FALSE(fs::exists(archive_));

    ZipPacker earlier(archive_);
    earlier.AddFile(File("Inbox/1 Ann.eml", "ann"));
    ASSERT_EQ(earlier.Pack(), "");
    const std::string before = test::ReadFileBytes(archive_);
    EXPECT_EQ(ZipPacker(archive_).Pack(), "");
    EXPECT_TRUE(test::ReadFileBytes(archive_) == before);
}

}  // namespace
}  // namespace mailsift
