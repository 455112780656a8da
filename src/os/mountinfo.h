#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct Drive;

// One line of the kernel's per-process mount table (/proc/self/mountinfo), escapes decoded.
struct MountInfoEntry
{
    std::string device; // "major:minor"
    std::string root;   // the folder of the file system that is mounted
    std::string mountPoint;
    std::string fsType; // with its subtype, as "fuse.sshfs"
    std::string source; // "/dev/sda1", "server:/export", "//server/share"

    friend bool operator==(const MountInfoEntry&, const MountInfoEntry&) = default;
};

// Lines that do not have the table's shape are passed over.
std::vector<MountInfoEntry> parseMountInfo(std::string_view text);

// Undoes the kernel's octal escapes (\040 for a blank, \011, \012, \134) of a mount-table field.
std::string decodeMountField(std::string_view field);

// Where the system tells about block devices; tests point these at folders of their own.
struct BlockDeviceProbe
{
    std::string sysClassBlock = "/sys/class/block";
    std::string byLabel = "/dev/disk/by-label";
};

// The drives among the mounted file systems: those that hold files a user works with, in mount-point order,
// the root first whether the table names it or not (an empty table gives the root alone).
// Pseudo file systems, system trees (/proc, /sys, /dev, /run but its removable media), snap images and mount
// points that are not folders are left out; of one mount point stacked several times the top one counts.
std::vector<Drive> drivesFromMountInfo(std::string_view mountInfoText, const BlockDeviceProbe& probe = {});

// The drive type of one mounted file system (DriveType codes); removable is told by the caller, who has
// asked the system.
int classifyMount(const MountInfoEntry& mount, bool removableDevice);

// Whether a mounted file system is a drive at all (see drivesFromMountInfo), before the folder test.
bool isUserMount(const MountInfoEntry& mount);

// The mount points a file-system table (/etc/fstab) names, escapes decoded, in the table's order. Swap, "none",
// comments and lines without a mount point are passed over.
std::vector<std::string> parseFstabMountPoints(std::string_view text);

// Whether a path lies where a file system would be mounted that is not mounted now: a removed medium or a share
// that is not connected. mountPoints are the points mounted now; with none known, nothing can be told and the
// answer is false. exists tells whether a path is there. See mountinfo.cpp for the rule.
bool liesOnUnmountedPlace(std::string_view path, const std::vector<std::string>& mountPoints,
                          const std::vector<std::string>& fstabPoints,
                          const std::function<bool(const std::string&)>& exists);
