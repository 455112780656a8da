// vendrel-run: a supervised run from the command line, with its journal, resume and re-run.

#include "cli/arguments.h"
#include "cli/cliformat.h"
#include "cli/names.h"
#include "cli/review.h"
#include "job/condor.h"
#include "job/job.h"
#include "job/jobrun.h"
#include "job/shard.h"
#include "os/console.h"
#include "os/drives.h"
#include "os/folders.h"
#include "os/pathtext.h"
#include "os/processtree.h"
#include "report/report.h"
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
    "            [--session-start FILE] [--session-end FILE]\n"
    "            TEMPLATE FOLDER [DRAWING...]\n"
    "vendrel-run --job FILE [--new] [--check] [--cad PROGRAM] [--params TEXT]\n"
    "            [--start-drawing FILE] [--project NAME] [--journal FILE]\n"
    "            [--batch N] [--timeout SECONDS] [--sessions N]\n"
    "            [--marks on|off|auto] [--form standard|console|auto]\n"
    "            [--session-start FILE] [--session-end FILE]\n"
    "            [--shard K/N] [--runs DIR]\n"
    "vendrel-run --job FILE --condor N [--shard K/N] [--runs DIR]\n"
    "            [--requirements EXPR]\n"
    "vendrel-run --resume JOURNAL | --retry JOURNAL [--batch N] [--timeout SECONDS]\n"
    "            [--sessions N] [--marks on|off|auto] [--form standard|console|auto]\n"
    "            [--session-start FILE] [--session-end FILE]\n"
    "vendrel-run --retry --job FILE [--shard K/N] [--runs DIR] [--batch N] ...\n"
    "vendrel-run --status JOURNAL | --status --job FILE [--shard K/N] [--runs DIR]\n"
    "vendrel-run --report JOURNAL [JOURNAL...] [--output BASE]\n"
    "vendrel-run --report --job FILE [--shard K/N] [--runs DIR] [--output BASE]\n"
    "vendrel-run --schedule WHEN --job FILE [--name NAME] [--replace]\n"
    "vendrel-run --schedules | --unschedule NAME\n"
    "vendrel-run --probe --cad PROGRAM [--params TEXT] [--start-drawing FILE]\n"
    "            [--timeout SECONDS]";

