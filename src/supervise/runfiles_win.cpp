#include "supervise/runfiles.h"

#include <chrono>
#include <windows.h>

namespace supervise {

namespace {

HANDLE handleOf(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

std::string systemMessage(DWORD code)
{
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length ? std::string(text, length) : "Windows-fel " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

// The writer shares the file with readers only: a second writer is refused by the system itself. The
// handle is not inherited by the programs a run starts.
Result<HANDLE, JournalFile::Problem> openWith(const std::string& path, DWORD disposition)
{
    using Kind = JournalFile::Problem::Kind;
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
        return handle;
    const DWORD code = GetLastError();
    const Kind kind = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ? Kind::Busy
                      : code == ERROR_FILE_EXISTS                                     ? Kind::Exists
                                                                                      : Kind::Failed;
    return Result<HANDLE, JournalFile::Problem>::failure({kind, systemMessage(code)});
}

} // namespace

JournalFile::Opening JournalFile::create(const std::string& path, std::string_view bytes)
{
    // No writer can open it beside us from the moment it exists; a reader may see it half written, and reads
    // that as a journal whose making never finished.
    const auto handle = openWith(path, CREATE_NEW);
    if (!handle)
        return Opening::failure(handle.error());
    auto file = std::unique_ptr<JournalFile>(new JournalFile(reinterpret_cast<std::intptr_t>(*handle)));
    if (auto written = file->append(bytes, true); !written) {
        // A journal without its drawings is of no use, and its name would stand in the way of the next try.
        file.reset();
        DeleteFileA(path.c_str());
        return Opening::failure({Problem::Kind::Failed, written.error()});
    }
    return file;
}

JournalFile::Opening JournalFile::open(const std::string& path)
{
    const auto handle = openWith(path, OPEN_EXISTING);
    if (!handle)
        return Opening::failure(handle.error());
    auto file = std::unique_ptr<JournalFile>(new JournalFile(reinterpret_cast<std::intptr_t>(*handle)));
    if (GetFileType(*handle) != FILE_TYPE_DISK)
        return Opening::failure({Problem::Kind::Failed, "ingen vanlig fil"});
    return file;
}

JournalFile::~JournalFile()
{
    CloseHandle(handleOf(m_handle));
}

Result<std::string> JournalFile::readAll()
{
    std::string bytes;
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(handleOf(m_handle), start, nullptr, FILE_BEGIN))
        return Result<std::string>::failure(systemMessage(GetLastError()));
    char buffer[64 * 1024];
    while (true) {
        DWORD got = 0;
        if (!ReadFile(handleOf(m_handle), buffer, sizeof buffer, &got, nullptr))
            return Result<std::string>::failure(systemMessage(GetLastError()));
        if (got == 0)
            return bytes;
        bytes.append(buffer, got);
    }
}

Result<void> JournalFile::truncate(std::uint64_t size)
{
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(handleOf(m_handle), at, nullptr, FILE_BEGIN) || !SetEndOfFile(handleOf(m_handle)) ||
        !FlushFileBuffers(handleOf(m_handle)))
        return Result<void>::failure(systemMessage(GetLastError()));
    return {};
}

Result<void> JournalFile::cutBack()
{
    if (m_cutTo < 0)
        return {};
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(m_cutTo);
    if (!SetFilePointerEx(handleOf(m_handle), at, nullptr, FILE_BEGIN) || !SetEndOfFile(handleOf(m_handle)))
        return Result<void>::failure(systemMessage(GetLastError()));
    m_cutTo = -1;
    return {};
}

Result<void> JournalFile::append(std::string_view bytes, bool sync)
{
    // A bare sync moves nothing: it may come from another thread while a record is being written.
    if (bytes.empty()) {
        if (sync && !FlushFileBuffers(handleOf(m_handle)))
            return Result<void>::failure(systemMessage(GetLastError()));
        return {};
    }
    if (auto cut = cutBack(); !cut)
        return cut;
    LARGE_INTEGER none{}, end{};
    if (!SetFilePointerEx(handleOf(m_handle), none, &end, FILE_END))
        return Result<void>::failure(systemMessage(GetLastError()));
    DWORD failure = ERROR_SUCCESS;
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(handleOf(m_handle), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written == 0) {
            failure = GetLastError();
            if (failure == ERROR_SUCCESS)
                failure = ERROR_WRITE_FAULT;
            break;
        }
        bytes.remove_prefix(written);
    }
    if (failure == ERROR_SUCCESS && sync && !FlushFileBuffers(handleOf(m_handle)))
        failure = GetLastError();
    if (failure == ERROR_SUCCESS)
        return {};
    const std::string message = systemMessage(failure);
    m_cutTo = end.QuadPart;
    // The write's failure is the one to tell; the next append tries the cut again.
    (void)cutBack();
    return Result<void>::failure(message);
}

