#include "stores/express_backend.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <map>
#include <unordered_map>

#include "config/private_temp_folder.h"
#include "config/report_log.h"
#include "mime/message.h"
#include "platform/date_time.h"
#include "platform/file_system.h"
#include "platform/safe_path_component.h"
#include "platform/text_case.h"
#include "stores/parsed_message.h"
#include "stores/store_handles.h"

namespace mailsift {

namespace {

constexpr std::string_view kFoldersFileName = "folders.dbx";
// A message's text passes through this file, in a folder of its own, on its way to the parser.
constexpr const char* kParserFileName = "message.$$$";
// Deeper than any folder tree a mail client makes, and longer than any path the file system
// takes: a parent chain that goes past either is damage. Cutting it keeps a crafted list (many
// folders under one huge name) from making display paths far larger than the file itself.
constexpr size_t kMaxFolderDepth = 64;
constexpr size_t kMaxDisplayPath = 4096;

// The mail client names it "Folders.dbx"; a copy from a Windows disk keeps that case, one
// from a FAT volume may show it lower-cased, and Windows never told them apart.
bool IsFoldersFile(const std::string& path) {
    return EqualsIgnoringCase(std::filesystem::path(path).filename().string(), kFoldersFileName);
}

// The store's files by upper-cased name, to find a folder file whose name the store gives in
// another case than the copied files carry.
std::unordered_map<std::string, std::string> FilesByUpperCasedName(
    const std::filesystem::path& directory) {
    std::unordered_map<std::string, std::string> files;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        files.try_emplace(AsciiUpperCased(name), name);
    }
    return files;
}

int64_t FileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<int64_t>(size);
}

// A folder's name as one component of a display path.
std::string PathComponent(const std::string& name) {
    return SafePathComponent(name.substr(0, name.find_last_not_of(' ') + 1));
}

void FillFromInfo(const TMessageInfo& info, TMessage& message) {
    message.MessageId = info.MessageIdText;
    message.FromName = info.SenderName;
    message.FromAddress = info.SenderAddress;
    message.Subject = info.SubjectText;
    message.ToName = info.ReceiverName;
    message.ToAddress = info.ReceiverAddress;
    message.Created = DateTimeFromFileTime(info.CreatedTime);
    message.Received = DateTimeFromFileTime(info.ReceivedTime);
    message.Size = static_cast<int32_t>(info.MessageSize);
    message.HasAttachments = (info.Flags & kDbxAttachmentFlag) != 0;
    message.Tag0BPresent = !info.Str0B.empty();
}

}  // namespace

ExpressStoreBackend::~ExpressStoreBackend() {
    if (handle_ != 0) ReleaseStoreHandle(handle_);
}

StoreHandle ExpressStoreBackend::Open(const std::string& path, TFolderList& folders) {
    if (handle_ != 0) return kResultAlreadyOpen;
    if (!IsExistingFile(path)) return kResultNothingFound;
    reported_.clear();
    try {
        std::vector<std::unique_ptr<TFolder>> listed =
            IsFoldersFile(path) ? ListStoreFolders(path) : ListFolderFile(path);
        if (listed.empty()) return kResultNoFolders;
        folders_ = std::move(listed);
    } catch (const std::exception& error) {
        WriteReport(std::string("Open index file error, can't  export. Please select valid folder. "
                                "System message: ") +
                    error.what());
        return kResultNoFolders;
    }
    handle_ = NewStoreHandle();
    for (const auto& folder : folders_) folders.push_back(folder.get());
    return handle_;
}

std::vector<std::unique_ptr<TFolder>> ExpressStoreBackend::ListStoreFolders(
    const std::string& path) {
    DbxDamageList damage;
    std::vector<TFolder> infos = ReadDbxFolders(path, damage);
    ReportDamage(path, damage);
    const std::filesystem::path directory = std::filesystem::path(path).parent_path();
    const auto files = FilesByUpperCasedName(directory);
    std::vector<std::unique_ptr<TFolder>> folders;
    for (TFolder& info : infos) {
        auto folder = std::make_unique<TFolder>(std::move(info));
        // The stored name is a bare file name in every real store; a name with a folder part
        // must not lead the reader out of the store's folder.
        if (!folder->StoreFile.empty()) {
            std::string name = SafePathComponent(folder->StoreFile);
            if (!IsExistingFile((directory / name).string())) {
                const auto other = files.find(AsciiUpperCased(name));
                if (other != files.end()) name = other->second;
            }
            folder->StoreFile = (directory / name).string();
        }
        if (IsExistingFile(folder->StoreFile)) {
            DbxDamageList countDamage;
            folder->MessageCount = ReadDbxItemCount(folder->StoreFile, countDamage);
            folder->Size = FileSize(folder->StoreFile);
            ReportDamage(folder->StoreFile, countDamage);
        }
        folders.push_back(std::move(folder));
    }
    SetDisplayPaths(path, folders);
    return folders;
}

