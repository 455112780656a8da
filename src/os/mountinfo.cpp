#include "os/mountinfo.h"

#include "os/drives.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <climits>
#include <fstream>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace {

using namespace std::string_view_literals;

// File systems that hold no user files: the kernel's views and interfaces.
constexpr std::array pseudoTypes{
    "proc"sv,     "sysfs"sv,     "cgroup"sv,      "cgroup2"sv,   "devpts"sv,     "tracefs"sv,    "securityfs"sv,
    "bpf"sv,      "mqueue"sv,    "configfs"sv,    "fusectl"sv,   "binfmt_misc"sv, "debugfs"sv,   "pstore"sv,
    "hugetlbfs"sv, "autofs"sv,   "devtmpfs"sv,    "efivarfs"sv,  "nsfs"sv,       "rpc_pipefs"sv, "selinuxfs"sv,
    "nfsd"sv,     "sunrpc"sv,    "fuse.lxcfs"sv,  "fuse.portal"sv, "fuse.gvfsd-fuse"sv,
};

// Trees of the system that no user keeps drawings in; a mount inside them is not a drive.
constexpr std::array systemTrees{"/proc"sv, "/sys"sv, "/dev"sv, "/run"sv};
// ... except where desktops mount removable media.
constexpr std::array mediaTrees{"/media"sv, "/run/media"sv};

constexpr std::array networkTypes{
    "nfs"sv,          "nfs4"sv,           "cifs"sv,        "smb3"sv,           "smbfs"sv,       "ncpfs"sv,
    "afs"sv,          "ceph"sv,           "9p"sv,          "davfs"sv,          "fuse.sshfs"sv,  "fuse.rclone"sv,
    "fuse.s3fs"sv,    "fuse.curlftpfs"sv, "fuse.glusterfs"sv, "fuse.davfs2"sv, "fuse.cephfs"sv, "fuse.smbnetfs"sv,
    "glusterfs"sv,    "lustre"sv,         "fuse.gcsfuse"sv, "fuse.goofys"sv,   "fuse.juicefs"sv,
};

constexpr std::array opticalTypes{"iso9660"sv, "udf"sv};
constexpr std::array ramTypes{"tmpfs"sv, "ramfs"sv};

// Disk file systems that are not always mounted from a /dev node (pools, container roots).
constexpr std::array localTypes{"zfs"sv, "btrfs"sv, "overlay"sv, "fuse.ntfs-3g"sv, "ntfs3"sv, "fuseblk"sv};

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& list, std::string_view value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

// path lies at or below tree
bool isWithin(std::string_view path, std::string_view tree)
{
    if (tree == "/")
        return path.starts_with('/');
    return path.starts_with(tree) && (path.size() == tree.size() || path[tree.size()] == '/');
}

template <std::size_t N>
bool isWithinAny(std::string_view path, const std::array<std::string_view, N>& trees)
{
    return std::any_of(trees.begin(), trees.end(), [path](std::string_view tree) { return isWithin(path, tree); });
}

std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size())
    {
        const std::size_t start = line.find_first_not_of(' ', pos);
        if (start == std::string_view::npos)
            break;
        std::size_t end = line.find(' ', start);
        if (end == std::string_view::npos)
            end = line.size();
        fields.push_back(line.substr(start, end - start));
        pos = end;
    }
    return fields;
}

// udev writes unsafe bytes of a label as \xNN.
std::string decodeLabelName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i)
    {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(name[i + 3])))
        {
            out.push_back(static_cast<char>(std::stoi(std::string(name.substr(i + 2, 2)), nullptr, 16)));
            i += 3;
        }
        else
        {
            out.push_back(name[i]);
        }
    }
    return out;
}

std::string canonicalOrSelf(const fs::path& path)
{
    std::error_code error;
    fs::path resolved = fs::canonical(path, error);
    return error ? path.string() : resolved.string();
}

// Device node -> volume label, from the system's by-label links.
std::map<std::string, std::string> readLabels(const std::string& byLabel)
{
    std::map<std::string, std::string> labels;
    std::error_code error;
    for (fs::directory_iterator it(byLabel, error), end; !error && it != end; it.increment(error))
        labels[canonicalOrSelf(it->path())] = decodeLabelName(it->path().filename().string());
    return labels;
}

bool readsOne(const fs::path& file)
{
    std::ifstream in(file);
    char c = 0;
    return in.get(c) && c == '1';
}

