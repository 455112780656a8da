#include "os/markup.h"
#include "os/pathtext.h"
#include "report/report.h"
#include "report/texts.h"
#include "report/timeline.h"
#include "report/times.h"
#include "supervise/marks.h"
#include "supervise/runfiles.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>

namespace report {

namespace {

using supervise::State;

// The timeline's measures, in the SVG's units (a pixel at its natural size).
constexpr double labelWidth = 170;
constexpr double plotWidth = 1000;
constexpr double laneHeight = 20;
constexpr double laneGap = 6;
constexpr double axisHeight = 22;

constexpr State statesInOrder[] = {State::Done,        State::Failed, State::TimedOut, State::Missing,
                                   State::Interrupted, State::NotRun, State::Pending};

// Every state has a class of the same name as the journal's word for it; the colours are set once, in the style.
constexpr std::string_view style = R"(
body{font:14px/1.45 system-ui,"Segoe UI","DejaVu Sans",sans-serif;margin:24px;color:#1d1d1d;background:#fff}
h1{font-size:22px;margin:0 0 12px}h2{font-size:17px;margin:28px 0 8px}
table{border-collapse:collapse}th,td{padding:3px 10px;text-align:left;vertical-align:top;border-bottom:1px solid #e2e2e2}
thead th{background:#f2f2f2;position:sticky;top:0}td:nth-child(2),td:nth-child(4),td:nth-child(5){white-space:nowrap}td:nth-child(6){text-align:right;font-variant-numeric:tabular-nums}
table.facts th{background:none;font-weight:600;padding-left:0}
p.note{color:#555;max-width:60em}
ul.counts{list-style:none;padding:0;display:flex;flex-wrap:wrap;gap:6px 22px}
.chip{display:inline-block;width:12px;height:12px;margin-right:6px;vertical-align:-1px;border-radius:2px}
svg.timeline{max-width:100%;height:auto;display:block}
svg text{font-size:12px;fill:#333}svg line{stroke:#d0d0d0;stroke-width:1}svg rect.lane{fill:#f6f6f6}
svg rect.band{opacity:.85}
.done{fill:#2f9e44;background:#2f9e44}.failed{fill:#e03131;background:#e03131}
.timed-out{fill:#f08c00;background:#f08c00}.missing{fill:#868e96;background:#868e96}
.interrupted{fill:#7048e8;background:#7048e8}.not-run{fill:#ced4da;background:#ced4da}
.pending{fill:#a5d8ff;background:#a5d8ff}
section.all{content-visibility:auto;contain-intrinsic-size:auto 2000px}
)";

void appendNumber(std::string& out, double value)
{
    char digits[32];
    const double rounded = std::round(value * 10) / 10;
    const auto end = std::to_chars(digits, digits + sizeof digits, rounded, std::chars_format::fixed, 1).ptr;
    std::string_view text(digits, static_cast<std::size_t>(end - digits));
    if (text.ends_with(".0"))
        text.remove_suffix(2);
    out += text;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// A path as a URL's path: UTF-8, every byte but the unreserved ones and '/' percent-encoded.
std::string urlPath(const std::string& path)
{
    constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : pathText(path)) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
            b == '_' || b == '~' || b == '/') {
            out.push_back(c);
        } else if (b == '\\') {
            out.push_back('/');
        } else {
            out.push_back('%');
            out.push_back(hex[b >> 4]);
            out.push_back(hex[b & 15]);
        }
    }
    return out;
}

// Where the console's log of a drawing is, as a link from the page; empty when there is none.
std::string logLink(const Account& account, const Row& row, const std::string& htmlFolder)
{
    const std::string& journal = account.sources[row.source].journalPath;
    const std::string log = supervise::consoleLogPath(journal, row.index);
    if (!supervise::stampOf(log).exists)
        return {};
    // Beside the page the link stays good when the folder is moved or copied as a whole.
    const std::size_t inside = htmlFolder.size() + 1;
    if (!htmlFolder.empty() && log.size() > inside && log.starts_with(htmlFolder) &&
        (log[inside - 1] == '/' || log[inside - 1] == '\\'))
        return urlPath(log.substr(inside));
    const std::string url = urlPath(log);
    return url.starts_with('/') ? "file://" + url : "file:///" + url;
}

class Page
{
public:
    Page(const Account& account, const std::string& htmlPath)
        : m_account(account), m_htmlFolder(folderOf(htmlPath)), m_several(account.sources.size() > 1)
    {
        m_out.reserve(4096 + account.rows.size() * 420);
    }

    std::string take()
    {
        head();
        facts();
        timeline();
        notDone();
        slowest();
        everything();
        m_out += "</body>\n</html>\n";
        return std::move(m_out);
    }

private:
    void text(std::string_view utf8) { appendMarkupEscaped(m_out, utf8); }
    // Numeric attributes of an SVG element, each with the blank before it.
    void attributes(std::initializer_list<std::pair<const char*, double>> numbers)
    {
        for (const auto& [name, value] : numbers) {
            m_out += ' ';
            m_out += name;
            m_out += "=\"";
            appendNumber(m_out, value);
            m_out += '"';
        }
    }
    void bytes(std::string_view systemBytes) { appendMarkupEscaped(m_out, pathText(systemBytes)); }

    void head()
    {
        m_out += "<!DOCTYPE html>\n<html lang=\"sv\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
        text(texts::pageTitle);
        if (const std::string subject = subjectName(); !subject.empty()) {
            m_out += ", ";
            bytes(subject);
        }
        m_out += "</title>\n<style>";
        m_out += style;
        m_out += "</style>\n</head>\n<body>\n<h1>";
        text(texts::heading);
        m_out += "</h1>\n";
    }

    // The job's file name, or else the template's.
    std::string subjectName() const
    {
        if (m_account.sources.empty())
            return {};
        const supervise::JournalContent& content = m_account.sources.front().content;
        const std::string& path = content.jobPath.empty() ? content.request.templatePath : content.jobPath;
        const auto slash = path.find_last_of("/\\");
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }

    void fact(std::string_view label, std::string_view utf8)
    {
        m_out += "<tr><th>";
        text(label);
        m_out += "</th><td>";
        text(utf8);
        m_out += "</td></tr>\n";
    }

    void facts()
    {
        m_out += "<table class=\"facts\">\n";
        if (!m_account.sources.empty()) {
            const supervise::JournalContent& content = m_account.sources.front().content;
            if (!content.jobPath.empty())
                fact(texts::job, pathText(content.jobPath));
            fact(texts::templateFile, pathText(content.request.templatePath));
            fact(texts::program, pathText(content.request.cad.path));
            const supervise::RunPolicy& policy = content.policy;
            fact(texts::policy,
                 texts::policyText(policy.batchSize, supervise::timeoutText(policy.timeout), policy.sessions,
                                   texts::marksWord(policy.marks), texts::formWord(policy.form)));
        }
        if (m_account.startMs != 0) {
            fact(texts::began, dateTimeText(m_account.startMs));
            fact(texts::ended, dateTimeText(m_account.endMs));
            fact(texts::wallTime, durationText(m_account.endMs - m_account.startMs));
        }
        for (std::size_t s = 0; s < m_account.sources.size(); ++s)
            fact(m_several ? texts::journals : texts::journal, pathText(m_account.sources[s].journalPath));
        m_out += "</table>\n<ul class=\"counts\">\n";
        std::size_t total = 0;
        for (const State state : statesInOrder) {
            const std::size_t count = m_account.counts[static_cast<std::size_t>(state)];
            total += count;
            if (count == 0)
                continue;
            m_out += "<li class=\"count\" data-state=\"";
            m_out += supervise::stateName(state);
            m_out += "\"><span class=\"chip ";
            m_out += supervise::stateName(state);
            m_out += "\"></span>";
            text(texts::stateCountText(state));
            m_out += ": <b>" + std::to_string(count) + "</b></li>\n";
        }
        m_out += "<li>";
        text(texts::drawings);
        m_out += ": <b>" + std::to_string(total) + "</b></li>\n</ul>\n";
    }

    void timeline()
    {
        m_out += "<h2>";
        text(texts::timeline);
        m_out += "</h2>\n";
        if (m_account.lanes.empty() || m_account.startMs == 0) {
            m_out += "<p>";
            text(texts::nothingRan);
            m_out += "</p>\n";
            return;
        }
        m_out += "<p class=\"note\">";
        text(texts::timelineNote);
        m_out += "</p>\n";
        const double height = axisHeight + double(m_account.lanes.size()) * (laneHeight + laneGap);
        const double width = labelWidth + plotWidth + 40;
        m_out += "<svg class=\"timeline\" xmlns=\"http://www.w3.org/2000/svg\"";
        attributes({{"width", width}, {"height", height}});
        m_out += " viewBox=\"0 0 ";
        appendNumber(m_out, width);
        m_out += ' ';
        appendNumber(m_out, height);
        m_out += "\" role=\"img\">\n";
        axis(height);
        for (std::size_t lane = 0; lane < m_account.lanes.size(); ++lane) {
            const double y = laneTop(lane);
            m_out += "<g class=\"lane\" data-lane=\"" + std::to_string(lane) + "\"><text";
            attributes({{"x", 0}, {"y", y + laneHeight - 6}});
            m_out += '>';
            text(m_account.lanes[lane].label);
            m_out += "</text><rect class=\"lane\"";
            attributes({{"x", labelWidth}, {"y", y}, {"width", plotWidth}, {"height", laneHeight}});
            m_out += "/></g>\n";
        }
        for (const Shape& shape : timelineShapes(m_account, plotWidth))
            this->shape(shape);
        m_out += "</svg>\n";
    }

    double laneTop(std::size_t lane) const { return axisHeight + double(lane) * (laneHeight + laneGap); }

    // Ticks at a round step, at most about ten of them.
    void axis(double height)
    {
        constexpr std::int64_t steps[] = {1000,     2000,     5000,     10000,    15000,     30000,    60000,
                                          120000,   300000,   600000,   900000,   1800000,   3600000,  7200000,
                                          10800000, 21600000, 43200000, 86400000, 172800000, 604800000};
        const std::int64_t span = std::max<std::int64_t>(m_account.endMs - m_account.startMs, 1);
        std::int64_t step = steps[std::size(steps) - 1];
        for (const std::int64_t candidate : steps) {
            if (span / candidate <= 10) {
                step = candidate;
                break;
            }
        }
        const double scale = plotWidth / double(span);
        for (std::int64_t tick = (m_account.startMs + step - 1) / step * step; tick <= m_account.endMs; tick += step) {
            const double x = labelWidth + double(tick - m_account.startMs) * scale;
            m_out += "<line";
            attributes({{"x1", x}, {"y1", 14}, {"x2", x}, {"y2", height}});
            m_out += "/><text";
            attributes({{"x", x + 2}, {"y", 12}});
            m_out += '>';
            const std::string clock = clockText(tick);
            text(step >= 60000 ? std::string_view(clock).substr(0, 5) : std::string_view(clock));
            m_out += "</text>\n";
        }
    }

    void shape(const Shape& shape)
    {
        const bool band = shape.kind == Shape::Kind::Band;
        m_out += band ? "<rect class=\"band " : "<rect class=\"drawing ";
        m_out += supervise::stateName(shape.state);
        m_out += '"';
        attributes({{"x", labelWidth + shape.x},
                    {"y", laneTop(shape.lane) + 1},
                    {"width", std::max(shape.width, 1.0)},
                    {"height", laneHeight - 2}});
        m_out += "><title>";
        if (band) {
            text(texts::band(shape.count, texts::stateText(shape.state)));
            m_out += '\n';
            text(clockText(shape.fromMs) + "–" + clockText(shape.toMs));
        } else {
            const Row& row = m_account.rows[shape.row];
            bytes(row.name);
            m_out += '\n';
            text(std::string(texts::stateText(row.state)) + ", " + clockText(row.beginMs) + "–" + clockText(row.endMs) +
                 " (" + secondsText(row.durationMs()) + " s)");
            if (!row.reason.empty()) {
                m_out += '\n';
                bytes(row.reason);
            }
        }
        m_out += "</title></rect>\n";
    }

    void tableHead(bool log)
    {
        m_out += "<table>\n<thead><tr>";
        for (const std::string_view heading :
             {texts::name, texts::state, texts::session, texts::began, texts::ended, texts::seconds, texts::reason}) {
            m_out += "<th>";
            text(heading);
            m_out += "</th>";
        }
        if (log) {
            m_out += "<th>";
            text(texts::log);
            m_out += "</th>";
        }
        m_out += "</tr></thead>\n<tbody>\n";
    }

    // Cells and rows without their end tags, which HTML leaves out by right: a table of 20 000 drawings is read
    // by the browser in a good part of the time it would otherwise take. Only the short tables have the chips.
    void tableRow(const Row& row, bool chip, bool log)
    {
        m_out += "<tr><td>";
        bytes(row.name);
        m_out += "<td>";
        if (chip) {
            m_out += "<span class=\"chip ";
            m_out += supervise::stateName(row.state);
            m_out += "\"></span>";
        }
        text(texts::stateText(row.state));
        m_out += "<td>";
        if (row.lane != Row::noLane)
            text(m_several ? m_account.lanes[row.lane].label : std::to_string(row.session));
        m_out += "<td>";
        if (row.beginMs != 0) {
            m_out += dateTimeText(row.beginMs);
            m_out += "<td>";
            m_out += dateTimeText(row.endMs);
            m_out += "<td>";
            m_out += secondsText(row.durationMs());
        } else {
            m_out += "<td><td>";
        }
        m_out += "<td>";
        bytes(row.reason);
        if (log) {
            m_out += "<td>";
            if (const std::string link = logLink(m_account, row, m_htmlFolder); !link.empty()) {
                m_out += "<a href=\"";
                text(link);
                m_out += "\">";
                text(texts::showLog);
                m_out += "</a>";
            }
        }
        m_out += '\n';
    }

    void heading(std::string_view title, std::string_view id)
    {
        m_out += "<h2 id=\"";
        m_out += id;
        m_out += "\">";
        text(title);
        m_out += "</h2>\n";
    }

    void notDone()
    {
        heading(texts::notDone, "not-done");
        bool any = false;
        for (const Row& row : m_account.rows) {
            if (row.state == State::Done)
                continue;
            if (!any)
                tableHead(true);
            any = true;
            tableRow(row, true, true);
        }
        if (any) {
            m_out += "</tbody></table>\n";
        } else {
            m_out += "<p>";
            text(texts::allDone);
            m_out += "</p>\n";
        }
    }

    void slowest()
    {
        std::vector<const Row*> timed;
        for (const Row& row : m_account.rows) {
            if (row.durationMs() > 0)
                timed.push_back(&row);
        }
        if (timed.empty())
            return;
        const auto top = timed.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(timed.size(), 10));
        std::partial_sort(timed.begin(), top, timed.end(),
                          [](const Row* a, const Row* b) { return a->durationMs() > b->durationMs(); });
        heading(texts::slowest, "slowest");
        tableHead(false);
        for (auto row = timed.begin(); row != top; ++row)
            tableRow(**row, true, false);
        m_out += "</tbody></table>\n";
    }

    void everything()
    {
        m_out += "<section class=\"all\">\n";
        heading(texts::everything, "all");
        tableHead(false);
        for (const Row& row : m_account.rows)
            tableRow(row, false, false);
        m_out += "</tbody></table>\n</section>\n";
    }

    const Account& m_account;
    std::string m_htmlFolder;
    bool m_several;
    std::string m_out;
};

} // namespace

std::string reportHtml(const Account& account, const std::string& htmlPath)
{
    return Page(account, htmlPath).take();
}

} // namespace report
