// Personal folder files as found on disks we did not write, read through the MAPI provider
// library the way the MS Outlook backend reads them: the folder tree with its hierarchy and
// contents tables, every message's properties and attachment table, each attachment (attached
// messages among them) saved, and each message saved as .eml and, through CopyTo into the .msg
// writer, as .msg.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "config/folders.h"
#include "config/settings.h"
#include "fuzz/fuzz_run_folder.h"
#include "outlook/default_store_backends.h"
#include "outlook/mapi_library.h"
#include "stores/store_facade.h"

namespace {

using namespace mailsift;

// Enough to reach every kind of structure; more only slows the run down.
constexpr int32_t kMaxMessages = 32;
constexpr size_t kMaxAttachments = 8;

// The program folder the backend reads its settings from, naming the provider library.
struct PstRunFolder {
    PstRunFolder() {
        setenv("MAILSIFT_HOME", folder.path().c_str(), 1);
        InitFolders(ExecutablePath());
        Settings.DebugMode = false;
        WriteSetting("MSOutlookLibraryPath", MAPI_PROVIDER_PATH);
        UseDefaultStoreBackends();
        // Loaded now rather than at the first open, so that libFuzzer counts its code from the
        // start.
        LoadMapiLibrary();
    }
    std::string operator/(const char* name) const { return folder / name; }

    FuzzRunFolder folder{"pst"};
};

const PstRunFolder& Run() {
    static const PstRunFolder run;
    return run;
}

void ReadMessage(StoreHandle handle, const TFolder& folder, int32_t index) {
    TMessage message;
    GetMessageHeaders(handle, folder, index, message);
    GetMessageBody(handle, folder, index, message);
    SaveMessageToFile(handle, folder, index, Run() / "saved.eml", true);
    SaveMessageToFile(handle, folder, index, Run() / "saved.msg", false);
    if (GetMessageAttachFilesList(handle, folder, index, message) != kResultSuccess ||
        !message.Attachments.has_value()) {
        return;
    }
    const std::vector<TAttachFile> attachments = *message.Attachments;
    for (size_t k = 0; k < attachments.size() && k < kMaxAttachments; ++k) {
        SaveAttachToFile(handle, folder, index, attachments[k].Index, Run() / "attachment.bin");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Run();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Run() / "input.pst";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    TFolderList folders;
    const StoreHandle handle = OpenMessageStore(path, folders);
    if (handle <= kMaxResultCode) return 0;
    int32_t tried = 0;
    for (const TFolder* folder : folders) {
        for (int32_t i = 0; i < folder->MessageCount && tried < kMaxMessages; ++i, ++tried) {
            ReadMessage(handle, *folder, i);
        }
    }
    CloseMessageStore(handle);
    return 0;
}
