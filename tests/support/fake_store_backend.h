#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "stores/store_backend.h"

namespace mailsift::test {

// A backend that keeps to the facade's contract over folders made up in the test: it claims
// any path it is offered, holds one store at a time and records what it was asked.
class FakeStoreBackend : public StoreBackend {
  public:
    explicit FakeStoreBackend(std::string name) : name_(std::move(name)) {}
    ~FakeStoreBackend() override;

    // The folders the next open lists; each message i of a folder has subject "<name> i".
    void AddFolder(std::string path, int32_t messageCount);
    // Every read fills the record with this one instead of the made-up fields.
    void UseMessage(TMessage message) { message_ = std::move(message); }
    // Open and ReadMessage throw this text while set.
    void FailWith(std::string message) { failure_ = std::move(message); }
    // Close answers this code for its own handle and keeps the store open.
    void FailClosingWith(int32_t code) { closeFailure_ = code; }

    StoreHandle Open(const std::string& path, TFolderList& folders) override;
    int32_t ReadMessage(StoreHandle handle, const TMessageExtractionOptions& options,
                        const TFolder& folder, uint32_t index, TMessage& message) override;
    int32_t Close(StoreHandle handle) override;

    StoreHandle handle() const { return handle_; }
    const std::string& openedPath() const { return openedPath_; }
    int readCalls() const { return readCalls_; }
    const TMessageExtractionOptions& lastOptions() const { return lastOptions_; }

  private:
    std::string name_;
    std::vector<std::unique_ptr<TFolder>> folders_;
    std::optional<TMessage> message_;
    std::string failure_;
    int32_t closeFailure_ = kResultSuccess;
    StoreHandle handle_ = 0;
    std::string openedPath_;
    int readCalls_ = 0;
    TMessageExtractionOptions lastOptions_;
};

// Installs backends for the length of a test and puts the previous ones back.
class ScopedStoreBackends {
  public:
    explicit ScopedStoreBackends(StoreBackends backends);
    ~ScopedStoreBackends();
    ScopedStoreBackends(const ScopedStoreBackends&) = delete;
    ScopedStoreBackends& operator=(const ScopedStoreBackends&) = delete;

  private:
    StoreBackends previous_;
};

}  // namespace mailsift::test
