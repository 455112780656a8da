#include "job/job.h"

#include "os/folders.h"
#include "os/pathtext.h"
#include "script/scriptfs.h"
#include "supervise/runfiles.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <sstream>
#include <toml.h>
#include <utility>

namespace job {

namespace {

using Problem = std::optional<JobProblem>;

JobProblem at(const toml::source_region& where, std::string message)
{
    return {std::move(message), std::size_t(where.begin.line), std::size_t(where.begin.column)};
}

// A value in TOML on one line. Texts in double quotes, as people write them, but a text with backslashes (a
// Windows path) in single quotes, where they stand as they are.
std::string formatted(const toml::node& node)
{
    auto flags = toml::toml_formatter::default_flags & ~toml::format_flags::allow_multi_line_strings;
    if (const auto* text = node.as_string(); !text || text->get().find('\\') == std::string::npos)
        flags = flags & ~toml::format_flags::allow_literal_strings;
    std::ostringstream out;
    out << toml::toml_formatter{node, flags};
    return out.str();
}

// A value as the file writes it, for messages: short, and a table or list by its kind.
std::string written(const toml::node& node)
{
    if (node.is_table())
        return "en tabell";
    if (node.is_array())
        return "en lista";
    std::string text = formatted(node);
    if (text.size() > 60)
        text = text.substr(0, 57) + "...";
    return text;
}

JobProblem expected(const toml::node& node, std::string_view key, std::string_view what)
{
    return at(node.source(),
              "nyckeln " + std::string(key) + " väntar sig " + std::string(what) + ", inte " + written(node));
}

bool hasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

Problem readText(const toml::node& node, std::string_view key, std::string& value, bool mayBeEmpty = true)
{
    const auto* text = node.as_string();
    if (!text)
        return expected(node, key, "en text inom citattecken");
    if (!mayBeEmpty && text->get().empty())
        return at(node.source(), "nyckeln " + std::string(key) + " är tom");
    // Every value may land in a script or on a command line, where a line break would end it.
    if (hasControlCharacter(text->get()))
        return at(node.source(),
                  "nyckeln " + std::string(key) + " innehåller en radbrytning eller ett annat styrtecken");
    value = text->get();
    return std::nullopt;
}

Problem readFlag(const toml::node& node, std::string_view key, bool& value)
{
    const auto* flag = node.as_boolean();
    if (!flag)
        return expected(node, key, "true eller false");
    value = flag->get();
    return std::nullopt;
}

// A value the run policy's own parsers read from its text: a number as written, a word as it stands.
template <typename T>
Problem readPolicyValue(const toml::node& node, std::string_view key, T& value, Result<T> (*parse)(std::string_view),
                        bool word)
{
    // A count is an integer of TOML's, never a text that looks like one.
    const bool fitting = word ? node.is_string() : node.is_integer();
    auto parsed = parse(fitting && word ? node.as_string()->get() : fitting ? written(node) : std::string());
    if (!parsed)
        return expected(node, key, parsed.error());
    value = *parsed;
    return std::nullopt;
}

Problem readTimeout(const toml::node& node, std::string_view key, std::chrono::milliseconds& value)
{
    const auto seconds = node.is_number() ? node.value<double>() : std::nullopt;
    auto timeout = supervise::timeoutFromSeconds(seconds.value_or(std::nan("")));
    if (!timeout)
        return expected(node, key, timeout.error());
    value = *timeout;
    return std::nullopt;
}

// A name of the list: relative to the folder and inside it.
std::optional<std::string> nameFault(std::string_view name)
{
    if (name.empty())
        return "är tomt";
    if (hasControlCharacter(name))
        return "innehåller en radbrytning eller ett annat styrtecken";
    if (name.front() == '/' || name.front() == '\\' || (name.size() >= 2 && name[1] == ':'))
        return "är en hel sökväg; namnen räknas från mappen";
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
        if (name.substr(start, end - start) == "..")
            return "går utanför mappen";
        start = end + 1;
    }
    return std::nullopt;
}

Problem readNames(const toml::node& node, std::string_view key, std::vector<std::string>& names)
{
    const auto* list = node.as_array();
    if (!list)
        return expected(node, key, "en lista av namn inom citattecken");
    names.clear();
    names.reserve(list->size());
    for (const toml::node& item : *list) {
        const auto* name = item.as_string();
        if (!name)
            return expected(item, key, "namn inom citattecken");
        if (const auto fault = nameFault(name->get()))
            return at(item.source(), "nyckeln " + std::string(key) + ": namnet \"" + name->get() + "\" " + *fault);
        names.push_back(name->get());
    }
    return std::nullopt;
}

std::string tomlString(std::string_view text)
{
    return formatted(toml::value<std::string>(std::string(text)));
}

std::string tomlFlag(bool value)
{
    return value ? "true" : "false";
}

std::string tomlNames(const std::vector<std::string>& names)
{
    if (names.empty())
        return "[]";
    std::string text = "[\n";
    for (const std::string& name : names)
        text.append("    ").append(tomlString(name)).append(",\n");
    return text + "]";
}

// One key of the file: where it stands, what it says, how it is read into a job and written from one.
struct Key
{
    std::string_view table; // empty: the top of the file
    std::string_view name;
    bool required = false;
    std::string comment;
    std::function<Problem(const toml::node&, const std::string& dotted, Job&)> read;
    std::function<std::string(const Job&)> write;
};

const std::vector<Key>& keys()
{
    using supervise::RunPolicy;
    static const std::vector<Key> table = {
        {"", "version", true, "jobbfilens format", nullptr, [](const Job&) { return std::to_string(formatVersion); }},
        {"", "template", true, "scriptmallen: en sökväg från jobbfilens mapp, eller hel",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readText(node, key, job.templatePath, false);
         },
         [](const Job& job) { return tomlString(job.templatePath); }},
        {"drawings", "folder", true, "ritningarnas mapp, från jobbfilens mapp eller hel",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readText(node, key, job.drawings.folder, false);
         },
         [](const Job& job) { return tomlString(job.drawings.folder); }},
        {"drawings", "pattern", false, "listans filter, som i fönstret",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readText(node, key, job.drawings.pattern);
         },
         [](const Job& job) { return tomlString(job.drawings.pattern); }},
        {"drawings", "subfolders", false, "mapparna under den också",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readFlag(node, key, job.drawings.subfolders);
         },
         [](const Job& job) { return tomlFlag(job.drawings.subfolders); }},
        {"drawings", "names", false, "eller exakt dessa, från mappen, i denna ordning",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readNames(node, key, job.drawings.names);
         },
         [](const Job& job) { return tomlNames(job.drawings.names); }},
        {"drawings", "changed", false, "bara ritningar som ändrats sedan de senast blev done i detta jobb",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readFlag(node, key, job.drawings.changed);
         },
         [](const Job& job) { return tomlFlag(job.drawings.changed); }},
        {"cad", "program", true, "CAD-programmets programfil",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readText(node, key, job.cad.path, false);
         },
         [](const Job& job) { return tomlString(job.cad.path); }},
        {"cad", "parameters", false, "startparametrar, som i parameterrutan",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readText(node, key, job.cad.parameters);
         },
         [](const Job& job) { return tomlString(job.cad.parameters); }},
        {"cad", "start_drawing", false, "startritningen; tom: helvscr.dwg i Vendrels programmapp",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readText(node, key, job.cad.startDrawing);
         },
         [](const Job& job) { return tomlString(job.cad.startDrawing); }},
        {"run", "batch", false, "ritningar per session, 1 till " + std::to_string(RunPolicy::maxBatchSize),
         [](const toml::node& node, const std::string& key, Job& job) {
             return readPolicyValue(node, key, job.policy.batchSize, &supervise::parseBatchSize, false);
         },
         [](const Job& job) { return std::to_string(job.policy.batchSize); }},
        {"run", "timeout", false,
         "tidsgräns per ritning i sekunder, " + supervise::timeoutText(RunPolicy::minTimeout) + " till " +
             supervise::timeoutText(RunPolicy::maxTimeout),
         [](const toml::node& node, const std::string& key, Job& job) {
             return readTimeout(node, key, job.policy.timeout);
         },
         [](const Job& job) { return supervise::timeoutText(job.policy.timeout); }},
        {"run", "sessions", false, "CAD-sessioner samtidigt, 1 till " + std::to_string(RunPolicy::maxSessions),
         [](const toml::node& node, const std::string& key, Job& job) {
             return readPolicyValue(node, key, job.policy.sessions, &supervise::parseSessions, false);
         },
         [](const Job& job) { return std::to_string(job.policy.sessions); }},
        {"run", "marks", false, "ritningsmärken: on, off, auto",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readPolicyValue(node, key, job.policy.marks, &supervise::parseMarksChoice, true);
         },
         [](const Job& job) { return tomlString(supervise::marksChoiceWord(job.policy.marks)); }},
        {"run", "form", false, "kommandoraden: standard, console, auto (programmets namn avgör)",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readPolicyValue(node, key, job.policy.form, &supervise::parseCommandForm, true);
         },
         [](const Job& job) { return tomlString(supervise::commandFormWord(job.policy.form)); }},
        {"run", "runs", false, "journalernas mapp, från jobbfilens mapp eller hel; tom: användarens",
         [](const toml::node& node, const std::string& key, Job& job) { return readText(node, key, job.runsFolder); },
         [](const Job& job) { return tomlString(job.runsFolder); }},
        {"run", "session_start", false, "script som varje CAD-session kör före sin första ritning; tom: inget",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readText(node, key, job.policy.sessionStart);
         },
         [](const Job& job) { return tomlString(job.policy.sessionStart); }},
        {"run", "session_end", false, "script som varje CAD-session kör efter sin sista ritning; tom: inget",
         [](const toml::node& node, const std::string& key, Job& job) {
             return readText(node, key, job.policy.sessionEnd);
         },
         [](const Job& job) { return tomlString(job.policy.sessionEnd); }},
    };
    return table;
}

