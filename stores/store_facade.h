#pragma once
// The one way the program reads mail: open a path as a store, read its messages by folder and
// index, close it. The store kind is chosen from the path; every later call carries the handle
// and goes to the backend that owns it.
#include <cstdint>
#include <optional>
#include <string>

#include "stores/core_types.h"

namespace mailsift {

enum class StoreKind {
    PersonalFolders = 0,
    OutlookExpress = 1,
    MailboxFile = 2,  // a file without extension
    MailboxMbx = 3,
    MailboxFolder = 4,
};

// The kind a path would open as; none for a path that is no store (or does not exist).
std::optional<StoreKind> StoreKindOfPath(const std::string& path);

// A handle (above kMaxResultCode) or a result code. The folders the store holds are appended.
StoreHandle OpenMessageStore(const std::string& path, TFolderList& folders);
// The same; also sets kind, which stays as it was when the path exists but is no store.
StoreHandle OpenMessageStoreOfKind(const std::string& path, TFolderList& folders, StoreKind& kind);

int32_t GetMessageHeaders(StoreHandle handle, const TFolder& folder, int32_t index,
                          TMessage& message);
int32_t GetMessageBody(StoreHandle handle, const TFolder& folder, int32_t index, TMessage& message);
int32_t GetMessageAttachFilesList(StoreHandle handle, const TFolder& folder, int32_t index,
                                  TMessage& message);
int32_t SaveAttachToFile(StoreHandle handle, const TFolder& folder, int32_t index,
                         uint16_t attachmentIndex, const std::string& targetFile);
int32_t SaveMessageToFile(StoreHandle handle, const TFolder& folder, int32_t index,
                          const std::string& targetFile, bool saveAsEml);
// The same two saves into a file the caller has just created. The caller finishes the file; a
// failed save leaves in it whatever was written.
int32_t SaveAttachToFile(StoreHandle handle, const TFolder& folder, int32_t index,
                         uint16_t attachmentIndex, NewFile& target);
int32_t SaveMessageToFile(StoreHandle handle, const TFolder& folder, int32_t index, NewFile& target,
                          bool saveAsEml);
int32_t CloseMessageStore(StoreHandle handle);

}  // namespace mailsift
