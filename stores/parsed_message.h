#pragma once
// What the backends that parse message text take from the parsed message for the record.
#include <string>
#include <vector>

#include "mime/message.h"
#include "stores/core_types.h"

namespace mailsift {

// The lines of every text part in part order, or the message's own body lines when there is
// no text, each followed by CR LF, without NUL characters.
std::string BodyText(const TIdMessage& parsed);

// Appends one entry per attachment part, with its part index, and saves the part that options
// ask for (replacing the target, or moving its decoded file into options.Target, which leaves
// the part without content). False when a save was asked for and no attachment has that index,
// so that nothing written is never taken for a saved file.
bool ListAttachments(TIdMessage& parsed, const TMessageExtractionOptions& options,
                     std::vector<TAttachFile>& attachments);

// Whether part of the parsed message is an attachment whose content is still in it (not moved
// out by an earlier save), so that a save can take it without parsing the message again.
bool HoldsAttachmentContent(const TIdMessage& parsed, uint16_t part);

}  // namespace mailsift
