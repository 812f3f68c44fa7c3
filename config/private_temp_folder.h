#pragma once
// A folder of its own below the system's temporary folder ("%Temp%"), which only this user can
// enter: neither another program nor another user can share, plant or read what passes through
// it. It goes with everything in it when the object does, also when an exception unwinds.
#include <string>

namespace mailsift {

class PrivateTempFolder {
  public:
    PrivateTempFolder();
    ~PrivateTempFolder();
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;

    // Empty when no folder could be made.
    const std::string& path() const { return path_; }
    // The path of a file named `name` in the folder; empty when there is no folder.
    std::string FilePath(const std::string& name) const {
        return path_.empty() ? std::string() : path_ + "/" + name;
    }

  private:
    std::string path_;
};

}  // namespace mailsift
