#pragma once
// RFC 822 / RFC 5322 dates.
#include <string>
#include <string_view>

#include "platform/date_time.h"

namespace mailsift {

// A date-time header value as local time, or 0 when the value is no date. Accepts the
// standard form and what mailers write in practice: no weekday, two- and four-digit years,
// no seconds, numeric zones, the named zones of RFC 822 (UT, GMT, EST, ...), military letters
// and a trailing comment. A value without a zone is taken as local time already.
TDateTime ParseRfc822Date(std::string_view text);

// "Tue, 08 Dec 2026 17:23:54 +0100": local time with the local offset from UTC at that time.
std::string FormatRfc822Date(TDateTime local);

}  // namespace mailsift
