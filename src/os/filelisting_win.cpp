#include "os/filelisting.h"

#include <limits>
#include <windows.h>

namespace {

// FILETIME counts 100 ns steps from 1601-01-01.
constexpr std::int64_t ticksPerSecond = 10000000;
constexpr std::int64_t secondsFrom1601To1970 = 11644473600;

std::int64_t ticksOf(const FILETIME& time)
{
    return (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | static_cast<std::int64_t>(time.dwLowDateTime);
}

// The folder's volume, file number and last-write time; nothing when it cannot be opened.
std::optional<FolderListing::Stamp> folderStamp(const std::string& folder)
{
    std::string path = folder;
    if (path.back() != '\\' && path.back() != '/')
        path.push_back('\\'); // "c:" becomes "c:\", the drive's root
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Opening a folder asks for backup semantics; sharing everything keeps the folder free for others.
    HANDLE handle =
        CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    SetErrorMode(previousMode);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    const bool read = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!read || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return std::nullopt;
    return FolderListing::Stamp{info.dwVolumeSerialNumber,
                                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                                ticksOf(info.ftLastWriteTime)};
}

} // namespace

std::optional<FolderListing> FolderListing::read(const std::string& folder)
{
    if (folder.empty())
        return std::nullopt;
    // Taken before the names: an entry made while they are read leaves a later time than this one. A folder
    // whose stamp cannot be read still lists; it only never counts as unchanged.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const std::optional<Stamp> stamp = folderStamp(folder);
    std::string pattern = folder;
    if (pattern.back() != '\\' && pattern.back() != '/')
        pattern.push_back('\\');
    pattern.push_back('*');

    WIN32_FIND_DATAA data;
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HANDLE find = FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    const DWORD openError = find == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    SetErrorMode(previousMode);
    FolderListing listing;
    listing.m_folder = folder;
    listing.m_readAt = ticksOf(now);
    if (stamp)
        listing.m_stamp = *stamp;
    else
        listing.m_stamp.changed = std::numeric_limits<std::int64_t>::min();
    if (find == INVALID_HANDLE_VALUE) // an empty drive root has not even "." to find
        return openError == ERROR_FILE_NOT_FOUND ? std::optional(std::move(listing)) : std::nullopt;
    // The names come with their sizes and times: nothing is left to read later.
    constexpr DWORD leftOut = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    do {
        // A name beginning with "." counts as hidden here too (Wine marks such files hidden; Windows does not).
        if ((data.dwFileAttributes & leftOut) != 0 || data.cFileName[0] == '.')
            continue;
        const std::string_view name(data.cFileName);
        if (listing.m_names.size() + name.size() > std::numeric_limits<std::uint32_t>::max())
            break;
        Entry added;
        added.offset = static_cast<std::uint32_t>(listing.m_names.size());
        added.length = static_cast<std::uint32_t>(name.size());
        added.state = State::File;
        added.size =
            (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | static_cast<std::int64_t>(data.nFileSizeLow);
        added.mtime = ticksOf(data.ftLastWriteTime) / ticksPerSecond - secondsFrom1601To1970;
        listing.m_names.append(name);
        listing.m_entries.push_back(added);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return listing;
}

bool FolderListing::folderUnchanged() const
{
    const std::optional<Stamp> stamp = folderStamp(m_folder);
    return stamp && m_stamp.changed != std::numeric_limits<std::int64_t>::min() && *stamp == m_stamp &&
           m_stamp.changed < m_readAt - coarsestClockTickSeconds * ticksPerSecond;
}

std::optional<std::vector<ListedFile>> FolderListing::files(const std::function<bool(std::string_view)>& accept)
{
    std::vector<ListedFile> files;
    for (const Entry& entry : m_entries) {
        const std::string_view name = std::string_view(m_names).substr(entry.offset, entry.length);
        if (entry.state == State::File && accept(name))
            files.push_back({std::string(name), entry.size, entry.mtime});
    }
    return files;
}
