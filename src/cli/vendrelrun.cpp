// vendrel-run: a supervised run from the command line, with its journal, resume and re-run.

#include "cli/arguments.h"
#include "cli/cliformat.h"
#include "cli/names.h"
#include "cli/review.h"
#include "job/job.h"
#include "job/jobrun.h"
#include "os/console.h"
#include "os/folders.h"
#include "os/pathtext.h"
#include "os/processtree.h"
#include "runs/cadlookup.h"
#include "schedule/scheduler.h"
#include "schedule/texts.h"
#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/scriptfs.h"
#include "script/scripttemplate.h"
#include "script/texts.h"
#include "supervise/engine.h"
#include "supervise/journal.h"
#include "supervise/marks.h"
#include "supervise/probe.h"
#include "supervise/runfiles.h"
#include "supervise/runstart.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using supervise::State;

// The usage and the help fit a console of 80 columns: no line is wider than 79 characters, "Användning: "
// before the first one included, so that none breaks in the middle of a word.
constexpr std::string_view usageLines =
    "vendrel-run --cad PROGRAM [--params TEXT] [--start-drawing FILE]\n"
    "            [--batch N] [--timeout SECONDS] [--project NAME] [--journal FILE]\n"
    "            [--sessions N] [--marks on|off|auto] [--form standard|console]\n"
    "            TEMPLATE FOLDER [DRAWING...]\n"
    "vendrel-run --job FILE [--new] [--check] [--cad PROGRAM] [--params TEXT]\n"
    "            [--start-drawing FILE] [--project NAME] [--journal FILE]\n"
    "            [--batch N] [--timeout SECONDS] [--sessions N]\n"
    "            [--marks on|off|auto] [--form standard|console|auto]\n"
    "vendrel-run --resume JOURNAL | --retry JOURNAL [--batch N] [--timeout SECONDS]\n"
    "            [--sessions N] [--marks on|off|auto] [--form standard|console|auto]\n"
    "vendrel-run --status JOURNAL\n"
    "vendrel-run --schedule WHEN --job FILE [--name NAME] [--replace]\n"
    "vendrel-run --schedules | --unschedule NAME\n"
    "vendrel-run --probe --cad PROGRAM [--params TEXT] [--start-drawing FILE]\n"
    "            [--timeout SECONDS]";

// The help after the usage. The bounds and defaults of the run policy are the policy's own.
std::string helpText()
{
    using supervise::RunPolicy;
    constexpr RunPolicy defaults{};
    const std::string batch =
        "1 till " + std::to_string(RunPolicy::maxBatchSize) + " (standard " + std::to_string(defaults.batchSize) + ")";
    const std::string timeout = supervise::timeoutText(RunPolicy::minTimeout) + " till " +
                                supervise::timeoutText(RunPolicy::maxTimeout) + ",\n" +
                                "                         decimaler tillåtna (standard " +
                                supervise::timeoutText(defaults.timeout) + ")";
    const std::string sessions =
        "1 till " + std::to_string(RunPolicy::maxSessions) + " (standard " + std::to_string(defaults.sessions) + ")";
    return R"(

Övervakad körning: kör mallen TEMPLATE över ritningarna i mappen FOLDER, N
ritningar i taget, varje grupp i en ny session av CAD-programmet PROGRAM. En
session som inte är klar inom N gånger tidsgränsen avbryts med alla program den
har startat. Varje ritnings utfall skrivs i en journal, så att en körning kan
fortsätta efter ett avbrott. Ritningarnas namn tas från argumenten, eller, när
inga ges, från standard in, ett per rad.

  --cad PROGRAM          CAD-programmets programfil
  --params TEXT          startparametrar, som i parameterrutan
  --start-drawing FILE   startritningen (standard: helvscr.dwg i vendrel-runs
                         mapp)
  --batch N              ritningar per session, )" +
           batch + R"(
  --timeout SECONDS      tidsgräns per ritning i sekunder, )" +
           timeout + R"(
  --project NAME         projektnamnet som ersätter %m (krävs när mallen
                         innehåller "%m")
  --journal FILE         journalens fil (standard: en ny fil i
                         Brannoc/Vendrel/runs i användarens datamapp)
  --sessions N           CAD-sessioner samtidigt, )" +
           sessions + R"(;
                         grupperna delas ut i listans ordning till den session
                         som är ledig
  --marks on|off|auto    ritningsmärken: scriptet skriver "begin"/"end" för
                         varje ritning i en märkesfil bredvid journalen, så att
                         varje ritning får sitt eget utfall och tidsgränsen
                         räknas per ritning (auto, standard: svaret från
                         --probe för programmet, annars av)
  --form standard|console|auto
                         kommandoraden: standard är
                         "PROGRAM" "STARTRITNING" PARAMETRAR /b "SCRIPT";
                         console är "PROGRAM" /i "RITNING" /s "SCRIPT"
                         PARAMETRAR, en ritning per process, utan startritning,
                         med programmets utdata i JOURNAL.logs (standard:
                         console när programfilen heter accoreconsole.exe, som
                         med auto)
  --probe                prova om CAD-programmet utför ritningsmärken och spara
                         svaret för programmet; slutstatus 0 när de fungerar, 1
                         när de inte gör det
  --resume JOURNAL       kör ritningarna som är pending, interrupted eller
                         not-run
  --retry JOURNAL        kör om ritningarna som är failed, timed-out eller
                         interrupted (båda går vidare med körningens --batch,
                         --timeout, --sessions, --marks och --form som
                         journalen har dem; de som ges ändrar dem för den här
                         och senare körningar)
  --status JOURNAL       skriv en rad per ritning: TILLSTÅND<TAB>NAMN, med
                         namnet som journalen har det: \t, \n och \r för tabb
                         och radbrytningar, \xNN för en byte som inte är text
                         och (utom i Windows) \\ för \
  --job FILE             kör jobbfilen FILE (*.vjob): mallen, ritningarna,
                         CAD-programmet och körningens värden står i den, och
                         flaggorna ovan som ges går före jobbets. Ritningarna i
                         mappen listas när körningen börjar och skrivs i
                         journalen, som får namnet JOBB-TID.journal i
                         Brannoc/Vendrel/runs. Har jobbets senaste körning
                         ritningar kvar (den avbröts eller stoppades) tas den
                         upp i stället, med journalens värden
  --new                  med --job: börja en ny körning även om den senaste
                         inte blev klar
  --check                med --job: granska scriptet som en ny körning skulle
                         skriva, som vendrel-script --check, utan att köra
                         något
  --schedule WHEN        schemalägg jobbfilen i --job FILE: systemets
                         schemaläggare kör vendrel-run --job FILE som
                         användaren, i Windows bara medan användaren är
                         inloggad. WHEN är "once 2026-12-24 02:00" (en gång),
                         "daily 02:00" (varje dag) eller "weekdays 02:00"
                         (måndag till fredag). Windows: Schemaläggaren, mappen
                         Vendrel; Linux: en systemd-timer för användaren,
                         eller, där ingen systemd körs för användaren, en rad
                         att lägga till i crontab (skrivs till standard ut)
  --name NAME            med --schedule: uppgiftens namn, A-Z, a-z, 0-9, - och
                         _ (standard: jobbfilens namn)
  --replace              med --schedule: ersätt uppgiften med samma namn
  --schedules            lista Vendrels schemalagda uppgifter, en per rad:
                         NAMN<TAB>vad och när den kör
  --unschedule NAME      ta bort Vendrels schemalagda uppgift NAME
  --help                 visa denna text

