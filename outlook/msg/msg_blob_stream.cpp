#include "outlook/msg/msg_blob_stream.h"

#include <algorithm>
#include <cstdint>

#include "mapi/com_object.h"
#include "mapi/guarded.h"
#include "mapi/stream_seek.h"
#include "outlook/msg/msg_property.h"

namespace mailsift {

using namespace mapi;

namespace {

class Stream final : public ComObject<IStream> {
  public:
    Stream(IUnknown* owner, MsgBlobOwner* blobs, ULONG id, std::shared_ptr<MsgBlob> blob,
           bool writable)
        : owner_(owner), blobs_(blobs), id_(id), blob_(std::move(blob)), writable_(writable) {
        owner_->AddRef();
    }
    ~Stream() override { owner_->Release(); }

    HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
        if (read != nullptr) *read = 0;
        if (buffer == nullptr && count > 0) return MAPI_E_INVALID_PARAMETER;
        const uint64_t left = position_ < blob_->size() ? blob_->size() - position_ : 0;
        const auto done = static_cast<ULONG>(std::min<uint64_t>(count, left));
        // At or past the end a read gives nothing, and that is no failure.
        if (done == 0) return S_OK;
        if (!blob_->ReadAt(position_, buffer, done)) return MAPI_E_CALL_FAILED;
        position_ += done;
        if (read != nullptr) *read = done;
        return S_OK;
    }

    HRESULT Write(const void* data, ULONG count, ULONG* written) override {
        if (written != nullptr) *written = 0;
        if (!writable_) return STG_E_ACCESSDENIED;
        if (data == nullptr && count > 0) return MAPI_E_INVALID_PARAMETER;
        if (position_ + count > kMsgMaxValueSize) return MAPI_E_NOT_ENOUGH_MEMORY;
        return Guarded([&] {
            if (blob_->frozen()) {
                std::shared_ptr<MsgBlob> copy = blob_->Clone();
                if (copy == nullptr) return MAPI_E_CALL_FAILED;
                blobs_->ReplaceBlob(id_, blob_, copy);
                blob_ = std::move(copy);
            }
            if (!blob_->WriteAt(position_, data, count)) return MAPI_E_CALL_FAILED;
            position_ += count;
            if (written != nullptr) *written = count;
            return S_OK;
        });
    }

    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        return SeekStream(position_, blob_->size(), move, origin, newPosition);
    }

  private:
    bool Supports(REFIID riid) const override { return riid == IID_IStream; }

    IUnknown* owner_;
    MsgBlobOwner* blobs_;
    ULONG id_;
    std::shared_ptr<MsgBlob> blob_;
    bool writable_;
    uint64_t position_ = 0;
};

}  // namespace

IStream* NewMsgBlobStream(IUnknown* owner, MsgBlobOwner* blobs, ULONG id,
                          std::shared_ptr<MsgBlob> blob, bool writable) {
    return new Stream(owner, blobs, id, std::move(blob), writable);
}

}  // namespace mailsift
