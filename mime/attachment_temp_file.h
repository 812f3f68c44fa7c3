#pragma once
// A new, uniquely named file that receives an attachment's decoded content.
#include <cstdio>
#include <string>
#include <string_view>

namespace mailsift {

// Created in folder (the system's temporary folder when empty). The file is removed again
// unless Keep() hands it over, so a failure half-way leaves nothing behind.
class AttachmentTempFile {
  public:
    explicit AttachmentTempFile(const std::string& folder);
    ~AttachmentTempFile();
    AttachmentTempFile(const AttachmentTempFile&) = delete;
    AttachmentTempFile& operator=(const AttachmentTempFile&) = delete;

    void Write(std::string_view bytes);
    // Flushes and closes the file and gives up its removal; returns its path.
    std::string Keep();

  private:
    void Flush();

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string pending_;
    bool kept_ = false;
};

}  // namespace mailsift
