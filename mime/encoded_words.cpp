#include "mime/encoded_words.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <vector>

#include "mime/base64.h"
#include "mime/text_util.h"
#include "platform/text_case.h"

namespace mailsift {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
// Longer names are no character set; iconv is not asked about them.
constexpr size_t kMaxCharsetLength = 40;

// Length of the valid UTF-8 sequence at text[pos], 0 when there is none (overlong forms,
// surrogates and values above U+10FFFF are invalid).
size_t Utf8SequenceLength(std::string_view text, size_t pos) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    if (byte(pos + 1) < low || byte(pos + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) return 0;
    }
    return length;
}

bool IsValidUtf8(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
        const size_t length = Utf8SequenceLength(text, pos);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Raw ISO-2022-JP as some Japanese mailers put it into headers: 7-bit text with the escape
// sequences that switch to JIS X 0208 or JIS X 0201.
bool HasIso2022JpEscapes(std::string_view text) {
    return text.find("\x1B$B") != std::string_view::npos ||
           text.find("\x1B$@") != std::string_view::npos ||
           text.find("\x1B(J") != std::string_view::npos;
}

bool IsCharsetName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxCharsetLength &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_' || c == '.' || c == ':' || c == '+';
           });
}

// Labels whose text is in practice written in a superset: mailers that claim these send the
// extra characters of the superset too, and iconv would reject them under the narrow name.
std::string IconvName(std::string_view charset) {
    struct Alias {
        std::string_view label;
        std::string_view name;
    };
    static constexpr std::array kAliases{
        Alias{"ISO-8859-1", "CP1252"}, Alias{"ISO8859-1", "CP1252"},
        Alias{"LATIN1", "CP1252"},     Alias{"GB2312", "GB18030"},
        Alias{"GBK", "GB18030"},       Alias{"X-GBK", "GB18030"},
        Alias{"EUC-KR", "CP949"},      Alias{"KS_C_5601-1987", "CP949"},
        Alias{"SHIFT_JIS", "CP932"},   Alias{"SHIFT-JIS", "CP932"},
        Alias{"X-SJIS", "CP932"},      Alias{"SJIS", "CP932"},
    };
    const std::string upper = AsciiUpperCased(charset);
    for (const auto& alias : kAliases) {
        if (upper == alias.label) return std::string(alias.name);
    }
    return upper;
}

bool IsAsciiLabel(std::string_view upper) {
    return upper.empty() || upper == "US-ASCII" || upper == "ASCII" || upper == "ANSI_X3.4-1968";
}

// One iconv conversion descriptor into UTF-8, closed on destruction.
class Utf8Converter {
  public:
    explicit Utf8Converter(const std::string& iconvName)
        : cd_(iconv_open("UTF-8", iconvName.c_str())), windows1252_(iconvName == "CP1252") {}
    ~Utf8Converter() {
        if (Valid()) iconv_close(cd_);
    }
    Utf8Converter(const Utf8Converter&) = delete;
    Utf8Converter& operator=(const Utf8Converter&) = delete;

    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Every round either consumes input, writes output or ends the loop, so damage cannot
    // make it spin.
    void Convert(std::string_view bytes, std::string& out) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
        std::array<char, 4096> buffer{};
        // iconv takes a non-const input pointer but never writes through it.
        char* in = const_cast<char*>(bytes.data());
        size_t inLeft = bytes.size();
        while (inLeft > 0) {
            char* outPtr = buffer.data();
            size_t outLeft = buffer.size();
            const size_t result = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            const auto written = static_cast<size_t>(outPtr - buffer.data());
            out.append(buffer.data(), written);
            if (result != static_cast<size_t>(-1)) continue;
            if (error == E2BIG && written > 0) continue;
            const auto byte = static_cast<unsigned char>(*in);
            // The five bytes Windows-1252 leaves undefined read as the C1 controls of the same
            // value, as ISO-8859-1 has them, so labelled Latin-1 text never loses a byte.
            if (error == EILSEQ && windows1252_ && byte >= 0x80 && byte <= 0x9F) {
                out += '\xC2';
                out += static_cast<char>(byte);
            } else {
                out += kReplacement;
            }
            if (error == EILSEQ) {
                ++in;
                --inLeft;
                continue;
            }
            // EINVAL: the input ends inside a character; anything else: iconv cannot go on.
            return;
        }
    }

  private:
    iconv_t cd_;
    bool windows1252_;
};

