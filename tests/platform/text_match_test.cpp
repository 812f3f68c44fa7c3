#include "platform/text_match.h"

#include <gtest/gtest.h>

#include <string>

namespace mailsift {
namespace {

TEST(MatchesMask, MatchesWholeTextWithStars) {
    EXPECT_TRUE(MatchesMask("report.txt", "*.txt"));
    EXPECT_TRUE(MatchesMask("report.txt", "report*"));
    EXPECT_TRUE(MatchesMask("report.txt", "*"));
    EXPECT_TRUE(MatchesMask("", "*"));
    EXPECT_TRUE(MatchesMask("", "**"));
    EXPECT_TRUE(MatchesMask("", ""));
    EXPECT_TRUE(MatchesMask("a.b.c", "*.*.*"));
    EXPECT_TRUE(MatchesMask("From - Mon Jan", "From *"));
    EXPECT_TRUE(MatchesMask("C:\\Program Files\\x\\MSMAPI32.DLL", "*MSMAPI32.DLL*"));
    EXPECT_FALSE(MatchesMask("report.txt", "*.tx"));
    EXPECT_FALSE(MatchesMask("report.txt", "eport*"));
    EXPECT_FALSE(MatchesMask("report.txt", ""));
    EXPECT_FALSE(MatchesMask("", "?"));
    EXPECT_FALSE(MatchesMask("abc", "a*d*c"));
}

TEST(MatchesMask, QuestionMarkTakesOneCodePoint) {
    EXPECT_TRUE(MatchesMask("abc", "a?c"));
    EXPECT_FALSE(MatchesMask("ac", "a?c"));
    EXPECT_FALSE(MatchesMask("abbc", "a?c"));
    EXPECT_TRUE(MatchesMask("caf\xC3\xA9", "caf?"));
    EXPECT_FALSE(MatchesMask("caf\xC3\xA9", "caf??"));
    EXPECT_TRUE(
        MatchesMask("\xE2\x82\xAC"
                    "1",
                    "?1"));
    EXPECT_TRUE(MatchesMask("x\xF0\x9F\x98\x80y", "x?y"));
    EXPECT_TRUE(MatchesMask("x\xC3\xA9y", "*?y"));
    // A stray byte is a character of its own.
    EXPECT_TRUE(MatchesMask("a\xFFz", "a?z"));
    EXPECT_TRUE(MatchesMask("\xC3", "?"));
}

TEST(MatchesMask, FoldsAsciiCaseOnly) {
    EXPECT_TRUE(MatchesMask("User@Example.COM", "*@example.com"));
    EXPECT_TRUE(MatchesMask("msmapi32.dll", "MSMAPI32.DLL"));
    EXPECT_TRUE(MatchesMask("caf\xC3\xA9", "CAF\xC3\xA9"));
    EXPECT_FALSE(MatchesMask("caf\xC3\xA9", "CAF\xC3\x89"));
}

// A backtracking matcher would not come back from these; a linear one answers at once.
TEST(MatchesMask, PathologicalMasks) {
    const std::string text(100'000, 'a');
    EXPECT_FALSE(MatchesMask(text, "*a*a*a*a*b"));
    EXPECT_TRUE(MatchesMask(text + "b", "*a*a*a*a*b"));
    EXPECT_FALSE(MatchesMask(text, "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a?b"));
}

}  // namespace
}  // namespace mailsift