Result<std::string> readWholeFile(const std::string& path)
{
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Result<std::string>::failure(systemMessage(GetLastError()));
    JournalFile reader(reinterpret_cast<std::intptr_t>(handle));
    // A pipe or a device would keep the read waiting.
    if (GetFileType(handle) != FILE_TYPE_DISK)
        return Result<std::string>::failure("ingen vanlig fil");
    return reader.readAll();
}

namespace {

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION& information)
{
    return {information.dwVolumeSerialNumber,
            (std::uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

} // namespace

Result<FileIdentity> makeOwnFile(const std::string& path)
{
    // A link at the path goes, not the file it leads to; the new file is made only where nothing stands, so it
    // is never someone else's.
    if (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return Result<FileIdentity>::failure(systemMessage(GetLastError()));
    HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Result<FileIdentity>::failure(systemMessage(GetLastError()));
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = GetFileInformationByHandle(handle, &information);
    const DWORD failure = GetLastError();
    CloseHandle(handle);
    if (!known)
        return Result<FileIdentity>::failure(systemMessage(failure));
    return identityOf(information);
}

Result<FilePiece, FileRefusal> readOwnFile(const std::string& path, std::uint64_t offset, std::size_t limit)
{
    using Refused = Result<FilePiece, FileRefusal>;
    // The CAD program appends while this reads, and the run removes the file while a reader may hold it. Owners
    // are not compared: the run's files lie in the user's own folder.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return FilePiece{};
        return Refused::failure({FileRefusal::Kind::Unreadable, systemMessage(code)});
    }
    struct Closer
    {
        HANDLE handle;
        ~Closer() { CloseHandle(handle); }
    } closer{handle};
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(handle) != FILE_TYPE_DISK)
        return Refused::failure({FileRefusal::Kind::NotPlain, {}});
    if (!GetFileInformationByHandle(handle, &information))
        return Refused::failure({FileRefusal::Kind::Unreadable, systemMessage(GetLastError())});
    if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Refused::failure({FileRefusal::Kind::Link, {}});
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Refused::failure({FileRefusal::Kind::NotPlain, {}});
    FilePiece piece;
    piece.exists = true;
    piece.identity = identityOf(information);
    piece.size = (std::uint64_t(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle, at, nullptr, FILE_BEGIN))
        return Refused::failure({FileRefusal::Kind::Unreadable, systemMessage(GetLastError())});
    piece.bytes.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
        DWORD read = 0;
        if (!ReadFile(handle, piece.bytes.data() + got, static_cast<DWORD>(limit - got), &read, nullptr))
            return Refused::failure({FileRefusal::Kind::Unreadable, systemMessage(GetLastError())});
        if (read == 0)
            break;
        got += read;
    }
    piece.bytes.resize(got);
    return piece;
}

Result<std::string> runsFolder()
{
    char data[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", data, sizeof data);
    if (length == 0 || length >= sizeof data)
        return Result<std::string>::failure("LOCALAPPDATA är inte satt");
    std::string folder(data, length);
    for (const char* part : {"\\Brannoc", "\\Vendrel", "\\runs"}) {
        folder += part;
        if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return Result<std::string>::failure(folder + ": " + systemMessage(GetLastError()));
    }
    return folder;
}

std::vector<std::string> journalsIn(const std::string& folder)
{
    std::vector<std::string> paths;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "\\*.journal").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return paths;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            paths.push_back(folder + "\\" + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return paths;
}

FileStamp stampOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    const std::int64_t ticks =
        (std::int64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return {true, ticks * 100};
}

std::int64_t wallClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string ownProgramFolder()
{
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string own(path, length);
    const auto slash = own.find_last_of("\\/");
    return slash == std::string::npos ? "." : own.substr(0, slash);
}

std::string hostName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    if (!GetComputerNameA(name, &length) || length == 0)
        return "?";
    return std::string(name, length);
}

} // namespace supervise

namespace supervise {

Result<void> makeFolder(const std::string& path)
{
    if (CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return {};
    return Result<void>::failure(systemMessage(GetLastError()));
}

} // namespace supervise
