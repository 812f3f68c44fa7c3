#include <gtest/gtest.h>

#include <ctime>
#include <ostream>
#include <string>

#include "mime/address_headers.h"
#include "mime/encoded_words.h"
#include "mime/header_list.h"
#include "mime/rfc822_date.h"
#include "support/scoped_env.h"

namespace mailsift {

void PrintTo(const TIdEmailAddressItem& item, std::ostream* out) {
    *out << "{\"" << item.Name << "\", \"" << item.Address << "\"}";
}

namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

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

// Central European time as a rule, so no zone database is needed.
constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

TDateTime Local(int year, int month, int day, int hour, int minute, int second) {
    return EncodeDateTime(DateTimeParts{year, month, day, hour, minute, second, 0});
}

TEST(HeaderList, LooksUpFirstHeaderCaseInsensitivelyWithContinuations) {
    TIdHeaderList headers;
    headers.Lines = {
        "Subject: Hello",   "\tbig",         " world ",           "X-Empty:", "subject: second",
        "To: a@x,\r\n b@y", "Cc : old@form", "From a@x Tue 17:23"};
    EXPECT_EQ(headers.Value("SUBJECT"), "Hello\tbig world");
    EXPECT_EQ(headers.Value("to"), "a@x, b@y");
    EXPECT_EQ(headers.Value("Cc"), "old@form");
    EXPECT_TRUE(headers.Has("x-empty"));
    EXPECT_EQ(headers.Value("X-Empty"), "");
    EXPECT_FALSE(headers.Has("From"));
    EXPECT_FALSE(headers.Has("Missing"));
    EXPECT_EQ(headers.Value("Missing"), "");
}

TEST(HeaderList, SetValueReplacesAFoldedHeaderInPlace) {
    TIdHeaderList headers;
    headers.Lines = {"From: a", "Subject: one", "\ttwo", " three", "To: b", "Subject: later"};
    headers.SetValue("Subject", "new");
    EXPECT_EQ(headers.Lines,
              (std::vector<std::string>{"From: a", "Subject: new", "To: b", "Subject: later"}));

    headers.SetValue("To", "=?UTF-8?B?w6k=?=\r\n =?UTF-8?B?w6k=?=");
    EXPECT_EQ(headers.Lines, (std::vector<std::string>{
                                 "From: a", "Subject: new",
                                 "To: =?UTF-8?B?w6k=?=", " =?UTF-8?B?w6k=?=", "Subject: later"}));
    EXPECT_EQ(headers.Value("To"), "=?UTF-8?B?w6k=?= =?UTF-8?B?w6k=?=");

    headers.SetValue("X-New", "appended");
    EXPECT_EQ(headers.Lines.back(), "X-New: appended");

    // A line break in a value must not start a header of its own, nor end the block.
    headers.SetValue("X-New", "a\r\nBcc: evil@x\r\n\r\nbody");
    EXPECT_FALSE(headers.Has("Bcc"));
    EXPECT_EQ(headers.Value("X-New"), "a Bcc: evil@x body");
    EXPECT_EQ(headers.Text().find("\r\n\r\n"), std::string::npos);
}

TEST(HeaderList, EmptyValueDeletesTheFirstHeaderWithItsContinuations) {
    TIdHeaderList headers;
    headers.Lines = {"Received: one", " continued", "X-A: 1", "received: two"};
    headers.SetValue("Received", "");
    EXPECT_EQ(headers.Lines, (std::vector<std::string>{"X-A: 1", "received: two"}));
    headers.SetValue("Absent", " \t ");
    EXPECT_EQ(headers.Text(), "X-A: 1\r\nreceived: two\r\n");
}

TEST(HeaderList, ParametersHonourQuotesEscapesAndContinuations) {
    const std::string type = "multipart/mixed ; Boundary=\"a;b=c\\\"d\"; charset = utf-8 ";
    EXPECT_EQ(MediaType(type), "multipart/mixed");
    EXPECT_EQ(HeaderParameter(type, "boundary"), "a;b=c\"d");
    EXPECT_EQ(HeaderParameter(type, "CHARSET"), "utf-8");
    EXPECT_EQ(HeaderParameter(type, "name"), "");
    EXPECT_EQ(HeaderParameter("text/plain; xname=1; name=2", "name"), "2");
    EXPECT_EQ(HeaderParameter("text/plain; junk; name=\"unclosed", "name"), "unclosed");

    // The RFC 2231 form wins over the plain fallback and is decoded from its character set.
    EXPECT_EQ(HeaderParameter("attachment; filename=\"fallback.txt\"; "
                              "filename*=iso-8859-1'de'M%FCller%20%E9.txt",
                              "filename"),
              "Müller é.txt");
    EXPECT_EQ(HeaderParameter("attachment; filename*1*=%C3%A9.txt; filename*0*=utf-8''caf; "
                              "filename*2=\" (2)\"",
                              "filename"),
              "café.txt (2)");
    // A gap in the section numbers ends the value.
    EXPECT_EQ(HeaderParameter("a; name*0=one; name*2=three", "name"), "one");
}

TEST(EncodedWord, DecodesWordsInManyCharacterSets) {
    EXPECT_EQ(DecodeHeader("=?utf-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?="), "Grüße aus Köln");
    EXPECT_EQ(DecodeHeader("=?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_K=c3=b6ln?="), "Grüße aus Köln");
    EXPECT_EQ(DecodeHeader("=?iso-8859-1?q?Caf=E9?="), "Café");
    EXPECT_EQ(DecodeHeader("=?ISO-8859-2?Q?=A3=F3d=BC?="), "Łódź");
    EXPECT_EQ(DecodeHeader("=?koi8-r?B?8NLJ18XU?="), "Привет");
    EXPECT_EQ(DecodeHeader("=?windows-1251?Q?=CF=F0=E8=E2=E5=F2_=EC=E8=F0?="), "Привет мир");
    EXPECT_EQ(DecodeHeader("=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?="), "日本語");
    EXPECT_EQ(DecodeHeader("=?big5?B?pKSk5Q==?="), "中文");
    EXPECT_EQ(DecodeHeader("=?gb2312?B?1tDOxA==?="), "中文");
    // A language suffix is no part of the character set.
    EXPECT_EQ(DecodeHeader("=?utf-8*de?Q?K=C3=B6ln?="), "Köln");
}

TEST(EncodedWord, JoinsAdjacentWordsAndKeepsOtherText) {
    EXPECT_EQ(DecodeHeader("=?utf-8?q?a?= \t\r\n =?utf-8?q?b?="), "ab");
    EXPECT_EQ(DecodeHeader("Re: =?utf-8?q?a_b?= and =?utf-8?q?c?= end"), "Re: a b and c end");
    // A character that a mailer split between two words still decodes.
    EXPECT_EQ(DecodeHeader("=?utf-8?q?caf=C3?= =?UTF-8?q?=A9?="), "café");
    EXPECT_EQ(DecodeHeader("=?iso-8859-1?q?=E9?= =?koi8-r?q?=F0?="), "éП");
    EXPECT_EQ(DecodeHeader("=?=?utf-8?q?x?="), "=?x");
}

TEST(EncodedWord, LeavesMalformedWordsAsTheyStand) {
    for (const char* raw : {"=?utf-8?x?abc?=", "=?utf-8?q?abc", "=??q?abc?=", "=?utf-8?q?a b?=",
                            "=?utf-8?qq?abc?=", "=?", "a =?utf-8?q?", "?= =?"}) {
        EXPECT_EQ(DecodeHeader(raw), raw);
    }
    EXPECT_EQ(DecodeHeader("=?utf-8?q?100=?="), "100=");
    EXPECT_EQ(DecodeHeader("=?utf-8?q?=4?="), "=4");
}

TEST(EncodedWord, FallsBackForUnknownCharsetsAndDamagedBytes) {
    EXPECT_EQ(DecodeHeader("=?x-unknown?q?caf=C3=A9?="), "café");
    EXPECT_EQ(DecodeHeader("=?x-unknown?q?caf=E9?="), "café");
    EXPECT_EQ(DecodeHeader("=?us-ascii?q?caf=E9_=80?="), "café €");
    // Names that are no character set never reach iconv.
    EXPECT_EQ(DecodeHeader("=?UTF-8//TRANSLIT?q?=E9?="), "é");
    EXPECT_EQ(DecodeHeader("=?utf-8?q?a=FFb?="), "a" + kReplacement + "b");
    EXPECT_EQ(ConvertToUtf8("ab\xE6\x97", "utf-8"), "ab" + kReplacement);
    EXPECT_EQ(ConvertToUtf8("x\x82", "shift_jis"), "x" + kReplacement);
    EXPECT_EQ(ConvertToUtf8("\x82\xA0", "Shift_JIS"), "あ");
    // Raw 8-bit text outside encoded words: UTF-8 stays, other bytes are Windows-1252.
    EXPECT_EQ(DecodeHeader("Grüße"), "Grüße");
    EXPECT_EQ(DecodeHeader("Gr\xFC\xDF"
                           "e \x93q\x94"),
              "Grüße “q”");
    EXPECT_EQ(DecodeHeader("\x1B$BF|K\\8l\x1B(B!"), "日本語!");
    // Latin-1 bytes that Windows-1252 leaves undefined are kept as the controls they are.
    EXPECT_EQ(ConvertToUtf8("a\x81\x80", "iso-8859-1"), "a\xC2\x81€");
}

TEST(EncodedWord, EncodesOnlyWhatNeedsIt) {
    EXPECT_EQ(EncodeHeader("Plain subject, (with) specials"), "Plain subject, (with) specials");
    EXPECT_EQ(EncodeHeader("Hi Grüße  und Köln ok"),
              "Hi =?UTF-8?B?R3LDvMOfZQ==?=  und =?UTF-8?B?S8O2bG4=?= ok");
    // Blanks between two encoded words would vanish on reading, so they go inside the word.
    EXPECT_EQ(EncodeHeader("Grüße Köln!"), "=?UTF-8?B?R3LDvMOfZSBLw7ZsbiE=?=");
    for (const std::string text : {"Hi Grüße  und Köln ok", "=?utf-8?q?x?= literal",
                                   "line\r\nBcc: x@y", " lead and trail é "}) {
        EXPECT_EQ(DecodeHeader(EncodeHeader(text)), text) << text;
    }
    EXPECT_EQ(EncodeHeader("line\r\nBcc: x@y").find('\n'), std::string::npos);
}

TEST(EncodedWord, SplitsLongTextIntoWholeCharacterWords) {
    std::string text;
    for (int i = 0; i < 40; ++i) text += "äöü€𝄞";
    const std::string encoded = EncodeHeader(text);
    EXPECT_EQ(DecodeHeader(encoded), text);
    size_t start = 0;
    int words = 0;
    while (start < encoded.size()) {
        const size_t end = std::min(encoded.find("\r\n ", start), encoded.size());
        const std::string word = encoded.substr(start, end - start);
        EXPECT_LE(word.size(), 75u);
        // Each word decodes on its own, without replacement characters.
        EXPECT_EQ(DecodeHeader(word).find(kReplacement), std::string::npos) << word;
        ++words;
        start = end + 3;
    }
    EXPECT_GT(words, 10);
}

TEST(EncodedWord, HostileLengthsStayLinear) {
    std::string words;
    for (int i = 0; i < 100'000; ++i) words += "=?utf-8?q?=C3=A9?= ";
    std::string expected;
    for (int i = 0; i < 100'000; ++i) expected += "é";
    EXPECT_EQ(DecodeHeader(words), expected + " ");

    std::string openers;
    for (int i = 0; i < 300'000; ++i) openers += "=?a?";
    EXPECT_EQ(DecodeHeader(openers), openers);
    const std::string long8bit(1 << 20, '\xE9');
    EXPECT_EQ(DecodeHeader(long8bit).size(), long8bit.size() * 2);
}

TEST(Address, QuotedNamesKeepTheirCommasAndEscapes) {
    const auto list =
        ParseAddressList("\"Smith, John\" <john@x.org>, \"A \\\"B\\\" C\" <b@y>,Plain Name <p@z>");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], (TIdEmailAddressItem{"Smith, John", "john@x.org"}));
    EXPECT_EQ(list[1], (TIdEmailAddressItem{"A \"B\" C", "b@y"}));
    EXPECT_EQ(list[2], (TIdEmailAddressItem{"Plain Name", "p@z"}));
    // A quoted local part belongs to the address.
    EXPECT_EQ(ParseAddress("\"john smith\"@x.org").Address, "\"john smith\"@x.org");
}

TEST(Address, CommentsNameAddressesWithoutDisplayNames) {
    const auto list =
        ParseAddressList("ann@x (Ann (at work)), (lead) <bob@y> (Bob), Carl (c) <carl@z>");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], (TIdEmailAddressItem{"Ann (at work)", "ann@x"}));
    EXPECT_EQ(list[1], (TIdEmailAddressItem{"lead", "bob@y"}));
    EXPECT_EQ(list[2], (TIdEmailAddressItem{"Carl", "carl@z"}));
    EXPECT_EQ(ParseAddress("john . smith @ example . com").Address, "john.smith@example.com");
    EXPECT_EQ(ParseAddress("(unclosed, comment a@x").Address, "");
}

