#include "os/device.h"
#include "os/mountinfo.h"

#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

// The whole text of a table file; empty when it cannot be read.
std::string readTable(const char* file)
{
    std::ifstream in(file);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    return text.str();
}

std::vector<std::string> mountPoints(std::string_view mountInfo)
{
    std::vector<std::string> points;
    for (MountInfoEntry& entry : parseMountInfo(mountInfo))
        points.push_back(std::move(entry.mountPoint));
    return points;
}

bool exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

bool isDeviceAvailable(const std::string& path)
{
    return isDeviceAvailableFromTables(path, readTable("/proc/self/mountinfo"), readTable("/etc/fstab"));
}

bool isDeviceAvailableFromTables(const std::string& path, std::string_view mountInfo, std::string_view fstab)
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
    if (S_ISDIR(info.st_mode)) {
        DIR* dir = ::opendir(existing.c_str());
        if (!dir)
            return false;
        ::closedir(dir);
    }
    // A missing folder on a device that is there is only a deleted folder: available. The walk above cannot
    // tell it from a removed medium, whose folder is gone too; the mount tables can.
    return !liesOnUnmountedPlace(path, mountPoints(mountInfo), parseFstabMountPoints(fstab), exists);
}
