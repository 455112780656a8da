#pragma once

#include <string>

// Whether the device a path lies on can be reached: the deepest part of the path that exists can be
// read. False for a removed medium or a network share that is gone; true for a folder that was deleted
// from a device that is still there.
bool isDeviceAvailable(const std::string& path);
