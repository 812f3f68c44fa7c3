#include "stores/message_preview.h"

#include <cctype>
#include <exception>

#include "config/text_file.h"
#include "mime/encoded_words.h"
#include "mime/message.h"
#include "platform/text_case.h"

namespace mailsift {

namespace {

const TIdText* FirstTextPart(const TIdMessage& message, std::string_view type) {
    for (const auto& part : message.MessageParts) {
        if (part->Kind() != TIdPartKind::Text) continue;
        const auto& text = static_cast<const TIdText&>(*part);
        if (text.ContentType.empty() && type == "TEXT/PLAIN") return &text;
        if (AsciiUpperCased(text.ContentType).starts_with(type)) return &text;
    }
    return nullptr;
}

// The HTML keeps its own bytes: a charset the part declares is put first, where the browser
// looks before any the page itself names.
std::string HtmlPage(const TIdText& part) {
    std::string page;
    // The name comes from the mail: only the characters of charset names go into the page.
    std::string charset;
    for (const char c : part.CharSet) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ||
            c == ':') {
            charset += c;
        }
    }
    if (!charset.empty()) {
        page =
            "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset + "\">\r\n";
    }
    return page + JoinLines(part.Body);
}

}  // namespace

std::string PlainTextPage(const std::string& text) {
    std::string page =
        "<html><head><meta charset=\"utf-8\"></head><body><div style=\"white-space: pre-wrap; "
        "font-family: monospace\">";
    page.reserve(page.size() + text.size() + text.size() / 8 + 32);
    for (const char c : text) {
        switch (c) {
            case '&':
                page += "&amp;";
                break;
            case '<':
                page += "&lt;";
                break;
            case '>':
                page += "&gt;";
                break;
            case '"':
                page += "&quot;";
                break;
            case '\r':
                break;
            default:
                page += c;
        }
    }
    return page + "</div></body></html>\r\n";
}

std::string PreviewPage(const std::string& messageFile, const std::string& fallbackBody) {
    try {
        TIdMessage message;
        message.ReadFromFile(messageFile);
        if (const TIdText* html = FirstTextPart(message, "TEXT/HTML")) return HtmlPage(*html);
        if (const TIdText* plain = FirstTextPart(message, "TEXT/PLAIN")) {
            return PlainTextPage(ConvertToUtf8(JoinLines(plain->Body), plain->CharSet));
        }
        if (message.MessageParts.empty() && !message.Body.empty()) {
            const std::string body = JoinLines(message.Body);
            if (AsciiUpperCased(message.ContentType).starts_with("TEXT/HTML")) {
                TIdText whole;
                whole.CharSet = message.CharSet;
                whole.Body = message.Body;
                return HtmlPage(whole);
            }
            return PlainTextPage(ConvertToUtf8(body, message.CharSet));
        }
    } catch (const std::exception&) {
        // A message the reader cannot take is shown from the body the store gave.
    }
    return PlainTextPage(fallbackBody);
}

}  // namespace mailsift
