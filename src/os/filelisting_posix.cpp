#include "os/dirhandle_posix.h"
#include "os/filelisting.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

class FdHandle
{
public:
    explicit FdHandle(int fd) : m_fd(fd) {}
    ~FdHandle()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    FdHandle(const FdHandle&) = delete;
    FdHandle& operator=(const FdHandle&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

FolderListing::Stamp stampOf(const struct stat& info)
{
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

} // namespace

std::optional<FolderListing> FolderListing::read(const std::string& folder)
{
    if (folder.empty())
        return std::nullopt;
    DirHandle dir(folder);
    if (!dir.get())
        return std::nullopt;
    FolderListing listing;
    listing.m_folder = folder;
    // Taken before the names: an entry made while they are read leaves a later time than this one.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    listing.m_readAt = static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    struct stat folderInfo;
    if (fstat(dirfd(dir.get()), &folderInfo) != 0)
        return std::nullopt;
    listing.m_stamp = stampOf(folderInfo);
    // A listing cut short by a read error keeps what was read: the list shows what could be seen.
    while (const dirent* entry = readdir(dir.get())) {
        const char* name = entry->d_name;
        if (name[0] == '.' || entry->d_type == DT_DIR)
            continue; // ".", "..", hidden entries, and folders known as such without a stat
        const std::string_view nameView(name);
        if (listing.m_names.size() + nameView.size() > std::numeric_limits<std::uint32_t>::max())
            break;
        Entry added;
        added.offset = static_cast<std::uint32_t>(listing.m_names.size());
        added.length = static_cast<std::uint32_t>(nameView.size());
        listing.m_names.append(nameView);
        listing.m_entries.push_back(added);
    }
    return listing;
}

bool FolderListing::folderUnchanged() const
{
    struct stat info;
    return stat(m_folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && stampOf(info) == m_stamp &&
           m_stamp.changed < m_readAt - coarsestClockTickSeconds * 1000000000;
}

std::optional<std::vector<ListedFile>> FolderListing::files(const std::function<bool(std::string_view)>& accept)
{
    // Opened only when a name still has to be looked at; the names themselves come from the reading.
    std::optional<FdHandle> folderFd;
    std::string name;
    std::vector<ListedFile> files;
    for (Entry& entry : m_entries) {
        const std::string_view nameView = std::string_view(m_names).substr(entry.offset, entry.length);
        if (entry.state == State::NotFile || !accept(nameView))
            continue;
        if (entry.state == State::Unread) {
            if (!folderFd) {
                folderFd.emplace(open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                if (folderFd->get() < 0)
                    return std::nullopt;
            }
            name.assign(nameView);
            struct stat info;
            if (fstatat(folderFd->get(), name.c_str(), &info, 0) != 0 || !S_ISREG(info.st_mode)) {
                entry.state = State::NotFile; // gone since the reading, a dangling link, a folder behind a link
                continue;
            }
            entry.state = State::File;
            entry.size = static_cast<std::int64_t>(info.st_size);
            entry.mtime = static_cast<std::int64_t>(info.st_mtim.tv_sec);
        }
        files.push_back({std::string(nameView), entry.size, entry.mtime});
    }
    return files;
}