TEST(Address, GroupsGiveTheirMembers) {
    const auto list = ParseAddressList("Team: a@x, B <b@y>;, c@z, undisclosed-recipients:;");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Address, "a@x");
    EXPECT_EQ(list[1], (TIdEmailAddressItem{"B", "b@y"}));
    EXPECT_EQ(list[2].Address, "c@z");
    EXPECT_TRUE(ParseAddressList("Empty group:;").empty());
    EXPECT_TRUE(ParseAddressList("(only a comment), ,").empty());
    // A colon after an address is damage, not a group name that swallows it.
    EXPECT_EQ(ParseAddressList("A <a@x>: b@y, c@y: d@y").size(), 4u);
    EXPECT_TRUE(ParseAddressList("").empty());
}

TEST(Address, EncodedNamesWithCommasStayWhole) {
    const auto list = ParseAddressList(
        "=?utf-8?q?M=C3=BCller=2C_Hans?= <h@x>, =?iso-8859-1?q?Smith,_J=E9?= <j@y>, "
        "\"=?utf-8?b?w6k=?= \" <e@z>, =?utf-8?q?a?= =?utf-8?q?b?= <ab@z>");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], (TIdEmailAddressItem{"Müller, Hans", "h@x"}));
    EXPECT_EQ(list[1], (TIdEmailAddressItem{"Smith, Jé", "j@y"}));
    EXPECT_EQ(list[2].Name, "é ");
    EXPECT_EQ(list[3].Name, "ab");
}

