// mapi-dump: lists the folders and messages of a personal folder file through the MAPI
// provider library, making the calls the MS Outlook backend makes, and optionally extracts
// bodies and attachments.
//
//   mapi-dump [--library PATH] [--extract DIR] PST
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "mapi-provider/provider_loader.h"
#include "mapi/interface_cast.h"
#include "mapi/interface_ref.h"
#include "mapi/mapi_tags.h"
#include "mapi/utf16.h"
#include "platform/date_time.h"

namespace {

using namespace mapi;
namespace fs = std::filesystem;

constexpr const char* kProfileName = "MSFPROFILE";
constexpr const char* kServiceName = "MSPST MS";
constexpr ULONG kAttachmentChunk = 65535;

std::string Clean(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

std::string DumpedFileName(const std::string& name) {
    std::string safe;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        safe += (c == '/' || c == '\\' || byte < 0x20) ? '_' : c;
    }
    // Keep within the usual 255-byte limit, cutting at a character boundary.
    constexpr size_t kMaxBytes = 200;
    if (safe.size() > kMaxBytes) {
        size_t cut = kMaxBytes;
        while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        safe.resize(cut);
    }
    return safe;
}

class Dumper {
  public:
    Dumper(const MapiEntryPoints& mapi, std::string extractDir)
        : mapi_(mapi), extractDir_(std::move(extractDir)) {}

    // Returns the process exit status.
    int Run(const std::string& pstPath) {
        mapi_.MAPIInitialize(nullptr);
        const int status = Open(pstPath);
        CloseAll();
        mapi_.MAPIUninitialize();
        return extractFailed_ ? 1 : status;
    }

  private:
    int Fail(const std::string& step, HRESULT hr) {
        std::cerr << "mapi-dump: cannot open the store: " << step << " failed (0x" << std::hex
                  << static_cast<uint32_t>(hr) << std::dec << ")\n";
        return 1;
    }

    int Open(const std::string& pstPath) {
        HRESULT hr = mapi_.MAPIAdminProfiles(0, admin_.out());
        if (FAILED(hr)) {
            return Fail("MAPIAdminProfiles", hr);
        }
        admin_->CreateProfile(kProfileName, nullptr, 0, 0);
        profileCreated_ = true;
        hr = admin_->AdminServices(kProfileName, nullptr, 0, 0, services_.out());
        if (FAILED(hr)) {
            return Fail("AdminServices", hr);
        }
        hr = services_->CreateMsgService(kServiceName, kProfileName, 0, SERVICE_UI_ALLOWED);
        if (FAILED(hr)) {
            hr = services_->CreateMsgService(kServiceName, kProfileName, 0, 0);
        }
        if (FAILED(hr)) {
            return Fail("CreateMsgService", hr);
        }
        MAPIUID uid{};
        std::string serviceName;
        hr = ReadService(&uid, nullptr);
        if (FAILED(hr)) {
            return Fail("GetMsgServiceTable", hr);
        }
        SPropValue path{};
        path.ulPropTag = PR_PST_PATH_A;
        std::string pathCopy = pstPath;
        path.Value.lpszA = pathCopy.data();
        hr = services_->ConfigureMsgService(&uid, 0, SERVICE_UI_ALLOWED, 1, &path);
        if (FAILED(hr)) {
            return Fail("ConfigureMsgService", hr);
        }
        hr = ReadService(nullptr, &serviceName);
        if (FAILED(hr)) {
            return Fail("GetMsgServiceTable", hr);
        }
        hr = mapi_.MAPILogonEx(0, kProfileName, nullptr,
                               MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_NO_MAIL, session_.out());
        if (FAILED(hr)) {
            return Fail("MAPILogonEx", hr);
        }
        std::string storeName;
        hr = OpenStore(serviceName, storeName);
        if (FAILED(hr)) {
            return Fail("OpenMsgStore", hr);
        }
        ULONG type = 0;
        InterfaceRef<IUnknown> root;
        hr = store_->OpenEntry(0, nullptr, &IID_IMAPIFolder, 0, &type, root.out());
        if (FAILED(hr) || type != MAPI_FOLDER) {
            return Fail("OpenEntry of the root folder", FAILED(hr) ? hr : MAPI_E_INVALID_OBJECT);
        }
        Walk(As<IMAPIFolder>(root.get()), storeName, 0);
        return 0;
    }

