#include "outlook/msg/msg_message.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string_view>

#include "mapi/com_object.h"
#include "mapi/guarded.h"
#include "mapi/mapi_tags.h"
#include "platform/positioned_io.h"

namespace mailsift {

using namespace mapi;

static_assert(std::endian::native == std::endian::little,
              "values are kept in the file's little-endian order");

// ---------------------------------------------------------------------------------------
// Blobs

namespace {

constexpr size_t kCopyPiece = 64 * 1024;

// An unnamed file in the temporary folder: it disappears with its last descriptor.
int OpenUnnamedTempFile() {
    std::error_code error;
    std::string folder = std::filesystem::temp_directory_path(error).string();
    if (error || folder.empty()) folder = "/tmp";
#ifdef O_TMPFILE
    const int unnamed = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (unnamed >= 0) return unnamed;
#endif
    std::string pattern = folder + "/mailsift-msg-XXXXXX";
    const int named = mkstemp(pattern.data());
    if (named >= 0) {
        unlink(pattern.c_str());
        fcntl(named, F_SETFD, FD_CLOEXEC);
    }
    return named;
}

}  // namespace

MsgBlob::~MsgBlob() {
    if (file_ >= 0) close(file_);
}

bool MsgBlob::MoveToFile() {
    const int file = OpenUnnamedTempFile();
    if (file < 0) return false;
    if (!WriteAllAt(file, memory_.data(), memory_.size(), 0)) {
        close(file);
        return false;
    }
    file_ = file;
    std::vector<uint8_t>().swap(memory_);
    return true;
}

bool MsgBlob::WriteAt(uint64_t offset, const void* data, size_t count) {
    if (count == 0) return true;
    const uint64_t end = offset + count;
    if (end < offset) return false;
    if (inMemory() && end > kMsgBlobMemoryLimit && !MoveToFile()) return false;
    if (inMemory()) {
        if (end > memory_.size()) memory_.resize(static_cast<size_t>(end));
        std::memcpy(memory_.data() + offset, data, count);
    } else if (!WriteAllAt(file_, static_cast<const uint8_t*>(data), count, offset)) {
        return false;
    }
    size_ = std::max(size_, end);
    return true;
}

bool MsgBlob::ReadAt(uint64_t offset, void* data, size_t count) const {
    if (offset > size_ || count > size_ - offset) return false;
    if (count == 0) return true;
    if (inMemory()) {
        std::memcpy(data, memory_.data() + offset, count);
        return true;
    }
    return ReadAllAt(file_, static_cast<uint8_t*>(data), count, offset);
}

std::shared_ptr<MsgBlob> MsgBlob::Clone() const {
    auto copy = std::make_shared<MsgBlob>();
    if (inMemory()) {
        copy->memory_ = memory_;
        copy->size_ = size_;
        return copy;
    }
    std::vector<uint8_t> piece(kCopyPiece);
    for (uint64_t done = 0; done < size_;) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(kCopyPiece, size_ - done));
        if (!ReadAt(done, piece.data(), count) || !copy->WriteAt(done, piece.data(), count)) {
            return nullptr;
        }
        done += count;
    }
    return copy;
}

// ---------------------------------------------------------------------------------------
// Converting between MAPI values and stored properties

size_t MsgFixedValueSize(ULONG type) {
    switch (type) {
        case PT_I2:
            return 2;
        case PT_LONG:
        case PT_R4:
            return 4;
        case PT_BOOLEAN:
            return 2;
        case PT_DOUBLE:
        case PT_CURRENCY:
        case PT_APPTIME:
        case PT_I8:
        case PT_SYSTIME:
            return 8;
        default:
            return 0;
    }
}

namespace {

// The size of one element of a fixed-size array type, 0 for every other type.
size_t ArrayElementSize(ULONG type) {
    if ((type & MV_FLAG) == 0) return 0;
    const ULONG single = type & ~MV_FLAG;
    if (single == PT_CLSID) return sizeof(GUID);
    return single == PT_BOOLEAN ? 0 : MsgFixedValueSize(single);
}

}  // namespace

bool MsgIsVariableArray(ULONG type) {
    return type == PT_MV_STRING8 || type == PT_MV_UNICODE || type == PT_MV_BINARY;
}

