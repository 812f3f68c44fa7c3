#include "stores/parsed_message.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <system_error>

#include "config/key_file.h"
#include "config/text_file.h"

namespace mailsift {

std::string BodyText(const TIdMessage& parsed) {
    std::string body;
    for (const auto& part : parsed.MessageParts) {
        if (part->Kind() == TIdPartKind::Text) {
            body += JoinLines(static_cast<const TIdText&>(*part).Body);
        }
    }
    if (body.empty()) body = JoinLines(parsed.Body);
    return RemoveNulChars(body);
}

bool ListAttachments(TIdMessage& parsed, const TMessageExtractionOptions& options,
                     std::vector<TAttachFile>& attachments) {
    const bool wantsFile = options.SaveAttachment && !options.TargetFile.empty();
    bool saved = false;
    // Attachments are addressed by a 16-bit part index; parts beyond it cannot be asked for.
    const size_t parts = std::min<size_t>(parsed.MessageParts.size(),
                                          size_t{std::numeric_limits<uint16_t>::max()} + 1);
    for (size_t k = 0; k < parts; ++k) {
        TIdMessagePart& part = *parsed.MessageParts[k];
        if (part.Kind() != TIdPartKind::Attachment) continue;
        auto& attachment = static_cast<TIdAttachment&>(part);
        attachments.push_back({attachment.FileName, static_cast<uint16_t>(k), 0});
        if (wantsFile && k == options.AttachmentIndex) {
            if (options.Target != nullptr) {
                attachment.MoveContentInto(*options.Target);
            } else {
                std::error_code ignored;
                std::filesystem::remove(options.TargetFile, ignored);
                attachment.SaveContent(options.TargetFile);
            }
            saved = true;
        }
    }
    return !wantsFile || saved;
}

bool HoldsAttachmentContent(const TIdMessage& parsed, uint16_t part) {
    if (part >= parsed.MessageParts.size()) return false;
    const TIdMessagePart& found = *parsed.MessageParts[part];
    return found.Kind() == TIdPartKind::Attachment &&
           static_cast<const TIdAttachment&>(found).HoldsContent();
}

}  // namespace mailsift
