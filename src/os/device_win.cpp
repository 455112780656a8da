#include "os/device.h"

#include <windows.h>

bool isDeviceAvailable(const std::string& path)
{
    // The root of the path's drive (or share) answers for the device.
    if (path.size() < 2)
        return false;
    std::string root;
    if (path[1] == ':') {
        root = path.substr(0, 2) + "\\";
    } else if (path.rfind("\\\\", 0) == 0) {
        const size_t server = path.find('\\', 2);
        const size_t share = server == std::string::npos ? std::string::npos : path.find('\\', server + 1);
        root = (share == std::string::npos ? path : path.substr(0, share)) + "\\";
    } else {
        return false;
    }
    const DWORD attributes = GetFileAttributesA(root.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isDeviceAvailableFromTables(const std::string& path, std::string_view, std::string_view)
{
    return isDeviceAvailable(path);
}
