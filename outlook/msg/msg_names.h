#pragma once
// The named properties of one .msg file. Its message, recipients, attachments and embedded
// messages share one map from names to identifiers (0x8000 and above); the file records it in
// the __nameid_version1.0 storage: the property sets' GUIDs, one entry per name, the string
// names, and the entries again, spread over buckets by a hash of the name.
#include <string>
#include <utility>
#include <vector>

#include "mapi/property_name.h"

namespace mailsift {

class MsgNameMap {
  public:
    // The identifier named `name`. With `create`, a name not yet known takes the next free
    // identifier; 0 when it is not known and not created, or the identifiers are used up.
    mapi::ULONG IdOf(const mapi::PropertyName& name, bool create);
    // The name of identifier `id`; null when it names nothing.
    const mapi::PropertyName* Find(mapi::ULONG id) const;
    // The names in identifier order: the first is 0x8000.
    const std::vector<mapi::PropertyName>& names() const { return names_; }

  private:
    std::vector<mapi::PropertyName> names_;
};

// The streams of the name storage that record `names` (in identifier order), each as its name
// and bytes.
std::vector<std::pair<std::string, std::string>> MsgNameStreams(
    const std::vector<mapi::PropertyName>& names);

}  // namespace mailsift
