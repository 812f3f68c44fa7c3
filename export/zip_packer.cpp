#include "export/zip_packer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "config/language.h"
#include "platform/work_hooks.h"

namespace mailsift {

namespace fs = std::filesystem;

namespace {

// The first failure that happened inside a libzip callback, where no exception may pass.
struct CallbackFailure {
    std::string reason;

    void Record(const std::string& text) {
        if (reason.empty()) reason = text;
    }
};

// One listed file as libzip reads it while it writes the archive. libzip compresses only at
// zip_close, so the file is opened (and its "Zip" status shown) when libzip asks for its data,
// and read in the chunks libzip asks for: a run of many large files never sits in memory.
//
// An archive of a large store lists hundreds of thousands of files, each with a source alive
// until the archive is closed; a source therefore keeps only what it needs, and refers to its
// path in the packer's list.
class FileSource {
  public:
    FileSource(const std::string& path, const struct stat& info, CallbackFailure& failure)
        : path_(path),
          size_(info.st_size),
          modified_(info.st_mtime),
          mode_(info.st_mode),
          failure_(failure) {
        zip_error_init(&error_);
    }
    ~FileSource() {
        CloseFile();
        zip_error_fini(&error_);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    const std::string& path() const { return path_; }
    // Set when this file was the reason the archive could not be written.
    bool failed() const { return failed_; }

    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length,
                                zip_source_cmd_t command) {
        auto& source = *static_cast<FileSource*>(state);
        try {
            return source.Handle(data, length, command);
        } catch (const std::exception& exception) {
            source.failure_.Record(source.path_ + ": " + exception.what());
        } catch (...) {
            source.failure_.Record(source.path_ + ": unknown exception");
        }
        return source.Fail(ZIP_ER_INTERNAL, 0);
    }

  private:
    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t command) {
        switch (command) {
            case ZIP_SOURCE_OPEN:
                return Open();
            case ZIP_SOURCE_READ:
                return Read(data, length);
            case ZIP_SOURCE_CLOSE:
                CloseFile();
                return 0;
            case ZIP_SOURCE_STAT:
                return Stat(data, length);
            case ZIP_SOURCE_GET_FILE_ATTRIBUTES:
                return Attributes(data, length);
            case ZIP_SOURCE_ERROR:
                return zip_error_to_data(&error_, data, length);
            case ZIP_SOURCE_FREE:
                CloseFile();
                return 0;
            case ZIP_SOURCE_SUPPORTS:
                return zip_source_make_command_bitmap(
                    ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                    ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS,
                    ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
            default:
                zip_error_set(&error_, ZIP_ER_OPNOTSUPP, 0);
                return -1;
        }
    }

    zip_int64_t Open() {
        // libzip may open a source again to retry it; the user hears of each file once.
        if (!announced_) {
            announced_ = true;
            ReportStatus(LanguageString("Zip") + " " + path_);
        }
        LetMessageLoopRun();
        CloseFile();
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return Fail(ZIP_ER_OPEN, errno);
        return 0;
    }

    zip_int64_t Read(void* data, zip_uint64_t length) {
        LetMessageLoopRun();
        for (;;) {
            const ssize_t got = ::read(fd_, data, length);
            if (got >= 0) return got;
            if (errno != EINTR) return Fail(ZIP_ER_READ, errno);
        }
    }

    zip_int64_t Stat(void* data, zip_uint64_t length) {
        auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &error_);
        if (stat == nullptr) return -1;
        zip_stat_init(stat);
        // The size lets libzip leave out ZIP64 fields that a small file does not need; the
        // modification time is the message date the export run gave the file.
        stat->size = static_cast<zip_uint64_t>(size_);
        stat->mtime = modified_;
        stat->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        return sizeof(zip_stat_t);
    }

    zip_int64_t Attributes(void* data, zip_uint64_t length) {
        auto* attributes = ZIP_SOURCE_GET_ARGS(zip_file_attributes_t, data, length, &error_);
        if (attributes == nullptr) return -1;
        attributes->host_system = ZIP_OPSYS_UNIX;
        attributes->external_file_attributes = static_cast<zip_uint32_t>(
            (static_cast<zip_uint32_t>(S_IFREG) | (mode_ & 07777u)) << 16);
        attributes->valid |=
            ZIP_FILE_ATTRIBUTES_HOST_SYSTEM | ZIP_FILE_ATTRIBUTES_EXTERNAL_FILE_ATTRIBUTES;
        return sizeof(zip_file_attributes_t);
    }

    zip_int64_t Fail(int zipError, int systemError) {
        zip_error_set(&error_, zipError, systemError);
        failed_ = true;
        return -1;
    }

