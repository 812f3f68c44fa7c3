#pragma once
// The buffers of the provider library the tests load, for messages made without the program's
// own loaded library.
#include "outlook/msg/msg_storage.h"
#include "tests/mapi_provider/provider_session.h"

namespace mailsift::test {

inline MsgBuffers ProviderBuffers() {
    return {Provider().MAPIAllocateBuffer, Provider().MAPIAllocateMore, Provider().MAPIFreeBuffer};
}

inline void FreeProviderBuffer(void* buffer) {
    Provider().MAPIFreeBuffer(buffer);
}

}  // namespace mailsift::test
