// vendrel-script: writes the same script as the window, from the command line.

#include "cli/arguments.h"
#include "cli/cliformat.h"
#include "cli/names.h"
#include "cli/review.h"
#include "job/job.h"
#include "job/jobrun.h"
#include "os/console.h"
#include "os/folders.h"
#include "os/pathtext.h"
#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/runrequest.h"
#include "script/scriptcheck.h"
#include "script/scriptfile.h"
#include "script/scripttemplate.h"
#include "script/texts.h"
#include "supervise/runfiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view usageLine = "vendrel-script [--project NAME] [--now YYYY-MM-DDTHH:MM:SS]\n"
                                       "                   [--output FILE] [--marks FILE] [--session-start FILE]\n"
                                       "                   [--session-end FILE] [--check] TEMPLATE FOLDER\n"
                                       "                   [DRAWING...]\n"
                                       "            vendrel-script --job FILE [--project NAME] [--now ...]\n"
                                       "                   [--output FILE] [--marks FILE] [--check]\n"
                                       "                   [--session-start FILE] [--session-end FILE]";

// Every line at most 79 characters: a console 80 wide breaks longer ones in the middle of words.
constexpr std::string_view helpText = R"(

Skriver ett script som upprepar mallen TEMPLATE för varje ritning i mappen
FOLDER och slutar med .EXIT. Ritningarnas namn tas från argumenten, eller, när
inga ges, från standard in, ett namn per rad.

  --job FILE       mallen, mappen och ritningarna från jobbfilen FILE (*.vjob,
                   se vendrel-run --help): ritningarna som en körning av jobbet
                   skulle ta nu

  --check          granska i stället för att skriva: skriv ut vad som skulle
                   gå fel i scriptet, en rad per fynd:
                   NIVÅ:RAD:KOD:RITNING: text (NIVÅ error eller warning, RAD
                   scriptets rad eller 0, RITNING tom när ingen)
  --start-drawing FILE
                   med --check: startritningen som CAD-programmet öppnar före
                   scriptet; granskas också (med --job: jobbets start_drawing
                   när den inte ges)
  --project NAME   projektnamnet som ersätter %m (krävs när mallen innehåller
                   "%m")
  --now TIME       fast klockslag för %date och %time, till exempel
                   2026-12-06T14:05:09
  --output FILE    skriv scriptet till FILE i stället för till standard ut
  --marks FILE     ritningsmärken: före och efter varje ritnings rader en
                   AutoLISP-rad som skriver "begin N" och "end N" (N ritningens
                   plats i listan, från 0) till FILE; med --check räknas
                   märkesraderna i RAD, och en FILE som inte kan skrivas i ett
                   script är ett fel
  --session-start FILE
                   scriptet som en CAD-session i en övervakad körning kör före
                   sin första ritning: dess rader före den första ritningens,
                   som de är (med --job: jobbets session_start när den inte
                   ges; en tom FILE: inget)
  --session-end FILE
                   scriptet som sessionen kör efter sin sista ritning: dess
                   rader före .EXIT (med --job: jobbets session_end)
  --help           visa denna text

Platshållare i mallen:
  %f           mappen och ritningens namn (hela sökvägen)
  %lfullname   hela sökvägen med / mellan delarna
  %path        mappen
  %lpath       mappen med / mellan delarna
  %name        ritningens namn utan filtillägg
  %ext         filtillägget utan punkt
  %m           projektnamnet
  %date        dagens datum (kort datumformat)
  %time        klockslaget (timmar, minuter, sekunder)

Koder vid --check:
  missing          ritningen finns inte (error)
  read-only        ritningen är skrivskyddad
  locked           ritningen verkar vara öppen på annat håll (låsfil .dwl
                   eller .dwl2)
  unquoted-blank   ett värde med blanksteg står utanför citattecken
  quote-in-value   ett värde innehåller citattecken
  empty-line       raden blir tom, eller slutar med blanksteg från ett värde
  unencodable      namnet, mallens eller ett sessionsscripts text går inte att
                   skriva i scriptets teckentabell
  comment-cut      det sista ; på en rad tar bort slutet på en sträng eller
                   parenteser
  blanks-removed   blanksteg sist på en rad togs bort, och med dem deras Enter
  no-project       mallen innehåller %m men inget projektnamn är angivet
  same-drawing     ritningen är samma fil som en ritning högre upp i listan
                   (error)
  no-drawings      inga ritningar (error)
  no-body          mallen har inga kommandorader (error)
  no-start-drawing startritningen finns inte (error)
  session-exit     en rad i ett sessionsscript avslutar CAD-sessionen (error)

Fynd om en rad som blir likadan för varje ritning ges en gång, på radens plats
vid den första ritningen, utan ritning och med mallens radnummer i texten.

Slutstatus: 0 klart, 1 fel (inget skrivet), 2 felaktiga argument eller en
felaktig jobbfil. Med --check: 0 inga fynd, 3 bara varningar, 1 något fel.

