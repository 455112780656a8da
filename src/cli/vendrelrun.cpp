// vendrel-run: a supervised run from the command line, with its journal, resume and re-run.

#include "cli/arguments.h"
#include "cli/cliformat.h"
#include "cli/names.h"
#include "os/console.h"
#include "os/folders.h"
#include "os/pathtext.h"
#include "os/processtree.h"
#include "runs/cadlookup.h"
#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/scriptfs.h"
#include "script/scripttemplate.h"
#include "script/texts.h"
#include "supervise/engine.h"
#include "supervise/journal.h"
#include "supervise/runfiles.h"
#include "supervise/runstart.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using supervise::State;

constexpr std::string_view usageLines =
    "vendrel-run --cad PROGRAM [--params TEXT] [--start-drawing FILE] [--batch N] [--timeout SECONDS]\n"
    "            [--project NAME] [--journal FILE] TEMPLATE FOLDER [DRAWING...]\n"
    "vendrel-run --resume JOURNAL | --retry JOURNAL | --status JOURNAL";

constexpr std::string_view helpText = R"(

Övervakad körning: kör mallen TEMPLATE över ritningarna i mappen FOLDER, N ritningar i taget, varje grupp
i en ny session av CAD-programmet PROGRAM. En session som inte är klar inom N gånger tidsgränsen avbryts med
alla program den har startat. Varje ritnings utfall skrivs i en journal, så att en körning kan fortsätta
efter ett avbrott. Ritningarnas namn tas från argumenten, eller, när inga ges, från standard in, ett per rad.

  --cad PROGRAM          CAD-programmets programfil
  --params TEXT          startparametrar, som i parameterrutan
  --start-drawing FILE   startritningen (standard: helvscr.dwg i vendrel-runs mapp)
  --batch N              ritningar per session (standard 1)
  --timeout SECONDS      tidsgräns per ritning i sekunder, decimaler tillåtna (standard 600)
  --project NAME         projektnamnet som ersätter %m (krävs när mallen innehåller "%m")
  --journal FILE         journalens fil (standard: en ny fil i Brannoc/Vendrel/runs i användarens datamapp)
  --resume JOURNAL       kör ritningarna som är pending, interrupted eller not-run
  --retry JOURNAL        kör om ritningarna som är failed, timed-out eller interrupted
  --status JOURNAL       skriv en rad per ritning: TILLSTÅND<TAB>NAMN
  --help                 visa denna text

Tillstånd: done (CAD-programmet avslutades normalt efter scriptet; Vendrel ser inte vad som hände i
programmet), failed (annan slutstatus, krasch eller kunde inte startas), timed-out (avbröts vid tidsgränsen),
missing (ritningen fanns inte), interrupted (gruppen avbröts), not-run (körningen stoppades före gruppen),
pending (ännu inte körd).

Slutstatus: 0 alla ritningar done, 1 någon ritning inte done eller ett fel, 2 felaktiga argument.

Meddelanden och ritningsnamn visas med alla tecken i ett konsolfönster och skrivs i UTF-8 till en fil
eller ett rör. Journalen har filnamnens teckenkodning (Windows: ANSI-teckentabellen).
)";

constexpr int exitNotDone = 1;
constexpr int exitUsage = 2;

enum class Mode
{
    Run,
    Resume,
    Retry,
    Status,
};

struct Options : cli::CommonArguments
{
    Mode mode = Mode::Run;
    std::string journal;
    std::optional<std::string> cad;
    std::string params;
    std::optional<std::string> startDrawing;
    std::size_t batch = 1;
    std::chrono::milliseconds timeout{600 * 1000};
    std::optional<std::string> project;
};

void writeError(std::string_view message)
{
    std::string line = "vendrel-run: ";
    line.append(message).push_back('\n');
    console::write(console::Stream::Error, line);
}

int usageError(std::string_view message)
{
    writeError(std::string(message) + "\nAnvändning: " + std::string(usageLines));
    return exitUsage;
}

int failure(std::string_view message)
{
    writeError(message);
    return exitNotDone;
}

std::optional<std::chrono::milliseconds> parseSeconds(std::string_view text)
{
    double seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || !(seconds > 0) || seconds > 1e7)
        return std::nullopt;
    const auto ms = static_cast<std::int64_t>(seconds * 1000 + 0.5);
    return std::chrono::milliseconds(std::max<std::int64_t>(ms, 1));
}

