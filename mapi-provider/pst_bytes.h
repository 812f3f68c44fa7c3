#pragma once
// Little-endian numbers in the bytes of a personal folder file.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mailsift::mapi_provider::pst {

// The `size`-byte number at `bytes`; the caller has made sure that it lies inside its buffer.
template <class T = uint64_t>
T LittleEndian(const char* bytes, size_t size) {
    T value = 0;
    for (size_t i = size; i-- > 0;) {
        value = static_cast<T>((value << 8) | static_cast<uint8_t>(bytes[i]));
    }
    return value;
}

template <class T = uint64_t>
T LittleEndian(std::string_view bytes, size_t at, size_t size) {
    return LittleEndian<T>(bytes.data() + at, size);
}

}  // namespace mailsift::mapi_provider::pst
