#pragma once
// The name of a named property as a value: a property set and, within it, a number or a
// string; and its MAPINAMEID form, in which callers pass and receive it.
#include <string>

#include "mapi/mapi_types.h"

namespace mapi {

struct PropertyName {
    GUID set{};
    bool byString = false;
    LONG number = 0;
    std::u16string text;

    bool operator==(const PropertyName& other) const {
        return set == other.set && byString == other.byString &&
               (byString ? text == other.text : number == other.number);
    }
};

// False for a name that is no name: no set, an unknown kind or a missing string.
inline bool NameFromNameId(const MAPINAMEID* given, PropertyName& name) {
    if (given == nullptr || given->lpguid == nullptr) return false;
    name = PropertyName{};
    name.set = *given->lpguid;
    if (given->ulKind == MNID_ID) {
        name.number = given->Kind.lID;
        return true;
    }
    if (given->ulKind != MNID_STRING || given->Kind.lpwstrName == nullptr) return false;
    name.byString = true;
    name.text = given->Kind.lpwstrName;
    return true;
}

// A MAPINAMEID that points into `name`, valid while `name` is unchanged.
inline MAPINAMEID NameIdOf(PropertyName& name) {
    MAPINAMEID id{};
    id.lpguid = &name.set;
    id.ulKind = name.byString ? MNID_STRING : MNID_ID;
    if (name.byString) {
        id.Kind.lpwstrName = name.text.data();
    } else {
        id.Kind.lID = name.number;
    }
    return id;
}

}  // namespace mapi
