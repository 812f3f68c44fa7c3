#include "mapi-provider/attachment_stream.h"

#include <algorithm>

#include "mapi/com_object.h"
#include "mapi/stream_seek.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

class AttachmentStream final : public ComObject<IStream> {
  public:
    AttachmentStream(NodePtr attachment, uint64_t size)
        : attachment_(std::move(attachment)), size_(size) {}

    HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
        if (read != nullptr) {
            *read = 0;
        }
        if (buffer == nullptr && count > 0) {
            return MAPI_E_INVALID_PARAMETER;
        }
        ULONG done = 0;
        auto* bytes = static_cast<uint8_t*>(buffer);
        bool damaged = false;
        while (done < count && position_ < size_ && !damaged) {
            PffError error;
            // Each read starts from this stream's own position, so streams on one attachment
            // do not disturb each other.
            if (libpff_attachment_data_seek_offset(attachment_->item.get(),
                                                   static_cast<off64_t>(position_), SEEK_SET,
                                                   error.get()) < 0) {
                damaged = true;
                break;
            }
            const size_t want =
                static_cast<size_t>(std::min<uint64_t>(count - done, size_ - position_));
            const ssize_t got = libpff_attachment_data_read_buffer(attachment_->item.get(),
                                                                   bytes + done, want, error.get());
            // Ending before the declared size is damage as much as an error is.
            damaged = got <= 0;
            if (got > 0) {
                done += static_cast<ULONG>(got);
                position_ += static_cast<uint64_t>(got);
            }
        }
        if (read != nullptr) {
            *read = done;
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
    uint64_t size_;
    uint64_t position_ = 0;
};

}  // namespace

IStream* NewAttachmentStream(NodePtr attachment, uint64_t size) {
    return new AttachmentStream(std::move(attachment), size);
}

}  // namespace mailsift::mapi_provider
