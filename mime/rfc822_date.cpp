#include "mime/rfc822_date.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

#include "platform/text_case.h"

namespace mailsift {

namespace {

constexpr std::array<std::string_view, 12> kMonths = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                      "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr std::array<std::string_view, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Zone names in minutes east of UTC: those of RFC 822 and the European and Japanese ones
// that mailers in those places write instead of a number.
struct NamedZone {
    std::string_view name;
    int minutes;
};
constexpr std::array kNamedZones{
    NamedZone{"UT", 0},     NamedZone{"UTC", 0},    NamedZone{"GMT", 0},    NamedZone{"Z", 0},
    NamedZone{"EST", -300}, NamedZone{"EDT", -240}, NamedZone{"CST", -360}, NamedZone{"CDT", -300},
    NamedZone{"MST", -420}, NamedZone{"MDT", -360}, NamedZone{"PST", -480}, NamedZone{"PDT", -420},
    NamedZone{"WET", 0},    NamedZone{"WEST", 60},  NamedZone{"BST", 60},   NamedZone{"CET", 60},
    NamedZone{"CEST", 120}, NamedZone{"MET", 60},   NamedZone{"MEST", 120}, NamedZone{"EET", 120},
    NamedZone{"EEST", 180}, NamedZone{"JST", 540},
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!IsDigit(c)) return false;
    }
    return true;
}

bool AllLetters(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!IsLetter(c)) return false;
    }
    return true;
}

// Digits as a number; callers have checked the length, so no overflow.
int Number(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

// The words of a date: comments dropped (they may nest), commas taken as blanks.
std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t depth = 0;
    size_t start = std::string_view::npos;
    const auto endWord = [&](size_t end) {
        if (start != std::string_view::npos) words.push_back(text.substr(start, end - start));
        start = std::string_view::npos;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '(') {
            endWord(i);
            ++depth;
        } else if (c == ')') {
            if (depth > 0) --depth;
        } else if (depth > 0) {
            continue;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',') {
            endWord(i);
        } else if (start == std::string_view::npos) {
            start = i;
        }
    }
    endWord(text.size());
    return words;
}

std::optional<int> MonthOf(std::string_view word) {
    if (word.size() < 3 || !AllLetters(word)) return std::nullopt;
    const std::string prefix = AsciiUpperCased(word.substr(0, 3));
    for (size_t i = 0; i < kMonths.size(); ++i) {
        if (prefix == kMonths[i]) return static_cast<int>(i) + 1;
    }
    return std::nullopt;
}

bool IsWeekday(std::string_view word) {
    if (word.size() < 3 || !AllLetters(word)) return false;
    for (auto day : kWeekdays) {
        if (EqualsIgnoringCase(word.substr(0, 3), day)) return true;
    }
    return false;
}

// "hh:mm" or "hh:mm:ss"; a leap second reads as the second before it.
bool ParseTime(std::string_view word, DateTimeParts& parts) {
    std::array<int, 3> fields{};
    size_t count = 0;
    for (size_t pos = 0; pos <= word.size(); ++count) {
        const size_t colon = std::min(word.find(':', pos), word.size());
        const std::string_view field = word.substr(pos, colon - pos);
        if (count == fields.size() || field.size() > 2 || !AllDigits(field)) return false;
        fields[count] = Number(field);
        pos = colon + 1;
    }
    if (count < 2 || fields[0] > 23 || fields[1] > 59 || fields[2] > 60) return false;
    parts.hour = fields[0];
    parts.minute = fields[1];
    parts.second = fields[2] == 60 ? 59 : fields[2];
    return true;
}

// "+hhmm", "-hhmm", "+hh:mm" or "+hh" in minutes east of UTC.
std::optional<int> NumericZone(std::string_view word) {
    if (word.size() < 2 || (word[0] != '+' && word[0] != '-')) return std::nullopt;
    const int sign = word[0] == '-' ? -1 : 1;
    std::string digits;
    for (char c : word.substr(1)) {
        if (c != ':') digits += c;
    }
    if (!AllDigits(digits) || (digits.size() != 4 && digits.size() != 2)) return std::nullopt;
    const int hours = Number(std::string_view(digits).substr(0, 2));
    const int minutes = digits.size() == 4 ? Number(std::string_view(digits).substr(2)) : 0;
    if (hours > 23 || minutes > 59) return std::nullopt;
    return sign * (hours * 60 + minutes);
}

