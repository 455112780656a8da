// The drives, their folders and whether a saved folder's device is still there, asked of Windows itself.
#include "os/device.h"
#include "os/drives.h"
#include "os/filelisting.h"
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

// --- what a user's file system may hold that the ANSI calls cannot take: never a crash, a clear answer

namespace {

std::wstring wide(const std::string& ansi)
{
    std::wstring text(ansi.size(), L'\0');
    text.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

// A name outside the ANSI code page comes as the code page can say it: '?' for what it lacks. Such a drawing is
// listed, and its folder opens, but the name leads nowhere (as in the program this one replaces).
TEST(BadNames, NamesOutsideTheAnsiCodePageComeWithQuestionMarks)
{
    wintest::TemporaryFolder folder;
    const std::wstring base = wide(folder.path());
    HANDLE file = CreateFileW((base + L"\\plan \u4e2d.dwg").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    ASSERT_TRUE(CreateDirectoryW((base + L"\\mapp \u4e2d").c_str(), nullptr));

    const auto files = listFolderFiles(folder.path(), [](std::string_view) { return true; });
    ASSERT_TRUE(files);
    ASSERT_EQ(files->size(), 1u);
    EXPECT_EQ(files->front().name, "plan ?.dwg");
    const auto folders = readSubfolderNames(folder.path());
    ASSERT_TRUE(folders);
    EXPECT_EQ(*folders, std::vector<std::string>{"mapp ?"});
    EXPECT_FALSE(listFolderFiles(folder.file("mapp ?"), [](std::string_view) { return true; }));
}

// A folder deeper than MAX_PATH (made through the wide calls) cannot be opened through the ANSI calls of a program
// that does not declare itself long-path aware: it opens empty, as an unreadable folder does; its parents within
// MAX_PATH list as usual.
TEST(BadNames, FoldersDeeperThanMaxPath)
{
    wintest::TemporaryFolder folder;
    std::string deep = folder.path();
    const std::string step(60, 'r');
    while (deep.size() <= MAX_PATH + 20) {
        deep += "\\" + step;
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + wide(deep)).c_str(), nullptr)) << deep.size();
    }
    HANDLE file = CreateFileW((L"\\\\?\\" + wide(deep) + L"\\K01.dwg").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);

    EXPECT_FALSE(listFolderFiles(deep, [](std::string_view) { return true; }));
    EXPECT_FALSE(readSubfolderNames(deep));
    EXPECT_EQ(readSubfolderNames(folder.path()), std::vector<std::string>{step});
    // The wide calls take the folders away again; the temporary folder's removal uses the ANSI ones.
    while (deep.size() > folder.path().size()) {
        DeleteFileW((L"\\\\?\\" + wide(deep) + L"\\K01.dwg").c_str());
        RemoveDirectoryW((L"\\\\?\\" + wide(deep)).c_str());
        deep.erase(deep.rfind('\\'));
    }
}

// A share on a server that is not there: nothing to list, nothing to open, no wait worth the name.
TEST(BadNames, AShareOfNoServer)
{
    const std::string share = "\\\\vendrel-no-such-server\\share";
    EXPECT_FALSE(listFolderFiles(share, [](std::string_view) { return true; }));
    EXPECT_FALSE(readSubfolderNames(share + "\\Ritningar"));
}
