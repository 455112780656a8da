// vendrel-run.exe --schedule against the system's own schtasks.exe (Wine's in CI): the task registered in the
// folder Vendrel with the job's path (blanks, å ä ö) quoted for CommandLineToArgvW, listed, refused a second
// time, removed. Wine's schtasks /query lists nothing; Wine keeps the task as a file, which the test reads.
#include "schedule/schedule.h"
#include "winsupport.h"

#include <gtest/gtest.h>
#include <shellapi.h>

namespace {

std::string ansi(const wchar_t* text)
{
    char bytes[MAX_PATH] = {};
    const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    return std::string(bytes, std::size_t(std::max(length - 1, 0)));
}

std::wstring taskFile(const std::wstring& name)
{
    wchar_t root[MAX_PATH] = {};
    GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
    return std::wstring(root) + L"\\System32\\Tasks\\Vendrel\\" + name;
}

// The task's XML as the Task Scheduler keeps it (Windows in UTF-16, Wine in UTF-8, each with its mark); empty
// when there is none to read.
std::wstring taskXml(const std::wstring& name)
{
    const HANDLE file =
        CreateFileW(taskFile(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    const std::size_t skip = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    std::wstring text(bytes.size(), L'\0');
    text.resize(std::size_t(
        MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, int(bytes.size() - skip), text.data(), int(text.size()))));
    return text;
}

std::wstring between(const std::wstring& text, const std::wstring& open, const std::wstring& close)
{
    const std::size_t begin = text.find(open);
    if (begin == std::wstring::npos)
        return {};
    const std::size_t end = text.find(close, begin + open.size());
    return text.substr(begin + open.size(), end - begin - open.size());
}

TEST(ScheduleTool, AJobIsRegisteredWithSchtasksListedAndRemoved)
{
    wintest::TemporaryFolder folder;
    const std::string jobs = folder.path() + "\\" + ansi(L"Jobb \u00e5\u00e4\u00f6");
    ASSERT_TRUE(CreateDirectoryA(jobs.c_str(), nullptr));
    const std::string job = jobs + "\\" + ansi(L"Natt k\u00f6rning.vjob");
    wintest::writeFile(
        job, "version = 1\ntemplate = \"m.scr\"\n[drawings]\nfolder = \".\"\n[cad]\nprogram = \"C:/cad.exe\"\n");
    const std::string out = folder.file("out.txt");
    const std::string run = VENDREL_RUN_TOOL;
    const auto vendrelRun = [&](const std::string& arguments) {
        return wintest::runProgram(run, arguments, out, true);
    };
    (void)vendrelRun("--unschedule Natt-korning"); // one left by an earlier run that was killed

    ASSERT_EQ(vendrelRun("--schedule \"weekdays 02:30\" --job \"" + job + "\""), 0u) << wintest::readFile(out);
    const std::wstring xml = taskXml(L"Natt-korning");
    if (xml.empty() && !wintest::runsUnderWine())
        GTEST_SKIP() << "the Task Scheduler's files are readable by administrators only";
    ASSERT_FALSE(xml.empty()) << wintest::readFile(out);
    wchar_t wideJob[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, job.c_str(), -1, wideJob, MAX_PATH);
    EXPECT_EQ(between(xml, L"<URI>", L"</URI>"), L"\\Vendrel\\Natt-korning");
    EXPECT_EQ(between(xml, L"<Description>", L"</Description>"), L"Vendrel: weekdays 02:30 " + std::wstring(wideJob));
    // Wine 8 keeps the registration and the settings but drops the triggers, the principal and the action's
    // command: those are checked only where the Task Scheduler keeps them.
    if (!wintest::runsUnderWine()) {
        EXPECT_NE(xml.find(L"<LogonType>InteractiveToken</LogonType>"), std::wstring::npos);
        EXPECT_NE(xml.find(L"<Monday"), std::wstring::npos);
    }

    // The arguments as the task starts vendrel-run with them, split by the system's CommandLineToArgvW.
    schedule::Task task;
    {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wideJob, -1, nullptr, 0, nullptr, nullptr);
        task.jobPath.resize(std::size_t(size - 1));
        WideCharToMultiByte(CP_UTF8, 0, wideJob, -1, task.jobPath.data(), size, nullptr, nullptr);
    }
    for (const std::string& path : {task.jobPath, std::string("\\\\server\\dela\\"), std::string("C:\\a \\\"b\\")}) {
        task.jobPath = path;
        const std::string arguments = "vendrel-run.exe " + schedule::taskArguments(task);
        std::wstring wide(arguments.size(), L'\0');
        wide.resize(std::size_t(
            MultiByteToWideChar(CP_UTF8, 0, arguments.data(), int(arguments.size()), wide.data(), int(wide.size()))));
        int count = 0;
        wchar_t** words = CommandLineToArgvW(wide.c_str(), &count);
        ASSERT_EQ(count, 3) << arguments;
        EXPECT_EQ(std::wstring(words[1]), L"--job");
        std::wstring expected(path.size(), L'\0');
        expected.resize(std::size_t(
            MultiByteToWideChar(CP_UTF8, 0, path.data(), int(path.size()), expected.data(), int(expected.size()))));
        EXPECT_EQ(std::wstring(words[2]), expected) << arguments;
        LocalFree(words);
    }

    ASSERT_EQ(vendrelRun("--schedules"), 0u);
    EXPECT_NE(wintest::readFile(out).find("Natt-korning\tVendrel: weekdays 02:30 "), std::string::npos)
        << wintest::readFile(out);
    EXPECT_EQ(vendrelRun("--schedule \"daily 03:00\" --job \"" + job + "\""), 1u);
    EXPECT_NE(wintest::readFile(out).find("finns redan"), std::string::npos) << wintest::readFile(out);
    ASSERT_EQ(vendrelRun("--schedule \"daily 03:00\" --job \"" + job + "\" --replace"), 0u) << wintest::readFile(out);
    EXPECT_EQ(between(taskXml(L"Natt-korning"), L"<Description>", L"</Description>"),
              L"Vendrel: daily 03:00 " + std::wstring(wideJob));

    ASSERT_EQ(vendrelRun("--unschedule Natt-korning"), 0u) << wintest::readFile(out);
    EXPECT_EQ(taskXml(L"Natt-korning"), L"");
    EXPECT_EQ(vendrelRun("--unschedule Natt-korning"), 1u);
}

} // namespace
