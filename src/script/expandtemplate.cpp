#include "script/expandtemplate.h"

#include "script/paths.h"
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

namespace {

bool holdsLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

enum class Placeholder
{
    FullName,
    SlashFullName,
    Path,
    SlashPath,
    Name,
    Ext,
    Project,
    Date,
    Time,
};

// Same order as placeholderNames: where one placeholder could be read at a position, the earlier wins.
constexpr Placeholder placeholderKinds[] = {
    Placeholder::FullName, Placeholder::SlashFullName, Placeholder::Path, Placeholder::SlashPath, Placeholder::Name,
    Placeholder::Ext,      Placeholder::Project,       Placeholder::Date, Placeholder::Time,
};
static_assert(std::size(placeholderKinds) == std::size(placeholderNames));

// For each character that may follow a '%', the placeholders that start with it, as bits in table order.
struct PlaceholderIndex
{
    unsigned short candidates[256] = {};

    constexpr PlaceholderIndex()
    {
        for (std::size_t i = 0; i < std::size(placeholderNames); ++i)
            candidates[static_cast<unsigned char>(placeholderNames[i][1])] |= static_cast<unsigned short>(1u << i);
    }
};
constexpr PlaceholderIndex placeholderIndex;

std::string withSlashes(std::string_view path, char separator)
{
    std::string result(path);
    if (separator != '/')
        std::replace(result.begin(), result.end(), separator, '/');
    return result;
}

// The values of one run that do not change from drawing to drawing, and the clock cache.
class LineExpander
{
public:
    LineExpander(std::string_view folder, std::string_view projectName, const Clock& clock,
                 const DateTimeFormat& format, char separator)
        : m_folder(folder), m_slashFolder(withSlashes(folder, separator)), m_project(projectName), m_clock(clock),
          m_format(format), m_separator(separator)
    {
    }

    void setDrawing(std::string_view name)
    {
        m_fullName = joinPath(m_folder, name, m_separator);
        m_slashFullName = withSlashes(m_fullName, m_separator);
        // A name without a dot is all name and no extension.
        const auto dot = name.rfind('.');
        m_name = dot == std::string_view::npos ? name : name.substr(0, dot);
        m_ext = dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
    }

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
            const std::string_view rest = line.substr(percent);
            bool matched = false;
            if (rest.size() > 1) {
                unsigned candidates = placeholderIndex.candidates[static_cast<unsigned char>(rest[1])];
                for (std::size_t i = 0; candidates != 0; ++i, candidates >>= 1) {
                    if ((candidates & 1u) && rest.starts_with(placeholderNames[i])) {
                        out.append(value(placeholderKinds[i]));
                        pos += placeholderNames[i].size();
                        matched = true;
                        break;
                    }
                }
            }
            if (!matched) {
                out.push_back('%');
                ++pos;
            }
        }
    }

private:
    std::string_view value(Placeholder placeholder)
    {
        switch (placeholder) {
        case Placeholder::FullName:
            return m_fullName;
        case Placeholder::SlashFullName:
            return m_slashFullName;
        case Placeholder::Path:
            return m_folder;
        case Placeholder::SlashPath:
            return m_slashFolder;
        case Placeholder::Name:
            return m_name;
        case Placeholder::Ext:
            return m_ext;
        case Placeholder::Project:
            return m_project;
        case Placeholder::Date:
            readClock();
            return m_dateText;
        case Placeholder::Time:
            readClock();
            return m_timeText;
        }
        return {};
    }

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
        m_dateText = m_format.date ? m_format.date(now) : std::string();
        m_timeText = m_format.time ? m_format.time(now) : std::string();
        m_textsFor = now;
        m_haveTexts = true;
    }

    std::string_view m_folder;
    std::string m_slashFolder;
    std::string_view m_project;
    const Clock& m_clock;
    const DateTimeFormat& m_format;
    char m_separator;

    std::string m_fullName;
    std::string m_slashFullName;
    std::string_view m_name;
    std::string_view m_ext;

    bool m_clockRead = false;
    bool m_haveTexts = false;
    LocalDateTime m_textsFor;
    std::string m_dateText;
    std::string m_timeText;
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
                                             ScriptOutput& output)
{
    if (auto fault = findLineBreak(listingFolder, names, projectName))
        return fault;

    // Pieces small enough to stay in the processor's cache, large enough to keep the writes few.
    constexpr std::size_t pieceSize = 128 * 1024;
    std::string piece;
    piece.reserve(pieceSize * 2);
    LineExpander expander(listingFolder, projectName, clock, format, separator);
    for (const std::string& name : names) {
        expander.setDrawing(name);
        for (const std::string& body : scriptTemplate.bodyLines) {
            expander.expand(body, piece);
            piece.append("\r\n", 2);
            if (piece.size() >= pieceSize) {
                if (!output.write(piece))
                    return std::nullopt;
                piece.clear();
            }
        }
    }
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

} // namespace script
