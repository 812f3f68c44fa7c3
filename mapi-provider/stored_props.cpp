#include "mapi-provider/stored_props.h"

#include <iconv.h>

#include <bit>
#include <cstring>
#include <string_view>

#include "mapi-provider/allocator.h"
#include "mapi/utf16.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

// The stored entry of property identifier `id`, named properties by their stored number.
HRESULT FindEntry(RecordSource source, ULONG id, const pst::Record*& record,
                  const pst::Entry*& entry) {
    if (source.item == nullptr || source.set < 0 ||
        static_cast<size_t>(source.set) >= source.item->records.size()) {
        return MAPI_E_NOT_FOUND;
    }
    record = &source.item->records[static_cast<size_t>(source.set)];
    entry = record->Find(static_cast<uint16_t>(id));
    return entry != nullptr ? S_OK : MAPI_E_NOT_FOUND;
}

template <class T>
HRESULT ReadFixed(std::string_view data, T& value) {
    if (data.size() < sizeof(T)) {
        return MAPI_E_CORRUPT_DATA;
    }
    std::memcpy(&value, data.data(), sizeof(T));
    return S_OK;
}

// A list of fixed-size values is kept as the values one after another.
template <class T>
HRESULT FillFixedArray(std::string_view data, void* parent, ULONG& count, T*& array) {
    if (data.size() % sizeof(T) != 0) {
        return MAPI_E_CORRUPT_DATA;
    }
    count = static_cast<ULONG>(data.size() / sizeof(T));
    array = AllocateLinked<T>(parent, count);
    if (array == nullptr && count > 0) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    if (count > 0) {
        std::memcpy(array, data.data(), data.size());
    }
    return S_OK;
}

HRESULT ReadMultiValue(std::string_view data, ULONG type, SPropValue& out, void* parent) {
    switch (type) {
        case PT_MV_I2:
            return FillFixedArray(data, parent, out.Value.MVi.cValues, out.Value.MVi.lpi);
        case PT_MV_LONG:
            return FillFixedArray(data, parent, out.Value.MVl.cValues, out.Value.MVl.lpl);
        case PT_MV_R4:
            return FillFixedArray(data, parent, out.Value.MVflt.cValues, out.Value.MVflt.lpflt);
        case PT_MV_DOUBLE:
            return FillFixedArray(data, parent, out.Value.MVdbl.cValues, out.Value.MVdbl.lpdbl);
        case PT_MV_APPTIME:
            return FillFixedArray(data, parent, out.Value.MVat.cValues, out.Value.MVat.lpat);
        case PT_MV_CURRENCY:
            return FillFixedArray(data, parent, out.Value.MVcur.cValues, out.Value.MVcur.lpcur);
        case PT_MV_I8:
            return FillFixedArray(data, parent, out.Value.MVli.cValues, out.Value.MVli.lpli);
        case PT_MV_SYSTIME:
            return FillFixedArray(data, parent, out.Value.MVft.cValues, out.Value.MVft.lpft);
        case PT_MV_CLSID:
            return FillFixedArray(data, parent, out.Value.MVguid.cValues, out.Value.MVguid.lpguid);
        default:
            return MAPI_E_NOT_FOUND;
    }
}

// The values of a list of strings or of binary values as stored: a count, one offset per value
// from the start of the data, then the values one after another. Offsets outside the data or
// out of order are damage.
HRESULT SplitList(std::string_view data, std::vector<std::string_view>& items) {
    const auto at = [&data](size_t offset) {
        uint32_t value = 0;
        std::memcpy(&value, data.data() + offset, sizeof(value));
        return value;
    };
    items.clear();
    if (data.empty()) {
        return S_OK;
    }
    if (data.size() < 4) {
        return MAPI_E_CORRUPT_DATA;
    }
    const uint32_t count = at(0);
    if (count > (data.size() - 4) / 4) {
        return MAPI_E_CORRUPT_DATA;
    }
    const size_t first = 4 + 4 * static_cast<size_t>(count);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t start = at(4 + 4 * static_cast<size_t>(i));
        const size_t end = i + 1 < count ? at(8 + 4 * static_cast<size_t>(i)) : data.size();
        if (start < first || start > end || end > data.size()) {
            return MAPI_E_CORRUPT_DATA;
        }
        items.push_back(data.substr(start, end - start));
    }
    return S_OK;
}

