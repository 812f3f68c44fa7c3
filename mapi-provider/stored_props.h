#pragma once
// The stored properties of an item as MAPI property values.
#include <cstdint>
#include <string>
#include <vector>

#include "mapi-provider/store_file.h"
#include "mapi/mapi_tags.h"

namespace mailsift::mapi_provider {

// Where a property's value comes from: one record of one item of an opened file.
struct RecordSource {
    const StoreFile* file = nullptr;
    const pst::Item* item = nullptr;
    int set = 0;
};

// The (id, stored type) pairs of a record, in stored order; named properties included.
std::vector<uint32_t> ListStoredTags(RecordSource source);

// Reads the property `tag` into `out`, allocating its data linked to `parent`. A requested
// string type accepts either stored string form; PT_UNSPECIFIED returns the stored type.
mapi::HRESULT ReadStoredProp(RecordSource source, mapi::ULONG tag, mapi::SPropValue& out,
                             void* parent);

// The stored bytes of the property `tag`, whatever its stored type.
mapi::HRESULT ReadStoredBytes(RecordSource source, mapi::ULONG tag, std::string& data);

// Strings copied into the buffer chain of `parent`.
mapi::LPSTR CopyString8(const std::string& text, void* parent);
mapi::LPWSTR CopyString16(const std::u16string& text, void* parent);
mapi::LPBYTE CopyBytes(const void* data, size_t size, void* parent);

}  // namespace mailsift::mapi_provider
