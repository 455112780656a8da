// vendrel-run: a supervised run from the command line, with its journal, resume and re-run.

#include "cli/cliformat.h"
#include "cli/names.h"
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

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

struct Options
{
    Mode mode = Mode::Run;
    std::string journal;
    std::optional<std::string> cad;
    std::string params;
    std::optional<std::string> startDrawing;
    std::size_t batch = 1;
    std::chrono::milliseconds timeout{600 * 1000};
    std::optional<std::string> project;
    std::vector<std::string> positional;
    bool help = false;
};

void writeError(std::string_view message)
{
    std::string line = "vendrel-run: ";
    line.append(message).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
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
    constexpr std::array<std::string_view, 10> valued = {"--cad",     "--params",  "--start-drawing", "--batch",
                                                         "--timeout", "--project", "--journal",       "--resume",
                                                         "--retry",   "--status"};
    bool optionsEnded = false;
    int modes = 0;
    bool runOptions = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            options.positional.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            continue;
        }
        const auto equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        if (std::find(valued.begin(), valued.end(), name) == valued.end())
            return "okänd flagga " + std::string(argument);
        std::string_view value;
        if (equals != std::string_view::npos)
            value = argument.substr(equals + 1);
        else if (i + 1 < argc)
            value = argv[++i];
        else
            return std::string(name) + " saknar värde";

        if (name == "--resume" || name == "--retry" || name == "--status") {
            ++modes;
            options.mode = name == "--resume" ? Mode::Resume : name == "--retry" ? Mode::Retry : Mode::Status;
            if (value.empty())
                return std::string(name) + " saknar journal";
            options.journal = std::string(value);
            continue;
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
                options.batch > 1000000)
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
    }
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

// A journal records whole paths, so it can be resumed from any folder.
std::string absolute(const std::string& path)
{
    std::error_code ignored;
    const auto whole = std::filesystem::absolute(std::filesystem::path(path), ignored);
    return whole.empty() ? path : whole.lexically_normal().string();
}

std::string newJournalPath(std::string& error)
{
    const std::string folder = supervise::runsFolder(error);
    if (folder.empty())
        return {};
    const script::LocalDateTime now = script::localNow();
    char name[64];
    std::snprintf(name, sizeof name, "%04d%02d%02d-%02d%02d%02d-%ld.journal", now.year, now.month, now.day, now.hour,
                  now.minute, now.second, static_cast<long>(::getpid()));
    return script::joinPath(folder, name, script::nativeSeparator());
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
            std::fputs("\n", stderr);
    }
    void batchStarted(std::span<const std::size_t> indices) override
    {
        m_current = m_content.drawings[indices.front()].name;
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
                line.append(supervise::stateName(entry.state)).append(" ").append(entry.name).append("\n");
                std::fwrite(line.data(), 1, line.size(), stderr);
            }
        }
        m_current.clear();
        if (m_terminal)
            draw();
        std::fflush(stderr);
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
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
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
    supervise::JournalContent content;
    std::string error;
    if (!supervise::readJournal(path, content, error))
        return failure("journalen " + path + " kan inte läsas: " + error);
    for (const std::string& problem : content.problems)
        writeError("journalen " + path + ": " + problem);
    if (!content.usable)
        return exitNotDone;
    std::string out;
    for (const supervise::DrawingEntry& entry : content.drawings)
        out.append(supervise::stateName(entry.state)).append("\t").append(entry.name).append("\n");
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
        return failure("standard ut kan inte skrivas");
    return allDone(content) && !content.damaged ? 0 : exitNotDone;
}

// The template as the run needs it; a failure has been reported when this gives nothing.
std::optional<script::ScriptTemplate> loadTemplate(const std::string& path, std::string& hash)
{
    const script::LoadedTemplate loaded = script::loadScriptTemplate(path);
    switch (loaded.status) {
    case script::TemplateStatus::Ok:
        break;
    case script::TemplateStatus::Missing:
        failure(script::texts::templateNotFound(path));
        return std::nullopt;
    case script::TemplateStatus::Unreadable:
        failure(script::texts::templateUnreadable(path, loaded.error));
        return std::nullopt;
    case script::TemplateStatus::TooLong:
        failure(script::texts::templateTooLong(path));
        return std::nullopt;
    }
    std::string bytes;
    std::string error;
    if (!supervise::readWholeFile(path, bytes, error)) {
        failure(script::texts::templateUnreadable(path, error));
        return std::nullopt;
    }
    hash = supervise::templateHash(bytes);
    return loaded.scriptTemplate;
}

