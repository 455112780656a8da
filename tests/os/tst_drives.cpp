// Drives from the kernel's mount table, and the reading of subfolders.
#include "os/drives.h"
#include "os/folders.h"
#include "os/mountinfo.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class TempFolder
{
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "vendrel-drives-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code error;
        if (!m_path.empty())
            fs::remove_all(m_path, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& path() const { return m_path; }
    std::string make(const std::string& relative) const
    {
        fs::create_directories(m_path / relative);
        return (m_path / relative).string();
    }
    void write(const std::string& relative, const std::string& text) const
    {
        fs::create_directories((m_path / relative).parent_path());
        std::ofstream(m_path / relative) << text;
    }

private:
    fs::path m_path;
};

std::string line(const std::string& point, const std::string& type, const std::string& source,
                 const std::string& optional = "shared:1")
{
    static int id = 100;
    ++id;
    return std::to_string(id) + " 1 0:" + std::to_string(id) + " / " + point + " rw,relatime " + optional + " - " +
           type + " " + source + " rw\n";
}

std::vector<std::string> folders(const std::vector<Drive>& drives)
{
    std::vector<std::string> out;
    for (const Drive& d : drives)
        out.push_back(d.folder);
    return out;
}

const Drive* find(const std::vector<Drive>& drives, const std::string& folder)
{
    const auto it = std::find_if(drives.begin(), drives.end(), [&](const Drive& d) { return d.folder == folder; });
    return it == drives.end() ? nullptr : &*it;
}

} // namespace

