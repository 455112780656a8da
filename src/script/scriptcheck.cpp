#include "script/scriptcheck.h"

#include "script/expandtemplate.h"
#include "script/paths.h"
#include "script/placeholders.h"
#include "script/runrequest.h"
#include "script/samedrawing.h"
#include "script/scriptcheckfs.h"
#include "script/scriptfs.h"
#include "script/scripttemplate.h"
#include "script/sessionscript.h"
#include "script/texts.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace script {

namespace {

constexpr std::string_view codeNames[] = {"missing",          "read-only",    "locked",         "unquoted-blank",
                                          "empty-line",       "unencodable",  "no-drawings",    "no-body",
                                          "no-start-drawing", "comment-cut",  "blanks-removed", "quote-in-value",
                                          "no-project",       "same-drawing", "session-exit"};

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
    bool holdsProject = false;
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
        body.holdsProject = body.holdsProject || matched == static_cast<int>(Placeholder::Project);
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
    int quoteInValue = -1;  // the first placeholder whose value holds a double quote
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
                if (c == '"') {
                    // Inside quotes it ends them early, outside it opens them: either way the quotes the template
                    // wrote no longer hold, and the blanks after it are its doing.
                    if (outcome.quoteInValue < 0)
                        outcome.quoteInValue = segment.placeholder;
                    quoted = !quoted;
                } else if (c == ' ' && !quoted && outcome.unquotedBlank < 0 && outcome.quoteInValue < 0) {
                    outcome.unquotedBlank = segment.placeholder;
                }
            }
        }
        length += value.size();
        last = value.back();
    }
    outcome.empty = length == 0;
    outcome.trailingBlank = last == ' ';
    return outcome;
}

// The findings of one line as the values make it, handed to add(code, placeholder, variant).
template <typename Add> void lineFindings(const BodyLine& body, const DrawingValues& values, Add add)
{
    const LineOutcome outcome = outcomeOf(body, values);
    if (outcome.quoteInValue >= 0)
        add(CheckCode::QuoteInValue, outcome.quoteInValue, FindingVariant::plain);
    if (outcome.unquotedBlank >= 0)
        add(CheckCode::UnquotedBlank, outcome.unquotedBlank, FindingVariant::plain);
    if (outcome.empty)
        add(CheckCode::EmptyLine, -1, body.segments.empty() ? FindingVariant::emptyAsWritten : FindingVariant::plain);
    else if (outcome.trailingBlank)
        add(CheckCode::EmptyLine, body.lastPlaceholder, FindingVariant::trailingBlank);
}

// Whether cutting a line at its last ';' surely breaks it, read as the CAD program reads strings and lists:
// a string that closes after the ';' is left open, or parentheses that balance over the whole line are left
// open. A comment after a complete command, or on a line of a list that spans several lines, is what the rule
// is for. Gives the variant of the finding, or plain for none.
std::uint8_t cutHarm(std::string_view kept, std::string_view cut)
{
    bool quoted = false;
    int depth = 0;
    const auto read = [&](std::string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (quoted) {
                if (c == '\\')
                    ++i; // an escaped character, \" among them
                else if (c == '"')
                    quoted = false;
            } else if (c == '"') {
                quoted = true;
            } else if (c == '(') {
                ++depth;
            } else if (c == ')') {
                --depth;
            }
        }
    };
    read(kept);
    const bool quotedAtCut = quoted;
    const int depthAtCut = depth;
    read(cut);
    if (quotedAtCut && !quoted)
        return FindingVariant::openQuote;
    if (!quotedAtCut && !quoted && depth == 0 && depthAtCut > 0)
        return FindingVariant::openParentheses;
    return FindingVariant::plain;
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
                   const DrawingFolder& folder, const std::vector<std::size_t>& sameAs, std::size_t first,
                   std::size_t end, std::vector<Finding>& findings)
{
    DrawingValues values(input);
    const std::uint64_t lineCount = body.size();
    for (std::size_t i = first; i < end; ++i) {
        const std::string& name = input.drawings[i];
        const std::uint64_t base = i * lineCount;
        values.setDrawing(name);
        if (sameAs[i] != noDrawing)
            findings.push_back(
                {CheckCode::SameDrawing, base + 1, i, -1, FindingVariant::plain, input.drawings[sameAs[i]]});

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

        // Only the lines that carry the name differ from drawing to drawing; the others are checked once.
        for (std::size_t j = 0; j < body.size(); ++j) {
            if (body[j].firstNamePlaceholder < 0)
                continue;
            lineFindings(body[j], values, [&](CheckCode code, int placeholder, std::uint8_t variant) {
                findings.push_back({code, base + j + 1, i, static_cast<std::int8_t>(placeholder), variant, {}});
            });
        }
    }
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
}

