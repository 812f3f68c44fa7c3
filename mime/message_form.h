#pragma once

namespace mailsift {

// How message text marks its end and its lines that begin with ".".
enum class MessageForm {
    // As an SMTP transfer and the message files on disk carry it: a line that begins with "."
    // has one more "." in front, and a line holding a single "." ends the message.
    DotTerminated,
    // As a mail store keeps a message: every line is the message's own, and only the end of
    // the input ends it.
    Raw,
};

}  // namespace mailsift
