#include "script/paths.h"
#include "script/scriptcheckfs.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <system_error>
#include <unistd.h>
#include <unordered_set>

namespace script {

namespace {

bool isLockFileName(std::string_view name)
{
    return name.ends_with(".dwl") || name.ends_with(".dwl2");
}

// File systems on which the kernel alone decides who may write a file, from its owner, mode and attributes.
// On the others (network file systems above all) the server decides, and only access(2) can tell.
bool decidedLocally(const struct statfs& info)
{
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53:     // ext2, ext3, ext4
    case 0x58465342: // xfs
    case 0x9123683E: // btrfs
    case 0x01021994: // tmpfs
    case 0xF2F52010: // f2fs
        return true;
    default:
        return false;
    }
}

// The id the kernel shows for an owner that the process's user namespace does not map: the superuser's
// privileges do not reach such a file.
constexpr unsigned overflowId = 65534;

} // namespace

struct DrawingFolder::Private
{
    std::string folder;
    int fd = -1; // the folder, or -1 when it cannot be opened: then every question goes by full path
    // The listing runs beside the first questions about the drawings; the lock files wait for it.
    std::shared_future<void> listing;
    bool listed = false;
    std::unordered_set<std::string> lockNames; // the *.dwl and *.dwl2 names, when listed
    bool readOnlyMount = false;
    bool localRules = false; // writability follows from owner, mode and attributes
    uid_t user = ::geteuid();

    std::string pathOf(std::string_view name) const { return joinPath(folder, name, '/'); }
    int dirOr(int fallback) const { return fd >= 0 ? fd : fallback; }

    void list()
    {
        if (fd < 0)
            return;
        const int copy = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (copy < 0)
            return;
        DIR* dir = ::fdopendir(copy);
        if (!dir) {
            ::close(copy);
            return;
        }
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            if (isLockFileName(entry->d_name))
                lockNames.emplace(entry->d_name);
        }
        listed = errno == 0;
        ::closedir(dir);
    }

    // Whether the process may write the file, as access(W_OK) would answer, asking the kernel only where
    // owner, mode and attributes leave it open.
    bool writable(const std::string& name, const struct statx& info) const
    {
        if (readOnlyMount)
            return false;
        if ((info.stx_attributes_mask & STATX_ATTR_IMMUTABLE) && (info.stx_attributes & STATX_ATTR_IMMUTABLE))
            return false;
        if (localRules && user != 0 && info.stx_uid == user)
            return (info.stx_mode & S_IWUSR) != 0; // the owner's bits are the owner's whole say, ACL or not
        if (localRules && user == 0 && info.stx_uid != overflowId && info.stx_gid != overflowId)
            return true;
        const std::string path = fd >= 0 ? std::string() : pathOf(name);
        return ::faccessat(dirOr(AT_FDCWD), fd >= 0 ? name.c_str() : path.c_str(), W_OK, 0) == 0 || errno == ENOENT;
    }
};

DrawingFolder::DrawingFolder(std::string folder) : d(std::make_unique<Private>())
{
    d->folder = std::move(folder);
    const char* path = d->folder.empty() ? "/" : d->folder.c_str();
    d->fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d->fd < 0)
        d->fd = ::open(path, O_PATH | O_DIRECTORY | O_CLOEXEC); // searchable but not readable
    struct statfs info
    {
    };
    if (d->fd >= 0 && ::fstatfs(d->fd, &info) == 0) {
        d->readOnlyMount = (info.f_flags & ST_RDONLY) != 0;
        d->localRules = decidedLocally(info);
    }
    try {
        d->listing = std::async(std::launch::async, [p = d.get()] { p->list(); }).share();
    } catch (const std::system_error&) {
        // No thread to be had: list here.
        std::promise<void> done;
        d->listing = done.get_future().share();
        d->list();
        done.set_value();
    }
}

DrawingFolder::~DrawingFolder()
{
    d->listing.wait();
    if (d->fd >= 0)
        ::close(d->fd);
}

DrawingState DrawingFolder::drawing(const std::string& name) const
{
    DrawingState state;
    struct statx info
    {
    };
    const std::string path = d->fd >= 0 ? std::string() : d->pathOf(name);
    if (::statx(d->dirOr(AT_FDCWD), d->fd >= 0 ? name.c_str() : path.c_str(), 0,
                STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID, &info) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            state.presence = DrawingState::Presence::Missing;
        } else {
            state.presence = DrawingState::Presence::Unreachable;
            state.reason = std::strerror(error);
        }
        return state;
    }
    if (!S_ISREG(info.stx_mode)) {
        state.presence = DrawingState::Presence::NotAFile;
        return state;
    }
    state.presence = DrawingState::Presence::File;
    state.readOnly = !d->writable(name, info);
    return state;
}

std::optional<LockFile> DrawingFolder::lockFile(std::string_view stem) const
{
    d->listing.wait();
    // Listed: the usual folder has no lock file at all, and then nothing is asked.
    if (d->listed && d->lockNames.empty())
        return std::nullopt;
    for (const char* extension : {".dwl", ".dwl2"}) {
        const std::string name = std::string(stem) + extension;
        if (d->listed && !d->lockNames.contains(name))
            continue;
        const std::string target = d->fd >= 0 ? name : d->pathOf(name);
        // Not blocking: a FIFO under that name must not hang the check.
        const int fd = ::openat(d->dirOr(AT_FDCWD), target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        LockFile lock;
        lock.name = name;
        struct stat info
        {
        };
        if (fd < 0) {
            // There but not to be opened: still a lock file, only a mute one.
            if (::fstatat(d->dirOr(AT_FDCWD), target.c_str(), &info, 0) != 0 || !S_ISREG(info.st_mode))
                continue;
        } else {
            if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
                ::close(fd);
                continue;
            }
            lock.head.resize(lockFileHeadSize);
            std::size_t done = 0;
            while (done < lock.head.size()) {
                const ssize_t count = ::read(fd, lock.head.data() + done, lock.head.size() - done);
                if (count < 0 && errno == EINTR)
                    continue;
                if (count <= 0)
                    break;
                done += static_cast<std::size_t>(count);
            }
            lock.head.resize(done);
            ::close(fd);
        }
        std::tm local{};
        if (localtime_r(&info.st_mtime, &local))
            lock.written = LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                         local.tm_hour,        local.tm_min,     local.tm_sec};
        return lock;
    }
    return std::nullopt;
}

bool DrawingFolder::nameEncodable(std::string_view) const
{
    return true;
}

bool DrawingFolder::folderEncodable() const
{
    return true;
}

} // namespace script