// The kernel's removable flag sits on the whole disk; a partition's folder lies inside the disk's.
bool isRemovableDevice(const std::string& source, const BlockDeviceProbe& probe)
{
    if (!source.starts_with('/'))
        return false;
    const std::string name = fs::path(canonicalOrSelf(source)).filename().string();
    if (name.empty())
        return false;
    std::error_code error;
    const fs::path device = fs::canonical(fs::path(probe.sysClassBlock) / name, error);
    if (error)
        return false;
    if (fs::exists(device / "removable", error))
        return readsOne(device / "removable");
    return readsOne(device.parent_path() / "removable");
}

bool isFolder(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

// The path without ".", "..", doubled or trailing slashes; empty when it is not absolute or longer than any
// path the system takes (so no table line costs more than a bounded amount of work).
std::string normalisedAbsolute(std::string_view path)
{
    if (!path.starts_with('/') || path.size() >= PATH_MAX)
        return {};
    std::string out = fs::path(path).lexically_normal().generic_string();
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

std::string parentFolder(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

// Where desktops put removable media (/media/<name>, /media/<user>/<name>, /run/media/<user>/<name>) and
// administrators mount shares by hand (/mnt/<name>), as far as the path reaches into them.
std::vector<std::string> usualMountPlaces(const std::string& path)
{
    std::vector<std::string> places;
    std::vector<std::size_t> ends; // where the first, second, ... component of the path ends
    for (std::size_t pos = 1; pos <= path.size(); ++pos)
    {
        if (pos == path.size() || path[pos] == '/')
            ends.push_back(pos);
    }
    const auto first = [&](std::size_t count) { return path.substr(0, ends[count - 1]); };
    const auto component = [&](std::size_t index) {
        const std::size_t begin = index == 0 ? 1 : ends[index - 1] + 1;
        return std::string_view(path).substr(begin, ends[index] - begin);
    };
    if (ends.size() >= 2 && component(0) == "media")
    {
        places.push_back(first(2));
        if (ends.size() >= 3)
            places.push_back(first(3));
    }
    if (ends.size() >= 4 && component(0) == "run" && component(1) == "media")
        places.push_back(first(4));
    if (ends.size() >= 2 && component(0) == "mnt")
        places.push_back(first(2));
    return places;
}

} // namespace

std::string decodeMountField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i)
    {
        const auto isOctal = [&](std::size_t k) { return k < field.size() && field[k] >= '0' && field[k] <= '7'; };
        if (field[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3))
        {
            const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            out.push_back(static_cast<char>(value & 0xff));
            i += 3;
        }
        else
        {
            out.push_back(field[i]);
        }
    }
    return out;
}

std::vector<MountInfoEntry> parseMountInfo(std::string_view text)
{
    std::vector<MountInfoEntry> entries;
    while (!text.empty())
    {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

        // id parent major:minor root mount-point options [optional fields...] - type source super-options
        const std::vector<std::string_view> fields = splitFields(line);
        const auto separator = std::find(fields.begin(), fields.end(), "-"sv);
        if (fields.size() < 6 || separator - fields.begin() < 6 || fields.end() - separator < 3)
            continue;
        entries.push_back({std::string(fields[2]), decodeMountField(fields[3]), decodeMountField(fields[4]),
                           decodeMountField(separator[1]), decodeMountField(separator[2])});
    }
    return entries;
}

bool isUserMount(const MountInfoEntry& mount)
{
    const std::string_view point = mount.mountPoint;
    if (point == "/")
        return true; // whatever it is made of, it holds the system and the users' folders
    if (!point.starts_with('/') || point.size() >= PATH_MAX || contains(pseudoTypes, mount.fsType))
        return false; // a point no path reaches cannot be opened
    if (isWithinAny(point, systemTrees) && !isWithinAny(point, mediaTrees))
        return false;
    if (mount.fsType == "squashfs" && isWithin(point, "/snap"))
        return false;
    if (mount.fsType == "overlay")
        return false; // container layers of an engine, never a place a user opens
    return true;
}

int classifyMount(const MountInfoEntry& mount, bool removableDevice)
{
    const std::string_view type = mount.fsType;
    if (contains(networkTypes, type))
        return DriveType::Remote;
    if (contains(opticalTypes, type) || mount.source.starts_with("/dev/sr"))
        return DriveType::CdRom;
    if (contains(ramTypes, type))
        return DriveType::RamDisk;
    if (removableDevice || isWithinAny(std::string_view(mount.mountPoint), mediaTrees))
        return DriveType::Removable;
    if (mount.source.starts_with('/') || contains(localTypes, type) || mount.mountPoint == "/")
        return DriveType::Fixed;
    return DriveType::Unknown;
}

