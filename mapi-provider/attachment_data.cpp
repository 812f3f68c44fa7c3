#include "mapi-provider/attachment_data.h"

#include <algorithm>
#include <cstring>

#include "mapi-provider/pst_bytes.h"

namespace mailsift::mapi_provider {

using namespace mapi;

AttachmentContent ContentOf(const pst::Item& attachment) {
    constexpr uint16_t kAttachMethod = PROP_ID(PR_ATTACH_METHOD);
    constexpr uint32_t kAttachOle = 6;
    if (attachment.records.empty()) {
        return AttachmentContent::None;
    }
    const pst::Record& record = attachment.records[0];
    const pst::Entry* content = record.Find(PROP_ID(PR_ATTACH_DATA_BIN));
    if (content == nullptr) {
        return AttachmentContent::None;
    }
    if (content->type == PT_BINARY) {
        return AttachmentContent::Data;
    }
    if (content->type != PT_OBJECT) {
        return AttachmentContent::None;
    }
    // An OLE object is kept as an object too, but its content is the object's own storage.
    const pst::Entry* method = record.Find(kAttachMethod);
    uint32_t how = 0;
    if (method != nullptr && method->type == PT_LONG && method->subnode == 0 && method->size == 4) {
        how = pst::LittleEndian<uint32_t>(record.Bytes(*method), 0, 4);
    }
    return how == kAttachOle ? AttachmentContent::Data : AttachmentContent::Message;
}

HRESULT LocateAttachmentData(const StoreFile& file, const pst::Item& attachment,
                             AttachmentData& data) {
    if (ContentOf(attachment) != AttachmentContent::Data) {
        return MAPI_E_NOT_FOUND;
    }
    const pst::Record& record = attachment.records[0];
    pst::Entry content = *record.Find(PROP_ID(PR_ATTACH_DATA_BIN));
    if (content.type == PT_OBJECT) {
        // The value names the subnode the object is kept in.
        const std::string_view reference = record.Bytes(content);
        if (content.subnode != 0 || reference.size() < 4) {
            return MAPI_E_CORRUPT_DATA;
        }
        content.subnode = pst::LittleEndian<uint32_t>(reference, 0, 4);
    }
    data.inPlace = content.subnode == 0;
    if (data.inPlace) {
        data.bytes.assign(record.Bytes(content));
        return S_OK;
    }
    return FromStatus(file.reader().ValueLayout(attachment, content, data.layout));
}

HRESULT AttachmentData::Read(const StoreFile& file, uint64_t offset, uint8_t* buffer, size_t count,
                             size_t& got) {
    got = 0;
    while (got < count && offset < size()) {
        if (inPlace) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(count - got, size() - offset));
            std::memcpy(buffer + got, bytes.data() + offset, n);
            got += n;
            offset += n;
            continue;
        }
        const auto found = std::upper_bound(layout.ends.begin(), layout.ends.end(), offset);
        const auto index = static_cast<size_t>(found - layout.ends.begin());
        if (index != blockIndex_) {
            blockIndex_ = SIZE_MAX;
            const HRESULT hr = FromStatus(file.reader().ReadBlock(layout.blocks[index], block_));
            const uint64_t start = index == 0 ? 0 : layout.ends[index - 1];
            // A block shorter than the block tree says is damage.
            if (FAILED(hr) || block_.size() != layout.ends[index] - start) {
                return got > 0 ? S_OK : MAPI_E_CORRUPT_DATA;
            }
            blockIndex_ = index;
        }
        const uint64_t start = index == 0 ? 0 : layout.ends[index - 1];
        const auto within = static_cast<size_t>(offset - start);
        const size_t n = std::min(count - got, block_.size() - within);
        std::memcpy(buffer + got, block_.data() + within, n);
        got += n;
        offset += n;
    }
    return S_OK;
}

}  // namespace mailsift::mapi_provider
