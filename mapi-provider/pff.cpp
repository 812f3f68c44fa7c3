#include "mapi-provider/pff.h"

#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "mapi-provider/allocator.h"
#include "mapi/utf16.h"

namespace mailsift::mapi_provider {

using namespace mapi;

PffError::~PffError() {
    if (error_ != nullptr) {
        libpff_error_free(&error_);
    }
}

void ItemDeleter::operator()(libpff_item_t* item) const {
    PffError error;
    libpff_item_free(&item, error.get());
}

namespace {

struct RecordSetDeleter {
    void operator()(libpff_record_set_t* set) const {
        PffError error;
        libpff_record_set_free(&set, error.get());
    }
};
using RecordSetPtr = std::unique_ptr<libpff_record_set_t, RecordSetDeleter>;

struct RecordEntryDeleter {
    void operator()(libpff_record_entry_t* entry) const {
        PffError error;
        libpff_record_entry_free(&entry, error.get());
    }
};
using RecordEntryPtr = std::unique_ptr<libpff_record_entry_t, RecordEntryDeleter>;

struct MultiValueDeleter {
    void operator()(libpff_multi_value_t* value) const {
        PffError error;
        libpff_multi_value_free(&value, error.get());
    }
};
using MultiValuePtr = std::unique_ptr<libpff_multi_value_t, MultiValueDeleter>;

// libpff answers 1 for success, 0 for "not there" and -1 for an error.
HRESULT FromPff(int result) {
    if (result == 1) {
        return S_OK;
    }
    return result == 0 ? MAPI_E_NOT_FOUND : MAPI_E_CORRUPT_DATA;
}

HRESULT GetRecordSet(RecordSource source, RecordSetPtr& set) {
    PffError error;
    libpff_record_set_t* raw = nullptr;
    int count = 0;
    if (libpff_item_get_number_of_record_sets(source.item, &count, error.get()) != 1) {
        return MAPI_E_CORRUPT_DATA;
    }
    if (source.set < 0 || source.set >= count) {
        return MAPI_E_NOT_FOUND;
    }
    HRESULT hr =
        FromPff(libpff_item_get_record_set_by_index(source.item, source.set, &raw, error.get()));
    set.reset(raw);
    return hr;
}

HRESULT ReadRawData(libpff_record_entry_t* entry, std::vector<uint8_t>& data) {
    PffError error;
    size_t size = 0;
    if (libpff_record_entry_get_data_size(entry, &size, error.get()) != 1) {
        return MAPI_E_CORRUPT_DATA;
    }
    data.resize(size);
    if (size == 0) {
        return S_OK;
    }
    return FromPff(libpff_record_entry_get_data(entry, data.data(), size, error.get()));
}

template <class T>
HRESULT ReadFixed(libpff_record_entry_t* entry, T& value) {
    std::vector<uint8_t> data;
    HRESULT hr = ReadRawData(entry, data);
    if (FAILED(hr)) {
        return hr;
    }
    if (data.size() < sizeof(T)) {
        return MAPI_E_CORRUPT_DATA;
    }
    std::memcpy(&value, data.data(), sizeof(T));
    return S_OK;
}

HRESULT ReadString16(libpff_record_entry_t* entry, std::u16string& text) {
    PffError error;
    size_t raw = 0;
    if (libpff_record_entry_get_data_size(entry, &raw, error.get()) != 1) {
        return MAPI_E_CORRUPT_DATA;
    }
    text.clear();
    if (raw == 0) {
        return S_OK;
    }
    size_t size = 0;
    if (libpff_record_entry_get_data_as_utf16_string_size(entry, &size, error.get()) != 1) {
        return MAPI_E_CORRUPT_DATA;
    }
    std::vector<uint16_t> buffer(size + 1, 0);
    if (size > 0 && libpff_record_entry_get_data_as_utf16_string(entry, buffer.data(), size,
                                                                 error.get()) != 1) {
        return MAPI_E_CORRUPT_DATA;
    }
    for (size_t i = 0; i < size && buffer[i] != 0; ++i) {
        text += static_cast<char16_t>(buffer[i]);
    }
    return S_OK;
}

template <class T>
HRESULT FillFixedArray(libpff_multi_value_t* values, int count, void* parent, T*& array) {
    array = AllocateLinked<T>(parent, static_cast<size_t>(count));
    if (array == nullptr && count > 0) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    for (int i = 0; i < count; ++i) {
        PffError error;
        uint32_t type = 0;
        uint8_t* data = nullptr;
        size_t size = 0;
        if (libpff_multi_value_get_value(values, i, &type, &data, &size, error.get()) != 1 ||
            data == nullptr || size < sizeof(T)) {
            return MAPI_E_CORRUPT_DATA;
        }
        std::memcpy(&array[i], data, sizeof(T));
    }
    return S_OK;
}

HRESULT ReadMultiValue(libpff_record_entry_t* entry, ULONG type, SPropValue& out, void* parent) {
    PffError error;
    libpff_multi_value_t* raw = nullptr;
    HRESULT hr = FromPff(libpff_record_entry_get_multi_value(entry, &raw, error.get()));
    MultiValuePtr values(raw);
    if (FAILED(hr)) {
        return hr;
    }
    int count = 0;
    if (libpff_multi_value_get_number_of_values(values.get(), &count, error.get()) != 1 ||
        count < 0) {
        return MAPI_E_CORRUPT_DATA;
    }
    const auto n = static_cast<ULONG>(count);
    switch (type) {
        case PT_MV_I2:
            out.Value.MVi.cValues = n;
            return FillFixedArray(values.get(), count, parent, out.Value.MVi.lpi);
        case PT_MV_LONG:
            out.Value.MVl.cValues = n;
            return FillFixedArray(values.get(), count, parent, out.Value.MVl.lpl);
        case PT_MV_R4:
            out.Value.MVflt.cValues = n;
            return FillFixedArray(values.get(), count, parent, out.Value.MVflt.lpflt);
        case PT_MV_DOUBLE:
            out.Value.MVdbl.cValues = n;
            return FillFixedArray(values.get(), count, parent, out.Value.MVdbl.lpdbl);
        case PT_MV_APPTIME:
            out.Value.MVat.cValues = n;
            return FillFixedArray(values.get(), count, parent, out.Value.MVat.lpat);
        case PT_MV_CURRENCY:
            out.Value.MVcur.cValues = n;
            return FillFixedArray(values.get(), count, parent, out.Value.MVcur.lpcur);
        case PT_MV_I8:
            out.Value.MVli.cValues = n;
            return FillFixedArray(values.get(), count, parent, out.Value.MVli.lpli);
        case PT_MV_SYSTIME:
            out.Value.MVft.cValues = n;
            return FillFixedArray(values.get(), count, parent, out.Value.MVft.lpft);
        case PT_MV_CLSID:
            out.Value.MVguid.cValues = n;
            return FillFixedArray(values.get(), count, parent, out.Value.MVguid.lpguid);
        default:
            return MAPI_E_NOT_FOUND;
    }
}

// The values of a list of strings or of binary values as stored: a count, one offset per value
// from the start of the data, then the values one after another. libpff counts no values in
// such lists, so they are split here; offsets outside the data or out of order are damage.
HRESULT SplitList(const std::vector<uint8_t>& data, std::vector<std::string_view>& items) {
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
        items.emplace_back(reinterpret_cast<const char*>(data.data()) + start, end - start);
    }
    return S_OK;
}

// A stored string of a list in UTF-16, up to a terminator if it has one. 8-bit strings are in
// the store's code page; one iconv does not know is read as Windows-1252, the code page most
// such files are written in.
std::u16string WidenListString(std::string_view bytes, ULONG stored, int codePage) {
    std::u16string text;
    if (stored == PT_MV_UNICODE) {
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            text += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                          static_cast<uint8_t>(bytes[i + 1]) << 8);
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

HRESULT ReadList(libpff_record_entry_t* entry, ULONG stored, ULONG wanted, int codePage,
                 SPropValue& out, void* parent) {
    std::vector<uint8_t> data;
    HRESULT hr = ReadRawData(entry, data);
    std::vector<std::string_view> items;
    if (SUCCEEDED(hr)) {
        hr = SplitList(data, items);
    }
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
        const std::u16string text = WidenListString(items[i], stored, codePage);
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

HRESULT ConvertEntry(libpff_record_entry_t* entry, ULONG id, ULONG stored, ULONG wanted,
                     int codePage, SPropValue& out, void* parent) {
    if (wanted == PT_UNSPECIFIED) {
        wanted = stored;
    }
    if (IsStringType(wanted) && IsStringType(stored)) {
        std::u16string text;
        HRESULT hr = ReadString16(entry, text);
        if (FAILED(hr)) {
            return hr;
        }
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
        return ReadList(entry, stored, wanted, codePage, out, parent);
    }
    if (wanted != stored) {
        return MAPI_E_NOT_FOUND;
    }
    if (stored == PT_MV_BINARY) {
        return ReadList(entry, stored, wanted, codePage, out, parent);
    }
    if ((stored & MV_FLAG) != 0) {
        return ReadMultiValue(entry, stored, out, parent);
    }
    switch (stored) {
        case PT_I2:
            return ReadFixed(entry, out.Value.i);
        case PT_LONG:
            return ReadFixed(entry, out.Value.l);
        case PT_ERROR:
            return ReadFixed(entry, out.Value.err);
        case PT_R4:
            return ReadFixed(entry, out.Value.flt);
        case PT_DOUBLE:
        case PT_APPTIME:
            return ReadFixed(entry, out.Value.dbl);
        case PT_CURRENCY:
            return ReadFixed(entry, out.Value.cur);
        case PT_I8:
            return ReadFixed(entry, out.Value.li);
        case PT_SYSTIME:
            return ReadFixed(entry, out.Value.ft);
        case PT_BOOLEAN: {
            PffError error;
            uint8_t value = 0;
            if (libpff_record_entry_get_data_as_boolean(entry, &value, error.get()) != 1) {
                return MAPI_E_CORRUPT_DATA;
            }
            out.Value.b = value != 0 ? 1 : 0;
            return S_OK;
        }
        case PT_CLSID: {
            out.Value.lpguid = AllocateLinked<GUID>(parent);
            if (out.Value.lpguid == nullptr) {
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            return ReadFixed(entry, *out.Value.lpguid);
        }
        case PT_BINARY: {
            std::vector<uint8_t> data;
            HRESULT hr = ReadRawData(entry, data);
            if (FAILED(hr)) {
                return hr;
            }
            if (data.size() > 0xFFFFFFFFu) {
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            out.Value.bin.cb = static_cast<ULONG>(data.size());
            out.Value.bin.lpb = CopyBytes(data.data(), data.size(), parent);
            return out.Value.bin.lpb != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
        }
        default:
            return MAPI_E_NOT_FOUND;
    }
}

// The Windows code pages an ANSI file's strings can be written in.
bool IsAnsiCodePage(LONG codePage) {
    return codePage == 874 || codePage == 932 || codePage == 936 || codePage == 949 ||
           codePage == 950 || (codePage >= 1250 && codePage <= 1258);
}

// The code page a message's 8-bit strings are written in, or 0 when it does not say.
LONG MessageCodePage(libpff_item_t* message) {
    constexpr ULONG PR_MESSAGE_CODEPAGE = PROP_TAG(PT_LONG, 0x3FFD);
    constexpr ULONG PR_INTERNET_CPID = PROP_TAG(PT_LONG, 0x3FDE);
    for (ULONG tag : {PR_MESSAGE_CODEPAGE, PR_INTERNET_CPID}) {
        SPropValue value{};
        if (SUCCEEDED(ReadStoredProp({message, 0}, tag, value, nullptr)) &&
            IsAnsiCodePage(value.Value.l)) {
            return value.Value.l;
        }
    }
    return 0;
}

// An ANSI file records no code page of its own, and libpff fixes the one an item's strings
// are read with when it first reads the item. The messages name the code page of the Outlook
// that wrote them, so the first that does, in a short walk from the root, sets it for the file.
LONG FindStoreCodePage(libpff_item_t* root) {
    constexpr size_t kFoldersLooked = 64;
    constexpr int kMessagesLooked = 4;
    std::vector<ItemPtr> folders;
    for (size_t next = 0; next <= folders.size() && next < kFoldersLooked; ++next) {
        libpff_item_t* folder = next == 0 ? root : folders[next - 1].get();
        PffError error;
        int messages = 0;
        if (libpff_folder_get_number_of_sub_messages(folder, &messages, error.get()) == 1) {
            for (int i = 0; i < std::min(messages, kMessagesLooked); ++i) {
                libpff_item_t* raw = nullptr;
                PffError messageError;
                const int found =
                    libpff_folder_get_sub_message(folder, i, &raw, messageError.get());
                ItemPtr message(raw);
                const LONG codePage = found == 1 ? MessageCodePage(message.get()) : 0;
                if (codePage != 0) {
                    return codePage;
                }
            }
        }
        int children = 0;
        PffError childError;
        if (libpff_folder_get_number_of_sub_folders(folder, &children, childError.get()) != 1) {
            continue;
        }
        for (int i = 0; i < children && folders.size() < kFoldersLooked; ++i) {
            libpff_item_t* raw = nullptr;
            PffError subError;
            if (libpff_folder_get_sub_folder(folder, i, &raw, subError.get()) == 1) {
                folders.emplace_back(raw);
            } else {
                ItemPtr discard(raw);
            }
        }
    }
    return 0;
}

}  // namespace

HRESULT PffFile::Open(const std::string& path, std::shared_ptr<PffFile>& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return MAPI_E_NOT_FOUND;
    }
    std::shared_ptr<PffFile> opened(new PffFile());
    PffError error;
    if (libpff_file_initialize(&opened->file_, error.get()) != 1) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    if (libpff_file_open(opened->file_, path.c_str(), LIBPFF_OPEN_READ, error.get()) != 1) {
        return MAPI_E_CORRUPT_DATA;
    }
    // A file whose folder tree cannot be reached is of no use as a store.
    ItemPtr root;
    if (FAILED(opened->RootFolder(root))) {
        return MAPI_E_CORRUPT_DATA;
    }
    uint8_t type = 0;
    PffError typeError;
    if (libpff_file_get_type(opened->file_, &type, typeError.get()) == 1 &&
        type == LIBPFF_FILE_TYPE_32BIT) {
        const LONG codePage = FindStoreCodePage(root.get());
        PffError codePageError;
        if (codePage != 0) {
            libpff_file_set_ascii_codepage(opened->file_, static_cast<int>(codePage),
                                           codePageError.get());
        }
    }
    libpff_item_t* rawStore = nullptr;
    if (libpff_file_get_message_store(opened->file_, &rawStore, error.get()) == 1) {
        ItemPtr store(rawStore);
        SPropValue* name = AllocateRoot<SPropValue>();
        if (name != nullptr &&
            SUCCEEDED(ReadStoredProp({store.get(), 0}, PR_DISPLAY_NAME_A, *name, name))) {
            opened->displayName_ = name->Value.lpszA;
        }
        FreeBuffer(name);
        SPropValue* key = AllocateRoot<SPropValue>();
        if (key != nullptr &&
            SUCCEEDED(ReadStoredProp({store.get(), 0}, PR_RECORD_KEY, *key, key)) &&
            key->Value.bin.cb == sizeof(MAPIUID)) {
            std::memcpy(opened->uid_.ab, key->Value.bin.lpb, sizeof(MAPIUID));
        }
        FreeBuffer(key);
    }
    if (opened->displayName_.empty()) {
        opened->displayName_ = std::filesystem::path(path).stem().string();
    }
    PffError codePageError;
    libpff_file_get_ascii_codepage(opened->file_, &opened->codePage_, codePageError.get());
    file = std::move(opened);
    return S_OK;
}

PffFile::~PffFile() {
    if (file_ != nullptr) {
        PffError error;
        libpff_file_close(file_, error.get());
        PffError freeError;
        libpff_file_free(&file_, freeError.get());
    }
}

HRESULT PffFile::RootFolder(ItemPtr& item) const {
    PffError error;
    libpff_item_t* raw = nullptr;
    HRESULT hr = FromPff(libpff_file_get_root_folder(file_, &raw, error.get()));
    item.reset(raw);
    return hr;
}

HRESULT PffFile::ItemById(uint32_t id, ItemPtr& item) const {
    PffError error;
    libpff_item_t* raw = nullptr;
    HRESULT hr = FromPff(libpff_file_get_item_by_identifier(file_, id, &raw, error.get()));
    item.reset(raw);
    return hr == MAPI_E_CORRUPT_DATA ? MAPI_E_NOT_FOUND : hr;
}

HRESULT PffFile::NameToIdMap(ItemPtr& item) const {
    PffError error;
    libpff_item_t* raw = nullptr;
    HRESULT hr = FromPff(libpff_file_get_name_to_id_map(file_, &raw, error.get()));
    item.reset(raw);
    return hr;
}

std::vector<uint32_t> ListStoredTags(RecordSource source) {
    std::vector<uint32_t> tags;
    RecordSetPtr set;
    if (FAILED(GetRecordSet(source, set))) {
        return tags;
    }
    PffError error;
    int count = 0;
    if (libpff_record_set_get_number_of_entries(set.get(), &count, error.get()) != 1) {
        return tags;
    }
    for (int i = 0; i < count; ++i) {
        libpff_record_entry_t* raw = nullptr;
        PffError entryError;
        if (libpff_record_set_get_entry_by_index(set.get(), i, &raw, entryError.get()) != 1) {
            continue;
        }
        RecordEntryPtr entry(raw);
        uint32_t id = 0;
        uint32_t type = 0;
        if (libpff_record_entry_get_entry_type(entry.get(), &id, entryError.get()) == 1 &&
            libpff_record_entry_get_value_type(entry.get(), &type, entryError.get()) == 1 &&
            id <= 0xFFFF && type <= 0xFFFF) {
            tags.push_back(PROP_TAG(type, id));
        }
    }
    return tags;
}

namespace {

// The entry of property identifier `id` as stored, named properties by their stored number.
HRESULT FindEntry(RecordSource source, ULONG id, RecordEntryPtr& entry) {
    RecordSetPtr set;
    HRESULT hr = GetRecordSet(source, set);
    if (FAILED(hr)) {
        return hr;
    }
    PffError error;
    libpff_record_entry_t* raw = nullptr;
    hr = FromPff(
        libpff_record_set_get_entry_by_type(set.get(), id, 0, &raw,
                                            LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE |
                                                LIBPFF_ENTRY_VALUE_FLAG_IGNORE_NAME_TO_ID_MAP,
                                            error.get()));
    entry.reset(raw);
    return hr;
}

}  // namespace

HRESULT ReadStoredBytes(RecordSource source, ULONG tag, std::vector<uint8_t>& data) {
    RecordEntryPtr entry;
    const HRESULT hr = FindEntry(source, PROP_ID(tag), entry);
    return FAILED(hr) ? hr : ReadRawData(entry.get(), data);
}

HRESULT ReadStoredProp(RecordSource source, ULONG tag, SPropValue& out, void* parent) {
    out.ulPropTag = tag;
    RecordEntryPtr entry;
    HRESULT hr = FindEntry(source, PROP_ID(tag), entry);
    if (FAILED(hr)) {
        return hr;
    }
    PffError error;
    uint32_t stored = 0;
    if (libpff_record_entry_get_value_type(entry.get(), &stored, error.get()) != 1) {
        return MAPI_E_CORRUPT_DATA;
    }
    ULONG wanted = PROP_TYPE(tag) == PT_UNSPECIFIED ? stored : PROP_TYPE(tag);
    hr = ConvertEntry(entry.get(), PROP_ID(tag), stored, wanted, source.codePage, out, parent);
    if (SUCCEEDED(hr)) {
        out.ulPropTag = PROP_TAG(wanted, PROP_ID(tag));
    }
    return hr;
}

HRESULT ItemType(libpff_item_t* item, uint8_t& type) {
    PffError error;
    return FromPff(libpff_item_get_type(item, &type, error.get()));
}

HRESULT ItemId(libpff_item_t* item, uint32_t& id) {
    PffError error;
    return FromPff(libpff_item_get_identifier(item, &id, error.get()));
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
