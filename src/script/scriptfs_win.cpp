#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/scriptfs.h"
#include "script/systemerror_win.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <utility>
#include <windows.h>

namespace script {

std::string systemErrorText(unsigned long code)
{
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = length > 0 && text ? std::string(text, length) : "fel " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!result.empty() &&
           (result.back() == '\r' || result.back() == '\n' || result.back() == ' ' || result.back() == '.'))
        result.pop_back();
    return result;
}

char nativeSeparator()
{
    return '\\';
}

std::string temporaryFolder()
{
    const char* value = std::getenv("TEMP");
    return value ? value : "";
}

LocalDateTime localNow()
{
    SYSTEMTIME local{};
    GetLocalTime(&local);
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

bool isVisibleFile(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN)) == 0;
}

ReplacingFile::ReplacingFile(std::string path) : m_path(std::move(path)) {}

ReplacingFile::~ReplacingFile()
{
    discard();
}

bool ReplacingFile::open()
{
    // The new file must lie in the same folder, or the move would not be a plain replacement.
    DWORD error = 0;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        m_temporary = m_path + "." + std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(GetTickCount() + attempt) + ".tmp";
        const HANDLE file =
            CreateFileA(m_temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            m_handle = reinterpret_cast<std::intptr_t>(file);
            return true;
        }
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            break;
    }
    m_temporary.clear();
    m_error = systemErrorText(error);
    return false;
}

void ReplacingFile::discard()
{
    if (m_handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = -1;
    if (!m_temporary.empty())
        DeleteFileA(m_temporary.c_str());
    m_temporary.clear();
}

bool ReplacingFile::write(std::string_view bytes)
{
    if (!m_error.empty() || (m_handle == -1 && !open()))
        return false;
    const HANDLE file = reinterpret_cast<HANDLE>(m_handle);
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
            m_error = systemErrorText(GetLastError());
            discard();
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

WriteResult ReplacingFile::commit()
{
    if (m_error.empty() && m_handle == -1 && m_temporary.empty())
        open();
    if (!m_error.empty()) {
        discard();
        return WriteResult::failure(m_error);
    }
    const HANDLE file = reinterpret_cast<HANDLE>(m_handle);
    m_handle = -1;
    DWORD error = CloseHandle(file) ? 0 : GetLastError();
    if (error == 0 && !MoveFileExA(m_temporary.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING))
        error = GetLastError();
    if (error != 0) {
        m_error = systemErrorText(error);
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

void setBinaryStdio()
{
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

} // namespace script
