#include "outlook/outlook_backend.h"

#include <exception>
#include <filesystem>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

#include "config/report_log.h"
#include "mapi/interface_cast.h"
#include "mapi/interface_ref.h"
#include "mapi/mapi_tags.h"
#include "outlook/mapi_library.h"
#include "outlook/mapi_values.h"
#include "outlook/outlook_message_files.h"
#include "platform/date_time.h"
#include "platform/file_system.h"
#include "platform/safe_path_component.h"
#include "platform/work_hooks.h"
#include "stores/store_handles.h"

namespace mailsift {

namespace {

using mapi::HRESULT;
using mapi::ULONG;

constexpr const char* kProfileName = "MSFPROFILE";
constexpr const char* kServiceName = "MSPST MS";
constexpr const char* kStoreParentPath = "/MS Outlook";
// Deeper than any folder tree MS Outlook makes; a file that claims more is damaged.
constexpr size_t kMaxFolderDepth = 256;

std::string Numbered(const char* text, HRESULT result) {
    return std::string(text) + std::to_string(result);
}

// A folder name as one component of a display path, which export paths are made of.
std::string PathComponent(const std::string& name) {
    return SafePathComponent(name);
}

using EntryId = std::vector<mapi::BYTE>;

mapi::LPENTRYID EntryPointer(const EntryId& id) {
    return id.empty() ? nullptr
                      : reinterpret_cast<mapi::LPENTRYID>(const_cast<mapi::BYTE*>(id.data()));
}

class OutlookStoreBackend final : public StoreBackend {
  public:
    OutlookStoreBackend() = default;
    ~OutlookStoreBackend() override {
        if (handle_ != 0) ReleaseStoreHandle(handle_);
    }
    OutlookStoreBackend(const OutlookStoreBackend&) = delete;
    OutlookStoreBackend& operator=(const OutlookStoreBackend&) = delete;

    StoreHandle Open(const std::string& path, TFolderList& folders) override;
    int32_t ReadMessage(StoreHandle handle, const TMessageExtractionOptions& options,
                        const TFolder& folder, uint32_t index, TMessage& message) override;
    int32_t Close(StoreHandle handle) override;

  private:
    struct ListedFolder {
        std::unique_ptr<TFolder> record;
        EntryId entryId;  // empty for the top folder, which is opened as the store's root
    };

    // Sets `result` to what each step reaches.
    void OpenSteps(const std::string& path, int32_t& result);
    HRESULT ReadServiceRow(mapi::MAPIUID* uid, std::string* displayName);
    bool OpenListedStore(const std::string& serviceName);
    void Walk(mapi::IMAPIFolder* folder, const EntryId& entryId, const std::string& parentPath,
              const std::string& name, const std::string& comment, int32_t parentId, size_t depth);
    // Deletes the temporary profile and gives back everything the open obtained.
    void ReleaseAll();

    // The listed folder a read asks for: the record itself when it is one of ours, else the
    // first folder with its path. nullopt when there is none.
    std::optional<size_t> FindListedFolder(const TFolder& folder) const;
    int32_t SelectFolder(size_t listed);
    void ReadRecord(mapi::IMessage* message, const TMessageExtractionOptions& options,
                    TMessage& record);
    int32_t ReadAttachments(mapi::IMessage* message, const TMessageExtractionOptions& options,
                            TMessage& record);

    StoreHandle handle_ = 0;
    std::string storeFile_;
    std::string storeName_;
    mapi::InterfaceRef<mapi::IProfAdmin> admin_;
    mapi::InterfaceRef<mapi::IMsgServiceAdmin> services_;
    mapi::InterfaceRef<mapi::IMAPISession> session_;
    mapi::InterfaceRef<mapi::IMsgStore> store_;
    mapi::InterfaceRef<mapi::IMAPIFolder> root_;

    std::vector<ListedFolder> folders_;
    std::unordered_map<const TFolder*, size_t> folderIndex_;
    std::set<EntryId> visited_;
    int32_t nextFolderId_ = 0;

