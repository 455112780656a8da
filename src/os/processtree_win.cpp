#include "os/processtree.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>
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

namespace {

// What the head is given to read and write instead of ours: nothing to read, one file for both outputs.
struct Redirection
{
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE output = INVALID_HANDLE_VALUE;

    Redirection() = default;
    Redirection(const Redirection&) = delete;
    Redirection& operator=(const Redirection&) = delete;
    ~Redirection()
    {
        for (HANDLE handle : {input, output}) {
            if (handle != INVALID_HANDLE_VALUE)
                CloseHandle(handle);
        }
    }

    // Inheritable, as standard handles must be; the head is the one child that gets them (see createSuspended).
    Result<void> open(const std::string& outputPath)
    {
        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        // Both streams share this one handle, and with it one file position: what the program writes to
        // either stays in the order it wrote it.
        output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherited,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (output == INVALID_HANDLE_VALUE)
            return Result<void>::failure(outputPath + ": " + systemMessage(GetLastError()));
        input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (input == INVALID_HANDLE_VALUE)
            return Result<void>::failure("NUL: " + systemMessage(GetLastError()));
        return {};
    }
};

// Starts the command line suspended, with its standard handles from redirection when it has any. Only those
// handles are inherited, named in the start's attribute list: the sessions running beside this one start
// their programs at the same time, and a session's program that inherited another's output file would hold
// it open, and that file's end with it, as long as it runs.
Result<PROCESS_INFORMATION> createSuspended(std::string commandLine, Show show, const Redirection* redirection)
{
    using Created = Result<PROCESS_INFORMATION>;
    STARTUPINFOEXA startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = show == Show::Minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
    DWORD flags = CREATE_SUSPENDED;
    std::vector<char> attributes;
    HANDLE inherited[2] = {};
    if (redirection) {
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = redirection->input;
        startup.StartupInfo.hStdOutput = redirection->output;
        startup.StartupInfo.hStdError = redirection->output;
        inherited[0] = redirection->input;
        inherited[1] = redirection->output;
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        attributes.resize(size);
        startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
        if (!InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size))
            return Created::failure(systemMessage(GetLastError()));
        if (!UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                       sizeof inherited, nullptr, nullptr)) {
            const DWORD failure = GetLastError();
            DeleteProcThreadAttributeList(startup.lpAttributeList);
            return Created::failure(systemMessage(failure));
        }
        // The output goes to the file: a console program needs no window of its own for it.
        flags |= EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW;
    }
    PROCESS_INFORMATION started{};
    const BOOL created = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, redirection ? TRUE : FALSE,
                                        flags, nullptr, nullptr, &startup.StartupInfo, &started);
    const DWORD failure = created ? 0 : GetLastError();
    if (redirection)
        DeleteProcThreadAttributeList(startup.lpAttributeList);
    if (!created)
        return Created::failure(systemMessage(failure));
    return started;
}

// The head, suspended until it is in its job so that nothing it starts can slip out before, and the job.
struct Launched
{
    HANDLE process = nullptr;
    HANDLE job = nullptr;
    DWORD id = 0;
};

Result<Launched> launch(const std::string& commandLine, Show show, const Redirection* redirection)
{
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (!job)
        return Result<Launched>::failure(systemMessage(GetLastError()));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    const auto created = createSuspended(commandLine, show, redirection);
    if (!created) {
        CloseHandle(job);
        return Result<Launched>::failure(created.error());
    }
    const PROCESS_INFORMATION& started = *created;
    if (!AssignProcessToJobObject(job, started.hProcess)) {
        const DWORD failure = GetLastError();
        TerminateProcess(started.hProcess, 1);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        CloseHandle(job);
        return Result<Launched>::failure(systemMessage(failure));
    }
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    return Launched{started.hProcess, job, started.dwProcessId};
}

} // namespace

Result<std::unique_ptr<ProcessTree>> ProcessTree::start(const std::string& commandLine, Show show)
{
    // The whole line as one typed word: it reaches the system as it is.
    return start(Command{{commandLine, true}}, show, {});
}

Result<std::unique_ptr<ProcessTree>> ProcessTree::start(const Command& command, Show show, const std::string&,
                                                        const std::string& outputPath)
{
    using Started = Result<std::unique_ptr<ProcessTree>>;
    Redirection redirection;
    if (!outputPath.empty()) {
        if (auto opened = redirection.open(outputPath); !opened)
            return Started::failure(opened.error());
    }
    // The job holds every process the head starts, and dies with us: nothing needs a mark to be found later.
    // Our copies of the redirected handles close on the way out; the head has its own.
    const auto launched = launch(windowsCommandLine(command), show, outputPath.empty() ? nullptr : &redirection);
    if (!launched)
        return Started::failure(launched.error());
    auto native = std::make_unique<Native>();
    native->process = launched->process;
    native->job = launched->job;
    auto tree = std::unique_ptr<ProcessTree>(new ProcessTree(std::move(native)));
    tree->m_id = launched->id;
    return tree;
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
