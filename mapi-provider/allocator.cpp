#include "mapi-provider/allocator.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace mailsift::mapi_provider {
namespace {

// Every block starts with this header. A root block threads the blocks linked to it through
// `next`; a linked block remembers its root so that it can serve as a parent in turn.
struct alignas(16) BlockHeader {
    BlockHeader* root;
    BlockHeader* next;
    uint32_t magic;
};
constexpr uint32_t kRootMagic = 0x4D415049;
constexpr uint32_t kLinkedMagic = 0x4D4F5245;

BlockHeader* HeaderOf(void* block) {
    return static_cast<BlockHeader*>(block) - 1;
}

BlockHeader* NewBlock(mapi::ULONG size, uint32_t magic) {
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (header == nullptr) {
        return nullptr;
    }
    header->root = nullptr;
    header->next = nullptr;
    header->magic = magic;
    std::memset(header + 1, 0, size);
    return header;
}

}  // namespace

mapi::SCODE AllocateBuffer(mapi::ULONG size, mapi::LPVOID* buffer) {
    if (buffer == nullptr) {
        return mapi::MAPI_E_INVALID_PARAMETER;
    }
    BlockHeader* header = NewBlock(size, kRootMagic);
    *buffer = header != nullptr ? header + 1 : nullptr;
    return header != nullptr ? mapi::S_OK : mapi::MAPI_E_NOT_ENOUGH_MEMORY;
}

mapi::SCODE AllocateMore(mapi::ULONG size, mapi::LPVOID parent, mapi::LPVOID* buffer) {
    if (buffer == nullptr || parent == nullptr) {
        return mapi::MAPI_E_INVALID_PARAMETER;
    }
    *buffer = nullptr;
    BlockHeader* root = HeaderOf(parent);
    if (root->magic == kLinkedMagic) {
        root = root->root;
    }
    if (root == nullptr || root->magic != kRootMagic) {
        return mapi::MAPI_E_INVALID_PARAMETER;
    }
    BlockHeader* header = NewBlock(size, kLinkedMagic);
    if (header == nullptr) {
        return mapi::MAPI_E_NOT_ENOUGH_MEMORY;
    }
    header->root = root;
    header->next = root->next;
    root->next = header;
    *buffer = header + 1;
    return mapi::S_OK;
}

mapi::ULONG FreeBuffer(mapi::LPVOID buffer) {
    if (buffer == nullptr) {
        return 0;
    }
    BlockHeader* root = HeaderOf(buffer);
    // Linked blocks go with their root; freeing one alone would break the chain.
    if (root->magic != kRootMagic) {
        return 0;
    }
    BlockHeader* block = root->next;
    while (block != nullptr) {
        BlockHeader* next = block->next;
        block->magic = 0;
        std::free(block);
        block = next;
    }
    root->magic = 0;
    std::free(root);
    return 0;
}

namespace {

// Plain heap blocks that know their size, as IMalloc::GetSize requires.
struct alignas(16) MallocHeader {
    size_t size;
};

// Larger requests would wrap around once the header is added.
constexpr size_t kLargestBlock = std::numeric_limits<size_t>::max() - sizeof(MallocHeader);

class DefaultMallocObject final : public mapi::IMalloc {
  public:
    mapi::HRESULT QueryInterface(mapi::REFIID riid, mapi::LPVOID* object) override {
        if (object == nullptr) {
            return mapi::MAPI_E_INVALID_PARAMETER;
        }
        if (riid == mapi::IID_IUnknown || riid == mapi::IID_IMalloc) {
            *object = this;
            return mapi::S_OK;
        }
        *object = nullptr;
        return mapi::MAPI_E_INTERFACE_NOT_SUPPORTED;
    }
    // The allocator lives as long as the library: counting references would change nothing.
    mapi::ULONG AddRef() override { return 1; }
    mapi::ULONG Release() override { return 1; }

    mapi::LPVOID Alloc(mapi::SIZE_T cb) override {
        if (cb > kLargestBlock) {
            return nullptr;
        }
        auto* header = static_cast<MallocHeader*>(std::malloc(sizeof(MallocHeader) + cb));
        if (header == nullptr) {
            return nullptr;
        }
        header->size = cb;
        return header + 1;
    }
    mapi::LPVOID Realloc(mapi::LPVOID pv, mapi::SIZE_T cb) override {
        if (pv == nullptr) {
            return Alloc(cb);
        }
        if (cb == 0) {
            Free(pv);
            return nullptr;
        }
        if (cb > kLargestBlock) {
            return nullptr;
        }
        auto* header = static_cast<MallocHeader*>(
            std::realloc(static_cast<MallocHeader*>(pv) - 1, sizeof(MallocHeader) + cb));
        if (header == nullptr) {
            return nullptr;
        }
        header->size = cb;
        return header + 1;
    }
    void Free(mapi::LPVOID pv) override {
        if (pv != nullptr) {
            std::free(static_cast<MallocHeader*>(pv) - 1);
        }
    }
    mapi::SIZE_T GetSize(mapi::LPVOID pv) override {
        return pv != nullptr ? (static_cast<MallocHeader*>(pv) - 1)->size : static_cast<size_t>(-1);
    }
    // Whether a block came from here cannot be told safely from its address alone.
    int DidAlloc(mapi::LPVOID pv) override { return pv != nullptr ? -1 : 0; }
    void HeapMinimize() override {}
};

}  // namespace

mapi::LPMALLOC DefaultMalloc() {
    static DefaultMallocObject instance;
    return &instance;
}

}  // namespace mailsift::mapi_provider
