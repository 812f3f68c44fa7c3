#pragma once
// A file that did not exist before this process created it, written through one open descriptor:
// the creation, the writes, the date and the close are all it costs.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/date_time.h"

namespace mailsift {

class NewFile {
  public:
    // Creates path only when nothing is there yet; never replaces or follows anything. Null and
    // error set to the cause when it fails: EEXIST when the name is taken, EINVAL, ENAMETOOLONG
    // or EILSEQ when the file system refuses the name, ENOENT when the folder is missing.
    static std::unique_ptr<NewFile> Create(const std::string& path, int& error);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    const std::string& Path() const { return path_; }
    // Bytes handed to Write or Adopt so far.
    int64_t Size() const { return size_; }
    // Whether anything was written through this object: a writer that only knows paths may
    // have replaced the file at Path() instead.
    bool WrittenThrough() const { return writtenThrough_; }
    // Whether the file is still the empty one created: nothing was written through this object,
    // and no writer put another file at Path().
    bool Untouched() const;

    // Buffered; false once any write has failed (errno tells why).
    bool Write(std::string_view bytes);
    // Puts the finished file at source in this file's place and takes it over: renamed when both
    // are on one file system, else copied and removed. False when neither worked.
    bool Adopt(const std::string& source);
    // Writes what is buffered, sets the last-modification time to the local date-time (none
    // when date is 0) and closes. False when a write or the close failed; the file stays.
    bool Finish(TDateTime date);
    // Closes and removes the file.
    void Discard();

  private:
    NewFile(int fd, std::string path);
    bool Flush();
    bool WriteOut(std::string_view bytes);
    void Close();

    int fd_;
    std::string path_;
    std::unique_ptr<char[]> buffer_;
    size_t buffered_ = 0;
    int64_t size_ = 0;
    bool failed_ = false;
    bool writtenThrough_ = false;
    bool adopted_ = false;  // the descriptor no longer names the file at path_
};

}  // namespace mailsift
