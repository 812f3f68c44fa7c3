#include "config/key_file.h"

#include <optional>
#include <vector>

#include "config/text_file.h"
#include "platform/text_case.h"

namespace mailsift {

namespace {

bool IsSeparator(char c) {
    return c == '\t' || c == ' ' || c == '=';
}

bool LineHasKey(std::string_view line, std::string_view key) {
    if (line.size() <= key.size() || !IsSeparator(line[key.size()])) return false;
    return EqualsIgnoringCase(line.substr(0, key.size()), key);
}

std::string RawValue(std::string_view line) {
    if (line.size() < 3) return {};
    size_t start = line.find_first_of("\t =:");
    if (start == std::string_view::npos) return {};
    return std::string(line.substr(start + 1));
}

std::string Normalise(std::string_view raw) {
    size_t first = 0;
    while (first < raw.size() && IsSeparator(raw[first])) ++first;

    std::string collapsed;
    for (size_t i = first; i < raw.size(); ++i) {
        if (IsSeparator(raw[i]) && i > first && IsSeparator(raw[i - 1])) continue;
        collapsed += raw[i];
    }
    if (!collapsed.empty() && IsSeparator(collapsed.back())) collapsed.pop_back();

    std::string value;
    for (size_t i = 0; i < collapsed.size();) {
        if (collapsed.compare(i, 3, "/ln") == 0) {
            value += "\r\n";
            i += 3;
        } else {
            value += collapsed[i++];
        }
    }
    return value;
}

std::string NotSetMarker(std::string_view key) {
    return "%" + std::string(key);
}

std::string ValueOfLine(std::string_view line, std::string_view key) {
    std::string value = Normalise(RawValue(line));
    return value.empty() ? NotSetMarker(key) : value;
}

std::string KeyLine(std::string_view key, std::string_view value) {
    std::string line(key);
    line += '\t';
    line += value;
    return line;
}

// A stored value keeps to one line: every line break (CR LF, LF or CR) becomes "/ln".
std::string EncodeLineBreaks(std::string_view value) {
    std::string encoded;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' || value[i] == '\n') {
            encoded += "/ln";
            if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
        } else {
            encoded += value[i];
        }
    }
    return encoded;
}

std::optional<std::vector<std::string>> LoadLines(const std::string& file) {
    std::optional<std::string> text = ReadTextFile(file);
    if (!text) return std::nullopt;
    return SplitLines(*text);
}

void SaveLines(const std::string& file, const std::vector<std::string>& lines) {
    WriteTextFile(file, JoinLines(lines));
}

std::optional<size_t> FindKeyLine(const std::vector<std::string>& lines, std::string_view key,
                                  size_t from) {
    for (size_t i = from; i < lines.size(); ++i) {
        if (LineHasKey(lines[i], key)) return i;
    }
    return std::nullopt;
}

}  // namespace

int& KeyCursor() {
    static int cursor = -1;
    return cursor;
}

std::string ReadKey(const std::string& file, std::string_view key) {
    std::optional<std::vector<std::string>> lines = LoadLines(file);
    if (!lines) {
        SaveLines(file, {KeyLine(key, "")});
        KeyCursor() = -1;
        return NotSetMarker(key);
    }
    std::optional<size_t> found = FindKeyLine(*lines, key, 0);
    if (!found) {
        lines->push_back(KeyLine(key, ""));
        SaveLines(file, *lines);
        KeyCursor() = -1;
        return NotSetMarker(key);
    }
    KeyCursor() = static_cast<int>(*found);
    return ValueOfLine((*lines)[*found], key);
}

std::string ReadNextKey(const std::string& file, std::string_view key) {
    std::optional<std::vector<std::string>> lines = LoadLines(file);
    if (!lines) {
        SaveLines(file, {KeyLine(key, "")});
        return NotSetMarker(key);
    }
    if (KeyCursor() < 0) return NotSetMarker(key);
    std::optional<size_t> found = FindKeyLine(*lines, key, static_cast<size_t>(KeyCursor()) + 1);
    if (!found) return NotSetMarker(key);
    KeyCursor() = static_cast<int>(*found);
    return ValueOfLine((*lines)[*found], key);
}

bool WriteKey(const std::string& file, std::string_view key, std::string_view value) {
    std::vector<std::string> lines = LoadLines(file).value_or(std::vector<std::string>{});
    std::string line = KeyLine(key, EncodeLineBreaks(value));
    if (std::optional<size_t> found = FindKeyLine(lines, key, 0)) {
        lines[*found] = std::move(line);
        KeyCursor() = static_cast<int>(*found);
    } else {
        lines.push_back(std::move(line));
        KeyCursor() = -1;
    }
    SaveLines(file, lines);
    return true;
}

std::string GetField(std::string_view text, int n) {
    constexpr std::string_view separators = "\t =:";
    std::string_view rest = text;
    for (int i = 1; i < n && !rest.empty(); ++i) {
        size_t cut = rest.find_first_of(separators);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    }
    std::string field(rest.substr(0, rest.find_first_of(separators)));
    return field.empty() ? "%" + std::to_string(n) : field;
}

std::string RemoveNulChars(std::string_view text) {
    std::string result(text);
    std::erase(result, '\0');
    return result;
}

bool IsNotSet(std::string_view value) {
    return !value.empty() && value.front() == '%';
}

}  // namespace mailsift