Meddelanden, fynd och ritningsnamn visas med alla tecken i ett konsolfönster
och skrivs i UTF-8 till en fil eller ett rör. Scriptet behåller filnamnens egna
byte (Windows: ANSI-teckentabellen).
)";

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

struct Options : cli::CommonArguments
{
    std::optional<std::string> project;
    std::optional<std::string> startDrawing;
    std::optional<script::LocalDateTime> now;
    std::optional<std::string> output;
    std::optional<std::string> marks;
    std::optional<std::string> job;
    std::optional<std::string> sessionStart; // empty: none
    std::optional<std::string> sessionEnd;
    bool check = false;
};

void writeError(std::string_view message)
{
    console::write(console::Stream::Error, std::string(message) + '\n');
}

int usageError(std::string_view message)
{
    std::string text = "vendrel-script: ";
    text.append(message).append("\nAnvändning: ").append(usageLine);
    writeError(text);
    return exitUsage;
}

int failure(std::string_view message)
{
    writeError(std::string("vendrel-script: ").append(message));
    return exitFailure;
}

bool readNumber(std::string_view text, std::size_t from, std::size_t count, int low, int high, int& value)
{
    value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return value >= low && value <= high;
}

// YYYY-MM-DDTHH:MM:SS, a real calendar date.
std::optional<script::LocalDateTime> parseNow(std::string_view text)
{
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    script::LocalDateTime when;
    if (!readNumber(text, 0, 4, 1, 9999, when.year) || !readNumber(text, 5, 2, 1, 12, when.month) ||
        !readNumber(text, 8, 2, 1, 31, when.day) || !readNumber(text, 11, 2, 0, 23, when.hour) ||
        !readNumber(text, 14, 2, 0, 59, when.minute) || !readNumber(text, 17, 2, 0, 59, when.second))
        return std::nullopt;
    const bool leap = (when.year % 4 == 0 && when.year % 100 != 0) || when.year % 400 == 0;
    constexpr int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (when.day > monthDays[when.month - 1] + (when.month == 2 && leap ? 1 : 0))
        return std::nullopt;
    return when;
}

// Gives an error text for a usage error, or nothing.
std::optional<std::string> parseArguments(int argc, char** argv, Options& options)
{
    const auto take = [&](const cli::Argument& argument) -> std::optional<std::string> {
        const std::string_view name = argument.name, value = argument.value;
        if (name == "--check") {
            options.check = true;
        } else if (name == "--project") {
            options.project = std::string(value);
        } else if (name == "--start-drawing") {
            if (value.empty())
                return "--start-drawing saknar filnamn";
            options.startDrawing = std::string(value);
        } else if (name == "--now") {
            options.now = parseNow(value);
            if (!options.now)
                return "--now väntar sig YYYY-MM-DDTHH:MM:SS, inte " + std::string(value);
        } else if (name == "--marks") {
            if (value.empty())
                return "--marks saknar filnamn";
            options.marks = std::string(value);
        } else if (name == "--session-start" || name == "--session-end") {
            (name == "--session-start" ? options.sessionStart : options.sessionEnd) =
                value.empty() ? std::string() : absolutePath(std::string(value));
        } else if (name == "--job") {
            if (value.empty())
                return "--job saknar filnamn";
            options.job = std::string(value);
        } else {
            if (value.empty())
                return "--output saknar filnamn";
            options.output = std::string(value);
        }
        return std::nullopt;
    };
    if (auto error = cli::readArguments(argc, argv, {"--check"},
                                        {"--project", "--now", "--output", "--start-drawing", "--marks", "--job",
                                         "--session-start", "--session-end"},
                                        options, take))
        return error;
    if (options.help)
        return std::nullopt;
    if (options.job)
        return options.positional.empty()
                   ? std::nullopt
                   : std::optional<std::string>("--job tar varken TEMPLATE, FOLDER eller ritningar");
    if (options.positional.size() < 2)
        return std::string("TEMPLATE och FOLDER krävs");
    for (std::size_t i = 2; i < options.positional.size(); ++i) {
        if (options.positional[i].empty())
            return std::string("ett ritningsnamn är tomt");
    }
    return std::nullopt;
}

