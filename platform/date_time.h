#pragma once
#include <cstdint>
#include <ctime>
#include <string>

namespace mailsift {

// A point in local time as days since 1899-12-30 00:00; the fraction is the time of day.
// Negative values count days before that date, their fraction still being a positive time.
using TDateTime = double;

struct DateTimeParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

TDateTime EncodeDateTime(const DateTimeParts& parts);
DateTimeParts DecodeDateTime(TDateTime value);

// The C library's broken-down time of parts, daylight saving left for the library to find.
std::tm CalendarTime(const DateTimeParts& parts);

// Conversions between the local day count and absolute times.
TDateTime DateTimeFromUnixTime(std::time_t utc);
std::time_t UnixTimeFromDateTime(TDateTime local);
// A Windows file time (100 ns ticks since 1601-01-01 UTC) as local time; 0 stays 0.
TDateTime DateTimeFromFileTime(uint64_t fileTime);
TDateTime NowDateTime();

// "dd.mm.yyyy", "hh.mm.ss" and the long time "hh:mm:ss" (24-hour clock).
std::string FormatDate(TDateTime value);
std::string FormatShortTime(TDateTime value);
std::string FormatLongTime(TDateTime value);
// The date, a blank and the long time; only the date when the time is exactly midnight.
std::string FormatDateTime(TDateTime value);

}  // namespace mailsift
