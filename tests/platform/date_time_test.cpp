#include "platform/date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "support/scoped_env.h"

namespace mailsift {
namespace {

// Sets TZ for one test and makes the C library see the change both ways.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) : env_("TZ", zone) { tzset(); }

  private:
    struct Reset {
        ~Reset() { tzset(); }
    } reset_;  // destroyed after env_ has restored TZ
    test::ScopedEnv env_;
};

DateTimeParts Parts(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                    int millisecond = 0) {
    return DateTimeParts{year, month, day, hour, minute, second, millisecond};
}

void ExpectParts(const DateTimeParts& actual, const DateTimeParts& expected) {
    EXPECT_EQ(actual.year, expected.year);
    EXPECT_EQ(actual.month, expected.month);
    EXPECT_EQ(actual.day, expected.day);
    EXPECT_EQ(actual.hour, expected.hour);
    EXPECT_EQ(actual.minute, expected.minute);
    EXPECT_EQ(actual.second, expected.second);
    EXPECT_EQ(actual.millisecond, expected.millisecond);
}

TEST(DateTime, EncodesDayCountsAcrossLeapYears) {
    EXPECT_EQ(EncodeDateTime(Parts(1899, 12, 30)), 0.0);
    EXPECT_EQ(EncodeDateTime(Parts(1900, 1, 1)), 2.0);
    // 1900 is no leap year, 2000 and 2024 are.
    EXPECT_EQ(EncodeDateTime(Parts(1900, 3, 1)) - EncodeDateTime(Parts(1900, 2, 28)), 1.0);
    EXPECT_EQ(EncodeDateTime(Parts(2000, 2, 29)), 36585.0);
    EXPECT_EQ(EncodeDateTime(Parts(2024, 2, 29, 12)), 45351.5);
    EXPECT_EQ(EncodeDateTime(Parts(9999, 12, 31)), 2958465.0);
    EXPECT_EQ(EncodeDateTime(Parts(1, 1, 1)), -693593.0);
}

TEST(DateTime, DecodesWhatItEncodes) {
    const DateTimeParts samples[] = {
        Parts(1899, 12, 30),
        Parts(2000, 2, 29, 23, 59, 59, 999),
        Parts(2024, 2, 29, 12, 0, 0, 500),
        Parts(1900, 3, 1, 0, 0, 1),
        Parts(1600, 2, 29, 6, 30),
        Parts(1, 1, 1, 18),
        Parts(9999, 12, 31, 23, 59, 59, 999),
    };
    for (const auto& sample : samples) {
        SCOPED_TRACE(sample.year);
        ExpectParts(DecodeDateTime(EncodeDateTime(sample)), sample);
    }
    // Values that are not exact in binary still come out on the whole millisecond.
    ExpectParts(DecodeDateTime(EncodeDateTime(Parts(2010, 6, 1, 10, 20, 30))),
                Parts(2010, 6, 1, 10, 20, 30));
    ExpectParts(DecodeDateTime(1.0 - 1e-12), Parts(1899, 12, 31));
}

TEST(DateTime, NegativeDaysKeepAForwardTimeOfDay) {
    EXPECT_EQ(EncodeDateTime(Parts(1899, 12, 29, 6)), -1.25);
    ExpectParts(DecodeDateTime(-1.25), Parts(1899, 12, 29, 6));
    ExpectParts(DecodeDateTime(-36463.75), Parts(1800, 3, 1, 18));
    // Just before midnight of 1899-12-29 rounds forward into 1899-12-30.
    ExpectParts(DecodeDateTime(-1.0 - (1.0 - 1e-12)), Parts(1899, 12, 30));
}

TEST(DateTime, UnusableValuesDecodeWithoutFaults) {
    ExpectParts(DecodeDateTime(std::nan("")), Parts(1899, 12, 30));
    ExpectParts(DecodeDateTime(INFINITY), Parts(1899, 12, 30));
    EXPECT_EQ(FormatDate(1e300), "30.12.1899");
}

TEST(DateTime, ConvertsAbsoluteTimesInUtc) {
    ScopedTimeZone zone("UTC");
    EXPECT_EQ(DateTimeFromUnixTime(0), 25569.0);
    EXPECT_EQ(DateTimeFromUnixTime(1589710830), EncodeDateTime(Parts(2020, 5, 17, 10, 20, 30)));
    EXPECT_EQ(UnixTimeFromDateTime(EncodeDateTime(Parts(2020, 5, 17, 10, 20, 30))), 1589710830);
    EXPECT_EQ(UnixTimeFromDateTime(EncodeDateTime(Parts(1969, 12, 31, 23, 59, 59))), -1);

    EXPECT_EQ(DateTimeFromFileTime(0), 0.0);
    constexpr uint64_t kUnixEpochFileTime = 116444736000000000;
    EXPECT_EQ(DateTimeFromFileTime(kUnixEpochFileTime), 25569.0);
    ExpectParts(
        DecodeDateTime(DateTimeFromFileTime(kUnixEpochFileTime + 864'000'000'000 + 12'345'678)),
        Parts(1970, 1, 2, 0, 0, 1, 234));
    ExpectParts(DecodeDateTime(DateTimeFromFileTime(1)), Parts(1601, 1, 1));
}

TEST(DateTime, FollowsDaylightSavingTime) {
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    for (const std::time_t utc : {std::time_t{1719835200}, std::time_t{1704110400}}) {
        std::tm local{};
        ASSERT_NE(localtime_r(&utc, &local), nullptr);
        const DateTimeParts expected = Parts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                             local.tm_hour, local.tm_min, local.tm_sec);
        ExpectParts(DecodeDateTime(DateTimeFromUnixTime(utc)), expected);
        EXPECT_EQ(UnixTimeFromDateTime(DateTimeFromUnixTime(utc)), utc);
    }
    // Summer noon in UTC is 14:00 here, winter noon 13:00.
    EXPECT_EQ(DecodeDateTime(DateTimeFromUnixTime(1719835200)).hour, 14);
    EXPECT_EQ(DecodeDateTime(DateTimeFromUnixTime(1704110400)).hour, 13);
    const uint64_t summerFileTime = (1719835200ULL + 11644473600ULL) * 10'000'000;
    EXPECT_EQ(DateTimeFromFileTime(summerFileTime), DateTimeFromUnixTime(1719835200));
}

TEST(DateTime, FormatsDatesAndTimes) {
    const TDateTime value = EncodeDateTime(Parts(2024, 3, 5, 7, 8, 9, 999));
    EXPECT_EQ(FormatDate(value), "05.03.2024");
    EXPECT_EQ(FormatShortTime(value), "07.08.09");
    EXPECT_EQ(FormatLongTime(value), "07:08:09");
    EXPECT_EQ(FormatLongTime(EncodeDateTime(Parts(2024, 3, 5, 23, 0, 5))), "23:00:05");
    EXPECT_EQ(FormatDate(-1.25), "29.12.1899");
}

TEST(DateTime, DateTimeTextLeavesOutMidnight) {
    EXPECT_EQ(FormatDateTime(EncodeDateTime({2024, 3, 5, 0, 0, 0, 0})), "05.03.2024");
    EXPECT_EQ(FormatDateTime(EncodeDateTime({2024, 3, 5, 13, 4, 9, 0})), "05.03.2024 13:04:09");
    EXPECT_EQ(FormatDateTime(EncodeDateTime({1999, 12, 31, 0, 0, 1, 0})),
              "31.12.1999 00:00:01");
    EXPECT_EQ(FormatDateTime(EncodeDateTime({1999, 12, 31, 0, 0, 0, 500})),
              "31.12.1999 00:00:00");
}

TEST(DateTime, NowIsCloseToTheSystemClock) {
    const TDateTime now = NowDateTime();
    const TDateTime fromTime = DateTimeFromUnixTime(std::time(nullptr));
    EXPECT_LT(std::fabs(now - fromTime), 5.0 / 86400);
}

}  // namespace
}  // namespace mailsift
