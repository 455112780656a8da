#include "supervise/marks.h"

#include "supervise/journal.h"

#include <charconv>
#include <cstdio>

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

// Reads up to limit bytes of the file from offset; false when there is no file to read.
bool readFrom(const std::string& path, std::uint64_t offset, std::size_t limit, std::string& bytes)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return false;
#ifdef _WIN32
    const bool placed = _fseeki64(in, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    const bool placed = fseeko(in, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
    bytes.resize(limit);
    const std::size_t got = placed ? std::fread(bytes.data(), 1, limit, in) : 0;
    bytes.resize(got);
    std::fclose(in);
    return true;
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

MarksReader::MarksReader(std::string path) : m_path(std::move(path)) {}

std::vector<Mark> MarksReader::poll()
{
    std::vector<Mark> marks;
    std::string bytes;
    if (!readFrom(m_path, m_offset, pollPiece, bytes))
        return marks;
    m_offset += bytes.size();
    std::size_t start = 0;
    while (start < bytes.size()) {
        const auto end = bytes.find('\n', start);
        const std::string_view piece = std::string_view(bytes).substr(start, end - start);
        if (end == std::string::npos) {
            if (!m_skipping)
                m_partial.append(piece);
            if (m_partial.size() > longestMark) {
                m_partial.clear();
                m_skipping = true;
            }
            break;
        }
        if (!m_skipping) {
            m_partial.append(piece);
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
