#include "script/expandtemplate.h"

#include "script/paths.h"
#include "script/placeholders.h"
#include "script/runrequest.h"
#include "script/scripttemplate.h"

#include <algorithm>
#include <cstring>

namespace script {

void Script::appendLine(std::string_view line)
{
    m_bytes.append(line);
    m_bytes.append("\r\n", 2);
}

bool Script::write(std::string_view bytes)
{
    m_bytes.append(bytes);
    return true;
}

std::size_t Script::lineCount() const
{
    return static_cast<std::size_t>(std::count(m_bytes.begin(), m_bytes.end(), '\r'));
}

std::vector<std::string_view> Script::lines() const
{
    std::vector<std::string_view> result;
    result.reserve(lineCount());
    std::string_view rest = m_bytes;
    while (!rest.empty()) {
        const auto end = rest.find("\r\n");
        result.push_back(rest.substr(0, end));
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 2);
    }
    return result;
}

std::uint64_t ScriptLayout::drawingLine(std::uint64_t drawing, std::uint64_t bodyLine) const
{
    const std::uint64_t block = bodyLines + (marked ? 2 : 0);
    return startLines + drawing * block + (marked ? 1 : 0) + bodyLine + 1;
}

std::uint64_t ScriptLayout::endLine(std::uint64_t drawings, std::uint64_t line) const
{
    return startLines + drawings * (bodyLines + (marked ? 2 : 0)) + line + 1;
}

namespace {

bool holdsLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// The values of one run that do not change from drawing to drawing, and the clock cache.
class LineExpander
{
public:
    LineExpander(std::string_view folder, std::string_view projectName, const Clock& clock,
                 const DateTimeFormat& format, char separator)
        : m_values(folder, projectName, separator), m_clock(clock), m_format(format)
    {
    }

    void setDrawing(std::string_view name) { m_values.setDrawing(name); }

    // One pass from left to right: the text a placeholder gives is copied out and never looked at again.
    void expand(std::string_view line, std::string& out)
    {
        m_clockRead = false;
        std::size_t pos = 0;
        while (pos < line.size()) {
            const void* hit = std::memchr(line.data() + pos, '%', line.size() - pos);
            if (!hit) {
                out.append(line.substr(pos));
                return;
            }
            const auto percent = static_cast<std::size_t>(static_cast<const char*>(hit) - line.data());
            out.append(line.substr(pos, percent - pos));
            pos = percent;
            const int matched = placeholderAt(line.substr(percent));
            if (matched < 0) {
                out.push_back('%');
                ++pos;
                continue;
            }
            const auto placeholder = static_cast<Placeholder>(matched);
            if (placeholder == Placeholder::Date || placeholder == Placeholder::Time)
                readClock();
            out.append(m_values.value(placeholder));
            pos += nameOf(placeholder).size();
        }
    }

private:
    // The clock is read once per line, so a line holding both %date and %time never straddles midnight;
    // the texts are formatted again only when the second has changed.
    void readClock()
    {
        if (m_clockRead)
            return;
        m_clockRead = true;
        const LocalDateTime now = m_clock ? m_clock() : localNow();
        if (m_haveTexts && now == m_textsFor)
            return;
        m_values.setDateTime(m_format.date ? m_format.date(now) : std::string(),
                             m_format.time ? m_format.time(now) : std::string());
        m_textsFor = now;
        m_haveTexts = true;
    }

    PlaceholderValues m_values;
    const Clock& m_clock;
    const DateTimeFormat& m_format;

    bool m_clockRead = false;
    bool m_haveTexts = false;
    LocalDateTime m_textsFor;
};

} // namespace

std::optional<LineBreakFault> findLineBreak(std::string_view listingFolder, std::span<const std::string> names,
                                            std::string_view projectName)
{
    if (holdsLineBreak(listingFolder))
        return LineBreakFault{LineBreakFault::Field::ListingFolder, std::string(listingFolder)};
    for (const std::string& name : names) {
        if (holdsLineBreak(name))
            return LineBreakFault{LineBreakFault::Field::DrawingName, name};
    }
    if (holdsLineBreak(projectName))
        return LineBreakFault{LineBreakFault::Field::ProjectName, std::string(projectName)};
    return std::nullopt;
}

