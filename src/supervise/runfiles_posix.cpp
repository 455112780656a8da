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

JournalFile::Opening failedWith(JournalFile::Problem::Kind kind, int code)
{
    return JournalFile::Opening::failure({kind, std::strerror(code)});
}

JournalFile::Opening locked(int descriptor, std::unique_ptr<JournalFile> file)
{
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0)
        return file;
    return failedWith(errno == EWOULDBLOCK ? JournalFile::Problem::Kind::Busy : JournalFile::Problem::Kind::Failed,
                      errno);
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

static Result<void> makeFolders(const std::string& path)
{
    std::size_t at = 1;
    while (true) {
        at = path.find('/', at);
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return Result<void>::failure(part + ": " + std::strerror(errno));
        if (at == std::string::npos)
            return {};
        ++at;
    }
}

JournalFile::Opening JournalFile::create(const std::string& path, std::string_view bytes)
{
    using Kind = Problem::Kind;
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    // Made without a name, locked, written and on the disk before it is given its name: a run killed while
    // making it leaves nothing, and a reader that finds the name finds it whole and locked.
    const int unnamed = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_APPEND | O_CLOEXEC, 0600);
    if (unnamed >= 0) {
        auto file = std::unique_ptr<JournalFile>(new JournalFile(unnamed));
        if (::flock(unnamed, LOCK_EX | LOCK_NB) != 0)
            return failedWith(Kind::Failed, errno);
        if (auto written = file->append(bytes, true); !written)
            return Opening::failure({Kind::Failed, written.error()});
        const std::string self = "/proc/self/fd/" + std::to_string(unnamed);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            syncFolderOf(path);
            return file;
        }
        if (errno == EEXIST)
            return failedWith(Kind::Exists, errno);
        // Without /proc the name cannot be given: made in place instead.
    }
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return failedWith(errno == EEXIST ? Kind::Exists : Kind::Failed, errno);
    syncFolderOf(path);
    auto file = locked(descriptor, std::unique_ptr<JournalFile>(new JournalFile(descriptor)));
    if (!file)
        return file;
    if (auto written = (*file)->append(bytes, true); !written) {
        // A journal without its drawings is of no use, and its name would stand in the way of the next try.
        file = Opening::failure({Kind::Failed, written.error()});
        ::unlink(path.c_str());
    }
    return file;
}

JournalFile::Opening JournalFile::open(const std::string& path)
{
    // Never waits on a pipe or a device: the type is checked before anything is read.
    const int descriptor = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0)
        return failedWith(Problem::Kind::Failed, errno);
    struct stat info
    {
    };
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return Opening::failure({Problem::Kind::Failed, "ingen vanlig fil"});
    }
    return locked(descriptor, std::unique_ptr<JournalFile>(new JournalFile(descriptor)));
}

JournalFile::~JournalFile()
{
    ::close(fd(m_handle));
}

Result<std::string> JournalFile::readAll()
{
    std::string bytes;
    char buffer[64 * 1024];
    off_t offset = 0;
    while (true) {
        const ssize_t got = ::pread(fd(m_handle), buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Result<std::string>::failure(std::strerror(errno));
        if (got == 0)
            return bytes;
        bytes.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
}

Result<void> JournalFile::truncate(std::uint64_t size)
{
    if (::ftruncate(fd(m_handle), static_cast<off_t>(size)) != 0 || ::fdatasync(fd(m_handle)) != 0)
        return Result<void>::failure(std::strerror(errno));
    return {};
}

Result<void> JournalFile::cutBack()
{
    if (m_cutTo < 0)
        return {};
    if (::ftruncate(fd(m_handle), static_cast<off_t>(m_cutTo)) != 0)
        return Result<void>::failure(std::strerror(errno));
    m_cutTo = -1;
    return {};
}

Result<void> JournalFile::append(std::string_view bytes, bool sync)
{
    // A bare sync moves nothing: it may come from another thread while a record is being written.
    if (bytes.empty()) {
        if (sync && ::fdatasync(fd(m_handle)) != 0)
            return Result<void>::failure(std::strerror(errno));
        return {};
    }
    if (auto cut = cutBack(); !cut)
        return cut;
    struct stat info
    {
    };
    if (::fstat(fd(m_handle), &info) != 0)
        return Result<void>::failure(std::strerror(errno));
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
        return {};
    m_cutTo = info.st_size;
    // The write's failure is the one to tell; the next append tries the cut again.
    (void)cutBack();
    return Result<void>::failure(std::strerror(failure));
}

Result<std::string> readWholeFile(const std::string& path)
{
    // Opening a FIFO without O_NONBLOCK waits for a writer that may never come.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0)
        return Result<std::string>::failure(std::strerror(errno));
    struct stat info
    {
    };
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return Result<std::string>::failure("ingen vanlig fil");
    }
    JournalFile reader(descriptor);
    return reader.readAll();
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

Result<std::string> runsFolder()
{
    std::string folder;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
        folder = data;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        folder = std::string(home) + "/.local/share";
    } else {
        return Result<std::string>::failure("varken XDG_DATA_HOME eller HOME är satt");
    }
    folder += "/Brannoc/Vendrel/runs";
    if (auto made = makeFolders(folder); !made)
        return Result<std::string>::failure(made.error());
    return folder;
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

Result<void> makeFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST)
        return {};
    return Result<void>::failure(std::strerror(errno));
}

} // namespace supervise
