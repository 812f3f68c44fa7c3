#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/folders.h"
#include "config/key_file.h"
#include "config/settings.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace mailsift::test {

// Every test gets its own program folder with an empty Config folder, and fresh process state.
class ConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(temp_.path() / "home" / "Config");
        InitFolders(temp_ / "bin/mailsift");
        KeyCursor() = -1;
        Settings = TSettings{};
    }

    std::string MainIni() const { return ConfigFolder() + "main.ini"; }

    TempDir temp_;
    ScopedEnv home_{"MAILSIFT_HOME", temp_ / "home"};
};

}  // namespace mailsift::test
