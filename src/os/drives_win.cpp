#include "os/drives.h"

#include <cctype>
#include <windows.h>
#include <winnetwk.h>

namespace {

// A floppy or card drive without a medium must not pop up the system's "insert a disk" box.
class QuietDriveErrors
{
public:
    QuietDriveErrors() : m_previous(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
    ~QuietDriveErrors() { SetErrorMode(m_previous); }
    QuietDriveErrors(const QuietDriveErrors&) = delete;
    QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

private:
    UINT m_previous;
};

std::string volumeLabel(const std::string& root)
{
    char label[MAX_PATH + 1] = {};
    if (!GetVolumeInformationA(root.c_str(), label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0))
        return {};
    return label;
}

std::string sharePath(const std::string& drive)
{
    char share[MAX_PATH + 1] = {};
    DWORD size = sizeof share;
    // A mapped drive whose server is away still names its share.
    const DWORD result = WNetGetConnectionA(drive.c_str(), share, &size);
    if (result != NO_ERROR && result != ERROR_CONNECTION_UNAVAIL)
        return {};
    return share;
}

} // namespace

std::vector<Drive> readSystemDrives()
{
    QuietDriveErrors quiet;
    std::vector<Drive> drives;
    const DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i)
    {
        if (!(mask & (1u << i)))
            continue;
        const char letter = static_cast<char>('a' + i);
        const std::string drive{letter, ':'};
        // The type is asked with the letter and ":" alone, as the drive's entry begins.
        const int type = static_cast<int>(GetDriveTypeA(drive.c_str()));
        std::string entry = drive;
        // Floppy drives are not asked for a label: that would spin the drive on every reading.
        if (!(type == DRIVE_REMOVABLE && (letter == 'a' || letter == 'b')))
        {
            const std::string label = volumeLabel(drive + "\\");
            if (!label.empty())
                entry += " [" + label + "]";
        }
        // A mapped drive that has lost its root reports no root folder; its share tells it from removable media.
        if (type == DRIVE_REMOTE || type == DRIVE_NO_ROOT_DIR)
        {
            const std::string share = sharePath(drive);
            if (!share.empty())
                entry += " [" + share + "]";
        }
        drives.push_back({std::move(entry), drive, type});
    }
    return drives;
}
