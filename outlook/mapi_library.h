#pragma once
// The MAPI library (MS Outlook's, or the provider installed beside the program), loaded once
// per process from the path in the setting "MSOutlookLibraryPath".
#include <string>

#include "mapi/mapi_entry_points.h"

namespace mailsift {

// True when the library named by the setting is loaded and every entry point was found.
// A library is loaded at most once per process and never unloaded; later calls check the
// setting again but keep using the library loaded first.
bool LoadMapiLibrary();
// The entry points of the loaded library; valid after LoadMapiLibrary returned true.
const mapi::MapiEntryPoints& MapiEntries();

// The full path of the MAPI library listed among the system's shared libraries, or "".
// The provider installed beside the program comes first: it is the one this program can load.
std::string FindMapiLibraryPath();
// The same with the provider looked for in providerFolder instead of the program's folder.
std::string FindMapiLibraryPath(const std::string& providerFolder);

// The state behind LoadMapiLibrary. The program has one process-wide instance; tests make
// their own, since one test program may run every test in a single process.
class MapiLibraryLoader {
  public:
    MapiLibraryLoader() = default;
    // Unloads the library. The process-wide instance is never destroyed, so the program's
    // library stays loaded until the process ends.
    ~MapiLibraryLoader();
    MapiLibraryLoader(const MapiLibraryLoader&) = delete;
    MapiLibraryLoader& operator=(const MapiLibraryLoader&) = delete;

    // What LoadMapiLibrary does, on this instance's state.
    bool Load();
    bool Loaded() const { return handle_ != nullptr; }
    const mapi::MapiEntryPoints& Entries() const { return entries_; }
    // The setting's value as the last Load read it.
    const std::string& LibraryPath() const { return libraryPath_; }

  private:
    std::string libraryPath_ = "msmapi32.dll";
    void* handle_ = nullptr;
    mapi::MapiEntryPoints entries_;
};

}  // namespace mailsift
