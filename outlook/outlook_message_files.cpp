#include "outlook/outlook_message_files.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>

#include "config/private_temp_folder.h"
#include "config/report_log.h"
#include "mapi/interface_cast.h"
#include "mapi/interface_ref.h"
#include "mapi/mapi_tags.h"
#include "mime/message.h"
#include "mime/text_util.h"
#include "outlook/mapi_values.h"
#include "outlook/msg/msg_storage.h"
#include "platform/file_system.h"
#include "platform/safe_path_component.h"
#include "platform/text_case.h"

namespace mailsift {

namespace {

constexpr mapi::ULONG kAttachmentChunk = 65535;
// A message's attachments go into its .eml file straight from memory up to this many bytes in
// all; the rest pass through files of their own, so that huge ones are never held whole.
constexpr size_t kAttachmentMemoryBudget = 16u << 20;
// Row indexes are 16-bit in the attachment list; rows past that could not be told apart.
constexpr mapi::ULONG kMaxAttachmentRows = 65536;

struct UnreadableAttachment {};

// The stream of an attachment's data, holding one reference for the caller; null for one
// without (an attached message).
mapi::IUnknown* OpenAttachmentData(mapi::IAttach* attachment) {
    for (const mapi::ULONG flags : {mapi::ULONG{mapi::MAPI_BEST_ACCESS}, mapi::ULONG{0}}) {
        mapi::InterfaceRef<mapi::IUnknown> opened;
        if (mapi::SUCCEEDED(attachment->OpenProperty(mapi::PR_ATTACH_DATA_BIN, &mapi::IID_IStream,
                                                     0, flags, opened.out())) &&
            opened) {
            return opened.detach();
        }
    }
    return nullptr;
}

// An attached message is saved as a .msg file and named so.
std::string MsgFileName(const std::string& name) {
    if (name.empty()) return "message.msg";
    const bool named = name.size() > 4 && EqualsIgnoringCase(name.substr(name.size() - 4), ".msg");
    return named ? name : name + ".msg";
}

void SetHeaderText(TIdMessage& mail, const std::string& headers) {
    for (std::string& line : SplitTextLines(headers)) {
        if (line.empty()) break;
        mail.Headers.Add(std::move(line));
    }
    mail.ReadHeaderFields();
    // The fields describe the message as it was sent (its parts, their character set and
    // transfer encoding), not the text written here: the writer chooses them anew.
    mail.ContentType.clear();
    mail.CharSet.clear();
    mail.ContentTransferEncoding.clear();
    mail.MIMEBoundary.clear();
}

// One address per recipient, from the recipient table: the record's To name joins all their
// display names and carries no address. An Exchange recipient's own address is no mail address;
// its SMTP address is taken when the store kept one.
void AddRecipients(mapi::IMessage* message, TIdMessage& mail) {
    mapi::InterfaceRef<mapi::IMAPITable> table;
    if (mapi::FAILED(message->GetRecipientTable(0, table.out())) || !table) return;
    MapiRows rows;
    if (mapi::FAILED(QueryAllRows(table.get(),
                                  {mapi::PR_DISPLAY_NAME_W, mapi::PR_SMTP_ADDRESS_W,
                                   mapi::PR_EMAIL_ADDRESS_W, mapi::PR_RECIPIENT_TYPE},
                                  rows))) {
        return;
    }
    for (mapi::ULONG r = 0; r < rows.size(); ++r) {
        TIdEmailAddressItem item{CellText(rows.cell(r, 0), mapi::PR_DISPLAY_NAME_W),
                                 CellText(rows.cell(r, 1), mapi::PR_SMTP_ADDRESS_W)};
        if (item.Address.empty())
            item.Address = CellText(rows.cell(r, 2), mapi::PR_EMAIL_ADDRESS_W);
        if (item.Name.empty() && item.Address.empty()) continue;
        const mapi::SPropValue* type = rows.cell(r, 3);
        const mapi::LONG kind = type != nullptr && type->ulPropTag == mapi::PR_RECIPIENT_TYPE
                                    ? type->Value.l
                                    : mapi::MAPI_TO;
        (kind == mapi::MAPI_CC    ? mail.CCList
         : kind == mapi::MAPI_BCC ? mail.BccList
                                  : mail.Recipients)
            .push_back(std::move(item));
    }
}

void SetFieldsFromRecord(mapi::IMessage* message, TIdMessage& mail, const TMessage& record) {
    mail.MessageId = record.MessageId;
    mail.Subject = record.Subject;
    AddRecipients(message, mail);
    const TIdEmailAddressItem sender{record.FromName, record.FromAddress};
    mail.FromList = {sender};
    mail.Sender = sender;
    mail.Date = record.Received;
}

// The data of an attachment read whole while it fits within `budget` bytes; nullopt for one that
// does not, that has no data of its own (an attached message) or that cannot be read whole:
// those take the way through a file, which reports what it cannot read.
std::optional<std::string> ReadAttachmentWithin(mapi::IAttach* attachment, size_t budget) {
    mapi::InterfaceRef<mapi::IUnknown> opened;
    *opened.out() = OpenAttachmentData(attachment);
    if (!opened) return std::nullopt;
    auto* stream = mapi::As<mapi::IStream>(opened.get());
    std::vector<char> buffer(kAttachmentChunk);
    std::string content;
    for (;;) {
        mapi::ULONG got = 0;
        if (mapi::FAILED(stream->Read(buffer.data(), kAttachmentChunk, &got))) return std::nullopt;
        if (got == 0) return content;
        content.append(buffer.data(), std::min(got, kAttachmentChunk));
        if (content.size() > budget) return std::nullopt;
    }
}

// Attachments that fit in the message's memory budget go into the file from memory. The others
// go through a folder of their own, made only for a message that needs it: making and removing
// a folder per message costs more than reading it. Their files are numbered, not named: a name
// from the store may be longer than the file system allows, and the message takes the name
// from the part. The folder goes with the parts, which own their files: the caller keeps it
// until the message is written.
void AddAttachments(mapi::IMessage* message, TIdMessage& mail,
                    std::optional<PrivateTempFolder>& folder) {
    const std::optional<OutlookAttachmentTable> table = ReadAttachmentTable(message);
    if (!table || table->rows.empty()) return;
    size_t budget = kAttachmentMemoryBudget;
    size_t ordinal = 0;
    for (const OutlookAttachmentRow& row : table->rows) {
        mapi::InterfaceRef<mapi::IAttach> attachment;
        *attachment.out() = OpenAttachment(message, row.Number);
        if (!attachment) continue;
        const std::string name = row.FileName.empty() ? std::string("attachment") : row.FileName;
        if (std::optional<std::string> content = ReadAttachmentWithin(attachment.get(), budget)) {
            budget -= content->size();
            auto part = std::make_unique<TIdAttachmentMemory>(std::move(*content));
            part->FileName = name;
            mail.MessageParts.push_back(std::move(part));
            continue;
        }
        if (!folder) {
            folder.emplace();
            // Without a folder for them the attachments would be lost without a word.
            if (folder->path().empty()) {
                throw std::runtime_error("no temporary folder for its attachments");
            }
        }
        const std::string path = folder->FilePath(std::to_string(++ordinal));
        int64_t size = 0;
        if (CopyAttachmentData(attachment.get(), path, size) != AttachmentCopy::Written) continue;
        auto part = std::make_unique<TIdAttachmentFile>(path);
        part->OwnsFile = true;
        part->FileName = name;
        mail.MessageParts.push_back(std::move(part));
    }
}

// The character set the name of a Windows code page stands for, or "" for one not known here
// (an HTML text names its own).
std::string CharsetOfCodePage(int32_t codePage) {
    static const std::pair<int32_t, const char*> kCharsets[] = {
        {65001, "utf-8"},        {20127, "us-ascii"},    {28591, "iso-8859-1"},
        {28592, "iso-8859-2"},   {28605, "iso-8859-15"}, {1250, "windows-1250"},
        {1251, "windows-1251"},  {1252, "windows-1252"}, {1253, "windows-1253"},
        {1254, "windows-1254"},  {1255, "windows-1255"}, {1256, "windows-1256"},
        {1257, "windows-1257"},  {1258, "windows-1258"}, {874, "windows-874"},
        {20866, "koi8-r"},       {932, "shift_jis"},     {936, "gb2312"},
        {949, "ks_c_5601-1987"}, {950, "big5"},          {50220, "iso-2022-jp"},
        {51932, "euc-jp"},
    };
    for (const auto& [page, name] : kCharsets) {
        if (page == codePage) return name;
    }
    return {};
}

// A message whose only text is HTML keeps it, as an HTML part, rather than going out empty.
void AddHtmlBody(mapi::IMessage* message, TIdMessage& mail) {
    const std::vector<mapi::BYTE> html = ReadBinaryProperty(message, mapi::PR_HTML);
    if (html.empty()) return;
    auto part = std::make_unique<TIdText>();
    part->ContentType = "text/html";
    part->CharSet = CharsetOfCodePage(ReadLongProperty(message, mapi::PR_INTERNET_CPID));
    part->ContentTransfer = "quoted-printable";
    part->Body =
        SplitTextLines(std::string_view(reinterpret_cast<const char*>(html.data()), html.size()));
    mail.MessageParts.insert(mail.MessageParts.begin(), std::move(part));
}

// The body is the store's wide text as UTF-8, whatever the message was sent in. A message
// without parts says so in its own header; one with parts is a mixed multipart, whose body
// part the writer marks as UTF-8 when it holds more than ASCII.
void DescribeBody(TIdMessage& mail) {
    if (mail.MessageParts.empty()) {
        mail.ContentType = "text/plain";
        mail.CharSet = "utf-8";
        const bool eightBit =
            std::any_of(mail.Body.begin(), mail.Body.end(), [](const std::string& text) {
                return std::any_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
            });
        mail.ContentTransferEncoding = eightBit ? "8bit" : "7bit";
    } else {
        mail.ContentType = "multipart/mixed";
    }
    mail.Headers.SetValue("MIME-Version", "1.0");
}

// An attached message has no bytes of its own; it goes out as a .msg file, rather than being
// lost.
AttachmentCopy CopyAttachedMessage(mapi::IAttach* attachment, const std::string& target,
                                   int64_t& size) {
    mapi::InterfaceRef<mapi::IUnknown> opened;
    if (mapi::FAILED(attachment->OpenProperty(mapi::PR_ATTACH_DATA_OBJ, &mapi::IID_IMessage, 0, 0,
                                              opened.out())) ||
        !opened) {
        return AttachmentCopy::NoData;
    }
    if (WriteMsgFile(mapi::As<mapi::IMessage>(opened.get()), target) != kResultSuccess) {
        return AttachmentCopy::TargetFailed;
    }
    std::error_code error;
    const auto written = std::filesystem::file_size(target, error);
    size = error ? 0 : static_cast<int64_t>(written);
    return AttachmentCopy::Written;
}

}  // namespace

std::optional<OutlookAttachmentTable> ReadAttachmentTable(mapi::IMessage* message) {
    mapi::InterfaceRef<mapi::IUnknown> opened;
    if (mapi::FAILED(message->OpenProperty(mapi::PR_MESSAGE_ATTACHMENTS, &mapi::IID_IMAPITable, 0,
                                           0, opened.out())) ||
        !opened) {
        return std::nullopt;
    }
    auto* table = mapi::As<mapi::IMAPITable>(opened.get());
    OutlookAttachmentTable result;
    // The method tells attached messages, which are written as .msg files, from the others.
    mapi::SizedSPropTagArray<4> columns{4,
                                        {mapi::PR_ATTACH_LONG_FILENAME_W, mapi::PR_ATTACH_NUM,
                                         mapi::PR_ATTACH_FILENAME_W, mapi::PR_ATTACH_METHOD}};
    MapiRows rows;
    if (mapi::FAILED(table->SetColumns(columns.get(), mapi::TBL_BATCH)) ||
        mapi::FAILED(QueryAllRows(table, {}, rows))) {
        return result;
    }
    result.read = true;
    const mapi::ULONG count = std::min(rows.size(), kMaxAttachmentRows);
    for (mapi::ULONG r = 0; r < count; ++r) {
        const mapi::SPropValue* number = rows.cell(r, 1);
        if (number == nullptr || number->ulPropTag != mapi::PR_ATTACH_NUM) continue;
        OutlookAttachmentRow row;
        const mapi::SPropValue* longName = rows.cell(r, 0);
        if (longName != nullptr && longName->ulPropTag == mapi::PR_ATTACH_LONG_FILENAME_W) {
            row.FileName = CellText(longName, mapi::PR_ATTACH_LONG_FILENAME_W);
        } else {
            row.FileName = CellText(rows.cell(r, 2), mapi::PR_ATTACH_FILENAME_W);
        }
        const mapi::SPropValue* method = rows.cell(r, 3);
        if (method != nullptr && method->ulPropTag == mapi::PR_ATTACH_METHOD &&
            method->Value.l == mapi::ATTACH_EMBEDDED_MSG) {
            row.FileName = MsgFileName(row.FileName);
        }
        row.Index = static_cast<uint16_t>(r);
        row.Number = number->Value.ul;
        result.rows.push_back(std::move(row));
    }
    return result;
}

mapi::IAttach* OpenAttachment(mapi::IMessage* message, mapi::ULONG number) {
    mapi::LPATTACH attachment = nullptr;
    if (mapi::FAILED(message->OpenAttach(number, &mapi::IID_IAttachment, mapi::MAPI_BEST_ACCESS,
                                         &attachment))) {
        return nullptr;
    }
    return attachment;
}

AttachmentCopy CopyAttachmentData(mapi::IAttach* attachment, const std::string& target,
                                  int64_t& size) {
    mapi::InterfaceRef<mapi::IUnknown> opened;
    *opened.out() = OpenAttachmentData(attachment);
    if (!opened) return CopyAttachedMessage(attachment, target, size);
    auto* stream = mapi::As<mapi::IStream>(opened.get());
    try {
        WriteFileFrom(target, [&](std::ostream& out) {
            std::vector<char> buffer(kAttachmentChunk);
            for (;;) {
                mapi::ULONG got = 0;
                const mapi::HRESULT hr = stream->Read(buffer.data(), kAttachmentChunk, &got);
                if (mapi::FAILED(hr)) {
                    // What came before the damage is kept; an attachment of which nothing can
                    // be read is no attachment written.
                    if (size == 0) throw UnreadableAttachment();
                    WriteReport("MS Outlook attachment damaged after " + std::to_string(size) +
                                " bytes: " + target);
                    break;
                }
                if (got == 0) break;
                const mapi::ULONG taken = std::min(got, kAttachmentChunk);
                out.write(buffer.data(), static_cast<std::streamsize>(taken));
                size += taken;
            }
        });
    } catch (const UnreadableAttachment&) {
        WriteReport("MS Outlook attachment cannot be read: " + target);
        return AttachmentCopy::NoData;
    } catch (const std::exception& error) {
        WriteReport(std::string("MS Outlook attachment not written: ") + error.what());
        size = 0;
        return AttachmentCopy::TargetFailed;
    }
    return AttachmentCopy::Written;
}

int32_t WriteMsgFile(mapi::IMessage* message, const std::string& target) {
    std::string error;
    std::unique_ptr<MsgStorage> storage = MsgStorage::Create(target, error);
    mapi::InterfaceRef<mapi::IMessage> copy;
    if (storage != nullptr) *copy.out() = storage->OpenMessage();
    if (!copy) {
        WriteReport(
            "MS Outlook storage can't get message (it is maybe unequal version of MAPI and "
            "storage).");
        if (!error.empty()) WriteReport(error);
        return kResultWriteFailed;
    }
    storage->SetClass(mapi::CLSID_MailMessage);
    // The plain-text body is kept: readers other than MS Outlook do not rebuild it from the
    // formatted text, and a message without formatted text would have no body at all.
    mapi::SizedSPropTagArray<6> excluded{
        6,
        {mapi::PR_ACCESS, mapi::PR_RTF_SYNC_BODY_COUNT, mapi::PR_RTF_SYNC_BODY_CRC,
         mapi::PR_RTF_SYNC_BODY_TAG_A, mapi::PR_RTF_SYNC_PREFIX_COUNT,
         mapi::PR_RTF_SYNC_TRAILING_COUNT}};
    mapi::HRESULT hr = mapi::MAPI_E_CALL_FAILED;
    try {
        hr = message->CopyTo(0, nullptr, excluded.get(), 0, nullptr, &mapi::IID_IMessage,
                             copy.get(), 0, nullptr);
        // What could be copied is kept; the log says that something could not.
        if (hr == mapi::MAPI_W_ERRORS_RETURNED) {
            WriteReport(
                "MS Outlook message copied in part, some of its values, recipients or "
                "attachments could not be read: " +
                target);
        }
        if (mapi::SUCCEEDED(hr)) hr = copy->SaveChanges(mapi::KEEP_OPEN_READWRITE);
    } catch (const std::exception&) {
        WriteReport("MS Outlook store message exception.");
    }
    // Nothing copied is no message: no file is better than an empty one taken for it.
    if (mapi::FAILED(hr)) {
        WriteReport("MS Outlook message not copied #" + std::to_string(hr));
        return kResultWriteFailed;
    }
    const bool committed = storage->Commit(error);
    storage.reset();
    copy.reset();
    if (!committed) {
        WriteReport("MS Outlook message file not written: " + error);
        return kResultWriteFailed;
    }
    return kResultSuccess;
}

int32_t WriteEmlFile(mapi::IMessage* message, const TMessage& record, const std::string& target) {
    try {
        // Declared before the message, whose parts own files in it.
        std::optional<PrivateTempFolder> folder;
        TIdMessage mail;
        if (!record.Headers.empty()) {
            SetHeaderText(mail, record.Headers);
        } else {
            SetFieldsFromRecord(message, mail, record);
        }
        mail.Body.push_back(record.Body);
        if (record.Body.empty()) AddHtmlBody(message, mail);
        AddAttachments(message, mail, folder);
        DescribeBody(mail);
        mail.WriteToFile(target);
    } catch (const std::exception& error) {
        WriteReport(std::string("MS Outlook message not written: ") + error.what());
        return kResultWriteFailed;
    }
    return kResultSuccess;
}

}  // namespace mailsift
