#include "supervise/journal.h"

#include "supervise/runfiles.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace supervise {

namespace {

// One record a line: eight hex digits of the CRC-32 of the rest, a blank, the record's fields separated by
// TABs, LF. A line that does not add up is never taken for a record.

constexpr std::string_view magic = "vendrel-journal";
// 5: the policy record names the session scripts, and a run of a part of a job split over machines names the part
// and the machine it runs on.
constexpr std::string_view version = "5";
// 4: the run policy is a record of its own (the inputs lost the batch size and time-out), and a run of a job
// names its job file.
constexpr std::string_view fourthVersion = "4";
// 3: a batch is one record naming its session, its processes and whether it has drawing marks.
constexpr std::string_view thirdVersion = "3";
// 2: the drawing list ends in a record with its count and CRC; sessions are recorded.
constexpr std::string_view secondVersion = "2";
// Journals written before the drawing list had its end record; still read and taken up.
constexpr std::string_view firstVersion = "1";
constexpr char hexDigits[] = "0123456789abcdef";

constexpr std::array<std::uint32_t, 256> crcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}();

// crc goes on from the CRC of the bytes before.
std::uint32_t crc32(std::string_view bytes, std::uint32_t crc = 0)
{
    std::uint32_t c = crc ^ 0xFFFFFFFFu;
    for (const char b : bytes)
        c = crcTable[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::string hex32(std::uint32_t value)
{
    std::string text;
    for (int shift = 28; shift >= 0; shift -= 4)
        text.push_back(hexDigits[(value >> shift) & 0xF]);
    return text;
}

// Names and paths are bytes: anything that would end a field or a line is escaped.
void appendField(std::string& line, std::string_view value)
{
    line.push_back('\t');
    for (const char c : value) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line.push_back(c);
        }
    }
}

std::optional<std::string> unescape(std::string_view field)
{
    std::string value;
    value.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            value.push_back(field[i]);
            continue;
        }
        if (++i == field.size())
            return std::nullopt;
        switch (field[i]) {
        case '\\':
            value.push_back('\\');
            break;
        case 't':
            value.push_back('\t');
            break;
        case 'n':
            value.push_back('\n');
            break;
        case 'r':
            value.push_back('\r');
            break;
        default:
            return std::nullopt;
        }
    }
    return value;
}

class Record
{
public:
    explicit Record(std::string_view kind) : m_payload(kind) {}
    Record& field(std::string_view value)
    {
        appendField(m_payload, value);
        return *this;
    }
    Record& number(std::int64_t value) { return field(std::to_string(value)); }
    void appendTo(std::string& out) const
    {
        out += hex32(crc32(m_payload));
        out.push_back(' ');
        out += m_payload;
        out.push_back('\n');
    }
    const std::string& payload() const { return m_payload; }

private:
    std::string m_payload;
};

// The fields of a sound line, or nothing; payload is set to the part the CRC covers.
std::optional<std::vector<std::string>> fieldsOf(std::string_view line, std::string_view& payload)
{
    if (line.size() < 9 || line[8] != ' ')
        return std::nullopt;
    std::uint32_t stored = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + 8, stored, 16);
    if (error != std::errc() || end != line.data() + 8)
        return std::nullopt;
    payload = line.substr(9);
    if (crc32(payload) != stored)
        return std::nullopt;
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const auto tab = payload.find('\t', start);
        auto value = unescape(payload.substr(start, tab - start));
        if (!value)
            return std::nullopt;
        fields.push_back(std::move(*value));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

