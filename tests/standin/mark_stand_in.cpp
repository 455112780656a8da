// Stands in for a CAD program that runs scripts: reads the script it is given (the argument after /b, or after
// /s in the headless console's form, where /i names the drawing), carries out the drawing marks Vendrel writes
// (exactly that one AutoLISP form; any other line that begins with "(" is ignored, as is every other command),
// and behaves as the names of the drawings it opens ask:
//   HANG     hangs in that drawing          CRASH   crashes in that drawing
//   STOP     the script stops there (the program ends normally, as if the user closed it)
//   FAIL     ends with status 1 at .EXIT    EXITHANG  hangs in .EXIT, after the drawing's end mark
// It logs to $VENDREL_STANDIN_LOG (or "<own path>.log") one line per event, each with its process id and the
// wall clock in milliseconds: "args [<argument>]...", "start", "mark <begin|end> <n>", "open <drawing>", "hang",
// "crash", "stop", "exit". The arguments are those after the program's, on Windows as the system's parsing of
// the wide command line gives them, in the ANSI code page.
// VENDREL_STANDIN_MS: milliseconds spent in each drawing, asleep. VENDREL_STANDIN_NOLISP=1: a program without
// AutoLISP, which ignores the marks. VENDREL_STANDIN_STDERR=1: the headless console's form writes a line to
// standard error too, after its line to standard output.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h> // CommandLineToArgvW
#else
#include <unistd.h>
#endif

namespace {

std::string logPath;

long long processId()
{
#ifdef _WIN32
    return static_cast<long long>(GetCurrentProcessId());
#else
    return static_cast<long long>(::getpid());
#endif
}

// One write at the end of the file, whole: several of these programs may log to one file at once.
void append(const std::string& path, const std::string& text)
{
#ifdef _WIN32
    // The C library seeks to the end and then writes, which races with another writer (under Wine even an
    // append-only handle may): one writer at a time, the others wait their turn. Readers are welcome.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < 5000; ++tries) {
        file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        Sleep(1);
    }
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
#else
    if (std::FILE* out = std::fopen(path.c_str(), "ab")) {
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
#endif
}

void log(const std::string& event)
{
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    append(logPath, std::to_string(processId()) + " " + std::to_string(ms) + " " + event + "\n");
}

[[noreturn]] void hang()
{
    log("hang");
    std::this_thread::sleep_for(std::chrono::seconds(120));
    std::exit(0);
}

[[noreturn]] void crash()
{
    log("crash");
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), 0xC0000005); // as an access violation ends it, without a debugger
#else
    std::signal(SIGSEGV, SIG_DFL);
    std::raise(SIGSEGV);
#endif
    std::abort();
}

// The one form of a mark: (progn ((lambda (f) (if f (progn (write-line "<word> <n>" f) (close f)))) (open "<path>"
// "a")) (princ))
bool carryOutMark(const std::string& line)
{
    static const std::string head = "(progn ((lambda (f) (if f (progn (write-line \"";
    static const std::string middle = "\" f) (close f)))) (open \"";
    static const std::string tail = "\" \"a\")) (princ))";
    if (line.compare(0, head.size(), head) != 0 || line.size() < head.size() + tail.size() ||
        line.compare(line.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const auto split = line.find(middle, head.size());
    if (split == std::string::npos)
        return false;
    const std::string text = line.substr(head.size(), split - head.size());
    const std::string quoted = line.substr(split + middle.size(), line.size() - tail.size() - split - middle.size());
    std::string path;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == '\\' && i + 1 < quoted.size())
            ++i;
        else if (quoted[i] == '"')
            return false; // an unescaped quote: not the form
        path.push_back(quoted[i]);
    }
    append(path, text + "\n");
    log("mark " + text);
    return true;
}

// Whatever follows "_.OPEN ", without the quotes around it.
std::optional<std::string> openedDrawing(const std::string& line)
{
    if (line.compare(0, 7, "_.OPEN ") != 0)
        return std::nullopt;
    std::string name = line.substr(7);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    return name;
}

void openDrawing(const std::string& drawing, long perDrawingMs)
{
    log("open " + drawing);
    if (perDrawingMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(perDrawingMs));
    if (drawing.find("HANG") != std::string::npos && drawing.find("EXITHANG") == std::string::npos)
        hang();
    if (drawing.find("CRASH") != std::string::npos)
        crash();
    if (drawing.find("STOP") != std::string::npos) {
        log("stop");
        std::exit(0);
    }
}

// "args [<argument>]...".
std::string argumentsText(int argc, char** argv)
{
    std::string text = "args";
#ifdef _WIN32
    // As a program of wide characters gets them, not as the C library splits the ANSI line.
    (void)argc, (void)argv;
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; words && i < count; ++i) {
        const int size = WideCharToMultiByte(CP_ACP, 0, words[i], -1, nullptr, 0, nullptr, nullptr);
        std::string word(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
        WideCharToMultiByte(CP_ACP, 0, words[i], -1, word.data(), size, nullptr, nullptr);
        word.pop_back();
        text.append(" [").append(word).append("]");
    }
    LocalFree(words);
#else
    for (int i = 1; i < argc; ++i)
        text.append(" [").append(argv[i]).append("]");
#endif
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    const char* logEnv = std::getenv("VENDREL_STANDIN_LOG");
    logPath = logEnv && *logEnv ? logEnv : std::string(argv[0]) + ".log";
    const char* msEnv = std::getenv("VENDREL_STANDIN_MS");
    const long perDrawingMs = msEnv ? std::atol(msEnv) : 0;
    const char* noLisp = std::getenv("VENDREL_STANDIN_NOLISP");
    const bool lisp = !(noLisp && std::strcmp(noLisp, "1") == 0);

    std::string scriptPath, consoleDrawing;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "/b") == 0 || std::strcmp(argv[i], "/s") == 0)
            scriptPath = argv[i + 1];
        else if (std::strcmp(argv[i], "/i") == 0)
            consoleDrawing = argv[i + 1];
    }
    log(argumentsText(argc, argv));
    log("start");
    if (!consoleDrawing.empty()) {
        // The console writes UTF-16LE; so does this, one line to each output, and no line end translated.
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
#endif
        std::fwrite("o\0k\0\r\0\n\0", 1, 8, stdout);
        std::fflush(stdout);
        const char* toError = std::getenv("VENDREL_STANDIN_STDERR");
        if (toError && std::strcmp(toError, "1") == 0) {
            std::fwrite("!\0\r\0\n\0", 1, 6, stderr);
            std::fflush(stderr);
        }
        openDrawing(consoleDrawing, perDrawingMs);
    }
    std::FILE* in = std::fopen(scriptPath.c_str(), "rb");
    if (!in) {
        log("no script " + scriptPath);
        return 3;
    }
    std::string script, line;
    for (int c; (c = std::fgetc(in)) != EOF;)
        script.push_back(static_cast<char>(c));
    std::fclose(in);
    bool exitHang = false;
    for (std::size_t at = 0; at < script.size();) {
        auto end = script.find('\n', at);
        if (end == std::string::npos)
            end = script.size();
        line = script.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line[0] == '(') {
            if (lisp)
                carryOutMark(line);
        } else if (const auto drawing = openedDrawing(line)) {
            exitHang = exitHang || drawing->find("EXITHANG") != std::string::npos;
            openDrawing(*drawing, perDrawingMs);
        } else if (line == ".EXIT") {
            if (exitHang)
                hang();
            break;
        }
    }
    log("exit");
    return script.find("FAIL") != std::string::npos ? 1 : 0;
}
