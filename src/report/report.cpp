#include "report/report.h"

#include "os/pathtext.h"
#include "script/scriptfs.h"

namespace report {

ReportPaths reportPathsFor(const std::string& journalPath)
{
    constexpr std::string_view ending = ".journal";
    if (journalPath.size() > ending.size() && journalPath.ends_with(ending))
        return reportPathsAt(journalPath.substr(0, journalPath.size() - ending.size()));
    return reportPathsAt(journalPath);
}

ReportPaths reportPathsAt(const std::string& base)
{
    return {base + ".html", base + ".csv"};
}

Result<void> writeReport(const Account& account, const ReportPaths& paths)
{
    const auto failed = [](const std::string& path, const std::string& why) {
        return Result<void>::failure("rapporten " + pathText(path) + " kan inte skrivas: " + why);
    };
    // The page first: should the table fail after it, the page that is there is the whole new one.
    if (auto written = script::replaceFile(paths.html, reportHtml(account, paths.html)); !written)
        return failed(paths.html, written.error());
    if (auto written = script::replaceFile(paths.csv, reportCsv(account)); !written)
        return failed(paths.csv, written.error());
    return {};
}

Result<void> writeReportOf(std::span<const std::string> journalPaths, const ReportPaths& paths)
{
    const auto account = readAccount(journalPaths);
    if (!account)
        return Result<void>::failure(account.error());
    return writeReport(*account, paths);
}

} // namespace report
