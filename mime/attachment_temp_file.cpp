#include "mime/attachment_temp_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "mime/mime_error.h"

namespace mailsift {

namespace {

constexpr size_t kFlushSize = 1 << 18;

std::string TempFolder(const std::string& folder) {
    if (!folder.empty()) return folder;
    std::error_code error;
    const std::filesystem::path system = std::filesystem::temp_directory_path(error);
    return error ? std::string("/tmp") : system.string();
}

}  // namespace

AttachmentTempFile::AttachmentTempFile(const std::string& folder) {
    std::string pattern = TempFolder(folder);
    if (!pattern.empty() && pattern.back() != '/') pattern += '/';
    pattern += "mailsift-att-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        throw MimeError("Cannot create a temporary file for an attachment in " +
                        TempFolder(folder) + ": " + std::strerror(errno));
    }
    path_ = name.data();
    file_ = fdopen(descriptor, "wb");
    if (file_ == nullptr) {
        close(descriptor);
        unlink(path_.c_str());
        throw MimeError("Cannot open the temporary file " + path_);
    }
    pending_.reserve(kFlushSize);
}

AttachmentTempFile::~AttachmentTempFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!kept_) unlink(path_.c_str());
}

void AttachmentTempFile::Write(std::string_view bytes) {
    pending_.append(bytes);
    if (pending_.size() >= kFlushSize) Flush();
}

void AttachmentTempFile::Flush() {
    if (!pending_.empty() &&
        std::fwrite(pending_.data(), 1, pending_.size(), file_) != pending_.size()) {
        throw MimeError("Cannot write the temporary file " + path_ + ": " + std::strerror(errno));
    }
    pending_.clear();
}

std::string AttachmentTempFile::Keep() {
    Flush();
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) throw MimeError("Cannot write the temporary file " + path_);
    kept_ = true;
    return path_;
}

}  // namespace mailsift
