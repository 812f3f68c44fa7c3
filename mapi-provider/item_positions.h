#pragma once
// Where the folders and messages listed in the tables read so far sit in their parent folder,
// so that one opened by its identifier is taken from its parent by position. libpff's own
// lookup by identifier searches the store's whole item tree each time: over all the messages of
// a store that costs the square of its size.
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "mapi-provider/pff.h"

namespace mailsift::mapi_provider {

struct Node;

class ItemPositions {
  public:
    void Remember(uint32_t id, const std::shared_ptr<Node>& parent, SubItemGetter getter,
                  int index);
    // The item listed under `id`, while the parent it was listed in is still open and still
    // holds it there; nullptr otherwise.
    ItemPtr Take(uint32_t id) const;

  private:
    struct Position {
        std::weak_ptr<Node> parent;
        SubItemGetter getter = nullptr;
        int index = 0;
    };
    mutable std::mutex mutex_;
    std::unordered_map<uint32_t, Position> positions_;
};

}  // namespace mailsift::mapi_provider