// A stored string in UTF-16, up to a terminator if it has one. 8-bit strings are in the
// store's code page; one iconv does not know is read as Windows-1252, the code page most such
// files are written in.
std::u16string WidenString(std::string_view bytes, bool unicode, int codePage) {
    std::u16string text;
    if (unicode) {
        text.resize(bytes.size() / 2);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(text.data(), bytes.data(), text.size() * 2);
        } else {
            for (size_t i = 0; i < text.size(); ++i) {
                text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                                static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
            }
        }
    } else {
        iconv_t convert = iconv_open("UTF-16LE", ("CP" + std::to_string(codePage)).c_str());
        if (convert == reinterpret_cast<iconv_t>(-1)) {
            convert = iconv_open("UTF-16LE", "CP1252");
        }
        std::string wide(bytes.size() * 4 + 4, '\0');
        char* in = const_cast<char*>(bytes.data());
        size_t inLeft = bytes.size();
        char* out = wide.data();
        size_t outLeft = wide.size();
        while (convert != reinterpret_cast<iconv_t>(-1) && inLeft > 0 &&
               iconv(convert, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1)) {
            // A byte the code page does not map is skipped rather than ending the string.
            ++in;
            --inLeft;
        }
        if (convert != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(convert);
        }
        const size_t produced = wide.size() - outLeft;
        for (size_t i = 0; i + 1 < produced; i += 2) {
            text += static_cast<char16_t>(static_cast<uint8_t>(wide[i]) |
                                          static_cast<uint8_t>(wide[i + 1]) << 8);
        }
    }
    const size_t end = text.find(u'\0');
    return end == std::u16string::npos ? text : text.substr(0, end);
}

