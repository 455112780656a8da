#pragma once

#include <string>

// Whether the device a path lies on can be reached: the deepest part of the path that exists can be read, and
// no medium or share that the path leads into is missing (on Linux told from the mount tables). False for a
// removed medium, a drive without its disc or a network share that is not connected; true for a folder that
// was deleted from a device that is still there.
bool isDeviceAvailable(const std::string& path);
