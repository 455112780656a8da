#include "supervise/probe.h"

#include "os/pathtext.h"
#include "os/processtree.h"
#include "script/drawingmarks.h"
#include "script/paths.h"
#include "script/scriptfs.h"
#include "supervise/marks.h"
#include "supervise/runfiles.h"
#include "supervise/runstart.h"

#include <cstdio>
#include <thread>

namespace supervise {

namespace {

using namespace std::chrono;

// How often the probe looks at its marks file.
constexpr milliseconds pollInterval(50);
// After the mark, the program gets this long to end by itself before it is ended.
constexpr milliseconds exitGrace(5000);

Result<std::string> answersPath()
{
    const auto folder = runsFolder();
    if (!folder)
        return folder;
    return script::joinPath(*folder, "cad-marks.txt", script::nativeSeparator());
}

// The kept answers, one a line: "1" or "0", a TAB, the program's path.
std::vector<std::pair<std::string, bool>> readAnswers(const Result<std::string>& path)
{
    std::vector<std::pair<std::string, bool>> answers;
    if (!path)
        return answers;
    const auto read = readWholeFile(*path);
    if (!read)
        return answers;
    const std::string& bytes = *read;
    for (std::size_t at = 0; at < bytes.size();) {
        auto end = bytes.find('\n', at);
        if (end == std::string::npos)
            end = bytes.size();
        const std::string_view line = std::string_view(bytes).substr(at, end - at);
        if (line.size() > 2 && (line[0] == '0' || line[0] == '1') && line[1] == '\t')
            answers.emplace_back(std::string(line.substr(2)), line[0] == '1');
        at = end + 1;
    }
    return answers;
}

bool marked(MarksReader& reader)
{
    for (const Mark& mark : reader.pollAll()) {
        if (mark.kind == script::MarkKind::End && mark.index == 0)
            return true;
    }
    return false;
}

} // namespace

Result<ProbeAnswer> probeMarks(const ProbeRequest& request, const process::Interrupt* interrupt)
{
    using Answer = Result<ProbeAnswer>;
    const auto folder = runsFolder();
    if (!folder)
        return Answer::failure(systemText("mappen för körningar kan inte skapas: ") + folder.error());
    std::string name = "probe-" + newJournalName();
    name.resize(name.size() - std::string_view(".journal").size());
    const std::string stem = script::joinPath(*folder, name, script::nativeSeparator());
    const std::string scriptPath = stem + ".scr", marksPath = stem + ".marks", logPath = stem + ".log";
    if (!script::markablePath(marksPath))
        return Answer::failure(systemText("sökvägen ") + marksPath + " kan inte skrivas i ett script");
    const std::string body =
        script::markLine(script::markPathText(marksPath), script::MarkKind::End, 0) + "\r\n.EXIT\r\n";
    if (const auto written = script::replaceFile(scriptPath, body); !written)
        return Answer::failure("scriptet " + scriptPath + " kan inte skrivas: " + written.error());

    script::RunRequest run;
    run.cad = request.program;
    const std::string mark = process::newSessionMark();
    // The console's output goes to a file, not to a window of its own or to the terminal of vendrel-run.
    auto tree = process::ProcessTree::start(
        RunEngine::command(run, scriptPath, request.form, request.program.startDrawing), process::Show::Minimized, mark,
        request.form == CommandForm::Console ? logPath : std::string());
    Answer answer = ProbeAnswer{};
    if (!tree) {
        answer = Answer::failure("CAD-programmet " + request.program.path + " kan inte startas: " + tree.error());
    } else {
        process::ProcessTree& program = **tree;
        MarksReader reader(marksPath);
        const auto deadline = steady_clock::now() + request.timeout;
        while (true) {
            const auto wait = program.wait(std::min(deadline, steady_clock::now() + pollInterval), interrupt);
            answer->marksWork = marked(reader);
            if (answer->marksWork && wait != process::ProcessTree::Wait::Ended)
                program.wait(steady_clock::now() + exitGrace, interrupt);
            if (answer->marksWork || wait != process::ProcessTree::Wait::TimedOut || steady_clock::now() >= deadline)
                break;
        }
        program.kill();
        if (!answer->marksWork)
            answer->detail = program.ending().killed ? systemText("inget märke inom tidsgränsen")
                                                     : systemText("CAD-programmet avslutades utan märke (") +
                                                           process::describe(program.ending()) + ")";
    }
    std::remove(scriptPath.c_str());
    std::remove(marksPath.c_str());
    std::remove(logPath.c_str());
    return answer;
}

std::optional<bool> storedMarks(const std::string& program)
{
    std::optional<bool> found;
    for (const auto& [path, works] : readAnswers(answersPath())) {
        if (path == program)
            found = works;
    }
    return found;
}

Result<void> storeMarks(const std::string& program, bool marksWork)
{
    const auto path = answersPath();
    if (!path)
        return Result<void>::failure(path.error());
    // One answer a line: a path with a line break would be read back as two.
    if (program.find('\n') != std::string::npos)
        return Result<void>::failure("sökvägen " + program + " har en radbrytning");
    std::string bytes;
    for (const auto& [other, works] : readAnswers(path)) {
        if (other != program)
            bytes.append(works ? "1\t" : "0\t").append(other).append("\n");
    }
    bytes.append(marksWork ? "1\t" : "0\t").append(program).append("\n");
    return script::replaceFile(*path, bytes);
}

bool marksFor(MarksChoice choice, const std::string& program)
{
    if (choice != MarksChoice::Auto)
        return choice == MarksChoice::On;
    return storedMarks(program).value_or(false);
}

RunPolicy resolvedPolicy(RunPolicy policy, const std::string& program)
{
    policy.marks = marksFor(policy.marks, program) ? MarksChoice::On : MarksChoice::Off;
    policy.form = formFor(policy, program);
    return policy;
}

} // namespace supervise
