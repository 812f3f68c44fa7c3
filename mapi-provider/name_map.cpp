#include "mapi-provider/name_map.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "mapi-provider/allocator.h"
#include "mapi-provider/node.h"
#include "mapi-provider/stored_props.h"
#include "mapi/mapi_tags.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

constexpr ULONG kGuidStream = PROP_TAG(PT_BINARY, 0x0002);
constexpr ULONG kEntryStream = PROP_TAG(PT_BINARY, 0x0003);
constexpr ULONG kStringStream = PROP_TAG(PT_BINARY, 0x0004);
// Set numbers 1 and 2 stand for these sets; the GUID stream's first set is number 3.
constexpr uint32_t kFirstStreamGuid = 3;

uint32_t Le32(std::string_view bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

bool SetOf(std::string_view guids, uint32_t number, GUID& set) {
    if (number == 1) {
        set = PS_MAPI;
        return true;
    }
    if (number == 2) {
        set = PS_PUBLIC_STRINGS;
        return true;
    }
    if (number < kFirstStreamGuid || (number - kFirstStreamGuid) >= guids.size() / sizeof(GUID)) {
        return false;
    }
    std::memcpy(&set, guids.data() + (number - kFirstStreamGuid) * sizeof(GUID), sizeof(GUID));
    return true;
}

bool StringAt(std::string_view strings, uint32_t offset, std::u16string& text) {
    if (offset > strings.size() || strings.size() - offset < 4) return false;
    const uint32_t length = Le32(strings, offset);
    if (length % 2 != 0 || length > strings.size() - offset - 4) return false;
    text.resize(length / 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t at = offset + 4 + 2 * i;
        text[i] = static_cast<char16_t>(static_cast<uint8_t>(strings[at]) |
                                        static_cast<uint8_t>(strings[at + 1]) << 8);
    }
    return true;
}

std::string BytesOf(const StoreFile& file, const pst::Item& item, ULONG tag) {
    std::string data;
    if (FAILED(ReadStoredBytes({&file, &item, 0}, tag, data))) return {};
    return data;
}

std::shared_ptr<const NameMap> ReadNameMap(const StoreFile& file) {
    SharedItem item;
    if (FAILED(file.NameToIdMap(item))) return std::make_shared<NameMap>();
    return std::make_shared<NameMap>(NameMap::Parse(BytesOf(file, *item, kGuidStream),
                                                    BytesOf(file, *item, kEntryStream),
                                                    BytesOf(file, *item, kStringStream)));
}

LPMAPINAMEID CopyName(const PropertyName& name, void* parent) {
    auto* copy = AllocateLinked<MAPINAMEID>(parent);
    if (copy == nullptr) return nullptr;
    copy->lpguid = AllocateLinked<GUID>(parent);
    if (copy->lpguid == nullptr) return nullptr;
    *copy->lpguid = name.set;
    copy->ulKind = name.byString ? MNID_STRING : MNID_ID;
    if (!name.byString) {
        copy->Kind.lID = name.number;
        return copy;
    }
    copy->Kind.lpwstrName = CopyString16(name.text, parent);
    return copy->Kind.lpwstrName != nullptr ? copy : nullptr;
}

}  // namespace

NameMap NameMap::Parse(std::string_view guids, std::string_view entries, std::string_view strings) {
    NameMap map;
    for (size_t at = 0; at + 8 <= entries.size(); at += 8) {
        const uint32_t value = Le32(entries, at);
        const uint32_t info = Le32(entries, at + 4);
        const uint32_t index = info >> 16;
        if (index > 0xFFFF - MIN_NAMED_PROP_ID) continue;
        const ULONG id = MIN_NAMED_PROP_ID + index;
        PropertyName name;
        name.byString = (info & 1) != 0;
        if (map.names_.count(id) > 0 || !SetOf(guids, (info & 0xFFFF) >> 1, name.set)) continue;
        if (name.byString) {
            if (!StringAt(strings, value, name.text)) continue;
        } else {
            name.number = static_cast<LONG>(value);
        }
        map.names_.emplace(id, std::move(name));
    }
    return map;
}

const PropertyName* NameMap::Find(ULONG id) const {
    const auto found = names_.find(id);
    return found != names_.end() ? &found->second : nullptr;
}

ULONG NameMap::IdOf(const PropertyName& name) const {
    for (const auto& [id, known] : names_) {
        if (known == name) return id;
    }
    return 0;
}

const NameMap& NamesOf(const StoreContext& store) {
    if (store.names == nullptr) store.names = ReadNameMap(*store.file);
    return *store.names;
}

HRESULT NamesFromIds(const NameMap& map, LPSPropTagArray* tags, LPGUID set, ULONG* count,
                     LPMAPINAMEID** names) {
    if (tags == nullptr || count == nullptr || names == nullptr) return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *names = nullptr;
    BufferPtr<SPropTagArray> listed;
    if (*tags == nullptr) {
        std::vector<ULONG> ids;
        for (const auto& [id, name] : map.names()) {
            if (set == nullptr || name.set == *set) ids.push_back(id);
        }
        listed.reset(static_cast<LPSPropTagArray>(static_cast<void*>(
            AllocateRoot<BYTE>(CbNewSPropTagArray(static_cast<ULONG>(ids.size()))))));
        if (listed == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
        listed->cValues = static_cast<ULONG>(ids.size());
        for (size_t i = 0; i < ids.size(); ++i) {
            listed->aulPropTag[i] = PROP_TAG(PT_UNSPECIFIED, ids[i]);
        }
    }
    const SPropTagArray& asked = listed != nullptr ? *listed : **tags;
    BufferPtr<LPMAPINAMEID> array(AllocateRoot<LPMAPINAMEID>(std::max<ULONG>(asked.cValues, 1)));
    if (array == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
    bool missing = false;
    for (ULONG i = 0; i < asked.cValues; ++i) {
        const PropertyName* name = map.Find(PROP_ID(asked.aulPropTag[i]));
        array.get()[i] = name != nullptr ? CopyName(*name, array.get()) : nullptr;
        if (name != nullptr && array.get()[i] == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
        missing = missing || name == nullptr;
    }
    *count = asked.cValues;
    *names = array.release();
    if (listed != nullptr) *tags = listed.release();
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT IdsFromNames(const NameMap& map, ULONG count, LPMAPINAMEID* names, LPSPropTagArray* tags) {
    if (tags == nullptr || (count > 0 && names == nullptr)) return MAPI_E_INVALID_PARAMETER;
    *tags = nullptr;
    if (count == 0) return MAPI_E_NO_SUPPORT;
    BufferPtr<SPropTagArray> array(static_cast<LPSPropTagArray>(
        static_cast<void*>(AllocateRoot<BYTE>(CbNewSPropTagArray(count)))));
    if (array == nullptr) return MAPI_E_NOT_ENOUGH_MEMORY;
    array->cValues = count;
    bool missing = false;
    for (ULONG i = 0; i < count; ++i) {
        PropertyName name;
        const ULONG id = NameFromNameId(names[i], name) ? map.IdOf(name) : 0;
        array->aulPropTag[i] = id != 0 ? PROP_TAG(PT_UNSPECIFIED, id) : PT_ERROR;
        missing = missing || id == 0;
    }
    *tags = array.release();
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

}  // namespace mailsift::mapi_provider
