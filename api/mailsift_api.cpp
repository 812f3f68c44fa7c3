// The store facade with C linkage. C callers get copies of the core's records in plain structs;
// the folder lists remember which core folder each record stands for, so that a folder pointer
// the library never handed out is refused instead of being read.
#include "mailsift/mailsift.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "config/folders.h"
#include "config/report_log.h"
#include "config/settings.h"
#include "outlook/default_store_backends.h"
#include "stores/core_types.h"
#include "stores/output_formats.h"
#include "stores/store_facade.h"

static_assert(std::is_same_v<decltype(&OpenMessageStorageP), OpenMessageStoragePFunc>);
static_assert(std::is_same_v<decltype(&GetMessageHeaders), GetMessageFunc>);
static_assert(std::is_same_v<decltype(&GetMessageBody), GetMessageFunc>);
static_assert(std::is_same_v<decltype(&GetMessageAttachFilesList), GetMessageFunc>);
static_assert(std::is_same_v<decltype(&SaveAttachToFile), SaveAttachToFileFunc>);
static_assert(std::is_same_v<decltype(&SaveMessageToFile), SaveMessageToFileFunc>);
static_assert(std::is_same_v<decltype(&SaveMessageToTextFile), SaveMessageAsFunc>);
static_assert(std::is_same_v<decltype(&SaveMessageToHTMLFile), SaveMessageAsFunc>);
static_assert(std::is_same_v<decltype(&CloseMessageStore), CloseMessageStoreFunc>);
static_assert(std::is_same_v<decltype(&FreeFolderList), FreeFolderListFunc>);
static_assert(std::is_same_v<decltype(&FreeMessage), FreeMessageFunc>);
static_assert(MAILSIFT_MAX_RESULT_CODE == mailsift::kMaxResultCode);
static_assert(static_cast<int>(MAILSIFT_SUCCESS) == mailsift::kResultSuccess &&
              static_cast<int>(MAILSIFT_NOTHING_FOUND) == mailsift::kResultNothingFound &&
              static_cast<int>(MAILSIFT_NO_SUCH_PATH) == mailsift::kResultNoSuchPath &&
              static_cast<int>(MAILSIFT_MAPI_UNAVAILABLE) == mailsift::kResultMapiUnavailable &&
              static_cast<int>(MAILSIFT_MAPI_OPEN_FAILED) == mailsift::kResultMapiOpenFailed &&
              static_cast<int>(MAILSIFT_MAPI_CLOSE_FAILED) == mailsift::kResultMapiCloseFailed &&
              static_cast<int>(MAILSIFT_NO_FOLDERS) == mailsift::kResultNoFolders &&
              static_cast<int>(MAILSIFT_ALREADY_OPEN) == mailsift::kResultAlreadyOpen &&
              static_cast<int>(MAILSIFT_NOT_MY_HANDLE) == mailsift::kResultNotMyHandle &&
              static_cast<int>(MAILSIFT_FOLDER_MISSING) == mailsift::kResultFolderMissing &&
              static_cast<int>(MAILSIFT_BAD_MESSAGE_INDEX) == mailsift::kResultBadMessageIndex &&
              static_cast<int>(MAILSIFT_BAD_HANDLE) == mailsift::kResultBadHandle &&
              static_cast<int>(MAILSIFT_NO_ATTACHMENTS) == mailsift::kResultNoAttachments &&
              static_cast<int>(MAILSIFT_WRITE_FAILED) == mailsift::kResultWriteFailed);