TEST(Address, ToleratesObsoleteAndDamagedLists) {
    const auto list = ParseAddressList(
        ",, <@relay.a,@relay.b:user@x> ;; John Smith john@y , Jo <jo@z> <k@z>, Lost <l@z, "
        "not an address, Ann <ann@z>\r\n  bob@z");
    ASSERT_EQ(list.size(), 8u);
    EXPECT_EQ(list[0], (TIdEmailAddressItem{"", "user@x"}));
    EXPECT_EQ(list[1], (TIdEmailAddressItem{"John Smith", "john@y"}));
    EXPECT_EQ(list[2], (TIdEmailAddressItem{"Jo", "jo@z"}));
    EXPECT_EQ(list[3], (TIdEmailAddressItem{"", "k@z"}));
    EXPECT_EQ(list[4], (TIdEmailAddressItem{"Lost", "l@z"}));
    EXPECT_EQ(list[5], (TIdEmailAddressItem{"", "not an address"}));
    EXPECT_EQ(list[6], (TIdEmailAddressItem{"Ann", "ann@z"}));
    EXPECT_EQ(list[7], (TIdEmailAddressItem{"", "bob@z"}));
    EXPECT_EQ(ParseAddress("").Address, "");
}

TEST(Address, FormatsWhatItParsesBack) {
    const TIdEmailAddressList list = {{"Smith, John", "j@x"},
                                      {"Plain", "p@x"},
                                      {"", "bare@x"},
                                      {"Say \"hi\"\\", "q@x"},
                                      {"Müller, Hans (IT)", "h@x"},
                                      {"=?not?q?encoded?=", "n@x"},
                                      {"Bad\r\nBcc: x@y", "b@x"}};
    EXPECT_EQ(list[0].Text(), "\"Smith, John\" <j@x>");
    EXPECT_EQ(list[1].Text(), "Plain <p@x>");
    EXPECT_EQ(list[2].Text(), "bare@x");
    EXPECT_EQ(list[3].Text(), "\"Say \\\"hi\\\"\\\\\" <q@x>");
    const std::string encoded = FormatAddressList(list, true);
    for (char c : encoded) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
    EXPECT_EQ(encoded.find("\nBcc"), std::string::npos);
    EXPECT_EQ(ParseAddressList(encoded), list);
    EXPECT_EQ(ParseAddressList(FormatAddressList(list, false))[4], list[4]);
}