std::optional<std::string> parseArguments(int argc, char** argv, Options& options)
{
    int modes = 0;
    bool runOptions = false;
    const auto take = [&](const cli::Argument& argument) -> std::optional<std::string> {
        const std::string_view name = argument.name, value = argument.value;
        if (name == "--resume" || name == "--retry" || name == "--status") {
            ++modes;
            options.mode = name == "--resume" ? Mode::Resume : name == "--retry" ? Mode::Retry : Mode::Status;
            if (value.empty())
                return std::string(name) + " saknar journal";
            options.journal = std::string(value);
            return std::nullopt;
        }
        runOptions = true;
        if (name == "--cad") {
            options.cad = std::string(value);
        } else if (name == "--params") {
            options.params = std::string(value);
        } else if (name == "--start-drawing") {
            options.startDrawing = std::string(value);
        } else if (name == "--batch") {
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), options.batch);
            if (error != std::errc() || end != value.data() + value.size() || options.batch == 0 ||
                options.batch > script::maxBatchSize)
                return "--batch väntar sig ett heltal från 1, inte " + std::string(value);
        } else if (name == "--timeout") {
            const auto timeout = parseSeconds(value);
            if (!timeout)
                return "--timeout väntar sig ett antal sekunder större än 0, inte " + std::string(value);
            options.timeout = *timeout;
        } else if (name == "--project") {
            options.project = std::string(value);
        } else {
            if (value.empty())
                return "--journal saknar filnamn";
            options.journal = std::string(value);
        }
        return std::nullopt;
    };
    if (auto error = cli::readArguments(argc, argv, {},
                                        {"--cad", "--params", "--start-drawing", "--batch", "--timeout", "--project",
                                         "--journal", "--resume", "--retry", "--status"},
                                        options, take))
        return error;
    if (options.help)
        return std::nullopt;
    if (modes > 1)
        return std::string("bara en av --resume, --retry och --status åt gången");
    if (modes == 1) {
        if (runOptions || !options.positional.empty())
            return std::string("--resume, --retry och --status tar bara journalen");
        return std::nullopt;
    }
    if (!options.cad)
        return std::string("--cad krävs");
    if (options.positional.size() < 2)
        return std::string("TEMPLATE och FOLDER krävs");
    for (std::size_t i = 2; i < options.positional.size(); ++i) {
        if (options.positional[i].empty())
            return std::string("ett ritningsnamn är tomt");
    }
    return std::nullopt;
}


// Progress on standard error: a bar redrawn in place on a terminal, a line per drawing elsewhere.
class Progress final : public supervise::RunObserver
{
public:
    Progress(const supervise::JournalContent& content, std::size_t total)
        : m_content(content), m_total(total), m_terminal(::isatty(2) == 1)
    {
    }
    ~Progress() override
    {
        if (m_terminal && m_drawn)
            console::write(console::Stream::Error, "\n");
    }
    void batchStarted(std::size_t, std::span<const std::size_t> indices) override
    {
        m_current = pathText(m_content.drawings[indices.front()].name);
        if (indices.size() > 1)
            m_current += " (+" + std::to_string(indices.size() - 1) + ")";
        if (m_terminal)
            draw();
    }
    void settled(std::span<const std::size_t>, std::span<const supervise::DrawingEntry> entries) override
    {
        for (const supervise::DrawingEntry& entry : entries) {
            ++m_counts[static_cast<std::size_t>(entry.state)];
            ++m_settled;
            if (!m_terminal) {
                std::string line = std::to_string(m_settled) + "/" + std::to_string(m_total) + " ";
                line.append(supervise::stateName(entry.state)).append(" ").append(pathText(entry.name)).append("\n");
                console::write(console::Stream::Error, line);
            }
        }
        m_current.clear();
        if (m_terminal)
            draw();
    }

private:
    void draw()
    {
        constexpr std::size_t width = 30;
        const std::size_t filled = m_total ? m_settled * width / m_total : width;
        std::string line = "\r[" + std::string(filled, '#') + std::string(width - filled, '-') + "] ";
        line += std::to_string(m_settled) + "/" + std::to_string(m_total);
        for (const State state :
             {State::Done, State::Failed, State::TimedOut, State::Missing, State::Interrupted, State::NotRun}) {
            if (const std::size_t count = m_counts[static_cast<std::size_t>(state)])
                line.append("  ").append(supervise::stateName(state)).append(" ").append(std::to_string(count));
        }
        if (!m_current.empty())
            line.append("  ").append(m_current);
        line.append("\x1b[K");
        console::write(console::Stream::Error, line);
        m_drawn = true;
    }

    const supervise::JournalContent& m_content;
    std::size_t m_total;
    bool m_terminal;
    bool m_drawn = false;
    std::size_t m_settled = 0;
    std::array<std::size_t, 7> m_counts{};
    std::string m_current;
};

process::Interrupt* stopRequest = nullptr;

extern "C" void requestStop(int)
{
    if (stopRequest)
        stopRequest->raise();
}

bool allDone(const supervise::JournalContent& content)
{
    for (const supervise::DrawingEntry& entry : content.drawings) {
        if (entry.state != State::Done)
            return false;
    }
    return true;
}