// A few open descriptors for one header: adjacent words usually share a character set, and
// opening a descriptor per word would cost more than decoding it.
class ConverterCache {
  public:
    // nullptr when iconv does not know the name.
    Utf8Converter* Get(const std::string& iconvName) {
        for (auto& entry : entries_) {
            if (entry.name == iconvName) return entry.converter.get();
        }
        auto converter = std::make_unique<Utf8Converter>(iconvName);
        if (!converter->Valid()) converter.reset();
        if (entries_.size() == kCapacity) entries_.erase(entries_.begin());
        entries_.push_back(Entry{iconvName, std::move(converter)});
        return entries_.back().converter.get();
    }

  private:
    static constexpr size_t kCapacity = 4;
    struct Entry {
        std::string name;
        std::unique_ptr<Utf8Converter> converter;
    };
    std::vector<Entry> entries_;
};

// Without a converter (an iconv that lacks the character set) ASCII still reads and every
// other byte becomes U+FFFD.
void AppendConverted(std::string_view bytes, Utf8Converter* converter, std::string& out) {
    if (converter != nullptr) {
        converter->Convert(bytes, out);
        return;
    }
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80) {
            out += c;
        } else {
            out += kReplacement;
        }
    }
}

// Text whose character set is not known: raw ISO-2022-JP when it has its escapes, UTF-8 when
// it is valid UTF-8, else Windows-1252, the most common 8-bit text in mail.
void AppendUnlabelled(std::string_view bytes, ConverterCache& cache, std::string& out) {
    if (IsAscii(bytes)) {
        if (HasIso2022JpEscapes(bytes)) {
            AppendConverted(bytes, cache.Get("ISO-2022-JP"), out);
        } else {
            out += bytes;
        }
    } else if (IsValidUtf8(bytes)) {
        out += bytes;
    } else {
        AppendConverted(bytes, cache.Get("CP1252"), out);
    }
}

void AppendInCharset(std::string_view bytes, std::string_view charset, ConverterCache& cache,
                     std::string& out) {
    const std::string name = IconvName(charset);
    if (IsAsciiLabel(name) || !IsCharsetName(name)) {
        AppendUnlabelled(bytes, cache, out);
        return;
    }
    if (name == "UTF-8" || name == "UTF8") {
        // Valid UTF-8 needs no conversion; iconv still replaces damaged sequences.
        if (IsValidUtf8(bytes)) {
            out += bytes;
            return;
        }
    }
    Utf8Converter* converter = cache.Get(name);
    if (converter == nullptr) {
        AppendUnlabelled(bytes, cache, out);
    } else {
        converter->Convert(bytes, out);
    }
}

struct EncodedWord {
    size_t end = 0;  // one past the closing "?="
    std::string_view charset;
    char encoding = 0;  // 'B' or 'Q'
    std::string_view text;
};

// Recognises "=?charset[*language]?B|Q?text?=" at text[pos]. Every scan stops at the third
// "?" after pos or at a blank, so failed attempts at nearby positions cannot add up to more
// than linear work.
bool MatchEncodedWord(std::string_view text, size_t pos, EncodedWord& word) {
    if (text.compare(pos, 2, "=?") != 0) return false;
    const size_t charsetStart = pos + 2;
    size_t i = charsetStart;
    while (i < text.size() && text[i] != '?' && i - charsetStart <= kMaxCharsetLength &&
           !IsBlankOrLineBreak(text[i])) {
        ++i;
    }
    if (i >= text.size() || text[i] != '?' || i == charsetStart) return false;
    std::string_view charset = text.substr(charsetStart, i - charsetStart);
    charset = charset.substr(0, charset.find('*'));  // RFC 2231 language suffix
    if (i + 2 >= text.size() || text[i + 2] != '?') return false;
    const char encoding = AsciiUpper(text[i + 1]);
    if (encoding != 'B' && encoding != 'Q') return false;
    const size_t textStart = i + 3;
    size_t j = textStart;
    while (j < text.size() && text[j] != '?' && !IsBlankOrLineBreak(text[j])) ++j;
    if (j + 1 >= text.size() || text[j] != '?' || text[j + 1] != '=') return false;
    word.end = j + 2;
    word.charset = charset;
    word.encoding = encoding;
    word.text = text.substr(textStart, j - textStart);
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void AppendQDecoded(std::string_view text, std::string& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;  // a stray "=" is kept as it stands
        }
    }
}

}  // namespace

