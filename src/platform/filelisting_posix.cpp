#include "filelisting.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

class DirHandle
{
public:
    explicit DirHandle(const std::string& path) : m_dir(opendir(path.c_str())) {}
    ~DirHandle()
    {
        if (m_dir)
            closedir(m_dir);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    DIR* get() const { return m_dir; }

private:
    DIR* m_dir;
};

} // namespace

std::optional<std::vector<ListedFile>> listFolderFiles(const std::string& folder,
                                                       const std::function<bool(std::string_view)>& accept)
{
    if (folder.empty())
        return std::nullopt;
    DirHandle dir(folder);
    if (!dir.get())
        return std::nullopt;
    const int fd = dirfd(dir.get());
    std::vector<ListedFile> files;
    // A listing cut short by a read error keeps what was read: the list shows what could be seen.
    while (const dirent* entry = readdir(dir.get())) {
        const char* name = entry->d_name;
        if (name[0] == '.' || entry->d_type == DT_DIR)
            continue; // ".", "..", hidden entries, and folders known as such without a stat
        const std::string_view nameView(name);
        if (!accept(nameView))
            continue;
        struct stat info;
        if (fstatat(fd, name, &info, 0) != 0 || !S_ISREG(info.st_mode))
            continue; // gone since the listing, a dangling link, a folder behind a link, a device
        files.push_back({std::string(nameView), static_cast<std::int64_t>(info.st_size),
                         static_cast<std::int64_t>(info.st_mtim.tv_sec)});
    }
    return files;
}
