#include "platform/new_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace mailsift {

namespace {

// Small pieces (the blocks of a folder file, a rendered line) are gathered to this size; pieces
// of at least kDirectSize go straight to the file rather than through one more copy.
constexpr size_t kBufferSize = 64 * 1024;
constexpr size_t kDirectSize = 8 * 1024;

timespec ModificationTime(TDateTime date) {
    return {.tv_sec = UnixTimeFromDateTime(date), .tv_nsec = 0};
}

}  // namespace

std::unique_ptr<NewFile> NewFile::Create(const std::string& path, int& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    error = 0;
    return std::unique_ptr<NewFile>(new NewFile(fd, path));
}

NewFile::NewFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

NewFile::~NewFile() {
    Close();
}

bool NewFile::WriteOut(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            failed_ = true;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool NewFile::Flush() {
    if (buffered_ == 0) return !failed_;
    const size_t pending = std::exchange(buffered_, 0);
    return WriteOut({buffer_.get(), pending}) && !failed_;
}

bool NewFile::Write(std::string_view bytes) {
    if (failed_ || fd_ < 0) return false;
    writtenThrough_ = true;
    size_ += static_cast<int64_t>(bytes.size());
    const bool direct = bytes.size() >= kDirectSize;
    if ((direct || buffered_ + bytes.size() > kBufferSize) && !Flush()) return false;
    if (direct) return WriteOut(bytes);
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
    std::memcpy(buffer_.get() + buffered_, bytes.data(), bytes.size());
    buffered_ += bytes.size();
    return true;
}

bool NewFile::Adopt(const std::string& source) {
    if (failed_ || fd_ < 0 || writtenThrough_) return false;
    struct stat status {};
    if (::stat(source.c_str(), &status) != 0) return false;
    writtenThrough_ = true;
    size_ = status.st_size;
    // The empty file this object created stands in the place; nothing else can be lost.
    if (::rename(source.c_str(), path_.c_str()) == 0) {
        adopted_ = true;
        return true;
    }
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    bool copied = true;
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, fd_, nullptr, 1 << 30, 0);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        copied = n == 0;
        break;
    }
    if (!copied) {
        // A kernel or file system without the call: the bytes go through this process.
        copied = ::lseek(in, 0, SEEK_SET) == 0 && ::ftruncate(fd_, 0) == 0 &&
                 ::lseek(fd_, 0, SEEK_SET) == 0;
        char chunk[65536];
        for (ssize_t n = 0; copied && (n = ::read(in, chunk, sizeof chunk)) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            copied = n > 0 && WriteOut({chunk, static_cast<size_t>(n)});
        }
    }
    ::close(in);
    if (!copied) {
        failed_ = true;
        return false;
    }
    ::unlink(source.c_str());
    return true;
}

bool NewFile::Untouched() const {
    if (writtenThrough_ || fd_ < 0) return false;
    struct stat created {};
    struct stat named {};
    return ::fstat(fd_, &created) == 0 && ::stat(path_.c_str(), &named) == 0 &&
           created.st_dev == named.st_dev && created.st_ino == named.st_ino && named.st_size == 0;
}

bool NewFile::Finish(TDateTime date) {
    if (fd_ < 0) return false;
    bool whole = Flush();
    if (date != 0) {
        // Only the modification time changes; the access time is left as it is.
        const timespec times[2] = {{.tv_sec = 0, .tv_nsec = UTIME_OMIT}, ModificationTime(date)};
        // A writer that knew only the path may have put another file there, and an adopted
        // file is not the one the descriptor holds: those are dated by their path.
        if (writtenThrough_ && !adopted_) {
            ::futimens(fd_, times);
        } else {
            ::utimensat(AT_FDCWD, path_.c_str(), times, 0);
        }
    }
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && errno != EINTR) whole = false;
    return whole;
}

void NewFile::Discard() {
    Close();
    ::unlink(path_.c_str());
}

void NewFile::Close() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

}  // namespace mailsift