std::optional<LineBreakFault> expandTemplate(const ScriptTemplate& scriptTemplate, std::string_view listingFolder,
                                             std::span<const std::string> names, std::string_view projectName,
                                             const Clock& clock, const DateTimeFormat& format, char separator,
                                             ScriptOutput& output, const DrawingMarks* marks,
                                             const SessionScripts* session)
{
    if (auto fault = findLineBreak(listingFolder, names, projectName))
        return fault;

    // Pieces small enough to stay in the processor's cache, large enough to keep the writes few.
    constexpr std::size_t pieceSize = 128 * 1024;
    std::string piece;
    piece.reserve(pieceSize * 2);
    LineExpander expander(listingFolder, projectName, clock, format, separator);
    const auto mark = [&](MarkKind kind, std::size_t position) {
        if (marks && position < marks->indices.size())
            piece.append(markLine(marks->pathText, kind, marks->indices[position])).append("\r\n", 2);
    };
    const auto copy = [&](const SessionScript& script) {
        for (const std::string& line : script.lines)
            piece.append(line).append("\r\n", 2);
    };
    if (session)
        copy(session->start);
    for (std::size_t position = 0; position < names.size(); ++position) {
        const std::string& name = names[position];
        expander.setDrawing(name);
        mark(MarkKind::Begin, position);
        for (const std::string& body : scriptTemplate.bodyLines) {
            expander.expand(body, piece);
            piece.append("\r\n", 2);
            if (piece.size() >= pieceSize) {
                if (!output.write(piece))
                    return std::nullopt;
                piece.clear();
            }
        }
        mark(MarkKind::End, position);
    }
    if (session)
        copy(session->end);
    piece.append(".EXIT\r\n");
    output.write(piece);
    return std::nullopt;
}

Expansion expandTemplate(const ScriptTemplate& scriptTemplate, std::string_view listingFolder,
                         std::span<const std::string> names, std::string_view projectName, const Clock& clock,
                         const DateTimeFormat& format, char separator)
{
    Expansion expansion;
    expansion.lineBreak =
        expandTemplate(scriptTemplate, listingFolder, names, projectName, clock, format, separator, expansion.script);
    return expansion;
}

Expansion expandTemplate(const ScriptTemplate& scriptTemplate, std::string_view listingFolder,
                         std::span<const std::string> names, std::string_view projectName, const Clock& clock,
                         const DateTimeFormat& format)
{
    return expandTemplate(scriptTemplate, listingFolder, names, projectName, clock, format, nativeSeparator());
}

std::optional<LineBreakFault> expandTemplate(const RunRequest& request, std::span<const std::string> drawings,
                                             const DateTimeFormat& format, ScriptOutput& output,
                                             const DrawingMarks* marks)
{
    if (!request.clockReading)
        return expandTemplate(request.scriptTemplate, request.listingFolder, drawings, request.projectName, localNow,
                              format, request.separator, output, marks, &request.sessionScripts);
    const ClockReading& reading = *request.clockReading;
    const DateTimeFormat fixed{[&reading](const LocalDateTime&) { return reading.date; },
                               [&reading](const LocalDateTime&) { return reading.time; }};
    // The texts are fixed, so the clock need not be read: one constant moment formats them once.
    const Clock constant = [] { return LocalDateTime{}; };
    return expandTemplate(request.scriptTemplate, request.listingFolder, drawings, request.projectName, constant, fixed,
                          request.separator, output, marks, &request.sessionScripts);
}

Expansion expandRequest(const RunRequest& request, const DateTimeFormat& format)
{
    Expansion expansion;
    expansion.lineBreak = expandTemplate(request, request.drawings, format, expansion.script);
    return expansion;
}

} // namespace script
