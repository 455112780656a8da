#pragma once

// A folder's own last-write time, read and set in the file system's own terms: std::filesystem cannot set it on
// a folder on Windows (it opens folders without backup semantics).

#include <string>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#endif

namespace foldertime {

#ifdef _WIN32
using Time = FILETIME;

inline HANDLE openFolder(const std::string& path, DWORD access)
{
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

inline bool get(const std::string& path, Time& time)
{
    HANDLE folder = openFolder(path, FILE_READ_ATTRIBUTES);
    const bool ok = folder != INVALID_HANDLE_VALUE && GetFileTime(folder, nullptr, nullptr, &time);
    if (folder != INVALID_HANDLE_VALUE)
        CloseHandle(folder);
    return ok;
}

inline bool set(const std::string& path, const Time& time)
{
    HANDLE folder = openFolder(path, FILE_WRITE_ATTRIBUTES);
    const bool ok = folder != INVALID_HANDLE_VALUE && SetFileTime(folder, nullptr, nullptr, &time);
    if (folder != INVALID_HANDLE_VALUE)
        CloseHandle(folder);
    return ok;
}

// Moves the folder's time a day into the past.
inline bool age(const std::string& path)
{
    Time now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
    ticks.QuadPart -= 24ull * 3600 * 10000000;
    return set(path, Time{ticks.LowPart, ticks.HighPart});
}
#else
using Time = timespec;

inline bool get(const std::string& path, Time& time)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    time = info.st_mtim;
    return true;
}

inline bool set(const std::string& path, const Time& time)
{
    const timespec times[2] = {{0, UTIME_OMIT}, time};
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

// Moves the folder's time a day into the past.
inline bool age(const std::string& path)
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    now.tv_sec -= 24 * 3600;
    return set(path, now);
}
#endif

} // namespace foldertime
