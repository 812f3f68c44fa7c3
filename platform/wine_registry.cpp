#include "platform/wine_registry.h"

#include <fstream>
#include <iterator>

#include "platform/environment.h"
#include "platform/text_case.h"

namespace mailsift {

namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;

void AppendUtf8(std::string& out, uint32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// Collects UTF-16 code units and whole code points as UTF-8, pairing surrogates; a surrogate
// without its partner becomes U+FFFD.
class Utf8Builder {
  public:
    void Unit(uint32_t unit) {
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            FlushPending();
            pendingHigh_ = unit;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            if (pendingHigh_ != 0) {
                AppendUtf8(out_, 0x10000 + ((pendingHigh_ - 0xD800) << 10) + (unit - 0xDC00));
                pendingHigh_ = 0;
            } else {
                AppendUtf8(out_, kReplacementCharacter);
            }
        } else {
            CodePoint(unit);
        }
    }
    void CodePoint(uint32_t codePoint) {
        FlushPending();
        AppendUtf8(out_, codePoint);
    }
    std::string Finish() {
        FlushPending();
        return std::move(out_);
    }

  private:
    void FlushPending() {
        if (pendingHigh_ != 0) AppendUtf8(out_, kReplacementCharacter);
        pendingHigh_ = 0;
    }

    std::string out_;
    uint32_t pendingHigh_ = 0;
};

// Length of a well-formed UTF-8 sequence at text[pos] and its code point; 0 when the bytes
// there are not one.
size_t DecodeUtf8(std::string_view text, size_t pos, uint32_t& codePoint) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
        codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    return length;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// "A\\b\\\\c\\" -> "A\\B\\C": the form keys are stored and looked up in.
std::string NormaliseKeyPath(std::string_view path) {
    std::string result;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find('\\', pos);
        if (end == std::string_view::npos) end = path.size();
        if (end > pos) {
            if (!result.empty()) result.push_back('\\');
            result.append(AsciiUpperCased(path.substr(pos, end - pos)));
        }
        pos = end + 1;
    }
    return result;
}

struct EscapedText {
    std::string text;  // UTF-8
    size_t end = 0;    // just after the closing delimiter
};

// A string as Wine writes it, from text[pos] up to the unescaped delimiter. Escaped code
// units are UTF-16; other bytes are taken as UTF-8 where they form it, else as Latin-1.
// nullopt when the delimiter never comes.
std::optional<EscapedText> ParseEscaped(std::string_view text, size_t pos, char delimiter) {
    Utf8Builder builder;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == delimiter) return EscapedText{builder.Finish(), pos + 1};
        if (c != '\\') {
            uint32_t codePoint = 0;
            const size_t length = DecodeUtf8(text, pos, codePoint);
            if (length == 0) {
                builder.CodePoint(static_cast<unsigned char>(c));
                ++pos;
            } else {
                builder.CodePoint(codePoint);
                pos += length;
            }
            continue;
        }
        if (++pos >= text.size()) return std::nullopt;
        const char escaped = text[pos++];
        switch (escaped) {
            case 'a':
                builder.Unit('\a');
                break;
            case 'b':
                builder.Unit('\b');
                break;
            case 'e':
                builder.Unit(0x1B);
                break;
            case 'f':
                builder.Unit('\f');
                break;
            case 'n':
                builder.Unit('\n');
                break;
            case 'r':
                builder.Unit('\r');
                break;
            case 't':
                builder.Unit('\t');
                break;
            case 'v':
                builder.Unit('\v');
                break;
            case 'x': {
                uint32_t unit = 0;
                size_t digits = 0;
                while (digits < 4 && pos < text.size() && HexDigitValue(text[pos]) >= 0) {
                    unit = unit * 16 + static_cast<uint32_t>(HexDigitValue(text[pos++]));
                    ++digits;
                }
                builder.Unit(digits == 0 ? 'x' : unit);
                break;
            }
            default:
                if (escaped >= '0' && escaped <= '7') {
                    uint32_t unit = static_cast<uint32_t>(escaped - '0');
                    for (int digits = 1;
                         digits < 3 && pos < text.size() && text[pos] >= '0' && text[pos] <= '7';
                         ++digits) {
                        unit = unit * 8 + static_cast<uint32_t>(text[pos++] - '0');
                    }
                    builder.Unit(unit);
                } else {
                    // "\\", "\"" and any other escaped byte stand for themselves.
                    --pos;
                    uint32_t codePoint = 0;
                    const size_t length = DecodeUtf8(text, pos, codePoint);
                    if (length == 0) {
                        builder.CodePoint(static_cast<unsigned char>(text[pos]));
                        ++pos;
                    } else {
                        builder.CodePoint(codePoint);
                        pos += length;
                    }
                }
                break;
        }
    }
    return std::nullopt;
}