int runDrawings(supervise::JournalWriter& journal, supervise::JournalContent& content,
                const script::ScriptTemplate& scriptTemplate, const std::vector<std::size_t>& indices)
{
    if (!script::isVisibleFile(content.inputs.program))
        return failure("Hittar ej programmet " + content.inputs.program + ".");

    process::Interrupt interrupt;
    stopRequest = &interrupt;
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    supervise::RunEngine::Setup setup;
    setup.scriptTemplate = &scriptTemplate;
    setup.format = script::regionalDateTimeFormat();
    setup.clock = &script::localNow;
    setup.separator = script::nativeSeparator();
    setup.scriptPath = supervise::scriptPathFor(journal.path());
    setup.interrupt = &interrupt;
    supervise::RunOutcome outcome;
    {
        Progress progress(content, indices.size());
        setup.observer = &progress;
        supervise::RunEngine engine(journal, content, std::move(setup));
        outcome = engine.run(indices);
        engine.recordEnd(outcome);
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    stopRequest = nullptr;

    if (outcome.end == supervise::RunOutcome::End::Broken)
        writeError(outcome.error);
    else if (outcome.end == supervise::RunOutcome::End::Stopped)
        writeError("körningen avbröts; fortsätt med --resume " + journal.path());
    // A result that could not be written leaves the run unsound, whatever the drawings' states say.
    return outcome.end != supervise::RunOutcome::End::Broken && allDone(content) ? 0 : exitNotDone;
}

int resume(const std::string& path, Mode mode)
{
    supervise::JournalContent content;
    supervise::JournalWriter::Opened how{};
    std::string error;
    auto journal = supervise::JournalWriter::open(path, content, how, error);
    switch (how) {
    case supervise::JournalWriter::Opened::Ok:
        break;
    case supervise::JournalWriter::Opened::Busy:
        return failure("journalen " + path + " används av en annan körning");
    case supervise::JournalWriter::Opened::Damaged:
        for (const std::string& problem : content.problems)
            writeError("journalen " + path + ": " + problem);
        return failure("journalen " + path + " är skadad och kan inte fortsättas");
    case supervise::JournalWriter::Opened::Unfinished:
        return failure("journalen " + path +
                       " skapades aldrig färdigt och inget har körts; starta körningen på nytt med samma kommando");
    case supervise::JournalWriter::Opened::Exists:
    case supervise::JournalWriter::Opened::Failed:
        return failure("journalen " + path + " kan inte öppnas: " + error);
    }
    for (const std::string& problem : content.problems)
        writeError("journalen " + path + ": " + problem);
    std::string hash;
    const auto scriptTemplate = loadTemplate(content.inputs.templatePath, hash);
    if (!scriptTemplate)
        return exitNotDone;
    if (hash != content.inputs.templateHash)
        writeError("mallen " + content.inputs.templatePath + " har ändrats sedan körningen började");
    const auto indices =
        mode == Mode::Resume ? supervise::drawingsToResume(content) : supervise::drawingsToRetry(content);
    return runDrawings(*journal, content, *scriptTemplate, indices);
}

int newRun(Options& options)
{
    supervise::RunInputs inputs;
    inputs.templatePath = absolute(options.positional[0]);
    const auto scriptTemplate = loadTemplate(inputs.templatePath, inputs.templateHash);
    if (!scriptTemplate)
        return exitNotDone;
    if (scriptTemplate->needsProjectDatabase && !options.project)
        return failure(script::texts::projectNameMissing(inputs.templatePath));
    inputs.program = absolute(*options.cad);
    if (!script::isVisibleFile(inputs.program))
        return failure("Hittar ej programmet " + *options.cad + ".");
    inputs.parameters = options.params;
    inputs.startDrawing = options.startDrawing ? absolute(*options.startDrawing)
                                               : script::joinPath(supervise::ownProgramFolder(), cad::startDrawingName,
                                                                  script::nativeSeparator());
    inputs.folder = absolute(options.positional[1]);
    inputs.projectName = options.project.value_or(std::string());
    inputs.batchSize = options.batch;
    inputs.timeout = options.timeout;

    std::vector<std::string> names(options.positional.begin() + 2, options.positional.end());
    if (names.empty() && !cli::readNames(stdin, names))
        return failure(std::string("ritningsnamnen kan inte läsas: ") + std::strerror(errno));
    // A line break would let a name inject commands into the CAD program.
    if (const auto fault = script::findLineBreak(inputs.folder, names, inputs.projectName))
        return failure(script::texts::lineBreak(*fault));

    std::string error;
    std::string path = options.journal.empty() ? newJournalPath(error) : absolute(options.journal);
    if (path.empty())
        return failure("ingen mapp för journalen: " + error);
    supervise::JournalWriter::Opened how{};
    auto journal = supervise::JournalWriter::create(path, inputs, names, how, error);
    if (!journal) {
        if (how == supervise::JournalWriter::Opened::Exists)
            return failure("journalen " + path + " finns redan; fortsätt den med --resume");
        return failure("journalen " + path + " kan inte skrivas: " + error);
    }
    writeError("journal: " + path);
    supervise::JournalContent content;
    content.inputs = inputs;
    content.usable = true;
    for (std::string& name : names)
        content.drawings.emplace_back().name = std::move(name);
    std::vector<std::size_t> indices(content.drawings.size());
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = i;
    return runDrawings(*journal, content, *scriptTemplate, indices);
}

} // namespace

int main(int argc, char** argv)
{
    script::setBinaryStdio();

    Options options;
    if (const auto error = parseArguments(argc, argv, options))
        return usageError(*error);
    if (options.help) {
        std::string text = "Användning: ";
        text.append(usageLines).append(helpText);
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0
                   ? 0
                   : exitNotDone;
    }
    switch (options.mode) {
    case Mode::Status:
        return status(options.journal);
    case Mode::Resume:
    case Mode::Retry:
        return resume(options.journal, options.mode);
    case Mode::Run:
        break;
    }
    return newRun(options);
}