bool knownTable(std::string_view name)
{
    return std::any_of(keys().begin(), keys().end(),
                       [&](const Key& key) { return !name.empty() && key.table == name; });
}

const Key* knownKey(std::string_view table, std::string_view name)
{
    const auto found = std::find_if(keys().begin(), keys().end(),
                                    [&](const Key& key) { return key.table == table && key.name == name; });
    return found == keys().end() ? nullptr : &*found;
}

std::string dotted(std::string_view table, std::string_view name)
{
    return table.empty() ? std::string(name) : std::string(table) + "." + std::string(name);
}

// A hint for a known key in the wrong place: a key below a [table] line belongs to that table.
std::string belongsElsewhere(std::string_view name)
{
    const auto found = std::find_if(keys().begin(), keys().end(), [&](const Key& key) { return key.name == name; });
    if (found == keys().end())
        return {};
    if (found->table.empty())
        return " (den hör till filens början, före första [tabell])";
    return " (den hör till [" + std::string(found->table) + "])";
}

// Before anything else: a file of a later format may hold keys this version does not know.
Problem checkVersion(const toml::table& root)
{
    const toml::node* node = root.get("version");
    if (!node)
        return JobProblem{"nyckeln version saknas: är det en jobbfil?", 0, 0};
    const auto* version = node->as_integer();
    if (version && version->get() > formatVersion)
        return at(node->source(), "jobbfilen är skriven av en nyare Vendrel (version " +
                                      std::to_string(version->get()) + "); den här läser version " +
                                      std::to_string(formatVersion));
    if (!version || version->get() != formatVersion)
        return expected(*node, "version", std::to_string(formatVersion));
    return std::nullopt;
}