Jobbfilen är TOML i UTF-8 (vendrel-run(1) beskriver nycklarna):
  version = 1
  template = "Mallar/rensa.scr"   # från jobbfilens mapp, eller hel
  [drawings]
  folder = "Ritningar"            # ritningarnas mapp
  pattern = "*.dwg"               # listans filter, som i fönstret
  subfolders = false              # mapparna under den också
  names = []                      # eller exakt dessa, från mappen, i ordning
  changed = false                 # bara ritningar ändrade sedan senaste done
  [cad]
  program = "C:/Program Files/CAD/cad.exe"
  parameters = ""
  start_drawing = ""              # tom: helvscr.dwg i vendrel-runs mapp
  [run]
  batch = 10
  timeout = 600
  sessions = 4
  marks = "auto"                  # on, off, auto
  form = "auto"                   # standard, console, auto

Tillstånd: done (med märken: ritningens slutmärke kom; utan: CAD-programmet
avslutades normalt efter scriptet), failed (annan slutstatus, krasch eller
kunde inte startas; med märken: programmet avslutades eller scriptet stannade i
ritningen), timed-out (avbröts vid tidsgränsen; med märken: hängde i
ritningen), missing (ritningen fanns inte), interrupted (gruppen avbröts),
not-run (körningen stoppades före gruppen), pending (ännu inte körd). Med
märken går ritningar som en avbruten session aldrig öppnade tillbaka i kön.

Ctrl+C, SIGTERM och en terminal som stängs (SIGHUP, i Windows konsolfönstret)
stoppar körningen, och så gör ett standard fel som ingen läser längre (röret
stängdes): sessionerna avslutas och journalen skrivs klar, så att --resume kan
fortsätta.

Slutstatus: 0 alla ritningar done, 1 någon ritning inte done eller ett fel, 2
felaktiga argument, inga ritningar eller en felaktig jobbfil, 3 med --check:
bara varningar, 4 jobbet körs redan (inget har körts), 5 ritningsmappen kan
inte nås (inget har körts). Med --schedule, --schedules och --unschedule: 0
gjort, 1 schemaläggaren vägrade eller ett fel, 2 felaktiga argument.

Meddelanden och ritningsnamn visas med alla tecken i ett konsolfönster och
skrivs i UTF-8, med LF som radslut, till en fil eller ett rör. Journalen har
filnamnens teckenkodning (Windows: ANSI-teckentabellen).
)";
}

constexpr int exitNotDone = 1;
constexpr int exitUsage = 2;
constexpr int exitJobBusy = 4;
constexpr int exitUnreachable = 5;

