#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/scriptfs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace script {

namespace {

// Puts the finished file in place under path; gives 0 or an errno value.
int moveIntoPlace(const std::string& temporary, const std::string& path)
{
#ifdef __linux__
    // ext4 starts writing the whole new file out when a rename replaces an existing file, which costs more
    // than the write itself. Swapping the two names and then removing the old file under the temporary name
    // replaces it just as atomically without that. A folder at path is never swapped away.
    struct stat existing
    {
    };
    if (::lstat(path.c_str(), &existing) == 0 && !S_ISDIR(existing.st_mode) &&
        ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
        if (::unlink(temporary.c_str()) == 0)
            return 0;
        // Something other than the old file came back: put it where it was.
        const int error = errno;
        ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE);
        return error;
    }
#endif
    return ::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
}

} // namespace

char nativeSeparator()
{
    return '/';
}

std::string temporaryFolder()
{
    for (const char* name : {"TEMP", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return "/tmp";
}

LocalDateTime localNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

bool isVisibleFile(const std::string& path)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const auto slash = path.rfind('/');
    const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
    return nameStart >= path.size() || path[nameStart] != '.';
}

ReplacingFile::ReplacingFile(std::string path) : m_path(std::move(path)) {}

ReplacingFile::~ReplacingFile()
{
    discard();
}

bool ReplacingFile::open()
{
    // The new file must lie in the same folder, or the rename would not be a plain replacement.
    m_temporary = m_path + ".XXXXXX";
    const int fd = ::mkstemp(m_temporary.data());
    if (fd < 0) {
        m_error = std::strerror(errno);
        m_temporary.clear();
        return false;
    }
    m_handle = fd;
    return true;
}

void ReplacingFile::discard()
{
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
    m_handle = -1;
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    m_temporary.clear();
}

bool ReplacingFile::write(std::string_view bytes)
{
    if (!m_error.empty() || (m_handle < 0 && !open()))
        return false;
    const int fd = static_cast<int>(m_handle);
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            m_error = std::strerror(errno);
            discard();
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

WriteResult ReplacingFile::commit()
{
    if (m_error.empty() && m_handle < 0 && m_temporary.empty())
        open();
    if (!m_error.empty()) {
        discard();
        return WriteResult::failure(m_error);
    }
    const int fd = static_cast<int>(m_handle);
    m_handle = -1;
    int error = ::close(fd) == 0 ? 0 : errno;
    if (error == 0)
        error = moveIntoPlace(m_temporary, m_path);
    if (error != 0) {
        m_error = std::strerror(error);
        discard();
        return WriteResult::failure(m_error);
    }
    m_temporary.clear();
    return {};
}

WriteResult replaceFile(const std::string& path, std::string_view bytes)
{
    ReplacingFile file(path);
    file.write(bytes);
    return file.commit();
}

void setBinaryStdio() {}

} // namespace script
