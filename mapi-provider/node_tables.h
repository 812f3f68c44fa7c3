#pragma once
// The tables of a node: its sub-folders, messages or attachments, and the recipients of a
// message.
#include <cstdint>
#include <memory>
#include <vector>

#include "mapi-provider/node.h"
#include "mapi-provider/tables.h"

namespace mailsift::mapi_provider {

// The folders or messages `ids` below the folder `owner`, as nodes of `kind`.
std::unique_ptr<RowSource> MakeChildRows(NodePtr owner, NodeKind kind, std::vector<uint32_t> ids);
// The attachments of the message `owner`.
std::unique_ptr<RowSource> MakeAttachmentRows(NodePtr owner);
// The recipients of `message`, held in `recipients`.
std::unique_ptr<RowSource> MakeRecipientRows(NodePtr message, SharedItem recipients);

std::vector<mapi::ULONG> DefaultColumns();

}  // namespace mailsift::mapi_provider
