#include "os/pathtext.h"
#include "report/report.h"
#include "report/times.h"

namespace report {

namespace {

void appendField(std::string& out, std::string_view value)
{
    if (value.find_first_of(";\"\r\n") == std::string_view::npos) {
        out += value;
        return;
    }
    out.push_back('"');
    for (const char c : value) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

} // namespace

std::string reportCsv(const Account& account)
{
    const bool several = account.sources.size() > 1;
    std::string out = "\xEF\xBB\xBF";
    out.reserve(account.rows.size() * 96);
    if (several)
        out += "Journal;";
    out += "Ritning;Tillstånd;Session;Början;Slut;Sekunder;Orsak\r\n";
    for (const Row& row : account.rows) {
        if (several) {
            appendField(out, account.sources[row.source].label);
            out.push_back(';');
        }
        appendField(out, pathText(row.name));
        out.push_back(';');
        // The journal's own words, as vendrel-run --status writes them: a filter in the spreadsheet matches both.
        out += supervise::stateName(row.state);
        out.push_back(';');
        if (row.session != 0)
            out += std::to_string(row.session);
        out.push_back(';');
        if (row.beginMs != 0) {
            out += dateTimeText(row.beginMs);
            out.push_back(';');
            out += dateTimeText(row.endMs);
            out.push_back(';');
            out += secondsText(row.durationMs());
        } else {
            out += ";;";
        }
        out.push_back(';');
        appendField(out, pathText(row.reason));
        out += "\r\n";
    }
    return out;
}

} // namespace report