std::string ConvertToUtf8(std::string_view bytes, std::string_view charset) {
    ConverterCache cache;
    std::string out;
    out.reserve(bytes.size());
    AppendInCharset(bytes, charset, cache, out);
    return out;
}

std::string DecodeHeader(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    ConverterCache cache;
    // Decoded bytes of a run of adjacent words in one character set wait here, so a character
    // that a mailer split across two words still converts whole.
    std::string pending;
    std::string pendingCharset;
    const auto flush = [&] {
        if (!pending.empty()) AppendInCharset(pending, pendingCharset, cache, out);
        pending.clear();
    };
    size_t plainStart = 0;
    bool afterWord = false;
    size_t pos = raw.find("=?");
    while (pos != std::string_view::npos) {
        EncodedWord word;
        if (!MatchEncodedWord(raw, pos, word)) {
            pos = raw.find("=?", pos + 1);
            continue;
        }
        const std::string_view between = raw.substr(plainStart, pos - plainStart);
        const bool onlyBlanks = std::all_of(between.begin(), between.end(), IsBlankOrLineBreak);
        if (!(afterWord && onlyBlanks)) {
            flush();
            AppendUnlabelled(between, cache, out);
        }
        if (!EqualsIgnoringCase(word.charset, pendingCharset)) {
            flush();
            pendingCharset = word.charset;
        }
        if (word.encoding == 'B') {
            pending += DecodeBase64(word.text);
        } else {
            AppendQDecoded(word.text, pending);
        }
        afterWord = true;
        plainStart = word.end;
        pos = raw.find("=?", word.end);
    }
    flush();
    AppendUnlabelled(raw.substr(plainStart), cache, out);
    return out;
}

namespace {

// What a header may carry unencoded: printable ASCII and TAB. A word that merely looks like
// an encoded word is encoded too, or reading it back would decode it.
bool NeedsEncoding(std::string_view word) {
    const bool unprintable = std::any_of(word.begin(), word.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x7F || (byte < 0x20 && c != '\t');
    });
    return unprintable || word.find("=?") != std::string_view::npos;
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string EncodeWords(std::string_view utf8) {
    // 75 characters at most: "=?UTF-8?B?" and "?=" leave 63, i.e. 15 groups of 4 = 45 bytes.
    constexpr size_t kBytesPerWord = 45;
    std::string out;
    size_t pos = 0;
    while (pos < utf8.size()) {
        size_t end = std::min(pos + kBytesPerWord, utf8.size());
        if (end < utf8.size()) {
            // Each word must hold whole characters: cut before the lead byte of the character
            // that would be split. Damaged text without any lead byte is cut where it falls.
            size_t cut = end;
            while (cut > pos && IsContinuationByte(utf8[cut])) --cut;
            if (cut > pos) end = cut;
        }
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?";
        out += EncodeBase64(utf8.substr(pos, end - pos));
        out += "?=";
        pos = end;
    }
    return out;
}

std::string EncodeHeader(std::string_view utf8) {
    if (!NeedsEncoding(utf8)) return std::string(utf8);
    std::string out;
    size_t pos = 0;
    while (pos < utf8.size()) {
        // Blanks between words stay as they are, unless they lie inside a run of words that
        // are encoded together.
        const size_t wordStart = std::min(utf8.find_first_not_of(" \t", pos), utf8.size());
        out += utf8.substr(pos, wordStart - pos);
        if (wordStart == utf8.size()) break;
        size_t wordEnd = std::min(utf8.find_first_of(" \t", wordStart), utf8.size());
        if (!NeedsEncoding(utf8.substr(wordStart, wordEnd - wordStart))) {
            out += utf8.substr(wordStart, wordEnd - wordStart);
            pos = wordEnd;
            continue;
        }
        size_t runEnd = wordEnd;
        while (runEnd < utf8.size()) {
            const size_t next = utf8.find_first_not_of(" \t", runEnd);
            if (next == std::string_view::npos) break;
            const size_t nextEnd = std::min(utf8.find_first_of(" \t", next), utf8.size());
            if (!NeedsEncoding(utf8.substr(next, nextEnd - next))) break;
            runEnd = nextEnd;
        }
        out += EncodeWords(utf8.substr(wordStart, runEnd - wordStart));
        pos = runEnd;
    }
    return out;
}

}  // namespace mailsift
