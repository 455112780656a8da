#include "os/capture.h"
#include "os/pathtext.h"
#include "schedule/scheduler.h"
#include "schedule/texts.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <windows.h>

namespace schedule::native {

namespace {

std::string environment(const char* name)
{
    char value[512];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

Result<process::Captured> runSchtasks(std::vector<std::string> words)
{
    words.insert(words.begin(), "schtasks.exe");
    return runScheduler("schtasks", std::move(words));
}

// The folder in which the Task Scheduler keeps the tasks' definitions, as files. Readable by administrators
// only on Windows; Wine's schtasks lists nothing, and this is where its tasks are found.
std::string taskFiles()
{
    return environment("SystemRoot") + "\\System32\\Tasks\\" + std::string(taskFolder);
}

// A task's XML as UTF-8, from a file in UTF-16 LE (with or without its mark) or UTF-8.
std::string xmlText(const std::string& bytes)
{
    const bool utf16 = bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || bytes[1] == '\0');
    if (!utf16)
        return bytes;
    const std::size_t skip = bytes[0] == '\xFF' ? 2 : 0;
    const int units = int((bytes.size() - skip) / 2);
    const auto* wide = reinterpret_cast<const wchar_t*>(bytes.data() + skip);
    const int narrow = WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr);
    std::string text(std::size_t(narrow), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, units, text.data(), narrow, nullptr, nullptr);
    return text;
}

// The first field of a line of schtasks' CSV: the task's path, as "\Vendrel\natt".
std::string firstField(const std::string& line)
{
    if (line.empty() || line[0] != '"')
        return {};
    const std::size_t end = line.find('"', 1);
    return end == std::string::npos ? std::string() : line.substr(1, end - 1);
}

std::string describedBy(const std::string& name)
{
    if (const auto file = readFile(taskFiles() + "\\" + name))
        return xmlElementText(xmlText(*file), "Description");
    const auto ran = runSchtasks({"/Query", "/TN", taskPath(name), "/XML"});
    return ran && ran->success() ? xmlElementText(ran->output, "Description") : std::string();
}

} // namespace

System system()
{
    return System::TaskScheduler;
}

Result<std::vector<Listed>> list()
{
    std::vector<std::string> names;
    const auto ran = runSchtasks({"/Query", "/FO", "CSV", "/NH"});
    if (!ran)
        return Result<std::vector<Listed>>::failure(ran.error());
    if (!ran->success())
        return Result<std::vector<Listed>>::failure(refusal("schtasks", *ran));
    const std::string prefix = "\\" + std::string(taskFolder) + "\\";
    std::istringstream lines(ran->output);
    for (std::string line; std::getline(lines, line);) {
        const std::string path = firstField(line);
        if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
            path.find('\\', prefix.size()) == std::string::npos)
            names.push_back(path.substr(prefix.size()));
    }
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((taskFiles() + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && checkName(name))
                names.push_back(name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::vector<Listed> tasks;
    for (const std::string& name : names) {
        bool seen = false;
        for (const Listed& task : tasks)
            seen = seen || task.name == name;
        if (!seen)
            tasks.push_back({name, describedBy(name)});
    }
    return tasks;
}

Result<void> add(const Task& task, bool replacing, const Moment& now)
{
    const std::string domain = environment("USERDOMAIN"), user = environment("USERNAME");
    const std::string account = pathText(domain.empty() ? user : domain + "\\" + user);
    char folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    char file[MAX_PATH + 1];
    if (length == 0 || length > MAX_PATH || !GetTempFileNameA(folder, "vdr", 0, file))
        return Result<void>::failure(texts::cannotWrite("TEMP", "ingen temporär fil"));
    const std::string path = file;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << taskXmlFile(taskXml(task, account, now));
        out.close();
        if (!out) {
            std::remove(path.c_str());
            return Result<void>::failure(texts::cannotWrite(pathText(path), "skrivfel"));
        }
    }
    std::vector<std::string> words{"/Create", "/XML", path, "/TN", taskPath(task.name)};
    if (replacing)
        words.push_back("/F");
    const auto ran = runSchtasks(words);
    std::remove(path.c_str());
    if (!ran)
        return Result<void>::failure(ran.error());
    if (!ran->success())
        return Result<void>::failure(refusal("schtasks", *ran));
    return {};
}

Result<void> remove(std::string_view name)
{
    const auto ran = runSchtasks({"/Delete", "/TN", taskPath(name), "/F"});
    if (!ran)
        return Result<void>::failure(ran.error());
    if (!ran->success())
        return Result<void>::failure(refusal("schtasks", *ran));
    return {};
}

} // namespace schedule::native
