#include "mapi-provider/attachment_stream.h"

#include "mapi/com_object.h"
#include "mapi/stream_seek.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

class AttachmentStream final : public ComObject<IStream> {
  public:
    AttachmentStream(NodePtr attachment, AttachmentData data)
        : attachment_(std::move(attachment)), data_(std::move(data)), size_(data_.size()) {}

    HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
        if (read != nullptr) {
            *read = 0;
        }
        if (buffer == nullptr && count > 0) {
            return MAPI_E_INVALID_PARAMETER;
        }
        size_t done = 0;
        // Each read starts from this stream's own position, so streams on one attachment do
        // not disturb each other.
        const HRESULT hr = data_.Read(*attachment_->store->file, position_,
                                      static_cast<uint8_t*>(buffer), count, done);
        position_ += done;
        // Ending before the declared size is damage as much as an error is.
        const bool damaged = FAILED(hr) || (done < count && position_ < size_);
        if (read != nullptr) {
            *read = static_cast<ULONG>(done);
        }
        // What was read is handed out first; the next read reports the damage.
        return damaged && done == 0 ? MAPI_E_CORRUPT_DATA : S_OK;
    }

    HRESULT Write(const void*, ULONG, ULONG* written) override {
        if (written != nullptr) {
            *written = 0;
        }
        return STG_E_ACCESSDENIED;
    }

    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        return SeekStream(position_, size_, move, origin, newPosition);
    }

  private:
    bool Supports(REFIID riid) const override { return riid == IID_IStream; }

    NodePtr attachment_;
    AttachmentData data_;
    uint64_t size_;
    uint64_t position_ = 0;
};

}  // namespace

IStream* NewAttachmentStream(NodePtr attachment, AttachmentData data) {
    return new AttachmentStream(std::move(attachment), std::move(data));
}

}  // namespace mailsift::mapi_provider
