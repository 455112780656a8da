// The morning report of a large run: a journal of 20 000 drawings in 8 sessions, as a night run with drawing
// marks leaves it, read and written as its page and table; then, when Chromium is there, the page opened in
// headless Chromium against a trivial page in the same run.
//   bench_report [DRAWINGS] [SESSIONS] [FOLDER]
#include "report/report.h"
#include "supervise/journal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Drawings of 5 to 25 s each, ten to a batch, the batches handed to whichever session is free first; one in
// fifty fails, one in two hundred hits the time-out.
bool writeJournal(const std::string& path, std::size_t drawings, std::size_t sessions)
{
    script::RunRequest request;
    request.templatePath = "/srv/cad/Mallar/rensa.scr";
    request.cad.path = "/opt/cad/bin/cad";
    request.listingFolder = "/srv/cad/Ritningar";
    for (std::size_t i = 0; i < drawings; ++i)
        request.drawings.push_back("Kv" + std::to_string(i / 100) + "/K" + std::to_string(i) + " <plan>.dwg");
    supervise::RunPolicy policy;
    policy.batchSize = 10;
    policy.sessions = sessions;
    policy.marks = supervise::MarksChoice::On;
    auto created = supervise::JournalWriter::create(path, request, policy);
    if (!created) {
        std::fprintf(stderr, "bench_report: %s\n", created.error().message.c_str());
        return false;
    }
    auto& journal = *created;
    std::mt19937 random(29);
    std::vector<std::int64_t> freeAt(sessions, 1'796'000'000'000);
    for (std::size_t first = 0; first < drawings; first += policy.batchSize) {
        const auto session = std::size_t(std::min_element(freeAt.begin(), freeAt.end()) - freeAt.begin());
        std::vector<std::size_t> indices;
        for (std::size_t i = first; i < std::min(drawings, first + policy.batchSize); ++i)
            indices.push_back(i);
        std::int64_t now = freeAt[session] + 4000; // the CAD program's start
        if (!journal->batchStarted(freeAt[session], indices, {session + 1, "bench", true}))
            return false;
        std::vector<supervise::DrawingEntry> entries;
        for (const std::size_t index : indices) {
            supervise::DrawingEntry entry;
            entry.name = request.drawings[index];
            entry.startedMs = now;
            now += 5000 + std::int64_t(random() % 20000);
            entry.endedMs = now;
            const auto roll = random() % 200;
            entry.state = roll == 0  ? supervise::State::TimedOut
                          : roll < 4 ? supervise::State::Failed
                                     : supervise::State::Done;
            entry.exitStatus = entry.state == supervise::State::Done     ? "slutmärke"
                               : entry.state == supervise::State::Failed ? "signal 11: stannade i den här ritningen"
                                                                         : "signal 9: hängde i den här ritningen";
            entries.push_back(std::move(entry));
        }
        if (!journal->settled(indices, entries, false))
            return false;
        freeAt[session] = now;
    }
    return bool(journal->finished(*std::max_element(freeAt.begin(), freeAt.end()), "klar"));
}

// Seconds for headless Chromium to open the page and take its picture, the best of three; negative when it could
// not.
double chromiumSeconds(const std::string& page, const std::string& picture)
{
    const std::string command = "chromium --headless --no-sandbox --disable-gpu --window-size=1280,1600 "
                                "--screenshot='" +
                                picture + "' 'file://" + page + "' >/dev/null 2>&1";
    double best = -1;
    for (int round = 0; round < 3; ++round) {
        std::filesystem::remove(picture);
        const auto start = Clock::now();
        const int status = std::system(command.c_str());
        const double taken = seconds(Clock::now() - start);
        if (status != 0 || !std::filesystem::exists(picture))
            return -1;
        best = best < 0 ? taken : std::min(best, taken);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t drawings = argc > 1 ? std::size_t(std::atol(argv[1])) : 20000;
    const std::size_t sessions = argc > 2 ? std::size_t(std::atol(argv[2])) : 8;
    const std::filesystem::path folder =
        argc > 3 ? std::filesystem::path(argv[3])
                 : std::filesystem::temp_directory_path() / ("vendrel-bench-report-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string journal = (folder / "natt.journal").string();
    std::filesystem::remove(journal);
    if (!writeJournal(journal, drawings, sessions))
        return 1;

    const std::string journals[] = {journal};
    const report::ReportPaths paths = report::reportPathsFor(journal);
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        if (const auto written = report::writeReportOf(journals, paths); !written) {
            std::fprintf(stderr, "bench_report: %s\n", written.error().c_str());
            return 1;
        }
        best = std::min(best, seconds(Clock::now() - start));
    }
    std::printf("report of %zu drawings in %zu sessions: %.3f s to read the journal and write both files "
                "(target under 1 s); page %.1f MB, table %.1f MB\n",
                drawings, sessions, best, double(std::filesystem::file_size(paths.html)) / 1e6,
                double(std::filesystem::file_size(paths.csv)) / 1e6);

    const std::string trivial = (folder / "trivial.html").string();
    std::ofstream(trivial) << "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>t</title></head>"
                              "<body><p>Vendrel</p></body></html>\n";
    const double floor = chromiumSeconds(trivial, (folder / "trivial.png").string());
    if (floor < 0) {
        std::printf("headless Chromium: not measured (chromium is not installed or did not take a picture)\n");
        return 0;
    }
    const double page = chromiumSeconds(paths.html, (folder / "report.png").string());
    if (page < 0) {
        std::printf("headless Chromium: the report's picture failed\n");
        return 1;
    }
    std::printf("headless Chromium, screenshot: report %.2f s, trivial page %.2f s, report beyond it %.2f s "
                "(target: report under 2 s)\n",
                page, floor, page - floor);
    std::printf("files in %s\n", folder.string().c_str());
    return 0;
}
