// Message text as found in stores and files we did not write: read it, and write what was
// read back out, so both the reader and the writer meet every shape the reader accepts.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>

#include <unistd.h>

#include "mime/message.h"
#include "mime/mime_error.h"

namespace {

// Attachments of one run go to a folder of their own, removed when the run ends.
class AttachmentFolder {
  public:
    AttachmentFolder()
        : path_(std::filesystem::temp_directory_path() /
                ("mailsift-fuzz-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~AttachmentFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string path() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

const AttachmentFolder kAttachmentFolder;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mailsift::TIdMessage message;
    message.AttachmentTempDirectory = kAttachmentFolder.path();
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    try {
        message.ReadFromStream(input);
        std::ostringstream output;
        message.WriteToStream(output);
    } catch (const mailsift::MimeError&) {
    }
    return 0;
}
