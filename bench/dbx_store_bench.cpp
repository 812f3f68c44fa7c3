// Throughput of the Outlook Express backend on a written store of more than 200 MB: listing
// every folder with the header of every message, then saving every message's raw text.
// Usage: bench_dbx_store [FOLDER]: the store goes to FOLDER/store (kept, and used again by later
// runs), the saved messages to FOLDER/saved; without FOLDER a temporary folder is used.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "config/settings.h"
#include "samples/dbx_store_writer.h"
#include "stores/express_backend.h"

namespace {

using namespace mailsift;
using Clock = std::chrono::steady_clock;

constexpr int64_t kStoreBytes = 210LL * 1024 * 1024;

struct FolderPlan {
    const char* name;
    const char* fileName;
    int32_t id;
    int32_t parentId;
};

// The local folders of a typical store below its top folder (id 1, which has no file).
constexpr FolderPlan kFolders[] = {
    {"Inbox", "Inbox.dbx", 2, 1},
    {"Sent Items", "Sent Items.dbx", 3, 1},
    {"Deleted Items", "Deleted Items.dbx", 4, 1},
    {"Drafts", "Drafts.dbx", 5, 1},
    {"Projects", "Projects.dbx", 6, 2},
    {"Archive", "Archive.dbx", 7, 6},
};

std::string Lines(std::mt19937& random, size_t bytes, std::string_view alphabet, size_t width) {
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::string text;
    text.reserve(bytes + width);
    while (text.size() < bytes) {
        for (size_t i = 0; i < width; ++i) text += alphabet[pick(random)];
        text += "\r\n";
    }
    return text;
}

std::string Prose(std::mt19937& random, size_t bytes) {
    return Lines(random, bytes, "abcdefghijklmnopqrstuvwxyz     ,.", 72);
}

// A plain message, an HTML message with a text alternative, or now and then a message with a
// large base64 attachment, which makes up most of the bytes as in real mailboxes.
samples::DbxMessage MakeMessage(std::mt19937& random, int number) {
    samples::DbxMessage message;
    const std::string id = std::to_string(number);
    message.Subject = "Status report " + id;
    message.SenderName = "Sender " + std::to_string(number % 97);
    message.SenderAddress = "sender" + std::to_string(number % 97) + "@example.com";
    message.ReceiverName = "Reader";
    message.ReceiverAddress = "reader@example.org";
    message.MessageId = "<" + id + ".bench@example.com>";
    message.CreatedTime = 0x01C2000000000000 + static_cast<uint64_t>(number) * 36'000'000'000;
    message.ReceivedTime = message.CreatedTime + 600'000'000;
    std::string text = "From: \"" + message.SenderName + "\" <" + message.SenderAddress +
                       ">\r\nTo: reader@example.org\r\nSubject: " + message.Subject +
                       "\r\nMessage-ID: " + message.MessageId +
                       "\r\nDate: Mon, 7 Apr 2003 10:00:00 +0200\r\nMIME-Version: 1.0\r\n";
    const int kind = std::uniform_int_distribution<int>(0, 99)(random);
    if (kind < 70) {
        text += "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n\r\n";
        text += Prose(random, std::uniform_int_distribution<size_t>(1'000, 12'000)(random));
    } else if (kind < 95) {
        const std::string body =
            Prose(random, std::uniform_int_distribution<size_t>(3'000, 20'000)(random));
        text +=
            "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n--alt\r\n"
            "Content-Type: text/plain\r\n\r\n" +
            body + "--alt\r\nContent-Type: text/html\r\n\r\n<html><body><p>" + body +
            "</p></body></html>\r\n--alt--\r\n";
    } else {
        message.Flags = kDbxAttachmentFlag;
        text +=
            "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n--mix\r\n"
            "Content-Type: text/plain\r\n\r\n" +
            Prose(random, 2'000) +
            "--mix\r\nContent-Type: application/octet-stream; name=\"report" + id +
            ".zip\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"report" +
            id + ".zip\"\r\n\r\n" +
            Lines(random, std::uniform_int_distribution<size_t>(50'000, 3'000'000)(random),
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", 76) +
            "--mix--\r\n";
    }
    message.Text = std::move(text);
    return message;
}

// Writes the store; returns its size in bytes.
int64_t WriteStore(const std::filesystem::path& store) {
    std::mt19937 random(20030407);
    samples::DbxFoldersFileWriter folders;
    folders.Add({"Outlook Express", "", 1, 0, false});
    int64_t total = 0;
    int number = 0;
    const int64_t perFolder = kStoreBytes / static_cast<int64_t>(std::size(kFolders));
    for (const FolderPlan& plan : kFolders) {
        folders.Add({plan.name, plan.fileName, plan.id, plan.parentId, false});
        samples::DbxFolderFileWriter writer;
        int64_t bytes = 0;
        while (bytes < perFolder) {
            samples::DbxMessage message = MakeMessage(random, number++);
            bytes += static_cast<int64_t>(message.Text.size());
            writer.Add(std::move(message));
        }
        total += writer.Write((store / plan.fileName).string()).FileSize;
    }
    total += folders.Write((store / "folders.dbx").string()).FileSize;
    return total;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void PrintRate(const char* what, double seconds, int64_t messages, int64_t bytes) {
    std::printf("%-28s %8.3f s  %10.0f messages/s  %8.1f MB/s\n", what, seconds,
                static_cast<double>(messages) / seconds,
                static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    Settings.DebugMode = false;  // the program folder's report log is not wanted here
    const bool temporary = argc < 2;
    const std::filesystem::path root =
        temporary ? std::filesystem::temp_directory_path() /
                        ("mailsift-dbx-bench-" + std::to_string(::getpid()))
                  : std::filesystem::path(argv[1]);
    const std::filesystem::path store = root / "store";
    const std::filesystem::path saved = root / "saved";
    std::filesystem::create_directories(store);

    auto started = Clock::now();
    int64_t storeBytes = 0;
    if (std::filesystem::exists(store / "folders.dbx")) {
        for (const auto& entry : std::filesystem::directory_iterator(store)) {
            storeBytes += static_cast<int64_t>(entry.file_size());
        }
        std::printf("using the %.1f MB store in %s\n",
                    static_cast<double>(storeBytes) / (1024.0 * 1024.0), store.c_str());
    } else {
        storeBytes = WriteStore(store);
        std::printf("wrote %.1f MB to %s in %.1f s\n",
                    static_cast<double>(storeBytes) / (1024.0 * 1024.0), store.c_str(),
                    Seconds(started));
    }
    std::filesystem::remove_all(saved);
    // Timings start with the store's pages written out, as for a store on disk a while, so
    // that the saves do not wait for the writing of the store itself.
    ::sync();

    ExpressStoreBackend backend;
    TFolderList folders;
    started = Clock::now();
    const StoreHandle handle = backend.Open((store / "folders.dbx").string(), folders);
    if (handle <= kMaxResultCode) {
        std::fprintf(stderr, "open failed: %u\n", handle);
        return 1;
    }
    int64_t messages = 0;
    int64_t messageBytes = 0;
    for (const TFolder* folder : folders) {
        for (int32_t i = 0; i < folder->MessageCount; ++i) {
            TMessage message;
            if (backend.ReadMessage(handle, {}, *folder, static_cast<uint32_t>(i), message) ==
                kResultSuccess) {
                ++messages;
                messageBytes += message.Size;
            }
        }
    }
    PrintRate("open, list, all headers", Seconds(started), messages, storeBytes);

    started = Clock::now();
    int64_t savedMessages = 0;
    for (const TFolder* folder : folders) {
        const std::filesystem::path target = saved / folder->Path;
        std::filesystem::create_directories(target);
        for (int32_t i = 0; i < folder->MessageCount; ++i) {
            TMessageExtractionOptions options;
            options.SaveMessage = true;
            options.TargetFile = (target / (std::to_string(i) + ".eml")).string();
            TMessage message;
            if (backend.ReadMessage(handle, options, *folder, static_cast<uint32_t>(i), message) ==
                kResultSuccess) {
                ++savedMessages;
            }
        }
    }
    PrintRate("raw save of every message", Seconds(started), savedMessages, messageBytes);
    backend.Close(handle);

    std::printf("%lld messages in %zu folders\n", static_cast<long long>(messages), folders.size());
    if (temporary) {
        std::filesystem::remove_all(root);
    } else {
        std::printf("to compare: time undbx %s OUT\n", store.c_str());
    }
    return 0;
}
