#pragma once

#include <string>
#include <string_view>

// Whether the device a path lies on can be reached: the deepest part of the path that exists can be read, and
// no medium or share that the path leads into is missing (on Linux told from the mount tables). False for a
// removed medium, a drive without its disc or a network share that is not connected; true for a folder that
// was deleted from a device that is still there.
bool isDeviceAvailable(const std::string& path);

// The same, told from the mount tables given as text (/proc/self/mountinfo, /etc/fstab) where the system has
// them; on Windows the tables are not asked.
bool isDeviceAvailableFromTables(const std::string& path, std::string_view mountInfo, std::string_view fstab);
