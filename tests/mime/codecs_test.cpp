#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "mime/base64.h"
#include "mime/binhex.h"
#include "mime/mime_error.h"
#include "mime/quoted_printable.h"
#include "mime/uu_codec.h"

namespace mailsift {
namespace {

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string data(size, '\0');
    for (char& c : data) {
        c = static_cast<char>(byte(generator));
    }
    return data;
}

// Lines of text ended by CRLF; fails the test on a line without one.
std::vector<std::string> SplitCrlfLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const size_t end = text.find("\r\n");
        if (end == std::string_view::npos) {
            ADD_FAILURE() << "line without CRLF: " << text;
            break;
        }
        lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    return lines;
}

const std::vector<size_t> kSizes = {0,  1,  2,  3,   44,  45,  46,  56,  57,  58,
                                    89, 90, 91, 113, 114, 115, 134, 135, 136, 1000};

TEST(Base64Test, KnownVectors) {
    const std::vector<std::pair<std::string, std::string>> vectors = {{"", ""},
                                                                      {"f", "Zg=="},
                                                                      {"fo", "Zm8="},
                                                                      {"foo", "Zm9v"},
                                                                      {"foob", "Zm9vYg=="},
                                                                      {"fooba", "Zm9vYmE="},
                                                                      {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(EncodeBase64(plain), encoded);
        EXPECT_EQ(DecodeBase64(encoded), plain);
    }
    EXPECT_EQ(EncodeBase64("\xff\xfe\xfd"), "//79");
    EXPECT_EQ(DecodeBase64("//79"), "\xff\xfe\xfd");
}

TEST(Base64Test, LinesRoundTripForManySizes) {
    std::vector<size_t> sizes = kSizes;
    sizes.push_back(3 * 1024 * 1024 + 7);
    for (const size_t size : sizes) {
        const std::string data = RandomBytes(size, static_cast<unsigned>(size));
        std::string text;
        AppendBase64Lines(data, text);
        const std::vector<std::string> lines = SplitCrlfLines(text);
        ASSERT_EQ(lines.size(), (size + 56) / 57) << size;
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            ASSERT_EQ(lines[i].size(), 76U) << size;
        }
        EXPECT_EQ(DecodeBase64(text), data) << size;
        EXPECT_EQ(DecodeBase64(EncodeBase64(data)), data) << size;
    }
}

TEST(Base64Test, StreamsInPieces) {
    const std::string data = RandomBytes(57 * 40 + 11, 7);
    std::string whole;
    AppendBase64Lines(data, whole);
    std::string pieces;
    for (size_t offset = 0; offset < data.size(); offset += 57 * 3) {
        AppendBase64Lines(std::string_view(data).substr(offset, 57 * 3), pieces);
    }
    EXPECT_EQ(pieces, whole);

    // Decoding must not depend on where the reader cuts the text.
    for (const size_t step : {1, 2, 3, 5, 7, 13, 77, 78, 79}) {
        Base64Decoder decoder;
        std::string out;
        for (size_t offset = 0; offset < whole.size(); offset += step) {
            decoder.Decode(std::string_view(whole).substr(offset, step), out);
        }
        EXPECT_EQ(out, data) << step;
    }
}

TEST(Base64Test, SkipsDamageAndStopsAtPadding) {
    EXPECT_EQ(DecodeBase64("Zm!9v\r\n Ym*F\ty\n"), "foobar");
    EXPECT_EQ(DecodeBase64("Zm8=Zm9v"), "fo");
    EXPECT_EQ(DecodeBase64("Zm9vYg"), "foob");  // padding lost
    EXPECT_EQ(DecodeBase64("Z=m9v"), "foo");    // "=" where no group ends is noise
    EXPECT_EQ(DecodeBase64("Zm9vY"), "foo");    // six bits make no byte

    Base64Decoder decoder;
    std::string out;
    decoder.Decode("Zm9vYg=", out);
    decoder.Decode("=", out);
    decoder.Decode("\r\nZm9v", out);
    EXPECT_EQ(out, "foob");
    decoder.Reset();
    out.clear();
    decoder.Decode("Zm9v", out);
    EXPECT_EQ(out, "foo");
}

