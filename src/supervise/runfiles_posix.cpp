#include "supervise/runfiles.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace supervise {

namespace {

int fd(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

std::unique_ptr<JournalFile> lockOrFail(int descriptor, JournalFile::Opened& how, std::string& error,
                                        std::unique_ptr<JournalFile> file)
{
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
        how = JournalFile::Opened::Ok;
        return file;
    }
    how = errno == EWOULDBLOCK ? JournalFile::Opened::Busy : JournalFile::Opened::Failed;
    error = std::strerror(errno);
    return nullptr;
}

// A new name in a folder lasts a crash only once the folder itself is on the disk.
void syncFolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        ::fsync(descriptor);
        ::close(descriptor);
    }
}

} // namespace

static bool makeFolders(const std::string& path, std::string& error)
{
    std::size_t at = 1;
    while (true) {
        at = path.find('/', at);
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = part + ": " + std::strerror(errno);
            return false;
        }
        if (at == std::string::npos)
            return true;
        ++at;
    }
}

std::unique_ptr<JournalFile> JournalFile::create(const std::string& path, std::string_view bytes, Opened& how,
                                                 std::string& error)
{
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    // Made without a name, locked, written and on the disk before it is given its name: a run killed while
    // making it leaves nothing, and a reader that finds the name finds it whole and locked.
    const int unnamed = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_APPEND | O_CLOEXEC, 0600);
    if (unnamed >= 0) {
        auto file = std::unique_ptr<JournalFile>(new JournalFile(unnamed));
        if (::flock(unnamed, LOCK_EX | LOCK_NB) != 0) {
            how = Opened::Failed;
            error = std::strerror(errno);
            return nullptr;
        }
        if (!file->append(bytes, true, error)) {
            how = Opened::Failed;
            return nullptr;
        }
        const std::string self = "/proc/self/fd/" + std::to_string(unnamed);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            syncFolderOf(path);
            how = Opened::Ok;
            return file;
        }
        if (errno == EEXIST) {
            how = Opened::Exists;
            error = std::strerror(errno);
            return nullptr;
        }
        // Without /proc the name cannot be given: made in place instead.
    }
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        how = errno == EEXIST ? Opened::Exists : Opened::Failed;
        error = std::strerror(errno);
        return nullptr;
    }
    syncFolderOf(path);
    auto file = lockOrFail(descriptor, how, error, std::unique_ptr<JournalFile>(new JournalFile(descriptor)));
    if (file && !file->append(bytes, true, error)) {
        // A journal without its drawings is of no use, and its name would stand in the way of the next try.
        how = Opened::Failed;
        file.reset();
        ::unlink(path.c_str());
        return nullptr;
    }
    return file;
}

std::unique_ptr<JournalFile> JournalFile::open(const std::string& path, Opened& how, std::string& error)
{
    // Never waits on a pipe or a device: the type is checked before anything is read.
    const int descriptor = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        how = Opened::Failed;
        error = std::strerror(errno);
        return nullptr;
    }
    struct stat info
    {
    };
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        how = Opened::Failed;
        error = "ingen vanlig fil";
        ::close(descriptor);
        return nullptr;
    }
    return lockOrFail(descriptor, how, error, std::unique_ptr<JournalFile>(new JournalFile(descriptor)));
}

JournalFile::~JournalFile()
{
    ::close(fd(m_handle));
}

