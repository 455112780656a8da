#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Characters a file name can never hold on this platform: a pattern holding one can match no file.
#ifdef _WIN32
inline constexpr std::string_view charactersNotInFileNames{"<>:\"/\\|", 7};
#else
inline constexpr std::string_view charactersNotInFileNames{"/\0", 2};
#endif

struct ListedFile
{
    std::string name;       // the bytes the file system gave
    std::int64_t size = 0;  // bytes
    std::int64_t mtime = 0; // last write, seconds since 1970-01-01 UTC
};

// The files lying directly in a folder whose names the filter accepts, with their sizes and last-write times,
// in the file system's order. Left out: folders, hidden files (a name beginning with "." and, on Windows, the
// hidden and system attributes), anything that is not a regular file (a link counts as what it points to) and
// a file that vanishes before its size and time are read. The filter sees each name once, before anything is
// read about the file. Nothing when the folder cannot be opened; a drive such as "c:" means its root folder.
std::optional<std::vector<ListedFile>> listFolderFiles(const std::string& folder,
                                                       const std::function<bool(std::string_view)>& accept);