    // Reads the first row of the service table: its UID and/or display name.
    HRESULT ReadService(MAPIUID* uid, std::string* displayName) {
        InterfaceRef<IMAPITable> table;
        HRESULT hr = services_->GetMsgServiceTable(0, table.out());
        if (FAILED(hr)) {
            return hr;
        }
        SizedSPropTagArray<2> columns{2, {PR_SERVICE_UID, PR_DISPLAY_NAME_A}};
        hr = table->SetColumns(columns.get(), 0);
        LPSRowSet rows = nullptr;
        if (SUCCEEDED(hr)) {
            hr = table->QueryRows(1, 0, &rows);
        }
        if (FAILED(hr)) {
            return hr;
        }
        hr = MAPI_E_NOT_FOUND;
        if (rows->cRows > 0) {
            const SPropValue* values = rows->aRow[0].lpProps;
            if (uid != nullptr && values[0].ulPropTag == PR_SERVICE_UID &&
                values[0].Value.bin.cb == sizeof(MAPIUID)) {
                std::memcpy(uid->ab, values[0].Value.bin.lpb, sizeof(MAPIUID));
                hr = S_OK;
            }
            if (displayName != nullptr && values[1].ulPropTag == PR_DISPLAY_NAME_A) {
                *displayName = values[1].Value.lpszA;
                hr = S_OK;
            }
        }
        mapi_.FreeProws(rows);
        return hr;
    }

    HRESULT OpenStore(const std::string& serviceName, std::string& storeName) {
        InterfaceRef<IMAPITable> table;
        HRESULT hr = session_->GetMsgStoresTable(0, table.out());
        if (FAILED(hr)) {
            return hr;
        }
        SizedSPropTagArray<2> columns{2, {PR_ENTRYID, PR_DISPLAY_NAME_A}};
        LPSRowSet rows = nullptr;
        hr = mapi_.HrQueryAllRows(table.get(), columns.get(), nullptr, nullptr, 0, &rows);
        if (FAILED(hr)) {
            return hr;
        }
        hr = MAPI_E_NOT_FOUND;
        for (ULONG i = 0; i < rows->cRows && !store_; ++i) {
            const SPropValue* values = rows->aRow[i].lpProps;
            if (values[1].ulPropTag != PR_DISPLAY_NAME_A || serviceName != values[1].Value.lpszA ||
                values[0].ulPropTag != PR_ENTRYID) {
                continue;
            }
            hr = session_->OpenMsgStore(0, values[0].Value.bin.cb,
                                        reinterpret_cast<LPENTRYID>(values[0].Value.bin.lpb),
                                        nullptr, MDB_NO_MAIL, store_.out());
            if (SUCCEEDED(hr)) {
                storeName = values[1].Value.lpszA;
            }
        }
        mapi_.FreeProws(rows);
        return hr;
    }

    std::string GetString(IMAPIProp* object, ULONG tag) {
        LPSPropValue value = nullptr;
        std::string text;
        if (SUCCEEDED(mapi_.HrGetOneProp(object, tag, &value)) && value->Value.lpszW != nullptr) {
            text = mailsift::Utf16ToUtf8(std::u16string(value->Value.lpszW));
        }
        mapi_.MAPIFreeBuffer(value);
        return text;
    }

    void Walk(IMAPIFolder* folder, const std::string& name, int depth) {
        LPSPropValue value = nullptr;
        HRESULT hr = mapi_.HrGetOneProp(folder, PR_DISPLAY_NAME_W, &value);
        mapi_.MAPIFreeBuffer(value);
        if (FAILED(hr)) {
            return;
        }
        InterfaceRef<IMAPITable> contents;
        LPSRowSet messages = nullptr;
        SizedSPropTagArray<1> entryColumn{1, {PR_ENTRYID}};
        if (FAILED(folder->GetContentsTable(0, contents.out())) ||
            FAILED(mapi_.HrQueryAllRows(contents.get(), entryColumn.get(), nullptr, nullptr, 0,
                                        &messages))) {
            return;
        }
        std::cout << "F\t" << depth << '\t' << Clean(name) << '\t' << messages->cRows << '\n';
        for (ULONG i = 0; i < messages->cRows; ++i) {
            PrintMessage(messages->aRow[i].lpProps[0]);
        }
        mapi_.FreeProws(messages);

        InterfaceRef<IUnknown> hierarchyObject;
        if (FAILED(folder->OpenProperty(PR_CONTAINER_HIERARCHY, &IID_IMAPITable, 0, 0,
                                        hierarchyObject.out()))) {
            return;
        }
        SizedSPropTagArray<3> columns{3, {PR_ENTRYID, PR_DISPLAY_NAME_W, PR_COMMENT_W}};
        LPSRowSet children = nullptr;
        if (FAILED(mapi_.HrQueryAllRows(As<IMAPITable>(hierarchyObject.get()), columns.get(),
                                        nullptr, nullptr, 0, &children))) {
            return;
        }
        for (ULONG i = 0; i < children->cRows; ++i) {
            const SPropValue* values = children->aRow[i].lpProps;
            if (values[0].ulPropTag != PR_ENTRYID || values[1].ulPropTag != PR_DISPLAY_NAME_W) {
                continue;
            }
            // A damaged file could list a folder below itself; each folder is shown once.
            const std::string id(reinterpret_cast<const char*>(values[0].Value.bin.lpb),
                                 values[0].Value.bin.cb);
            if (!visited_.insert(id).second) {
                continue;
            }
            const std::string childName =
                mailsift::Utf16ToUtf8(std::u16string(values[1].Value.lpszW));
            ULONG type = 0;
            InterfaceRef<IUnknown> child;
            if (childName.empty() ||
                FAILED(folder->OpenEntry(values[0].Value.bin.cb,
                                         reinterpret_cast<LPENTRYID>(values[0].Value.bin.lpb),
                                         nullptr, 0, &type, child.out())) ||
                type != MAPI_FOLDER) {
                continue;
            }
            Walk(As<IMAPIFolder>(child.get()), childName, depth + 1);
        }
        mapi_.FreeProws(children);
    }

