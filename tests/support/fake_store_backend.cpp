#include "support/fake_store_backend.h"

#include <stdexcept>

#include "stores/store_handles.h"

namespace mailsift::test {

FakeStoreBackend::~FakeStoreBackend() {
    if (handle_ != 0) ReleaseStoreHandle(handle_);
}

void FakeStoreBackend::AddFolder(std::string path, int32_t messageCount) {
    auto folder = std::make_unique<TFolder>();
    folder->Name = path.substr(path.rfind('/') + 1);
    folder->Path = std::move(path);
    folder->Id = static_cast<int32_t>(folders_.size()) + 1;
    folder->MessageCount = messageCount;
    folders_.push_back(std::move(folder));
}

StoreHandle FakeStoreBackend::Open(const std::string& path, TFolderList& folders) {
    if (!failure_.empty()) throw std::runtime_error(failure_);
    if (handle_ != 0) return kResultAlreadyOpen;
    if (folders_.empty()) return kResultNothingFound;
    for (const auto& folder : folders_) {
        folder->StoreFile = path;
        folders.push_back(folder.get());
    }
    openedPath_ = path;
    handle_ = NewStoreHandle();
    return handle_;
}

int32_t FakeStoreBackend::ReadMessage(StoreHandle handle, const TMessageExtractionOptions& options,
                                      const TFolder& folder, uint32_t index, TMessage& message) {
    message = TMessage{};
    if (handle_ == 0 || handle != handle_) return kResultNotMyHandle;
    ++readCalls_;
    lastOptions_ = options;
    if (!failure_.empty()) throw std::runtime_error(failure_);
    if (index >= static_cast<uint32_t>(folder.MessageCount)) return kResultBadMessageIndex;
    if (message_) {
        message = *message_;
        return kResultSuccess;
    }
    message.Subject = name_ + " " + std::to_string(index);
    message.FromName = name_;
    message.FromAddress = name_ + "@example.org";
    if (options.WantBody) message.Body = "body of " + message.Subject;
    if (options.WantAttachments || options.SaveAttachment) {
        message.Attachments = std::vector<TAttachFile>{{"a.txt", 0, 0}};
    }
    return kResultSuccess;
}

int32_t FakeStoreBackend::Close(StoreHandle handle) {
    if (handle_ == 0 || handle != handle_) return kResultNotMyHandle;
    if (closeFailure_ != kResultSuccess) return closeFailure_;
    ReleaseStoreHandle(handle_);
    handle_ = 0;
    return kResultSuccess;
}

ScopedStoreBackends::ScopedStoreBackends(StoreBackends backends)
    : previous_(ActiveStoreBackends()) {
    ActiveStoreBackends() = backends;
}

ScopedStoreBackends::~ScopedStoreBackends() {
    ActiveStoreBackends() = previous_;
}

}  // namespace mailsift::test
