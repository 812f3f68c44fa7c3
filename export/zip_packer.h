#pragma once
// Packs the files an export run wrote into one ZIP archive per store.
#include <string>
#include <vector>

namespace mailsift {

class ZipPacker {
  public:
    explicit ZipPacker(std::string archivePath);

    const std::string& ArchivePath() const { return archivePath_; }
    // A file to pack, by full path; its entry name is that path without the leading "/".
    void AddFile(const std::string& path);
    const std::vector<std::string>& Files() const { return files_; }

    // Writes every listed file into the archive (an existing archive is extended, never
    // emptied; an entry of the same name is kept and the new one stored beside it under a free
    // name). Reports the "Zip" status per file as its packing starts, "ZipComplete" at the end,
    // and lets the message loop run while it works. Returns an empty text when the archive was
    // written and closed without error, otherwise why not; the archive is then left as it was.
    // A listed file that is missing or cannot be read fails the whole pack. With no file
    // listed nothing is written and no archive is created.
    std::string Pack();
    // Deletes every listed file (after a successful Pack); folders stay.
    void RemoveFiles();

  private:
    std::string PackListed();

    std::string archivePath_;
    std::vector<std::string> files_;
};

}  // namespace mailsift
