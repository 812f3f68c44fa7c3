#pragma once
// Generated mail for the benchmarks: lines of common words, and messages of a chosen shape that
// now and then quote a "From " line or carry a binary attachment, as real mailboxes do.
#include <cstddef>
#include <iterator>
#include <random>
#include <string>

#include "samples/mailbox_writer.h"

namespace mailsift::bench {

inline std::string SampleSentence(std::mt19937& random) {
    static const char* kWords[] = {"salvage", "mailbox",  "message", "the",  "of",      "report",
                                   "meeting", "attached", "please",  "find", "regards", "and"};
    std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
    std::string line;
    while (line.size() < 64) {
        line += kWords[pick(random)];
        line += ' ';
    }
    return line;
}

struct SampleShape {
    size_t minLines = 30;
    size_t maxLines = 300;
    size_t attachmentEvery = 10;  // every n-th message carries an attachment
    size_t minAttachment = 50 << 10;
    size_t maxAttachment = 1 << 20;
};

// Message n, from one of 97 senders.
inline samples::MailboxMessage SampleMessage(std::mt19937& random, size_t n,
                                             const SampleShape& shape = {}) {
    samples::MailboxMessage message;
    message.FromName = "Sender " + std::to_string(n % 97);
    message.FromAddress = "sender" + std::to_string(n % 97) + "@example.com";
    message.Subject = "Message " + std::to_string(n);
    message.Date = "Mon, 07 Apr 2003 10:" + std::to_string(10 + n % 50) + ":00 +0200";
    message.Body.clear();
    const size_t lines =
        std::uniform_int_distribution<size_t>(shape.minLines, shape.maxLines)(random);
    for (size_t i = 0; i < lines; ++i) message.Body.push_back(SampleSentence(random));
    if (n % 7 == 0) message.Body.push_back("From the minutes of the last meeting:");
    if (n % shape.attachmentEvery == 0) {
        std::string data(
            std::uniform_int_distribution<size_t>(shape.minAttachment, shape.maxAttachment)(random),
            '\0');
        std::uniform_int_distribution<int> byte(0, 255);
        for (char& c : data) c = static_cast<char>(byte(random));
        message.Attachments.push_back({"data" + std::to_string(n) + ".bin", std::move(data)});
    }
    return message;
}

}  // namespace mailsift::bench
