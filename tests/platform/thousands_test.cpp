#include "platform/thousands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace mailsift {
namespace {

TEST(Thousands, GroupsDigitsFromTheRight) {
    EXPECT_EQ(FormatThousands(""), "");
    EXPECT_EQ(FormatThousands("1"), "1");
    EXPECT_EQ(FormatThousands("123"), "123");
    EXPECT_EQ(FormatThousands("1234"), "1,234");
    EXPECT_EQ(FormatThousands("123456"), "123,456");
    EXPECT_EQ(FormatThousands("1234567"), "1,234,567");
    EXPECT_EQ(FormatThousands("-1234"), "-1,234");
    EXPECT_EQ(FormatThousands("-123"), "-123");
    EXPECT_EQ(FormatThousands("-"), "-");
    EXPECT_EQ(FormatThousands(int64_t{0}), "0");
    EXPECT_EQ(FormatThousands(int64_t{-1234567}), "-1,234,567");
    EXPECT_EQ(FormatThousands(std::numeric_limits<int64_t>::min()), "-9,223,372,036,854,775,808");
}

TEST(Thousands, ParsesGroupedNumbers) {
    EXPECT_EQ(ParseThousands("1,234,567"), 1234567);
    EXPECT_EQ(ParseThousands("1234"), 1234);
    EXPECT_EQ(ParseThousands("-1,234"), -1234);
    EXPECT_EQ(ParseThousands("+12"), 12);
    EXPECT_EQ(ParseThousands("1,2,3"), 123);
    EXPECT_EQ(ParseThousands("9,223,372,036,854,775,807"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(ParseThousands(FormatThousands(int64_t{-987654321})), -987654321);
}

TEST(Thousands, ParseFailuresGiveZero) {
    EXPECT_EQ(ParseThousands(""), 0);
    EXPECT_EQ(ParseThousands(","), 0);
    EXPECT_EQ(ParseThousands("12a"), 0);
    EXPECT_EQ(ParseThousands(" 12"), 0);
    EXPECT_EQ(ParseThousands("1.5"), 0);
    EXPECT_EQ(ParseThousands("+-1"), 0);
    EXPECT_EQ(ParseThousands("9,223,372,036,854,775,808"), 0);
    EXPECT_EQ(ParseThousands("99999999999999999999999"), 0);
}

}  // namespace
}  // namespace mailsift