TEST(MountInfo, ParsesFieldsAroundOptionalTagsAndDecodesEscapes)
{
    const auto entries = parseMountInfo("36 35 98:0 /mnt1 /mnt/my\\040plans\\134x rw,noatime master:1 shared:7 - ext3 "
                                        "/dev/root rw,errors=continue\n"
                                        "garbage line\n"
                                        "37 35 0:5 / /no-tags rw - tmpfs tmpfs rw\n"
                                        "38 35 0:5 / /cut rw -\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (MountInfoEntry{"98:0", "/mnt1", "/mnt/my plans\\x", "ext3", "/dev/root"}));
    EXPECT_EQ(entries[1].mountPoint, "/no-tags");
    EXPECT_EQ(entries[1].fsType, "tmpfs");
    EXPECT_EQ(decodeMountField("a\\011b\\012c\\377"), std::string("a\tb\nc\xff"));
    EXPECT_EQ(decodeMountField("trailing\\04"), "trailing\\04");
}

TEST(MountInfo, ClassifiesByTypeAndDevice)
{
    struct Case
    {
        MountInfoEntry mount;
        bool removableFlag;
        int type;
    };
    const Case cases[] = {
        {{"", "/", "/home", "ext4", "/dev/sda2"}, false, DriveType::Fixed},
        {{"", "/", "/", "overlay", "overlay"}, false, DriveType::Fixed},
        {{"", "/", "/pool", "zfs", "rpool/data"}, false, DriveType::Fixed},
        {{"", "/", "/mnt/usb", "vfat", "/dev/sdb1"}, true, DriveType::Removable},
        {{"", "/", "/media/anna/STICK", "exfat", "/dev/sdc1"}, false, DriveType::Removable},
        {{"", "/", "/run/media/anna/CARD", "vfat", "/dev/mmcblk0p1"}, false, DriveType::Removable},
        {{"", "/", "/mnt/nas", "nfs4", "nas:/export/plans"}, false, DriveType::Remote},
        {{"", "/", "/mnt/win", "cifs", "//server/share"}, false, DriveType::Remote},
        {{"", "/", "/mnt/ssh", "fuse.sshfs", "anna@host:/srv"}, false, DriveType::Remote},
        {{"", "/", "/mnt/vm", "9p", "hostshare"}, false, DriveType::Remote},
        {{"", "/", "/media/cdrom", "iso9660", "/dev/sr0"}, true, DriveType::CdRom},
        {{"", "/", "/mnt/dvd", "auto", "/dev/sr1"}, false, DriveType::CdRom},
        {{"", "/", "/mnt/bd", "udf", "/dev/loop3"}, false, DriveType::CdRom},
        {{"", "/", "/tmp", "tmpfs", "tmpfs"}, false, DriveType::RamDisk},
        {{"", "/", "/mnt/ram", "ramfs", "none"}, false, DriveType::RamDisk},
        {{"", "/", "/mnt/odd", "fuse.something", "thing"}, false, DriveType::Unknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(classifyMount(c.mount, c.removableFlag), c.type) << c.mount.mountPoint;
}

TEST(MountInfo, LeavesOutWhatHoldsNoUserFiles)
{
    const auto userMount = [](std::string point, std::string type) {
        return isUserMount({"", "/", std::move(point), std::move(type), "x"});
    };
    for (const char* pseudo : {"proc", "sysfs", "cgroup", "cgroup2", "devpts", "tracefs", "securityfs", "bpf", "mqueue",
                               "configfs", "fusectl", "binfmt_misc", "debugfs", "pstore", "hugetlbfs", "autofs",
                               "devtmpfs", "efivarfs", "nsfs", "rpc_pipefs"})
        EXPECT_FALSE(userMount("/mnt/x", pseudo)) << pseudo;
    EXPECT_TRUE(userMount("/", "overlay"));
    EXPECT_FALSE(userMount("/var/lib/docker/overlay2/abc/merged", "overlay"));
    EXPECT_FALSE(userMount("/snap/core22/1033", "squashfs"));
    EXPECT_TRUE(userMount("/opt/image", "squashfs"));
    EXPECT_FALSE(userMount("/dev/shm", "tmpfs"));
    EXPECT_FALSE(userMount("/sys/fs/cgroup", "tmpfs"));
    EXPECT_FALSE(userMount("/run/user/1000", "tmpfs"));
    EXPECT_TRUE(userMount("/run/media/anna/STICK", "vfat"));
    EXPECT_TRUE(userMount("/running", "ext4"));
    EXPECT_FALSE(userMount("/" + std::string(PATH_MAX, 'x'), "ext4"));
}

TEST(MountInfo, BuildsDrivesInMountPointOrderWithLabelsAndShares)
{
    TempFolder tmp;
    ASSERT_FALSE(tmp.path().empty());
    const std::string data = tmp.make("mnt/data");
    const std::string stick = tmp.make("mnt/stick");
    const std::string spaced = tmp.make("mnt/my plans");
    const std::string stacked = tmp.make("mnt/stacked");
    tmp.write("mnt/afile", "not a folder");
    // Device nodes and the system's by-label links and removable flags, laid out as the kernel does.
    tmp.write("dev/sda1", "");
    tmp.write("dev/sdb1", "");
    tmp.write("sys/devices/sdb/removable", "1\n");
    tmp.write("sys/devices/sda/removable", "0\n");
    fs::create_directories(tmp.path() / "sys/devices/sdb/sdb1");
    fs::create_directories(tmp.path() / "sys/devices/sda/sda1");
    fs::create_directories(tmp.path() / "sys/class/block");
    fs::create_directory_symlink("../../devices/sdb/sdb1", tmp.path() / "sys/class/block/sdb1");
    fs::create_directory_symlink("../../devices/sda/sda1", tmp.path() / "sys/class/block/sda1");
    fs::create_directories(tmp.path() / "by-label");
    fs::create_symlink(tmp.path() / "dev/sda1", tmp.path() / "by-label/DATA\\x20DISK");
    fs::create_symlink(tmp.path() / "dev/sdb1", tmp.path() / "by-label/STICK");
    const BlockDeviceProbe probe{(tmp.path() / "sys/class/block").string(), (tmp.path() / "by-label").string()};

    std::string spacedEscaped = spaced;
    spacedEscaped.replace(spacedEscaped.find(' '), 1, "\\040");
    const std::string table = line("/proc", "proc", "proc") + line("/", "overlay", "overlay") +
                              line(stick, "vfat", tmp.path().string() + "/dev/sdb1") +
                              line(data, "ext4", tmp.path().string() + "/dev/sda1") +
                              line(tmp.path().string() + "/mnt/nas", "nfs4", "nas:/export/plans") +
                              line(spacedEscaped, "ext4", "/dev/sdz9") + line(stacked, "ext4", "/dev/sdy1") +
                              line(stacked, "tmpfs", "tmpfs") + line(tmp.path().string() + "/mnt/afile", "ext4", "/dev/sdx1") +
                              line(tmp.path().string() + "/mnt/gone", "ext4", "/dev/sdw1") +
                              line("/sys/fs/cgroup", "tmpfs", "tmpfs") + line("/dev/shm", "tmpfs", "tmpfs");

    const std::vector<Drive> drives = drivesFromMountInfo(table, probe);

    const std::string nas = tmp.path().string() + "/mnt/nas";
    EXPECT_EQ(folders(drives), (std::vector<std::string>{"/", data, spaced, nas, stacked, stick}));
    ASSERT_EQ(drives.size(), 6u);
    EXPECT_EQ(drives[0], (Drive{"/", "/", DriveType::Fixed}));
    EXPECT_EQ(*find(drives, data), (Drive{data + " [DATA DISK]", data, DriveType::Fixed}));
    EXPECT_EQ(*find(drives, stick), (Drive{stick + " [STICK]", stick, DriveType::Removable}));
    // The network mount point is not looked at: the folder need not even exist.
    EXPECT_EQ(*find(drives, nas), (Drive{nas + " [nas:/export/plans]", nas, DriveType::Remote}));
    EXPECT_EQ(find(drives, spaced)->entry, spaced);
    EXPECT_EQ(find(drives, stacked)->type, DriveType::RamDisk);
}

TEST(MountInfo, TheRootIsTheFirstDriveEvenWhereTheTableLacksIt)
{
    // A chroot's table: the mounts made inside it, none on its root.
    const std::vector<Drive> drives =
        drivesFromMountInfo(line("/proc", "proc", "proc") + line("/tmp", "tmpfs", "tmpfs"), BlockDeviceProbe{"", ""});
    EXPECT_EQ(folders(drives), (std::vector<std::string>{"/", "/tmp"}));
    EXPECT_EQ(drives.front(), (Drive{"/", "/", DriveType::Fixed}));
    // A table that could not be read.
    EXPECT_EQ(drivesFromMountInfo("", BlockDeviceProbe{"", ""}), (std::vector<Drive>{{"/", "/", DriveType::Fixed}}));
}

TEST(Drives, ReadsOnceUntilToldToReadAgain)
{
    int reads = 0;
    Drives drives([&] {
        ++reads;
        return std::vector<Drive>{{"/ " + std::to_string(reads), "/", DriveType::Fixed}};
    });
    EXPECT_EQ(drives.list().front().entry, "/ 1");
    EXPECT_EQ(drives.list().front().entry, "/ 1");
    drives.reread();
    EXPECT_EQ(drives.list().front().entry, "/ 2");
    EXPECT_EQ(reads, 2);
}

TEST(Drives, ThisSystemHasItsRoot)
{
    const std::vector<Drive> drives = readSystemDrives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives.front().folder, "/");
    EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end(),
                               [](const Drive& a, const Drive& b) { return a.folder < b.folder; }));
}

