#pragma once
// A mail file as Python's email package, the reference reader of mail, reads it.
#include <string>
#include <vector>

namespace mailsift::test {

struct ReferenceAddress {
    std::string field;  // "to", "cc" or "bcc"
    std::string address;
    std::string name;
};

struct ReferenceAttachment {
    std::string name;
    size_t size = 0;
    std::string sha1;
};

struct ReferenceMail {
    bool read = false;  // whether the reader ran and printed the message
    std::string subject;
    std::string from;
    std::vector<ReferenceAddress> recipients;
    std::string body;  // the plain text as the reader decodes it, LF line ends
    std::vector<ReferenceAttachment> attachments;
};

ReferenceMail ReadMailWithPython(const std::string& path);

std::string Unhex(const std::string& hex);

}  // namespace mailsift::test