template <typename Number> bool toNumber(const std::string& text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

constexpr std::string_view stateNames[] = {"pending", "done",        "failed", "timed-out",
                                           "missing", "interrupted", "not-run"};

// How far a journal has been read.
struct Reading
{
    bool headerSeen = false;
    bool inputsSeen = false;
    bool listEnded = false;
    std::uint32_t listCrc = 0; // of the drawing records so far
    // A journal of the first format: its drawing list has no end record and ends at the first other record.
    bool firstFormat = false;
    bool batchRecords = false; // the third format: results close batches one drawing at a time
    bool policyRecords = false; // the fourth: the policy and the job have records of their own
    bool sessionScripts = false; // the fifth: the policy names the session scripts
    bool policySeen = false;
    bool shardRecords = false; // the fifth: a part of a split job has a record of its own
};

std::vector<std::string> policyFields(const RunPolicy& policy)
{
    return {std::to_string(policy.batchSize),
            std::to_string(policy.timeout.count()),
            std::to_string(policy.sessions),
            std::string(marksChoiceWord(policy.marks)),
            std::string(commandFormWord(policy.form)),
            policy.sessionStart,
            policy.sessionEnd};
}

// A policy record's fields after its kind; the session scripts only in the fifth format (before it, a run had
// none). Values out of bounds are not damage: a journal written by hand or by another version may have them,
// and the run goes on inside the bounds.
std::optional<RunPolicy> policyFromFields(std::span<const std::string> fields, bool sessionScripts)
{
    RunPolicy policy;
    std::int64_t timeout = 0;
    if (fields.size() != (sessionScripts ? 7 : 5) || !toNumber(fields[0], policy.batchSize) ||
        !toNumber(fields[1], timeout) || !toNumber(fields[2], policy.sessions))
        return std::nullopt;
    if (sessionScripts) {
        policy.sessionStart = fields[5];
        policy.sessionEnd = fields[6];
    }
    policy.timeout = std::chrono::milliseconds(timeout);
    const auto marks = parseMarksChoice(fields[3]);
    const auto form = parseCommandForm(fields[4]);
    if (!marks || !form)
        return std::nullopt;
    policy.marks = *marks;
    policy.form = *form;
    return bounded(policy);
}

// A result closes its drawing in the batch that has it, and the batch once all of them have one.
void closeDrawing(JournalContent& content, std::size_t index)
{
    for (auto batch = content.openBatches.begin(); batch != content.openBatches.end(); ++batch) {
        auto& open = batch->indices;
        if (const auto found = std::find(open.begin(), open.end(), index); found != open.end()) {
            open.erase(found);
            if (open.empty())
                content.openBatches.erase(batch);
            return;
        }
    }
}

bool applyBatch(JournalContent& content, const std::vector<std::string>& fields)
{
    std::int64_t when = 0;
    OpenBatch batch;
    if (fields.size() < 5 || !toNumber(fields[1], when) || !toNumber(fields[2], batch.info.session) ||
        batch.info.session == 0 || fields[3].empty() || (fields[4] != "0" && fields[4] != "1"))
        return false;
    batch.info.processMark = fields[3];
    batch.info.marks = fields[4] == "1";
    for (std::size_t i = 5; i < fields.size(); ++i) {
        std::size_t index = 0;
        if (!toNumber(fields[i], index) || index >= content.drawings.size())
            return false;
        batch.indices.push_back(index);
    }
    for (const std::size_t index : batch.indices) {
        closeDrawing(content, index); // a batch whose session died unnoticed gives its drawings up
        DrawingEntry& drawing = content.drawings[index];
        drawing.state = State::Interrupted;
        // Until a result says more, the drawing began with its batch and has no end.
        drawing.session = batch.info.session;
        drawing.startedMs = when;
        drawing.endedMs = 0;
    }
    content.sessionsUsed = std::max(content.sessionsUsed, batch.info.session);
    content.openBatches.push_back(std::move(batch));
    content.finished = false;
    return true;
}

std::vector<std::string> shardFields(const ShardRecord& shard)
{
    return {std::to_string(shard.index), std::to_string(shard.count), shard.host};
}

// The first shard record follows the job's; a later one says that the run went on on another machine, and
// never changes the part.
bool applyShard(JournalContent& content, const std::vector<std::string>& fields, bool listEnded)
{
    ShardRecord shard;
    if (fields.size() != 4 || !toNumber(fields[1], shard.index) || !toNumber(fields[2], shard.count) ||
        shard.index >= shard.count)
        return false;
    shard.host = fields[3];
    if (listEnded ? !content.shard || content.shard->index != shard.index || content.shard->count != shard.count
                  : content.shard || content.jobPath.empty() || !content.drawings.empty())
        return false;
    content.shard = std::move(shard);
    return true;
}

// Applies one record; false when it does not fit where it stands.
bool apply(JournalContent& content, const std::vector<std::string>& fields, std::string_view payload,
           Reading& reading)
{
    const std::string& kind = fields[0];
    if (!reading.headerSeen) {
        reading.firstFormat = kind == magic && fields.size() == 2 && fields[1] == firstVersion;
        reading.sessionScripts = kind == magic && fields.size() == 2 && fields[1] == version;
        reading.shardRecords = reading.sessionScripts;
        reading.policyRecords =
            reading.sessionScripts || (kind == magic && fields.size() == 2 && fields[1] == fourthVersion);
        reading.batchRecords =
            reading.policyRecords || (kind == magic && fields.size() == 2 && fields[1] == thirdVersion);
        return reading.headerSeen = kind == magic && fields.size() == 2 &&
                                    (reading.batchRecords || fields[1] == secondVersion || reading.firstFormat);
    }
    if (reading.firstFormat && reading.inputsSeen && !reading.listEnded && kind != "drawing")
        reading.listEnded = true;
    if (kind == "inputs") {
        if (reading.inputsSeen)
            return false;
        // Before the policy had a record, the inputs ended in the batch size and the time-out.
        std::span<const std::string> inputs = std::span(fields).subspan(1);
        if (!reading.policyRecords) {
            if (inputs.size() < 2)
                return false;
            const std::string oldPolicy[] = {inputs[inputs.size() - 2], inputs.back(), "1", "auto", "auto"};
            auto policy = policyFromFields(oldPolicy, false);
            if (!policy)
                return false;
            content.policy = *policy;
            inputs = inputs.first(inputs.size() - 2);
        }
        auto request = script::requestFromFields(inputs);
        if (!request)
            return false;
        content.request = std::move(*request);
        reading.inputsSeen = true;
        return true;
    }
    if (!reading.inputsSeen)
        return false;
    if (kind == "policy") {
        // The first follows the inputs; a later one is the policy a resumed or retried run went on with.
        auto policy = policyFromFields(std::span(fields).subspan(1), reading.sessionScripts);
        if (!reading.policyRecords || !policy || (!reading.policySeen && !content.drawings.empty()))
            return false;
        content.policy = *policy;
        return reading.policySeen = true;
    }
    if (kind == "job") {
        if (!reading.policyRecords || !reading.policySeen || !content.drawings.empty() || reading.listEnded ||
            fields.size() != 2 || !content.jobPath.empty())
            return false;
        content.jobPath = fields[1];
        return true;
    }
    if (kind == "shard")
        return reading.shardRecords && applyShard(content, fields, reading.listEnded);
    if (reading.policyRecords && !reading.policySeen)
        return false;
    if (kind == "drawing") {
        if (reading.listEnded || fields.size() != 2)
            return false;
        content.drawings.emplace_back().name = fields[1];
        reading.listCrc = crc32(payload, reading.listCrc);
        return true;
    }
    if (kind == "drawings") {
        // A list that lost whole lines would otherwise pass for a shorter one.
        std::size_t count = 0;
        if (reading.listEnded || fields.size() != 3 || !toNumber(fields[1], count) ||
            count != content.drawings.size() || fields[2] != hex32(reading.listCrc))
            return false;
        return reading.listEnded = true;
    }
    if (!reading.listEnded)
        return false;
    if (kind == "batch")
        return reading.batchRecords && applyBatch(content, fields);
    if (kind == "session") {
        if (reading.batchRecords || fields.size() != 2 || fields[1].empty())
            return false;
        content.openSessions.push_back(fields[1]);
        return true;
    }
    if (kind == "start") {
        std::int64_t when = 0;
        if (reading.batchRecords || fields.size() < 2 || !toNumber(fields[1], when))
            return false;
        for (std::size_t i = 2; i < fields.size(); ++i) {
            std::size_t index = 0;
            if (!toNumber(fields[i], index) || index >= content.drawings.size())
                return false;
            content.drawings[index].state = State::Interrupted;
            content.drawings[index].session = 1;
            content.drawings[index].startedMs = when;
            content.drawings[index].endedMs = 0;
        }
        content.sessionsUsed = 1;
        content.finished = false;
        return true;
    }
    if (kind == "result") {
        std::size_t index = 0;
        DrawingEntry entry;
        std::optional<State> state;
        if (fields.size() != 7 || !toNumber(fields[1], index) || index >= content.drawings.size() ||
            !(state = stateFromName(fields[2])) || (fields[3] != "0" && fields[3] != "1") ||
            !toNumber(fields[4], entry.startedMs) || !toNumber(fields[5], entry.endedMs))
            return false;
        DrawingEntry& target = content.drawings[index];
        target.state = *state;
        target.changed = fields[3] == "1";
        target.startedMs = entry.startedMs;
        target.endedMs = entry.endedMs;
        target.exitStatus = fields[6];
        if (reading.batchRecords)
            closeDrawing(content, index);
        else
            content.openSessions.clear();
        return true;
    }
    if (kind == "finished") {
        if (fields.size() != 3)
            return false;
        content.finished = true;
        (void)toNumber(fields[1], content.finishedMs);
        content.openSessions.clear();
        // A batch still open here lost its results with the journal's writes (a full disk): what its marks file
        // says is done is taken up by the next run, not run again.
        return true;
    }
    return false;
}

} // namespace

