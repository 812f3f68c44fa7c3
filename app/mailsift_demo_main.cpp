// A first look at Mailsift: writes small sample stores of Outlook Express, Thunderbird and
// Eudora into a throwaway folder, exports them in every form through the command line, and
// says where everything went. A written personal folder file is exported as .msg and as .eml
// files, and so is one named by MAILSIFT_DEMO_PST.
#include <stdlib.h>

#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "config/folders.h"
#include "mime/base64.h"
#include "outlook/default_store_backends.h"
#include "samples/dbx_store_writer.h"
#include "samples/demo_personal_folders.h"
#include "samples/mailbox_writer.h"
#include "stores/dbx_reader.h"

namespace {

using mailsift::samples::DbxFolderFileWriter;
using mailsift::samples::DbxFolderInfo;
using mailsift::samples::DbxFoldersFileWriter;
using mailsift::samples::DbxMessage;
using mailsift::samples::MailboxAttachment;
using mailsift::samples::MailboxMessage;
using mailsift::samples::MailboxWriter;
using mailsift::samples::MailClient;

struct SampleMail {
    const char* fromName;
    const char* fromAddress;
    const char* subject;
    const char* date;
    uint64_t fileTime;  // the same moment, for Outlook Express's message infos
    std::vector<std::string> body;
    std::vector<MailboxAttachment> attachments;
};

const std::vector<SampleMail>& SampleMails() {
    static const std::vector<SampleMail> mails = {
        {"Ann Walker",
         "ann.walker@example.org",
         "Garden plans for the spring",
         "Tue, 05 Mar 2002 09:14:00 +0000",
         126597932400000000ULL,
         {"Hello Bob,", "", "the seeds have arrived; shall we plant on Saturday?", "", "Ann"},
         {}},
        {"",
         "orders@shop.example.com",
         "Your order 1042 has shipped",
         "Fri, 14 Jun 2002 16:30:00 +0000",
         126685458000000000ULL,
         {"Your parcel left our warehouse today.", "Tracking number: 1Z999AA10123456784"},
         {{"invoice-1042.txt", "Invoice 1042\n1 x Watering can  12.50\nTotal          12.50\n"}}},
        {"Carl Young",
         "carl@example.net",
         "Photos from the trip",
         "Sun, 01 Sep 2002 20:05:00 +0000",
         126753843000000000ULL,
         {"Two of the pictures, as promised.", "", "Carl"},
         {{"lake.txt", "(a picture of the lake)\n"}, {"hills.txt", "(a picture of the hills)\n"}}},
    };
    return mails;
}

std::string Rfc822Text(const SampleMail& mail) {
    std::string from = mail.fromName[0] != '\0'
                           ? std::string(mail.fromName) + " <" + mail.fromAddress + ">"
                           : std::string(mail.fromAddress);
    std::string text = "From: " + from +
                       "\r\nTo: Bob Reader <bob@example.org>\r\nSubject: " + mail.subject +
                       "\r\nDate: " + mail.date + "\r\nMIME-Version: 1.0\r\n";
    const bool multipart = !mail.attachments.empty();
    if (multipart) {
        text += "Content-Type: multipart/mixed; boundary=\"part\"\r\n\r\n--part\r\n";
    }
    text += "Content-Type: text/plain; charset=us-ascii\r\n\r\n";
    for (const std::string& line : mail.body) text += line + "\r\n";
    for (const MailboxAttachment& attachment : mail.attachments) {
        text += "--part\r\nContent-Type: application/octet-stream; name=\"" + attachment.FileName +
                "\"\r\nContent-Transfer-Encoding: base64\r\n"
                "Content-Disposition: attachment; filename=\"" +
                attachment.FileName + "\"\r\n\r\n";
        mailsift::AppendBase64Lines(attachment.Content, text);
    }
    if (multipart) text += "--part--\r\n";
    return text;
}

void WriteOutlookExpressStore(const std::string& folder) {
    std::filesystem::create_directories(folder);
    const char* names[] = {"Inbox", "Sent Items"};
    DbxFoldersFileWriter list;
    for (int i = 0; i < 2; ++i) {
        DbxFolderFileWriter messages;
        for (size_t k = static_cast<size_t>(i); k < SampleMails().size(); k += 2) {
            const SampleMail& mail = SampleMails()[k];
            DbxMessage message;
            message.Text = Rfc822Text(mail);
            message.Subject = mail.subject;
            message.SenderName = mail.fromName;
            message.SenderAddress = mail.fromAddress;
            message.ReceiverName = "Bob Reader";
            message.ReceiverAddress = "bob@example.org";
            message.ReceivedTime = mail.fileTime;
            message.CreatedTime = mail.fileTime;
            if (!mail.attachments.empty()) message.Flags = mailsift::kDbxAttachmentFlag;
            messages.Add(std::move(message));
        }
        const std::string file = std::string(names[i]) + ".dbx";
        messages.Write(folder + "/" + file);
        list.Add(DbxFolderInfo{.Name = names[i], .FileName = file, .Id = i + 1, .ParentId = 0});
    }
    list.Write(folder + "/Folders.dbx");
}

MailboxMessage AsMailboxMessage(const SampleMail& mail) {
    MailboxMessage message;
    message.FromName = mail.fromName;
    message.FromAddress = mail.fromAddress;
    message.Subject = mail.subject;
    message.Date = mail.date;
    message.Body = mail.body;
    message.Attachments = mail.attachments;
    return message;
}

void WriteMailbox(MailClient client, const std::string& dir, const std::string& name,
                  const std::vector<size_t>& mails) {
    MailboxWriter writer(mailsift::samples::AddMailboxFolder(client, dir, name));
    for (size_t k : mails) writer.Add(AsMailboxMessage(SampleMails()[k]));
    writer.Close();
}

// A profile with an inbox, sent mail and a subfolder, laid out as the client lays it out.
void WriteMailboxTree(MailClient client, const std::string& root, const std::string& inbox,
                      const std::string& sent, const std::string& parent) {
    std::filesystem::create_directories(root);
    WriteMailbox(client, root, inbox, {0, 1, 2});
    WriteMailbox(client, root, sent, {1});
    WriteMailbox(client, root, parent, {0});
    WriteMailbox(client, mailsift::samples::AddSubfolderDir(client, root, parent), "Holidays", {2});
}

int Cli(const std::vector<std::string>& args) {
    std::cout << "\n$ mailsift-cli";
    for (const std::string& arg : args) std::cout << ' ' << arg;
    std::cout << '\n';
    return mailsift::RunCli(args, std::cout, std::cerr);
}

}  // namespace