    void CloseFile() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    const std::string& path_;
    off_t size_;
    time_t modified_;
    mode_t mode_;
    CallbackFailure& failure_;
    zip_error_t error_;
    int fd_ = -1;
    bool announced_ = false;
    bool failed_ = false;
};

void ProgressCallback(zip_t*, double, void* state) {
    try {
        LetMessageLoopRun();
    } catch (const std::exception& exception) {
        static_cast<CallbackFailure*>(state)->Record(exception.what());
    } catch (...) {
        static_cast<CallbackFailure*>(state)->Record("unknown exception");
    }
}

// A failure inside a callback cannot throw through libzip; cancelling stops the write instead.
int CancelCallback(zip_t*, void* state) {
    return static_cast<CallbackFailure*>(state)->reason.empty() ? 0 : 1;
}

// Where the file lands in the archive: its absolute path, without "." and ".." steps, so no
// entry can point outside the folder it is unpacked into.
std::string EntryName(const std::string& path) {
    std::string name = fs::absolute(path).lexically_normal().string();
    const size_t start = name.find_first_not_of('/');
    return start == std::string::npos ? std::string() : name.substr(start);
}

// The name itself when the archive has no entry of that name, else "stem (n).ext" with the
// first free n from 2.
std::string FreeEntryName(zip_t* archive, const std::string& name) {
    if (zip_name_locate(archive, name.c_str(), ZIP_FL_ENC_RAW) < 0) return name;
    const fs::path path(name);
    const std::string folder = path.has_parent_path() ? path.parent_path().string() + "/" : "";
    const std::string stem = path.stem().string();
    const std::string extension = path.extension().string();
    for (int n = 2;; ++n) {
        std::string candidate = folder + stem + " (" + std::to_string(n) + ")" + extension;
        if (zip_name_locate(archive, candidate.c_str(), ZIP_FL_ENC_RAW) < 0) return candidate;
    }
}

// Closes an archive that was not written: nothing on disk changes.
struct ArchiveDiscarder {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ArchivePtr = std::unique_ptr<zip_t, ArchiveDiscarder>;

// Two exports packing into one archive at once would each write it from what it held when
// they opened it, and the later one would drop the earlier one's entries after their files were
// deleted: packing into a folder waits while another packing there goes on.
class FolderLock {
  public:
    explicit FolderLock(const fs::path& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_;
};

}  // namespace

ZipPacker::ZipPacker(std::string archivePath) : archivePath_(std::move(archivePath)) {}

void ZipPacker::AddFile(const std::string& path) {
    files_.push_back(path);
}

std::string ZipPacker::Pack() {
    try {
        const FolderLock lock(fs::path(archivePath_).parent_path());
        return PackListed();
    } catch (const std::exception& exception) {
        return archivePath_ + ": " + exception.what();
    }
}

std::string ZipPacker::PackListed() {
    // With nothing to pack no archive is created, and an existing one is not rewritten.
    if (files_.empty()) {
        ReportStatus(LanguageString("ZipComplete"));
        return "";
    }

    // Every file is looked at before libzip starts: a missing one fails the run at once
    // rather than after the others were compressed. The sources must outlive the archive
    // handle: zip_discard and zip_close free them through their callbacks.
    CallbackFailure failure;
    std::vector<std::unique_ptr<FileSource>> sources;
    sources.reserve(files_.size());
    std::unordered_set<std::string_view> seen;
    for (const std::string& path : files_) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            const int error = errno;
            return path + ": " + std::generic_category().message(error);
        }
        if (!S_ISREG(info.st_mode)) return path + ": not a regular file";
        if (seen.insert(path).second)
            sources.push_back(std::make_unique<FileSource>(path, info, failure));
    }
    seen = {};
    int openError = 0;
    // ZIP_CREATE without ZIP_TRUNCATE: an archive of an earlier run is extended.
    ArchivePtr archive(zip_open(archivePath_.c_str(), ZIP_CREATE, &openError));
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, openError);
        std::string reason = archivePath_ + ": " + zip_error_strerror(&error);
        zip_error_fini(&error);
        return reason;
    }
    zip_register_progress_callback_with_state(archive.get(), 0.01, ProgressCallback, nullptr,
                                              &failure);
    zip_register_cancel_callback_with_state(archive.get(), CancelCallback, nullptr, &failure);

    for (const auto& source : sources) {
        const std::string& path = source->path();
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* zipSource =
            zip_source_function_create(FileSource::Callback, source.get(), &error);
        if (zipSource == nullptr) {
            std::string reason = path + ": " + zip_error_strerror(&error);
            zip_error_fini(&error);
            return reason;
        }
        zip_error_fini(&error);
        const std::string name = FreeEntryName(archive.get(), EntryName(path));
        if (zip_file_add(archive.get(), name.c_str(), zipSource, ZIP_FL_ENC_GUESS) < 0) {
            zip_source_free(zipSource);
            return path + ": " + zip_strerror(archive.get());
        }
    }

    if (zip_close(archive.get()) != 0) {
        if (!failure.reason.empty()) return failure.reason;
        std::string reason = zip_strerror(archive.get());
        for (const auto& source : sources) {
            if (source->failed()) return source->path() + ": " + reason;
        }
        return archivePath_ + ": " + reason;
    }
    archive.release();
    ReportStatus(LanguageString("ZipComplete"));
    return "";
}

void ZipPacker::RemoveFiles() {
    for (const std::string& path : files_) {
        std::error_code ignored;
        fs::remove(path, ignored);
    }
}

}  // namespace mailsift