bool JournalFile::readAll(std::string& bytes, std::string& error)
{
    bytes.clear();
    char buffer[64 * 1024];
    off_t offset = 0;
    while (true) {
        const ssize_t got = ::pread(fd(m_handle), buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = std::strerror(errno);
            return false;
        }
        if (got == 0)
            return true;
        bytes.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
}

bool JournalFile::truncate(std::uint64_t size, std::string& error)
{
    if (::ftruncate(fd(m_handle), static_cast<off_t>(size)) != 0 || ::fdatasync(fd(m_handle)) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool JournalFile::cutBack(std::string& error)
{
    if (m_cutTo < 0)
        return true;
    if (::ftruncate(fd(m_handle), static_cast<off_t>(m_cutTo)) != 0) {
        error = std::strerror(errno);
        return false;
    }
    m_cutTo = -1;
    return true;
}

bool JournalFile::append(std::string_view bytes, bool sync, std::string& error)
{
    // A bare sync moves nothing: it may come from another thread while a record is being written.
    if (bytes.empty()) {
        if (sync && ::fdatasync(fd(m_handle)) != 0) {
            error = std::strerror(errno);
            return false;
        }
        return true;
    }
    if (!cutBack(error))
        return false;
    struct stat info
    {
    };
    if (::fstat(fd(m_handle), &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    // One write for the whole record set, so a killed process leaves all or nothing of it.
    int failure = 0;
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd(m_handle), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            failure = written == 0 ? EIO : errno;
            break;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    if (failure == 0 && sync && ::fdatasync(fd(m_handle)) != 0)
        failure = errno;
    if (failure == 0)
        return true;
    error = std::strerror(failure);
    m_cutTo = info.st_size;
    std::string ignored; // the write's failure is the one to tell; the next append tries the cut again
    cutBack(ignored);
    return false;
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error)
{
    // Opening a FIFO without O_NONBLOCK waits for a writer that may never come.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat info
    {
    };
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "ingen vanlig fil";
        ::close(descriptor);
        return false;
    }
    JournalFile reader(descriptor);
    return reader.readAll(bytes, error);
}

Result<FileIdentity> makeOwnFile(const std::string& path)
{
    // Made under another name and renamed into place: whatever stood at path (a link, a pipe, someone else's
    // file) is replaced, never opened.
    std::string made = path + ".XXXXXX";
    const int descriptor = ::mkostemp(made.data(), O_CLOEXEC);
    if (descriptor < 0)
        return Result<FileIdentity>::failure(std::strerror(errno));
    struct stat info
    {
    };
    const bool known = ::fstat(descriptor, &info) == 0;
    const int failure = errno;
    ::close(descriptor);
    if (!known || ::rename(made.c_str(), path.c_str()) != 0) {
        const int cause = known ? errno : failure;
        ::unlink(made.c_str());
        return Result<FileIdentity>::failure(std::strerror(cause));
    }
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

Result<FilePiece, FileRefusal> readOwnFile(const std::string& path, std::uint64_t offset, std::size_t limit)
{
    using Refused = Result<FilePiece, FileRefusal>;
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (descriptor < 0) {
        if (errno == ENOENT)
            return FilePiece{};
        if (errno == ELOOP)
            return Refused::failure({FileRefusal::Kind::Link, {}});
        return Refused::failure({FileRefusal::Kind::Unreadable, std::strerror(errno)});
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{descriptor};
    struct stat info
    {
    };
    if (::fstat(descriptor, &info) != 0)
        return Refused::failure({FileRefusal::Kind::Unreadable, std::strerror(errno)});
    if (!S_ISREG(info.st_mode))
        return Refused::failure({FileRefusal::Kind::NotPlain, {}});
    if (info.st_uid != ::geteuid())
        return Refused::failure({FileRefusal::Kind::NotOwn, {}});
    FilePiece piece;
    piece.exists = true;
    piece.identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    piece.size = static_cast<std::uint64_t>(info.st_size);
    piece.bytes.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
        const ssize_t read =
            ::pread(descriptor, piece.bytes.data() + got, limit - got, static_cast<off_t>(offset + got));
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return Refused::failure({FileRefusal::Kind::Unreadable, std::strerror(errno)});
        if (read == 0)
            break;
        got += static_cast<std::size_t>(read);
    }
    piece.bytes.resize(got);
    return piece;
}

std::string runsFolder(std::string& error)
{
    std::string folder;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
        folder = data;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        folder = std::string(home) + "/.local/share";
    } else {
        error = "varken XDG_DATA_HOME eller HOME är satt";
        return {};
    }
    folder += "/Brannoc/Vendrel/runs";
    return makeFolders(folder, error) ? folder : std::string();
}

std::vector<std::string> journalsIn(const std::string& folder)
{
    std::vector<std::string> paths;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return paths;
    constexpr std::string_view ending = ".journal";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() > ending.size() && name.substr(name.size() - ending.size()) == ending)
            paths.push_back(folder + "/" + std::string(name));
    }
    ::closedir(dir);
    return paths;
}

FileStamp stampOf(const std::string& path)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return {true, std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

std::int64_t wallClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string ownProgramFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path)
        return ".";
    std::string own(path, static_cast<std::size_t>(length));
    const auto slash = own.rfind('/');
    return slash == 0 ? "/" : own.substr(0, slash);
}

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "?";
    return name;
}

} // namespace supervise

namespace supervise {

bool makeFolder(const std::string& path, std::string& error)
{
    if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST)
        return true;
    error = std::strerror(errno);
    return false;
}

} // namespace supervise
