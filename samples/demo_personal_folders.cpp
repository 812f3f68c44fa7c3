#include "samples/demo_personal_folders.h"

#include <array>
#include <bit>
#include <filesystem>

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

// The property sets of the named fields, as their 16 bytes are stored.
std::string SetGuid(char third) {
    return std::string("\x00\x20\x06\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16)
        .replace(0, 1, 1, third);
}
const std::string kAppointmentSet = SetGuid('\x02');
const std::string kTaskSet = SetGuid('\x03');
const std::string kAddressSet = SetGuid('\x04');
const std::string kCommonSet = SetGuid('\x08');
const std::string kPublicStrings("\x29\x03\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46",
                                 16);

constexpr uint32_t kText = 0x001F;
constexpr uint32_t kTime = 0x0040;
constexpr uint32_t kLong = 0x0003;
constexpr uint32_t kDouble = 0x0005;
constexpr uint32_t kTexts = 0x101F;

PstNamedProperty Numbered(const std::string& set, uint32_t id, PstProperty value) {
    return {set, id, {}, std::move(value)};
}

PstNamedProperty Categories(const std::vector<std::string>& names) {
    return {kPublicStrings, 0, "Keywords", PstTexts(kTexts, names)};
}

PstMessage Item(const std::string& messageClass, const std::string& subject,
                const std::string& body, uint64_t fileTime) {
    PstMessage message;
    message.MessageClass = messageClass;
    message.Subject = subject;
    message.SenderName = "Bob Reader";
    message.SenderAddress = "bob@example.org";
    message.Body = body;
    message.SubmitTime = fileTime;
    message.DeliveryTime = fileTime;
    return message;
}

}  // namespace

PstMessage DemoAppointment() {
    // 14.03.2027 09:30 to 11:00 UTC.
    constexpr uint64_t start = 134494902000000000ULL;
    constexpr uint64_t end = start + 90ULL * 60 * 10000000;
    PstMessage message = Item("IPM.Appointment", "Seed swap at the library",
                              "Bring the spare tomato seeds.\r\n", start - 864000000000ULL);
    message.NamedProperties = {
        Numbered(kAppointmentSet, 0x820D, PstTime(kTime, start)),
        Numbered(kAppointmentSet, 0x820E, PstTime(kTime, end)),
        Numbered(kAppointmentSet, 0x8208, PstText(kText, "Town library, room 2")),
        Numbered(kAppointmentSet, 0x8213, PstLong(kLong, 90)),
        Numbered(kCommonSet, 0x8516, PstTime(kTime, start)),
        Numbered(kCommonSet, 0x8517, PstTime(kTime, end)),
        Categories({"Garden", "Club"}),
    };
    return message;
}

PstMessage DemoContact() {
    PstMessage message =
        Item("IPM.Contact", "Lena Fischer", "Met at the seed swap.\r\n", 134494902000000000ULL);
    message.NamedProperties = {
        Numbered(kAddressSet, 0x8005, PstText(kText, "Fischer, Lena")),
        Numbered(kAddressSet, 0x8080, PstText(kText, "Lena Fischer (lena@example.net)")),
        Numbered(kAddressSet, 0x8082, PstText(kText, "SMTP")),
        Numbered(kAddressSet, 0x8083, PstText(kText, "lena@example.net")),
        Numbered(kAddressSet, 0x8093, PstText(kText, "lena.fischer@work.example.com")),
        Categories({"Garden"}),
    };
    return message;
}

PstMessage DemoTask() {
    // Due 31.03.2027 00:00 UTC, started 15.03.2027.
    constexpr uint64_t due = 134509248000000000ULL;
    constexpr uint64_t started = due - 16ULL * 864000000000ULL;
    PstMessage message =
        Item("IPM.Task", "Sow the tomatoes", "Six pots on the window sill.\r\n", started);
    message.NamedProperties = {
        Numbered(kTaskSet, 0x8105, PstTime(kTime, due)),
        Numbered(kTaskSet, 0x8104, PstTime(kTime, started)),
        Numbered(kTaskSet, 0x8101, PstLong(kLong, 1)),
        Numbered(
            kTaskSet, 0x8102,
            PstBinary(kDouble, std::string(std::bit_cast<std::array<char, 8>>(0.25).data(), 8))),
        Categories({"Garden"}),
    };
    return message;
}

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
    writer.AddMessage(writer.AddFolder(writer.TopFolder(), std::string("Calendar")),
                      DemoAppointment());
    writer.AddMessage(writer.AddFolder(writer.TopFolder(), std::string("Contacts")), DemoContact());
    writer.AddMessage(writer.AddFolder(writer.TopFolder(), std::string("Tasks")), DemoTask());
    writer.Finish();
    return path;
}

}  // namespace mailsift::samples