// "01,ff, 2a" -> bytes; a trailing comma is tolerated, anything else that is not a byte of
// one or two hex digits makes the whole list damaged.
std::optional<std::string> ParseHexBytes(std::string_view text) {
    std::string bytes;
    text = TrimRight(TrimLeft(text));
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(',', pos);
        const bool last = end == std::string_view::npos;
        if (last) end = text.size();
        const std::string_view token = TrimRight(TrimLeft(text.substr(pos, end - pos)));
        if (token.empty() || token.size() > 2) return std::nullopt;
        int value = 0;
        for (char c : token) {
            const int digit = HexDigitValue(c);
            if (digit < 0) return std::nullopt;
            value = value * 16 + digit;
        }
        bytes.push_back(static_cast<char>(value));
        if (last) break;
        pos = end + 1;
        if (TrimLeft(text.substr(pos)).empty()) break;
    }
    return bytes;
}

// A number of one to eight hex digits filling the whole text (blanks around allowed).
std::optional<uint32_t> ParseHexNumber(std::string_view text) {
    text = TrimRight(TrimLeft(text));
    if (text.empty() || text.size() > 8) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

std::string DecodeUtf16Le(std::string_view bytes) {
    Utf8Builder builder;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        builder.Unit(static_cast<unsigned char>(bytes[i]) |
                     static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    }
    return builder.Finish();
}

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

// A reader of string values sees a string up to its first NUL; a multi-string keeps the NULs
// between its parts but not the terminating ones.
RegistryValue StringValue(std::string name, uint32_t type, std::string text) {
    RegistryValue value;
    value.name = std::move(name);
    if (type == kRegSz || type == kRegExpandSz) {
        value.type = type == kRegSz ? RegistryValueType::String : RegistryValueType::ExpandString;
        const size_t nul = text.find('\0');
        if (nul != std::string::npos) text.resize(nul);
    } else if (type == kRegMultiSz) {
        value.type = RegistryValueType::MultiString;
        while (!text.empty() && text.back() == '\0') text.pop_back();
    }
    value.data = std::move(text);
    return value;
}

RegistryValue BinaryValue(std::string name, uint32_t type, std::string bytes) {
    if (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz) {
        return StringValue(std::move(name), type, DecodeUtf16Le(bytes));
    }
    RegistryValue value;
    value.name = std::move(name);
    if (type == kRegDword && bytes.size() == 4) {
        uint32_t number = 0;
        for (size_t i = 4; i-- > 0;) number = number << 8 | static_cast<unsigned char>(bytes[i]);
        value.type = RegistryValueType::Dword;
        value.data = std::to_string(number);
        return value;
    }
    value.type = type == kRegBinary ? RegistryValueType::Binary : RegistryValueType::Other;
    value.data = std::move(bytes);
    return value;
}

class LineReader {
  public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        line = TrimRight(text_.substr(pos_, end - pos_));
        pos_ = end + 1;
        return true;
    }

  private:
    std::string_view text_;
    size_t pos_ = 0;
};

// The bytes of a hex value, whose list goes on over following lines while a line ends in "\".
std::optional<std::string> ReadHexList(std::string_view first, LineReader& reader) {
    std::string list(first);
    std::string_view next;
    while (!list.empty() && list.back() == '\\') {
        list.pop_back();
        if (!reader.Next(next)) break;
        list.append(TrimLeft(next));
    }
    return ParseHexBytes(list);
}

