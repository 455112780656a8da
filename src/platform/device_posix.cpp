#include "device.h"

#include <dirent.h>
#include <sys/stat.h>

bool isDeviceAvailable(const std::string& path)
{
    if (path.empty())
        return false;
    std::string existing = path;
    struct stat info {};
    while (::stat(existing.c_str(), &info) != 0) {
        const size_t slash = existing.find_last_of('/');
        if (slash == std::string::npos)
            return false;
        existing.erase(slash == 0 ? 1 : slash);
        if (existing == "/" && ::stat("/", &info) != 0)
            return false;
    }
    if (!S_ISDIR(info.st_mode))
        return true; // a file where a folder was: the device is there
    DIR* dir = ::opendir(existing.c_str());
    if (!dir)
        return false;
    ::closedir(dir);
    return true;
}
