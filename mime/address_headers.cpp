#include "mime/address_headers.h"

#include <algorithm>

#include "mime/encoded_words.h"
#include "mime/text_util.h"

namespace mailsift {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Characters that end an atom; '@', '.' and brackets stay inside so that "a.b@[1.2.3.4]" and
// "John Q. Public" read as the words they are.
bool EndsAtom(char c) {
    return IsSpace(c) || c == '(' || c == ')' || c == '<' || c == '>' || c == '"' || c == ',' ||
           c == ';' || c == ':';
}

// The end of the encoded word "=?charset?X?text?=" at pos, or pos when there is none. The scan
// stops at blanks and at the third "?", so it costs no more than the word it finds.
size_t EncodedWordEnd(std::string_view text, size_t pos) {
    if (text.compare(pos, 2, "=?") != 0) return pos;
    size_t i = pos + 2;
    for (int questionMarks = 0; i < text.size() && !IsSpace(text[i]); ++i) {
        if (text[i] != '?') continue;
        if (++questionMarks == 3) break;
    }
    return i + 1 < text.size() && text[i] == '?' && text[i + 1] == '=' ? i + 2 : pos;
}

struct Token {
    std::string_view raw;  // as written, quotes included
    std::string value;     // quotes removed, escapes resolved
    bool quoted = false;
    bool spaceBefore = false;  // blanks or a comment separate it from the token before
};

// A run of tokens written together, such as the parts of "john.smith@example.com" or of the
// obsolete spaced form "john . smith @ example.com".
struct Segment {
    std::string raw;
    std::string value;
    bool hasAt = false;
};

class AddressParser {
  public:
    explicit AddressParser(std::string_view text) : text_(text) {}

    TIdEmailAddressList Parse() {
        while (pos_ < text_.size()) Step();
        FinishItem();
        return std::move(list_);
    }

  private:
    void Step() {
        const char c = text_[pos_];
        if (IsSpace(c)) {
            spaceBefore_ = true;
            ++pos_;
        } else if (c == '(') {
            ReadComment();
        } else if (c == '"') {
            ReadQuoted();
        } else if (c == '<') {
            ++pos_;
            if (inAngle_) return;
            if (hasAngle_) FinishItem();  // "<a@x> <b@y>": a second address without a comma
            inAngle_ = true;
            hasAngle_ = true;
        } else if (c == '>') {
            ++pos_;
            inAngle_ = false;
        } else if (c == ')') {
            ++pos_;  // the end of a comment that never began
        } else if (c == ',') {
            ++pos_;
            // Inside "<@a,@b:user@x>" the commas belong to the obsolete route.
            if (inAngle_ && angle_.starts_with('@') && angle_.find(':') == std::string::npos) {
                angle_ += c;
            } else {
                FinishItem();
            }
        } else if (c == ';') {
            ++pos_;
            FinishItem();
        } else if (c == ':') {
            ++pos_;
            if (inAngle_) {
                angle_ += c;
            } else if (hasAngle_ || PhraseHasAt()) {
                FinishItem();  // no group name: a damaged list that still holds an address
            } else {
                ResetItem();  // a group starts; what came before is its name
            }
        } else {
            ReadAtom();
        }
    }

