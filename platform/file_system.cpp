#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace mailsift {

void SetFileDate(const std::string& path, TDateTime value) {
    // Only the modification time changes; the access time is left as it is.
    timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = UnixTimeFromDateTime(value);
    times[1].tv_nsec = 0;
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::error_code error;
    // Long work asks for its folder once per file: the usual answer costs one look.
    if (std::filesystem::is_directory(path, error)) return true;
    std::filesystem::create_directories(path, error);
    return std::filesystem::is_directory(path, error);
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
    WriteFileFrom(path, [bytes](std::ostream& out) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    });
}

namespace {

void WriteInPlace(const std::string& path, const std::function<void(std::ostream&)>& write) {
    errno = 0;
    bool opened = false;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        opened = out.is_open();
        try {
            if (out) write(out);
        } catch (...) {
            out.close();
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
            throw;
        }
        // What is still buffered reaches the disk only here; a full disk fails no earlier.
        if (out) out.close();
        if (out) return;
    }
    const int error = errno != 0 ? errno : EIO;
    if (opened) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    throw std::system_error(error, std::generic_category(), "Cannot write file " + path);
}

}  // namespace

void WriteFileFrom(const std::string& path, const std::function<void(std::ostream&)>& write) {
    struct stat status {};
    // A file that is there already is replaced only by a whole successor: a full disk leaves it
    // as it was. What is not a regular file (a device, a link) is written in place.
    if (lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        WriteInPlace(path, write);
        return;
    }
    const std::string successor = PartialSiblingPath(path);
    WriteInPlace(successor, write);
    if (rename(successor.c_str(), path.c_str()) != 0) {
        const int error = errno;
        unlink(successor.c_str());
        throw std::system_error(error, std::generic_category(), "Cannot replace file " + path);
    }
}

bool IsExistingFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

bool IsExistingFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

std::string PartialSiblingPath(const std::string& path) {
    static std::atomic<unsigned> sequence{0};
    const std::string::size_type slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return folder + ".partial-" + std::to_string(getpid()) + "-" + std::to_string(++sequence);
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace mailsift
