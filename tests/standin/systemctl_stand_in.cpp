// A stand-in for systemctl --user where no user's systemd runs, as systemd-run would stand in for a timer: it
// writes each call's arguments as a line to $STANDIN_RECORD, answers is-system-running with $STANDIN_STATE
// ("running" when unset), refuses the verb named in $STANDIN_REFUSE as systemctl does (a message, status 1), and
// on "enable --now vendrel-NAME.timer" fires the timer at once: it reads the timer's Unit= and that service's
// ExecStart= from $XDG_CONFIG_HOME/systemd/user by systemd's rules and starts the command, detached, its output
// in $STANDIN_RECORD.fired. With STANDIN_AT_TIME=1 it fires when the timer would, at the next elapse of its
// OnCalendar= as systemd-analyze reckons it, once.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string env(const char* name, const char* otherwise = "")
{
    const char* value = std::getenv(name);
    return value ? value : otherwise;
}

std::string read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string value(const std::string& unit, const std::string& key)
{
    const std::size_t at = unit.find("\n" + key + "=");
    if (at == std::string::npos)
        return {};
    const std::size_t begin = at + key.size() + 2;
    return unit.substr(begin, unit.find('\n', begin) - begin);
}

// ExecStart= split into words as systemd does: blanks separate words; "..." and '...' hold blanks; a backslash
// escapes the next character (\\, \", \n, ...); %% is % and $$ is $. Anything else (a lone %, a lone $, an open
// quote) is a fault of the unit, reported.
bool words(const std::string& line, std::vector<std::string>& out)
{
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (!quote && (c == ' ' || c == '\t')) {
            if (inWord)
                out.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (!quote && (c == '"' || c == '\'')) {
            quote = c;
        } else if (quote && c == quote) {
            quote = 0;
        } else if (c == '\\') {
            if (++i == line.size())
                return false;
            word += line[i] == 'n' ? '\n' : line[i] == 't' ? '\t' : line[i];
        } else if (c == '%' || c == '$') {
            if (i + 1 == line.size() || line[i + 1] != c)
                return false;
            word += c;
            ++i;
        } else {
            word += c;
        }
    }
    if (quote)
        return false;
    if (inWord)
        out.push_back(word);
    return true;
}

// Sleeps until the next elapse of an OnCalendar= expression (a whole second), as systemd-analyze gives it.
void waitForElapse(const std::string& calendar)
{
    const std::string command = "date -d \"$(systemd-analyze calendar --iterations=1 '" + calendar +
                                "' | sed -n 's/^ *Next elapse: //p')\" +%s";
    FILE* pipe = ::popen(command.c_str(), "r");
    long long at = 0;
    if (!pipe || std::fscanf(pipe, "%lld", &at) != 1)
        at = 0;
    if (pipe)
        ::pclose(pipe);
    const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(at));
    if (at > 0)
        std::this_thread::sleep_until(when);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string record = env("STANDIN_RECORD", "/dev/null");
    {
        std::ofstream out(record, std::ios::app);
        for (std::size_t i = 0; i < args.size(); ++i)
            out << (i ? " " : "") << args[i];
        out << "\n";
    }
    std::vector<std::string> rest;
    for (const std::string& arg : args) {
        if (arg != "--user" && arg != "--no-ask-password" && arg != "--now")
            rest.push_back(arg);
    }
    if (rest.empty())
        return 1;
    if (rest[0] == "is-system-running") {
        std::printf("%s\n", env("STANDIN_STATE", "running").c_str());
        return env("STANDIN_STATE", "running") == "running" ? 0 : 1;
    }
    if (rest[0] == env("STANDIN_REFUSE")) {
        std::fprintf(stderr, "Failed to %s unit: Access denied\n", rest[0].c_str());
        return 1;
    }
    if (rest[0] != "enable" || rest.size() != 2)
        return 0;
    const std::string folder = env("XDG_CONFIG_HOME") + "/systemd/user/";
    const std::string timer = read(folder + rest[1]);
    const std::string service = read(folder + value(timer, "Unit"));
    std::vector<std::string> command;
    if (value(timer, "OnCalendar").empty() || !words(value(service, "ExecStart"), command) || command.empty()) {
        std::fprintf(stderr, "Failed to enable unit: bad unit file %s\n", rest[1].c_str());
        return 1;
    }
    const std::string calendar = value(timer, "OnCalendar");
    if (::fork() == 0) {
        ::setsid();
        const int log = ::open((record + ".fired").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(log, 1);
        ::dup2(log, 2);
        ::close(0);
        if (env("STANDIN_AT_TIME") == "1") // its caller's pipes are let go first
            waitForElapse(calendar);
        std::vector<char*> exec;
        for (std::string& word : command)
            exec.push_back(word.data());
        exec.push_back(nullptr);
        ::execv(exec[0], exec.data());
        std::perror(exec[0]);
        ::_exit(127);
    }
    return 0;
}