    std::optional<size_t> cachedFolder_;
    mapi::InterfaceRef<mapi::IMAPIFolder> cachedFolderObject_;
    mapi::InterfaceRef<mapi::IMAPITable> cachedContents_;
    MapiRows cachedRows_;
};

StoreHandle OutlookStoreBackend::Open(const std::string& path, TFolderList& folders) {
    if (handle_ != 0) return kResultAlreadyOpen;
    storeFile_ = path;
    if (!IsExistingFile(path)) return kResultNothingFound;
    if (!LoadMapiLibrary()) return kResultMapiUnavailable;
    folders_.clear();
    folderIndex_.clear();
    visited_.clear();
    nextFolderId_ = 0;
    int32_t result = kResultMapiOpenFailed;
    bool thrown = false;
    try {
        OpenSteps(path, result);
    } catch (const std::exception& error) {
        WriteReport(std::string("MS Outlook Open Storage Exception: ") + error.what());
        thrown = true;
    }
    if (folders_.empty() || thrown) {
        // A failed open leaves nothing behind, so that the next one starts clean.
        folders_.clear();
        ReleaseAll();
        MapiEntries().MAPIUninitialize();
        return result;
    }
    handle_ = NewStoreHandle();
    for (size_t i = 0; i < folders_.size(); ++i) {
        folderIndex_.emplace(folders_[i].record.get(), i);
        folders.push_back(folders_[i].record.get());
    }
    return handle_;
}

void OutlookStoreBackend::OpenSteps(const std::string& path, int32_t& result) {
    const mapi::MapiEntryPoints& entries = MapiEntries();
    WriteReport("Open MS Outlook Message storage at: " + path);
    try {
        WriteReport(Numbered("Initialize result #", entries.MAPIInitialize(nullptr)));
        WriteReport(Numbered("Profiles result #", entries.MAPIAdminProfiles(0, admin_.out())));
    } catch (const std::exception&) {
    }
    if (!admin_) {
        WriteReport("Profiles is NULL, service not availabel");
        return;
    }
    WriteReport(Numbered("Profile.Create #", admin_->CreateProfile(kProfileName, nullptr, 0, 0)));
    WriteReport(Numbered("Profile.Services #",
                         admin_->AdminServices(kProfileName, nullptr, 0, 0, services_.out())));
    if (!services_) return;
    HRESULT hr =
        services_->CreateMsgService(kServiceName, kProfileName, 0, mapi::SERVICE_UI_ALLOWED);
    WriteReport(Numbered("Create MsgService  #", hr));
    if (hr != mapi::S_OK) {
        WriteReport("Admin Create Msg Service for MS Outlook 2000 Interfaces");
        services_->CreateMsgService(kServiceName, kProfileName, 0, 0);
    }
    mapi::MAPIUID uid{};
    if (mapi::FAILED(ReadServiceRow(&uid, nullptr))) return;
    std::string pathText = path;
    mapi::SPropValue pstPath{};
    pstPath.ulPropTag = mapi::PR_PST_PATH_A;
    pstPath.Value.lpszA = pathText.data();
    services_->ConfigureMsgService(&uid, 0, mapi::SERVICE_UI_ALLOWED, 1, &pstPath);
    std::string serviceName;
    if (mapi::FAILED(ReadServiceRow(nullptr, &serviceName))) return;
    entries.MAPILogonEx(0, kProfileName, nullptr,
                        mapi::MAPI_EXTENDED | mapi::MAPI_NEW_SESSION | mapi::MAPI_NO_MAIL,
                        session_.out());
    if (!session_) return;
    if (!OpenListedStore(serviceName)) return;
    ULONG type = 0;
    mapi::InterfaceRef<mapi::IUnknown> root;
    hr = store_->OpenEntry(0, nullptr, &mapi::IID_IMAPIFolder, 0, &type, root.out());
    if (mapi::FAILED(hr) || !root || type != mapi::MAPI_FOLDER) return;
    *root_.out() = mapi::As<mapi::IMAPIFolder>(root.detach());
    result = kResultNoFolders;
    Walk(root_.get(), {}, kStoreParentPath, storeName_, "", 0, 0);
}

// The first row of the service table: the service's UID, or its display name.
HRESULT OutlookStoreBackend::ReadServiceRow(mapi::MAPIUID* uid, std::string* displayName) {
    mapi::InterfaceRef<mapi::IMAPITable> table;
    HRESULT hr = services_->GetMsgServiceTable(0, table.out());
    if (uid != nullptr) WriteReport(Numbered("Admin MsgServiceTable #", hr));
    if (mapi::FAILED(hr) || !table) return mapi::FAILED(hr) ? hr : mapi::MAPI_E_CALL_FAILED;
    mapi::SizedSPropTagArray<2> columns{2, {mapi::PR_SERVICE_UID, mapi::PR_DISPLAY_NAME_A}};
    MapiRows rows;
    hr = table->SetColumns(columns.get(), 0);
    if (mapi::SUCCEEDED(hr)) hr = table->QueryRows(1, 0, rows.out());
    if (mapi::FAILED(hr)) return hr;
    if (rows.size() == 0) return mapi::MAPI_E_NOT_FOUND;
    if (uid != nullptr) {
        const EntryId bytes = CellBytes(rows.cell(0, 0), mapi::PR_SERVICE_UID);
        if (bytes.size() != sizeof(uid->ab)) return mapi::MAPI_E_NOT_FOUND;
        std::copy(bytes.begin(), bytes.end(), uid->ab);
    }
    if (displayName != nullptr) {
        const mapi::SPropValue* name = rows.cell(0, 1);
        if (name == nullptr || name->ulPropTag != mapi::PR_DISPLAY_NAME_A ||
            name->Value.lpszA == nullptr) {
            return mapi::MAPI_E_NOT_FOUND;
        }
        *displayName = name->Value.lpszA;
    }
    return mapi::S_OK;
}

bool OutlookStoreBackend::OpenListedStore(const std::string& serviceName) {
    mapi::InterfaceRef<mapi::IMAPITable> table;
    MapiRows rows;
    if (mapi::FAILED(session_->GetMsgStoresTable(0, table.out())) || !table ||
        mapi::FAILED(
            QueryAllRows(table.get(), {mapi::PR_ENTRYID, mapi::PR_DISPLAY_NAME_A}, rows))) {
        return false;
    }
    for (ULONG i = 0; i < rows.size() && !store_; ++i) {
        const mapi::SPropValue* name = rows.cell(i, 1);
        if (name == nullptr || name->ulPropTag != mapi::PR_DISPLAY_NAME_A ||
            name->Value.lpszA == nullptr) {
            continue;
        }
        storeName_ = name->Value.lpszA;
        if (storeName_ != serviceName) continue;
        const EntryId entryId = CellBytes(rows.cell(i, 0), mapi::PR_ENTRYID);
        session_->OpenMsgStore(0, static_cast<ULONG>(entryId.size()), EntryPointer(entryId),
                               nullptr, mapi::MDB_NO_MAIL, store_.out());
    }
    if (!store_) {
        WriteReport(
            "Msg Store not created, MS Outlook not ready or Message store file has not "
            "supported version.");
    }
    return static_cast<bool>(store_);
}

void OutlookStoreBackend::Walk(mapi::IMAPIFolder* folder, const EntryId& entryId,
                               const std::string& parentPath, const std::string& name,
                               const std::string& comment, int32_t parentId, size_t depth) {
    if (StopRequested()) return;
    // A folder listed below itself, or twice, would be walked without end. The top folder is
    // opened without its identifier, so it is looked up to be known again.
    const EntryId ownId = entryId.empty() ? ReadBinaryProperty(folder, mapi::PR_ENTRYID) : entryId;
    if (depth > kMaxFolderDepth || (!ownId.empty() && !visited_.insert(ownId).second)) {
        WriteReport("Damaged MS Outlook folder tree below " + parentPath);
        return;
    }
    // A folder without a name still holds mail: it is listed under a stand-in name, numbered
    // by its place in the list so that no two such folders share a path.
    const std::string shownName =
        name.empty() ? "NoName folder " + std::to_string(folders_.size() + 1) : name;
    const std::string path = parentPath + "/" + PathComponent(shownName);
    mapi::InterfaceRef<mapi::IMAPITable> contents;
    MapiRows messages;
    if (mapi::FAILED(folder->GetContentsTable(0, contents.out())) || !contents ||
        mapi::FAILED(QueryAllRows(contents.get(), {mapi::PR_ENTRYID}, messages))) {
        return;
    }
    auto record = std::make_unique<TFolder>();
    record->Name = shownName;
    record->Path = path;
    record->StoreFile = storeFile_;
    record->Comment = comment;
    record->ParentId = parentId;
    record->MessageCount = static_cast<int32_t>(messages.size());
    messages.reset();
    contents.reset();
    TFolder& listed = *record;
    folders_.push_back({std::move(record), entryId});

    mapi::InterfaceRef<mapi::IUnknown> opened;
    if (mapi::FAILED(folder->OpenProperty(mapi::PR_CONTAINER_HIERARCHY, &mapi::IID_IMAPITable, 0, 0,
                                          opened.out())) ||
        !opened) {
        return;
    }
    MapiRows children;
    if (mapi::FAILED(QueryAllRows(mapi::As<mapi::IMAPITable>(opened.get()),
                                  {mapi::PR_ENTRYID, mapi::PR_DISPLAY_NAME_W, mapi::PR_COMMENT_W},
                                  children))) {
        return;
    }
    listed.Id = ++nextFolderId_;
    for (ULONG i = 0; i < children.size(); ++i) {
        const EntryId childId = CellBytes(children.cell(i, 0), mapi::PR_ENTRYID);
        // No identifier would open the store's top folder once more.
        if (childId.empty()) continue;
        ULONG type = 0;
        mapi::InterfaceRef<mapi::IUnknown> child;
        if (mapi::FAILED(folder->OpenEntry(static_cast<ULONG>(childId.size()),
                                           EntryPointer(childId), nullptr, 0, &type,
                                           child.out())) ||
            !child || type != mapi::MAPI_FOLDER) {
            continue;
        }
        Walk(mapi::As<mapi::IMAPIFolder>(child.get()), childId, path,
             CellText(children.cell(i, 1), mapi::PR_DISPLAY_NAME_W),
             CellText(children.cell(i, 2), mapi::PR_COMMENT_W), listed.Id, depth + 1);
    }
}

std::optional<size_t> OutlookStoreBackend::FindListedFolder(const TFolder& folder) const {
    const auto own = folderIndex_.find(&folder);
    if (own != folderIndex_.end()) return own->second;
    for (size_t i = 0; i < folders_.size(); ++i) {
        if (folders_[i].record->Path == folder.Path) return i;
    }
    return std::nullopt;
}

int32_t OutlookStoreBackend::SelectFolder(size_t listed) {
    if (cachedFolder_ == listed) return kResultSuccess;
    const ListedFolder& wanted = folders_[listed];
    WriteReport("Folder name: " + wanted.record->Path);
    cachedFolder_.reset();
    cachedRows_.reset();
    cachedContents_.reset();
    cachedFolderObject_.reset();
    if (wanted.entryId.empty()) {
        root_->AddRef();
        *cachedFolderObject_.out() = root_.get();
    } else {
        ULONG type = 0;
        mapi::InterfaceRef<mapi::IUnknown> opened;
        if (mapi::FAILED(store_->OpenEntry(static_cast<ULONG>(wanted.entryId.size()),
                                           EntryPointer(wanted.entryId), &mapi::IID_IMAPIFolder, 0,
                                           &type, opened.out())) ||
            !opened || type != mapi::MAPI_FOLDER) {
            return kResultFolderMissing;
        }
        *cachedFolderObject_.out() = mapi::As<mapi::IMAPIFolder>(opened.detach());
    }
    if (mapi::FAILED(cachedFolderObject_->GetContentsTable(0, cachedContents_.out())) ||
        !cachedContents_ ||
        mapi::FAILED(QueryAllRows(cachedContents_.get(), {mapi::PR_ENTRYID}, cachedRows_))) {
        return kResultFolderMissing;
    }
    cachedFolder_ = listed;
    return kResultSuccess;
}

int32_t OutlookStoreBackend::ReadMessage(StoreHandle handle,
                                         const TMessageExtractionOptions& options,
                                         const TFolder& folder, uint32_t index, TMessage& message) {
    message = TMessage{};
    if (handle_ == 0 || handle != handle_) return kResultNotMyHandle;
    const std::optional<size_t> listed = FindListedFolder(folder);
    if (!listed) return kResultFolderMissing;
    const int32_t selected = SelectFolder(*listed);
    if (selected != kResultSuccess) return selected;
    if (index >= cachedRows_.size()) return kResultSuccess;
    const EntryId entryId = CellBytes(cachedRows_.cell(index, 0), mapi::PR_ENTRYID);
    // A row without an identifier would open the store's top folder, which is no message.
    if (entryId.empty()) return kResultSuccess;
    ULONG type = 0;
    mapi::InterfaceRef<mapi::IUnknown> opened;
    if (mapi::FAILED(store_->OpenEntry(static_cast<ULONG>(entryId.size()), EntryPointer(entryId),
                                       &mapi::IID_IMessage, mapi::MAPI_BEST_ACCESS, &type,
                                       opened.out())) ||
        !opened || type != mapi::MAPI_MESSAGE) {
        return kResultSuccess;
    }
    auto* object = mapi::As<mapi::IMessage>(opened.get());
    ReadRecord(object, options, message);
    if (options.SaveMessage) {
        const int32_t saved = options.SaveAsEml ? WriteEmlFile(object, message, options.TargetFile)
                                                : WriteMsgFile(object, options.TargetFile);
        if (saved != kResultSuccess) return saved;
        if (!options.SaveAsEml) SetFileDate(options.TargetFile, message.Received);
    }
    return ReadAttachments(object, options, message);
}

void OutlookStoreBackend::ReadRecord(mapi::IMessage* message,
                                     const TMessageExtractionOptions& options, TMessage& record) {
    record.MessageId = ReadTextProperty(message, mapi::PR_CONTENT_IDENTIFIER_W);
    record.FromName = ReadTextProperty(message, mapi::PR_SENDER_NAME_W);
    record.FromAddress = ReadTextProperty(message, mapi::PR_SENDER_EMAIL_ADDRESS_W);
    record.Subject = ReadTextProperty(message, mapi::PR_SUBJECT_W);
    record.ToName = ReadTextProperty(message, mapi::PR_DISPLAY_TO_W);
    record.Headers = ReadTextProperty(message, mapi::PR_TRANSPORT_MESSAGE_HEADERS_W);
    if (options.WantBody || options.SaveAsEml) {
        record.Body = ReadTextProperty(message, mapi::PR_BODY_W);
    }
    record.Size = ReadLongProperty(message, mapi::PR_MESSAGE_SIZE);
    if (!ReadTimeProperty(message, mapi::PR_CREATION_TIME, record.Created)) {
        record.Created = NowDateTime();
    }
    if (!ReadTimeProperty(message, mapi::PR_CLIENT_SUBMIT_TIME, record.Received)) {
        record.Received = NowDateTime();
    }
}

int32_t OutlookStoreBackend::ReadAttachments(mapi::IMessage* message,
                                             const TMessageExtractionOptions& options,
                                             TMessage& record) {
    record.HasAttachments = false;
    const bool saving = options.SaveAttachment && !options.TargetFile.empty();
    std::optional<OutlookAttachmentTable> table = ReadAttachmentTable(message);
    if (!table) return saving ? kResultNoAttachments : kResultSuccess;
    std::vector<TAttachFile>& attachments = record.Attachments.emplace();
    if (!table->read) return saving ? kResultNoAttachments : kResultSuccess;
    record.HasAttachments = true;
    if (!options.WantAttachments && !options.SaveAttachment && !options.SaveAsEml) {
        return kResultSuccess;
    }
    // A save asked for and not made is told as one, never as a saved file.
    int32_t result = saving ? kResultNoAttachments : kResultSuccess;
    for (const OutlookAttachmentRow& row : table->rows) {
        mapi::InterfaceRef<mapi::IAttach> attachment;
        *attachment.out() = OpenAttachment(message, row.Number);
        if (!attachment) continue;
        TAttachFile& entry = attachments.emplace_back();
        entry.FileName = row.FileName;
        entry.Index = row.Index;
        if (!saving || row.Index != options.AttachmentIndex) continue;
        switch (CopyAttachmentData(attachment.get(), options.TargetFile, entry.Size)) {
            case AttachmentCopy::Written:
                SetFileDate(options.TargetFile, record.Received);
                result = kResultSuccess;
                break;
            case AttachmentCopy::NoData:
                break;
            case AttachmentCopy::TargetFailed:
                result = kResultWriteFailed;
                break;
        }
    }
    return result;
}

int32_t OutlookStoreBackend::Close(StoreHandle handle) {
    if (handle_ == 0 || handle != handle_) return kResultNotMyHandle;
    ReleaseStoreHandle(handle_);
    handle_ = 0;
    WriteReport("MS Outlook, close message storage, disconnect all interfaces, and free memory");
    int32_t result = kResultSuccess;
    if (!admin_) {
        result = kResultMapiCloseFailed;
    } else {
        try {
            ReleaseAll();
        } catch (const std::exception& error) {
            WriteReport(std::string("MS Outlook Close Storage Exception: ") + error.what());
            result = kResultMapiCloseFailed;
        }
    }
    folders_.clear();
    folderIndex_.clear();
    MapiEntries().MAPIUninitialize();
    return result;
}

void OutlookStoreBackend::ReleaseAll() {
    if (admin_) admin_->DeleteProfile(kProfileName, 0);
    admin_.reset();
    services_.reset();
    store_.reset();
    session_.reset();
    root_.reset();
    cachedFolder_.reset();
    cachedRows_.reset();
    cachedContents_.reset();
    cachedFolderObject_.reset();
    visited_.clear();
}

}  // namespace

StoreBackend& MSOutlookBackend() {
    static OutlookStoreBackend backend;
    return backend;
}

}  // namespace mailsift
