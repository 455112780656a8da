#include "os/processtree.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <windows.h>

namespace process {

Interrupt::Interrupt()
{
    m_handle = reinterpret_cast<std::intptr_t>(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

Interrupt::~Interrupt()
{
    if (m_handle)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

void Interrupt::raise() noexcept
{
    SetEvent(reinterpret_cast<HANDLE>(m_handle));
}

bool Interrupt::raised() const noexcept
{
    return WaitForSingleObject(reinterpret_cast<HANDLE>(m_handle), 0) == WAIT_OBJECT_0;
}

namespace {

// A text in the ANSI code page, the encoding of every other text the journal and the messages hold here (paths,
// names, the system's messages); a letter the code page lacks becomes its nearest fit.
std::string ansiText(std::wstring_view text)
{
    const int wide = int(text.size());
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string bytes(std::size_t(std::max(size, 0)), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), wide, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

} // namespace

std::string describe(const Ending& ending)
{
    if (ending.killed)
        return ansiText(L"d\u00f6dad");
    if (ending.exited)
        return std::to_string(static_cast<unsigned>(ending.code));
    char text[32];
    std::snprintf(text, sizeof text, "undantag 0x%08X", static_cast<unsigned>(ending.code));
    return text;
}

struct ProcessTree::Native
{
    HANDLE process = nullptr;
    HANDLE job = nullptr;
};

namespace {

std::string systemMessage(DWORD error)
{
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length ? std::string(text, length) : "Windows-fel " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

// Kills every process of the job and waits (briefly) until the system counts none.
void terminateJob(HANDLE job)
{
    TerminateJobObject(job, 1);
    for (int i = 0; i < 200; ++i) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                       nullptr) ||
            accounting.ActiveProcesses == 0)
            return;
        Sleep(5);
    }
}

Ending endingOf(HANDLE process)
{
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    // An unhandled exception ends a process with its NTSTATUS code (0xC0000005 and the like).
    const bool crashed = (code & 0xC0000000u) == 0xC0000000u;
    return {!crashed, static_cast<int>(code)};
}

} // namespace

ProcessTree::ProcessTree(std::unique_ptr<Native> native) : m_native(std::move(native)) {}

ProcessTree::~ProcessTree()
{
    if (!m_done)
        kill();
    CloseHandle(m_native->process);
    // The job kills whatever is still in it when its last handle closes.
    CloseHandle(m_native->job);
}

std::unique_ptr<ProcessTree> ProcessTree::start(const std::string& commandLine, Show show, std::string& error)
{
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (!job) {
        error = systemMessage(GetLastError());
        return nullptr;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show == Show::Minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    std::string text = commandLine;
    // Suspended until it is in the job, so nothing it starts can slip out before.
    if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &started)) {
        error = systemMessage(GetLastError());
        CloseHandle(job);
        return nullptr;
    }
    if (!AssignProcessToJobObject(job, started.hProcess)) {
        error = systemMessage(GetLastError());
        TerminateProcess(started.hProcess, 1);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        CloseHandle(job);
        return nullptr;
    }
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);

    auto native = std::make_unique<Native>();
    native->process = started.hProcess;
    native->job = job;
    auto tree = std::unique_ptr<ProcessTree>(new ProcessTree(std::move(native)));
    tree->m_id = started.dwProcessId;
    return tree;
}

std::unique_ptr<ProcessTree> ProcessTree::start(const Command& command, Show show, const std::string&,
                                                std::string& error, const std::string& outputPath)
{
    (void)outputPath; // TODO(console output): the head's output to the file
    // The job holds every process the head starts, and dies with us: nothing needs a mark to be found later.
    return start(windowsCommandLine(command), show, error);
}

std::string newSessionMark()
{
    return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
}

std::size_t endSessions(const std::vector<std::string>&)
{
    // A job object kills what is in it when its last handle closes, which our death does: nothing is left.
    return 0;
}

ProcessTree::Wait ProcessTree::wait(std::chrono::steady_clock::time_point deadline, const Interrupt* interrupt)
{
    using namespace std::chrono;
    if (m_done)
        return Wait::Ended;
    while (true) {
        const auto now = steady_clock::now();
        const auto remaining = now >= deadline ? milliseconds(0) : ceil<milliseconds>(deadline - now);
        HANDLE handles[2] = {m_native->process, interrupt ? reinterpret_cast<HANDLE>(interrupt->handle()) : nullptr};
        const DWORD timeout = static_cast<DWORD>(std::min<milliseconds::rep>(remaining.count(), INFINITE - 1));
        const DWORD woken = WaitForMultipleObjects(interrupt ? 2 : 1, handles, FALSE, timeout);
        if (woken == WAIT_OBJECT_0) {
            m_ending = endingOf(m_native->process);
            terminateJob(m_native->job);
            m_done = true;
            return Wait::Ended;
        }
        if (woken == WAIT_OBJECT_0 + 1)
            return Wait::Interrupted;
        if (woken == WAIT_TIMEOUT && steady_clock::now() >= deadline)
            return Wait::TimedOut;
        if (woken == WAIT_FAILED)
            Sleep(1);
    }
}

void ProcessTree::kill()
{
    if (m_done)
        return;
    terminateJob(m_native->job);
    WaitForSingleObject(m_native->process, INFINITE);
    m_ending = {false, endingOf(m_native->process).code, true};
    m_done = true;
}

} // namespace process
