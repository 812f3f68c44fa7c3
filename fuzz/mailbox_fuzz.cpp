// Mailbox files as found on disk: count them, then read every message the count found in each
// read mode and save it raw, so the line splitting, the copy of each message's bytes and the
// reading of what was copied all meet damaged input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/settings.h"
#include "fuzz/fuzz_run_folder.h"
#include "stores/mailbox_backend.h"
#include "stores/mailbox_scan.h"

namespace {

constexpr uint32_t kMaxMessages = 64;

const FuzzRunFolder kRunFolder("mailbox");

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
