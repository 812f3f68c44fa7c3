#include "mime/message_parts.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "mime/mime_error.h"
#include "platform/text_case.h"

namespace mailsift {

std::string FindNameValue(const TIdNameValueList& list, std::string_view name) {
    for (const auto& [key, value] : list) {
        if (EqualsIgnoringCase(key, name)) return value;
    }
    return {};
}

TIdAttachmentFile::TIdAttachmentFile(const std::string& path) : StoredPath(path) {
    FileName = std::filesystem::path(path).filename().string();
}

TIdAttachmentFile::~TIdAttachmentFile() {
    if (OwnsFile && !StoredPath.empty()) {
        std::error_code ignored;
        std::filesystem::remove(StoredPath, ignored);
    }
}

void TIdAttachmentFile::SaveContent(const std::string& destination) const {
    std::error_code error;
    std::filesystem::copy_file(StoredPath, destination,
                               std::filesystem::copy_options::overwrite_existing, error);
    if (error) throw MimeError("Error saving attachment.");
}

void TIdAttachmentFile::MoveContentInto(NewFile& target) {
    if (!OwnsFile || StoredPath.empty()) {
        SaveContent(target.Path());
        return;
    }
    if (!target.Adopt(StoredPath)) throw MimeError("Error saving attachment.");
    // The file is the target's now; the part has no content left to give.
    OwnsFile = false;
    StoredPath.clear();
}

void TIdAttachmentMemory::SaveContent(const std::string& destination) const {
    std::ofstream out(destination, std::ios::binary | std::ios::trunc);
    out.write(Content.data(), static_cast<std::streamsize>(Content.size()));
    out.close();
    if (!out) throw MimeError("Error saving attachment.");
}

}  // namespace mailsift
