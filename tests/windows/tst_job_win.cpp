// A job file in a folder whose name the ANSI code page holds (C:\Jobb åäö), run by vendrel-run.exe: its UTF-8
// paths and names reach the file system, the script and the journal in the ANSI code page.
#include "supervise/journal.h"
#include "support/readback.h"
#include "winsupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

std::string ansi(const wchar_t* text)
{
    char bytes[MAX_PATH] = {};
    const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    return std::string(bytes, std::size_t(std::max(length - 1, 0)));
}

// The folder at the drive's root, made for the test and taken away with everything in it afterwards.
class RootFolder
{
public:
    explicit RootFolder(const wchar_t* path) : m_path(path)
    {
        m_made = std::filesystem::create_directory(m_path, m_error);
    }
    ~RootFolder()
    {
        if (m_made)
            std::filesystem::remove_all(m_path, m_error);
    }
    RootFolder(const RootFolder&) = delete;
    RootFolder& operator=(const RootFolder&) = delete;
    bool made() const { return m_made; }

private:
    std::filesystem::path m_path;
    std::error_code m_error;
    bool m_made = false;
};

TEST(JobTool, AJobInAFolderWithSwedishLettersRuns)
{
    const RootFolder made(L"C:\\Jobb \u00e5\u00e4\u00f6");
    if (!made.made())
        GTEST_SKIP() << "C:\\Jobb åäö is there already: not the test's to touch";
    const std::string root = ansi(L"C:\\Jobb \u00e5\u00e4\u00f6");
    // The journals go to the test's own LOCALAPPDATA, which vendrel-run inherits.
    wintest::TemporaryFolder data;
    char kept[MAX_PATH + 1] = {};
    const DWORD keptLength = GetEnvironmentVariableA("LOCALAPPDATA", kept, sizeof kept);
    ASSERT_TRUE(SetEnvironmentVariableA("LOCALAPPDATA", data.path().c_str()));
    for (const char* folder : {"\\Mallar", "\\Ritningar", "\\Ritningar\\sub", "\\cad"})
        CreateDirectoryA((root + folder).c_str(), nullptr);
    wintest::writeFile(root + "\\Mallar\\rensa.scr", "_.OPEN \"%f\"\r\n");
    const std::string fasad = ansi(L"Fasad \u00f6st.dwg");
    for (const std::string& name : {fasad, std::string("K01.dwg"), std::string("sub\\K02.dwg")})
        wintest::writeFile(root + "\\Ritningar\\" + name, "dwg");
    const std::string program = root + "\\cad\\acad.exe";
    ASSERT_TRUE(CopyFileA((wintest::ownFolder() + "\\run_stand_in.exe").c_str(), program.c_str(), FALSE));
    const std::string jobPath = root + "\\natt.vjob";
    wintest::writeFile(jobPath, "version = 1\ntemplate = \"Mallar/rensa.scr\"\n[drawings]\nfolder = \"Ritningar\"\n"
                                "subfolders = true\n[cad]\nprogram = \"cad/acad.exe\"\n[run]\nbatch = 2\n");

    const std::string out = data.file("out.txt");
    ASSERT_EQ(wintest::runProgram(VENDREL_RUN_TOOL, "--job \"" + jobPath + "\"", out, true), 0u)
        << wintest::readFile(out);
    wintest::waitForChildProcesses();

    const std::string runs = data.path() + "\\Brannoc\\Vendrel\\runs";
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((runs + "\\natt-*.journal").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    supervise::JournalContent content;
    const auto read = readBack(runs + "\\" + found.cFileName, content);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(content.jobPath, jobPath);
    EXPECT_EQ(content.request.templatePath, root + "\\Mallar\\rensa.scr");
    EXPECT_EQ(content.request.listingFolder, root + "\\Ritningar");
    EXPECT_EQ(content.request.cad.path, program);
    const std::vector<std::string> names = {fasad, "K01.dwg", "sub\\K02.dwg"};
    ASSERT_EQ(content.drawings.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(content.drawings[i].name, names[i]);
        EXPECT_EQ(content.drawings[i].state, supervise::State::Done) << names[i];
    }
    EXPECT_NE(wintest::readFile(root + "\\cad\\acad.txt").find("_.OPEN \"" + root + "\\Ritningar\\" + fasad + "\""),
              std::string::npos);

    // A name the ANSI code page cannot hold is refused with its line, and nothing runs.
    if (GetACP() != CP_UTF8) {
        wintest::writeFile(jobPath, "version = 1\ntemplate = \"Mallar/rensa.scr\"\n[drawings]\nfolder = \"Ritningar\"\n"
                                    "names = [\"Plan \xE4\xB8\xAD.dwg\"]\n[cad]\nprogram = \"cad/acad.exe\"\n");
        EXPECT_EQ(wintest::runProgram(VENDREL_RUN_TOOL, "--job \"" + jobPath + "\"", out, true), 2u);
        EXPECT_NE(wintest::readFile(out).find("rad 5: namnet Plan \xE4\xB8\xAD.dwg"), std::string::npos)
            << wintest::readFile(out);
    }
    SetEnvironmentVariableA("LOCALAPPDATA", keptLength > 0 && keptLength <= MAX_PATH ? kept : nullptr);
}

} // namespace
