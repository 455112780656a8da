#include "script/scriptcheck.h"

#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/placeholders.h"
#include "script/runrequest.h"
#include "script/scriptcheckfs.h"
#include "script/scriptfs.h"
#include "script/scripttemplate.h"
#include "script/texts.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <system_error>
#include <thread>

namespace script {

namespace {

constexpr std::string_view codeNames[] = {"missing",    "read-only",   "locked",      "unquoted-blank",
                                          "empty-line", "unencodable", "no-drawings", "no-body", "no-start-drawing"};

bool carriesName(int placeholder)
{
    return script::carriesName(static_cast<Placeholder>(placeholder));
}

bool carriesFolder(int placeholder)
{
    return script::carriesFolder(static_cast<Placeholder>(placeholder));
}

bool holdsBlankOrQuote(std::string_view text)
{
    // One pass; find_first_of would search the two characters once for every character of text.
    return std::any_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '"'; });
}

// A body line cut where the expansion would put values: literal text and placeholders, found the way the
// expansion finds them (one pass from the left, the first name in table order wins).
struct Segment
{
    std::string_view literal;
    int placeholder = -1;
    bool oddQuotes = false; // the literal holds an odd number of double quotes
};

struct BodyLine
{
    std::vector<Segment> segments;
    int firstNamePlaceholder = -1;
    int firstFolderPlaceholder = -1;
    int lastPlaceholder = -1; // the placeholder of the last segment, when the line ends in one
};

BodyLine cut(std::string_view line)
{
    BodyLine body;
    std::size_t literalStart = 0;
    const auto closeLiteral = [&](std::size_t end) {
        if (end > literalStart) {
            const std::string_view text = line.substr(literalStart, end - literalStart);
            body.segments.push_back({text, -1, std::count(text.begin(), text.end(), '"') % 2 == 1});
        }
    };
    std::size_t pos = 0;
    while ((pos = line.find('%', pos)) != std::string_view::npos) {
        const int matched = placeholderAt(line.substr(pos));
        if (matched < 0) {
            ++pos;
            continue;
        }
        closeLiteral(pos);
        body.segments.push_back({{}, matched, false});
        if (body.firstNamePlaceholder < 0 && carriesName(matched))
            body.firstNamePlaceholder = matched;
        if (body.firstFolderPlaceholder < 0 && carriesFolder(matched))
            body.firstFolderPlaceholder = matched;
        pos += placeholderNames[static_cast<std::size_t>(matched)].size();
        literalStart = pos;
    }
    closeLiteral(line.size());
    if (!body.segments.empty())
        body.lastPlaceholder = body.segments.back().placeholder;
    return body;
}

// The values the placeholders stand for with one drawing, as the expansion makes them.
class DrawingValues
{
public:
    DrawingValues(const RunRequest& input) : m_values(input.listingFolder, input.projectName, input.separator)
    {
        if (input.clockReading)
            m_values.setDateTime(input.clockReading->date, input.clockReading->time);
    }

    void setDrawing(std::string_view name)
    {
        m_values.setDrawing(name);
        for (std::size_t i = 0; i < placeholderCount; ++i)
            m_special[i] = holdsBlankOrQuote(value(static_cast<int>(i)));
    }

    std::string_view value(int placeholder) const { return m_values.value(static_cast<Placeholder>(placeholder)); }
    // The value holds a blank or a double quote: only then does it matter where it stands.
    bool special(int placeholder) const { return m_special[static_cast<std::size_t>(placeholder)]; }

private:
    PlaceholderValues m_values;
    std::array<bool, placeholderCount> m_special{};
};

struct LineOutcome
{
    bool empty = false;
    bool trailingBlank = false;
    int unquotedBlank = -1; // the first placeholder whose value puts a blank outside double quotes
};

