#include "supervise/journal.h"

#include "supervise/runfiles.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace supervise {

namespace {

// One record a line: eight hex digits of the CRC-32 of the rest, a blank, the record's fields separated by
// TABs, LF. A line that does not add up is never taken for a record.

constexpr std::string_view magic = "vendrel-journal";
constexpr std::string_view version = "1";

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

std::uint32_t crc32(std::string_view bytes)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes)
        c = crcTable[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

constexpr char hexDigits[] = "0123456789abcdef";

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
        const std::uint32_t crc = crc32(m_payload);
        for (int shift = 28; shift >= 0; shift -= 4)
            out.push_back(hexDigits[(crc >> shift) & 0xF]);
        out.push_back(' ');
        out += m_payload;
        out.push_back('\n');
    }

private:
    std::string m_payload;
};

// The fields of a sound line, or nothing.
std::optional<std::vector<std::string>> fieldsOf(std::string_view line)
{
    if (line.size() < 9 || line[8] != ' ')
        return std::nullopt;
    std::uint32_t stored = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + 8, stored, 16);
    if (error != std::errc() || end != line.data() + 8)
        return std::nullopt;
    const std::string_view payload = line.substr(9);
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

// Applies one record; false when it does not fit where it stands.
bool apply(JournalContent& content, const std::vector<std::string>& fields, bool& headerSeen)
{
    const std::string& kind = fields[0];
    if (!headerSeen)
        return headerSeen = kind == magic && fields.size() == 2 && fields[1] == version;
    if (kind == "inputs") {
        if (content.usable)
            return false;
        auto request = script::requestFromFields(std::span(fields).subspan(1));
        if (!request)
            return false;
        content.request = std::move(*request);
        content.usable = true;
        return true;
    }
    if (!content.usable)
        return false;
    if (kind == "drawing") {
        if (fields.size() != 2)
            return false;
        content.drawings.emplace_back().name = fields[1];
        return true;
    }
    if (kind == "start") {
        std::int64_t when = 0;
        if (fields.size() < 2 || !toNumber(fields[1], when))
            return false;
        for (std::size_t i = 2; i < fields.size(); ++i) {
            std::size_t index = 0;
            if (!toNumber(fields[i], index) || index >= content.drawings.size())
                return false;
            content.drawings[index].state = State::Interrupted;
        }
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
        return true;
    }
    if (kind == "finished") {
        if (fields.size() != 3)
            return false;
        content.finished = true;
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

JournalContent parseJournal(std::string_view bytes)
{
    JournalContent content;
    bool headerSeen = false;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < bytes.size()) {
        ++lineNumber;
        const auto end = bytes.find('\n', start);
        if (end == std::string_view::npos) {
            // A crash in the middle of a write leaves at most this.
            content.problems.push_back("rad " + std::to_string(lineNumber) + " är ofullständig och hoppas över");
            break;
        }
        const auto fields = fieldsOf(bytes.substr(start, end - start));
        if (!fields || !apply(content, *fields, headerSeen)) {
            content.problems.push_back("rad " + std::to_string(lineNumber) + " är skadad");
            content.damaged = true;
        }
        start = end + 1;
        content.soundSize = start;
    }
    if (!content.usable) {
        content.damaged = true;
        content.problems.push_back(headerSeen ? "körningens uppgifter saknas" : "ingen journal från Vendrel");
    }
    return content;
}

bool readJournal(const std::string& path, JournalContent& content, std::string& error)
{
    std::string bytes;
    if (!readWholeFile(path, bytes, error))
        return false;
    content = parseJournal(bytes);
    return true;
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

JournalWriter::Opened fromFile(JournalFile::Opened how)
{
    switch (how) {
    case JournalFile::Opened::Ok:
        return JournalWriter::Opened::Ok;
    case JournalFile::Opened::Busy:
        return JournalWriter::Opened::Busy;
    case JournalFile::Opened::Exists:
        return JournalWriter::Opened::Exists;
    case JournalFile::Opened::Failed:
        break;
    }
    return JournalWriter::Opened::Failed;
}

} // namespace

std::unique_ptr<JournalWriter> JournalWriter::create(const std::string& path, const script::RunRequest& request,
                                                     Opened& how, std::string& error)
{
    JournalFile::Opened fileHow{};
    auto file = JournalFile::create(path, fileHow, error);
    how = fromFile(fileHow);
    if (!file)
        return nullptr;
    std::string bytes;
    Record(magic).field(version).appendTo(bytes);
    Record inputs("inputs");
    for (const std::string& field : script::requestFields(request))
        inputs.field(field);
    inputs.appendTo(bytes);
    for (const std::string& name : request.drawings)
        Record("drawing").field(name).appendTo(bytes);
    if (!file->append(bytes, true, error)) {
        // A journal without its drawings is of no use, and its name would stand in the way of the next try.
        how = Opened::Failed;
        file.reset();
        std::remove(path.c_str());
        return nullptr;
    }
    return std::unique_ptr<JournalWriter>(new JournalWriter(path, std::move(file)));
}

std::unique_ptr<JournalWriter> JournalWriter::open(const std::string& path, JournalContent& content, Opened& how,
                                                   std::string& error)
{
    JournalFile::Opened fileHow{};
    auto file = JournalFile::open(path, fileHow, error);
    how = fromFile(fileHow);
    if (!file)
        return nullptr;
    std::string bytes;
    if (!file->readAll(bytes, error)) {
        how = Opened::Failed;
        return nullptr;
    }
    content = parseJournal(bytes);
    if (content.damaged) {
        how = Opened::Damaged;
        error = content.problems.empty() ? std::string() : content.problems.front();
        return nullptr;
    }
    // Records added after a torn one would be read as part of it.
    if (content.soundSize < bytes.size() && !file->truncate(content.soundSize, error)) {
        how = Opened::Failed;
        return nullptr;
    }
    return std::unique_ptr<JournalWriter>(new JournalWriter(path, std::move(file)));
}

bool JournalWriter::batchStarted(std::int64_t whenMs, std::span<const std::size_t> indices, std::string& error)
{
    Record record("start");
    record.number(whenMs);
    for (const std::size_t index : indices)
        record.number(static_cast<std::int64_t>(index));
    std::string bytes;
    record.appendTo(bytes);
    return m_file->append(bytes, false, error);
}

bool JournalWriter::settled(std::span<const std::size_t> indices, std::span<const DrawingEntry> entries,
                            std::string& error)
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
    return m_file->append(bytes, true, error);
}

bool JournalWriter::finished(std::int64_t whenMs, std::string_view how, std::string& error)
{
    std::string bytes;
    Record("finished").number(whenMs).field(how).appendTo(bytes);
    return m_file->append(bytes, true, error);
}

} // namespace supervise
