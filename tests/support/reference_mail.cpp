#include "support/reference_mail.h"

#include <sstream>

#include "support/run_command.h"

namespace mailsift::test {

std::string Unhex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

ReferenceMail ReadMailWithPython(const std::string& path) {
    ReferenceMail mail;
    std::istringstream lines(
        RunCommand("/usr/bin/python3 " MSG_READER_SCRIPT " eml '" + path + "' 2>/dev/null"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        std::string rest;
        std::getline(fields >> std::ws, rest);
        if (kind == "subject") {
            mail.subject = rest;
            mail.read = true;
        } else if (kind == "from") {
            mail.from = rest;
        } else if (kind == "recipient") {
            std::istringstream parts(rest);
            ReferenceAddress address;
            std::string spec;
            std::string name;
            parts >> address.field >> spec >> name;
            address.address = Unhex(spec);
            address.name = Unhex(name);
            mail.recipients.push_back(address);
        } else if (kind == "body") {
            mail.body = Unhex(rest);
        } else if (kind == "attachment") {
            std::istringstream parts(rest);
            ReferenceAttachment attachment;
            std::string name;
            parts >> name >> attachment.size >> attachment.sha1;
            attachment.name = Unhex(name);
            mail.attachments.push_back(attachment);
        }
    }
    return mail;
}

}  // namespace mailsift::test