// What the expanded line would be like, without making it.
LineOutcome outcomeOf(const BodyLine& body, const DrawingValues& values)
{
    LineOutcome outcome;
    bool quoted = false;
    std::size_t length = 0;
    char last = 0;
    for (const Segment& segment : body.segments) {
        if (segment.placeholder < 0) {
            quoted ^= segment.oddQuotes;
            length += segment.literal.size();
            last = segment.literal.back();
            continue;
        }
        const std::string_view value = values.value(segment.placeholder);
        if (value.empty())
            continue;
        if (values.special(segment.placeholder)) {
            for (const char c : value) {
                if (c == '"')
                    quoted = !quoted;
                else if (c == ' ' && !quoted && outcome.unquotedBlank < 0)
                    outcome.unquotedBlank = segment.placeholder;
            }
        }
        length += value.size();
        last = value.back();
    }
    outcome.empty = length == 0;
    outcome.trailingBlank = last == ' ';
    return outcome;
}

std::string twoDigits(int value)
{
    char text[4];
    std::snprintf(text, sizeof text, "%02d", value < 0 || value > 99 ? 0 : value);
    return text;
}

std::string formatTime(const LocalDateTime& when)
{
    return std::to_string(when.year) + "-" + twoDigits(when.month) + "-" + twoDigits(when.day) + " " +
           twoDigits(when.hour) + ":" + twoDigits(when.minute);
}

// Appends the UTF-8 sequence at text[i] when it is one, and gives its length; 0 when it is not.
std::size_t utf8SequenceAt(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = lead >= 0xf0 && lead <= 0xf4 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc2 && lead < 0xe0 ? 2 : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80)
            return 0;
    }
    return length;
}

// The findings of the drawings first..end, in the order of their lines.
void checkDrawings(const RunRequest& input, const std::vector<BodyLine>& body, std::size_t firstNameLine,
                   const DrawingFolder& folder, std::size_t first, std::size_t end, std::vector<Finding>& findings)
{
    DrawingValues values(input);
    const std::uint64_t lineCount = body.size();
    for (std::size_t i = first; i < end; ++i) {
        const std::string& name = input.drawings[i];
        const std::uint64_t base = i * lineCount;
        values.setDrawing(name);

        const DrawingState state = folder.drawing(name);
        if (state.presence != DrawingState::Presence::File) {
            const std::uint8_t variant = state.presence == DrawingState::Presence::NotAFile ? FindingVariant::notAFile
                                         : state.presence == DrawingState::Presence::Unreachable
                                             ? FindingVariant::unreachable
                                             : FindingVariant::plain;
            findings.push_back({CheckCode::Missing, base + 1, i, -1, variant, state.reason});
        } else {
            if (state.readOnly)
                findings.push_back({CheckCode::ReadOnly, base + 1, i, -1, FindingVariant::plain, {}});
            const std::string_view stem = values.value(int(Placeholder::Name));
            if (auto lock = folder.lockFile(stem)) {
                findings.push_back({CheckCode::Locked, base + 1, i, -1, FindingVariant::plain,
                                    texts::check::lockFile(name, lock->name, lockHolder(lock->head),
                                                           lock->written ? formatTime(*lock->written) : "")});
            } else if (state.inUse) {
                findings.push_back(
                    {CheckCode::Locked, base + 1, i, -1, FindingVariant::plain, texts::check::inUse(name)});
            }
        }
        if (firstNameLine < body.size() && !folder.nameEncodable(name))
            findings.push_back({CheckCode::Unencodable, base + firstNameLine + 1, i, -1, FindingVariant::plain, {}});

        for (std::size_t j = 0; j < body.size(); ++j) {
            const LineOutcome outcome = outcomeOf(body[j], values);
            const std::uint64_t line = base + j + 1;
            if (outcome.unquotedBlank >= 0)
                findings.push_back({CheckCode::UnquotedBlank,
                                    line,
                                    i,
                                    static_cast<std::int8_t>(outcome.unquotedBlank),
                                    FindingVariant::plain,
                                    {}});
            if (outcome.empty)
                findings.push_back({CheckCode::EmptyLine, line, i, -1, FindingVariant::plain, {}});
            else if (outcome.trailingBlank)
                findings.push_back({CheckCode::EmptyLine,
                                    line,
                                    i,
                                    static_cast<std::int8_t>(body[j].lastPlaceholder),
                                    FindingVariant::trailingBlank,
                                    {}});
        }
    }
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
}