// The request a run of the job would make now (its drawings listed, and narrowed by changed); the exit status
// when it cannot be made.
Result<script::RunRequest, int> requestOfJob(const Options& options)
{
    using Answer = Result<script::RunRequest, int>;
    const std::string jobPath = absolutePath(*options.job);
    const auto text = job::readJobText(jobPath);
    auto read = text ? job::parseJob(*text) : Result<job::Job, job::JobProblem>::failure(text.error());
    if (!read) {
        failure(job::problemText(read.error(), "jobbfilen " + pathText(jobPath)));
        return Answer::failure(exitUsage);
    }
    job::RunInputs inputs;
    if (options.startDrawing)
        inputs.startDrawing = absolutePath(*options.startDrawing);
    inputs.projectName = options.project.value_or(std::string());
    inputs.sessionStart = options.sessionStart;
    inputs.sessionEnd = options.sessionEnd;
    inputs.withProgram = false;
    if (read->drawings.changed) {
        // The job's runs folder when it names one (a split job's share), as vendrel-run goes by it.
        const auto named = read->runsFolder.empty() ? Result<std::string>(std::string())
                                                    : job::resolvedPath(jobPath, read->runsFolder);
        const auto own = named && !named->empty() ? named : supervise::runsFolder();
        inputs.runsFolder = own ? *own : std::string();
    }
    auto prepared = job::prepareRun(jobPath, *text, *read, inputs);
    if (!prepared) {
        failure(prepared.error().message);
        return Answer::failure(prepared.error().cause == job::PrepareProblem::Cause::Job ? exitUsage : exitFailure);
    }
    for (const std::string& folder : prepared->unreadable)
        writeError("vendrel-script: mappen " + pathText(folder) + " kan inte läsas; ritningarna i den är inte med");
    return std::move(prepared->request);
}

class StandardOutput final : public script::ScriptOutput
{
public:
    bool write(std::string_view bytes) override
    {
        m_ok = m_ok && std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
        return m_ok;
    }
    bool finish() { return m_ok && std::fflush(stdout) == 0; }

private:
    bool m_ok = true;
};

} // namespace

int main(int argc, char** argv)
{
    script::setBinaryStdio();
    console::guardStandardStreams();

    Options options;
    if (const auto error = parseArguments(argc, argv, options))
        return usageError(*error);
    if (options.help)
        return cli::writeHelp(usageLine, helpText) ? 0 : exitFailure;

    script::RunRequest request;
    if (options.job) {
        auto prepared = requestOfJob(options);
        if (!prepared)
            return prepared.error();
        request = std::move(*prepared);
    } else {
        request.templatePath = options.positional[0];
        request.listingFolder = options.positional[1];
        request.projectName = options.project.value_or(std::string());
        request.cad.startDrawing = options.startDrawing.value_or(std::string());
        script::nameSessionScripts(request.sessionScripts, options.sessionStart.value_or(std::string()),
                                   options.sessionEnd.value_or(std::string()));
        // Checked again with the names when the script is made; here before they are read, which may wait on a
        // terminal. A script names no program.
        if (auto checked = script::checkRequest(request, false); !checked)
            return failure(script::requestProblemText(
                checked.error(), [](std::string_view bytes) { return pathText(std::string(bytes)); }));

        request.drawings.assign(options.positional.begin() + 2, options.positional.end());
        if (request.drawings.empty() && !cli::readNames(stdin, request.drawings))
            return failure(std::string("ritningsnamnen kan inte läsas: ") + std::strerror(errno));
    }

    const script::DateTimeFormat format = script::regionalDateTimeFormat();
    // The clock is read once for a check, and for --now; a script for a run reads it on every line.
    if (options.check || options.now) {
        const script::LocalDateTime now = options.now.value_or(script::localNow());
        request.clockReading = script::ClockReading{format.date ? format.date(now) : std::string(),
                                                    format.time ? format.time(now) : std::string()};
    }
    // The marks file is named by its whole path: the CAD program does not run in our folder.
    const std::string marksPath = options.marks ? absolutePath(*options.marks) : std::string();
    if (options.marks && !script::markablePath(marksPath))
        return failure("märkesfilen " + pathText(marksPath) + " kan inte skrivas i ett script");
    if (options.check) {
        // The faults a run would stop at come first, as in a run.
        if (const auto lineBreak = script::findLineBreak(request.listingFolder, request.drawings, request.projectName))
            return failure(script::texts::lineBreak({lineBreak->field, pathText(lineBreak->value)}));
        return cli::printFindings(request, options.marks.has_value());
    }
    std::vector<std::size_t> positions(options.marks ? request.drawings.size() : 0);
    for (std::size_t i = 0; i < positions.size(); ++i)
        positions[i] = i;
    const script::DrawingMarks marks{script::markPathText(marksPath), positions};
    const auto expand = [&](script::ScriptOutput& output) {
        return script::expandTemplate(request, request.drawings, format, output, options.marks ? &marks : nullptr);
    };
    if (options.output) {
        script::ReplacingFile file(*options.output);
        if (const auto lineBreak = expand(file))
            return failure(script::texts::lineBreak({lineBreak->field, pathText(lineBreak->value)}));
        const script::WriteResult written = file.commit();
        if (!written)
            return failure(script::texts::scriptNotWritten(pathText(*options.output), pathText(written.error())));
    } else {
        StandardOutput output;
        if (const auto lineBreak = expand(output))
            return failure(script::texts::lineBreak({lineBreak->field, pathText(lineBreak->value)}));
        if (!output.finish())
            return failure(script::texts::scriptNotWritten("(standard ut)", std::strerror(errno)));
    }
    return 0;
}
