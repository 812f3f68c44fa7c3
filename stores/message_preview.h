#pragma once
// The page a message is previewed as: the message's HTML text when it has one, else its plain
// text escaped so that every character shows as written and its lines keep their breaks.
#include <string>

namespace mailsift {

// The preview page of the message file at messageFile (MIME text); fallbackBody, the body the
// store gave, when the file has no text part or cannot be read.
std::string PreviewPage(const std::string& messageFile, const std::string& fallbackBody);

// text as HTML that shows it unchanged: markup characters escaped, line breaks kept.
std::string PlainTextPage(const std::string& text);

}  // namespace mailsift
