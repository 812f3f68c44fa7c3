#pragma once
// Reading and writing a whole range of a file at a position: pread and pwrite may move fewer
// bytes than asked for, and a signal may interrupt them.
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace mailsift {

namespace positioned_io {

template <class Transfer, class Byte>
bool TransferAllAt(Transfer transfer, int file, Byte* data, size_t count, uint64_t offset) {
    while (count > 0) {
        const ssize_t done = transfer(file, data, count, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        count -= static_cast<size_t>(done);
        offset += static_cast<uint64_t>(done);
    }
    return true;
}

}  // namespace positioned_io

// False when the file ends first or an error stops the transfer.
inline bool ReadAllAt(int file, void* data, size_t count, uint64_t offset) {
    return positioned_io::TransferAllAt(::pread, file, static_cast<uint8_t*>(data), count, offset);
}

inline bool WriteAllAt(int file, const void* data, size_t count, uint64_t offset) {
    return positioned_io::TransferAllAt(::pwrite, file, static_cast<const uint8_t*>(data), count,
                                        offset);
}

}  // namespace mailsift
