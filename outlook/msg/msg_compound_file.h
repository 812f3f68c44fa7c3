#pragma once
// A compound file (storages holding streams and further storages) written front to back into
// an open file. Streams are written whole, one at a time, large ones in pieces.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace mailsift {

class MsgCompoundFile {
  public:
    // Reads `count` bytes of a stream's content at `offset` into `buffer`; false on failure.
    using Source = std::function<bool(uint64_t offset, void* buffer, size_t count)>;

    // Writes into `file`, open for reading and writing (Close reads the directory back to put
    // it in order), which stays open and owned by the caller; `name` names it in errors.
    MsgCompoundFile(std::FILE* file, const std::string& name);
    ~MsgCompoundFile();
    MsgCompoundFile(const MsgCompoundFile&) = delete;
    MsgCompoundFile& operator=(const MsgCompoundFile&) = delete;

    // The class identifier of the root storage, 16 bytes as stored.
    bool SetRootClass(const uint8_t* clsid);
    // Opens a storage inside the current one; it is current until EndStorage.
    bool BeginStorage(const std::string& name);
    bool EndStorage();
    bool WriteStream(const std::string& name, std::string_view bytes);
    bool WriteStream(const std::string& name, uint64_t size, const Source& source);
    // Finishes the file; true when everything was written. Storages still open are ended.
    bool Close();
    // Why the last failing call failed.
    const std::string& error() const { return error_; }

  private:
    struct State;
    bool Fail(const std::string& what);

    std::unique_ptr<State> state_;
    std::string name_;
    std::string error_;
};

}  // namespace mailsift
