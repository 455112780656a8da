#include "os/drives.h"
#include "os/mountinfo.h"

#include <fstream>
#include <iterator>

std::vector<Drive> readSystemDrives()
{
    // The per-process table: it shows the mounts of this process's namespace, as a file manager sees them.
    std::ifstream in("/proc/self/mountinfo", std::ios::binary);
    if (!in)
        return drivesFromMountInfo({}); // the root alone
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return drivesFromMountInfo(text);
}