enum class Mode
{
    Run,
    Resume,
    Retry,
    Status,
    Probe,
    Job,
};

// The options that set the run policy, each only when given: they win over the policy a run would otherwise go
// on with (the defaults, or a journal's).
struct PolicyOptions
{
    std::optional<std::size_t> batch;
    std::optional<std::chrono::milliseconds> timeout;
    std::optional<std::size_t> sessions;
    std::optional<supervise::MarksChoice> marks;
    std::optional<std::optional<supervise::CommandForm>> form;

    bool any() const { return batch || timeout || sessions || marks || form; }
    supervise::RunPolicy over(supervise::RunPolicy policy) const
    {
        policy.batchSize = batch.value_or(policy.batchSize);
        policy.timeout = timeout.value_or(policy.timeout);
        policy.sessions = sessions.value_or(policy.sessions);
        policy.marks = marks.value_or(policy.marks);
        policy.form = form.value_or(policy.form);
        return policy;
    }
};

// --schedule, --schedules and --unschedule: the job's task in the system's scheduler.
struct ScheduleOptions
{
    std::optional<std::string> when;
    std::optional<std::string> name;
    bool replace = false;
    bool list = false;
    std::optional<std::string> remove;
    bool any() const { return when || name || replace || list || remove; }
};

struct Options : cli::CommonArguments
{
    Mode mode = Mode::Run;
    std::string journal;
    std::optional<std::string> cad;
    std::optional<std::string> params;
    std::optional<std::string> startDrawing;
    std::optional<std::string> project;
    PolicyOptions policy;
    std::string job;
    bool newRun = false;
    bool check = false;
    ScheduleOptions schedule;
};

// The stop of the run in progress, raised by a request to stop and by a reader that has gone; null outside one.
std::atomic<process::Interrupt*> stopRequest{nullptr};

void requestStop() noexcept
{
    if (process::Interrupt* const stop = stopRequest.load())
        stop->raise();
}

// Tells the user. A stream that can no longer be written has lost its reader (a closed pipe, a closed terminal):
// nobody hears of the run from here on, so it stops as Ctrl+C stops it, its journal ended.
void tell(console::Stream stream, std::string_view text)
{
    if (!console::write(stream, text))
        requestStop();
}

