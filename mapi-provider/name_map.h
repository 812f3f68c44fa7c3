#pragma once
// The names of a store's named properties (identifiers 0x8000 and above), read from the
// store's name-to-id map, and the MAPI calls that give them out.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "mapi/mapi_interfaces.h"
#include "mapi/property_name.h"

namespace mailsift::mapi_provider {

struct StoreContext;

using mapi::PropertyName;

class NameMap {
  public:
    // The map from the three streams a store keeps it in: the GUIDs of its property sets,
    // one 8-byte entry per name, and the strings. Entries that point outside the streams or
    // past the identifiers there are are left out; the first entry for an identifier counts.
    static NameMap Parse(std::string_view guids, std::string_view entries,
                         std::string_view strings);

    // The name of property identifier `id`; null when it has none.
    const PropertyName* Find(mapi::ULONG id) const;
    // The identifier named `name`; 0 when there is none.
    mapi::ULONG IdOf(const PropertyName& name) const;
    const std::map<mapi::ULONG, PropertyName>& names() const { return names_; }

  private:
    std::map<mapi::ULONG, PropertyName> names_;
};

// The store's map, read on first use; empty when the file has none or it cannot be read.
const NameMap& NamesOf(const StoreContext& store);

// IMAPIProp::GetNamesFromIDs and GetIDsFromNames over `map`. Nothing is created: a store read
// here is never written.
mapi::HRESULT NamesFromIds(const NameMap& map, mapi::LPSPropTagArray* tags, mapi::LPGUID set,
                           mapi::ULONG* count, mapi::LPMAPINAMEID** names);
mapi::HRESULT IdsFromNames(const NameMap& map, mapi::ULONG count, mapi::LPMAPINAMEID* names,
                           mapi::LPSPropTagArray* tags);

}  // namespace mailsift::mapi_provider