// One value line (with its continuation lines); nullopt when damaged.
std::optional<RegistryValue> ParseValue(std::string_view line, LineReader& reader) {
    std::string name;
    size_t pos = 0;
    if (line.front() == '@') {
        pos = 1;
    } else {
        auto parsed = ParseEscaped(line, 1, '"');
        if (!parsed) return std::nullopt;
        name = std::move(parsed->text);
        pos = parsed->end;
    }
    std::string_view rest = TrimLeft(line.substr(pos));
    if (rest.empty() || rest.front() != '=') return std::nullopt;
    rest = TrimLeft(rest.substr(1));

    if (StartsWith(rest, "\"")) {
        auto text = ParseEscaped(rest, 1, '"');
        if (!text) return std::nullopt;
        return StringValue(std::move(name), kRegSz, std::move(text->text));
    }
    if (StartsWith(rest, "str(")) {
        const size_t close = rest.find("):\"");
        if (close == std::string_view::npos) return std::nullopt;
        const auto type = ParseHexNumber(rest.substr(4, close - 4));
        if (!type) return std::nullopt;
        auto text = ParseEscaped(rest, close + 3, '"');
        if (!text) return std::nullopt;
        return StringValue(std::move(name), *type, std::move(text->text));
    }
    if (StartsWith(rest, "dword:")) {
        const auto number = ParseHexNumber(rest.substr(6));
        if (!number) return std::nullopt;
        RegistryValue value;
        value.name = std::move(name);
        value.type = RegistryValueType::Dword;
        value.data = std::to_string(*number);
        return value;
    }
    uint32_t type = kRegBinary;
    if (StartsWith(rest, "hex:")) {
        rest.remove_prefix(4);
    } else if (StartsWith(rest, "hex(")) {
        const size_t close = rest.find("):");
        if (close == std::string_view::npos) return std::nullopt;
        const auto number = ParseHexNumber(rest.substr(4, close - 4));
        if (!number) return std::nullopt;
        type = *number;
        rest.remove_prefix(close + 2);
    } else {
        return std::nullopt;
    }
    // The continuation lines belong to this value even when its list turns out damaged.
    auto bytes = ReadHexList(rest, reader);
    if (!bytes) return std::nullopt;
    return BinaryValue(std::move(name), type, std::move(*bytes));
}

}  // namespace

RegistryView RegistryView::OpenHive(RegistryHive hive) {
    const char* file = hive == RegistryHive::CurrentUser ? "/user.reg" : "/system.reg";
    return LoadFile(WinePrefix() + file);
}

RegistryView RegistryView::LoadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return RegistryView();
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return RegistryView();
    return Parse(text);
}

RegistryView RegistryView::Parse(std::string_view text) {
    RegistryView view;
    LineReader reader(text);
    std::string_view line;
    if (!reader.Next(line)) return view;
    if (StartsWith(line, "\xEF\xBB\xBF")) line.remove_prefix(3);
    // Anything else is not a Wine registry file, whatever it may hold further down.
    if (line != "WINE REGISTRY Version 2") return view;

    Key* current = nullptr;
    while (reader.Next(line)) {
        line = TrimLeft(line);
        if (line.empty()) continue;
        if (line.front() == '[') {
            // Values under a damaged key line belong to no key we know, so they are dropped.
            current = nullptr;
            auto path = ParseEscaped(line, 1, ']');
            if (path) current = &view.keys_[NormaliseKeyPath(path->text)];
            continue;
        }
        if (line.front() != '@' && line.front() != '"') continue;
        auto value = ParseValue(line, reader);
        if (!value || current == nullptr) continue;
        // A name given twice keeps its first place and its last data, as when Wine loads it.
        auto [slot, added] =
            current->valueIndex.try_emplace(AsciiUpperCased(value->name), current->values.size());
        if (added) {
            current->values.push_back(std::move(*value));
        } else {
            current->values[slot->second] = std::move(*value);
        }
    }
    return view;
}

const RegistryView::Key* RegistryView::FindKey(std::string_view keyPath) const {
    const auto found = keys_.find(NormaliseKeyPath(keyPath));
    return found == keys_.end() ? nullptr : &found->second;
}

bool RegistryView::HasKey(std::string_view keyPath) const {
    const std::string path = NormaliseKeyPath(keyPath);
    if (path.empty()) return !keys_.empty();
    if (keys_.find(path) != keys_.end()) return true;
    // Wine leaves out keys that hold only subkeys; such a key exists when a path below it does.
    const std::string below = path + '\\';
    const auto next = keys_.lower_bound(below);
    return next != keys_.end() && StartsWith(next->first, below);
}

std::optional<std::vector<RegistryValue>> RegistryView::Values(std::string_view keyPath) const {
    if (const Key* key = FindKey(keyPath)) return key->values;
    if (HasKey(keyPath)) return std::vector<RegistryValue>();
    return std::nullopt;
}

std::optional<std::string> RegistryView::ReadString(std::string_view keyPath,
                                                    std::string_view valueName) const {
    const Key* key = FindKey(keyPath);
    if (key == nullptr) return std::nullopt;
    const auto found = key->valueIndex.find(AsciiUpperCased(valueName));
    if (found == key->valueIndex.end()) return std::nullopt;
    const RegistryValue& value = key->values[found->second];
    if (value.type != RegistryValueType::String && value.type != RegistryValueType::ExpandString &&
        value.type != RegistryValueType::MultiString) {
        return std::nullopt;
    }
    return value.data;
}

}  // namespace mailsift
