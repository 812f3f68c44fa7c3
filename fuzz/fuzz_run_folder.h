#pragma once
// A folder of its own for one fuzzing process, removed with what it holds when the process ends.
// The report log is switched off: it is no use here and would only grow.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "config/settings.h"

class FuzzRunFolder {
  public:
    explicit FuzzRunFolder(std::string_view target)
        : path_(std::filesystem::temp_directory_path() /
                ("mailsift-" + std::string(target) + "-fuzz-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
        mailsift::Settings.DebugMode = false;
    }
    ~FuzzRunFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    FuzzRunFolder(const FuzzRunFolder&) = delete;
    FuzzRunFolder& operator=(const FuzzRunFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const char* name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};
