#include "mapi-provider/store_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "mapi-provider/allocator.h"
#include "mapi-provider/stored_props.h"

namespace mailsift::mapi_provider {

using namespace mapi;

namespace {

// The Windows code pages an ANSI file's strings can be written in.
bool IsAnsiCodePage(LONG codePage) {
    return codePage == 874 || codePage == 932 || codePage == 936 || codePage == 949 ||
           codePage == 950 || (codePage >= 1250 && codePage <= 1258);
}

// The code page a message's 8-bit strings are written in, or 0 when it does not say.
LONG MessageCodePage(const StoreFile& file, const pst::Item& message) {
    constexpr ULONG PR_MESSAGE_CODEPAGE = PROP_TAG(PT_LONG, 0x3FFD);
    constexpr ULONG PR_INTERNET_CPID = PROP_TAG(PT_LONG, 0x3FDE);
    for (ULONG tag : {PR_MESSAGE_CODEPAGE, PR_INTERNET_CPID}) {
        SPropValue value{};
        if (SUCCEEDED(ReadStoredProp({&file, &message, 0}, tag, value, nullptr)) &&
            IsAnsiCodePage(value.Value.l)) {
            return value.Value.l;
        }
    }
    return 0;
}

// An ANSI file records no code page of its own. The messages name the code page of the
// Outlook that wrote them, so the first that does, in a short walk from the root, sets it for
// the file.
LONG FindStoreCodePage(const StoreFile& file) {
    constexpr size_t kFoldersLooked = 64;
    constexpr size_t kMessagesLooked = 4;
    std::vector<uint32_t> folders{pst::kNidRootFolder};
    for (size_t next = 0; next < folders.size() && next < kFoldersLooked; ++next) {
        std::vector<uint32_t> messages;
        std::vector<uint32_t> children;
        file.reader().SubMessages(folders[next], messages);
        file.reader().SubFolders(folders[next], children);
        for (size_t i = 0; i < std::min(messages.size(), kMessagesLooked); ++i) {
            SharedItem message;
            const LONG codePage = SUCCEEDED(file.ItemById(messages[i], message))
                                      ? MessageCodePage(file, *message)
                                      : 0;
            if (codePage != 0) return codePage;
        }
        for (uint32_t child : children) {
            if (folders.size() >= kFoldersLooked) break;
            folders.push_back(child);
        }
    }
    return 0;
}

}  // namespace

HRESULT FromStatus(pst::Status status) {
    switch (status) {
        case pst::Status::Ok:
            return S_OK;
        case pst::Status::NotFound:
            return MAPI_E_NOT_FOUND;
        case pst::Status::Damaged:
            break;
    }
    return MAPI_E_CORRUPT_DATA;
}

HRESULT StoreFile::Open(const std::string& path, std::shared_ptr<StoreFile>& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return MAPI_E_NOT_FOUND;
    }
    std::shared_ptr<StoreFile> opened(new StoreFile());
    if (pst::ItemReader::Open(path, opened->reader_) != pst::Status::Ok) {
        return MAPI_E_CORRUPT_DATA;
    }
    // A file whose folder tree cannot be reached is of no use as a store.
    SharedItem root;
    if (FAILED(opened->RootFolder(root))) {
        return MAPI_E_CORRUPT_DATA;
    }
    if (!opened->reader_->unicode()) {
        const LONG codePage = FindStoreCodePage(*opened);
        if (codePage != 0) opened->codePage_ = static_cast<int>(codePage);
    }
    SharedItem store;
    if (SUCCEEDED(opened->ItemById(pst::kNidMessageStore, store))) {
        const RecordSource source{opened.get(), store.get(), 0};
        BufferPtr<SPropValue> name(AllocateRoot<SPropValue>());
        if (name != nullptr &&
            SUCCEEDED(ReadStoredProp(source, PR_DISPLAY_NAME_A, *name, name.get()))) {
            opened->displayName_ = name->Value.lpszA;
        }
        BufferPtr<SPropValue> key(AllocateRoot<SPropValue>());
        if (key != nullptr && SUCCEEDED(ReadStoredProp(source, PR_RECORD_KEY, *key, key.get())) &&
            key->Value.bin.cb == sizeof(MAPIUID)) {
            std::memcpy(opened->uid_.ab, key->Value.bin.lpb, sizeof(MAPIUID));
        }
    }
    if (opened->displayName_.empty()) {
        opened->displayName_ = std::filesystem::path(path).stem().string();
    }
    file = std::move(opened);
    return S_OK;
}

HRESULT StoreFile::ItemById(uint32_t id, SharedItem& item) const {
    return FromStatus(reader_->OpenNode(id, item));
}

}  // namespace mailsift::mapi_provider
