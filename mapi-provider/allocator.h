#pragma once
#include <memory>

#include "mapi/mapi_interfaces.h"

namespace mailsift::mapi_provider {

// MAPI's buffer chains: a buffer from AllocateBuffer owns every block later linked to it with
// AllocateMore, and FreeBuffer releases the whole chain at once.
mapi::SCODE AllocateBuffer(mapi::ULONG size, mapi::LPVOID* buffer);
mapi::SCODE AllocateMore(mapi::ULONG size, mapi::LPVOID parent, mapi::LPVOID* buffer);
mapi::ULONG FreeBuffer(mapi::LPVOID buffer);

// Owns a root buffer until it is handed out with release().
struct BufferDeleter {
    void operator()(void* buffer) const { FreeBuffer(buffer); }
};
template <class T>
using BufferPtr = std::unique_ptr<T, BufferDeleter>;

// Typed helpers over the chain; null on exhaustion.
template <class T>
T* AllocateRoot(size_t count = 1) {
    mapi::LPVOID p = nullptr;
    if (count > 0xFFFFFFFFu / sizeof(T) ||
        AllocateBuffer(static_cast<mapi::ULONG>(sizeof(T) * count), &p) != mapi::S_OK) {
        return nullptr;
    }
    return static_cast<T*>(p);
}

template <class T>
T* AllocateLinked(void* parent, size_t count = 1) {
    mapi::LPVOID p = nullptr;
    if (count > 0xFFFFFFFFu / sizeof(T) ||
        AllocateMore(static_cast<mapi::ULONG>(sizeof(T) * count), parent, &p) != mapi::S_OK) {
        return nullptr;
    }
    return static_cast<T*>(p);
}

// The process-wide allocator object handed out by MAPIGetDefaultMalloc.
mapi::LPMALLOC DefaultMalloc();

}  // namespace mailsift::mapi_provider