int status(const std::string& path)
{
    const auto read = supervise::readJournal(path);
    if (!read)
        return failure("journalen " + pathText(path) + " kan inte läsas: " + pathText(read.error()));
    const supervise::JournalContent& content = *read;
    for (const std::string& problem : content.problems)
        writeError("journalen " + pathText(path) + ": " + problem);
    if (!content.usable)
        return exitNotDone;
    std::string out;
    for (const supervise::DrawingEntry& entry : content.drawings)
        out.append(supervise::stateName(entry.state)).append("\t").append(pathText(entry.name)).append("\n");
    if (!console::write(console::Stream::Output, out))
        return failure("standard ut kan inte skrivas");
    return allDone(content) && !content.damaged ? 0 : exitNotDone;
}

int reportProblem(const supervise::StartProblem& problem)
{
    for (const std::string& line : problem.problems)
        writeError("journalen " + pathText(problem.path) + ": " + line);
    return failure(supervise::problemText(problem, [](std::string_view bytes) { return pathText(std::string(bytes)); }));
}

// Stops the run on Ctrl+C and SIGTERM from before its journal exists until the program ends: a signal never
// leaves a journal whose drawings are all pending.
class StopOnSignal final
{
public:
    StopOnSignal()
    {
        stopRequest = &m_interrupt;
        std::signal(SIGINT, requestStop);
        std::signal(SIGTERM, requestStop);
    }
    ~StopOnSignal()
    {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        stopRequest = nullptr;
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

    const process::Interrupt& interrupt() const { return m_interrupt; }

private:
    process::Interrupt m_interrupt;
};

int runDrawings(supervise::StartResult started, const StopOnSignal& stop)
{
    if (!started)
        return reportProblem(started.error());
    supervise::OpenedRun& run = *started;
    for (const std::string& problem : run.content.problems)
        writeError("journalen " + pathText(run.journal->path()) + ": " + problem);
    if (run.templateChanged)
        writeError(supervise::templateChangedText(pathText(run.content.request.templatePath)));

    supervise::RunOutcome outcome;
    {
        Progress progress(run.content, run.indices.size());
        supervise::RunEngine engine(
            *run.journal, run.content,
            supervise::engineSetup(run.journal->path(), script::regionalDateTimeFormat(), &stop.interrupt(), &progress));
        outcome = engine.run(run.indices);
        engine.recordEnd(outcome);
    }
    if (outcome.end == supervise::RunOutcome::End::Broken)
        writeError(pathText(outcome.error));
    else if (outcome.end == supervise::RunOutcome::End::Stopped)
        writeError("körningen avbröts; fortsätt med --resume " + pathText(run.journal->path()));
    // A result that could not be written leaves the run unsound, whatever the drawings' states say.
    return outcome.end != supervise::RunOutcome::End::Broken && allDone(run.content) ? 0 : exitNotDone;
}

int newRun(Options& options, const StopOnSignal& stop)
{
    script::RunRequest request;
    // A journal records whole paths, so it can be resumed from any folder.
    request.templatePath = absolutePath(options.positional[0]);
    const script::LoadedTemplate loaded = script::loadRequestTemplate(request);
    if (loaded.status != script::TemplateStatus::Ok)
        return failure(
            script::texts::templateProblem(loaded.status, pathText(request.templatePath), pathText(loaded.error)));
    // The run start checks these too; here they come before the names are read, which may wait on a terminal.
    if (request.scriptTemplate.needsProjectDatabase && !options.project)
        return failure(script::texts::projectNameMissing(pathText(request.templatePath)));
    request.program = absolutePath(*options.cad);
    if (!script::isVisibleFile(request.program))
        return failure("Hittar ej programmet " + pathText(*options.cad) + ".");
    request.parameters = options.params;
    request.startDrawing = options.startDrawing ? absolutePath(*options.startDrawing)
                                                : script::joinPath(supervise::ownProgramFolder(), cad::startDrawingName,
                                                                   script::nativeSeparator());
    request.listingFolder = absolutePath(options.positional[1]);
    request.projectName = options.project.value_or(std::string());
    request.batchSize = options.batch;
    request.timeout = options.timeout;

    request.drawings.assign(options.positional.begin() + 2, options.positional.end());
    if (request.drawings.empty() && !cli::readNames(stdin, request.drawings))
        return failure(std::string("ritningsnamnen kan inte läsas: ") + std::strerror(errno));

    auto started = supervise::createRun(std::move(request), options.journal.empty() ? std::string()
                                                                                      : absolutePath(options.journal));
    if (started)
        writeError("journal: " + pathText(started->journal->path()));
    return runDrawings(std::move(started), stop);
}

} // namespace

int main(int argc, char** argv)
{
    script::setBinaryStdio();

    Options options;
    if (const auto error = parseArguments(argc, argv, options))
        return usageError(*error);
    if (options.help)
        return cli::writeHelp(usageLines, helpText) ? 0 : exitNotDone;
    if (options.mode == Mode::Status)
        return status(options.journal);
    const StopOnSignal stop;
    if (options.mode == Mode::Run)
        return newRun(options, stop);
    const auto how = options.mode == Mode::Resume ? supervise::TakeUp::Resume : supervise::TakeUp::Retry;
    return runDrawings(supervise::openRun(options.journal, how), stop);
}
