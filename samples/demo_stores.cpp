#include "samples/demo_stores.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mime/base64.h"
#include "samples/dbx_store_writer.h"
#include "samples/demo_personal_folders.h"
#include "samples/mailbox_writer.h"
#include "stores/dbx_reader.h"

namespace mailsift::samples {

namespace {

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
    MailboxWriter writer(AddMailboxFolder(client, dir, name));
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
    WriteMailbox(client, AddSubfolderDir(client, root, parent), "Holidays", {2});
}

}  // namespace

DemoStores WriteDemoStores(const std::string& folder) {
    DemoStores stores{.MSOutlook = WriteDemoPersonalFolderFile(folder),
                      .OutlookExpress = folder + "/Outlook Express",
                      .Thunderbird = folder + "/Thunderbird/Local Folders",
                      .Eudora = folder + "/Eudora"};
    WriteOutlookExpressStore(stores.OutlookExpress);
    WriteMailboxTree(MailClient::Thunderbird, stores.Thunderbird, "Inbox", "Sent", "Family");
    WriteMailboxTree(MailClient::Eudora, stores.Eudora, "In", "Out", "Family");
    return stores;
}

}  // namespace mailsift::samples
