#include "filelisting.h"

#include <windows.h>

namespace {

// FILETIME counts 100 ns steps from 1601-01-01.
constexpr std::int64_t ticksPerSecond = 10000000;
constexpr std::int64_t secondsFrom1601To1970 = 11644473600;

} // namespace

std::optional<std::vector<ListedFile>> listFolderFiles(const std::string& folder,
                                                       const std::function<bool(std::string_view)>& accept)
{
    if (folder.empty())
        return std::nullopt;
    std::string pattern = folder;
    if (pattern.back() != '\\' && pattern.back() != '/')
        pattern.push_back('\\'); // "c:" becomes "c:\", the drive's root
    pattern.push_back('*');

    WIN32_FIND_DATAA data;
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HANDLE find = FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    const DWORD openError = find == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    SetErrorMode(previousMode);
    std::vector<ListedFile> files;
    if (find == INVALID_HANDLE_VALUE) // an empty drive root has not even "." to find
        return openError == ERROR_FILE_NOT_FOUND ? std::optional(files) : std::nullopt;
    constexpr DWORD leftOut = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    do {
        if ((data.dwFileAttributes & leftOut) != 0)
            continue;
        const std::string_view name(data.cFileName);
        if (!accept(name))
            continue;
        const std::int64_t size =
            (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | static_cast<std::int64_t>(data.nFileSizeLow);
        const std::int64_t ticks = (static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                   static_cast<std::int64_t>(data.ftLastWriteTime.dwLowDateTime);
        files.push_back({std::string(name), size, ticks / ticksPerSecond - secondsFrom1601To1970});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return files;
}
