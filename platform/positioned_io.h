#pragma once
// Reading and writing a whole range of a file at a position: pread and pwrite may move fewer
// bytes than asked for, and a signal may interrupt them.
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace mailsift {

namespace positioned_io {

// How many of count bytes were moved before the file ended or an error stopped the transfer.
template <class Transfer, class Byte>
size_t TransferAt(Transfer transfer, int file, Byte* data, size_t count, uint64_t offset) {
    size_t moved = 0;
    while (moved < count) {
        const ssize_t done =
            transfer(file, data + moved, count - moved, static_cast<off_t>(offset + moved));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) break;
        moved += static_cast<size_t>(done);
    }
    return moved;
}

}  // namespace positioned_io

// Up to count bytes; fewer only where the file ends or an error stops the read.
inline size_t ReadUpToAt(int file, void* data, size_t count, uint64_t offset) {
    return positioned_io::TransferAt(::pread, file, static_cast<uint8_t*>(data), count, offset);
}

// False when the file ends first or an error stops the transfer.
inline bool ReadAllAt(int file, void* data, size_t count, uint64_t offset) {
    return ReadUpToAt(file, data, count, offset) == count;
}

inline bool WriteAllAt(int file, const void* data, size_t count, uint64_t offset) {
    return positioned_io::TransferAt(::pwrite, file, static_cast<const uint8_t*>(data), count,
                                     offset) == count;
}

}  // namespace mailsift
