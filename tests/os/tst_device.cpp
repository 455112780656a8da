// Whether the device of a saved folder is there: the mount-table rule, and the answer on this system.
#include "os/device.h"
#include "os/mountinfo.h"

#include <climits>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A file-system picture: these folders and everything above them exist.
std::function<bool(const std::string&)> existing(std::initializer_list<std::string> folders)
{
    std::set<std::string> all{"/"};
    for (std::string folder : folders) {
        for (; folder.size() > 1; folder = fs::path(folder).parent_path().string())
            all.insert(folder);
    }
    return [all](const std::string& path) { return all.count(path) > 0; };
}

struct Case
{
    const char* what;
    std::string path;
    std::function<bool(const std::string&)> exists;
    std::vector<std::string> mounted;
    std::vector<std::string> fstab;
    bool unmounted;
};

} // namespace

TEST(DeviceFstab, ReadsMountPointsAndPassesOverSwapCommentsAndGarbage)
{
    const char* text = "# /etc/fstab: static file system information.\n"
                       "\n"
                       "UUID=1234-abcd /               ext4    errors=remount-ro 0       1\n"
                       "   # an indented comment /not/this\n"
                       "UUID=5678\t/home\text4\tdefaults\t0\t2\n"
                       "/dev/sda3 none swap sw 0 0\n"
                       "/swapfile swap swap defaults 0 0\n"
                       "/dev/sr0        /media/cdrom0   udf,iso9660 user,noauto     0       0\n"
                       "//server/ritningar /mnt/Delade\\040ritningar/ cifs credentials=/etc/cred,nofail 0 0\n"
                       "server:/export /mnt//nfs/./share nfs defaults\n"
                       "garbage\n"
                       "tmpfs relative/point tmpfs defaults 0 0\n"
                       "proc /proc proc defaults"; // no line end at the end
    EXPECT_EQ(
        parseFstabMountPoints(text),
        (std::vector<std::string>{"/", "/home", "/media/cdrom0", "/mnt/Delade ritningar", "/mnt/nfs/share", "/proc"}));
    EXPECT_TRUE(parseFstabMountPoints("").empty());
    EXPECT_TRUE(parseFstabMountPoints("# UNCONFIGURED FSTAB FOR BASE SYSTEM\n").empty());
    // Longer than any path the system takes: no mount point, and no work spent on it.
    EXPECT_EQ(parseFstabMountPoints("a /" + std::string(PATH_MAX, 'x') + " ext4 defaults\nb /b ext4 defaults\n"),
              std::vector<std::string>{"/b"});
}

TEST(DeviceMountRule, MissingMediaAndSharesButNotDeletedFolders)
{
    const std::vector<std::string> rootOnly{"/", "/proc", "/run"};
    const std::vector<std::string> withStick{"/", "/run", "/media/u/STICK"};
    const std::vector<std::string> withShare{"/", "/mnt/share"};
    const std::vector<std::string> withDisc{"/", "/media/cdrom0"};
    const std::vector<std::string> fstab{"/", "/home", "/media/cdrom0", "/mnt/share", "/mnt/Delade ritningar"};

    const Case cases[] = {
        {"removed stick, its mount folder gone", "/media/u/STICK/Rit", existing({"/media/u"}), rootOnly, fstab, true},
        {"stick at /media/<name>", "/media/STICK/Rit", existing({"/media"}), rootOnly, fstab, true},
        {"removed stick under /run/media", "/run/media/u/STICK/Rit", existing({"/run/media/u"}), rootOnly, fstab, true},
        {"same path spelled loosely", "/media/u//STICK/./Rit/", existing({"/media/u"}), rootOnly, fstab, true},
        {"stick there, folder deleted from it", "/media/u/STICK/gone", existing({"/media/u/STICK"}), withStick, fstab,
         false},
        {"stick there, folder on it", "/media/u/STICK/Rit", existing({"/media/u/STICK/Rit"}), withStick, fstab, false},
        {"share of the table not mounted, folder left", "/mnt/share/Rit", existing({"/mnt/share"}), rootOnly, fstab,
         true},
        {"... and its empty mount folder itself", "/mnt/share", existing({"/mnt/share"}), rootOnly, fstab, true},
        {"share with a blank in its name", "/mnt/Delade ritningar/Hus", existing({"/mnt/Delade ritningar"}), rootOnly,
         fstab, true},
        {"share mounted, folder deleted from it", "/mnt/share/gone", existing({"/mnt/share"}), withShare, fstab, false},
        {"disc drive of the table without a disc", "/media/cdrom0", existing({"/media/cdrom0"}), rootOnly, fstab, true},
        {"disc drive with a disc", "/media/cdrom0/Rit", existing({"/media/cdrom0/Rit"}), withDisc, fstab, false},
        {"share mounted by hand, gone", "/mnt/nas/Rit", existing({"/mnt"}), rootOnly, {}, true},
        {"plain folder at /mnt, there", "/mnt/data/Rit", existing({"/mnt/data/Rit"}), rootOnly, {}, false},
        {"folder deleted at home", "/home/u/Jobb/gone", existing({"/home/u"}), {"/", "/home"}, fstab, false},
        {"folder deleted at home on the root", "/home/u/Jobb/gone", existing({"/home/u"}), rootOnly, {}, false},
        {"mount table unknown", "/media/u/STICK/Rit", existing({"/media/u"}), {}, fstab, false},
        {"relative path", "media/u/STICK", existing({}), rootOnly, fstab, false},
        {"chroot, whose table has no root", "/mnt/nas/Rit", existing({"/mnt"}), {"/proc", "/tmp"}, {}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(liesOnUnmountedPlace(c.path, c.mounted, c.fstab, c.exists), c.unmounted) << c.what;
}

TEST(DeviceAvailable, DeletedFoldersStayAvailableUnreadableAndMissingMediaDoNot)
{
    const fs::path base = fs::temp_directory_path() / ("vendrel-device-" + std::to_string(::getpid()));
    fs::create_directories(base / "locked");
    const std::string missingShare = "/mnt/vendrel-no-such-share-" + std::to_string(::getpid()) + "/Ritningar";
    // A machine's table, and a chroot's, which has only the mounts made inside it.
    const std::string machine = "21 1 8:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
                                "22 21 0:5 / /proc rw - proc proc rw\n";
    const std::string chroot = "31 30 0:5 / /proc rw - proc proc rw\n"
                               "32 30 0:6 / /dev rw - devtmpfs udev rw\n"
                               "33 30 0:7 / /tmp rw - tmpfs tmpfs rw\n";
    for (const std::string& table : {machine, chroot}) {
        EXPECT_TRUE(isDeviceAvailableFromTables(base.string(), table, ""));
        EXPECT_TRUE(isDeviceAvailableFromTables((base / "deleted long ago" / "deeper").string(), table, ""));
        EXPECT_FALSE(isDeviceAvailableFromTables("", table, ""));
        // Whatever /mnt is, a folder inside it that is gone reads as a share that is not connected.
        EXPECT_FALSE(isDeviceAvailableFromTables(missingShare, table, "")) << table;
    }

    fs::permissions(base / "locked", fs::perms::none);
    if (::geteuid() != 0) // root reads every folder
    {
        EXPECT_FALSE(isDeviceAvailableFromTables((base / "locked" / "Rit").string(), machine, ""));
    }
    fs::permissions(base / "locked", fs::perms::owner_all);
    fs::remove_all(base);
}