namespace {

std::shared_ptr<MsgBlob> BlobOf(const void* data, uint64_t size) {
    auto blob = std::make_shared<MsgBlob>();
    if (size > 0 && !blob->WriteAt(0, data, static_cast<size_t>(size))) return nullptr;
    return blob;
}

// Bytes of a string without its terminator, counted in bytes; false past the file's limit.
bool StringBytes(ULONG type, const void* text, std::string_view& bytes) {
    if (type == PT_UNICODE) {
        const auto* wide = static_cast<const char16_t*>(text);
        const size_t length = std::char_traits<char16_t>::length(wide);
        bytes = {static_cast<const char*>(text), length * 2};
    } else {
        bytes = {static_cast<const char*>(text), std::strlen(static_cast<const char*>(text))};
    }
    return bytes.size() + 2 <= kMsgMaxValueSize;
}

// Stores one value; S_FALSE for a value that is not kept (an error value), a failure for
// one that cannot be.
HRESULT ToProperty(const SPropValue& in, MsgProperty& out) {
    const ULONG type = PROP_TYPE(in.ulPropTag);
    out = MsgProperty{};
    out.tag = in.ulPropTag;
    if (type == PT_ERROR) return S_FALSE;
    const PV& v = in.Value;
    switch (type) {
        case PT_I2:
            out.fixed = static_cast<uint16_t>(v.i);
            return S_OK;
        case PT_LONG:
            out.fixed = v.ul;
            return S_OK;
        case PT_R4:
            out.fixed = std::bit_cast<uint32_t>(v.flt);
            return S_OK;
        case PT_DOUBLE:
        case PT_APPTIME:
            out.fixed = std::bit_cast<uint64_t>(v.dbl);
            return S_OK;
        case PT_CURRENCY:
        case PT_I8:
            out.fixed = static_cast<uint64_t>(v.li.QuadPart);
            return S_OK;
        case PT_SYSTIME:
            out.fixed = (static_cast<uint64_t>(v.ft.dwHighDateTime) << 32) | v.ft.dwLowDateTime;
            return S_OK;
        case PT_BOOLEAN:
            out.fixed = v.b != 0 ? 1 : 0;
            return S_OK;
        case PT_STRING8:
        case PT_UNICODE: {
            const void* text = type == PT_UNICODE ? static_cast<const void*>(v.lpszW)
                                                  : static_cast<const void*>(v.lpszA);
            std::string_view bytes;
            if (text == nullptr) return MAPI_E_INVALID_PARAMETER;
            if (!StringBytes(type, text, bytes)) return MAPI_E_NOT_ENOUGH_MEMORY;
            out.blob = BlobOf(bytes.data(), bytes.size());
            return out.blob != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
        }
        case PT_BINARY:
            if (v.bin.lpb == nullptr && v.bin.cb > 0) return MAPI_E_INVALID_PARAMETER;
            out.blob = BlobOf(v.bin.lpb, v.bin.cb);
            return out.blob != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
        case PT_CLSID:
            if (v.lpguid == nullptr) return MAPI_E_INVALID_PARAMETER;
            out.blob = BlobOf(v.lpguid, sizeof(GUID));
            return out.blob != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
        default:
            break;
    }
    // Every array form shares the count-and-pointer layout of SBinaryArray's first fields.
    const ULONG count = v.MVl.cValues;
    if (const size_t element = ArrayElementSize(type); element > 0) {
        const void* items = v.MVl.lpl;
        if (count > 0 && items == nullptr) return MAPI_E_INVALID_PARAMETER;
        if (count > kMsgMaxValueSize / element) return MAPI_E_INVALID_PARAMETER;
        out.blob = BlobOf(items, static_cast<uint64_t>(count) * element);
        return out.blob != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
    }
    if (!MsgIsVariableArray(type)) return MAPI_E_INVALID_TYPE;
    // Each value is a stream of its own, and the compound file's storages grow slower with
    // every stream; no real property holds this many.
    if (count > kMsgMaxArrayStreams || (count > 0 && v.MVbin.lpbin == nullptr)) {
        return MAPI_E_INVALID_PARAMETER;
    }
    out.values.reserve(count);
    for (ULONG i = 0; i < count; ++i) {
        if (type == PT_MV_BINARY) {
            const SBinary& item = v.MVbin.lpbin[i];
            if (item.lpb == nullptr && item.cb > 0) return MAPI_E_INVALID_PARAMETER;
            out.values.emplace_back(reinterpret_cast<const char*>(item.lpb), item.cb);
            continue;
        }
        const void* text = type == PT_MV_UNICODE ? static_cast<const void*>(v.MVszW.lppszW[i])
                                                 : static_cast<const void*>(v.MVszA.lppszA[i]);
        std::string_view bytes;
        if (text == nullptr) return MAPI_E_INVALID_PARAMETER;
        if (!StringBytes(type & ~MV_FLAG, text, bytes)) return MAPI_E_NOT_ENOUGH_MEMORY;
        out.values.emplace_back(bytes);
    }
    return S_OK;
}

// Allocation linked to the root buffer of a GetProps answer.
class LinkedBuffers {
  public:
    LinkedBuffers(const MsgBuffers& buffers, void* root) : buffers_(buffers), root_(root) {}
    void* Get(uint64_t size) {
        if (size >= kMsgMaxValueSize) return nullptr;
        LPVOID block = nullptr;
        const auto wanted = static_cast<ULONG>(std::max<uint64_t>(size, 1));
        return buffers_.allocateMore(wanted, root_, &block) == S_OK ? block : nullptr;
    }

