#pragma once
// One opened personal folder file as the provider sees it: its items, its name, its own
// identifier and the code page of its 8-bit strings.
#include <cstdint>
#include <memory>
#include <string>

#include "mapi-provider/pst_items.h"
#include "mapi/mapi_tags.h"

namespace mailsift::mapi_provider {

using SharedItem = pst::ItemRef;

// The reader's outcome as a MAPI result code.
mapi::HRESULT FromStatus(pst::Status status);

class StoreFile {
  public:
    // Opens the file read-only; MAPI_E_NOT_FOUND when there is no file, MAPI_E_CORRUPT_DATA
    // when it is not a personal folder file that can be read.
    static mapi::HRESULT Open(const std::string& path, std::shared_ptr<StoreFile>& file);
    StoreFile(const StoreFile&) = delete;
    StoreFile& operator=(const StoreFile&) = delete;

    const pst::ItemReader& reader() const { return *reader_; }
    // The store's display name from the message store object, else the file's base name.
    const std::string& displayName() const { return displayName_; }
    // The store's own 16-byte identifier (its record key), which prefixes its entry ids.
    const mapi::MAPIUID& uid() const { return uid_; }
    // The code page of the file's 8-bit strings.
    int codePage() const { return codePage_; }

    mapi::HRESULT RootFolder(SharedItem& item) const { return ItemById(pst::kNidRootFolder, item); }
    mapi::HRESULT ItemById(uint32_t id, SharedItem& item) const;
    // The item holding the store's name-to-id map.
    mapi::HRESULT NameToIdMap(SharedItem& item) const {
        return ItemById(pst::kNidNameToIdMap, item);
    }

  private:
    StoreFile() = default;
    std::unique_ptr<pst::ItemReader> reader_;
    std::string displayName_;
    mapi::MAPIUID uid_{};
    int codePage_ = 1252;
};

}  // namespace mailsift::mapi_provider
