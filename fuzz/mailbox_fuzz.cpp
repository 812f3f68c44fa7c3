// Mailbox files as found on disk: count them, then read every message the count found in each
// read mode and save it raw, so the line splitting, the copy of each message's bytes and the
// reading of what was copied all meet damaged input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "config/settings.h"
#include "stores/mailbox_backend.h"
#include "stores/mailbox_scan.h"

namespace {

constexpr uint32_t kMaxMessages = 64;

// The files of one run live in a folder of their own, removed when the run ends.
class RunFolder {
  public:
    RunFolder()
        : path_(std::filesystem::temp_directory_path() /
                ("mailsift-mailbox-fuzz-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
        // Every read would otherwise append to the report log beside the program.
        mailsift::Settings.DebugMode = false;
    }
    ~RunFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(const char* name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

const RunFolder kRunFolder;

void ReadEveryMessage(mailsift::MailboxStoreBackend& backend, mailsift::StoreHandle handle,
                      const mailsift::TFolder& folder) {
    const uint32_t count = std::min(static_cast<uint32_t>(folder.MessageCount), kMaxMessages);
    for (uint32_t i = 0; i < count; ++i) {
        mailsift::TMessage message;
        mailsift::TMessageExtractionOptions options;
        backend.ReadMessage(handle, options, folder, i, message);
        options.WantBody = true;
        backend.ReadMessage(handle, options, folder, i, message);
        options = {};
        options.WantAttachments = true;
        backend.ReadMessage(handle, options, folder, i, message);
        if (message.Attachments && !message.Attachments->empty()) {
            options.SaveAttachment = true;
            options.AttachmentIndex = message.Attachments->front().Index;
            options.TargetFile = kRunFolder / "attachment";
            backend.ReadMessage(handle, options, folder, i, message);
        }
        options = {};
        options.SaveMessage = true;
        options.TargetFile = kRunFolder / "message.eml";
        backend.ReadMessage(handle, options, folder, i, message);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = kRunFolder / "Inbox";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    mailsift::TMessageOffset offsets;
    mailsift::CountMailboxMessages(path, offsets);

    // A backend of its own per input: its scan cache must not outlive the file it describes.
    mailsift::MailboxStoreBackend backend;
    mailsift::TFolderList folders;
    const mailsift::StoreHandle handle = backend.Open(path, folders);
    if (handle <= mailsift::kMaxResultCode) return 0;
    for (const mailsift::TFolder* folder : folders) ReadEveryMessage(backend, handle, *folder);
    backend.Close(handle);
    return 0;
}