// Every problem of the keys of one table; known keys are read into job.
void readTable(const toml::table& table, std::string_view tableName, Job& job, std::vector<JobProblem>& problems)
{
    for (const auto& [name, node] : table) {
        const std::string key = dotted(tableName, name.str());
        if (tableName.empty() && knownTable(name.str())) {
            if (const auto* inner = node.as_table())
                readTable(*inner, name.str(), job, problems);
            else
                problems.push_back(expected(node, key, "en tabell"));
            continue;
        }
        const Key* known = knownKey(tableName, name.str());
        if (!known) {
            problems.push_back(at(name.source(), node.is_table()
                                                     ? "okänd tabell [" + key + "]"
                                                     : "okänd nyckel " + key + belongsElsewhere(name.str())));
            continue;
        }
        if (known->read) {
            if (auto problem = known->read(node, key, job))
                problems.push_back(std::move(*problem));
        }
    }
}

void checkRequired(const toml::table& root, std::vector<JobProblem>& problems)
{
    for (const Key& key : keys()) {
        if (!key.required)
            continue;
        const toml::node* table = key.table.empty() ? &root : root.get(key.table);
        if (!table || !table->is_table()) {
            if (!table)
                problems.push_back({"tabellen [" + std::string(key.table) + "] saknas", 0, 0});
            continue;
        }
        if (!table->as_table()->contains(key.name)) {
            JobProblem missing = at(table->source(), "nyckeln " + dotted(key.table, key.name) + " saknas");
            if (key.table.empty())
                missing.line = missing.column = 0;
            problems.push_back(std::move(missing));
        }
    }
}

constexpr std::string_view utf8Mark = "\xEF\xBB\xBF";

} // namespace