std::string DecodeQpLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        DecodeQuotedPrintableLine(line, out);
    }
    return out;
}

TEST(QuotedPrintableTest, DecodesEscapesSoftBreaksAndDamage) {
    // The soft-break example of RFC 2045.
    EXPECT_EQ(DecodeQpLines(
                  {"Now's the time =", "for all folk to come=", " to the aid of their country."}),
              "Now's the time for all folk to come to the aid of their country.\r\n");
    EXPECT_EQ(DecodeQpLines({"caf=C3=A9 =3D ok"}), "caf\xc3\xa9 = ok\r\n");
    EXPECT_EQ(DecodeQpLines({"lower =e9"}), "lower \xe9\r\n");
    EXPECT_EQ(DecodeQpLines({"padded  \t"}), "padded\r\n");
    EXPECT_EQ(DecodeQpLines({"soft= \t", "next"}), "softnext\r\n");
    EXPECT_EQ(DecodeQpLines({"bad =G1 =4"}), "bad =G1 =4\r\n");
    EXPECT_EQ(DecodeQpLines({"=", ""}), "\r\n");
}

TEST(QuotedPrintableTest, EncodedLinesStayShortAndSafe) {
    std::mt19937 generator(11);
    for (size_t length = 0; length < 400; length += 7) {
        std::string line = RandomBytes(length, static_cast<unsigned>(length));
        if (length % 2 == 0) {
            // Mostly plain text, so that long literal runs cross the line limit.
            for (char& c : line) {
                c = "ab. =\t"[generator() % 6];
            }
        }
        std::string encoded;
        AppendQuotedPrintableLine(line, encoded);
        const std::vector<std::string> lines = SplitCrlfLines(encoded);
        for (const std::string& out : lines) {
            EXPECT_LE(out.size(), 76U);
            EXPECT_FALSE(out.starts_with('.')) << out;
            if (!out.empty()) {
                EXPECT_NE(out.back(), ' ');
                EXPECT_NE(out.back(), '\t');
            }
            for (const char c : out) {
                EXPECT_TRUE((c >= 32 && c <= 126) || c == '\t') << static_cast<int>(c);
            }
        }
        EXPECT_EQ(DecodeQpLines(lines), line + "\r\n") << length;
    }
}

TEST(QuotedPrintableTest, EscapesWhatTransportWouldDamage) {
    std::string out;
    AppendQuotedPrintableLine(".hidden", out);
    AppendQuotedPrintableLine("end \t", out);
    AppendQuotedPrintableLine("a=b\tc", out);
    AppendQuotedPrintableLine("", out);
    EXPECT_EQ(out, "=2Ehidden\r\nend =09\r\na=3Db\tc\r\n\r\n");

    // A full line of 76 characters needs no soft break; one more does.
    out.clear();
    AppendQuotedPrintableLine(std::string(76, 'x'), out);
    EXPECT_EQ(out, std::string(76, 'x') + "\r\n");
    out.clear();
    AppendQuotedPrintableLine(std::string(75, 'x') + "..", out);
    EXPECT_EQ(out, std::string(75, 'x') + "=\r\n=2E.\r\n");
}

// Written by an independent encoder: a run of 0x90 bytes, a run of zeros, type and creator
// "????", an empty resource fork.
constexpr std::string_view kBinHexNote =
    "(This file must be converted with BinHex 4.0)\r\n"
    ":#'j[G'8ZG(Kd!$q3#!#3\"48!N!3[rdeKBj!!N!4dCAKd!*!')'9ZC+fk!!!:\r\n";
const std::string kBinHexNoteData("Mac\x90\x90\x90\x90text\0\0\0\0\0\0 end", 21);

