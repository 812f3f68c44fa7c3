#pragma once
// Thin owners of libpff handles and the conversion of libpff record entries into MAPI
// property values. Every libpff failure becomes a MAPI result code; its error object is freed
// on the spot.
#include <libpff.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mapi/mapi_tags.h"

namespace mailsift::mapi_provider {

// Collects one libpff error and frees it when it goes out of scope.
class PffError {
  public:
    PffError() = default;
    PffError(const PffError&) = delete;
    PffError& operator=(const PffError&) = delete;
    ~PffError();
    libpff_error_t** get() { return &error_; }

  private:
    libpff_error_t* error_ = nullptr;
};

struct ItemDeleter {
    void operator()(libpff_item_t* item) const;
};
using ItemPtr = std::unique_ptr<libpff_item_t, ItemDeleter>;

// The libpff call that opens the sub-item at an index.
using SubItemGetter = int (*)(libpff_item_t*, int, libpff_item_t**, libpff_error_t**);

// One opened personal folder file. Items taken from it must be freed before it closes, so
// every object that holds an item also holds a shared reference to this.
class PffFile {
  public:
    // Opens the file read-only; MAPI_E_NOT_FOUND when there is no file, MAPI_E_CORRUPT_DATA
    // when libpff cannot read it.
    static mapi::HRESULT Open(const std::string& path, std::shared_ptr<PffFile>& file);
    PffFile(const PffFile&) = delete;
    PffFile& operator=(const PffFile&) = delete;
    ~PffFile();

    libpff_file_t* get() const { return file_; }
    // The store's display name from the message store object, else the file's base name.
    const std::string& displayName() const { return displayName_; }
    // The store's own 16-byte identifier (its record key), which prefixes its entry ids.
    const mapi::MAPIUID& uid() const { return uid_; }
    // The code page of the file's 8-bit strings.
    int codePage() const { return codePage_; }

    mapi::HRESULT RootFolder(ItemPtr& item) const;
    mapi::HRESULT ItemById(uint32_t id, ItemPtr& item) const;
    // The item holding the store's name-to-id map.
    mapi::HRESULT NameToIdMap(ItemPtr& item) const;

  private:
    PffFile() = default;
    libpff_file_t* file_ = nullptr;
    std::string displayName_;
    mapi::MAPIUID uid_{};
    int codePage_ = 1252;
};

// Where a property's value comes from: one record set of one libpff item.
struct RecordSource {
    libpff_item_t* item = nullptr;
    int set = 0;
    // Of the file's 8-bit strings in lists, which libpff leaves to its caller.
    int codePage = 1252;
};

// The (id, stored type) pairs of a record set, in stored order; named properties included.
std::vector<uint32_t> ListStoredTags(RecordSource source);

// Reads the property `tag` into `out`, allocating its data linked to `parent`. A requested
// string type accepts either stored string form; PT_UNSPECIFIED returns the stored type.
mapi::HRESULT ReadStoredProp(RecordSource source, mapi::ULONG tag, mapi::SPropValue& out,
                             void* parent);

// The stored bytes of the property `tag`, whatever its stored type.
mapi::HRESULT ReadStoredBytes(RecordSource source, mapi::ULONG tag, std::vector<uint8_t>& data);

mapi::HRESULT ItemType(libpff_item_t* item, uint8_t& type);
mapi::HRESULT ItemId(libpff_item_t* item, uint32_t& id);

// Strings copied into the buffer chain of `parent`.
mapi::LPSTR CopyString8(const std::string& text, void* parent);
mapi::LPWSTR CopyString16(const std::u16string& text, void* parent);
mapi::LPBYTE CopyBytes(const void* data, size_t size, void* parent);

}  // namespace mailsift::mapi_provider
