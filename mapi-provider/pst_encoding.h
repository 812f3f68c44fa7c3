#pragma once
// The two encodings a personal folder file may keep its data blocks in: the byte substitution
// ("compressible encryption") and the cyclic one keyed by the block's identifier. Neither
// protects anything; both only keep the text from being read in the raw file.
#include <cstddef>
#include <cstdint>

namespace mailsift::mapi_provider::pst {

enum Encoding : uint8_t { kEncodingNone = 0, kEncodingPermute = 1, kEncodingCyclic = 2 };

// Decodes `size` bytes in place; `key` is the low 32 bits of the block's identifier.
void DecodeBlock(uint8_t encoding, uint32_t key, uint8_t* data, size_t size);

}  // namespace mailsift::mapi_provider::pst