    void PrintMessage(const SPropValue& entry) {
        const int serial = ++serial_;
        ULONG type = 0;
        InterfaceRef<IUnknown> object;
        std::string subject, senderName, senderAddress, submitTime, size, names;
        if (entry.ulPropTag == PR_ENTRYID &&
            SUCCEEDED(store_->OpenEntry(entry.Value.bin.cb,
                                        reinterpret_cast<LPENTRYID>(entry.Value.bin.lpb),
                                        &IID_IMessage, MAPI_BEST_ACCESS, &type, object.out()))) {
            auto* message = As<IMessage>(object.get());
            subject = GetString(message, PR_SUBJECT_W);
            senderName = GetString(message, PR_SENDER_NAME_W);
            senderAddress = GetString(message, PR_SENDER_EMAIL_ADDRESS_W);
            LPSPropValue value = nullptr;
            if (SUCCEEDED(mapi_.HrGetOneProp(message, PR_CLIENT_SUBMIT_TIME, &value))) {
                const uint64_t ticks =
                    (static_cast<uint64_t>(value->Value.ft.dwHighDateTime) << 32) |
                    value->Value.ft.dwLowDateTime;
                const mailsift::TDateTime local = mailsift::DateTimeFromFileTime(ticks);
                submitTime = mailsift::FormatDate(local) + " " + mailsift::FormatShortTime(local);
            }
            mapi_.MAPIFreeBuffer(value);
            value = nullptr;
            if (SUCCEEDED(mapi_.HrGetOneProp(message, PR_MESSAGE_SIZE, &value))) {
                size = std::to_string(value->Value.l);
            }
            mapi_.MAPIFreeBuffer(value);
            const fs::path folder =
                extractDir_.empty() ? fs::path() : fs::path(extractDir_) / std::to_string(serial);
            if (!folder.empty() && MakeFolder(folder)) {
                LPSPropValue body = nullptr;
                if (SUCCEEDED(mapi_.HrGetOneProp(message, PR_BODY_W, &body))) {
                    std::ofstream(folder / "body.txt", std::ios::binary)
                        << mailsift::Utf16ToUtf8(std::u16string(body->Value.lpszW));
                }
                mapi_.MAPIFreeBuffer(body);
            }
            names = Attachments(message, folder);
        }
        std::cout << "M\t" << Clean(subject) << '\t' << Clean(senderName) << '\t'
                  << Clean(senderAddress) << '\t' << submitTime << '\t' << size << '\t'
                  << Clean(names);
        if (!extractDir_.empty()) {
            std::cout << '\t' << serial;
        }
        std::cout << '\n';
    }

