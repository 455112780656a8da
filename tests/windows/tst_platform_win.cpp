// The drives, their folders and whether a saved folder's device is still there, asked of Windows itself.
#include "os/device.h"
#include "os/drives.h"
#include "os/folders.h"
#include "os/pathtext.h"
#include "winsupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// A drive letter this machine does not have.
std::string missingDrive()
{
    const DWORD drives = GetLogicalDrives();
    for (int i = 25; i >= 3; --i) {
        if (!(drives & (1u << i)))
            return std::string(1, char('A' + i)) + ":";
    }
    return {};
}

TEST(DeviceAvailable, AnswersForTheDriveNotTheFolder)
{
    wintest::TemporaryFolder folder;
    const std::string drive = folder.path().substr(0, 2);

    EXPECT_TRUE(isDeviceAvailable(folder.path()));
    EXPECT_TRUE(isDeviceAvailable(drive));
    EXPECT_TRUE(isDeviceAvailable(folder.file("deleted long ago\\deeper")));
    std::string forwardSlashes = folder.path();
    for (char& c : forwardSlashes) {
        if (c == '\\')
            c = '/';
    }
    EXPECT_TRUE(isDeviceAvailable(forwardSlashes)); // as a file dialog may give it

    const std::string missing = missingDrive();
    ASSERT_FALSE(missing.empty());
    EXPECT_FALSE(isDeviceAvailable(missing + "\\Ritningar"));
    EXPECT_FALSE(isDeviceAvailable(missing));
}

TEST(DeviceAvailable, PathsWithoutADriveAreNotAvailable)
{
    for (const char* path : {"", "x", "Ritningar\\Hus", "\\\\vendrel-no-such-server\\share\\folder"})
        EXPECT_FALSE(isDeviceAvailable(path)) << path;
}

TEST(SystemDrives, LogicalDrivesInLetterOrderWithTheirTypes)
{
    const std::vector<Drive> drives = readSystemDrives();
    ASSERT_FALSE(drives.empty());
    std::string letters;
    for (const Drive& drive : drives) {
        ASSERT_EQ(drive.folder.size(), 2u) << drive.folder;
        EXPECT_TRUE(drive.folder[0] >= 'a' && drive.folder[0] <= 'z') << drive.folder;
        EXPECT_EQ(drive.folder[1], ':');
        EXPECT_EQ(drive.entry.compare(0, 2, drive.folder), 0) << drive.entry;
        EXPECT_EQ(drive.type, int(GetDriveTypeA(drive.folder.c_str()))) << drive.folder;
        letters += drive.folder[0];
    }
    EXPECT_TRUE(std::is_sorted(letters.begin(), letters.end())) << letters;

    // The system drive, with its volume label in brackets when it has one.
    const auto system = std::find_if(drives.begin(), drives.end(), [](const Drive& d) { return d.folder == "c:"; });
    ASSERT_NE(system, drives.end());
    EXPECT_EQ(system->type, DriveType::Fixed);
    char label[MAX_PATH + 1] = {};
    ASSERT_TRUE(GetVolumeInformationA("c:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(system->entry, label[0] ? "c: [" + std::string(label) + "]" : std::string("c:"));
}

TEST(Subfolders, VisibleFoldersOnlyAndDriveRoots)
{
    wintest::TemporaryFolder folder;
    for (const char* name : {"Beta", "alpha", "Hidden", "System", ".git", "Empty"})
        ASSERT_TRUE(CreateDirectoryA(folder.file(name).c_str(), nullptr)) << name;
    ASSERT_TRUE(SetFileAttributesA(folder.file("Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesA(folder.file("System").c_str(), FILE_ATTRIBUTE_SYSTEM));
    wintest::writeFile(folder.file("plan.dwg"), "x");

    auto names = readSubfolderNames(folder.path());
    ASSERT_TRUE(names.has_value());
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"Beta", "Empty", "alpha"}));

    EXPECT_EQ(readSubfolderNames(folder.file("Empty")), std::optional(std::vector<std::string>{}));
    EXPECT_FALSE(readSubfolderNames(folder.file("missing")).has_value());
    EXPECT_FALSE(readSubfolderNames(folder.file("plan.dwg")).has_value());

    // A drive row's folder is the letter and ":" alone.
    const auto root = readSubfolderNames("c:");
    ASSERT_TRUE(root.has_value());
    EXPECT_NE(std::find_if(root->begin(), root->end(), [](const std::string& n) { return _stricmp(n.c_str(), "windows") == 0; }),
              root->end());
    EXPECT_EQ(joinFolder("c:", "Ritningar"), "c:\\Ritningar");
    EXPECT_EQ(joinFolder("c:\\", "Ritningar"), "c:\\Ritningar");
}

// A path in the ANSI code page reads as the user wrote it in a message, which is UTF-8 throughout.
TEST(PathText, ConvertsTheAnsiCodePageToUtf8)
{
    const std::wstring wide = L"C:\\Mina ritningar\\K\u00e5k \u00c4\u00d6.dwg";
    char ansi[64] = {};
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi, nullptr, &lossy);
    ASSERT_GT(size, 0);
    if (lossy)
        GTEST_SKIP() << "this code page cannot hold \u00e5, \u00c4 and \u00d6";
    EXPECT_EQ(pathText(ansi), "C:\\Mina ritningar\\K\xC3\xA5k \xC3\x84\xC3\x96.dwg");
    EXPECT_EQ(pathText(""), "");
}

} // namespace

