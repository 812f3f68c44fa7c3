#include "config/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace mailsift {

namespace {

[[noreturn]] void ThrowFileError(int error, const std::string& what, const std::string& path) {
    throw std::system_error(error, std::generic_category(), what + " \"" + path + "\"");
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closing can report a delayed write error, so writers close explicitly.
    int Close() {
        int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            ThrowFileError(errno, "cannot write", path);
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
}

}  // namespace

std::optional<std::string> ReadTextFile(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT) return std::nullopt;
        ThrowFileError(errno, "cannot open", path);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) ThrowFileError(errno, "cannot read", path);
    if (S_ISDIR(info.st_mode)) ThrowFileError(EISDIR, "cannot read", path);

    // One read normally takes the whole file; the loop only covers short reads and a file
    // that grew since fstat.
    std::string bytes;
    size_t used = 0;
    bytes.resize(static_cast<size_t>(info.st_size > 0 ? info.st_size : 0) + 1);
    for (;;) {
        if (used == bytes.size()) bytes.resize(bytes.size() * 2);
        ssize_t got = ::read(file.get(), bytes.data() + used, bytes.size() - used);
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowFileError(errno, "cannot read", path);
        }
        if (got == 0) break;
        used += static_cast<size_t>(got);
    }
    bytes.resize(used);
    return bytes;
}

// The new content goes to a file beside the old one and replaces it by rename, so a write that
// fails half-way (disk full, a crash) leaves the old settings whole rather than a cut file.
void WriteTextFile(const std::string& path, std::string_view bytes) {
    const std::string temporary = path + ".new-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.get() < 0) ThrowFileError(errno, "cannot create", path);
    try {
        struct stat old {};
        if (::stat(path.c_str(), &old) == 0) ::fchmod(file.get(), old.st_mode & 07777);
        WriteAll(file.get(), bytes, path);
        if (::fdatasync(file.get()) != 0 || file.Close() != 0) {
            ThrowFileError(errno, "cannot write", path);
        }
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            ThrowFileError(errno, "cannot replace", path);
        }
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
}

void AppendTextFile(const std::string& path, std::string_view bytes) {
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_APPEND, 0666));
    if (file.get() < 0) ThrowFileError(errno, "cannot create", path);
    WriteAll(file.get(), bytes, path);
    if (file.Close() != 0) ThrowFileError(errno, "cannot write", path);
}

std::vector<std::string> SplitLines(std::string_view text) {
    // Editors may put a UTF-8 byte order mark first; it is no part of the first key.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

}  // namespace mailsift