std::vector<std::unique_ptr<TFolder>> ExpressStoreBackend::ListFolderFile(const std::string& path) {
    auto folder = std::make_unique<TFolder>();
    folder->Name = std::filesystem::path(path).stem().string();
    folder->Path = PathComponent(folder->Name);
    folder->StoreFile = path;
    folder->Id = 1;
    DbxDamageList damage;
    folder->MessageCount = ReadDbxItemCount(path, damage);
    folder->Size = FileSize(path);
    ReportDamage(path, damage);
    std::vector<std::unique_ptr<TFolder>> folders;
    folders.push_back(std::move(folder));
    return folders;
}

// A folder's path is its parent's path and its own name; a parent without a file of its own
// (the store's top folder) is not listed, so the chain ends there.
void ExpressStoreBackend::SetDisplayPaths(const std::string& path,
                                          std::vector<std::unique_ptr<TFolder>>& folders) {
    std::unordered_map<int32_t, size_t> firstWithId;
    std::vector<std::string> components;
    components.reserve(folders.size());
    for (size_t i = 0; i < folders.size(); ++i) {
        firstWithId.try_emplace(folders[i]->Id, i);
        components.push_back(PathComponent(folders[i]->Name));
    }
    for (size_t i = 0; i < folders.size(); ++i) {
        const auto report = [&](const std::string& what) {
            ReportOnce(path, what, what + " at folder id " + std::to_string(folders[i]->Id));
        };
        std::vector<size_t> chain{i};
        size_t length = components[i].size();
        while (folders[chain.back()]->Id != 0) {
            const auto parent = firstWithId.find(folders[chain.back()]->ParentId);
            if (parent == firstWithId.end()) break;
            if (std::find(chain.begin(), chain.end(), parent->second) != chain.end()) {
                report("parent chain loop");
                break;
            }
            if (chain.size() == kMaxFolderDepth) {
                report("folders nested too deep");
                break;
            }
            if (length + 1 + components[parent->second].size() > kMaxDisplayPath) {
                report("display path too long");
                break;
            }
            length += 1 + components[parent->second].size();
            chain.push_back(parent->second);
        }
        std::string display;
        display.reserve(length);
        for (auto level = chain.rbegin(); level != chain.rend(); ++level) {
            if (level != chain.rbegin()) display += '/';
            display += components[*level];
        }
        folders[i]->Path = std::move(display);
    }
}

int32_t ExpressStoreBackend::ReadMessage(StoreHandle handle,
                                         const TMessageExtractionOptions& options,
                                         const TFolder& folder, uint32_t index, TMessage& message) {
    message = TMessage{};
    if (handle_ == 0 || handle != handle_) return kResultNotMyHandle;
    const std::vector<TMessageInfo>& infos = MessageInfosOf(folder.StoreFile);
    if (index >= infos.size()) return kResultBadMessageIndex;
    const TMessageInfo& info = infos[index];
    if (info.DataPosition <= 0) return kResultBadMessageIndex;
    // The parse a list of attachments keeps serves only the saves right after it: any other
    // read lets its decoded files go.
    if (!options.SaveAttachment || parsedFile_ != folder.StoreFile ||
        parsedPosition_ != info.DataPosition) {
        parsed_.reset();
        parsedFile_.clear();
    }
    if (options.WantAttachments || options.SaveAttachment) {
        return ReadAttachments(options, folder, info, message);
    }
    if (options.SaveMessage) return SaveRawMessage(folder.StoreFile, info, options);
    FillFromInfo(info, message);
    if (options.WantBody) return ReadBody(folder, info, message);
    return kResultSuccess;
}

const std::vector<TMessageInfo>& ExpressStoreBackend::MessageInfosOf(const std::string& storeFile) {
    if (storeFile != cachedStoreFile_) {
        // A read that throws must leave no list behind under either name.
        cachedInfos_.clear();
        cachedStoreFile_.clear();
        DbxDamageList damage;
        cachedInfos_ = ReadDbxMessageInfos(storeFile, damage);
        cachedStoreFile_ = storeFile;
        ReportDamage(storeFile, damage);
    }
    return cachedInfos_;
}

bool ExpressStoreBackend::CopyForParser(const std::string& storeFile, const TMessageInfo& info,
                                        const std::string& temporaryFile) {
    if (temporaryFile.empty()) return false;
    DbxDamageList damage;
    const DbxExtractResult result =
        ExtractDbxMessage(storeFile, info.DataPosition, temporaryFile, damage);
    ReportDamage(storeFile, damage);
    return result == DbxExtractResult::Copied;
}

