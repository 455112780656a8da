#include "supervise/marks.h"

#include "supervise/journal.h"

#include <algorithm>
#include <charconv>

namespace supervise {

namespace {

std::string journalStem(const std::string& journalPath)
{
    constexpr std::string_view ending = ".journal";
    if (journalPath.size() > ending.size() && journalPath.ends_with(ending))
        return journalPath.substr(0, journalPath.size() - ending.size());
    return journalPath;
}

// The longest line a mark makes ("begin " and twenty digits), with room for a CR.
constexpr std::size_t longestMark = 32;
// What one poll reads at most: a script that marks in a loop cannot make a poll read megabytes.
constexpr std::size_t pollPiece = 64 * 1024;
// The bytes before its place a reader compares at each poll: a line or two of marks.
constexpr std::size_t tailKept = 32;

std::string refusalText(const FileRefusal& refusal)
{
    switch (refusal.kind) {
    case FileRefusal::Kind::Link:
        return "märkesfilen är en länk";
    case FileRefusal::Kind::NotPlain:
        return "märkesfilen är ingen vanlig fil";
    case FileRefusal::Kind::NotOwn:
        return "märkesfilen är inte användarens egen";
    case FileRefusal::Kind::Unreadable:
        break;
    }
    return "märkesfilen kan inte läsas: " + refusal.detail;
}

} // namespace

std::string sessionScriptPath(const std::string& journalPath, std::size_t session)
{
    if (session <= 1)
        return scriptPathFor(journalPath);
    return journalStem(journalPath) + "." + std::to_string(session) + ".scr";
}

std::string sessionMarksPath(const std::string& journalPath, std::size_t session)
{
    if (session <= 1)
        return journalStem(journalPath) + ".marks";
    return journalStem(journalPath) + "." + std::to_string(session) + ".marks";
}

std::string consoleLogFolder(const std::string& journalPath)
{
    return journalStem(journalPath) + ".logs";
}

std::string consoleLogPath(const std::string& journalPath, std::size_t index)
{
#ifdef _WIN32
    constexpr char separator = '\\';
#else
    constexpr char separator = '/';
#endif
    return consoleLogFolder(journalPath) + separator + std::to_string(index) + ".log";
}

std::optional<Mark> parseMark(std::string_view line)
{
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    Mark mark{script::MarkKind::Begin, 0};
    if (line.starts_with("begin ")) {
        line.remove_prefix(6);
    } else if (line.starts_with("end ")) {
        mark.kind = script::MarkKind::End;
        line.remove_prefix(4);
    } else {
        return std::nullopt;
    }
    if (line.empty() || line.front() < '0' || line.front() > '9')
        return std::nullopt;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), mark.index);
    if (error != std::errc() || end != line.data() + line.size())
        return std::nullopt;
    return mark;
}

MarksReader::MarksReader(std::string path, std::optional<FileIdentity> own) : m_path(std::move(path)), m_own(own) {}

void MarksReader::refuse(std::string why)
{
    m_refused = std::move(why);
    m_partial.clear();
}

std::vector<Mark> MarksReader::poll()
{
    std::vector<Mark> marks;
    if (!m_refused.empty())
        return marks;
    // The last bytes read are read again: a file cut short and written anew since has other bytes there, even
    // when it has grown past the place this reader stands.
    auto piece = readOwnFile(m_path, m_offset - m_tail.size(), m_tail.size() + pollPiece);
    if (!piece) {
        refuse(refusalText(piece.error()));
        return marks;
    }
    // A file that went or shrank would have the marks written after it at places this reader has passed.
    if (!piece->exists) {
        if (m_own)
            refuse("märkesfilen togs bort under körningen");
        return marks;
    }
    if (m_own && piece->identity != *m_own) {
        refuse("märkesfilen byttes ut under körningen");
        return marks;
    }
    if (piece->size < m_offset || !piece->bytes.starts_with(m_tail)) {
        refuse("märkesfilen kortades under körningen");
        return marks;
    }
    m_own = piece->identity;
    const std::string_view bytes = std::string_view(piece->bytes).substr(m_tail.size());
    m_offset += bytes.size();
    const std::size_t kept = std::min(piece->bytes.size(), tailKept);
    m_tail = piece->bytes.substr(piece->bytes.size() - kept);
    std::size_t start = 0;
    while (start < bytes.size()) {
        const auto end = bytes.find('\n', start);
        const std::string_view part = bytes.substr(start, end - start);
        if (end == std::string::npos) {
            if (!m_skipping)
                m_partial.append(part);
            if (m_partial.size() > longestMark) {
                m_partial.clear();
                m_skipping = true;
            }
            break;
        }
        if (!m_skipping) {
            m_partial.append(part);
            if (const auto mark = parseMark(m_partial))
                marks.push_back(*mark);
        }
        m_partial.clear();
        m_skipping = false;
        start = end + 1;
    }
    return marks;
}

std::vector<Mark> MarksReader::pollAll()
{
    std::vector<Mark> marks;
    while (true) {
        const std::uint64_t before = m_offset;
        std::vector<Mark> more = poll();
        marks.insert(marks.end(), more.begin(), more.end());
        if (m_offset == before)
            return marks;
    }
}

} // namespace supervise