namespace {

using mailsift::StoreHandle;

// The core keeps its stores in process-wide state and was written for one thread.
std::mutex apiMutex;
bool initialised = false;

// Something inside the library, so that dladdr names the library's own file.
const char libraryMarker = 0;

std::string LibraryPath() {
    Dl_info info{};
    if (dladdr(&libraryMarker, &info) != 0 && info.dli_fname != nullptr &&
        info.dli_fname[0] != '\0') {
        return info.dli_fname;
    }
    return mailsift::ExecutablePath();
}

// The program folder as the program fixes it, with the library's folder standing in for the
// executable's: MAILSIFT_HOME and the fallback for a read-only folder apply alike.
void EnsureInitialised() {
    if (initialised) return;
    mailsift::InitFolders(LibraryPath());
    mailsift::ReadStartupSettings();
    mailsift::UseDefaultStoreBackends();
    initialised = true;
}

// The texts a folder record points to; they outlive the store so the list stays readable.
struct FolderTexts {
    std::string Name;
    std::string Path;
    std::string StoreFile;
    std::string Comment;
};

struct FolderListBlock {
    TFolderList list{};
    std::vector<FolderTexts> texts;
    std::vector<TFolder> records;
    std::vector<const mailsift::TFolder*> coreFolders;
    StoreHandle handle = 0;  // 0 once the store is closed: the core folders are gone
};

std::vector<std::unique_ptr<FolderListBlock>> folderLists;

std::unique_ptr<FolderListBlock> MakeFolderList(StoreHandle handle,
                                                const mailsift::TFolderList& folders) {
    auto block = std::make_unique<FolderListBlock>();
    block->handle = handle;
    block->texts.reserve(folders.size());
    block->records.reserve(folders.size());
    for (const mailsift::TFolder* folder : folders) {
        const FolderTexts& texts = block->texts.emplace_back(
            FolderTexts{folder->Name, folder->Path, folder->StoreFile, folder->Comment});
        block->records.push_back(TFolder{texts.Name.c_str(), texts.Path.c_str(),
                                         texts.StoreFile.c_str(), texts.Comment.c_str(), folder->Id,
                                         folder->ParentId, folder->MessageCount, folder->Size});
        block->coreFolders.push_back(folder);
    }
    block->list.Count = static_cast<uint32_t>(block->records.size());
    block->list.Folders = block->records.empty() ? nullptr : block->records.data();
    return block;
}

// The core folder behind a record of a list handed out for this open store, else null.
// Addresses are compared as integers: the pointer may come from anywhere.
const mailsift::TFolder* FindFolder(StoreHandle handle, const TFolder* folder) {
    const auto address = reinterpret_cast<std::uintptr_t>(folder);
    for (const auto& block : folderLists) {
        if (block->handle != handle || block->records.empty()) continue;
        const auto first = reinterpret_cast<std::uintptr_t>(block->records.data());
        const std::uintptr_t span = block->records.size() * sizeof(TFolder);
        if (address < first || address - first >= span) continue;
        if ((address - first) % sizeof(TFolder) != 0) return nullptr;
        return block->coreFolders[(address - first) / sizeof(TFolder)];
    }
    return nullptr;
}

char* CopyText(const std::string& text) {
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

void FreeAttachFileList(TAttachFileList* list) {
    if (list == nullptr) return;
    for (uint32_t i = 0; i < list->Count; ++i) std::free(list->Items[i].FileName);
    std::free(list->Items);
    std::free(list);
}

void FreeMessageTexts(TMessage& message) {
    for (char* text : {message.MessageId, message.Headers, message.FromName, message.FromAddress,
                       message.Subject, message.ToName, message.ToAddress, message.Body}) {
        std::free(text);
    }
    FreeAttachFileList(message.Attachments);
    message = TMessage{};
}

TAttachFileList* CopyAttachments(const std::vector<mailsift::TAttachFile>& attachments) {
    auto* list = static_cast<TAttachFileList*>(std::calloc(1, sizeof(TAttachFileList)));
    if (list == nullptr) throw std::bad_alloc();
    if (attachments.empty()) return list;
    list->Items = static_cast<TAttachFile*>(std::calloc(attachments.size(), sizeof(TAttachFile)));
    if (list->Items == nullptr) {
        std::free(list);
        throw std::bad_alloc();
    }
    try {
        for (const mailsift::TAttachFile& attachment : attachments) {
            list->Items[list->Count] =
                TAttachFile{CopyText(attachment.FileName), attachment.Index, attachment.Size};
            ++list->Count;
        }
    } catch (...) {
        FreeAttachFileList(list);
        throw;
    }
    return list;
}

// Fills the caller's record from the core's; on failure the record is left zeroed.
void CopyMessage(const mailsift::TMessage& from, TMessage& to) {
    TMessage copy{};
    try {
        copy.MessageId = CopyText(from.MessageId);
        copy.Headers = CopyText(from.Headers);
        copy.HeadersLength = from.Headers.size();
        copy.FromName = CopyText(from.FromName);
        copy.FromAddress = CopyText(from.FromAddress);
        copy.Subject = CopyText(from.Subject);
        copy.Created = from.Created;
        copy.Received = from.Received;
        copy.ToName = CopyText(from.ToName);
        copy.ToAddress = CopyText(from.ToAddress);
        copy.Size = from.Size;
        copy.Body = CopyText(from.Body);
        copy.BodyLength = from.Body.size();
        copy.Tag0BPresent = from.Tag0BPresent ? 1 : 0;
        copy.HasAttachments = from.HasAttachments ? 1 : 0;
        if (from.Attachments) copy.Attachments = CopyAttachments(*from.Attachments);
    } catch (...) {
        FreeMessageTexts(copy);
        throw;
    }
    to = copy;
}

// Runs one call under the lock with the library set up; exceptions end here as a result code
// and a report log line.
template <typename Result, typename Call>
Result Guarded(Call&& call) {
    try {
        std::lock_guard lock(apiMutex);
        try {
            EnsureInitialised();
            return call();
        } catch (const std::exception& failure) {
            mailsift::WriteReport(std::string("Store API exception: ") + failure.what());
        } catch (...) {
            mailsift::WriteReport("Store API exception: unknown");
        }
    } catch (...) {
        // Only the lock itself can get here.
    }
    return static_cast<Result>(MAILSIFT_INTERNAL_ERROR);
}

using CoreRead = int32_t (*)(StoreHandle, const mailsift::TFolder&, int32_t, mailsift::TMessage&);

int32_t ReadMessage(CoreRead read, uint32_t handle, const TFolder* folder, int32_t index,
                    TMessage* message) {
    if (message == nullptr) return MAILSIFT_INVALID_ARGUMENT;
    *message = TMessage{};
    return Guarded<int32_t>([&]() -> int32_t {
        mailsift::TMessage filled;
        int32_t result = MAILSIFT_BAD_HANDLE;
        if (handle > mailsift::kMaxResultCode) {
            const mailsift::TFolder* coreFolder = FindFolder(handle, folder);
            result = coreFolder != nullptr ? read(handle, *coreFolder, index, filled)
                                           : MAILSIFT_FOLDER_MISSING;
        }
        CopyMessage(filled, *message);
        return result;
    });
}

// The save operations refuse a bad handle or folder before the core sees them.
template <typename Save>
int32_t SaveMessage(uint32_t handle, const TFolder* folder, const char* targetFile, Save&& save) {
    if (targetFile == nullptr) return MAILSIFT_INVALID_ARGUMENT;
    return Guarded<int32_t>([&]() -> int32_t {
        if (handle <= mailsift::kMaxResultCode) return MAILSIFT_BAD_HANDLE;
        const mailsift::TFolder* coreFolder = FindFolder(handle, folder);
        if (coreFolder == nullptr) return MAILSIFT_FOLDER_MISSING;
        return save(*coreFolder, std::string(targetFile));
    });
}

}  // namespace

extern "C" {

uint32_t OpenMessageStorageP(const char* path, TFolderList** folders) {
    if (folders != nullptr) *folders = nullptr;
    if (path == nullptr || folders == nullptr) return MAILSIFT_INVALID_ARGUMENT;
    return Guarded<uint32_t>([&]() -> uint32_t {
        mailsift::TFolderList coreFolders;
        const StoreHandle handle = mailsift::OpenMessageStore(path, coreFolders);
        if (handle <= mailsift::kMaxResultCode) return handle;
        try {
            folderLists.push_back(MakeFolderList(handle, coreFolders));
        } catch (...) {
            // A handle whose folders cannot be handed out would stay open for good.
            mailsift::CloseMessageStore(handle);
            throw;
        }
        *folders = &folderLists.back()->list;
        return handle;
    });
}

int32_t GetMessageHeaders(uint32_t handle, const TFolder* folder, int32_t index,
                          TMessage* message) {
    return ReadMessage(mailsift::GetMessageHeaders, handle, folder, index, message);
}

int32_t GetMessageBody(uint32_t handle, const TFolder* folder, int32_t index, TMessage* message) {
    return ReadMessage(mailsift::GetMessageBody, handle, folder, index, message);
}

int32_t GetMessageAttachFilesList(uint32_t handle, const TFolder* folder, int32_t index,
                                  TMessage* message) {
    return ReadMessage(mailsift::GetMessageAttachFilesList, handle, folder, index, message);
}

int32_t SaveAttachToFile(uint32_t handle, const TFolder* folder, int32_t index,
                         uint16_t attachmentIndex, const char* targetFile) {
    return SaveMessage(handle, folder, targetFile,
                       [&](const mailsift::TFolder& coreFolder, const std::string& target) {
                           return mailsift::SaveAttachToFile(handle, coreFolder, index,
                                                             attachmentIndex, target);
                       });
}

int32_t SaveMessageToFile(uint32_t handle, const TFolder* folder, int32_t index,
                          const char* targetFile, int32_t saveAsEml) {
    return SaveMessage(handle, folder, targetFile,
                       [&](const mailsift::TFolder& coreFolder, const std::string& target) {
                           return mailsift::SaveMessageToFile(handle, coreFolder, index, target,
                                                              saveAsEml != 0);
                       });
}

int32_t SaveMessageToTextFile(uint32_t handle, const TFolder* folder, int32_t index,
                              const char* targetFile) {
    return SaveMessage(handle, folder, targetFile,
                       [&](const mailsift::TFolder& coreFolder, const std::string& target) {
                           return mailsift::SaveMessageToTextFile(handle, coreFolder, index,
                                                                  target);
                       });
}

int32_t SaveMessageToHTMLFile(uint32_t handle, const TFolder* folder, int32_t index,
                              const char* targetFile) {
    return SaveMessage(handle, folder, targetFile,
                       [&](const mailsift::TFolder& coreFolder, const std::string& target) {
                           return mailsift::SaveMessageToHTMLFile(handle, coreFolder, index,
                                                                  target);
                       });
}

int32_t CloseMessageStore(uint32_t handle) {
    return Guarded<int32_t>([&]() -> int32_t {
        const int32_t result = mailsift::CloseMessageStore(handle);
        if (result == mailsift::kResultSuccess) {
            for (const auto& block : folderLists) {
                if (block->handle == handle) block->handle = 0;
            }
        }
        return result;
    });
}

void FreeFolderList(TFolderList* folders) {
    if (folders == nullptr) return;
    try {
        std::lock_guard lock(apiMutex);
        std::erase_if(folderLists, [&](const auto& block) { return &block->list == folders; });
    } catch (...) {
        // Only the lock itself can throw; the list then stays allocated.
    }
}

void FreeMessage(TMessage* message) {
    if (message != nullptr) FreeMessageTexts(*message);
}

}  // extern "C"