std::string_view stateName(State state)
{
    return stateNames[static_cast<std::size_t>(state)];
}

std::optional<State> stateFromName(std::string_view name)
{
    for (std::size_t i = 0; i < std::size(stateNames); ++i) {
        if (stateNames[i] == name)
            return static_cast<State>(i);
    }
    return std::nullopt;
}

std::string scriptPathFor(const std::string& journalPath)
{
    constexpr std::string_view ending = ".journal";
    if (journalPath.size() > ending.size() && journalPath.ends_with(ending))
        return journalPath.substr(0, journalPath.size() - ending.size()) + ".scr";
    return journalPath + ".scr";
}

namespace {

// Only the first damaged lines are named: a journal of millions of bad lines gets a count, not a list.
constexpr std::size_t namedDamage = 5;

void noteDamage(JournalContent& content, std::size_t lineNumber)
{
    content.damaged = true;
    if (++content.damagedLines <= namedDamage)
        content.problems.push_back("rad " + std::to_string(lineNumber) + " är skadad");
}

// The first line of every journal; a file holding only a beginning of it was cut while being made.
std::string headerLine()
{
    std::string line;
    Record(magic).field(version).appendTo(line);
    return line;
}

} // namespace

JournalContent parseJournal(std::string_view bytes)
{
    JournalContent content;
    Reading reading;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    std::string_view payload;
    while (start < bytes.size()) {
        ++lineNumber;
        const auto end = bytes.find('\n', start);
        if (end == std::string_view::npos) {
            // A record whose CRC holds is whole, though its line feed was lost or turned into another byte.
            const std::string_view line = bytes.substr(start);
            std::size_t used = line.size();
            auto fields = fieldsOf(line, payload);
            if (!fields && line.size() > 9)
                fields = fieldsOf(line.substr(0, --used), payload);
            if (fields && apply(content, *fields, payload, reading)) {
                content.problems.push_back("rad " + std::to_string(lineNumber) + " saknar radslut");
                content.soundSize = start + used;
            } else {
                // A crash in the middle of a write leaves at most this.
                content.problems.push_back("rad " + std::to_string(lineNumber) + " är ofullständig och hoppas över");
            }
            break;
        }
        const auto fields = fieldsOf(bytes.substr(start, end - start), payload);
        if (!fields || !apply(content, *fields, payload, reading))
            noteDamage(content, lineNumber);
        start = end + 1;
        content.soundSize = start;
    }
    for (const OpenBatch& batch : content.openBatches)
        content.openSessions.push_back(batch.info.processMark);
    if (content.damagedLines > namedDamage)
        content.problems.push_back("sammanlagt " + std::to_string(content.damagedLines) + " skadade rader");
    content.usable = reading.listEnded || (reading.firstFormat && reading.inputsSeen);
    const bool cutHeader = !reading.headerSeen && headerLine().starts_with(bytes);
    if (!content.usable && (reading.headerSeen || cutHeader)) {
        content.unfinished = true;
        content.problems.push_back("journalen skapades aldrig färdigt: inget har körts");
    } else if (!content.usable) {
        content.damaged = true;
        content.problems.push_back("ingen journal från Vendrel");
    }
    return content;
}