int32_t ExpressStoreBackend::ReadAttachments(const TMessageExtractionOptions& options,
                                             const TFolder& folder, const TMessageInfo& info,
                                             TMessage& message) {
    std::vector<TAttachFile>& attachments = message.Attachments.emplace();
    if ((info.Flags & kDbxAttachmentFlag) == 0) return kResultNoAttachments;
    // An attachment saved right after the message's attachments were listed comes from that
    // list's parse, whose decoded files are still there: the message is neither copied out nor
    // decoded again. Only a list keeps its parse; a save that parses keeps no decoded file.
    if (options.SaveAttachment && parsed_ &&
        HoldsAttachmentContent(*parsed_, options.AttachmentIndex)) {
        message.HasAttachments = true;
        return ListAttachments(*parsed_, options, attachments) ? kResultSuccess
                                                               : kResultNoAttachments;
    }
    const bool keep = !options.SaveAttachment;
    parsed_.reset();
    parsedFile_.clear();
    const PrivateTempFolder text;
    if (!CopyForParser(folder.StoreFile, info, text.FilePath(kParserFileName)))
        return kResultNoAttachments;
    auto parsed = std::make_unique<TIdMessage>();
    parsed->ReadFromFile(text.FilePath(kParserFileName));
    message.HasAttachments = true;
    const bool listed = ListAttachments(*parsed, options, attachments);
    if (keep) {
        parsed_ = std::move(parsed);
        parsedFile_ = folder.StoreFile;
        parsedPosition_ = info.DataPosition;
    }
    return listed ? kResultSuccess : kResultNoAttachments;
}

int32_t ExpressStoreBackend::ReadBody(const TFolder& folder, const TMessageInfo& info,
                                      TMessage& message) {
    const PrivateTempFolder text;
    if (!CopyForParser(folder.StoreFile, info, text.FilePath(kParserFileName)))
        return kResultBadMessageIndex;
    TIdMessage parsed;
    parsed.ReadFromFile(text.FilePath(kParserFileName));
    message.Headers = parsed.Headers.Text();
    message.Body = BodyText(parsed);
    return kResultSuccess;
}

// A failure to write is told as one, never as a saved message.
int32_t ExpressStoreBackend::SaveRawMessage(const std::string& storeFile, const TMessageInfo& info,
                                            const TMessageExtractionOptions& options) {
    DbxDamageList damage;
    DbxExtractResult result;
    if (options.Target != nullptr) {
        // The folder file stays open for the messages after this one.
        if (!messageFile_ || messageFile_->Path() != storeFile) {
            messageFile_ = std::make_unique<DbxMessageFile>(storeFile);
        }
        result = messageFile_->Extract(info.DataPosition, *options.Target, damage);
    } else {
        result = ExtractDbxMessage(storeFile, info.DataPosition, options.TargetFile, damage);
    }
    ReportDamage(storeFile, damage);
    switch (result) {
        case DbxExtractResult::Copied:
            return kResultSuccess;
        case DbxExtractResult::NoText:
            return kResultBadMessageIndex;
        case DbxExtractResult::TargetFailed:
            return kResultWriteFailed;
    }
    return kResultWriteFailed;
}

int32_t ExpressStoreBackend::Close(StoreHandle handle) {
    if (handle_ == 0 || handle != handle_) return kResultNotMyHandle;
    ReleaseStoreHandle(handle_);
    handle_ = 0;
    cachedStoreFile_.clear();
    cachedInfos_.clear();
    messageFile_.reset();
    parsed_.reset();
    parsedFile_.clear();
    return kResultSuccess;
}

void ExpressStoreBackend::ReportDamage(const std::string& file, const DbxDamageList& damage) {
    struct Seen {
        int64_t firstPosition;
        size_t times;
    };
    std::map<DbxDamageKind, Seen> byKind;
    for (const DbxDamage& item : damage) {
        auto [seen, added] = byKind.try_emplace(item.Kind, Seen{item.Position, 0});
        ++seen->second.times;
    }
    for (const auto& [kind, seen] : byKind) {
        const std::string what(DescribeDbxDamage(kind));
        std::string line = what + " at position " + std::to_string(seen.firstPosition);
        if (seen.times > 1) line += " (" + std::to_string(seen.times) + " times)";
        ReportOnce(file, what, line);
    }
}

void ExpressStoreBackend::ReportOnce(const std::string& file, const std::string& what,
                                     const std::string& line) {
    if (reported_.emplace(file, what).second) {
        WriteReport("Damaged folder file " + file + ": " + line);
    }
}

StoreBackend& OutlookExpressBackend() {
    static ExpressStoreBackend backend;
    return backend;
}

}  // namespace mailsift
