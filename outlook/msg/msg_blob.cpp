#include "outlook/msg/msg_blob.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/positioned_io.h"

namespace mailsift {

namespace {

constexpr size_t kCopyPiece = 64 * 1024;

// An unnamed file in the temporary folder: it disappears with its last descriptor.
int OpenUnnamedTempFile() {
    std::error_code error;
    std::string folder = std::filesystem::temp_directory_path(error).string();
    if (error || folder.empty()) folder = "/tmp";
#ifdef O_TMPFILE
    const int unnamed = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (unnamed >= 0) return unnamed;
#endif
    std::string pattern = folder + "/mailsift-msg-XXXXXX";
    const int named = mkstemp(pattern.data());
    if (named >= 0) {
        unlink(pattern.c_str());
        fcntl(named, F_SETFD, FD_CLOEXEC);
    }
    return named;
}

}  // namespace

MsgBlob::~MsgBlob() {
    if (file_ >= 0) close(file_);
}

bool MsgBlob::MoveToFile() {
    const int file = OpenUnnamedTempFile();
    if (file < 0) return false;
    if (!WriteAllAt(file, memory_.data(), memory_.size(), 0)) {
        close(file);
        return false;
    }
    file_ = file;
    std::vector<uint8_t>().swap(memory_);
    return true;
}

bool MsgBlob::WriteAt(uint64_t offset, const void* data, size_t count) {
    if (count == 0) return true;
    const uint64_t end = offset + count;
    if (end < offset) return false;
    if (inMemory() && end > kMsgBlobMemoryLimit && !MoveToFile()) return false;
    if (inMemory()) {
        if (end > memory_.size()) memory_.resize(static_cast<size_t>(end));
        std::memcpy(memory_.data() + offset, data, count);
    } else if (!WriteAllAt(file_, static_cast<const uint8_t*>(data), count, offset)) {
        return false;
    }
    size_ = std::max(size_, end);
    return true;
}

bool MsgBlob::ReadAt(uint64_t offset, void* data, size_t count) const {
    if (offset > size_ || count > size_ - offset) return false;
    if (count == 0) return true;
    if (inMemory()) {
        std::memcpy(data, memory_.data() + offset, count);
        return true;
    }
    return ReadAllAt(file_, static_cast<uint8_t*>(data), count, offset);
}

std::shared_ptr<MsgBlob> MsgBlob::Clone() const {
    auto copy = std::make_shared<MsgBlob>();
    if (inMemory()) {
        copy->memory_ = memory_;
        copy->size_ = size_;
        return copy;
    }
    std::vector<uint8_t> piece(kCopyPiece);
    for (uint64_t done = 0; done < size_;) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(kCopyPiece, size_ - done));
        if (!ReadAt(done, piece.data(), count) || !copy->WriteAt(done, piece.data(), count)) {
            return nullptr;
        }
        done += count;
    }
    return copy;
}

}  // namespace mailsift