Result<JournalContent> readJournal(const std::string& path)
{
    const auto bytes = readWholeFile(path);
    if (!bytes)
        return Result<JournalContent>::failure(bytes.error());
    return parseJournal(*bytes);
}

std::vector<std::size_t> drawingsIn(const JournalContent& content, std::initializer_list<State> states)
{
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i < content.drawings.size(); ++i) {
        for (const State state : states) {
            if (content.drawings[i].state == state) {
                indices.push_back(i);
                break;
            }
        }
    }
    return indices;
}

std::vector<std::size_t> drawingsToResume(const JournalContent& content)
{
    return drawingsIn(content, {State::Pending, State::Interrupted, State::NotRun});
}

std::vector<std::size_t> drawingsToRetry(const JournalContent& content)
{
    return drawingsIn(content, {State::Failed, State::TimedOut, State::Interrupted});
}

JournalWriter::JournalWriter(std::string path, std::unique_ptr<JournalFile> file)
    : m_path(std::move(path)), m_file(std::move(file))
{
}

JournalWriter::~JournalWriter() = default;

namespace {

JournalProblem::Kind fromFile(JournalFile::Problem::Kind kind)
{
    switch (kind) {
    case JournalFile::Problem::Kind::Busy:
        return JournalProblem::Kind::Busy;
    case JournalFile::Problem::Kind::Exists:
        return JournalProblem::Kind::Exists;
    case JournalFile::Problem::Kind::Failed:
        break;
    }
    return JournalProblem::Kind::Failed;
}

JournalProblem fromFile(const JournalFile::Problem& problem)
{
    return {fromFile(problem.kind), problem.message, {}};
}

} // namespace

