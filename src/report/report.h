#pragma once

#include "os/result.h"
#include "report/account.h"

#include <span>
#include <string>

// The morning report of a supervised run: an HTML page a browser opens without fetching anything, with a
// timeline of the sessions, and a CSV a Swedish spreadsheet opens in columns.
namespace report {

struct ReportPaths
{
    std::string html;
    std::string csv;
};

// The report of a journal: beside it, named as its script and logs are (natt.journal: natt.html, natt.csv).
ReportPaths reportPathsFor(const std::string& journalPath);
// base.html and base.csv.
ReportPaths reportPathsAt(const std::string& base);

// The page, for the file at htmlPath (its links to console logs are relative to it where they can be).
std::string reportHtml(const Account& account, const std::string& htmlPath);
// A row per drawing: UTF-8 with a byte-order mark, ';' between fields, quoted as RFC 4180 has it, CR LF.
std::string reportCsv(const Account& account);

// Writes both files, each whole or not at all (an earlier report stays as it was); the message when one cannot
// be written.
Result<void> writeReport(const Account& account, const ReportPaths& paths);
// Reads the journals and writes their report at paths.
Result<void> writeReportOf(std::span<const std::string> journalPaths, const ReportPaths& paths);

} // namespace report