TEST(Address, HostileInputEnds) {
    const std::string nested = std::string(200'000, '(') + "x" + std::string(200'000, ')') + "a@b";
    EXPECT_EQ(ParseAddress(nested).Address, "a@b");
    std::string many;
    for (int i = 0; i < 50'000; ++i) many += "\"n,\" <a@b>, =?utf-8?q?x?= <c@d>, ";
    EXPECT_EQ(ParseAddressList(many).size(), 100'000u);
    EXPECT_EQ(ParseAddressList(std::string(1 << 20, '<')).size(), 0u);
    // A closing parenthesis without its comment once made the parser stand still.
    EXPECT_EQ(ParseAddressList(") a@b )"), (TIdEmailAddressList{{"", "a@b"}}));
}

TEST(Rfc822Date, ZonesAreRemovedWhenTheLocalClockIsUtc) {
    ScopedTimeZone zone("UTC0");
    const TDateTime expected = Local(2026, 12, 8, 16, 23, 54);
    EXPECT_EQ(ParseRfc822Date("Tue, 08 Dec 2026 17:23:54 +0100"), expected);
    EXPECT_EQ(ParseRfc822Date("08 Dec 2026 16:23:54 GMT"), expected);
    EXPECT_EQ(ParseRfc822Date("Tue, 8 Dec 2026 11:23:54 EST"), expected);
    EXPECT_EQ(ParseRfc822Date("Tue, 8 Dec 2026 12:23:54 -0400 (EDT)"), expected);
    EXPECT_EQ(ParseRfc822Date("Wed, 9 Dec 2026 01:53:54 +0930"), expected);
    EXPECT_EQ(ParseRfc822Date("Tue, 8 Dec 2026 07:53:54 -0830"), expected);
    EXPECT_EQ(ParseRfc822Date("tuesday, 8 december 26 16:23:54 z"), expected);
    EXPECT_EQ(ParseRfc822Date("Tue Dec  8 16:23:54 2026"), expected);
    EXPECT_EQ(ParseRfc822Date("Tue, 8 Dec 2026 4:23:54 PM +0000"), expected);
    EXPECT_EQ(ParseRfc822Date("8 Dec 1999 16:23 GMT"), Local(1999, 12, 8, 16, 23, 0));
    EXPECT_EQ(ParseRfc822Date("8 Dec 99 16:23:60 GMT"), Local(1999, 12, 8, 16, 23, 59));
}

TEST(Rfc822Date, ConvertsToTheLocalZoneOfThatDay) {
    ScopedTimeZone zone(kCentralEurope);
    EXPECT_EQ(ParseRfc822Date("Tue, 08 Dec 2026 17:23:54 +0000"), Local(2026, 12, 8, 18, 23, 54));
    EXPECT_EQ(ParseRfc822Date("Mon, 15 Jun 2026 12:00:00 GMT"), Local(2026, 6, 15, 14, 0, 0));
    EXPECT_EQ(ParseRfc822Date("Mon, 15 Jun 2026 12:00:00 -0830"), Local(2026, 6, 15, 22, 30, 0));
    // Without a zone the text already is local time.
    EXPECT_EQ(ParseRfc822Date("15 Jun 2026 12:00:00"), Local(2026, 6, 15, 12, 0, 0));
    // Unknown names and military letters read as UTC.
    EXPECT_EQ(ParseRfc822Date("15 Jun 2026 12:00:00 XYZ"), Local(2026, 6, 15, 14, 0, 0));
    EXPECT_EQ(ParseRfc822Date("15 Jun 2026 12:00:00 A"), Local(2026, 6, 15, 14, 0, 0));
}

TEST(Rfc822Date, GarbageGivesZero) {
    ScopedTimeZone zone("UTC0");
    for (const char* text :
         {"", "hello world", "31 Feb 2026 10:00 GMT", "8 Dec 2026 24:00:00 GMT",
          "8 Foo 2026 10:00 GMT", "8 Dec 10:00 GMT", "Dec 2026 10:00", "8 Dec 2026 10:99",
          "8 Dec 2026 1:2:3:4", "8 8 8 Dec", "99999999999 Dec 2026", "(8 Dec 2026 10:00)"}) {
        EXPECT_EQ(ParseRfc822Date(text), 0.0) << text;
    }
}

TEST(Rfc822Date, FormatsWithTheOffsetOfThatDay) {
    ScopedTimeZone zone(kCentralEurope);
    EXPECT_EQ(FormatRfc822Date(Local(2026, 12, 8, 17, 23, 54)), "Tue, 08 Dec 2026 17:23:54 +0100");
    EXPECT_EQ(FormatRfc822Date(Local(2026, 6, 1, 9, 5, 0)), "Mon, 01 Jun 2026 09:05:00 +0200");
    const TDateTime moment = Local(2026, 3, 29, 12, 0, 0);
    EXPECT_EQ(ParseRfc822Date(FormatRfc822Date(moment)), moment);
    ScopedTimeZone newfoundland("NST3:30");
    EXPECT_EQ(FormatRfc822Date(Local(2000, 2, 29, 0, 0, 1)), "Tue, 29 Feb 2000 00:00:01 -0330");
}

}  // namespace
}  // namespace mailsift