TEST(Folders, ListsSubfoldersAndLinkedFoldersButNotFilesOrHiddenFolders)
{
    TempFolder tmp;
    ASSERT_FALSE(tmp.path().empty());
    const std::string root = tmp.make("root");
    tmp.make("root/Beta");
    tmp.make("root/alpha");
    tmp.make("root/.hidden");
    tmp.make("root/line\nbreak");
    tmp.make("root/bad\xff\xfe");
    tmp.write("root/file.dwg", "x");
    fs::create_directory_symlink(root, tmp.path() / "root/up");   // to an ancestor
    fs::create_symlink(tmp.path() / "nowhere", tmp.path() / "root/dangling");

    auto names = readSubfolderNames(root);
    ASSERT_TRUE(names.has_value());
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"Beta", "alpha", "bad\xff\xfe", "line\nbreak", "up"}));

    EXPECT_EQ(readSubfolderNames(root + "/alpha"), std::optional(std::vector<std::string>{}));
    EXPECT_FALSE(readSubfolderNames(root + "/missing").has_value());
    EXPECT_FALSE(readSubfolderNames(root + "/file.dwg").has_value());
}

TEST(Folders, JoinsWithOneSeparator)
{
    EXPECT_EQ(joinFolder("/", "usr"), "/usr");
    EXPECT_EQ(joinFolder("/home/anna", "Plans"), "/home/anna/Plans");
    EXPECT_EQ(joinFolder("/home/anna/", "Plans"), "/home/anna/Plans");
}
