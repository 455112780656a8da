#pragma once

#include <string>
#include <string_view>
#include <windows.h>

// Helpers for the tests that run against the Win32 API itself (under Wine in CI).
namespace wintest {

// The tests write HKEY_CURRENT_USER\Software\Brannoc\Vendrel and HKEY_CLASSES_ROOT. That is harmless in
// the build's own Wine folder; on a real Windows machine it would overwrite the user's settings and file
// types, so there the tests run only when VENDREL_TESTS_OWN_REGISTRY=1 says the machine is a test machine.
bool mayWriteRegistry();
bool runsUnderWine();

// A value as the registry holds it, read without the code under test.
struct RawValue
{
    bool exists = false;
    DWORD type = REG_NONE;
    std::string data;
};
RawValue readRaw(HKEY root, const std::string& key, const std::string& name);
void writeRaw(HKEY root, const std::string& key, const std::string& name, DWORD type, std::string_view data);
void deleteTree(HKEY root, const std::string& key);

// A fresh folder under the temporary folder, removed with everything in it by the destructor.
class TemporaryFolder
{
public:
    explicit TemporaryFolder(std::string_view prefix = "vendrel");
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(std::string_view name) const { return m_path + "\\" + std::string(name); }

private:
    std::string m_path;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view bytes);

// The folder of the running test program.
std::string ownFolder();

// Runs a program of the build (a Unix path is taken as Wine's drive Z: shows it) with its standard output in a
// file and its standard error in the same file or this process's; gives its exit code.
DWORD runProgram(std::string program, const std::string& arguments, const std::string& outputPath,
                 bool errorToo = false);

// Waits until every process this one has started has ended (the code under test keeps no handles).
void waitForChildProcesses();

} // namespace wintest