// A zone word after the time. Military letters other than Z were defined with the wrong sign
// and are read as UTC, as are unknown names: better a known error than a lost date.
std::optional<int> ZoneOf(std::string_view word) {
    if (auto numeric = NumericZone(word)) return numeric;
    for (const auto& zone : kNamedZones) {
        if (EqualsIgnoringCase(word, zone.name)) return zone.minutes;
    }
    // "GMT+0100", "UTC-5:00"
    for (std::string_view prefix : {"GMT", "UTC", "UT"}) {
        if (word.size() > prefix.size() &&
            EqualsIgnoringCase(word.substr(0, prefix.size()), prefix)) {
            if (auto offset = NumericZone(word.substr(prefix.size()))) return offset;
        }
    }
    if (AllLetters(word) && word.size() <= 5) return 0;
    return std::nullopt;
}

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[static_cast<size_t>(month - 1)];
}

}  // namespace

TDateTime ParseRfc822Date(std::string_view text) {
    DateTimeParts parts;
    std::optional<int> day;
    std::optional<int> month;
    std::optional<int> year;
    bool haveTime = false;
    std::optional<int> zone;
    for (std::string_view word : Words(text)) {
        if (!haveTime && word.find(':') != std::string_view::npos && IsDigit(word.front())) {
            if (!ParseTime(word, parts)) return 0;
            haveTime = true;
        } else if (haveTime && (EqualsIgnoringCase(word, "AM") || EqualsIgnoringCase(word, "PM"))) {
            if (parts.hour < 1 || parts.hour > 12) return 0;
            parts.hour = parts.hour % 12 + (EqualsIgnoringCase(word, "PM") ? 12 : 0);
        } else if (AllDigits(word) && word.size() <= 4) {
            const int value = Number(word);
            // 1 or 2 digits name the day first; a second number, or one with 3 or 4 digits,
            // is the year.
            if (!day && word.size() <= 2 && value >= 1 && value <= 31) {
                day = value;
            } else if (!year) {
                year = word.size() == 2   ? (value < 50 ? 2000 + value : 1900 + value)
                       : word.size() == 3 ? 1900 + value
                                          : value;
            } else {
                return 0;
            }
        } else if (!month && MonthOf(word)) {
            month = MonthOf(word);
        } else if (haveTime && !zone && ZoneOf(word)) {
            zone = ZoneOf(word);
        } else if (zone || IsWeekday(word) || (word.size() == 1 && !IsLetter(word.front()))) {
            // Weekdays are not checked against the date; after the zone mailers add names
            // such as "MET DST"; a stray "-" or "." is punctuation.
            continue;
        } else {
            return 0;
        }
    }
    if (!day || !month || !year || *year < 1 || *day > DaysInMonth(*year, *month)) return 0;
    parts.year = *year;
    parts.month = *month;
    parts.day = *day;
    if (!zone) return EncodeDateTime(parts);
    std::tm tm = CalendarTime(parts);
    const std::time_t utc = timegm(&tm) - static_cast<std::time_t>(*zone) * 60;
    return DateTimeFromUnixTime(utc);
}

std::string FormatRfc822Date(TDateTime local) {
    const std::time_t instant = UnixTimeFromDateTime(local);
    std::tm tm{};
    int offsetMinutes = 0;
    if (localtime_r(&instant, &tm) != nullptr) {
        offsetMinutes = static_cast<int>(tm.tm_gmtoff / 60);
    } else {
        // Beyond what the C library converts: the date as it stands, without an offset.
        const DateTimeParts parts = DecodeDateTime(local);
        tm = CalendarTime(parts);
        // Day 0, 1899-12-30, was a Saturday.
        const auto days = static_cast<int64_t>(
            EncodeDateTime(DateTimeParts{parts.year, parts.month, parts.day, 0, 0, 0, 0}));
        tm.tm_wday = static_cast<int>((days % 7 + 7 + 6) % 7);
    }
    const int absOffset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d",
                  kWeekdays[static_cast<size_t>(tm.tm_wday)].data(), tm.tm_mday,
                  kMonthNames[static_cast<size_t>(tm.tm_mon)].data(), tm.tm_year + 1900, tm.tm_hour,
                  tm.tm_min, tm.tm_sec, offsetMinutes < 0 ? '-' : '+', absOffset / 60,
                  absOffset % 60);
    return buffer;
}

}  // namespace mailsift
