// Outlook Express files as found on disks we did not write: each input is opened once as a
// folder file on its own and once as the "folders.dbx" of a store, and every message found is
// read in every mode the store offers.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "fuzz/fuzz_run_folder.h"
#include "mime/mime_error.h"
#include "stores/express_backend.h"

namespace {

using namespace mailsift;

// Enough to reach every kind of structure; more only slows the run down.
constexpr int32_t kMaxMessages = 64;
constexpr size_t kMaxAttachments = 8;

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// An intact folder file with two messages (one with an attachment) in a single tree node, for
// the folder lists of the inputs to point at.
std::string SmallFolderFile() {
    const std::vector<std::pair<uint32_t, std::string_view>> messages = {
        {0, "From: a@example.com\r\nSubject: plain\r\n\r\nHello\r\n"},
        {0x4000,
         "From: b@example.com\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
         "--b\r\nContent-Type: text/plain\r\n\r\nSee the file.\r\n--b\r\n"
         "Content-Type: application/octet-stream; name=\"f.bin\"\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\nAAEC\r\n--b--\r\n"},
    };
    std::string file(0x200, '\0');
    auto put32 = [&file](size_t at, uint32_t value) {
        if (file.size() < at + 4) file.resize(at + 4);
        for (size_t i = 0; i < 4; ++i) file[at + i] = static_cast<char>(value >> (8 * i));
    };
    std::vector<uint32_t> infos;
    for (const auto& [flags, text] : messages) {
        const auto block = static_cast<uint32_t>(file.size());
        put32(block, block);
        put32(block + 8, static_cast<uint32_t>(text.size()));
        file += text;
        file.resize(block + 0x210);
        const auto info = static_cast<uint32_t>(file.size());
        file.resize(info + 24);
        put32(info, info);
        put32(info + 4, 12);
        file[info + 0x0A] = 3;
        put32(info + 12, 0x81 | flags << 8);
        put32(info + 16, 0x84 | block << 8);
        put32(info + 20, 0x91 | static_cast<uint32_t>(text.size()) << 8);
        infos.push_back(info);
    }
    const auto node = static_cast<uint32_t>(file.size());
    put32(node, node);
    put32(node + 0x10, static_cast<uint32_t>(infos.size()) << 8);
    for (size_t i = 0; i < infos.size(); ++i) put32(node + 0x18 + 12 * i, infos[i]);
    put32(0x30, node);
    put32(0xC4, static_cast<uint32_t>(infos.size()));
    return file;
}

// The folders of one run: a folder file beside the list that the input stands in for.
struct DbxRunFolder {
    DbxRunFolder() {
        std::filesystem::create_directories(folder.path() / "store");
        WriteFile(folder.path() / "store" / "Inbox.dbx", SmallFolderFile());
    }
    const std::filesystem::path& path() const { return folder.path(); }

    FuzzRunFolder folder{"dbx"};
};

// Parser errors reach the caller by design; anything else is a finding.
void Read(ExpressStoreBackend& backend, StoreHandle handle,
          const TMessageExtractionOptions& options, const TFolder& folder, uint32_t index,
          TMessage& message) {
    try {
        backend.ReadMessage(handle, options, folder, index, message);
    } catch (const MimeError&) {
    }
}

void ReadEverything(const std::string& path, const std::filesystem::path& output) {
    ExpressStoreBackend backend;
    TFolderList folders;
    const StoreHandle handle = backend.Open(path, folders);
    if (handle <= kMaxResultCode) return;
    int32_t tried = 0;
    for (const TFolder* folder : folders) {
        for (int32_t i = 0; i < folder->MessageCount && tried < kMaxMessages; ++i, ++tried) {
            const auto index = static_cast<uint32_t>(i);
            TMessage message;
            Read(backend, handle, {}, *folder, index, message);
            TMessageExtractionOptions options;
            options.WantBody = true;
            Read(backend, handle, options, *folder, index, message);
            options = {};
            options.WantAttachments = true;
            Read(backend, handle, options, *folder, index, message);
            const std::vector<TAttachFile> attachments =
                message.Attachments.value_or(std::vector<TAttachFile>{});
            for (size_t k = 0; k < attachments.size() && k < kMaxAttachments; ++k) {
                options = {};
                options.SaveAttachment = true;
                options.AttachmentIndex = attachments[k].Index;
                options.TargetFile = (output / "attachment.bin").string();
                Read(backend, handle, options, *folder, index, message);
            }
            options = {};
            options.SaveMessage = true;
            options.TargetFile = (output / "saved.eml").string();
            Read(backend, handle, options, *folder, index, message);
        }
    }
    backend.Close(handle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const DbxRunFolder run;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path loose = run.path() / "Mutated.dbx";
    WriteFile(loose, input);
    ReadEverything(loose.string(), run.path());
    const std::filesystem::path folders = run.path() / "store" / "folders.dbx";
    WriteFile(folders, input);
    ReadEverything(folders.string(), run.path());
    return 0;
}