  private:
    const MsgBuffers& buffers_;
    void* root_;
};

// Gives `property` back as `out`, copying its bytes into the answer's buffers. Values kept
// in a temporary file are too large to hand out whole: they are read through a stream.
HRESULT FromProperty(const MsgProperty& property, SPropValue& out, LinkedBuffers& buffers) {
    const ULONG type = PROP_TYPE(property.tag);
    out.ulPropTag = property.tag;
    PV& v = out.Value;
    if (MsgFixedValueSize(type) > 0) {
        switch (type) {
            case PT_I2:
                v.i = static_cast<short>(static_cast<uint16_t>(property.fixed));
                break;
            case PT_LONG:
                v.ul = static_cast<ULONG>(property.fixed);
                break;
            case PT_R4:
                v.flt = std::bit_cast<float>(static_cast<uint32_t>(property.fixed));
                break;
            case PT_BOOLEAN:
                v.b = static_cast<unsigned short>(property.fixed);
                break;
            case PT_SYSTIME:
                v.ft.dwLowDateTime = static_cast<DWORD>(property.fixed);
                v.ft.dwHighDateTime = static_cast<DWORD>(property.fixed >> 32);
                break;
            case PT_DOUBLE:
            case PT_APPTIME:
                v.dbl = std::bit_cast<double>(property.fixed);
                break;
            default:
                v.li.QuadPart = static_cast<LONGLONG>(property.fixed);
                break;
        }
        return S_OK;
    }
    if (MsgIsVariableArray(type)) {
        const auto count = static_cast<ULONG>(property.values.size());
        if (type == PT_MV_BINARY) {
            auto* items = static_cast<SBinary*>(buffers.Get(uint64_t{count} * sizeof(SBinary)));
            if (items == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
            for (ULONG i = 0; i < count; ++i) {
                const std::string& item = property.values[i];
                items[i].cb = static_cast<ULONG>(item.size());
                items[i].lpb = static_cast<BYTE*>(buffers.Get(item.size()));
                if (items[i].lpb == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
                std::memcpy(items[i].lpb, item.data(), item.size());
            }
            v.MVbin = {count, items};
            return S_OK;
        }
        auto* items = static_cast<void**>(buffers.Get(uint64_t{count} * sizeof(void*)));
        if (items == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
        const size_t terminator = type == PT_MV_UNICODE ? 2 : 1;
        for (ULONG i = 0; i < count; ++i) {
            const std::string& item = property.values[i];
            items[i] = buffers.Get(item.size() + terminator);
            if (items[i] == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
            std::memcpy(items[i], item.data(), item.size());
            std::memset(static_cast<char*>(items[i]) + item.size(), 0, terminator);
        }
        v.MVbin.cValues = count;
        v.MVszW.lppszW = reinterpret_cast<LPWSTR*>(items);
        return S_OK;
    }
    const MsgBlob* blob = property.blob.get();
    if (blob == nullptr) return MAPI_E_NOT_FOUND;
    if (!blob->inMemory()) return MAPI_E_NOT_ENOUGH_MEMORY;
    const std::vector<uint8_t>& bytes = blob->memory();
    const size_t terminator = type == PT_UNICODE ? 2 : (type == PT_STRING8 ? 1 : 0);
    auto* copy = static_cast<BYTE*>(buffers.Get(bytes.size() + terminator));
    if (copy == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
    std::copy(bytes.begin(), bytes.end(), copy);
    std::memset(copy + bytes.size(), 0, terminator);
    switch (type) {
        case PT_UNICODE:
            v.lpszW = reinterpret_cast<LPWSTR>(copy);
            return S_OK;
        case PT_STRING8:
            v.lpszA = reinterpret_cast<LPSTR>(copy);
            return S_OK;
        case PT_BINARY:
            v.bin = {static_cast<ULONG>(bytes.size()), copy};
            return S_OK;
        case PT_CLSID:
            v.lpguid = reinterpret_cast<LPGUID>(copy);
            return S_OK;
        default:
            break;
    }
    // A fixed-size array: the bytes are the elements in order.
    v.MVbin.cValues = static_cast<ULONG>(bytes.size() / ArrayElementSize(type));
    v.MVbin.lpbin = reinterpret_cast<SBinary*>(copy);
    return S_OK;
}

// A copy of `bag` for a saved state; its blobs are frozen, shared with `bag`.
MsgPropertyBag Snapshot(const MsgPropertyBag& bag) {
    for (const auto& [id, property] : bag) {
        if (property.blob != nullptr) property.blob->Freeze();
    }
    return bag;
}

// ---------------------------------------------------------------------------------------
// Objects

// Whoever holds the properties a stream writes to.
class BlobOwner {
  public:
    // Puts `replacement` in place of `current` when the property still holds it.
    virtual void ReplaceBlob(ULONG id, const std::shared_ptr<MsgBlob>& current,
                             const std::shared_ptr<MsgBlob>& replacement) = 0;

  protected:
    ~BlobOwner() = default;
};

class Stream final : public ComObject<IStream> {
  public:
    Stream(IUnknown* owner, BlobOwner* blobs, ULONG id, std::shared_ptr<MsgBlob> blob,
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
        int64_t base = 0;
        if (origin == STREAM_SEEK_CUR) {
            base = static_cast<int64_t>(position_);
        } else if (origin == STREAM_SEEK_END) {
            base = static_cast<int64_t>(blob_->size());
        } else if (origin != STREAM_SEEK_SET) {
            return STG_E_INVALIDFUNCTION;
        }
        if ((move.QuadPart > 0 && base > INT64_MAX - move.QuadPart) || base + move.QuadPart < 0) {
            return STG_E_INVALIDFUNCTION;
        }
        position_ = static_cast<uint64_t>(base + move.QuadPart);
        if (newPosition != nullptr) newPosition->QuadPart = position_;
        return S_OK;
    }

  private:
    bool Supports(REFIID riid) const override { return riid == IID_IStream; }

    IUnknown* owner_;
    BlobOwner* blobs_;
    ULONG id_;
    std::shared_ptr<MsgBlob> blob_;
    bool writable_;
    uint64_t position_ = 0;
};

// What messages and attachments share: properties set, read back and opened as streams.
template <class Iface>
class PropObject : public ComObject<Iface>, public BlobOwner {
  public:
    explicit PropObject(const MsgBuffers& buffers) : buffers_(buffers) {}

    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        if (count == nullptr || values == nullptr) return MAPI_E_INVALID_PARAMETER;
        *count = 0;
        *values = nullptr;
        return Guarded([&] {
            std::vector<ULONG> wanted;
            if (tags != nullptr) {
                wanted.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
            } else {
                for (const auto& [id, property] : props_) wanted.push_back(property.tag);
            }
            LPVOID root = nullptr;
            const uint64_t size = std::max<uint64_t>(wanted.size(), 1) * sizeof(SPropValue);
            if (size >= kMsgMaxValueSize ||
                buffers_.allocate(static_cast<ULONG>(size), &root) != S_OK) {
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            auto* array = static_cast<LPSPropValue>(root);
            LinkedBuffers linked(buffers_, root);
            bool missing = false;
            for (size_t i = 0; i < wanted.size(); ++i) {
                array[i] = SPropValue{};
                HRESULT hr = MAPI_E_NOT_FOUND;
                const auto found = props_.find(PROP_ID(wanted[i]));
                if (found != props_.end() &&
                    (PROP_TYPE(wanted[i]) == PT_UNSPECIFIED || found->second.tag == wanted[i])) {
                    hr = FromProperty(found->second, array[i], linked);
                }
                if (FAILED(hr)) {
                    array[i].ulPropTag = CHANGE_PROP_TYPE(wanted[i], PT_ERROR);
                    array[i].Value.err = hr;
                    missing = true;
                }
            }
            *count = static_cast<ULONG>(wanted.size());
            *values = array;
            return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
        });
    }

    HRESULT GetPropList(ULONG, LPSPropTagArray* result) override {
        if (result == nullptr) return MAPI_E_INVALID_PARAMETER;
        *result = nullptr;
        LPVOID root = nullptr;
        const auto count = static_cast<ULONG>(props_.size());
        if (buffers_.allocate(static_cast<ULONG>(CbNewSPropTagArray(count)), &root) != S_OK) {
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        auto* array = static_cast<LPSPropTagArray>(root);
        array->cValues = 0;
        for (const auto& [id, property] : props_) {
            array->aulPropTag[array->cValues++] = property.tag;
        }
        *result = array;
        return S_OK;
    }

    HRESULT SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override {
        if (problems != nullptr) *problems = nullptr;
        if (count > 0 && values == nullptr) return MAPI_E_INVALID_PARAMETER;
        return Guarded([&] {
            std::vector<SPropProblem> found;
            for (ULONG i = 0; i < count; ++i) {
                const HRESULT hr = SetOne(values[i]);
                if (FAILED(hr)) found.push_back({i, values[i].ulPropTag, hr});
            }
            if (!found.empty() && problems != nullptr) *problems = ProblemArray(found);
            return S_OK;
        });
    }

    HRESULT OpenProperty(ULONG tag, LPCIID riid, ULONG, ULONG flags, LPUNKNOWN* result) override {
        if (result == nullptr) return MAPI_E_INVALID_PARAMETER;
        *result = nullptr;
        return Guarded([&] { return Open(tag, riid, flags, result); });
    }

    HRESULT CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                   LPSPropProblemArray* problems) override {
        if (problems != nullptr) *problems = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    void ReplaceBlob(ULONG id, const std::shared_ptr<MsgBlob>& current,
                     const std::shared_ptr<MsgBlob>& replacement) override {
        const auto found = props_.find(id);
        if (found != props_.end() && found->second.blob == current) {
            found->second.blob = replacement;
        }
    }

  protected:
    // Properties the object sets itself and the caller cannot.
    virtual bool IsComputed(ULONG) const { return false; }
    // Called before the property `id` takes a value of its own.
    virtual void Replacing(ULONG) {}

    virtual HRESULT Open(ULONG tag, LPCIID riid, ULONG flags, LPUNKNOWN* result) {
        if (PROP_TYPE(tag) != PT_BINARY) return MAPI_E_NO_SUPPORT;
        if (riid == nullptr || !(*riid == IID_IStream)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
        const ULONG id = PROP_ID(tag);
        std::shared_ptr<MsgBlob> blob;
        if ((flags & MAPI_CREATE) != 0) {
            if (IsComputed(id)) return MAPI_E_NO_ACCESS;
            Replacing(id);
            blob = std::make_shared<MsgBlob>();
            MsgProperty& property = props_[id];
            property = MsgProperty{};
            property.tag = tag;
            property.blob = blob;
        } else {
            const auto found = props_.find(id);
            if (found == props_.end() || found->second.tag != tag) return MAPI_E_NOT_FOUND;
            blob = found->second.blob;
        }
        *result =
            new Stream(this, this, id, std::move(blob), (flags & (MAPI_CREATE | MAPI_MODIFY)) != 0);
        return S_OK;
    }

    HRESULT SetOne(const SPropValue& value) {
        const ULONG id = PROP_ID(value.ulPropTag);
        if (id == 0 || id >= MIN_NAMED_PROP_ID) return MAPI_E_INVALID_PARAMETER;
        if (IsComputed(id)) return MAPI_E_NO_ACCESS;
        MsgProperty property;
        const HRESULT hr = ToProperty(value, property);
        if (hr != S_OK) return hr;
        Replacing(id);
        props_[id] = std::move(property);
        return S_OK;
    }

    LPSPropProblemArray ProblemArray(const std::vector<SPropProblem>& found) {
        LPVOID root = nullptr;
        const size_t size =
            offsetof(SPropProblemArray, aProblem) + sizeof(SPropProblem) * found.size();
        if (size >= kMsgMaxValueSize ||
            buffers_.allocate(static_cast<ULONG>(size), &root) != S_OK) {
            return nullptr;
        }
        auto* array = static_cast<LPSPropProblemArray>(root);
        array->cProblem = static_cast<ULONG>(found.size());
        std::copy(found.begin(), found.end(), array->aProblem);
        return array;
    }

    void SetFixed(ULONG tag, uint64_t value) {
        MsgProperty& property = props_[PROP_ID(tag)];
        property = MsgProperty{};
        property.tag = tag;
        property.fixed = value;
    }

    MsgBuffers buffers_;
    MsgPropertyBag props_;
};

class Message;

class Attach final : public PropObject<IAttach> {
  public:
    // `parent` is referenced for as long as the attachment lives.
    Attach(Message* parent, ULONG number, unsigned depth, const MsgBuffers& buffers);
    Attach(Message* parent, ULONG number, unsigned depth, const MsgBuffers& buffers,
           const MsgSavedAttachment& saved);
    ~Attach() override;

    HRESULT SaveChanges(ULONG flags) override;

  protected:
    bool IsComputed(ULONG id) const override { return id == PROP_ID(PR_ATTACH_NUM); }
    // A data value and an embedded message share the identifier: the newer one wins.
    void Replacing(ULONG id) override;
    HRESULT Open(ULONG tag, LPCIID riid, ULONG flags, LPUNKNOWN* result) override;

  private:
    bool Supports(REFIID riid) const override {
        return riid == IID_IMAPIProp || riid == IID_IAttachment;
    }

    Message* parent_;
    ULONG number_;
    unsigned depth_;
    Message* embedded_ = nullptr;
};

class Message final : public PropObject<IMessage> {
  public:
    Message(const MsgBuffers& buffers, unsigned depth)
        : PropObject(buffers), depth_(depth), saved_(std::make_shared<MsgSavedMessage>()) {}

    Message(const MsgBuffers& buffers, unsigned depth,
            const std::shared_ptr<const MsgSavedMessage>& saved)
        : PropObject(buffers), depth_(depth), saved_(saved) {
        props_ = saved->props;
        recipients_ = saved->recipients;
        for (const MsgPropertyBag& recipient : recipients_) {
            const auto rowId = recipient.find(PROP_ID(PR_ROWID));
            if (rowId != recipient.end() && rowId->second.fixed >= nextRowId_) {
                nextRowId_ = static_cast<ULONG>(rowId->second.fixed + 1);
            }
        }
        for (const auto& attachment : saved->attachments) {
            slots_[nextAttachNum_++] = attachment;
        }
    }

    std::shared_ptr<const MsgSavedMessage> saved() const { return saved_; }

    HRESULT SaveChanges(ULONG) override {
        return Guarded([&] {
            auto saved = std::make_shared<MsgSavedMessage>();
            saved->props = Snapshot(props_);
            for (const MsgPropertyBag& recipient : recipients_) {
                saved->recipients.push_back(Snapshot(recipient));
            }
            for (const auto& [number, attachment] : slots_) {
                if (attachment != nullptr) saved->attachments.push_back(attachment);
            }
            saved_ = std::move(saved);
            return S_OK;
        });
    }

    HRESULT GetAttachmentTable(ULONG, LPMAPITABLE* table) override {
        if (table != nullptr) *table = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    HRESULT GetRecipientTable(ULONG, LPMAPITABLE* table) override {
        if (table != nullptr) *table = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    HRESULT OpenAttach(ULONG number, LPCIID riid, ULONG, LPATTACH* result) override {
        if (result == nullptr) return MAPI_E_INVALID_PARAMETER;
        *result = nullptr;
        return Guarded([&] {
            const auto found = slots_.find(number);
            if (found == slots_.end()) return MAPI_E_NOT_FOUND;
            Attach* attach = found->second != nullptr
                                 ? new Attach(this, number, depth_, buffers_, *found->second)
                                 : new Attach(this, number, depth_, buffers_);
            return HandOut<IAttach>(attach, riid, result);
        });
    }

    HRESULT CreateAttach(LPCIID riid, ULONG, ULONG* number, LPATTACH* result) override {
        if (result == nullptr) return MAPI_E_INVALID_PARAMETER;
        *result = nullptr;
        if (slots_.size() >= kMsgMaxRows || nextAttachNum_ == 0xFFFFFFFFu) {
            return MAPI_E_TABLE_TOO_BIG;
        }
        return Guarded([&] {
            const ULONG assigned = nextAttachNum_;
            auto* attach = new Attach(this, assigned, depth_, buffers_);
            slots_[assigned] = nullptr;
            ++nextAttachNum_;
            if (number != nullptr) *number = assigned;
            return HandOut<IAttach>(attach, riid, result);
        });
    }

    HRESULT DeleteAttach(ULONG number, ULONG_PTR, LPMAPIPROGRESS, ULONG) override {
        return slots_.erase(number) > 0 ? S_OK : MAPI_E_NOT_FOUND;
    }

    HRESULT ModifyRecipients(ULONG flags, LPADRLIST list) override {
        if (list == nullptr) return MAPI_E_INVALID_PARAMETER;
        return Guarded([&] { return Modify(flags, *list); });
    }

    // Keeps what an attachment saved, unless the attachment was deleted meanwhile.
    HRESULT StoreAttachment(ULONG number, std::shared_ptr<const MsgSavedAttachment> saved) {
        const auto found = slots_.find(number);
        if (found == slots_.end()) return MAPI_E_INVALID_OBJECT;
        found->second = std::move(saved);
        return S_OK;
    }

  private:
    bool Supports(REFIID riid) const override {
        return riid == IID_IMAPIProp || riid == IID_IMessage;
    }

    // A recipient's properties as given; values that cannot be kept are left out, as
    // SetProps leaves them out.
    static MsgPropertyBag RecipientBag(const ADRENTRY& entry) {
        MsgPropertyBag bag;
        for (ULONG i = 0; entry.lpProps != nullptr && i < entry.cValues; ++i) {
            const ULONG id = PROP_ID(entry.lpProps[i].ulPropTag);
            MsgProperty property;
            if (id != 0 && id < MIN_NAMED_PROP_ID && id != PROP_ID(PR_ROWID) &&
                ToProperty(entry.lpProps[i], property) == S_OK) {
                bag[id] = std::move(property);
            }
        }
        return bag;
    }

    static bool RowIdOf(const ADRENTRY& entry, ULONG& rowId) {
        for (ULONG i = 0; entry.lpProps != nullptr && i < entry.cValues; ++i) {
            if (entry.lpProps[i].ulPropTag == PR_ROWID) {
                rowId = entry.lpProps[i].Value.ul;
                return true;
            }
        }
        return false;
    }

    std::vector<MsgPropertyBag>::iterator FindRow(ULONG rowId) {
        return std::find_if(recipients_.begin(), recipients_.end(), [rowId](const auto& bag) {
            const auto found = bag.find(PROP_ID(PR_ROWID));
            return found != bag.end() && found->second.fixed == rowId;
        });
    }

    HRESULT Modify(ULONG flags, const ADRLIST& list) {
        const bool adding = flags == 0 || (flags & MODRECIP_ADD) != 0;
        if (adding) {
            const size_t kept = flags == 0 ? 0 : recipients_.size();
            // Past the limit the first recipients are kept rather than none at all.
            const auto taken = static_cast<ULONG>(std::min<size_t>(list.cRows, kMsgMaxRows - kept));
            if (flags == 0) recipients_.clear();
            for (ULONG i = 0; i < taken; ++i) {
                MsgPropertyBag bag = RecipientBag(list.aRow[i]);
                MsgProperty& rowId = bag[PROP_ID(PR_ROWID)];
                rowId.tag = PR_ROWID;
                rowId.fixed = nextRowId_++;
                recipients_.push_back(std::move(bag));
            }
            return taken < list.cRows ? MAPI_W_ERRORS_RETURNED : S_OK;
        }
        if ((flags & (MODRECIP_MODIFY | MODRECIP_REMOVE)) == 0) return MAPI_E_INVALID_PARAMETER;
        for (ULONG i = 0; i < list.cRows; ++i) {
            ULONG rowId = 0;
            if (!RowIdOf(list.aRow[i], rowId)) return MAPI_E_INVALID_PARAMETER;
            const auto row = FindRow(rowId);
            if (row == recipients_.end()) return MAPI_E_NOT_FOUND;
            if ((flags & MODRECIP_REMOVE) != 0) {
                recipients_.erase(row);
                continue;
            }
            MsgPropertyBag bag = RecipientBag(list.aRow[i]);
            bag[PROP_ID(PR_ROWID)] = (*row)[PROP_ID(PR_ROWID)];
            *row = std::move(bag);
        }
        return S_OK;
    }

    unsigned depth_;
    std::shared_ptr<const MsgSavedMessage> saved_;
    std::vector<MsgPropertyBag> recipients_;
    ULONG nextRowId_ = 0;
    // Attachments by number; null until the attachment saves for the first time.
    std::map<ULONG, std::shared_ptr<const MsgSavedAttachment>> slots_;
    ULONG nextAttachNum_ = 0;
};

Attach::Attach(Message* parent, ULONG number, unsigned depth, const MsgBuffers& buffers)
    : PropObject(buffers), parent_(parent), number_(number), depth_(depth) {
    parent_->AddRef();
    SetFixed(PR_ATTACH_NUM, number);
}

Attach::Attach(Message* parent, ULONG number, unsigned depth, const MsgBuffers& buffers,
               const MsgSavedAttachment& saved)
    : Attach(parent, number, depth, buffers) {
    props_ = saved.props;
    SetFixed(PR_ATTACH_NUM, number);
    if (saved.embedded != nullptr) embedded_ = new Message(buffers, depth + 1, saved.embedded);
}

Attach::~Attach() {
    if (embedded_ != nullptr) embedded_->Release();
    parent_->Release();
}

HRESULT Attach::SaveChanges(ULONG) {
    return Guarded([&] {
        auto saved = std::make_shared<MsgSavedAttachment>();
        saved->props = Snapshot(props_);
        if (embedded_ != nullptr) saved->embedded = embedded_->saved();
        return parent_->StoreAttachment(number_, std::move(saved));
    });
}

void Attach::Replacing(ULONG id) {
    if (id == PROP_ID(PR_ATTACH_DATA_OBJ) && embedded_ != nullptr) {
        embedded_->Release();
        embedded_ = nullptr;
    }
}

HRESULT Attach::Open(ULONG tag, LPCIID riid, ULONG flags, LPUNKNOWN* result) {
    if (tag != PR_ATTACH_DATA_OBJ) return PropObject::Open(tag, riid, flags, result);
    if (riid == nullptr || !(*riid == IID_IMessage)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    if ((flags & MAPI_CREATE) != 0) {
        if (depth_ + 1 > kMsgMaxEmbeddingDepth) return MAPI_E_TOO_COMPLEX;
        auto* created = new Message(buffers_, depth_ + 1);
        Replacing(PROP_ID(tag));
        props_.erase(PROP_ID(tag));
        embedded_ = created;
    } else if (embedded_ == nullptr) {
        return MAPI_E_NOT_FOUND;
    }
    embedded_->AddRef();
    *result = static_cast<IMessage*>(embedded_);
    return S_OK;
}

}  // namespace

IMessage* NewMsgMessage(const MsgBuffers& buffers) {
    try {
        return new Message(buffers, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::shared_ptr<const MsgSavedMessage> SavedMessageOf(IMessage* message) {
    return static_cast<Message*>(message)->saved();
}

}  // namespace mailsift
