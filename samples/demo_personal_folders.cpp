#include "samples/demo_personal_folders.h"

#include <filesystem>

#include "samples/pst_store_writer.h"

namespace mailsift::samples {

namespace {

PstMessage DemoMail(const std::string& subject, const std::string& fromName,
                    const std::string& fromAddress, const std::string& body, uint64_t fileTime) {
    PstMessage message;
    message.Subject = subject;
    message.SenderName = fromName;
    message.SenderAddress = fromAddress;
    message.Body = body;
    message.SubmitTime = fileTime;
    message.DeliveryTime = fileTime;
    message.Recipients = {{"Bob Reader", "bob@example.org", "SMTP", 1},
                          {"Dora Reader", "dora@example.org", "SMTP", 2}};
    return message;
}

}  // namespace

std::string WriteDemoPersonalFolderFile(const std::string& folder) {
    const std::string dir = folder + "/Outlook";
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/Personal Folders.pst";
    PstStoreWriter writer(path, "Personal Folders");
    const uint32_t inbox = writer.AddFolder(writer.TopFolder(), std::string("Inbox"));
    const uint32_t family = writer.AddFolder(inbox, std::string("Family"));
    const uint32_t sent = writer.AddFolder(writer.TopFolder(), std::string("Sent Items"));
    writer.AddMessage(
        inbox, DemoMail("Garden plans for the spring", "Ann Walker", "ann.walker@example.org",
                        "Hello Bob,\r\n\r\nthe seeds have arrived; shall we plant "
                        "on Saturday?\r\n\r\nAnn\r\n",
                        126597932400000000ULL));
    PstMessage order = DemoMail("Your order 1042 has shipped", "", "orders@shop.example.com",
                                "Your parcel left our warehouse today.\r\n"
                                "Tracking number: 1Z999AA10123456784\r\n",
                                126685458000000000ULL);
    order.Attachments.push_back({"invoice-1042.txt", "text/plain",
                                 "Invoice 1042\n1 x Watering can  12.50\nTotal          12.50\n",
                                 nullptr});
    writer.AddMessage(sent, order);
    PstMessage photos =
        DemoMail("Photos from the trip", "Carl Young", "carl@example.net",
                 "Two of the pictures, as promised.\r\n\r\nCarl\r\n", 126753843000000000ULL);
    photos.Attachments.push_back({"lake.txt", "text/plain", "(a picture of the lake)\n", nullptr});
    photos.Attachments.push_back(
        {"hills.txt", "text/plain", "(a picture of the hills)\n", nullptr});
    writer.AddMessage(family, photos);
    writer.Finish();
    return path;
}

}  // namespace mailsift::samples
