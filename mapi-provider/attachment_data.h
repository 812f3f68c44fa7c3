#pragma once
// Where an attachment's content is kept, and its data read in pieces.
#include <cstdint>
#include <string>

#include "mapi-provider/store_file.h"

namespace mailsift::mapi_provider {

// How an attachment keeps its content: as data, as an attached message, or not at all (a
// reference to a file elsewhere).
enum class AttachmentContent { None, Data, Message };
AttachmentContent ContentOf(const pst::Item& attachment);

// The data of a Data attachment: where its blocks are, or the bytes themselves when they are
// kept with its other values.
class AttachmentData {
  public:
    pst::DataLayout layout;
    std::string bytes;
    bool inPlace = false;
    uint64_t size() const { return inPlace ? bytes.size() : layout.size(); }
    // Up to `count` bytes from `offset` into `buffer`; `got` is 0 at the end. The block read
    // last is kept, so reading on in small pieces reads each block once.
    mapi::HRESULT Read(const StoreFile& file, uint64_t offset, uint8_t* buffer, size_t count,
                       size_t& got);

  private:
    std::string block_;
    size_t blockIndex_ = SIZE_MAX;
};
mapi::HRESULT LocateAttachmentData(const StoreFile& file, const pst::Item& attachment,
                                   AttachmentData& data);

}  // namespace mailsift::mapi_provider
