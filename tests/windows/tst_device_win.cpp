// Whether a saved folder's device is still there, asked of the Windows drives themselves.
#include "device.h"
#include "winsupport.h"

#include <gtest/gtest.h>

#include <string>

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

} // namespace