// The help after the usage. The bounds and defaults of the run policy are the policy's own.
std::string helpText()
{
    using supervise::RunPolicy;
    const RunPolicy defaults{};
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
  --session-start FILE   scriptet som varje CAD-session kör en gång före sin
                         första ritning, som det är (utan platshållare); en
                         tom FILE: inget
  --session-end FILE     scriptet som varje session kör efter sin sista
                         ritning, före .EXIT; med konsolformen kör varje
                         process båda
  --probe                prova om CAD-programmet utför ritningsmärken och spara
                         svaret för programmet; slutstatus 0 när de fungerar, 1
                         när de inte gör det
  --resume JOURNAL       kör ritningarna som är pending, interrupted eller
                         not-run
  --retry JOURNAL        kör om ritningarna som är failed, timed-out eller
                         interrupted (båda går vidare med körningens --batch,
                         --timeout, --sessions, --marks, --form och
                         sessionsscript som journalen har dem; de som ges
                         ändrar dem för den här och senare körningar)
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
  --shard K/N            med --job: kör bara del K av N (K från 0, som
                         HTCondors $(Process) och Slurms array-index). En
                         ritnings del avgörs av dess namn, så delar som listar
                         mappen vid olika tider är ändå eniga. Varje del har
                         sin journal, JOBB-delKavN-TID.journal i journalmappen,
                         och tar upp den när den startas igen efter ett avbrott
  --runs DIR             med --job: journalmappen (standard: jobbets run.runs,
                         annars Brannoc/Vendrel/runs); den måste finnas, för en
                         delad körning på en nätverksresurs som alla når
  --condor N             med --job: skriv en beskrivning för condor_submit på
                         standard ut, som kör jobbet i N delar, en per
                         HTCondor-jobb (med --shard K/N: bara del K, för att
                         skicka in den igen); kräver ett installerat
                         vendrel-run
  --requirements EXPR    med --condor: HTCondors villkor för datorerna
  --status --job FILE    och --retry --job FILE: jobbets senaste journaler, en
                         per del (med --shard bara den delens): en tabell, en
                         summa; --retry kör om de misslyckade i varje del, i
                         delens egen journal; --report --job FILE: en rapport
                         över dem
  --report JOURNAL...    skriv rapporten igen: NAMN.html, en sida med en
                         tidslinje över sessionerna, och NAMN.csv, en rad per
                         ritning, bredvid journalen NAMN.journal; med flera
                         journaler en rapport över dem alla, bredvid den
                         första (varje körning skriver sin rapport när den
                         slutar)
  --output BASE          med --report: skriv BASE.html och BASE.csv
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
  runs = ""                       # journalmappen; tom: användarens
  session_start = "obevakad-start.scr"  # från jobbfilens mapp; tom: inget
  session_end = "obevakad-slut.scr"

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
bara varningar, 4 jobbet eller delen körs redan, eller jobbets senaste körning
är delad på annat sätt och inte klar (inget har körts), 5 ritningsmappen eller
journalmappen kan inte nås (inget har körts). Med --schedule, --schedules och
--unschedule: 0 gjort, 1 schemaläggaren vägrade eller ett fel, 2 felaktiga
argument.

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
    Report,
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
    std::optional<std::string> sessionStart; // whole paths; empty: none
    std::optional<std::string> sessionEnd;

    bool any() const { return batch || timeout || sessions || marks || form || sessionStart || sessionEnd; }
    supervise::RunPolicy over(supervise::RunPolicy policy) const
    {
        policy.batchSize = batch.value_or(policy.batchSize);
        policy.timeout = timeout.value_or(policy.timeout);
        policy.sessions = sessions.value_or(policy.sessions);
        policy.marks = marks.value_or(policy.marks);
        policy.form = form.value_or(policy.form);
        policy.sessionStart = sessionStart.value_or(policy.sessionStart);
        policy.sessionEnd = sessionEnd.value_or(policy.sessionEnd);
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
    std::string output; // --report: the files' base, without .html and .csv
    bool newRun = false;
    bool check = false;
    // A job split over machines.
    std::optional<job::Shard> shard;
    std::string runs;
    std::optional<std::size_t> condor;
    std::string requirements;
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
    } else if (name == "--form") {
        const auto form = supervise::parseCommandForm(value);
        if (!form)
            return expected(form.error());
        options.form = *form;
    } else {
        // Named by its whole path in the journal, like the template, so a resume finds it from any folder.
        const auto path = supervise::parseSessionScript(value);
        if (!path)
            return expected(path.error());
        (name == "--session-start" ? options.sessionStart : options.sessionEnd) =
            path->empty() ? std::string() : absolutePath(*path);
    }
    return std::nullopt;
}

// Takes an option of a job split over machines; the message when its value is not one.
std::optional<std::string> takeSplitOption(std::string_view name, std::string_view value, Options& options)
{
    const auto expected = [&](const std::string& what) {
        return std::string(name) + " väntar sig " + what + ", inte " + std::string(value);
    };
    if (name == "--shard") {
        auto shard = job::parseShard(value);
        if (!shard)
            return expected(shard.error());
        options.shard = *shard;
    } else if (name == "--runs") {
        if (value.empty())
            return std::string("--runs saknar mapp");
        options.runs = std::string(value);
    } else if (name == "--condor") {
        // The count alone, read as a part's would be.
        auto count = job::parseShard("0/" + std::string(value));
        if (!count || value.empty() || value.front() == '0' || value.find('/') != std::string_view::npos)
            return expected("antalet delar, 1 till " + std::to_string(job::maxShards));
        options.condor = count->count;
    } else {
        if (value.empty())
            return std::string("--requirements saknar uttryck");
        options.requirements = std::string(value);
    }
    return std::nullopt;
}