TEST(BinHexTest, KnownVector) {
    EXPECT_EQ(EncodeBinHex(kBinHexNoteData, "note.txt"), kBinHexNote);
    EXPECT_EQ(DecodeBinHex(kBinHexNote), kBinHexNoteData);

    // Commentary before the data and other line ends are ignored.
    std::string relaxed = "From a forwarded note\n\n" + std::string(kBinHexNote);
    relaxed.replace(relaxed.find(":#'j"), 4, "  :#'j\n");
    EXPECT_EQ(DecodeBinHex(relaxed), kBinHexNoteData);
}

TEST(BinHexTest, RoundTripsRunsAndRandomData) {
    std::vector<std::string> samples;
    for (const size_t size : {0, 1, 2, 3, 64, 1000, 300000}) {
        samples.push_back(RandomBytes(size, static_cast<unsigned>(size)));
    }
    samples.push_back(std::string(1000, '\x90'));
    samples.push_back(std::string(600, 'a') + std::string(2, '\x90') + "bb" +
                      std::string(256, '\0'));
    for (const std::string& data : samples) {
        const std::string text = EncodeBinHex(data, std::string(80, 'n'));
        const std::vector<std::string> lines = SplitCrlfLines(text);
        ASSERT_GE(lines.size(), 2U);
        EXPECT_EQ(lines[0], "(This file must be converted with BinHex 4.0)");
        EXPECT_TRUE(lines[1].starts_with(':'));
        for (const std::string& line : lines) {
            EXPECT_LE(line.size(), 64U);
        }
        EXPECT_EQ(DecodeBinHex(text), data) << data.size();
    }
    EXPECT_LT(EncodeBinHex(std::string(100000, 'z'), "z").size(), 8000U);
}

TEST(BinHexTest, RejectsDamage) {
    const std::string text = EncodeBinHex(RandomBytes(500, 3), "damage.bin");
    auto expectError = [](const std::string& damaged, std::string_view why) {
        try {
            DecodeBinHex(damaged);
            ADD_FAILURE() << "no error for " << why;
        } catch (const MimeError& error) {
            EXPECT_NE(std::string(error.what()).find(why), std::string::npos) << error.what();
        }
    };
    expectError("(This file must be converted with BinHex 4.0)\r\nno data here\r\n", "start");
    expectError(text.substr(0, text.size() / 2), "truncated");
    expectError(text.substr(0, text.size() - 12) + ":\r\n", "truncated");

    std::string junk = text;
    junk[120] = 'o';  // not in the alphabet
    expectError(junk, "alphabet");

    std::string header = text;
    header[50] = header[50] == 'a' ? 'b' : 'a';
    expectError(header, "header CRC");

    // The data fork lies well past the header; the characters here encode its bytes.
    std::string data = text;
    const size_t at = text.size() / 2;
    data[at] = data[at] == 'a' ? 'b' : 'a';
    expectError(data, "data fork CRC");

    // A repeat marker with nothing before it to repeat.
    expectError(":N!8:", "repeat");
}

// Decodes lines until the decoder reports the end of the data.
std::string DecodeUuLines(const std::vector<std::string>& lines, UuAlphabet alphabet,
                          size_t& consumed) {
    std::string out;
    consumed = 0;
    while (consumed < lines.size() && DecodeUuLine(lines[consumed], alphabet, out)) {
        ++consumed;
    }
    return out;
}

TEST(UuTest, KnownVectors) {
    std::string out;
    AppendUuLines("Cat", UuAlphabet::Uue, out);
    EXPECT_EQ(out, "#0V%T\r\n");
    out.clear();
    AppendUuLines("Cat", UuAlphabet::Xxe, out);
    EXPECT_EQ(out, "1Eq3o\r\n");
    out.clear();
    AppendUuLines(std::string(3, '\0'), UuAlphabet::Uue, out);
    EXPECT_EQ(out, "#````\r\n");
    EXPECT_EQ(UuBeginText("cat.txt"), "begin 644 cat.txt\r\n");
    EXPECT_EQ(UuEndText(UuAlphabet::Uue), "`\r\nend\r\n");
    EXPECT_EQ(UuEndText(UuAlphabet::Xxe), "+\r\nend\r\n");
}

