#include "os/folders.h"

#include <windows.h>

std::optional<std::vector<std::string>> readSubfolderNames(const std::string& folder)
{
    WIN32_FIND_DATAA data;
    const std::string pattern = joinFolder(folder, "*");
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HANDLE find = FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &data, FindExSearchLimitToDirectories, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    const DWORD openError = find == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    SetErrorMode(previousMode);
    if (find == INVALID_HANDLE_VALUE) // an empty drive root has not even "." to find
        return openError == ERROR_FILE_NOT_FOUND ? std::optional(std::vector<std::string>{}) : std::nullopt;
    std::vector<std::string> names;
    do
    {
        const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool hidden = (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
        if (isFolder && !hidden && data.cFileName[0] != '.')
            names.emplace_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    const DWORD error = GetLastError();
    FindClose(find);
    if (error != ERROR_NO_MORE_FILES)
        return std::nullopt;
    return names;
}

std::optional<FolderIdentity> folderIdentity(const std::string& folder)
{
    // Opened for its attributes only, as a folder needs (backup semantics), never in the way of anyone.
    const HANDLE handle =
        CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    const bool read = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!read || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return FolderIdentity{info.dwVolumeSerialNumber, std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

std::string currentFolder()
{
    // The ANSI call, as every other file name here: the bytes the rest of the program keeps and passes on.
    std::string folder(MAX_PATH, '\0');
    DWORD length = GetCurrentDirectoryA(DWORD(folder.size()), folder.data());
    if (length >= folder.size()) {
        folder.resize(length);
        length = GetCurrentDirectoryA(DWORD(folder.size()), folder.data());
    }
    if (length == 0 || length >= folder.size())
        return {};
    folder.resize(length);
    return folder;
}

std::string absolutePath(const std::string& path)
{
    // The ANSI call: std::filesystem would hand the bytes back in UTF-8 with MinGW.
    std::string whole(MAX_PATH, '\0');
    DWORD length = GetFullPathNameA(path.c_str(), DWORD(whole.size()), whole.data(), nullptr);
    if (length >= whole.size()) {
        whole.resize(length);
        length = GetFullPathNameA(path.c_str(), DWORD(whole.size()), whole.data(), nullptr);
    }
    if (path.empty() || length == 0 || length >= whole.size())
        return path;
    whole.resize(length);
    return whole;
}
