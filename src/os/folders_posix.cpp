#include "os/dirhandle_posix.h"
#include "os/folders.h"

#include <cerrno>
#include <filesystem>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<std::vector<std::string>> readSubfolderNames(const std::string& folder)
{
    DirHandle dir(folder);
    if (!dir.get())
        return std::nullopt;
    const int fd = dirfd(dir.get());
    std::vector<std::string> names;
    for (;;)
    {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry)
            break;
        const char* name = entry->d_name;
        if (name[0] == '.')
            continue; // ".", ".." and hidden folders
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
        {
            struct stat info;
            isFolder = fstatat(fd, name, &info, 0) == 0 && S_ISDIR(info.st_mode);
        }
        if (isFolder)
            names.emplace_back(name);
    }
    // A listing cut short (a server gone, a stale handle) is no listing: the caller shows nothing.
    if (errno != 0)
        return std::nullopt;
    return names;
}

std::optional<FolderIdentity> folderIdentity(const std::string& folder)
{
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::nullopt;
    return FolderIdentity{std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)};
}

std::string currentFolder()
{
    std::string folder(256, '\0');
    while (!::getcwd(folder.data(), folder.size())) {
        if (errno != ERANGE)
            return {};
        folder.resize(folder.size() * 2);
    }
    folder.resize(folder.find('\0'));
    return folder;
}

std::string absolutePath(const std::string& path)
{
    std::error_code ignored;
    const auto whole = std::filesystem::absolute(std::filesystem::path(path), ignored);
    return whole.empty() ? path : whole.lexically_normal().string();
}