void writeError(std::string_view message)
{
    std::string line = "vendrel-run: ";
    line.append(message).push_back('\n');
    tell(console::Stream::Error, line);
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

// Takes an option of the run policy; the message when its value is not one.
std::optional<std::string> takePolicyOption(std::string_view name, std::string_view value, PolicyOptions& options)
{
    const auto expected = [&](const std::string& what) {
        return std::string(name) + " väntar sig " + what + ", inte " + std::string(value);
    };
    if (name == "--batch") {
        const auto batch = supervise::parseBatchSize(value);
        if (!batch)
            return expected(batch.error());
        options.batch = *batch;
    } else if (name == "--timeout") {
        const auto timeout = supervise::parseTimeout(value);
        if (!timeout)
            return expected(timeout.error());
        options.timeout = *timeout;
    } else if (name == "--sessions") {
        const auto sessions = supervise::parseSessions(value);
        if (!sessions)
            return expected(sessions.error());
        options.sessions = *sessions;
    } else if (name == "--marks") {
        const auto marks = supervise::parseMarksChoice(value);
        if (!marks)
            return expected(marks.error());
        options.marks = *marks;
    } else {
        const auto form = supervise::parseCommandForm(value);
        if (!form)
            return expected(form.error());
        options.form = *form;
    }
    return std::nullopt;
}

std::optional<std::string> parseArguments(int argc, char** argv, Options& options)
{
    int modes = 0;
    bool runOptions = false;
    bool policyOptions = false; // those a resumed run may change
    const auto take = [&](const cli::Argument& argument) -> std::optional<std::string> {
        const std::string_view name = argument.name, value = argument.value;
        if (name == "--schedule" || name == "--name" || name == "--replace" || name == "--schedules" ||
            name == "--unschedule") {
            ScheduleOptions& schedule = options.schedule;
            if (name == "--replace" || name == "--schedules") {
                (name == "--replace" ? schedule.replace : schedule.list) = true;
                return std::nullopt;
            }
            if (value.empty())
                return std::string(name) + " saknar " + (name == "--schedule" ? "tidpunkt" : "namn");
            (name == "--schedule" ? schedule.when
             : name == "--name"   ? schedule.name
                                  : schedule.remove) = std::string(value);
            return std::nullopt;
        }
        if (name == "--probe") {
            ++modes;
            options.mode = Mode::Probe;
            return std::nullopt;
        }
        if (name == "--new" || name == "--check") {
            (name == "--new" ? options.newRun : options.check) = true;
            return std::nullopt;
        }
        if (name == "--job") {
            ++modes;
            options.mode = Mode::Job;
            if (value.empty())
                return std::string("--job saknar jobbfil");
            options.job = std::string(value);
            return std::nullopt;
        }
        if (name == "--batch" || name == "--timeout" || name == "--sessions" || name == "--marks" || name == "--form") {
            policyOptions = true;
            return takePolicyOption(name, value, options.policy);
        }
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
        } else if (name == "--project") {
            options.project = std::string(value);
        } else {
            if (value.empty())
                return "--journal saknar filnamn";
            options.journal = std::string(value);
        }
        return std::nullopt;
    };
    if (auto error = cli::readArguments(argc, argv, {"--probe", "--new", "--check", "--replace", "--schedules"},
                                        {"--cad", "--params", "--start-drawing", "--batch", "--timeout", "--project",
                                         "--journal", "--resume", "--retry", "--status", "--sessions", "--marks",
                                         "--form", "--job", "--schedule", "--name", "--unschedule"},
                                        options, take))
        return error;
    if (options.help)
        return std::nullopt;
    if (const ScheduleOptions& schedule = options.schedule; schedule.any()) {
        const bool jobAlone = options.mode == Mode::Job && modes == 1;
        const bool others = runOptions || policyOptions || options.newRun || options.check ||
                            !options.positional.empty() || (modes > 0 && !jobAlone);
        if ((schedule.name || schedule.replace) && !schedule.when)
            return std::string("--name och --replace hör till --schedule");
        if (int(bool(schedule.when)) + int(schedule.list) + int(bool(schedule.remove)) != 1)
            return std::string("en av --schedule, --schedules och --unschedule åt gången");
        if (schedule.when && (!jobAlone || others))
            return std::string("--schedule tar --job FILE och bara --name och --replace");
        if (!schedule.when && (others || modes > 0))
            return std::string("--schedules och --unschedule tar inga andra flaggor");
        return std::nullopt;
    }
    if (modes > 1)
        return std::string("bara en av --job, --resume, --retry, --status och --probe åt gången");
    if ((options.newRun || options.check) && options.mode != Mode::Job)
        return std::string("--new och --check hör till --job");
    if (options.mode == Mode::Job) {
        if (!options.positional.empty())
            return std::string("--job tar varken TEMPLATE, FOLDER eller ritningar: de står i jobbfilen");
        return std::nullopt;
    }
    if (options.mode == Mode::Probe) {
        if (!options.cad)
            return std::string("--probe kräver --cad");
        const PolicyOptions& policy = options.policy;
        if (policy.batch || policy.sessions || policy.marks || policy.form || options.project ||
            !options.journal.empty() || !options.positional.empty())
            return std::string("--probe tar bara --cad, --params, --start-drawing och --timeout");
        return std::nullopt;
    }
    if (modes == 1) {
        if (runOptions || !options.positional.empty() || (policyOptions && options.mode == Mode::Status))
            return std::string("--resume och --retry tar journalen och --batch, --timeout, --sessions, --marks, "
                               "--form; --status bara journalen");
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

// Progress on standard error: on a terminal a bar with the counts and an estimate of the time left, and a line
// per session with its drawing in progress and its time so far, redrawn in place every second; elsewhere a
// line per drawing as it settles. The engine's sessions call it from their threads, at the same time when there
// are several: its mutex guards everything, and it keeps the names of its own rather than read the content that
// the engine writes meanwhile.
class Progress final : public supervise::RunObserver
{
public:
    Progress(const supervise::JournalContent& content, std::size_t total, std::size_t sessions)
        : m_names(namesOf(content)), m_total(total), m_terminal(::isatty(2) == 1),
          m_sessions(std::max<std::size_t>(sessions, 1)), m_started(Clock::now())
    {
        if (m_terminal)
            m_ticker = std::thread([this] { tick(); });
    }
    ~Progress() override
    {
        if (m_ticker.joinable()) {
            {
                const std::lock_guard lock(m_mutex);
                m_done = true;
            }
            m_wake.notify_all();
            m_ticker.join();
        }
        if (m_terminal && m_drawn)
            tell(console::Stream::Error, "\n");
    }
    void batchStarted(std::size_t session, std::span<const std::size_t> indices) override
    {
        const std::lock_guard lock(m_mutex);
        Current& current = currentOf(session);
        current.name = pathText(m_names[indices.front()]);
        if (indices.size() > 1)
            current.name += " (+" + std::to_string(indices.size() - 1) + ")";
        current.since = Clock::now();
        current.busy = true;
        if (m_terminal)
            draw();
    }
    void drawingBegan(std::size_t session, std::size_t index, std::int64_t) override
    {
        const std::lock_guard lock(m_mutex);
        Current& current = currentOf(session);
        current.name = pathText(m_names[index]);
        current.since = Clock::now();
        if (m_terminal)
            draw();
    }
    void sessionEnded(std::size_t session) override
    {
        const std::lock_guard lock(m_mutex);
        currentOf(session).busy = false;
        if (m_terminal)
            draw();
    }
    void settled(std::span<const std::size_t>, std::span<const supervise::DrawingEntry> entries) override
    {
        const std::lock_guard lock(m_mutex);
        for (const supervise::DrawingEntry& entry : entries) {
            if (entry.state == State::Pending)
                continue; // back in the queue
            ++m_counts[static_cast<std::size_t>(entry.state)];
            ++m_settled;
            if (!m_terminal) {
                std::string line = std::to_string(m_settled) + "/" + std::to_string(m_total) + " ";
                line.append(supervise::stateName(entry.state)).append(" ").append(pathText(entry.name));
                if (entry.state != State::Done && !entry.exitStatus.empty())
                    line.append(" (").append(pathText(entry.exitStatus)).append(")");
                tell(console::Stream::Error, line.append("\n"));
            }
        }
        if (m_terminal)
            draw();
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Current
    {
        std::string name;
        Clock::time_point since;
        bool busy = false;
    };

    static std::vector<std::string> namesOf(const supervise::JournalContent& content)
    {
        std::vector<std::string> names;
        names.reserve(content.drawings.size());
        for (const supervise::DrawingEntry& entry : content.drawings)
            names.push_back(entry.name);
        return names;
    }
    Current& currentOf(std::size_t session)
    {
        if (session > m_current.size())
            m_current.resize(session);
        return m_current[session - 1];
    }
    static std::string duration(Clock::duration span)
    {
        const auto total = std::chrono::duration_cast<std::chrono::seconds>(span).count();
        const auto hours = total / 3600, minutes = total / 60 % 60, seconds = total % 60;
        char text[32];
        if (hours > 0)
            std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(hours),
                          static_cast<long long>(minutes), static_cast<long long>(seconds));
        else
            std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes),
                          static_cast<long long>(seconds));
        return text;
    }
    void tick()
    {
        std::unique_lock lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::seconds(1), [this] { return m_done; }))
            draw();
    }
    void draw()
    {
        constexpr std::size_t width = 30;
        const auto now = Clock::now();
        const std::size_t filled = m_total ? std::min(m_settled, m_total) * width / m_total : width;
        std::string text = m_drawn && m_sessions > 1 ? "\r\x1b[" + std::to_string(m_sessions) + "A" : std::string("\r");
        text += "[" + std::string(filled, '#') + std::string(width - filled, '-') + "] ";
        text += std::to_string(m_settled) + "/" + std::to_string(m_total);
        for (const State state :
             {State::Done, State::Failed, State::TimedOut, State::Missing, State::Interrupted, State::NotRun}) {
            if (const std::size_t count = m_counts[static_cast<std::size_t>(state)])
                text.append("  ").append(supervise::stateName(state)).append(" ").append(std::to_string(count));
        }
        // The pace so far already holds the sessions working side by side.
        if (m_settled > 0 && m_settled < m_total)
            text += "  kvar ca " + duration((now - m_started) * static_cast<long long>(m_total - m_settled) /
                                            static_cast<long long>(m_settled));
        if (m_sessions == 1) {
            if (!m_current.empty() && m_current[0].busy)
                text += "  " + m_current[0].name + " " + duration(now - m_current[0].since);
            text += "\x1b[K";
        } else {
            text += "\x1b[K";
            for (std::size_t session = 1; session <= m_sessions; ++session) {
                text += "\n  session " + std::to_string(session) + ": ";
                const Current* current = session <= m_current.size() ? &m_current[session - 1] : nullptr;
                text += current && current->busy ? current->name + " " + duration(now - current->since)
                                                 : std::string("ledig");
                text += "\x1b[K";
            }
        }
        tell(console::Stream::Error, text);
        m_drawn = true;
    }

    const std::vector<std::string> m_names;
    std::size_t m_total;
    bool m_terminal;
    std::size_t m_sessions;
    Clock::time_point m_started;
    bool m_drawn = false;
    std::size_t m_settled = 0;
    std::array<std::size_t, 7> m_counts{};
    std::vector<Current> m_current;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_ticker;
};

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
    // Escaped, as the journal keeps them, so that every name matches its file again and keeps to its line.
    for (const supervise::DrawingEntry& entry : content.drawings)
        out.append(supervise::stateName(entry.state))
            .append("\t")
            .append(console::escapedName(entry.name))
            .append("\n");
    if (!console::write(console::Stream::Output, out))
        return failure("standard ut kan inte skrivas");
    return allDone(content) && !content.damaged ? 0 : exitNotDone;
}

