#include "outlook/mapi_library.h"

#include <dlfcn.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "config/folders.h"
#include "config/report_log.h"
#include "config/settings.h"
#include "platform/file_system.h"
#include "platform/text_match.h"
#include "platform/wine_registry.h"

namespace mailsift {

namespace {

namespace fs = std::filesystem;

constexpr const char* kLibraryPathKey = "MSOutlookLibraryPath";
constexpr const char* kSharedDllsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
constexpr const char* kProviderFileName = "msmapi32.dll.so";
// MatchesMask ignores letter case, so a registered name matches in any case.
constexpr const char* kLibraryMask = "*MSMAPI32.DLL*";

std::string HandleText(const void* handle) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(handle));
}

MapiLibraryLoader& ProcessLoader() {
    // Never destroyed: entry points handed out must stay callable until the process ends,
    // also from code that runs during static destruction.
    static MapiLibraryLoader* const loader = new MapiLibraryLoader;
    return *loader;
}

}  // namespace

MapiLibraryLoader::~MapiLibraryLoader() {
    if (handle_ != nullptr) dlclose(handle_);
}

bool MapiLibraryLoader::Load() {
    WriteReport("Initializate MAPI");
    libraryPath_ = ReadSetting(kLibraryPathKey);
    WriteReport("Config library path: " + libraryPath_);
    // An unset key reads as "%" and its name.
    if (libraryPath_.empty() || libraryPath_.front() == '%') return false;
    if (!IsExistingFile(libraryPath_)) return false;
    if (handle_ == nullptr) {
        // A bare file name would make dlopen search the system's library folders instead of
        // loading the file that was just found.
        const std::string loadPath =
            libraryPath_.find('/') == std::string::npos ? "./" + libraryPath_ : libraryPath_;
        void* handle = dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        WriteReport("MSMAPI32Dll handle: " + HandleText(handle));
        if (handle == nullptr) {
            const char* reason = dlerror();
            WriteReport(std::string("MSMAPI32Dll load error: ") +
                        (reason != nullptr ? reason : "unknown"));
            return false;
        }
        WriteReport("MSMAPI32Dll intilization OK");
        std::string missing;
        if (!ResolveMapiEntryPoints(handle, entries_, missing)) {
            WriteReport("MAPI entry point missing: " + missing);
            // Not kept, so that a corrected setting takes effect without a restart.
            dlclose(handle);
            return false;
        }
        handle_ = handle;
    }
    WriteReport("MAPI library handle: " + HandleText(handle_));
    return true;
}

bool LoadMapiLibrary() {
    return ProcessLoader().Load();
}

const mapi::MapiEntryPoints& MapiEntries() {
    return ProcessLoader().Entries();
}

std::string FindMapiLibraryPath() {
    const std::string executable = ExecutablePath();
    return FindMapiLibraryPath(executable.empty() ? std::string()
                                                  : fs::path(executable).parent_path().string());
}

std::string FindMapiLibraryPath(const std::string& providerFolder) {
    std::vector<std::string> names;
    if (!providerFolder.empty()) {
        const std::string provider = (fs::path(providerFolder) / kProviderFileName).string();
        if (IsExistingFile(provider)) names.push_back(provider);
    }
    // The value names of this key are the full paths of the registered libraries.
    const std::optional<std::vector<RegistryValue>> shared =
        RegistryView::OpenHive(RegistryHive::LocalMachine).Values(kSharedDllsKey);
    if (shared) {
        for (const RegistryValue& value : *shared) names.push_back(value.name);
    }
    for (const std::string& name : names) {
        if (MatchesMask(name, kLibraryMask)) return name;
    }
    return {};
}

}  // namespace mailsift