    // Comments nest; an unclosed one runs to the end of the text. The first comment of an
    // item is kept because it names an address that has no display name.
    void ReadComment() {
        std::string content;
        size_t depth = 0;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '\\' && pos_ < text_.size()) {
                content += text_[pos_++];
                continue;
            }
            if (c == '(') {
                if (depth++ == 0) continue;
            } else if (c == ')') {
                if (--depth == 0) break;
            }
            content += c;
        }
        spaceBefore_ = true;
        if (!inAngle_ && comment_.empty()) comment_ = TrimBlanks(content);
    }

    void ReadQuoted() {
        const size_t start = pos_++;
        std::string value;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            if (text_[pos_] == '\\' && pos_ + 1 < text_.size()) ++pos_;
            value += text_[pos_++];
        }
        if (pos_ < text_.size()) ++pos_;  // the closing quote
        AddToken(text_.substr(start, pos_ - start), std::move(value), true);
    }

    // Mailers write specials such as commas into Q-encoded names unencoded, so an atom that
    // opens an encoded word runs at least to that word's end.
    void ReadAtom() {
        const size_t start = pos_;
        pos_ = EncodedWordEnd(text_, pos_);
        while (pos_ < text_.size() && !EndsAtom(text_[pos_])) ++pos_;
        const std::string_view atom = text_.substr(start, pos_ - start);
        AddToken(atom, std::string(atom), false);
    }

    void AddToken(std::string_view raw, std::string value, bool quoted) {
        if (inAngle_) {
            angle_ += raw;
        } else {
            // "A <a@x> b@y": an address after a closed angle address starts the next item,
            // as when the mailer forgot the comma between them.
            if (hasAngle_ && !quoted && raw.find('@') != std::string_view::npos) FinishItem();
            phrase_.push_back(Token{raw, std::move(value), quoted, spaceBefore_});
        }
        spaceBefore_ = false;
    }

    static std::string JoinedValues(const std::vector<Token>& tokens) {
        std::string joined;
        for (const auto& token : tokens) {
            if (!joined.empty() && token.spaceBefore) joined += ' ';
            joined += token.value;
        }
        return joined;
    }

    static void Append(std::string& text, std::string_view word) {
        if (!text.empty()) text += ' ';
        text += word;
    }

    static bool GluesToPrevious(const Token& previous, const Token& token) {
        if (!token.spaceBefore) return true;
        if (previous.quoted || token.quoted) return false;
        return previous.raw.ends_with('@') || previous.raw.ends_with('.') ||
               token.raw.starts_with('@') || token.raw.starts_with('.');
    }

    std::vector<Segment> Segments() const {
        std::vector<Segment> segments;
        for (size_t i = 0; i < phrase_.size(); ++i) {
            const Token& token = phrase_[i];
            if (i == 0 || !GluesToPrevious(phrase_[i - 1], token)) {
                segments.emplace_back();
            } else if (token.spaceBefore) {
                segments.back().value += ' ';
            }
            Segment& segment = segments.back();
            segment.raw += token.raw;
            segment.value += token.value;
            if (!token.quoted && token.raw.find('@') != std::string_view::npos) {
                segment.hasAt = true;
            }
        }
        return segments;
    }

    bool PhraseHasAt() const {
        return std::any_of(phrase_.begin(), phrase_.end(), [](const Token& token) {
            return !token.quoted && token.raw.find('@') != std::string_view::npos;
        });
    }

    void FinishItem() {
        TIdEmailAddressItem item;
        if (!hasAngle_ && phrase_.empty()) {
            ResetItem();  // nothing, or only a comment: no address
            return;
        }
        if (hasAngle_) {
            std::string_view address = angle_;
            if (address.starts_with('@')) {
                const size_t colon = address.find(':');
                address = colon == std::string_view::npos ? std::string_view()
                                                          : address.substr(colon + 1);
            }
            item.Address = address;
            item.Name = JoinedValues(phrase_);
        } else {
            const std::vector<Segment> segments = Segments();
            const auto at = std::find_if(segments.rbegin(), segments.rend(),
                                         [](const Segment& s) { return s.hasAt; });
            if (at == segments.rend()) {
                // No address at all: the text stands for one, so nothing is lost.
                for (const auto& segment : segments) Append(item.Address, segment.raw);
            } else {
                // "John Smith john@x": a display name that lacks its angle brackets.
                item.Address = at->raw;
                for (const auto& segment : segments) {
                    if (&segment != &*at) Append(item.Name, segment.value);
                }
            }
        }
        if (item.Name.empty()) item.Name = comment_;
        if (!item.Address.empty() || !item.Name.empty()) {
            item.Name = DecodeHeader(item.Name);
            list_.push_back(std::move(item));
        }
        ResetItem();
    }

    void ResetItem() {
        phrase_.clear();
        comment_.clear();
        angle_.clear();
        hasAngle_ = false;
        inAngle_ = false;
        spaceBefore_ = false;
    }

    std::string_view text_;
    size_t pos_ = 0;
    TIdEmailAddressList list_;
    std::vector<Token> phrase_;
    std::string comment_;
    std::string angle_;
    bool hasAngle_ = false;
    bool inAngle_ = false;
    bool spaceBefore_ = false;
};

bool NeedsQuotes(std::string_view name) {
    if (name.front() == ' ' || name.back() == ' ' || name.find("  ") != std::string_view::npos) {
        return true;
    }
    return std::any_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F ||
               std::string_view("()<>[]:;@\\,.\"").find(c) != std::string_view::npos;
    });
}

std::string Quoted(std::string_view name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

// Names that can be written as they are (quoted where needed); anything else is encoded,
// including what would read back as an encoded word.
bool IsPrintableAscii(std::string_view text) {
    return text.find("=?") == std::string_view::npos &&
           std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\t'; });
}

std::string Formatted(const TIdEmailAddressItem& item, bool encode) {
    if (item.Name.empty()) return item.Address;
    std::string name;
    if (encode && !IsPrintableAscii(item.Name)) {
        name = EncodeWords(item.Name);
    } else if (NeedsQuotes(item.Name)) {
        name = Quoted(item.Name);
    } else {
        name = item.Name;
    }
    return name + " <" + item.Address + ">";
}

}  // namespace

std::string TIdEmailAddressItem::Text() const {
    return Formatted(*this, false);
}

TIdEmailAddressList ParseAddressList(std::string_view raw) {
    return AddressParser(raw).Parse();
}

TIdEmailAddressItem ParseAddress(std::string_view raw) {
    TIdEmailAddressList list = ParseAddressList(raw);
    return list.empty() ? TIdEmailAddressItem() : std::move(list.front());
}

std::string FormatAddressList(const TIdEmailAddressList& list, bool encode) {
    std::string text;
    for (const auto& item : list) {
        if (!text.empty()) text += ", ";
        text += Formatted(item, encode);
    }
    return text;
}

}  // namespace mailsift
