#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The separator between a folder and a name on this platform.
#ifdef _WIN32
inline constexpr char folderSeparator = '\\';
#else
inline constexpr char folderSeparator = '/';
#endif

// The names of the direct subfolders of a folder, as the bytes the file system gave, in the file system's
// order. Hidden folders (a name beginning with "." and, on Windows, the hidden attribute) are left out;
// a link to a folder counts as a folder. Nothing when the folder cannot be opened or read to its end.
std::optional<std::vector<std::string>> readSubfolderNames(const std::string& folder);

// What tells a folder from every other one on the machine, however it is reached (through a link or a junction
// too): a walk down the folders knows by it a folder it has been in. Nothing when the folder cannot be opened.
struct FolderIdentity
{
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FolderIdentity&, const FolderIdentity&) = default;
    friend auto operator<=>(const FolderIdentity&, const FolderIdentity&) = default;
};
std::optional<FolderIdentity> folderIdentity(const std::string& folder);

// folder and name with one separator between them ("/" + "usr" is "/usr", "c:" + "x" is "c:\x").
std::string joinFolder(std::string_view folder, std::string_view name);

// The process's current folder as the file system spells it: its bytes (the ANSI code page on Windows) and the
// platform's separators. Empty when it cannot be told.
std::string currentFolder();

// path as a whole path from the current folder, with "." and ".." resolved by the text alone, in the same bytes
// and the platform's separators. path itself when it cannot be made whole.
std::string absolutePath(const std::string& path);