std::size_t pieceCount(std::size_t drawings)
{
    // Below a few thousand drawings a thread costs more than it saves.
    constexpr std::size_t drawingsPerPiece = 4096;
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    return std::clamp<std::size_t>(drawings / drawingsPerPiece, 1, std::min<std::size_t>(cores, 4));
}

} // namespace

std::string_view codeName(CheckCode code)
{
    return codeNames[static_cast<std::size_t>(code)];
}

CheckLevel levelOf(CheckCode code)
{
    switch (code) {
    case CheckCode::Missing:
    case CheckCode::NoDrawings:
    case CheckCode::NoBody:
    case CheckCode::NoStartDrawing:
        return CheckLevel::Error;
    default:
        return CheckLevel::Warning;
    }
}

std::string_view levelName(CheckLevel level)
{
    return level == CheckLevel::Error ? "error" : "warning";
}

std::string lockHolder(std::string_view head)
{
    constexpr std::size_t maxFields = 3;
    constexpr std::size_t maxFieldSize = 64;
    std::vector<std::string> fields;
    std::string field;
    bool inTag = false;
    const auto closeField = [&] {
        const auto first = field.find_first_not_of(' ');
        if (first != std::string::npos)
            fields.push_back(field.substr(first, field.find_last_not_of(' ') - first + 1));
        field.clear();
    };
    for (std::size_t i = 0; i < head.size() && fields.size() < maxFields; ++i) {
        const char c = head[i];
        const auto byte = static_cast<unsigned char>(c);
        if (inTag) {
            inTag = c != '>';
            continue;
        }
        if (c == '<') {
            inTag = true;
            closeField();
        } else if (c == '\r' || c == '\n' || c == '\0') {
            closeField();
        } else if (byte < 0x20 || byte == 0x7f) {
            break; // binary from here on: what came before is all that can be read
        } else if (byte < 0x80) {
            if (field.size() < maxFieldSize)
                field.push_back(c);
        } else if (const std::size_t length = utf8SequenceAt(head, i); length > 0) {
            if (field.size() + length <= maxFieldSize)
                field.append(head.substr(i, length));
            i += length - 1;
        } else if (field.size() < maxFieldSize) {
            field.push_back('?'); // a byte of another code page: shown, not trusted
        }
    }
    if (fields.size() < maxFields && !inTag)
        closeField();
    std::string holder;
    for (const std::string& text : fields) {
        if (!holder.empty())
            holder += ", ";
        holder += text;
    }
    return holder;
}

