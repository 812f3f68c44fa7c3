#pragma once
// A .msg compound file being written: the storage and the message object on it, standing in
// for a transacted structured storage with a message opened on it. The message receives
// properties, recipients and attachments (a CopyTo from another message puts them there);
// its SaveChanges keeps them for the storage, and Commit writes the file in the layout that
// Outlook itself writes. Nothing appears at the path before Commit succeeds.
#include <memory>
#include <string>

#include "mapi/mapi_entry_points.h"
#include "mapi/mapi_interfaces.h"

namespace mailsift {

// The allocator whose buffers the message hands out (GetProps, GetPropList, problem arrays):
// callers free them with the matching MAPIFreeBuffer.
struct MsgBuffers {
    mapi::LPMAPIALLOCATEBUFFER allocate = nullptr;
    mapi::LPMAPIALLOCATEMORE allocateMore = nullptr;
    mapi::LPMAPIFREEBUFFER free = nullptr;
};

class MsgStorage {
  public:
    // A new storage for `path`; nullptr, with the reason in `error`, when it cannot be made.
    // The buffers it hands out come from the loaded MAPI library, which frees them: the copy
    // that fills the message is that library's.
    static std::unique_ptr<MsgStorage> Create(const std::string& path, std::string& error);
    // The same with the allocator named; all three functions must be given.
    static std::unique_ptr<MsgStorage> Create(const std::string& path, const MsgBuffers& buffers,
                                              std::string& error);
    virtual ~MsgStorage() = default;

    // The class written into the root storage (CLSID_MailMessage for a mail message).
    virtual void SetClass(const mapi::CLSID& clsid) = 0;
    // The message object on this storage, holding one reference for the caller; nullptr when
    // none can be made. Asked again, it gives the same message with one more reference.
    virtual mapi::IMessage* OpenMessage() = 0;
    // Writes what the message last saved to the file, replacing an existing file whole; false,
    // with the reason in `error`, when the file could not be written (it is then left as it was).
    virtual bool Commit(std::string& error) = 0;
};

}  // namespace mailsift
