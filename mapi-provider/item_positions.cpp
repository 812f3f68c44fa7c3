#include "mapi-provider/item_positions.h"

#include "mapi-provider/node.h"

namespace mailsift::mapi_provider {

void ItemPositions::Remember(uint32_t id, const std::shared_ptr<Node>& parent, SubItemGetter getter,
                             int index) {
    std::lock_guard lock(mutex_);
    positions_.insert_or_assign(id, Position{parent, getter, index});
}

ItemPtr ItemPositions::Take(uint32_t id) const {
    Position position;
    {
        std::lock_guard lock(mutex_);
        const auto found = positions_.find(id);
        if (found == positions_.end()) {
            return nullptr;
        }
        position = found->second;
    }
    const std::shared_ptr<Node> parent = position.parent.lock();
    if (parent == nullptr) {
        return nullptr;
    }
    PffError error;
    libpff_item_t* raw = nullptr;
    const int taken = position.getter(parent->item.get(), position.index, &raw, error.get());
    ItemPtr item(raw);
    uint32_t found = 0;
    // Only the item that was listed there will do; anything else is looked up the long way.
    if (taken != 1 || mapi::FAILED(ItemId(item.get(), found)) || found != id) {
        return nullptr;
    }
    return item;
}

}  // namespace mailsift::mapi_provider