std::vector<Finding> checkScript(const RunRequest& input)
{
    std::vector<Finding> findings;
    const std::vector<std::string>& bodyText = input.scriptTemplate.bodyLines;
    // The CAD program opens the start drawing before it reads the script; without it the script may never run.
    if (!input.cad.startDrawing.empty() && !isVisibleFile(input.cad.startDrawing))
        findings.push_back({CheckCode::NoStartDrawing, 0, noDrawing, -1, FindingVariant::plain, {}});
    if (input.drawings.empty())
        findings.push_back({CheckCode::NoDrawings, 0, noDrawing, -1, FindingVariant::plain, {}});
    if (bodyText.empty())
        findings.push_back({CheckCode::NoBody, 0, noDrawing, -1, FindingVariant::plain, {}});
    if (input.drawings.empty() || bodyText.empty())
        return findings;

    std::vector<BodyLine> body;
    body.reserve(bodyText.size());
    std::size_t firstNameLine = bodyText.size();
    std::size_t firstFolderLine = bodyText.size();
    for (std::size_t j = 0; j < bodyText.size(); ++j) {
        body.push_back(cut(bodyText[j]));
        if (firstNameLine == bodyText.size() && body.back().firstNamePlaceholder >= 0)
            firstNameLine = j;
        if (firstFolderLine == bodyText.size() && body.back().firstFolderPlaceholder >= 0)
            firstFolderLine = j;
    }

    DrawingFolder folder{std::string(input.listingFolder)};
    std::optional<std::size_t> folderFinding;
    if (firstFolderLine < body.size() && !folder.folderEncodable()) {
        folderFinding = findings.size();
        findings.push_back({CheckCode::Unencodable, firstFolderLine + 1, noDrawing, -1, FindingVariant::plain, {}});
    }

    // The drawings in pieces, one thread each: the file system's answers cost far more than the lines, and
    // a big folder answers several questions at once.
    const std::size_t pieces = pieceCount(input.drawings.size());
    std::vector<std::vector<Finding>> found(pieces);
    const auto checkPiece = [&](std::size_t piece) {
        const std::size_t first = input.drawings.size() * piece / pieces;
        const std::size_t end = input.drawings.size() * (piece + 1) / pieces;
        checkDrawings(input, body, firstNameLine, folder, first, end, found[piece]);
    };
    std::vector<std::thread> threads;
    std::size_t unthreaded = pieces; // from here on the pieces found no thread: they are done here
    for (std::size_t piece = 1; piece < pieces; ++piece) {
        try {
            threads.emplace_back(checkPiece, piece);
        } catch (const std::system_error&) {
            unthreaded = piece;
            break;
        }
    }
    checkPiece(0);
    for (std::size_t piece = unthreaded; piece < pieces; ++piece)
        checkPiece(piece);
    for (std::thread& thread : threads)
        thread.join();
    for (auto& piece : found)
        findings.insert(findings.end(), std::make_move_iterator(piece.begin()), std::make_move_iterator(piece.end()));
    // The pieces are each in order and follow each other; only the folder's finding may belong further on.
    if (folderFinding) {
        const auto byLine = [](const Finding& a, const Finding& b) { return a.line < b.line; };
        const auto moved = findings.begin() + static_cast<std::ptrdiff_t>(*folderFinding);
        std::rotate(moved, moved + 1, std::lower_bound(moved + 1, findings.end(), *moved, byLine));
    }
    return findings;
}

std::string_view findingDrawing(const Finding& finding, const RunRequest& input)
{
    return finding.drawing < input.drawings.size() ? std::string_view(input.drawings[finding.drawing]) : std::string_view();
}

std::string findingText(const Finding& finding, const RunRequest& input)
{
    namespace check = texts::check;
    const std::string_view name = findingDrawing(finding, input);
    const std::string_view placeholder = finding.placeholder >= 0 && std::size_t(finding.placeholder) < placeholderCount
                                             ? placeholderNames[std::size_t(finding.placeholder)]
                                             : std::string_view();
    switch (finding.code) {
    case CheckCode::Missing:
        if (finding.variant == FindingVariant::notAFile)
            return check::notAFile(name);
        if (finding.variant == FindingVariant::unreachable)
            return check::unreachable(name, finding.detail);
        return check::missing(name, input.listingFolder);
    case CheckCode::ReadOnly:
        return check::readOnly(name);
    case CheckCode::Locked:
        return finding.detail;
    case CheckCode::UnquotedBlank: {
        DrawingValues values(input);
        values.setDrawing(name);
        return check::unquotedBlank(placeholder,
                                    placeholder.empty() ? std::string_view() : values.value(finding.placeholder));
    }
    case CheckCode::EmptyLine:
        return finding.variant == FindingVariant::trailingBlank ? check::trailingBlank(placeholder)
                                                                : check::emptyLine();
    case CheckCode::Unencodable:
        return finding.drawing == noDrawing ? check::unencodableFolder(input.listingFolder)
                                            : check::unencodableName(name);
    case CheckCode::NoDrawings:
        return check::noDrawings();
    case CheckCode::NoBody:
        return check::noBody();
    case CheckCode::NoStartDrawing:
        return check::noStartDrawing(input.cad.startDrawing);
    }
    return {};
}

} // namespace script