Result<Job, JobProblem> parseJob(std::string_view text)
{
    using Answer = Result<Job, JobProblem>;
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
        return Answer::failure({"jobbfilen är sparad som UTF-16; spara den som UTF-8", 0, 0});
    if (text.starts_with(utf8Mark))
        text.remove_prefix(utf8Mark.size());
    if (const auto nul = text.find('\0'); nul != std::string_view::npos)
        return Answer::failure({"jobbfilen innehåller NUL-tecken: den är inte sparad som UTF-8 (kanske UTF-16)",
                                std::size_t(std::count(text.begin(), text.begin() + std::ptrdiff_t(nul), '\n')) + 1,
                                0});

    toml::parse_result parsed = toml::parse(text);
    if (!parsed) {
        const toml::parse_error& error = parsed.error();
        return Answer::failure(
            at(error.source(), "jobbfilen är inte giltig TOML: " + std::string(error.description())));
    }
    const toml::table& root = parsed.table();
    if (auto problem = checkVersion(root))
        return Answer::failure(std::move(*problem));

    Job job;
    std::vector<JobProblem> problems;
    readTable(root, "", job, problems);
    checkRequired(root, problems);
    if (problems.empty())
        return job;
    // The first in the file, as a reader meets them; those without a line (missing keys) last.
    const auto order = [](const JobProblem& problem) {
        return std::pair(problem.line == 0 ? std::size_t(-1) : problem.line, problem.column);
    };
    return Answer::failure(*std::min_element(problems.begin(), problems.end(),
                                             [&](const auto& a, const auto& b) { return order(a) < order(b); }));
}

Result<std::string, JobProblem> readJobText(const std::string& path)
{
    auto bytes = supervise::readWholeFile(path);
    if (!bytes)
        return Result<std::string, JobProblem>::failure({"jobbfilen kan inte läsas: " + pathText(bytes.error()), 0, 0});
    return std::move(*bytes);
}

Result<Job, JobProblem> readJob(const std::string& path)
{
    auto text = readJobText(path);
    if (!text)
        return Result<Job, JobProblem>::failure(text.error());
    return parseJob(*text);
}

std::size_t keyLine(std::string_view text, std::string_view key)
{
    if (text.starts_with(utf8Mark))
        text.remove_prefix(utf8Mark.size());
    toml::parse_result parsed = toml::parse(text);
    if (!parsed)
        return 0;
    const toml::node_view<const toml::node> node = std::as_const(parsed.table()).at_path(key);
    return node ? std::size_t(node.node()->source().begin.line) : 0;
}

std::string jobText(const Job& job)
{
    // The comments begin in one column, as far as the values allow.
    constexpr std::size_t commentColumn = 37;
    std::string text;
    std::string_view table;
    for (const Key& key : keys()) {
        if (key.table != table) {
            table = key.table;
            text.append("\n[").append(table).append("]\n");
        }
        const std::string value = key.write(job);
        const std::size_t lineEnd = std::min(value.find('\n'), value.size());
        std::string line = std::string(key.name) + " = " + value.substr(0, lineEnd);
        const auto characters = std::size_t(std::count_if(line.begin(), line.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80; // UTF-8 continuation bytes take no room
        }));
        line.append(characters < commentColumn ? commentColumn - characters : 1, ' ');
        text.append(line).append("# ").append(key.comment).append(value.substr(lineEnd)).append("\n");
    }
    return text;
}

Result<void> writeJob(const std::string& path, const Job& job)
{
    const std::string text = jobText(job);
    if (auto read = parseJob(text); !read)
        return Result<void>::failure("jobbet kan inte sparas: " + read.error().message);
    if (auto written = script::replaceFile(path, text); !written)
        return Result<void>::failure("jobbfilen " + pathText(path) + " kan inte skrivas: " + pathText(written.error()));
    return {};
}

Result<std::string> resolvedPath(const std::string& jobPath, const std::string& path)
{
    auto bytes = exactSystemText(path);
    if (!bytes)
        return Result<std::string>::failure("sökvägen " + path + " går inte att använda: " + bytes.error());
    std::string native = std::move(*bytes);
    if (folderSeparator != '/')
        std::replace(native.begin(), native.end(), '/', folderSeparator);
    const bool whole =
        native.starts_with(folderSeparator) || (folderSeparator == '\\' && native.size() >= 2 && native[1] == ':');
    if (!whole) {
        const std::string jobFile = absolutePath(jobPath);
        const auto slash = jobFile.rfind(folderSeparator);
        const std::string folder = slash == std::string::npos ? currentFolder()
                                   : slash == 0               ? std::string(1, folderSeparator)
                                                              : jobFile.substr(0, slash);
        native = joinFolder(folder, native);
    }
    return absolutePath(native);
}

std::string problemText(const JobProblem& problem, std::string_view where)
{
    std::string text(where);
    if (problem.line > 0) {
        text += ", rad " + std::to_string(problem.line);
        if (problem.column > 0)
            text += ", kolumn " + std::to_string(problem.column);
    }
    return text + ": " + problem.message;
}

} // namespace job