Result<std::unique_ptr<JournalWriter>, JournalProblem>
JournalWriter::create(const std::string& path, const script::RunRequest& request, const RunPolicy& policy,
                      const std::string& jobPath, const std::optional<ShardRecord>& shard)
{
    using Answer = Result<std::unique_ptr<JournalWriter>, JournalProblem>;
    std::string bytes = headerLine();
    Record inputs("inputs");
    for (const std::string& field : script::requestFields(request))
        inputs.field(field);
    inputs.appendTo(bytes);
    Record policyRecord("policy");
    for (const std::string& field : policyFields(policy))
        policyRecord.field(field);
    policyRecord.appendTo(bytes);
    if (!jobPath.empty())
        Record("job").field(jobPath).appendTo(bytes);
    if (shard) {
        Record record("shard");
        for (const std::string& field : shardFields(*shard))
            record.field(field);
        record.appendTo(bytes);
    }
    const std::vector<std::string>& names = request.drawings;
    std::uint32_t listCrc = 0;
    for (const std::string& name : names) {
        Record drawing("drawing");
        drawing.field(name).appendTo(bytes);
        listCrc = crc32(drawing.payload(), listCrc);
    }
    Record("drawings").number(static_cast<std::int64_t>(names.size())).field(hex32(listCrc)).appendTo(bytes);

    auto made = JournalFile::create(path, bytes);
    if (made)
        return std::unique_ptr<JournalWriter>(new JournalWriter(path, std::move(*made)));
    const JournalProblem problem = fromFile(made.error());
    if (problem.kind != JournalProblem::Kind::Exists)
        return Answer::failure(problem);

    // A journal whose making was cut short holds nothing that ran: the same command starts it afresh. Anything
    // else at the path is left alone.
    auto file = JournalFile::open(path);
    if (!file)
        return Answer::failure(problem); // held by another run, which is making it or running it: it exists
    const bool replaceable = [&] {
        const auto existing = (*file)->readAll();
        if (!existing)
            return false;
        const JournalContent content = parseJournal(*existing);
        return content.unfinished && !content.damaged;
    }();
    if (!replaceable)
        return Answer::failure(problem);
    auto rewritten = (*file)->truncate(0);
    if (rewritten)
        rewritten = (*file)->append(bytes, true);
    if (!rewritten)
        return Answer::failure({JournalProblem::Kind::Failed, rewritten.error(), {}});
    return std::unique_ptr<JournalWriter>(new JournalWriter(path, std::move(*file)));
}

