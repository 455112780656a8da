// Feeds arbitrary bytes to the readers of the mount tables and to the rule built on them, and checks what must
// hold for any input.

#include "os/drives.h"
#include "os/mountinfo.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string_view nextPart(std::string_view& rest)
{
    const auto end = rest.find('\0');
    const std::string_view part = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    return part;
}

} // namespace

// Input: a /proc/self/mountinfo text, a NUL, an /etc/fstab text, a NUL, a path.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view mountInfo = nextPart(rest);
    const std::string_view fstab = nextPart(rest);
    const std::string_view path = rest;

    std::vector<std::string> mounted;
    for (const MountInfoEntry& entry : parseMountInfo(mountInfo)) {
        classifyMount(entry, false);
        isUserMount(entry);
        mounted.push_back(entry.mountPoint);
    }

    // Block devices and labels are looked for where there are none: the drives come from the text alone.
    const std::vector<Drive> drives = drivesFromMountInfo(mountInfo, BlockDeviceProbe{"/nonexistent", "/nonexistent"});
    check(!drives.empty() && drives.front().folder == "/");
    check(std::is_sorted(drives.begin(), drives.end(),
                         [](const Drive& a, const Drive& b) { return a.folder < b.folder; }));

    const std::vector<std::string> points = parseFstabMountPoints(fstab);
    for (const std::string& point : points) {
        check(point.starts_with('/') && point.size() < PATH_MAX);
        check(point == "/" || (point.back() != '/' && point.find("//") == std::string::npos));
    }

    // A file-system picture: what is mounted or named by the table is there, and the root.
    const auto exists = [&](const std::string& candidate) {
        return candidate == "/" || std::find(mounted.begin(), mounted.end(), candidate) != mounted.end() ||
               std::find(points.begin(), points.end(), candidate) != points.end();
    };
    liesOnUnmountedPlace(path, mounted, points, exists);
    return 0;
}