// The findings that come out the same for every drawing, in the order of the lines: about the template's lines
// as read, the folder, and the lines that carry no drawing's name. Each is given at the line's place among the
// first drawing's lines.
std::vector<Finding> findingsOnce(const RunRequest& input, const std::vector<BodyLine>& body,
                                  std::size_t firstFolderLine, const DrawingFolder& folder)
{
    std::vector<Finding> once;
    if (firstFolderLine < body.size() && !folder.folderEncodable())
        once.push_back({CheckCode::Unencodable, firstFolderLine + 1, noDrawing, -1, FindingVariant::plain, {}});
    DrawingValues values(input);
    values.setDrawing(input.drawings.front()); // asked only for the values that no drawing changes
    const std::vector<TemplateLine>& sources = input.scriptTemplate.lines;
    for (std::size_t j = 0; j < body.size(); ++j) {
        const TemplateLine source = j < sources.size() ? sources[j] : TemplateLine{std::uint32_t(j + 1), {}, 0, false};
        const auto add = [&](CheckCode code, int placeholder, std::uint8_t variant, std::string detail = {}) {
            once.push_back({code, j + 1, noDrawing, static_cast<std::int8_t>(placeholder), variant, std::move(detail),
                            source.number});
        };
        if (source.unencodable)
            add(CheckCode::Unencodable, -1, FindingVariant::templateText);
        if (!source.cut.empty()) {
            if (const std::uint8_t harm = cutHarm(input.scriptTemplate.bodyLines[j], source.cut))
                add(CheckCode::CommentCut, -1, harm, source.cut);
        }
        if (source.blanksRemoved > 0)
            add(CheckCode::BlanksRemoved, -1, FindingVariant::plain, std::to_string(source.blanksRemoved));
        if (body[j].holdsProject && input.projectName.empty())
            add(CheckCode::NoProject, static_cast<int>(Placeholder::Project), FindingVariant::plain);
        if (body[j].firstNamePlaceholder >= 0)
            continue;
        lineFindings(body[j], values, [&](CheckCode code, int placeholder, std::uint8_t variant) {
            if (variant != FindingVariant::emptyAsWritten)
                add(code, placeholder, variant);
            else if (source.blanksRemoved == 0) // a line of blanks alone is told about by the blanks it lost
                add(code, placeholder, source.cut.empty() ? variant : FindingVariant::plain); // a comment alone
        });
    }
    std::stable_sort(once.begin(), once.end(), [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return once;
}

// The findings about the lines of a session script, each at its line in the script (line(k) for its line k from 0).
template <typename Line>
void sessionFindings(const SessionScript& script, std::uint8_t variant, Line line, std::vector<Finding>& findings)
{
    std::size_t unencodable = 0;
    for (std::size_t k = 0; k < script.lines.size(); ++k) {
        const auto number = static_cast<std::uint32_t>(k + 1);
        const auto add = [&](CheckCode code) {
            findings.push_back({code, line(k), noDrawing, -1, variant, {}, number});
        };
        if (unencodable < script.unencodable.size() && script.unencodable[unencodable] == number) {
            ++unencodable;
            add(CheckCode::Unencodable);
        }
        if (endsSession(script.lines[k]))
            add(CheckCode::SessionExit);
    }
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
    case CheckCode::SameDrawing:
    case CheckCode::SessionExit:
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

namespace {

// The findings of the template's lines and the drawings, their lines counted as in a script of the template's
// lines alone.
std::vector<Finding> checkTemplateLines(const RunRequest& input)
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
    const std::vector<Finding> once = findingsOnce(input, body, firstFolderLine, folder);
    // A run refuses a list that names one file twice: each later naming is an error of its own.
    std::vector<std::size_t> sameAs(input.drawings.size(), noDrawing);
    {
        std::unordered_map<std::string, std::size_t> first;
        first.reserve(input.drawings.size());
        for (std::size_t i = 0; i < input.drawings.size(); ++i) {
            const auto [found, added] = first.try_emplace(
                normalisedPath(joinPath(input.listingFolder, input.drawings[i], input.separator), input.separator), i);
            if (!added)
                sameAs[i] = found->second;
        }
    }

    // The drawings in pieces, one thread each: the file system's answers cost far more than the lines, and
    // a big folder answers several questions at once.
    const std::size_t pieces = pieceCount(input.drawings.size());
    std::vector<std::vector<Finding>> found(pieces);
    const auto checkPiece = [&](std::size_t piece) {
        const std::size_t first = input.drawings.size() * piece / pieces;
        const std::size_t end = input.drawings.size() * (piece + 1) / pieces;
        checkDrawings(input, body, firstNameLine, folder, sameAs, first, end, found[piece]);
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
    // The pieces are each in order and follow each other; the findings given once lie among the first drawing's
    // lines, before the drawing's own findings on the same line.
    std::vector<Finding> drawn;
    for (auto& piece : found)
        drawn.insert(drawn.end(), std::make_move_iterator(piece.begin()), std::make_move_iterator(piece.end()));
    findings.reserve(findings.size() + once.size() + drawn.size());
    std::merge(once.begin(), once.end(), std::make_move_iterator(drawn.begin()), std::make_move_iterator(drawn.end()),
               std::back_inserter(findings), [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return findings;
}

} // namespace

std::vector<Finding> checkScript(const RunRequest& input, bool marked)
{
    std::vector<Finding> findings = checkTemplateLines(input);
    const SessionScripts& session = input.sessionScripts;
    const ScriptLayout layout{session.startLines(), input.scriptTemplate.bodyLines.size(), session.endLines(), marked};
    if (const std::uint64_t body = layout.bodyLines; body > 0) {
        for (Finding& finding : findings) {
            if (finding.line > 0)
                finding.line = layout.drawingLine((finding.line - 1) / body, (finding.line - 1) % body);
        }
    }
    // The start script's lines come before every drawing's, the end script's after them; the findings about
    // the whole script stay first.
    std::vector<Finding> start, end;
    sessionFindings(
        session.start, FindingVariant::sessionStart, [](std::size_t k) { return k + 1; }, start);
    const std::size_t drawings = input.drawings.size();
    sessionFindings(
        session.end, FindingVariant::sessionEnd, [&](std::size_t k) { return layout.endLine(drawings, k); }, end);
    if (!start.empty()) {
        const auto first = std::find_if(findings.begin(), findings.end(), [](const Finding& f) { return f.line > 0; });
        findings.insert(first, std::make_move_iterator(start.begin()), std::make_move_iterator(start.end()));
    }
    findings.insert(findings.end(), std::make_move_iterator(end.begin()), std::make_move_iterator(end.end()));
    return findings;
}

std::string_view findingDrawing(const Finding& finding, const RunRequest& input)
{
    return finding.drawing < input.drawings.size() ? std::string_view(input.drawings[finding.drawing]) : std::string_view();
}

namespace {

std::string_view sessionScriptPath(const Finding& finding, const RunRequest& input)
{
    const SessionScripts& session = input.sessionScripts;
    return finding.variant == FindingVariant::sessionEnd ? session.end.path : session.start.path;
}

} // namespace

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
    case CheckCode::UnquotedBlank:
    case CheckCode::QuoteInValue: {
        DrawingValues values(input);
        values.setDrawing(name);
        const std::string_view value = placeholder.empty() ? std::string_view() : values.value(finding.placeholder);
        return finding.code == CheckCode::UnquotedBlank ? check::unquotedBlank(placeholder, value, finding.templateLine)
                                                        : check::quoteInValue(placeholder, value, finding.templateLine);
    }
    case CheckCode::EmptyLine:
        if (finding.variant == FindingVariant::trailingBlank)
            return check::trailingBlank(placeholder, finding.templateLine);
        return check::emptyLine(finding.templateLine, finding.variant == FindingVariant::emptyAsWritten);
    case CheckCode::Unencodable:
        if (finding.variant == FindingVariant::sessionStart || finding.variant == FindingVariant::sessionEnd)
            return check::unencodableSessionLine(finding.variant == FindingVariant::sessionEnd, finding.templateLine,
                                                 sessionScriptPath(finding, input));
        if (finding.variant == FindingVariant::templateText)
            return check::unencodableTemplateLine(finding.templateLine);
        return finding.drawing == noDrawing ? check::unencodableFolder(input.listingFolder)
                                            : check::unencodableName(name);
    case CheckCode::CommentCut:
        return check::commentCut(finding.templateLine, finding.detail, finding.variant == FindingVariant::openQuote);
    case CheckCode::BlanksRemoved:
        return check::blanksRemoved(finding.templateLine, finding.detail);
    case CheckCode::NoProject:
        return check::noProject(finding.templateLine);
    case CheckCode::SameDrawing:
        return check::sameDrawing(name, finding.detail);
    case CheckCode::NoDrawings:
        return check::noDrawings();
    case CheckCode::NoBody:
        return check::noBody();
    case CheckCode::NoStartDrawing:
        return check::noStartDrawing(input.cad.startDrawing);
    case CheckCode::SessionExit:
        return check::sessionExit(finding.variant == FindingVariant::sessionEnd, finding.templateLine,
                                  sessionScriptPath(finding, input));
    }
    return {};
}

} // namespace script