Result<OpenedJournal, JournalProblem> JournalWriter::open(const std::string& path)
{
    using Answer = Result<OpenedJournal, JournalProblem>;
    const auto failed = [](const std::string& message) {
        return Answer::failure({JournalProblem::Kind::Failed, message, {}});
    };
    auto file = JournalFile::open(path);
    if (!file)
        return Answer::failure(fromFile(file.error()));
    const auto bytes = (*file)->readAll();
    if (!bytes)
        return failed(bytes.error());
    OpenedJournal opened;
    opened.content = parseJournal(*bytes);
    const JournalContent& content = opened.content;
    if (content.damaged || content.unfinished) {
        return Answer::failure({content.damaged ? JournalProblem::Kind::Damaged : JournalProblem::Kind::Unfinished,
                                content.problems.empty() ? std::string() : content.problems.front(), content.problems});
    }
    // Records added after a torn one would be read as part of it; a whole last record that lost its line
    // feed gets it back.
    if (content.soundSize < bytes->size()) {
        if (auto cut = (*file)->truncate(content.soundSize); !cut)
            return failed(cut.error());
    }
    if (content.soundSize > 0 && (*bytes)[content.soundSize - 1] != '\n') {
        if (auto ended = (*file)->append("\n", true); !ended)
            return failed(ended.error());
    }
    opened.writer = std::unique_ptr<JournalWriter>(new JournalWriter(path, std::move(*file)));
    return opened;
}

Result<void> JournalWriter::appended(std::string_view bytes, bool sync)
{
    return m_file->append(bytes, sync);
}

Result<void> JournalWriter::batchStarted(std::int64_t whenMs, std::span<const std::size_t> indices,
                                         const BatchInfo& info)
{
    // Not forced to the disk: its session mark serves after a kill of this process, which loses nothing written.
    Record record("batch");
    record.number(whenMs).number(static_cast<std::int64_t>(info.session));
    record.field(info.processMark.empty() ? "-" : info.processMark).field(info.marks ? "1" : "0");
    for (const std::size_t index : indices)
        record.number(static_cast<std::int64_t>(index));
    std::string bytes;
    record.appendTo(bytes);
    return appended(bytes, false);
}

Result<void> JournalWriter::settled(std::span<const std::size_t> indices, std::span<const DrawingEntry> entries,
                                    bool sync)
{
    std::string bytes;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const DrawingEntry& entry = entries[i];
        Record("result")
            .number(static_cast<std::int64_t>(indices[i]))
            .field(stateName(entry.state))
            .field(entry.changed ? "1" : "0")
            .number(entry.startedMs)
            .number(entry.endedMs)
            .field(entry.exitStatus)
            .appendTo(bytes);
    }
    return appended(bytes, sync);
}

Result<void> JournalWriter::policyChanged(const RunPolicy& policy)
{
    Record record("policy");
    for (const std::string& field : policyFields(policy))
        record.field(field);
    std::string bytes;
    record.appendTo(bytes);
    return appended(bytes, true);
}

Result<void> JournalWriter::shardMoved(const ShardRecord& shard)
{
    Record record("shard");
    for (const std::string& field : shardFields(shard))
        record.field(field);
    std::string bytes;
    record.appendTo(bytes);
    return appended(bytes, true);
}

Result<void> JournalWriter::flush()
{
    return appended({}, true);
}

Result<void> JournalWriter::finished(std::int64_t whenMs, std::string_view how)
{
    std::string bytes;
    Record("finished").number(whenMs).field(how).appendTo(bytes);
    return appended(bytes, true);
}

} // namespace supervise
