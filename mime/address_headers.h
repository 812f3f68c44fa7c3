#pragma once
// RFC 5322 address lists: display names, quoted strings, comments and groups.
#include <string>
#include <string_view>
#include <vector>

namespace mailsift {

struct TIdEmailAddressItem {
    std::string Name;     // display name, UTF-8, encoded words decoded
    std::string Address;  // addr-spec, as written

    // '"Name" <Address>' (quotes only when the name needs them), "<Address>" form when there
    // is a name, else the bare address.
    std::string Text() const;
    bool operator==(const TIdEmailAddressItem&) const = default;
};

using TIdEmailAddressList = std::vector<TIdEmailAddressItem>;

// Parses a raw header value (as read, not yet decoded). Encoded words in display names are
// decoded after parsing, so a name whose decoded text holds a comma or a quote stays whole.
// Groups ("Team: a@x, b@y;") give their members; an empty group gives nothing. A comment
// names an address that has no display name ("a@x (Ann)"). Never throws; text that is no
// address at all gives an item with that text as the address.
TIdEmailAddressList ParseAddressList(std::string_view raw);

// The first address of raw, or an empty item.
TIdEmailAddressItem ParseAddress(std::string_view raw);

// The header value of a list: items joined by ", ". Display names are quoted when they hold
// specials and, when encode is set, written as encoded words when they are not ASCII.
std::string FormatAddressList(const TIdEmailAddressList& list, bool encode);

}  // namespace mailsift
