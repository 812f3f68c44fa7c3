#pragma once
// Where a stream's Seek lands: the streams of attachments and of .msg properties share the
// rules, among them that a move past either end of the 64-bit range is refused, not wrapped.
#include <cstdint>
#include <optional>

#include "mapi/mapi_types.h"

namespace mapi {

// The position reached by moving move from origin (STREAM_SEEK_SET, _CUR or _END) in a stream
// of size bytes now at position; none for an unknown origin, a position before the start, or
// one beyond what a signed 64-bit offset can hold. Positions past the end are allowed.
inline std::optional<uint64_t> SeekTarget(uint64_t position, uint64_t size, LARGE_INTEGER move,
                                          DWORD origin) {
    int64_t base = 0;
    if (origin == STREAM_SEEK_CUR) {
        base = static_cast<int64_t>(position);
    } else if (origin == STREAM_SEEK_END) {
        base = static_cast<int64_t>(size);
    } else if (origin != STREAM_SEEK_SET) {
        return std::nullopt;
    }
    if (base < 0 || (move.QuadPart > 0 && base > INT64_MAX - move.QuadPart) ||
        base + move.QuadPart < 0) {
        return std::nullopt;
    }
    return static_cast<uint64_t>(base + move.QuadPart);
}

// IStream::Seek of a stream of size bytes whose position is position: moves it, or leaves it
// and fails with STG_E_INVALIDFUNCTION where SeekTarget finds no place.
inline HRESULT SeekStream(uint64_t& position, uint64_t size, LARGE_INTEGER move, DWORD origin,
                          ULARGE_INTEGER* newPosition) {
    const std::optional<uint64_t> target = SeekTarget(position, size, move, origin);
    if (!target) return STG_E_INVALIDFUNCTION;
    position = *target;
    if (newPosition != nullptr) newPosition->QuadPart = position;
    return S_OK;
}

}  // namespace mapi
