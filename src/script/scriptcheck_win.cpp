#include "script/paths.h"
#include "script/scriptcheckfs.h"
#include "script/systemerror_win.h"

#include <string_view>
#include <unordered_set>
#include <windows.h>

namespace script {

namespace {

std::wstring wide(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

// The ANSI form of a wide name as the narrow file calls give it (look-alikes included), and whether the
// code page holds it exactly.
std::string narrow(const wchar_t* text, bool& exact)
{
    BOOL lost = FALSE;
    const int exactLength = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &lost);
    exact = exactLength > 0 && !lost;
    const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return {};
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), length, nullptr, nullptr);
    result.pop_back(); // the terminator
    return result;
}

LocalDateTime localTime(const FILETIME& written)
{
    FILETIME local{};
    SYSTEMTIME time{};
    FileTimeToLocalFileTime(&written, &local);
    FileTimeToSystemTime(&local, &time);
    return {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
}

bool isLockFileName(std::string_view name)
{
    std::string tail(name.substr(name.size() < 5 ? 0 : name.size() - 5));
    for (char& c : tail)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return std::string_view(tail).ends_with(".dwl") || std::string_view(tail).ends_with(".dwl2");
}

// No "insert the disk" box for a drive without a medium.
class QuietErrors
{
public:
    QuietErrors() : m_previous(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
    ~QuietErrors() { SetErrorMode(m_previous); }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    UINT m_previous;
};

} // namespace

struct DrawingFolder::Private
{
    std::string folder;
    bool listed = false;
    // The ANSI forms of the names whose real (wide) names the code page cannot hold.
    std::unordered_set<std::string> unencodable;
    std::unordered_set<std::string> lockNames; // the *.dwl and *.dwl2 names, in their ANSI forms

    std::string pathOf(std::string_view name) const { return joinPath(folder, name, '\\'); }

    void list()
    {
        listed = true;
        std::wstring pattern = wide(folder);
        if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
            pattern.push_back(L'\\');
        pattern.push_back(L'*');
        QuietErrors quiet;
        WIN32_FIND_DATAW entry;
        const HANDLE find =
            FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
        if (find == INVALID_HANDLE_VALUE)
            return;
        do {
            bool exact = true;
            std::string name = narrow(entry.cFileName, exact);
            if (!exact)
                unencodable.insert(name);
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && isLockFileName(name))
                lockNames.insert(std::move(name));
        } while (FindNextFileW(find, &entry));
        listed = GetLastError() == ERROR_NO_MORE_FILES;
        FindClose(find);
    }
};

DrawingFolder::DrawingFolder(std::string folder) : d(std::make_unique<Private>())
{
    d->folder = std::move(folder);
    d->list();
}

DrawingFolder::~DrawingFolder() = default;

DrawingState DrawingFolder::drawing(const std::string& name) const
{
    DrawingState state;
    const std::string path = d->pathOf(name);
    QuietErrors quiet;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) {
            state.presence = DrawingState::Presence::Missing;
        } else {
            state.presence = DrawingState::Presence::Unreachable;
            state.reason = systemErrorText(error);
        }
        return state;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        state.presence = DrawingState::Presence::NotAFile;
        return state;
    }
    state.presence = DrawingState::Presence::File;
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        state.readOnly = true;
        return state;
    }
    // Opened for writing while others may only read, as a program that saves the drawing would: a program
    // that holds it open without sharing it for writing makes this fail. Nothing is written.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return state;
    }
    switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        state.inUse = true;
        break;
    case ERROR_ACCESS_DENIED:
        state.readOnly = true; // the file's permissions
        break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        state.presence = DrawingState::Presence::Missing; // gone since the first look
        break;
    default:
        break;
    }
    return state;
}

std::optional<LockFile> DrawingFolder::lockFile(std::string_view stem) const
{
    if (d->listed && d->lockNames.empty())
        return std::nullopt;
    QuietErrors quiet;
    for (const char* extension : {".dwl", ".dwl2"}) {
        LockFile lock;
        lock.name = std::string(stem) + extension;
        // Names are compared without regard to case on Windows: the listing only rules the case out when it
        // holds no lock file at all.
        const std::string path = d->pathOf(lock.name);
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        lock.written = localTime(data.ftLastWriteTime);
        const HANDLE file =
            CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            lock.head.resize(lockFileHeadSize);
            DWORD read = 0;
            if (!ReadFile(file, lock.head.data(), static_cast<DWORD>(lock.head.size()), &read, nullptr))
                read = 0;
            lock.head.resize(read);
            CloseHandle(file);
        }
        return lock;
    }
    return std::nullopt;
}

bool DrawingFolder::nameEncodable(std::string_view name) const
{
    // '?' cannot stand in a Windows file name: in a narrow name it is a character the code page lost.
    if (name.find('?') != std::string_view::npos)
        return false;
    return !d->unencodable.contains(std::string(name));
}

bool DrawingFolder::folderEncodable() const
{
    return d->folder.find('?') == std::string::npos;
}

} // namespace script
