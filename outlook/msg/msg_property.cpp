#include "outlook/msg/msg_property.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

#include "mapi/mapi_tags.h"

namespace mailsift {

using namespace mapi;

static_assert(std::endian::native == std::endian::little,
              "values are kept in the file's little-endian order");

namespace {

// The size of one element of a fixed-size array type, 0 for every other type.
size_t ArrayElementSize(ULONG type) {
    if ((type & MV_FLAG) == 0) return 0;
    const ULONG single = type & ~MV_FLAG;
    if (single == PT_CLSID) return sizeof(GUID);
    return single == PT_BOOLEAN ? 0 : MsgFixedValueSize(single);
}

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

}  // namespace

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

bool MsgIsVariableArray(ULONG type) {
    return type == PT_MV_STRING8 || type == PT_MV_UNICODE || type == PT_MV_BINARY;
}

HRESULT ToMsgProperty(const SPropValue& in, MsgProperty& out) {
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

void* MsgLinkedBuffers::Get(uint64_t size) {
    if (size >= kMsgMaxValueSize) return nullptr;
    LPVOID block = nullptr;
    const auto wanted = static_cast<ULONG>(std::max<uint64_t>(size, 1));
    return buffers_.allocateMore(wanted, root_, &block) == S_OK ? block : nullptr;
}

HRESULT FromMsgProperty(const MsgProperty& property, SPropValue& out, MsgLinkedBuffers& buffers) {
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

MsgPropertyBag MsgSnapshot(const MsgPropertyBag& bag) {
    for (const auto& [id, property] : bag) {
        if (property.blob != nullptr) property.blob->Freeze();
    }
    return bag;
}

}  // namespace mailsift