HRESULT ReadList(std::string_view data, ULONG stored, ULONG wanted, int codePage, SPropValue& out,
                 void* parent) {
    std::vector<std::string_view> items;
    HRESULT hr = SplitList(data, items);
    if (FAILED(hr)) {
        return hr;
    }
    const auto n = static_cast<ULONG>(items.size());
    if (wanted == PT_MV_BINARY) {
        out.Value.MVbin.cValues = n;
        out.Value.MVbin.lpbin = AllocateLinked<SBinary>(parent, n);
        if (out.Value.MVbin.lpbin == nullptr && n > 0) {
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        for (ULONG i = 0; i < n; ++i) {
            out.Value.MVbin.lpbin[i].cb = static_cast<ULONG>(items[i].size());
            out.Value.MVbin.lpbin[i].lpb = CopyBytes(items[i].data(), items[i].size(), parent);
            if (out.Value.MVbin.lpbin[i].lpb == nullptr) {
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
        }
        return S_OK;
    }
    auto** strings = AllocateLinked<void*>(parent, n);
    if (strings == nullptr && n > 0) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    for (ULONG i = 0; i < n; ++i) {
        const std::u16string text = WidenString(items[i], stored == PT_MV_UNICODE, codePage);
        strings[i] = wanted == PT_MV_UNICODE
                         ? static_cast<void*>(CopyString16(text, parent))
                         : static_cast<void*>(CopyString8(Utf16ToUtf8(text), parent));
        if (strings[i] == nullptr) {
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
    }
    if (wanted == PT_MV_UNICODE) {
        out.Value.MVszW.cValues = n;
        out.Value.MVszW.lppszW = reinterpret_cast<LPWSTR*>(strings);
    } else {
        out.Value.MVszA.cValues = n;
        out.Value.MVszA.lppszA = reinterpret_cast<LPSTR*>(strings);
    }
    return S_OK;
}

bool IsStringType(ULONG type) {
    return type == PT_STRING8 || type == PT_UNICODE;
}
bool IsMultiStringType(ULONG type) {
    return type == PT_MV_STRING8 || type == PT_MV_UNICODE;
}

// A stored subject may begin with 0x01 and the length of its prefix ("RE: "); the two
// marker characters are not part of the subject.
void DropSubjectMarker(std::u16string& text) {
    if (text.size() >= 2 && text[0] == 0x01) {
        text.erase(0, 2);
    }
}

HRESULT ConvertValue(std::string_view data, ULONG id, ULONG stored, ULONG wanted, int codePage,
                     SPropValue& out, void* parent) {
    if (IsStringType(wanted) && IsStringType(stored)) {
        std::u16string text = WidenString(data, stored == PT_UNICODE, codePage);
        if (id == PROP_ID(PR_SUBJECT_W)) {
            DropSubjectMarker(text);
        }
        if (wanted == PT_UNICODE) {
            out.Value.lpszW = CopyString16(text, parent);
            return out.Value.lpszW != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
        }
        out.Value.lpszA = CopyString8(Utf16ToUtf8(text.data(), text.size()), parent);
        return out.Value.lpszA != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
    }
    if (IsMultiStringType(wanted) && IsMultiStringType(stored)) {
        return ReadList(data, stored, wanted, codePage, out, parent);
    }
    if (wanted != stored) {
        return MAPI_E_NOT_FOUND;
    }
    if (stored == PT_MV_BINARY) {
        return ReadList(data, stored, wanted, codePage, out, parent);
    }
    if ((stored & MV_FLAG) != 0) {
        return ReadMultiValue(data, stored, out, parent);
    }
    switch (stored) {
        case PT_I2:
            return ReadFixed(data, out.Value.i);
        case PT_LONG:
            return ReadFixed(data, out.Value.l);
        case PT_ERROR:
            return ReadFixed(data, out.Value.err);
        case PT_R4:
            return ReadFixed(data, out.Value.flt);
        case PT_DOUBLE:
        case PT_APPTIME:
            return ReadFixed(data, out.Value.dbl);
        case PT_CURRENCY:
            return ReadFixed(data, out.Value.cur);
        case PT_I8:
            return ReadFixed(data, out.Value.li);
        case PT_SYSTIME:
            return ReadFixed(data, out.Value.ft);
        case PT_BOOLEAN:
            if (data.empty()) {
                return MAPI_E_CORRUPT_DATA;
            }
            out.Value.b = data[0] != 0 ? 1 : 0;
            return S_OK;
        case PT_CLSID:
            out.Value.lpguid = AllocateLinked<GUID>(parent);
            if (out.Value.lpguid == nullptr) {
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            return ReadFixed(data, *out.Value.lpguid);
        case PT_BINARY:
            if (data.size() > 0xFFFFFFFFu) {
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            out.Value.bin.cb = static_cast<ULONG>(data.size());
            out.Value.bin.lpb = CopyBytes(data.data(), data.size(), parent);
            return out.Value.bin.lpb != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
        default:
            return MAPI_E_NOT_FOUND;
    }
}

}  // namespace

std::vector<uint32_t> ListStoredTags(RecordSource source) {
    std::vector<uint32_t> tags;
    if (source.item == nullptr || source.set < 0 ||
        static_cast<size_t>(source.set) >= source.item->records.size()) {
        return tags;
    }
    for (const pst::Entry& entry : source.item->records[static_cast<size_t>(source.set)].entries) {
        tags.push_back(PROP_TAG(entry.type, entry.id));
    }
    return tags;
}

HRESULT ReadStoredBytes(RecordSource source, ULONG tag, std::string& data) {
    const pst::Record* record = nullptr;
    const pst::Entry* entry = nullptr;
    const HRESULT hr = FindEntry(source, PROP_ID(tag), record, entry);
    return FAILED(hr)
               ? hr
               : FromStatus(source.file->reader().ReadValue(*source.item, *record, *entry, data));
}

HRESULT ReadStoredProp(RecordSource source, ULONG tag, SPropValue& out, void* parent) {
    out.ulPropTag = tag;
    const pst::Record* record = nullptr;
    const pst::Entry* entry = nullptr;
    HRESULT hr = FindEntry(source, PROP_ID(tag), record, entry);
    if (FAILED(hr)) {
        return hr;
    }
    const ULONG stored = entry->type;
    const ULONG wanted = PROP_TYPE(tag) == PT_UNSPECIFIED ? stored : PROP_TYPE(tag);
    std::string data;
    if (entry->subnode == 0) {
        hr = ConvertValue(record->Bytes(*entry), PROP_ID(tag), stored, wanted,
                          source.file->codePage(), out, parent);
    } else {
        hr = FromStatus(source.file->reader().ReadValue(*source.item, *record, *entry, data));
        if (SUCCEEDED(hr)) {
            hr = ConvertValue(data, PROP_ID(tag), stored, wanted, source.file->codePage(), out,
                              parent);
        }
    }
    if (SUCCEEDED(hr)) {
        out.ulPropTag = PROP_TAG(wanted, PROP_ID(tag));
    }
    return hr;
}

LPSTR CopyString8(const std::string& text, void* parent) {
    auto* copy = AllocateLinked<char>(parent, text.size() + 1);
    if (copy != nullptr) {
        std::memcpy(copy, text.c_str(), text.size() + 1);
    }
    return copy;
}

LPWSTR CopyString16(const std::u16string& text, void* parent) {
    auto* copy = AllocateLinked<char16_t>(parent, text.size() + 1);
    if (copy != nullptr) {
        std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    }
    return copy;
}

LPBYTE CopyBytes(const void* data, size_t size, void* parent) {
    auto* copy = AllocateLinked<BYTE>(parent, size == 0 ? 1 : size);
    if (copy != nullptr && size > 0) {
        std::memcpy(copy, data, size);
    }
    return copy;
}

}  // namespace mailsift::mapi_provider