int main() {
    try {
        std::string folder = std::filesystem::temp_directory_path() / "mailsift-demo-XXXXXX";
        if (mkdtemp(folder.data()) == nullptr) {
            std::cerr << "mailsift-demo: cannot create a folder in the temporary folder\n";
            return 1;
        }
        // A program folder of its own, so that the demo's settings and history stay out of
        // the user's.
        const std::string program = folder + "/program";
        setenv("MAILSIFT_HOME", program.c_str(), 1);
        mailsift::InitFolders(mailsift::ExecutablePath());
        mailsift::UseDefaultStoreBackends();

        const std::string stores = folder + "/stores";
        const std::string express = stores + "/Outlook Express";
        const std::string thunderbird = stores + "/Thunderbird/Local Folders";
        const std::string eudora = stores + "/Eudora";
        WriteOutlookExpressStore(express);
        WriteMailboxTree(MailClient::Thunderbird, thunderbird, "Inbox", "Sent", "Family");
        WriteMailboxTree(MailClient::Eudora, eudora, "In", "Out", "Family");
        std::cout << "Sample stores written to " << stores << '\n';

        const std::string output = folder + "/export";
        const std::string personal = mailsift::samples::WriteDemoPersonalFolderFile(stores);
        int status = 0;
        for (const char* form : {"eml", "txt", "html", "attach"}) {
            status |= Cli({"export", express + "/Folders.dbx", thunderbird, eudora, "--to",
                           output + "/" + form, "--format", form, "--no-date-folder", "--no-zip"});
        }
        status |= Cli({"export", express + "/Folders.dbx", thunderbird, eudora, "--to",
                       output + "/zip", "--format", "eml", "--zip"});
        const char* pst = std::getenv("MAILSIFT_DEMO_PST");
        for (const char* form : {"msg", "eml"}) {
            std::vector<std::string> args{"export", personal};
            if (pst != nullptr && pst[0] != '\0') args.emplace_back(pst);
            args.insert(args.end(), {"--to", output + "/pst-" + form, "--format", form,
                                     "--no-date-folder", "--no-zip"});
            status |= Cli(args);
        }
        status |= Cli({"history"});

        std::cout << "\nExported files are in " << output
                  << "\n  eml/     messages as .eml files (open them in any mail client)"
                     "\n  txt/     text summaries\n  html/    HTML pages"
                     "\n  attach/  attachments only"
                     "\n  zip/     one archive per mail client"
                  << "\n  pst-msg/ pst-eml/  the personal folder file"
                  << (pst != nullptr && pst[0] != '\0' ? "s" : "") << " as .msg and .eml\n"
                  << "Settings, report log and history of the demo are in " << program
                  << "\nRemove " << folder << " when you are done.\n";
        return status == 0 ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << "mailsift-demo: " << error.what() << '\n';
        return 1;
    }
}