int reportProblem(const supervise::StartProblem& problem)
{
    for (const std::string& line : problem.problems)
        writeError("journalen " + pathText(problem.path) + ": " + line);
    writeError(supervise::problemText(problem, [](std::string_view bytes) { return pathText(std::string(bytes)); }));
    // No drawing named at all is the command line's fault, as a wrong argument is.
    return problem.cause == supervise::StartProblem::Cause::NoDrawings ? exitUsage : exitNotDone;
}

// Stops the run on a request to stop (Ctrl+C, SIGTERM, a closed terminal) and when the user's reader has gone,
// from before its journal exists until the program ends: a stop never leaves a journal whose drawings are all
// pending.
class StopOnSignal final
{
public:
    StopOnSignal()
    {
        stopRequest = &m_interrupt;
        console::catchStopRequests(requestStop);
    }
    ~StopOnSignal()
    {
        console::releaseStopRequests();
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
    const script::RunRequest& request = run.content.request;
    for (const std::string& problem : run.content.problems)
        writeError("journalen " + pathText(run.journal->path()) + ": " + problem);
    if (run.templateChanged)
        writeError(supervise::templateChangedText(pathText(request.templatePath)));

    supervise::RunEngine::Setup setup = supervise::engineSetup(
        run.journal->path(), run.content.policy, script::regionalDateTimeFormat(), &stop.interrupt(), nullptr);
    const supervise::CommandForm form = supervise::formFor(setup.policy, request.cad.path);
    const bool marks = setup.policy.marks == supervise::MarksChoice::On;
    if (form == supervise::CommandForm::Console &&
        supervise::formByName(request.cad.path) != supervise::CommandForm::Console)
        writeError("konsolformen med " + pathText(request.cad.path) +
                   ", som inte heter accoreconsole.exe: programmet måste ta /i och /s");
    if (marks && !script::markablePath(supervise::sessionMarksPath(run.journal->path(), 1)))
        writeError("märkesfilen bredvid journalen " + pathText(run.journal->path()) +
                   " kan inte skrivas i ett script; körningen går utan ritningsmärken");

    supervise::RunOutcome outcome;
    {
        Progress progress(run.content, run.indices.size(),
                          supervise::sessionsFor(setup.policy, form, run.indices.size()));
        setup.observer = &progress;
        supervise::RunEngine engine(*run.journal, run.content, setup);
        outcome = engine.run(run.indices);
        engine.recordEnd(outcome);
    }
    if (!marks && supervise::batchSizeFor(setup.policy, form) > 1 && outcome.end != supervise::RunOutcome::End::Broken)
        writeError("utan ritningsmärken: ritningarna i en grupp har gruppens gemensamma utfall");
    if (outcome.end == supervise::RunOutcome::End::Broken)
        writeError(pathText(outcome.error));
    else if (outcome.end == supervise::RunOutcome::End::Stopped)
        writeError("körningen avbröts; fortsätt med --resume " + pathText(run.journal->path()));
    // A result that could not be written leaves the run unsound, whatever the drawings' states say.
    return outcome.end != supervise::RunOutcome::End::Broken && allDone(run.content) ? 0 : exitNotDone;
}

// The program the options name, with whole paths; the start drawing is the one beside vendrel-run unless given.
script::CadProgram takeProgram(const Options& options)
{
    script::CadProgram program;
    program.path = absolutePath(*options.cad);
    program.parameters = options.params.value_or(std::string());
    program.startDrawing = options.startDrawing ? absolutePath(*options.startDrawing)
                                                : script::joinPath(supervise::ownProgramFolder(), cad::startDrawingName,
                                                                   script::nativeSeparator());
    return program;
}

int probe(const Options& options, const StopOnSignal& stop)
{
    supervise::ProbeRequest request;
    request.program = takeProgram(options);
    const std::string& program = request.program.path;
    if (!script::isVisibleFile(program))
        return failure("Hittar ej programmet " + pathText(*options.cad) + ".");
    request.timeout = options.policy.timeout.value_or(supervise::RunPolicy::defaultTimeout);
    request.form = supervise::formByName(program);
    const supervise::ProbeAnswer answer = supervise::probeMarks(request, &stop.interrupt());
    if (stop.interrupt().raised())
        return failure("provet avbröts");
    // Only the program's own answer is kept: one that could not be tried may do marks all the same.
    if (!answer.tried)
        return failure("provet kunde inte göras och inget svar sparas: " + pathText(answer.detail));
    if (!supervise::storeMarks(program, answer.marksWork))
        writeError("svaret kan inte sparas");
    const std::string text = answer.marksWork ? "ritningsmärken fungerar med " + pathText(program) + "\n"
                                              : "ritningsmärken fungerar inte med " + pathText(program) + ": " +
                                                    pathText(answer.detail) + "\n";
    console::write(console::Stream::Output, text);
    return answer.marksWork ? 0 : exitNotDone;
}

int newRun(Options& options, const StopOnSignal& stop)
{
    script::RunRequest request;
    // A journal records whole paths, so it can be resumed from any folder.
    request.templatePath = absolutePath(options.positional[0]);
    request.cad = takeProgram(options);
    request.listingFolder = absolutePath(options.positional[1]);
    request.projectName = options.project.value_or(std::string());
    // The run start checks again with the names; here the check comes before they are read, which may wait on
    // a terminal.
    if (auto checked = script::checkRequest(request); !checked)
        return failure(script::requestProblemText(checked.error(),
                                                  [](std::string_view bytes) { return pathText(std::string(bytes)); }));

    request.drawings.assign(options.positional.begin() + 2, options.positional.end());
    if (request.drawings.empty()) {
        const auto input = console::readInput(&stop.interrupt());
        if (!input && !input.error().stopped)
            return failure("ritningsnamnen kan inte läsas: " + input.error().detail);
        if (input)
            cli::splitNames(*input, request.drawings);
    }
    // A stop before the journal is made, while the names were read among others, leaves nothing behind.
    if (stop.interrupt().raised())
        return failure("körningen avbröts innan den började; inget har körts");

    const supervise::RunPolicy policy = supervise::resolvedPolicy(options.policy.over({}), request.cad.path);
    auto started = supervise::createRun(std::move(request), policy, options.journal);
    if (started)
        writeError("journal: " + pathText(started->journal->path()));
    return runDrawings(std::move(started), stop);
}

// Reviews what a new run of the job would run, as vendrel-script --check does.
int reviewJob(script::RunRequest request, const supervise::RunPolicy& policy)
{
    const supervise::CommandForm form = supervise::formFor(policy, request.cad.path);
    if (form == supervise::CommandForm::Console)
        request.cad.startDrawing.clear(); // the console opens each drawing itself
    const script::DateTimeFormat format = script::regionalDateTimeFormat();
    const script::LocalDateTime now = script::localNow();
    request.clockReading = script::ClockReading{format.date ? format.date(now) : std::string(),
                                                format.time ? format.time(now) : std::string()};
    if (const auto lineBreak = script::findLineBreak(request.listingFolder, request.drawings, request.projectName))
        return failure(script::texts::lineBreak({lineBreak->field, pathText(lineBreak->value)}));
    return cli::printFindings(request,
                              policy.marks == supervise::MarksChoice::On && form == supervise::CommandForm::Standard);
}

// A run of a job file: its last run taken up when that left drawings, or a new one over the drawings there are
// now. One run of a job at a time.
int runJob(const Options& options, const StopOnSignal& stop)
{
    const std::string jobPath = absolutePath(options.job);
    const std::string where = "jobbfilen " + pathText(jobPath);
    const auto text = job::readJobText(jobPath);
    const auto read = text ? job::parseJob(*text) : Result<job::Job, job::JobProblem>::failure(text.error());
    if (!read) {
        writeError(job::problemText(read.error(), where));
        return exitUsage;
    }
    std::string error;
    const std::string runs = supervise::runsFolder(error);
    if (runs.empty())
        return failure("ingen mapp för journalen: " + pathText(error));

    job::RunInputs inputs;
    if (options.cad)
        inputs.program = absolutePath(*options.cad);
    inputs.parameters = options.params;
    if (options.startDrawing)
        inputs.startDrawing = absolutePath(*options.startDrawing);
    inputs.defaultStartDrawing =
        script::joinPath(supervise::ownProgramFolder(), cad::startDrawingName, script::nativeSeparator());
    inputs.projectName = options.project.value_or(std::string());
    inputs.runsFolder = runs;
    const auto prepare = [&]() -> Result<job::PreparedRun, int> {
        auto prepared = job::prepareRun(jobPath, *text, *read, inputs);
        if (!prepared) {
            writeError(prepared.error().message);
            using Cause = job::PrepareProblem::Cause;
            const Cause cause = prepared.error().cause;
            return Result<job::PreparedRun, int>::failure(cause == Cause::Job                 ? exitUsage
                                                          : cause == Cause::FolderUnreachable ? exitUnreachable
                                                                                              : exitNotDone);
        }
        for (const std::string& folder : prepared->unreadable)
            writeError("mappen " + pathText(folder) + " kan inte läsas; ritningarna i den är inte med");
        return std::move(*prepared);
    };
    const auto policyFor = [&](const std::string& program) {
        return supervise::resolvedPolicy(options.policy.over(read->policy), program);
    };
    if (options.check) {
        auto prepared = prepare();
        if (!prepared)
            return prepared.error();
        return reviewJob(std::move(prepared->request), policyFor(prepared->request.cad.path));
    }

    const auto busy = [&] {
        writeError("jobbet " + pathText(jobPath) + " körs redan; den här körningen startas inte");
        return exitJobBusy;
    };
    const auto lock = job::JobLock::take(jobPath, runs);
    if (!lock && lock.error().busy)
        return busy();
    if (!lock)
        return failure("jobbets lås i " + pathText(runs) + " kan inte tas: " + pathText(lock.error().detail));

    if (!options.newRun) {
        if (const auto unfinished = job::unfinishedRun(jobPath, job::journalsNamedFor(jobPath, runs))) {
            writeError("tar upp jobbets senaste körning, som inte blev klar: journal " + pathText(*unfinished) +
                       " (--new börjar en ny)");
            supervise::PolicyChange change;
            if (options.policy.any()) {
                change = [&given = options.policy](const supervise::RunPolicy& kept, const std::string& program) {
                    return supervise::resolvedPolicy(given.over(kept), program);
                };
            }
            auto started = supervise::openRun(*unfinished, supervise::TakeUp::Resume, change);
            if (!started && started.error().cause == supervise::StartProblem::Cause::JournalBusy)
                return busy();
            return runDrawings(std::move(started), stop);
        }
    }

    auto prepared = prepare();
    if (!prepared)
        return prepared.error();
    script::RunRequest& request = prepared->request;
    if (request.drawings.empty()) {
        if (prepared->unchanged == 0)
            return failure("inga ritningar att köra: mönstret " + read->drawings.pattern + " tar inga filer i " +
                           pathText(request.listingFolder));
        writeError("ingen av jobbets " + std::to_string(prepared->unchanged) +
                   " ritningar har ändrats sedan de senast blev done; inget att köra");
        return 0;
    }
    if (prepared->unchanged > 0)
        writeError(std::to_string(prepared->unchanged) +
                   " ritningar har inte ändrats sedan de blev done och körs inte");
    const supervise::RunPolicy policy = policyFor(request.cad.path);
    const std::string journal = options.journal.empty()
                                    ? script::joinPath(runs, job::journalName(jobPath), script::nativeSeparator())
                                    : options.journal;
    auto started = supervise::createRun(std::move(request), policy, journal, jobPath);
    if (started)
        writeError("journal: " + pathText(started->journal->path()));
    return runDrawings(std::move(started), stop);
}

// --schedule, --schedules and --unschedule: the job's task in the system's scheduler, which runs it by
// vendrel-run --job with whole paths.
int scheduling(const Options& options)
{
    const ScheduleOptions& given = options.schedule;
    if (given.list) {
        if (schedule::systemHere() == schedule::System::Crontab) {
            writeError(schedule::texts::noUserSystemd());
            return 0;
        }
        const auto tasks = schedule::listTasks();
        if (!tasks)
            return failure(tasks.error());
        std::string out;
        for (const schedule::Listed& task : *tasks)
            out.append(task.name).append("\t").append(task.description).append("\n");
        return console::write(console::Stream::Output, out) ? 0 : exitNotDone;
    }
    if (given.remove) {
        if (auto removed = schedule::removeTask(*given.remove); !removed)
            return failure(removed.error());
        writeError("tog bort den schemalagda uppgiften " + *given.remove);
        return 0;
    }
    const auto when = schedule::parseSchedule(*given.when);
    if (!when)
        return usageError("--schedule: " + when.error());
    if (!schedule::stillAhead(*when, schedule::localNow())) {
        writeError(schedule::texts::past(schedule::scheduleText(*when).substr(5)));
        return exitUsage;
    }
    const std::string jobPath = absolutePath(options.job);
    const auto text = job::readJobText(jobPath);
    const auto read = text ? job::parseJob(*text) : Result<job::Job, job::JobProblem>::failure(text.error());
    if (!read) {
        writeError(job::problemText(read.error(), "jobbfilen " + pathText(jobPath)));
        return exitUsage;
    }
    const std::string program = script::joinPath(supervise::ownProgramFolder(),
                                                 script::nativeSeparator() == '\\' ? "vendrel-run.exe" : "vendrel-run",
                                                 script::nativeSeparator());
    // The task names the files by text; a path that does not read back the same would name another file.
    for (const std::string& path : {jobPath, program}) {
        const auto exact = exactSystemText(pathText(path));
        if (!exact || *exact != path)
            return failure("sökvägen " + pathText(path) + " kan inte skrivas som text i en schemalagd uppgift");
    }
    schedule::Task task;
    task.name = given.name.value_or(schedule::nameForJob(pathText(jobPath)));
    if (auto named = schedule::checkName(task.name); !named)
        return usageError("--name: " + named.error());
    task.schedule = *when;
    task.program = pathText(program);
    task.jobPath = pathText(jobPath);
    const auto added = schedule::addTask(task, given.replace);
    if (!added)
        return failure(added.error());
    if (added->system == schedule::System::Crontab) {
        writeError(schedule::texts::crontabHint());
        return console::write(console::Stream::Output, added->crontabLine + "\n") ? 0 : exitNotDone;
    }
    writeError("schemalade " + task.name + ": " + schedule::description(task));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    script::setBinaryStdio();
    console::guardStandardStreams();

    Options options;
    if (const auto error = parseArguments(argc, argv, options))
        return usageError(*error);
    // A journal is named by its whole path from here on: the scripts and marks files beside it are named after
    // it to a CAD program that may well work in a folder of its own.
    if (!options.journal.empty())
        options.journal = absolutePath(options.journal);
    if (options.help)
        return cli::writeHelp(usageLines, helpText()) ? 0 : exitNotDone;
    if (options.schedule.any())
        return scheduling(options);
    if (options.mode == Mode::Status)
        return status(options.journal);
    const StopOnSignal stop;
    if (options.mode == Mode::Probe)
        return probe(options, stop);
    if (options.mode == Mode::Run)
        return newRun(options, stop);
    if (options.mode == Mode::Job)
        return runJob(options, stop);
    const auto how = options.mode == Mode::Resume ? supervise::TakeUp::Resume : supervise::TakeUp::Retry;
    supervise::PolicyChange change;
    if (options.policy.any()) {
        change = [&given = options.policy](const supervise::RunPolicy& kept, const std::string& program) {
            return supervise::resolvedPolicy(given.over(kept), program);
        };
    }
    return runDrawings(supervise::openRun(options.journal, how, change), stop);
}