// --job as a mode of its own, or with --status or --retry; the options of a job split over machines only with it.
std::optional<std::string> checkJobOptions(Options& options, int modes, bool runOptions, bool policyOptions)
{
    const bool split = options.shard || !options.runs.empty() || options.condor || !options.requirements.empty();
    if (options.job.empty()) {
        if (split)
            return std::string("--shard, --runs, --condor och --requirements hör till --job");
        if (options.newRun || options.check)
            return std::string("--new och --check hör till --job");
        return std::nullopt;
    }
    if (modes == 0) {
        options.mode = Mode::Job;
    } else if ((options.mode != Mode::Status && options.mode != Mode::Retry && options.mode != Mode::Report) ||
               !options.journal.empty()) {
        return std::string(
            "--job går med --status, --retry och --report utan journal; --resume behövs inte: --job tar själv "
            "upp en körning som inte blev klar");
    }
    if (!options.positional.empty())
        return std::string("--job tar varken TEMPLATE, FOLDER eller ritningar: de står i jobbfilen");
    if (options.mode != Mode::Job && (options.newRun || options.check || options.condor))
        return std::string("--new, --check och --condor hör inte till --status, --retry och --report");
    if (options.mode != Mode::Job && (runOptions || (policyOptions && options.mode != Mode::Retry)))
        return std::string("--status --job tar bara --shard och --runs; --retry --job även --batch, --timeout, "
                           "--sessions, --marks och --form");
    if (!options.requirements.empty() && !options.condor)
        return std::string("--requirements hör till --condor");
    if (options.condor) {
        if (options.newRun || options.check || runOptions || policyOptions)
            return std::string("--condor tar bara --shard, --runs och --requirements: delarna läser resten i "
                               "jobbfilen");
        if (options.shard && options.shard->count != *options.condor)
            return "--shard " + std::to_string(options.shard->index) + "/" + std::to_string(options.shard->count) +
                   " och --condor " + std::to_string(*options.condor) + " delar jobbet olika";
    }
    if (options.shard && !options.journal.empty())
        return std::string("--shard skriver delens journal i journalmappen; --journal går inte med den");
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
            // A mode of its own, or what --status and --retry speak for.
            if (value.empty())
                return std::string("--job saknar jobbfil");
            options.job = std::string(value);
            return std::nullopt;
        }
        if (name == "--shard" || name == "--runs" || name == "--condor" || name == "--requirements")
            return takeSplitOption(name, value, options);
        if (name == "--batch" || name == "--timeout" || name == "--sessions" || name == "--marks" || name == "--form" ||
            name == "--session-start" || name == "--session-end") {
            policyOptions = true;
            return takePolicyOption(name, value, options.policy);
        }
        if (name == "--report" || name == "--output") {
            if (value.empty() && name == "--output")
                return std::string("--output saknar filnamn");
            if (name == "--output") {
                options.output = std::string(value);
                return std::nullopt;
            }
            ++modes;
            options.mode = Mode::Report;
            options.journal = std::string(value);
            return std::nullopt;
        }
        if (name == "--resume" || name == "--retry" || name == "--status") {
            ++modes;
            options.mode = name == "--resume" ? Mode::Resume : name == "--retry" ? Mode::Retry : Mode::Status;
            options.journal = std::string(value); // none: the job's (--job FILE)
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
    if (auto error =
            cli::readArguments(argc, argv, {"--probe", "--new", "--check", "--replace", "--schedules"},
                               {"--cad",           "--params",      "--start-drawing", "--batch",  "--timeout",
                                "--project",       "--journal",     "--resume",        "--retry",  "--status",
                                "--sessions",      "--marks",       "--form",          "--job",    "--shard",
                                "--runs",          "--condor",      "--requirements",  "--report", "--output",
                                "--session-start", "--session-end", "--schedule",      "--name",   "--unschedule"},
                               options, take))
        return error;
    if (options.help)
        return std::nullopt;
    if (const ScheduleOptions& schedule = options.schedule; schedule.any()) {
        const bool split = options.shard || !options.runs.empty() || options.condor || !options.requirements.empty();
        const bool others = runOptions || policyOptions || options.newRun || options.check || split ||
                            !options.positional.empty() || !options.output.empty() || modes > 0;
        if ((schedule.name || schedule.replace) && !schedule.when)
            return std::string("--name och --replace hör till --schedule");
        if (int(bool(schedule.when)) + int(schedule.list) + int(bool(schedule.remove)) != 1)
            return std::string("en av --schedule, --schedules och --unschedule åt gången");
        if (schedule.when && (options.job.empty() || others))
            return std::string("--schedule tar --job FILE och bara --name och --replace");
        if (!schedule.when && (others || !options.job.empty()))
            return std::string("--schedules och --unschedule tar inga andra flaggor");
        return std::nullopt;
    }
    if (modes > 1)
        return std::string("bara en av --job, --resume, --retry, --status, --report och --probe åt gången");
    if (!options.output.empty() && options.mode != Mode::Report)
        return std::string("--output hör till --report");
    if (options.mode == Mode::Report && (runOptions || policyOptions))
        return std::string("--report tar bara journaler, --job, --shard, --runs och --output");
    if (options.mode == Mode::Report && options.journal.empty() && options.job.empty())
        return std::string("--report saknar journal");
    if (auto error = checkJobOptions(options, modes, runOptions, policyOptions))
        return error;
    if (options.mode == Mode::Job || options.mode == Mode::Report)
        return std::nullopt;
    if ((options.mode == Mode::Resume || options.mode == Mode::Retry || options.mode == Mode::Status) &&
        options.journal.empty() && options.job.empty())
        return options.mode == Mode::Resume  ? std::string("--resume saknar journal")
               : options.mode == Mode::Retry ? std::string("--retry saknar journal")
                                             : std::string("--status saknar journal");
    if (options.mode == Mode::Probe) {
        if (!options.cad)
            return std::string("--probe kräver --cad");
        const PolicyOptions& policy = options.policy;
        if (policy.batch || policy.sessions || policy.marks || policy.form || policy.sessionStart ||
            policy.sessionEnd || options.project || !options.journal.empty() || !options.positional.empty())
            return std::string("--probe tar bara --cad, --params, --start-drawing och --timeout");
        return std::nullopt;
    }
    if (modes == 1) {
        if (runOptions || !options.positional.empty() || (policyOptions && options.mode == Mode::Status))
            return std::string("--resume och --retry tar journalen och --batch, --timeout, --sessions, --marks, "
                               "--form, --session-start, --session-end; --status bara journalen");
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

// The morning report beside the journal. It never changes the run's exit status: a folder that will not take it
// is said once.
void writeRunReport(const std::string& journalPath)
{
    const report::ReportPaths paths = report::reportPathsFor(journalPath);
    const std::string journals[] = {journalPath};
    if (const auto written = report::writeReportOf(journals, paths); !written)
        writeError(written.error());
    else
        writeError("rapport: " + pathText(paths.html));
}

// --report: the report of one journal or several made again, beside the first unless --output says where.
int makeReport(const Options& options)
{
    std::vector<std::string> journals{options.journal};
    for (const std::string& journal : options.positional)
        journals.push_back(absolutePath(journal));
    const report::ReportPaths paths = options.output.empty() ? report::reportPathsFor(journals.front())
                                                             : report::reportPathsAt(absolutePath(options.output));
    if (const auto written = report::writeReportOf(journals, paths); !written)
        return failure(written.error());
    console::write(console::Stream::Output, pathText(paths.html) + "\n" + pathText(paths.csv) + "\n");
    return 0;
}

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
    writeRunReport(run.journal->path());
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
    const auto answer = supervise::probeMarks(request, &stop.interrupt());
    if (stop.interrupt().raised())
        return failure("provet avbröts");
    // Only the program's own answer is kept: one that could not be tried may do marks all the same.
    if (!answer)
        return failure("provet kunde inte göras och inget svar sparas: " + pathText(answer.error()));
    if (!supervise::storeMarks(program, answer->marksWork))
        writeError("svaret kan inte sparas");
    const std::string text = answer->marksWork ? "ritningsmärken fungerar med " + pathText(program) + "\n"
                                               : "ritningsmärken fungerar inte med " + pathText(program) + ": " +
                                                     pathText(answer->detail) + "\n";
    console::write(console::Stream::Output, text);
    return answer->marksWork ? 0 : exitNotDone;
}

int newRun(Options& options, const StopOnSignal& stop)
{
    script::RunRequest request;
    // A journal records whole paths, so it can be resumed from any folder.
    request.templatePath = absolutePath(options.positional[0]);
    request.cad = takeProgram(options);
    request.listingFolder = absolutePath(options.positional[1]);
    request.projectName = options.project.value_or(std::string());
    const supervise::RunPolicy policy = supervise::resolvedPolicy(options.policy.over({}), request.cad.path);
    supervise::useSessionScripts(policy, request);
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

// A job file read, with the folder of its runs' journals.
struct LoadedJob
{
    std::string path; // whole
    std::string text;
    job::Job job;
    std::string runs;
};

// The job the options name, and its runs folder: --runs, the job's [run] runs, or the user's own. A folder that is
// named must be there already: made here, a share that is not mounted at night would become a local folder of
// the same name, and the parts of a split job would each keep their journals to themselves. The failure is the
// exit status, its message told.
Result<LoadedJob, int> loadJob(const Options& options)
{
    using Answer = Result<LoadedJob, int>;
    LoadedJob loaded;
    loaded.path = absolutePath(options.job);
    const std::string where = "jobbfilen " + pathText(loaded.path);
    auto text = job::readJobText(loaded.path);
    auto read = text ? job::parseJob(*text) : Result<job::Job, job::JobProblem>::failure(text.error());
    if (!read) {
        writeError(job::problemText(read.error(), where));
        return Answer::failure(exitUsage);
    }
    loaded.text = std::move(*text);
    loaded.job = std::move(*read);
    if (!options.runs.empty() || !loaded.job.runsFolder.empty()) {
        const bool given = !options.runs.empty();
        auto resolved = given ? Result<std::string>(absolutePath(options.runs))
                              : job::resolvedPath(loaded.path, loaded.job.runsFolder);
        if (!resolved) {
            writeError(job::problemText({resolved.error(), job::keyLine(loaded.text, "run.runs"), 0}, where));
            return Answer::failure(exitUsage);
        }
        const std::string origin =
            given ? std::string()
                  : " (" + where + ", rad " + std::to_string(job::keyLine(loaded.text, "run.runs")) + ")";
        if (!folderIdentity(*resolved)) {
            writeError("journalmappen " + pathText(*resolved) + origin + " finns inte eller kan inte nås");
            return Answer::failure(exitUnreachable);
        }
        loaded.runs = std::move(*resolved);
        return loaded;
    }
    auto folder = supervise::runsFolder();
    if (!folder) {
        writeError("ingen mapp för journalen: " + pathText(folder.error()));
        return Answer::failure(exitNotDone);
    }
    loaded.runs = std::move(*folder);
    return loaded;
}

// What is said of a job, or a part of one, that has no journal in the runs folder.
std::string noJournal(const std::string& who, const LoadedJob& loaded)
{
    return who + " har ingen journal i " + pathText(loaded.runs);
}

std::string partText(std::size_t index, std::size_t count)
{
    return "del " + std::to_string(index) + " av " + std::to_string(count);
}

// A part of a split job taken up on another machine than the one it ran on last: its journal says so from here
// on, so that its later batches are put down to this machine.
supervise::StartResult onThisMachine(supervise::StartResult started)
{
    if (!started || !started->content.shard)
        return started;
    supervise::ShardRecord& shard = *started->content.shard;
    const std::string host = supervise::hostName();
    if (shard.host == host)
        return started;
    shard.host = host;
    if (auto written = started->journal->shardMoved(shard); !written) {
        supervise::StartProblem problem{supervise::StartProblem::Cause::JournalUnwritable, {}, {}, {}, std::nullopt};
        problem.path = started->journal->path();
        problem.detail = written.error();
        return supervise::StartResult::failure(std::move(problem));
    }
    return started;
}

// The job's lock, or the part's; the failure is the exit status, its message told.
Result<std::unique_ptr<job::JobLock>, int> lockJob(const LoadedJob& loaded, std::optional<std::size_t> part)
{
    using Answer = Result<std::unique_ptr<job::JobLock>, int>;
    auto lock = job::JobLock::take(loaded.path, loaded.runs, part);
    if (lock)
        return std::move(*lock);
    if (lock.error().busy) {
        writeError((part ? "del " + std::to_string(*part) + " av jobbet " : std::string("jobbet ")) +
                   pathText(loaded.path) + " körs redan; den här körningen startas inte");
        return Answer::failure(exitJobBusy);
    }
    writeError("jobbets lås i journalmappen " + pathText(loaded.runs) +
               " kan inte tas: " + pathText(lock.error().detail));
    return Answer::failure(exitNotDone);
}

// The build folder that folder lies in (the one holding CMakeCache.txt), if any.
std::optional<std::string> buildFolderAbove(std::string folder)
{
    const char separator = script::nativeSeparator();
    while (!folder.empty()) {
        if (supervise::stampOf(script::joinPath(folder, "CMakeCache.txt", separator)).exists)
            return folder;
        const auto up = folder.find_last_of(separator == '\\' ? "/\\" : "/");
        folder = up == std::string::npos || up + 1 == folder.size() ? std::string() : folder.substr(0, up);
    }
    return std::nullopt;
}

// The submit description for HTCondor on standard output, with a warning for each path another machine of the
// pool cannot reach. Only an installed vendrel-run will do: the execute machines need it at the same path.
int writeCondor(const Options& options, const LoadedJob& loaded)
{
    const std::string own = supervise::ownProgramFolder();
    const char separator = script::nativeSeparator();
    if (const auto build = buildFolderAbove(own))
        return failure("vendrel-run körs från byggmappen " + pathText(*build) +
                       "; poolens datorer behöver ett installerat vendrel-run på samma sökväg (Vendrels paket eller "
                       "installationsprogram, eller cmake --install)");
    job::CondorRequest request;
    request.program = script::joinPath(own, separator == '\\' ? "vendrel-run.exe" : "vendrel-run", separator);
    request.jobPath = loaded.path;
    request.runsFolder = loaded.runs;
    request.shards = *options.condor;
    if (options.shard)
        request.only = options.shard->index;
    request.requirements = options.requirements;
    auto description = job::condorDescription(request);
    if (!description)
        return failure(description.error());

    std::vector<job::NeededPath> needed = {{"jobbfilen", loaded.path}, {"journalmappen", loaded.runs}};
    const auto need = [&](std::string what, const std::string& path) {
        if (auto resolved = job::resolvedPath(loaded.path, path))
            needed.push_back({std::move(what), std::move(*resolved)});
    };
    need("mallen", loaded.job.templatePath);
    need("ritningsmappen", loaded.job.drawings.folder);
    if (!loaded.job.cad.startDrawing.empty())
        need("startritningen", loaded.job.cad.startDrawing);
    for (const std::string& warning : job::unreachableWarnings(needed, readSystemDrives()))
        writeError("varning: " + warning);
    if (options.runs.empty() && loaded.job.runsFolder.empty())
        writeError("varning: jobbet har ingen journalmapp (nyckeln run.runs eller --runs); varje dator skriver då "
                   "sina journaler i sin egen mapp, och --status här ser inte delarnas");
    if (loaded.job.policy.marks == supervise::MarksChoice::Auto)
        writeError("varning: run.marks = \"auto\" låter varje dator gå efter sitt eget svar från --probe; sätt on "
                   "eller off i jobbet");
    if (!console::write(console::Stream::Output, *description))
        return failure("standard ut kan inte skrivas");
    return 0;
}

// One report over a job's latest journals (its parts', or its latest run's), written in its runs folder as
// JOBB.html and JOBB.csv unless --output says otherwise. A part without a journal is said, and the report is made
// of the others.
int jobReport(const Options& options)
{
    const auto loaded = loadJob(options);
    if (!loaded)
        return loaded.error();
    const job::JobAccount account = job::jobAccount(loaded->path, loaded->runs, options.shard);
    if (account.journals.empty())
        return failure(noJournal("jobbet " + pathText(loaded->path), *loaded));
    for (const std::size_t part : account.missing)
        writeError(noJournal(partText(part, account.shards), *loaded));
    const std::string base = options.output.empty()
                                 ? script::joinPath(loaded->runs, job::jobName(loaded->path), script::nativeSeparator())
                                 : absolutePath(options.output);
    const report::ReportPaths paths = report::reportPathsAt(base);
    if (const auto written = report::writeReportOf(account.journals, paths); !written)
        return failure(written.error());
    console::write(console::Stream::Output, pathText(paths.html) + "\n" + pathText(paths.csv) + "\n");
    return account.missing.empty() ? 0 : exitNotDone;
}

// One table and one count for a job: its parts' latest journals, or its latest run's journal when it was not
// split. A part without a journal leaves the job not done.
int jobStatus(const Options& options)
{
    const auto loaded = loadJob(options);
    if (!loaded)
        return loaded.error();
    const job::JobAccount account = job::jobAccount(loaded->path, loaded->runs, options.shard);
    if (account.journals.empty() && account.missing.empty())
        return failure(noJournal("jobbet " + pathText(loaded->path), *loaded));
    std::string out;
    std::array<std::size_t, 7> counts{};
    std::size_t total = 0;
    bool whole = account.missing.empty();
    for (std::size_t i = 0; i < account.journals.size(); ++i) {
        const std::string& path = account.journals[i];
        const auto read = supervise::readJournal(path);
        if (!read) {
            writeError("journalen " + pathText(path) + " kan inte läsas: " + pathText(read.error()));
            whole = false;
            continue;
        }
        for (const std::string& problem : read->problems)
            writeError("journalen " + pathText(path) + ": " + problem);
        whole = whole && read->usable && !read->damaged;
        if (account.shards > 0)
            writeError(partText(account.parts[i], account.shards) + " (" +
                       pathText(read->shard ? read->shard->host : std::string("?")) + "): journal " + pathText(path));
        for (const supervise::DrawingEntry& entry : read->drawings) {
            out.append(supervise::stateName(entry.state)).append("\t").append(console::escapedName(entry.name));
            out.push_back('\n');
            ++counts[static_cast<std::size_t>(entry.state)];
            ++total;
        }
    }
    for (const std::size_t part : account.missing)
        writeError(noJournal(partText(part, account.shards), *loaded));
    if (!console::write(console::Stream::Output, out))
        return failure("standard ut kan inte skrivas");
    std::string count = std::to_string(total) + " ritningar";
    if (account.shards > 0)
        count += " i " + std::to_string(account.shards) + " delar";
    const char* separator = ": ";
    for (std::size_t state = 0; state < counts.size(); ++state) {
        if (counts[state] == 0)
            continue;
        count.append(separator)
            .append(supervise::stateName(State(state)))
            .append(" ")
            .append(std::to_string(counts[state]));
        separator = ", ";
    }
    writeError(count);
    return whole && counts[static_cast<std::size_t>(State::Done)] == total ? 0 : exitNotDone;
}

// --retry of a job: the failed drawings of each part run again in that part's journal, one part after another.
int jobRetry(const Options& options, const StopOnSignal& stop)
{
    const auto loaded = loadJob(options);
    if (!loaded)
        return loaded.error();
    const job::JobAccount account = job::jobAccount(loaded->path, loaded->runs, options.shard);
    if (account.journals.empty() && account.missing.empty())
        return failure(noJournal("jobbet " + pathText(loaded->path), *loaded));
    int status = 0;
    for (const std::size_t part : account.missing) {
        writeError(noJournal(partText(part, account.shards), *loaded));
        status = exitNotDone;
    }
    supervise::PolicyChange change;
    if (options.policy.any()) {
        change = [&given = options.policy](const supervise::RunPolicy& kept, const std::string& program) {
            return supervise::resolvedPolicy(given.over(kept), program);
        };
    }
    for (std::size_t i = 0; i < account.journals.size() && !stop.interrupt().raised(); ++i) {
        const std::optional<std::size_t> part =
            account.shards > 0 ? std::optional<std::size_t>(account.parts[i]) : std::nullopt;
        const auto lock = lockJob(*loaded, part);
        if (!lock) {
            status = exitNotDone;
            continue;
        }
        if (part)
            writeError(partText(*part, account.shards) + ": journal " + pathText(account.journals[i]));
        if (runDrawings(onThisMachine(supervise::openRun(account.journals[i], supervise::TakeUp::Retry, change)),
                        stop) != 0)
            status = exitNotDone;
    }
    return status;
}

// A run of a job file, or of a part of it: its last run taken up when that left drawings, or a new one over the
// drawings there are now. One run of a job, or of a part, at a time.
int runJob(const Options& options, const StopOnSignal& stop)
{
    const auto loaded = loadJob(options);
    if (!loaded)
        return loaded.error();
    const std::string& jobPath = loaded->path;
    const job::Job& read = loaded->job;
    const std::string& runs = loaded->runs;
    if (options.condor)
        return writeCondor(options, *loaded);

    job::RunInputs inputs;
    if (options.cad)
        inputs.program = absolutePath(*options.cad);
    inputs.parameters = options.params;
    if (options.startDrawing)
        inputs.startDrawing = absolutePath(*options.startDrawing);
    inputs.defaultStartDrawing =
        script::joinPath(supervise::ownProgramFolder(), cad::startDrawingName, script::nativeSeparator());
    inputs.projectName = options.project.value_or(std::string());
    inputs.sessionStart = options.policy.sessionStart;
    inputs.sessionEnd = options.policy.sessionEnd;
    inputs.runsFolder = runs;
    inputs.part = options.shard;
    const auto prepare = [&]() -> Result<job::PreparedRun, int> {
        auto prepared = job::prepareRun(jobPath, loaded->text, read, inputs);
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
    // The job's policy with its session scripts as whole paths, the options laid over it.
    const auto policyFor = [&](const job::PreparedRun& prepared) {
        return supervise::resolvedPolicy(options.policy.over(prepared.policy), prepared.request.cad.path);
    };
    if (options.check) {
        auto prepared = prepare();
        if (!prepared)
            return prepared.error();
        const supervise::RunPolicy policy = policyFor(*prepared);
        return reviewJob(std::move(prepared->request), policy);
    }

    const auto lock = lockJob(*loaded, options.shard ? std::optional(options.shard->index) : std::nullopt);
    if (!lock)
        return lock.error();

    if (!options.newRun) {
        // Run beside the job's latest run split otherwise, the same drawings would be run twice at once.
        if (const auto other = job::otherSplitUnfinished(jobPath, runs, options.shard)) {
            writeError(
                "jobbets senaste körning är " +
                (other->shards > 0 ? "delad i " + std::to_string(other->shards) + " delar"
                                   : std::string("inte delad")) +
                " och har ritningar kvar (journal " + pathText(other->journal) + "): kör klart den " +
                (other->shards > 0 ? "med --shard K/" + std::to_string(other->shards) : std::string("utan --shard")) +
                ", eller börja en ny med --new; inget har körts");
            return exitJobBusy;
        }
        const auto unfinished = options.shard ? job::unfinishedPart(jobPath, runs, *options.shard)
                                              : job::unfinishedRun(jobPath, job::journalsNamedFor(jobPath, runs));
        if (unfinished) {
            writeError("tar upp " +
                       (options.shard ? partText(options.shard->index, options.shard->count) + " av jobbet"
                                      : std::string("jobbets senaste körning")) +
                       ", som inte blev klar: journal " + pathText(*unfinished) + " (--new börjar en ny)");
            supervise::PolicyChange change;
            if (options.policy.any()) {
                change = [&given = options.policy](const supervise::RunPolicy& kept, const std::string& program) {
                    return supervise::resolvedPolicy(given.over(kept), program);
                };
            }
            auto started = onThisMachine(supervise::openRun(*unfinished, supervise::TakeUp::Resume, change));
            if (!started && started.error().cause == supervise::StartProblem::Cause::JournalBusy) {
                writeError("journalen " + pathText(*unfinished) + " används av en annan körning");
                return exitJobBusy;
            }
            return runDrawings(std::move(started), stop);
        }
    }

    auto prepared = prepare();
    if (!prepared)
        return prepared.error();
    script::RunRequest& request = prepared->request;
    if (request.drawings.empty() && prepared->unchanged > 0) {
        writeError("ingen av " + std::string(options.shard ? "delens " : "jobbets ") +
                   std::to_string(prepared->unchanged) +
                   " ritningar har ändrats sedan de senast blev done; inget att köra");
        return 0;
    }
    if (prepared->inJob == 0)
        return failure("inga ritningar att köra: mönstret " + read.drawings.pattern + " tar inga filer i " +
                       pathText(request.listingFolder));
    if (prepared->unchanged > 0)
        writeError(std::to_string(prepared->unchanged) +
                   " ritningar har inte ändrats sedan de blev done och körs inte");
    // A part that none of the job's drawings fall to is done at once; its journal says that it ran.
    if (request.drawings.empty())
        writeError(partText(options.shard->index, options.shard->count) + " har ingen av jobbets " +
                   std::to_string(prepared->inJob) + " ritningar; den är klar");
    const supervise::RunPolicy policy = policyFor(*prepared);
    const char separator = script::nativeSeparator();
    std::string journal = options.journal;
    std::optional<supervise::ShardRecord> shard;
    if (options.shard) {
        journal = script::joinPath(runs, job::shardJournalName(jobPath, *options.shard), separator);
        shard = supervise::ShardRecord{options.shard->index, options.shard->count, supervise::hostName()};
    } else if (journal.empty()) {
        journal = script::joinPath(runs, job::journalName(jobPath), separator);
    }
    auto started = supervise::createRun(std::move(request), policy, journal, jobPath, shard);
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
        return options.job.empty() ? status(options.journal) : jobStatus(options);
    if (options.mode == Mode::Report)
        return options.job.empty() ? makeReport(options) : jobReport(options);
    const StopOnSignal stop;
    if (options.mode == Mode::Probe)
        return probe(options, stop);
    if (options.mode == Mode::Run)
        return newRun(options, stop);
    if (options.mode == Mode::Job)
        return runJob(options, stop);
    if (options.mode == Mode::Retry && !options.job.empty())
        return jobRetry(options, stop);
    const auto how = options.mode == Mode::Resume ? supervise::TakeUp::Resume : supervise::TakeUp::Retry;
    supervise::PolicyChange change;
    if (options.policy.any()) {
        change = [&given = options.policy](const supervise::RunPolicy& kept, const std::string& program) {
            return supervise::resolvedPolicy(given.over(kept), program);
        };
    }
    return runDrawings(supervise::openRun(options.journal, how, change), stop);
}