    // Lists the attachment names joined by "|" and, when `folder` is set, writes each
    // attachment's bytes below it.
    std::string Attachments(IMessage* message, const fs::path& folder) {
        InterfaceRef<IUnknown> tableObject;
        if (FAILED(message->OpenProperty(PR_MESSAGE_ATTACHMENTS, &IID_IMAPITable, 0, 0,
                                         tableObject.out()))) {
            return "";
        }
        auto* table = As<IMAPITable>(tableObject.get());
        SizedSPropTagArray<3> columns{
            3, {PR_ATTACH_LONG_FILENAME_W, PR_ATTACH_NUM, PR_ATTACH_FILENAME_W}};
        LPSRowSet rows = nullptr;
        if (FAILED(table->SetColumns(columns.get(), TBL_BATCH)) ||
            FAILED(mapi_.HrQueryAllRows(table, nullptr, nullptr, nullptr, 0, &rows))) {
            return "";
        }
        std::string names;
        int listed = 0;
        for (ULONG r = 0; r < rows->cRows; ++r) {
            const SPropValue* values = rows->aRow[r].lpProps;
            if (values[1].ulPropTag != PR_ATTACH_NUM) {
                continue;
            }
            std::string name;
            if (values[0].ulPropTag == PR_ATTACH_LONG_FILENAME_W) {
                name = mailsift::Utf16ToUtf8(std::u16string(values[0].Value.lpszW));
            } else if (values[2].ulPropTag == PR_ATTACH_FILENAME_W) {
                name = mailsift::Utf16ToUtf8(std::u16string(values[2].Value.lpszW));
            }
            InterfaceRef<IAttach> attachment;
            if (FAILED(message->OpenAttach(static_cast<ULONG>(values[1].Value.l), &IID_IAttachment,
                                           MAPI_BEST_ACCESS, attachment.out()))) {
                continue;
            }
            if (listed++ > 0) {
                names += '|';
            }
            names += name;
            if (!folder.empty()) {
                SaveAttachment(
                    attachment.get(),
                    folder / "attachments" / (std::to_string(r) + "-" + DumpedFileName(name)));
            }
        }
        mapi_.FreeProws(rows);
        return names;
    }

    // A folder that cannot be made is reported once per folder; the run goes on and ends
    // with status 1.
    bool MakeFolder(const fs::path& folder) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            std::cerr << "mapi-dump: cannot create " << folder.string() << ": " << ec.message()
                      << '\n';
            extractFailed_ = true;
        }
        return !ec;
    }

    void SaveAttachment(IAttach* attachment, const fs::path& target) {
        InterfaceRef<IUnknown> streamObject;
        if (FAILED(attachment->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_BEST_ACCESS,
                                            streamObject.out())) &&
            FAILED(attachment->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0,
                                            streamObject.out()))) {
            return;
        }
        auto* stream = As<IStream>(streamObject.get());
        if (!MakeFolder(target.parent_path())) {
            return;
        }
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        std::vector<char> buffer(kAttachmentChunk);
        for (;;) {
            ULONG read = 0;
            if (FAILED(stream->Read(buffer.data(), kAttachmentChunk, &read)) || read == 0) {
                break;
            }
            out.write(buffer.data(), read);
        }
    }

    void CloseAll() {
        store_.reset();
        if (session_) {
            session_->Logoff(0, 0, 0);
        }
        session_.reset();
        services_.reset();
        if (admin_ && profileCreated_) {
            admin_->DeleteProfile(kProfileName, 0);
        }
        admin_.reset();
    }

    const MapiEntryPoints& mapi_;
    std::string extractDir_;
    InterfaceRef<IProfAdmin> admin_;
    InterfaceRef<IMsgServiceAdmin> services_;
    InterfaceRef<IMAPISession> session_;
    InterfaceRef<IMsgStore> store_;
    bool profileCreated_ = false;
    std::set<std::string> visited_;
    int serial_ = 0;
    bool extractFailed_ = false;
};

int Usage() {
    std::cerr << "usage: mapi-dump [--library PATH] [--extract DIR] PST\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string library;
    std::string extractDir;
    std::string pst;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--library" || arg == "--extract") && i + 1 < argc) {
            (arg == "--library" ? library : extractDir) = argv[++i];
        } else if (pst.empty() && !arg.starts_with("--")) {
            pst = arg;
        } else {
            return Usage();
        }
    }
    if (pst.empty()) {
        return Usage();
    }
    if (library.empty()) {
        std::error_code ec;
        const fs::path self = fs::read_symlink("/proc/self/exe", ec);
        library = (ec ? fs::path(argv[0]).parent_path() : self.parent_path()) / "msmapi32.dll.so";
    }
    MapiEntryPoints mapi;
    std::string error;
    if (!mailsift::mapi_provider::LoadMapiLibrary(library, mapi, error)) {
        std::cerr << "mapi-dump: " << error << '\n';
        return 1;
    }
    try {
        return Dumper(mapi, extractDir).Run(pst);
    } catch (const std::exception& e) {
        std::cerr << "mapi-dump: " << e.what() << '\n';
        return 1;
    }
}