std::vector<Drive> drivesFromMountInfo(std::string_view mountInfoText, const BlockDeviceProbe& probe)
{
    // Several mounts on one point: the last one covers the others.
    std::map<std::string, MountInfoEntry> byPoint;
    for (MountInfoEntry& mount : parseMountInfo(mountInfoText))
    {
        if (isUserMount(mount))
            byPoint.insert_or_assign(mount.mountPoint, std::move(mount));
        else
            byPoint.erase(mount.mountPoint);
    }

    const std::map<std::string, std::string> labels = readLabels(probe.byLabel);
    std::vector<Drive> drives;
    // The root holds the system and every user's folders: it is the first drive even where the table has no
    // entry for it (a chroot, some sandboxes) or could not be read at all.
    if (!byPoint.contains("/"))
        drives.push_back({"/", "/", DriveType::Fixed});
    for (const auto& [point, mount] : byPoint) // std::map keeps mount-point order
    {
        const bool removable = isRemovableDevice(mount.source, probe);
        const int type = classifyMount(mount, removable);
        // A network mount point is not stat-ed: an unreachable server would hang the reading of the drives.
        if (type != DriveType::Remote && !isFolder(point))
            continue;
        std::string entry = point;
        if (type == DriveType::Remote)
        {
            entry += " [" + mount.source + "]";
        }
        else if (mount.source.starts_with('/'))
        {
            const auto label = labels.find(canonicalOrSelf(mount.source));
            if (label != labels.end() && !label->second.empty())
                entry += " [" + label->second + "]";
        }
        drives.push_back({std::move(entry), point, type});
    }
    return drives;
}

std::vector<std::string> parseFstabMountPoints(std::string_view text)
{
    std::vector<std::string> points;
    while (!text.empty())
    {
        const std::size_t end = text.find('\n');
        std::string line(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

        // device mount-point type options [dump [pass]], blanks and tabs between; a blank inside a field is \040
        std::replace(line.begin(), line.end(), '\t', ' ');
        const std::vector<std::string_view> fields = splitFields(line);
        if (fields.size() < 2 || fields[0].starts_with('#'))
            continue;
        if (fields.size() >= 3 && fields[2] == "swap")
            continue;
        // An escape is four bytes for one: a field longer than that for PATH_MAX bytes is no mount point.
        if (fields[1].size() >= 4 * std::size_t{PATH_MAX})
            continue;
        const std::string point = normalisedAbsolute(decodeMountField(fields[1]));
        if (!point.empty()) // "none", "swap" and garbage are not folders
            points.push_back(point);
    }
    return points;
}

// A file system is missing when the path reaches into a place where one would be mounted, and the deepest part
// of the path that is there lies on a file system mounted above that place: nothing is mounted on it. The places
// are the mount points of the file-system table, and the usual folders for media and shares. A folder at a usual
// place may as well be a plain folder, so those count only when the path itself is not there; a mount point of
// the table that is there but not mounted is the empty stand-in of a medium (a drive without its disc).
bool liesOnUnmountedPlace(std::string_view path, const std::vector<std::string>& mountPoints,
                          const std::vector<std::string>& fstabPoints,
                          const std::function<bool(const std::string&)>& exists)
{
    const std::string target = normalisedAbsolute(path);
    if (target.empty() || mountPoints.empty())
        return false;

    std::string existing = target;
    while (!exists(existing))
    {
        if (existing == "/")
            return false;
        existing = parentFolder(existing);
    }

    // The mount point of the file system that holds the existing part: the root unless a deeper one does, even
    // where the table has no entry for the root (a chroot sees only the mounts made inside it).
    std::string holder = "/";
    for (const std::string& mounted : mountPoints)
    {
        const std::string point = normalisedAbsolute(mounted);
        if (!point.empty() && point.size() > holder.size() && isWithin(existing, point))
            holder = point;
    }
    std::vector<std::string> places;
    for (const std::string& point : fstabPoints)
    {
        const std::string place = normalisedAbsolute(point);
        if (place != "/" && !place.empty() && isWithin(target, place))
            places.push_back(place);
    }
    if (existing != target)
    {
        for (std::string& place : usualMountPlaces(target))
            places.push_back(std::move(place));
    }
    return std::any_of(places.begin(), places.end(),
                       [&](const std::string& place) { return !isWithin(holder, place); });
}
