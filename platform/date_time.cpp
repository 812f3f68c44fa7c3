#include "platform/date_time.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace mailsift {

namespace {

constexpr int64_t kMsPerDay = 86'400'000;
constexpr int64_t kSecondsPerDay = 86'400;
// Days from 1899-12-30 to 1970-01-01.
constexpr int64_t kUnixEpochDays = 25'569;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kFileTimeEpochSeconds = 11'644'473'600;
constexpr uint64_t kFileTimeTicksPerSecond = 10'000'000;
// About 270 million years either way: far beyond any real date, yet every year still fits
// an int and no intermediate result overflows.
constexpr double kLargestDayCount = 1e11;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil), valid
// for any year without the range limits of the C library.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + dayOfEra - 719'468;
}

void CivilFromDays(int64_t days, DateTimeParts& parts) {
    days += 719'468;
    const int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
    const int64_t dayOfEra = days - era * 146'097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    parts.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    parts.month = static_cast<int>(month);
    parts.year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

DateTimeParts PartsFromTm(const std::tm& tm, int millisecond) {
    DateTimeParts parts;
    parts.year = tm.tm_year + 1900;
    parts.month = tm.tm_mon + 1;
    parts.day = tm.tm_mday;
    parts.hour = tm.tm_hour;
    parts.minute = tm.tm_min;
    // A leap second is shown as the last ordinary second of its minute.
    parts.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    parts.millisecond = millisecond;
    return parts;
}

// The local date-time of an absolute time; plain UTC when the C library cannot convert it.
TDateTime LocalDateTime(std::time_t seconds, int millisecond) {
    std::tm tm{};
    if (localtime_r(&seconds, &tm) != nullptr) {
        return EncodeDateTime(PartsFromTm(tm, millisecond));
    }
    const auto utcSeconds = static_cast<int64_t>(seconds);
    const int64_t days =
        (utcSeconds >= 0 ? utcSeconds : utcSeconds - (kSecondsPerDay - 1)) / kSecondsPerDay;
    const int64_t secondOfDay = utcSeconds - days * kSecondsPerDay;
    const double time =
        static_cast<double>(secondOfDay * 1000 + millisecond) / static_cast<double>(kMsPerDay);
    const auto dayCount = static_cast<double>(days + kUnixEpochDays);
    return dayCount >= 0 ? dayCount + time : dayCount - time;
}

}  // namespace

TDateTime EncodeDateTime(const DateTimeParts& parts) {
    const int64_t days = DaysFromCivil(parts.year, parts.month, parts.day) + kUnixEpochDays;
    const int64_t ms =
        ((static_cast<int64_t>(parts.hour) * 60 + parts.minute) * 60 + parts.second) * 1000 +
        parts.millisecond;
    const double time = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
    // Before 1899-12-30 the day count is negative but the time of day still counts forward.
    return days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
}

DateTimeParts DecodeDateTime(TDateTime value) {
    DateTimeParts parts;
    if (!std::isfinite(value) || std::fabs(value) > kLargestDayCount) return parts;
    const double wholeDays = std::trunc(value);
    auto days = static_cast<int64_t>(wholeDays);
    // Rounding to whole milliseconds keeps 12:00:00.5 from showing as 12:00:00.499...
    auto ms = std::llround(std::fabs(value - wholeDays) * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        ++days;
    }
    CivilFromDays(days - kUnixEpochDays, parts);
    parts.millisecond = static_cast<int>(ms % 1000);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.minute = static_cast<int>(ms / 60'000 % 60);
    parts.hour = static_cast<int>(ms / 3'600'000);
    return parts;
}

std::tm CalendarTime(const DateTimeParts& parts) {
    std::tm tm{};
    tm.tm_year = parts.year - 1900;
    tm.tm_mon = parts.month - 1;
    tm.tm_mday = parts.day;
    tm.tm_hour = parts.hour;
    tm.tm_min = parts.minute;
    tm.tm_sec = parts.second;
    tm.tm_isdst = -1;
    return tm;
}

TDateTime DateTimeFromUnixTime(std::time_t utc) {
    return LocalDateTime(utc, 0);
}

std::time_t UnixTimeFromDateTime(TDateTime local) {
    const DateTimeParts parts = DecodeDateTime(local);
    // The wall-clock time read as if it were UTC, then moved by the zone's offset at that
    // instant. localtime_r looks the time zone up once per process, where mktime looks it up
    // again on every call (a file lookup each time): an export dates every file it writes.
    const std::time_t wall = static_cast<std::time_t>(
        DaysFromCivil(parts.year, parts.month, parts.day) * kSecondsPerDay + parts.hour * 3600 +
        parts.minute * 60 + parts.second);
    std::time_t utc = wall;
    // The second step settles a time whose offset differs from the one of its first guess
    // (the hours next to a change to or from summer time).
    for (int step = 0; step < 2; ++step) {
        std::tm tm{};
        if (localtime_r(&utc, &tm) == nullptr) return wall;
        utc = wall - tm.tm_gmtoff;
    }
    return utc;
}

TDateTime DateTimeFromFileTime(uint64_t fileTime) {
    if (fileTime == 0) return 0;
    const auto seconds =
        static_cast<int64_t>(fileTime / kFileTimeTicksPerSecond) - kFileTimeEpochSeconds;
    const auto millisecond = static_cast<int>(fileTime % kFileTimeTicksPerSecond / 10'000);
    return LocalDateTime(static_cast<std::time_t>(seconds), millisecond);
}

TDateTime NowDateTime() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    const int64_t seconds = (ms >= 0 ? ms : ms - 999) / 1000;
    return LocalDateTime(static_cast<std::time_t>(seconds), static_cast<int>(ms - seconds * 1000));
}

std::string FormatDate(TDateTime value) {
    const DateTimeParts parts = DecodeDateTime(value);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d", parts.day, parts.month, parts.year);
    return buffer;
}

std::string FormatShortTime(TDateTime value) {
    const DateTimeParts parts = DecodeDateTime(value);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d.%02d.%02d", parts.hour, parts.minute, parts.second);
    return buffer;
}

std::string FormatLongTime(TDateTime value) {
    const DateTimeParts parts = DecodeDateTime(value);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", parts.hour, parts.minute, parts.second);
    return buffer;
}

std::string FormatDateTime(TDateTime value) {
    const DateTimeParts parts = DecodeDateTime(value);
    std::string text = FormatDate(value);
    const bool midnight =
        parts.hour == 0 && parts.minute == 0 && parts.second == 0 && parts.millisecond == 0;
    if (!midnight) text += " " + FormatLongTime(value);
    return text;
}

}  // namespace mailsift
