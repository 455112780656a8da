#pragma once

#include <functional>
#include <string>
#include <vector>

// The drives the tree shows: on Windows the logical drives, elsewhere the mounted file systems that hold
// a user's files. Texts are bytes as the system gave them.

// The type codes Windows reports for a drive; other platforms map their file systems onto them.
namespace DriveType {
constexpr int Unknown = 0;
constexpr int NoRootFolder = 1;
constexpr int Removable = 2;
constexpr int Fixed = 3;
constexpr int Remote = 4;
constexpr int CdRom = 5;
constexpr int RamDisk = 6;
} // namespace DriveType

struct Drive
{
    // "c: [SYSTEM]", "/media/usb [STICK]", "/mnt/plans [server:/export/plans]"
    std::string entry;
    // The drive's root folder: "c:" on Windows, the mount point elsewhere.
    std::string folder;
    int type = DriveType::Unknown;

    friend bool operator==(const Drive&, const Drive&) = default;
};

// The drives of this computer, in the platform's order, read now.
std::vector<Drive> readSystemDrives();

// The drive list the program works with: read once, kept until told to read again (the tree's refresh).
class Drives
{
public:
    using Reader = std::function<std::vector<Drive>()>;

    explicit Drives(Reader reader = readSystemDrives);

    const std::vector<Drive>& list();
    void reread();

private:
    Reader m_reader;
    std::vector<Drive> m_drives;
    bool m_read = false;
};
