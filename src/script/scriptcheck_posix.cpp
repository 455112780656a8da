#include "script/paths.h"
#include "script/scriptcheckfs.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace script {

struct DrawingFolder::Private
{
    std::string folder;
    int fd = -1; // the folder, or -1 when it cannot be opened: then every question goes by full path
    bool listed = false;
    std::unordered_set<std::string> names; // the folder's names, when listed

    std::string pathOf(std::string_view name) const { return joinPath(folder, name, '/'); }

    int statName(const std::string& name, struct stat& info, int flags = 0) const
    {
        return fd >= 0 ? ::fstatat(fd, name.c_str(), &info, flags)
                       : ::fstatat(AT_FDCWD, pathOf(name).c_str(), &info, flags);
    }

    // Lists the folder once, for the lock files: one pass over it costs less than two look-ups a drawing.
    void list()
    {
        listed = true;
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
        while (const dirent* entry = ::readdir(dir))
            names.emplace(entry->d_name);
        ::closedir(dir);
    }
};

DrawingFolder::DrawingFolder(std::string folder) : d(std::make_unique<Private>())
{
    d->folder = std::move(folder);
    d->fd = ::open(d->folder.empty() ? "/" : d->folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d->fd < 0)
        d->fd = ::open(d->folder.empty() ? "/" : d->folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

DrawingFolder::~DrawingFolder()
{
    if (d->fd >= 0)
        ::close(d->fd);
}

DrawingState DrawingFolder::drawing(const std::string& name)
{
    DrawingState state;
    struct stat info
    {
    };
    if (d->statName(name, info) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            state.presence = DrawingState::Presence::Missing;
        } else {
            state.presence = DrawingState::Presence::Unreachable;
            state.reason = std::strerror(error);
        }
        return state;
    }
    if (!S_ISREG(info.st_mode)) {
        state.presence = DrawingState::Presence::NotAFile;
        return state;
    }
    state.presence = DrawingState::Presence::File;
    // The permission bits, the file system's read-only mount and an immutable file all answer here. The
    // superuser passes the permission bits, as the CAD program run by the superuser would.
    const int writable =
        d->fd >= 0 ? ::faccessat(d->fd, name.c_str(), W_OK, 0) : ::access(d->pathOf(name).c_str(), W_OK);
    if (writable != 0) {
        const int error = errno;
        if (error == ENOENT)
            state.presence = DrawingState::Presence::Missing; // gone since the stat
        else
            state.readOnly = true;
    }
    return state;
}

std::optional<LockFile> DrawingFolder::lockFile(std::string_view stem)
{
    if (!d->listed)
        d->list();
    for (const char* extension : {".dwl", ".dwl2"}) {
        const std::string name = std::string(stem) + extension;
        if (d->fd >= 0 && d->listed && !d->names.empty() && !d->names.contains(name))
            continue;
        // Not blocking: a FIFO under that name must not hang the check.
        const int fd = d->fd >= 0 ? ::openat(d->fd, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)
                                  : ::open(d->pathOf(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        LockFile lock;
        lock.name = name;
        struct stat info
        {
        };
        if (fd < 0) {
            // It is there but cannot be opened: still a lock file, only a mute one.
            if (d->statName(name, info) != 0 || !S_ISREG(info.st_mode))
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

bool DrawingFolder::nameEncodable(std::string_view)
{
    return true;
}

bool DrawingFolder::folderEncodable() const
{
    return true;
}

} // namespace script
