// Writes the seed inputs of the pst_provider fuzz target into the folder named on the command
// line: small personal folder files from the sample writer, so that no store file is kept in the
// repository and the seeds follow the writer when it learns more of the format.
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "samples/demo_personal_folders.h"
#include "samples/pst_store_writer.h"

namespace {

using mailsift::samples::PstAttachment;
using mailsift::samples::PstMessage;
using mailsift::samples::PstStoreWriter;

PstMessage Mail(const std::string& subject) {
    PstMessage message;
    message.Subject = subject;
    message.SenderName = "Anna Berger";
    message.SenderAddress = "anna@example.org";
    message.Body = "Hello.\r\n";
    message.Recipients = {{"Fritz Hof", "fritz@example.org", "SMTP", 1}};
    return message;
}

// The demo store: mail with recipients and attachments, and calendar, contact and task items
// whose fields are named properties.
void WriteItems(const std::filesystem::path& folder) {
    const std::filesystem::path scratch = folder / "items-scratch";
    std::filesystem::rename(mailsift::samples::WriteDemoPersonalFolderFile(scratch.string()),
                            folder / "items.pst");
    std::filesystem::remove_all(scratch);
}

// A root folder without a name, and subfolders without one or with an empty one.
void WriteNamelessRoot(const std::filesystem::path& folder) {
    PstStoreWriter writer((folder / "nameless_root.pst").string(), "Nameless", std::nullopt);
    writer.AddMessage(writer.AddFolder(writer.TopFolder(), std::string("Inbox")), Mail("Inbox"));
    writer.AddMessage(writer.AddFolder(writer.TopFolder(), std::nullopt), Mail("Without a name"));
    const uint32_t empty = writer.AddFolder(writer.TopFolder(), std::string());
    writer.AddMessage(empty, Mail("With an empty name"));
    writer.AddMessage(writer.AddFolder(empty, std::string("Below")), Mail("Below it"));
    writer.Finish();
}

// Enough messages for tables over several heap pages, with attachments and attached messages.
void WriteMany(const std::filesystem::path& folder) {
    PstStoreWriter writer((folder / "many.pst").string(), "Many");
    const uint32_t archive = writer.AddFolder(writer.TopFolder(), std::string("Archive"));
    for (int i = 0; i < 60; ++i) {
        PstMessage message = Mail("Message " + std::to_string(i));
        if (i % 10 == 0) {
            message.Attachments.push_back(
                {"note.txt", "text/plain", std::string(static_cast<size_t>(i) * 37 + 1, 'a'), {}});
            message.Attachments.push_back(
                {"forwarded", "", {}, std::make_shared<const PstMessage>(Mail("Attached"))});
        }
        writer.AddMessage(archive, message);
    }
    writer.Finish();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: write_pst_provider_seeds FOLDER\n";
        return 2;
    }
    try {
        const std::filesystem::path folder(argv[1]);
        std::filesystem::create_directories(folder);
        WriteItems(folder);
        WriteNamelessRoot(folder);
        WriteMany(folder);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "write_pst_provider_seeds: " << error.what() << '\n';
        return 1;
    }
}
