#include "mime/header_list.h"

#include <algorithm>
#include <map>
#include <optional>

#include "mime/encoded_words.h"
#include "mime/text_util.h"

namespace mailsift {

namespace {

bool IsContinuation(std::string_view line) {
    return !line.empty() && IsBlank(line.front());
}

// Whether line starts a header called name; "Subject :" (blanks before the colon, an old
// form some mailers still write) counts.
bool StartsHeader(std::string_view line, std::string_view name) {
    if (IsContinuation(line)) return false;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view lineName = line.substr(0, colon);
    while (!lineName.empty() && IsBlank(lineName.back())) lineName.remove_suffix(1);
    return EqualsIgnoringCase(lineName, name);
}

// Appends text without its line breaks.
void AppendUnfolded(std::string_view text, std::string& out) {
    for (char c : text) {
        if (c != '\r' && c != '\n') out += c;
    }
}

}  // namespace

std::string TIdHeaderList::Value(std::string_view name) const {
    const auto first = std::find_if(Lines.begin(), Lines.end(),
                                    [name](const std::string& l) { return StartsHeader(l, name); });
    if (first == Lines.end()) return {};
    std::string value;
    AppendUnfolded(std::string_view(*first).substr(first->find(':') + 1), value);
    for (auto it = first + 1; it != Lines.end() && IsContinuation(*it); ++it) {
        AppendUnfolded(*it, value);
    }
    return std::string(TrimBlanks(value));
}

bool TIdHeaderList::Has(std::string_view name) const {
    return std::any_of(Lines.begin(), Lines.end(),
                       [name](const std::string& l) { return StartsHeader(l, name); });
}

void TIdHeaderList::SetValue(std::string_view name, std::string_view value) {
    const auto first = std::find_if(Lines.begin(), Lines.end(),
                                    [name](const std::string& l) { return StartsHeader(l, name); });
    auto last = first;
    if (first != Lines.end()) {
        ++last;
        while (last != Lines.end() && IsContinuation(*last)) ++last;
    }
    // Each line break in the value starts a continuation line. A piece that does not begin
    // with a blank gets one, so a value can never start a header of its own; empty pieces are
    // dropped because an empty line would end the header block.
    std::vector<std::string> lines;
    value = TrimBlanks(value);
    for (size_t pos = 0; pos < value.size();) {
        const size_t end = std::min(value.find_first_of("\r\n", pos), value.size());
        const std::string_view piece = value.substr(pos, end - pos);
        if (lines.empty()) {
            lines.push_back(std::string(name) + ": " + std::string(piece));
        } else if (!TrimBlanks(piece).empty()) {
            lines.push_back(IsBlank(piece.front()) ? std::string(piece) : " " + std::string(piece));
        }
        pos = end + 1;
    }
    if (first == Lines.end()) {
        for (auto& line : lines) Lines.push_back(std::move(line));
        return;
    }
    const auto at = Lines.erase(first, last);
    Lines.insert(at, std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
}

std::string TIdHeaderList::Text() const {
    size_t size = 0;
    for (const auto& line : Lines) size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const auto& line : Lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string MediaType(std::string_view contentType) {
    return std::string(TrimBlanks(contentType.substr(0, contentType.find(';'))));
}

std::string ValidContentType(std::string_view contentType) {
    const size_t parameters = contentType.find(';');
    const std::string_view type = TrimBlanks(contentType.substr(0, parameters));
    const size_t slash = type.find('/');
    if (slash != std::string_view::npos && slash > 0 && slash + 1 < type.size()) {
        return std::string(contentType);
    }
    std::string valid = "text/plain";
    if (parameters != std::string_view::npos) valid.append(contentType.substr(parameters));
    return valid;
}

namespace {

struct Parameter {
    std::string_view name;
    std::string value;  // unquoted, escapes resolved
};

// Splits 'type/sub; a=1; b="x;y"' into its parameters, honouring quoted strings. Stray text
// without "=" is skipped.
std::vector<Parameter> SplitParameters(std::string_view value) {
    std::vector<Parameter> parameters;
    size_t pos = value.find(';');
    while (pos < value.size()) {
        ++pos;  // past ';'
        const size_t nameEnd = value.find_first_of(";=", pos);
        if (nameEnd == std::string_view::npos || value[nameEnd] == ';') {
            pos = nameEnd;
            continue;
        }
        Parameter parameter;
        parameter.name = TrimBlanks(value.substr(pos, nameEnd - pos));
        pos = nameEnd + 1;
        pos = std::min(value.find_first_not_of(" \t\r\n", pos), value.size());
        if (pos < value.size() && value[pos] == '"') {
            for (++pos; pos < value.size() && value[pos] != '"'; ++pos) {
                if (value[pos] == '\\' && pos + 1 < value.size()) ++pos;
                parameter.value += value[pos];
            }
            // Whatever follows the closing quote up to the next ';' is junk.
            pos = value.find(';', pos);
        } else {
            const size_t end = std::min(value.find(';', pos), value.size());
            parameter.value = TrimBlanks(value.substr(pos, end - pos));
            pos = end;
        }
        parameters.push_back(std::move(parameter));
    }
    return parameters;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// One piece of an RFC 2231 value: "name*" (whole), "name*0", "name*1*" and so on.
struct Section {
    std::string value;
    bool encoded = false;
};

// Recognises name*, name*N and name*N* in attribute; the section number of name* is 0.
bool ParseSectionName(std::string_view attribute, std::string_view name, int& number, bool& encoded,
                      bool& continued) {
    if (attribute.size() <= name.size() ||
        !EqualsIgnoringCase(attribute.substr(0, name.size()), name) ||
        attribute[name.size()] != '*') {
        return false;
    }
    std::string_view rest = attribute.substr(name.size() + 1);
    if (rest.empty()) {
        number = 0;
        encoded = true;
        continued = false;
        return true;
    }
    encoded = rest.back() == '*';
    if (encoded) rest.remove_suffix(1);
    // More sections than any real header holds are damage, not data.
    constexpr size_t kMaxDigits = 4;
    if (rest.empty() || rest.size() > kMaxDigits ||
        !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    number = 0;
    for (char c : rest) number = number * 10 + (c - '0');
    continued = true;
    return true;
}

}  // namespace

std::string HeaderParameter(std::string_view value, std::string_view name) {
    std::optional<std::string> plain;
    std::map<int, Section> sections;
    for (auto& parameter : SplitParameters(value)) {
        int number = 0;
        bool encoded = false;
        bool continued = false;
        if (EqualsIgnoringCase(parameter.name, name)) {
            if (!plain) plain = std::move(parameter.value);
        } else if (ParseSectionName(parameter.name, name, number, encoded, continued)) {
            sections.try_emplace(number, Section{std::move(parameter.value), encoded});
        }
    }
    // The RFC 2231 form carries the exact name, so it wins over a plain fallback value.
    if (sections.empty() || sections.begin()->first != 0) return plain.value_or(std::string());
    std::string charset;
    std::string bytes;
    int expected = 0;
    for (auto& [number, section] : sections) {
        if (number != expected++) break;
        std::string_view text = section.value;
        if (section.encoded) {
            if (number == 0) {
                // charset'language'value; a value without both quotes is taken whole.
                const size_t first = text.find('\'');
                const size_t second =
                    first == std::string_view::npos ? first : text.find('\'', first + 1);
                if (second != std::string_view::npos) {
                    charset = text.substr(0, first);
                    text.remove_prefix(second + 1);
                }
            }
            bytes += PercentDecoded(text);
        } else {
            bytes += text;
        }
    }
    return ConvertToUtf8(bytes, charset);
}

}  // namespace mailsift
