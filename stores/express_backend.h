#pragma once
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "mime/message.h"
#include "stores/dbx_reader.h"
#include "stores/store_backend.h"

namespace mailsift {

// Outlook Express stores: a "folders.dbx" with the folder files beside it, or a single folder
// file (any other ".dbx" name) opened on its own as a store of one folder. Header reads come
// from the folder file's message infos alone; body, attachment and save reads copy the text.
class ExpressStoreBackend final : public StoreBackend {
  public:
    ExpressStoreBackend() = default;
    ~ExpressStoreBackend() override;
    ExpressStoreBackend(const ExpressStoreBackend&) = delete;
    ExpressStoreBackend& operator=(const ExpressStoreBackend&) = delete;

    StoreHandle Open(const std::string& path, TFolderList& folders) override;
    int32_t ReadMessage(StoreHandle handle, const TMessageExtractionOptions& options,
                        const TFolder& folder, uint32_t index, TMessage& message) override;
    int32_t Close(StoreHandle handle) override;

  private:
    std::vector<std::unique_ptr<TFolder>> ListStoreFolders(const std::string& path);
    std::vector<std::unique_ptr<TFolder>> ListFolderFile(const std::string& path);
    void SetDisplayPaths(const std::string& path, std::vector<std::unique_ptr<TFolder>>& folders);
    // The message infos of a folder file, read again only when another file is asked for.
    const std::vector<TMessageInfo>& MessageInfosOf(const std::string& storeFile);
    // Copies a message's text into the temporary file for the parser; false when there is none.
    bool CopyForParser(const std::string& storeFile, const TMessageInfo& info,
                       const std::string& temporaryFile);
    int32_t ReadAttachments(const TMessageExtractionOptions& options, const TFolder& folder,
                            const TMessageInfo& info, TMessage& message);
    int32_t ReadBody(const TFolder& folder, const TMessageInfo& info, TMessage& message);
    int32_t SaveRawMessage(const std::string& storeFile, const TMessageInfo& info,
                           const TMessageExtractionOptions& options);
    // One log line per file and kind of damage while a store is open.
    void ReportDamage(const std::string& file, const DbxDamageList& damage);
    void ReportOnce(const std::string& file, const std::string& what, const std::string& line);

    StoreHandle handle_ = 0;
    std::vector<std::unique_ptr<TFolder>> folders_;
    std::string cachedStoreFile_;
    std::vector<TMessageInfo> cachedInfos_;
    std::unique_ptr<DbxMessageFile> messageFile_;  // the folder file messages are saved from
    // The message whose attachments were read last, parsed whole: its folder file and position.
    std::unique_ptr<TIdMessage> parsed_;
    std::string parsedFile_;  // empty when none is held
    int32_t parsedPosition_ = 0;
    std::set<std::pair<std::string, std::string>> reported_;
};

// The program's Outlook Express backend.
StoreBackend& OutlookExpressBackend();

}  // namespace mailsift
