#pragma once
// The tables of a node: its sub-folders, messages or attachments, and the recipients of a
// message.
#include <memory>
#include <vector>

#include "mapi-provider/node.h"
#include "mapi-provider/tables.h"

namespace mailsift::mapi_provider {

// The `count` sub-items of `owner` that `getter` opens, as nodes of `kind`.
std::unique_ptr<RowSource> MakeChildRows(NodePtr owner, NodeKind kind, SubItemGetter getter,
                                         int count, bool addressable);
// The recipients of `message`, held in `recipients` (none when it is null).
std::unique_ptr<RowSource> MakeRecipientRows(NodePtr message, ItemPtr recipients);

std::vector<mapi::ULONG> DefaultColumns();

}  // namespace mailsift::mapi_provider
