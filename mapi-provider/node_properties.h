#pragma once
// The properties of a node: those its record set stores and those MAPI derives from the
// structure of the store.
#include <vector>

#include "mapi-provider/node.h"

namespace mailsift::mapi_provider {

// PR_ENTRYID of the folder or stored message `id`, made from the identifier alone.
mapi::HRESULT EntryIdValue(const StoreContext& store, uint32_t id, mapi::SPropValue& out,
                           void* parent);

mapi::HRESULT ReadNodeProp(const NodeView& node, mapi::ULONG tag, mapi::SPropValue& out,
                           void* parent);
// The tags GetPropList names: the stored properties, named ones included, then the derived
// ones the node has.
std::vector<mapi::ULONG> NodeTags(const NodeView& node);
// Fills values[i] for tags[i]; a value that cannot be read becomes an error cell.
void ReadNodeRow(const NodeView& node, const std::vector<mapi::ULONG>& tags,
                 mapi::SPropValue* values, void* parent);

}  // namespace mailsift::mapi_provider