TEST(UuTest, RoundTripsBothAlphabets) {
    std::vector<size_t> sizes = kSizes;
    sizes.push_back(100000);
    for (const UuAlphabet alphabet : {UuAlphabet::Uue, UuAlphabet::Xxe}) {
        for (const size_t size : sizes) {
            const std::string data = RandomBytes(size, static_cast<unsigned>(size) + 5);
            std::string text;
            AppendUuLines(data, alphabet, text);
            text += UuEndText(alphabet);
            const std::vector<std::string> lines = SplitCrlfLines(text);
            size_t consumed = 0;
            EXPECT_EQ(DecodeUuLines(lines, alphabet, consumed), data) << size;
            EXPECT_EQ(consumed, (size + 44) / 45) << size;  // stopped at the empty line
            EXPECT_EQ(DetectUuAlphabet(lines[0]), alphabet) << size;
            std::string none;
            EXPECT_FALSE(DecodeUuLine("end", alphabet, none));
        }
    }
}

TEST(UuTest, ParsesBeginLines) {
    const auto parsed = ParseUuBeginLine("begin 644  my file.txt \t");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->Mode, "644");
    EXPECT_EQ(parsed->FileName, "my file.txt");
    ASSERT_TRUE(ParseUuBeginLine("begin\t0755 run.sh").has_value());
    EXPECT_EQ(ParseUuBeginLine("begin\t0755 run.sh")->Mode, "0755");
    for (const std::string_view line :
         {"begin 64 short", "begin 64444 long", "begin 648 octal", "beginning 644 x", "begin 644",
          "begin 644   ", "Begin 644 x", "begin-base64 644 x", "begin"}) {
        EXPECT_FALSE(ParseUuBeginLine(line).has_value()) << line;
    }
}

TEST(UuTest, DetectsAlphabetOfAmbiguousLines) {
    // Only characters both alphabets share: the length character decides.
    std::string xxe;
    AppendUuLines(std::string(3, '\0'), UuAlphabet::Xxe, xxe);
    EXPECT_EQ(xxe, "1++++\r\n");
    EXPECT_EQ(DetectUuAlphabet("1++++"), UuAlphabet::Xxe);
    EXPECT_EQ(DetectUuAlphabet("#0V%T"), UuAlphabet::Uue);
    EXPECT_EQ(DetectUuAlphabet("`"), UuAlphabet::Uue);
    EXPECT_EQ(DetectUuAlphabet("+"), UuAlphabet::Xxe);
}

TEST(UuTest, DamagedLinesStayInsideTheLine) {
    // An over-long length character on a short line: the bytes after the view must not count.
    const std::string buffer = "M0V%T0V%T" + std::string("0V%T0V%T");
    const std::string_view line = std::string_view(buffer).substr(0, 9);
    std::string out;
    EXPECT_TRUE(DecodeUuLine(line, UuAlphabet::Uue, out));
    // UUE reads missing characters as the blanks that transports strip.
    EXPECT_EQ(out, "CatCat" + std::string(39, '\0'));

    out.clear();
    EXPECT_TRUE(DecodeUuLine("hEq3oEq3o", UuAlphabet::Xxe, out));
    EXPECT_EQ(out, "CatCat");
    out.clear();
    EXPECT_TRUE(DecodeUuLine("hEq3oEq!o", UuAlphabet::Xxe, out));
    EXPECT_EQ(out, "CatC");

    // Trailing blanks that were data, stripped on the way.
    out.clear();
    EXPECT_TRUE(DecodeUuLine("&0V%T", UuAlphabet::Uue, out));
    EXPECT_EQ(out, std::string("Cat\0\0\0", 6));
    out.clear();
    EXPECT_TRUE(DecodeUuLine("~junk", UuAlphabet::Uue, out));
    EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace mailsift
