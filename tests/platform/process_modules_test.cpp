#include "platform/process_modules.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

extern char** environ;

namespace mailsift {
namespace {

TEST(ProcessModules, MapsListEachFileOnceWithBlanksAndDeletedFilesKept) {
    const std::string maps =
        "55d0c0a00000-55d0c0a02000 r--p 00000000 08:02 1234   /usr/bin/outlook stand-in\n"
        "55d0c0a02000-55d0c0a04000 r-xp 00002000 08:02 1234   /usr/bin/outlook stand-in\n"
        "7f00 rw-p 00000000 00:00 0 [heap]\n"
        "7f10 r-xp 00000000 08:02 99 /opt/Office/MSMAPI32.DLL (deleted)\n"
        "7f20 rw-p 00000000 00:00 0\n"
        "7f30 r-xp 00000000 08:02 77 /lib/libc.so.6\n";
    EXPECT_EQ(MappedFilesFromMaps(maps),
              (std::vector<std::string>{"/usr/bin/outlook stand-in", "/opt/Office/MSMAPI32.DLL",
                                        "/lib/libc.so.6"}));
    EXPECT_TRUE(MappedFilesFromMaps("").empty());
}

TEST(ProcessModules, ChildrenOfAProcessAreInItsTreeAndTheirModulesListed) {
    // A shell that starts a child: the program behind a launcher.
    char shell[] = "/bin/sh";
    char flag[] = "-c";
    char script[] = "sleep 5 & wait";
    char* argv[] = {shell, flag, script, nullptr};
    pid_t launcher = 0;
    ASSERT_EQ(posix_spawn(&launcher, "/bin/sh", nullptr, nullptr, argv, environ), 0);
    std::vector<pid_t> tree;
    for (int attempt = 0; attempt < 100 && tree.size() < 2; ++attempt) {
        usleep(20000);
        tree = ProcessTree(launcher);
    }
    EXPECT_EQ(tree.front(), launcher);
    EXPECT_GE(tree.size(), 2u);
    const std::vector<std::string> modules = ProcessModules(launcher);
    EXPECT_TRUE(std::any_of(modules.begin(), modules.end(), [](const std::string& path) {
        return path.find("sleep") != std::string::npos;
    }));
    for (pid_t process : tree) kill(process, SIGKILL);
    waitpid(launcher, nullptr, 0);
    EXPECT_TRUE(ProcessModules(launcher).empty());
}

}  // namespace
}  // namespace mailsift
