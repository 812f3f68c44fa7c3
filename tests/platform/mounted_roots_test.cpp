#include "platform/mounted_roots.h"

#include <gtest/gtest.h>

namespace mailsift {
namespace {

TEST(MountedRoots, OnlyFileSystemsWithTheUsersFilesInMountOrder) {
    const std::string mounts =
        "/dev/sda2 / ext4 rw,relatime 0 0\n"
        "proc /proc proc rw 0 0\n"
        "sysfs /sys sysfs rw 0 0\n"
        "udev /dev devtmpfs rw 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
        "tmpfs /tmp tmpfs rw 0 0\n"
        "/dev/sda3 /home ext4 rw 0 0\n"
        "/dev/sdb1 /media/user/USB\\040Stick vfat rw 0 0\n"
        "server:/export /mnt/share nfs4 rw 0 0\n"
        "/dev/sda2 / ext4 rw,relatime 0 0\n"
        "/dev/sdc1 /run/media/user/disk ext4 rw 0 0\n"
        "garbage\n";
    EXPECT_EQ(SearchRootsFromMounts(mounts, "/home/user"),
              (std::vector<std::string>{"/", "/home", "/media/user/USB Stick"}));
}

TEST(MountedRoots, ANetworkHomeIsSearched) {
    const std::string mounts =
        "/dev/sda2 / ext4 rw 0 0\n"
        "server:/homes /net/homes nfs rw 0 0\n"
        "server:/other /net/other cifs rw 0 0\n";
    EXPECT_EQ(SearchRootsFromMounts(mounts, "/net/homes/user"),
              (std::vector<std::string>{"/", "/net/homes"}));
    EXPECT_EQ(SearchRootsFromMounts(mounts, ""), (std::vector<std::string>{"/"}));
}

TEST(MountedRoots, ThisSystemHasAtLeastOneRoot) {
    const std::vector<std::string> roots = AllDrivesRoots();
    ASSERT_FALSE(roots.empty());
    for (const std::string& root : roots) EXPECT_EQ(root.front(), '/');
}

}  // namespace
}  // namespace mailsift
