#include "winsupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <tlhelp32.h>
#include <vector>

namespace wintest {

bool runsUnderWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool mayWriteRegistry()
{
    const char* allowed = std::getenv("VENDREL_TESTS_OWN_REGISTRY");
    return runsUnderWine() || (allowed && std::string_view(allowed) == "1");
}

RawValue readRaw(HKEY root, const std::string& key, const std::string& name)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return {};
    RawValue value;
    DWORD size = 0;
    if (RegQueryValueExA(handle, name.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        if (RegQueryValueExA(handle, name.c_str(), nullptr, &value.type, reinterpret_cast<BYTE*>(value.data.data()),
                             &size) == ERROR_SUCCESS) {
            value.data.resize(size);
            value.exists = true;
        }
    }
    RegCloseKey(handle);
    return value.exists ? value : RawValue{};
}

void writeRaw(HKEY root, const std::string& key, const std::string& name, DWORD type, std::string_view data)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the key " + key);
    const LONG rc = RegSetValueExA(handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                   static_cast<DWORD>(data.size()));
    RegCloseKey(handle);
    if (rc != ERROR_SUCCESS)
        throw std::runtime_error("cannot set " + key + "\\" + name);
}

void deleteTree(HKEY root, const std::string& key)
{
    RegDeleteTreeA(root, key.c_str());
    RegDeleteKeyA(root, key.c_str());
}

TemporaryFolder::TemporaryFolder(std::string_view prefix)
{
    char base[MAX_PATH + 1] = {};
    GetTempPathA(sizeof base, base);
    for (unsigned attempt = 0;; ++attempt) {
        m_path = std::string(base) + std::string(prefix) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(attempt);
        if (CreateDirectoryA(m_path.c_str(), nullptr))
            return;
        if (GetLastError() != ERROR_ALREADY_EXISTS || attempt > 1000)
            throw std::runtime_error("cannot create a temporary folder under " + std::string(base));
    }
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

std::string ownFolder()
{
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\'));
}

DWORD runProgram(std::string program, const std::string& arguments, const std::string& outputPath, bool errorToo)
{
    if (!program.empty() && program.front() == '/')
        program = "Z:" + program;
    for (char& c : program) {
        if (c == '/')
            c = '\\';
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE output =
        CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE)
        return DWORD(-1);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = errorToo ? output : GetStdHandle(STD_ERROR_HANDLE);
    std::string commandLine = "\"" + program + "\" " + arguments;
    PROCESS_INFORMATION process{};
    DWORD exitCode = DWORD(-1);
    if (CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(output);
    return exitCode;
}

void waitForChildProcesses()
{
    // A child may start children of its own; those are not ours to wait for.
    std::set<DWORD> waited;
    for (;;) {
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE)
            return;
        std::vector<HANDLE> children;
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            if (entry.th32ParentProcessID != GetCurrentProcessId() || !waited.insert(entry.th32ProcessID).second)
                continue;
            if (const HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID))
                children.push_back(child);
        }
        CloseHandle(snapshot);
        if (children.empty())
            return;
        for (const HANDLE child : children) {
            WaitForSingleObject(child, INFINITE);
            CloseHandle(child);
        }
    }
}

} // namespace wintest
