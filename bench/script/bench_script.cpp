// Expands a ten-line template that uses every placeholder over 100 000 drawings and writes the script;
// prints the throughput and the write's cost against write(2) of the same bytes, both measured here. Then
// checks the script over 100 000 real (empty) drawing files and prints the check's cost against writing
// the same script.
//
//   bench_script [FOLDER]    FOLDER: where the files go (default: a new folder under the temporary folder)

#include "script/expandtemplate.h"
#include "script/runrequest.h"
#include "script/scriptcheck.h"
#include "script/scriptfile.h"
#include "script/scriptfs.h"
#include "script/scripttemplate.h"
#include "script/strftimeformat.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The floor: the same bytes with plain write(2) into a file that is truncated first.
bool writeFloor(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written <= 0)
            break;
        done += static_cast<std::size_t>(written);
    }
    return ::close(fd) == 0 && done == bytes.size();
}

// Takes the script and forgets it, so the expansion can be timed on its own.
struct Discard final : script::ScriptOutput
{
    bool write(std::string_view piece) override
    {
        bytes += piece.size();
        return true;
    }
    std::size_t bytes = 0;
};

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "vendrel-bench-script";
    fs::create_directories(folder);

    const auto scriptTemplate = script::readScriptTemplate("%C Every placeholder, ten body lines\r\n"
                                                           "_.OPEN \"%f\"\r\n"
                                                           "(setq fil \"%lfullname\" mapp \"%lpath\")\r\n"
                                                           "_.-LAYER _S 0 ; current layer\r\n"
                                                           "(setq namn \"%name\" typ \"%ext\")\r\n"
                                                           "(setq projekt \"%m\")\r\n"
                                                           "_.-ATTEDIT N N TITEL * DATUM %date TID %time\r\n"
                                                           "_.ZOOM _E\r\n"
                                                           "_.-PLOT N Model \"%path\" \"%name-%m.plt\" N Y\r\n"
                                                           "_.QSAVE\r\n"
                                                           "_.CLOSE\r\n");
    std::vector<std::string> names;
    names.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "K%06d Plan %s.%s", i,
                      i % 2 ? "norra"
                            : "s\xf6"
                              "dra",
                      i % 5 ? "dwg" : "DXF");
        names.emplace_back(name);
    }
    const std::string listingFolder = "/srv/cad/Projekt/2026 Kvarteret Eken/Ritningar";
    const script::DateTimeFormat format = script::cLocaleDateTimeFormat();
    const script::Clock clock = &script::localNow;
    const std::string scriptPath = (folder / "Vendrel.scr").string();
    const std::string floorPath = (folder / "floor.scr").string();

    // Each round: the run's way (expanded straight into the file), the expansion alone, then the in-memory
    // script written by writeScriptFile and by bare write(2). This machine pays dearly for memory touched
    // the first time, and whichever write comes first after an expansion meets it; the two writes therefore
    // take turns going first, and the ratio compares them over an even number of rounds.
    constexpr int rounds = 10;
    std::vector<double> runTimes, expandTimes, writeTimes, floorTimes;
    std::size_t bytes = 0;
    for (int round = 0; round < rounds; ++round) {
        auto start = Clock::now();
        {
            script::ReplacingFile file(scriptPath);
            script::expandTemplate(*scriptTemplate, listingFolder, names, "Anl 7", clock, format, '/', file);
            const auto written = file.commit();
            if (!written) {
                std::fprintf(stderr, "bench_script: %s: %s\n", scriptPath.c_str(), written.error().c_str());
                return 1;
            }
        }
        runTimes.push_back(seconds(Clock::now() - start));

        Discard discard;
        start = Clock::now();
        script::expandTemplate(*scriptTemplate, listingFolder, names, "Anl 7", clock, format, '/', discard);
        expandTimes.push_back(seconds(Clock::now() - start));
        bytes = discard.bytes;

        const auto expansion =
            script::expandTemplate(*scriptTemplate, listingFolder, names, "Anl 7", clock, format, '/');
        const std::string& text = expansion.script.bytes();
        for (int turn = 0; turn < 2; ++turn) {
            start = Clock::now();
            if ((turn == 0) == (round % 2 == 0)) {
                if (!script::writeScriptFile(expansion.script, scriptPath))
                    return 1;
                writeTimes.push_back(seconds(Clock::now() - start));
            } else {
                if (!writeFloor(floorPath, text))
                    return 1;
                floorTimes.push_back(seconds(Clock::now() - start));
            }
        }
    }
    // The check against the run over the same drawings, real files in a folder whose name holds a blank.
    const fs::path drawings = folder / "2026 Kvarteret Eken";
    fs::create_directories(drawings);
    for (const std::string& name : names) {
        const int fd = ::open((drawings / name).c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd < 0) {
            std::perror((drawings / name).c_str());
            return 1;
        }
        ::close(fd);
    }
    const std::string drawingFolder = drawings.string();
    // The floor of any check that asks the file system about each drawing: one statx(2) a drawing.
    std::vector<double> statTimes;
    for (int round = 0; round < rounds / 2; ++round) {
        const int dir = ::open(drawingFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const auto start = Clock::now();
        for (const std::string& name : names) {
            struct statx info
            {
            };
            ::statx(dir, name.c_str(), 0, STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID, &info);
        }
        statTimes.push_back(seconds(Clock::now() - start));
        ::close(dir);
    }
    std::vector<double> checkTimes, checkedRunTimes;
    std::size_t findings = 0;
    script::RunRequest checkRequest;
    checkRequest.scriptTemplate = *scriptTemplate;
    checkRequest.drawings = names;
    checkRequest.listingFolder = drawingFolder;
    checkRequest.projectName = "Anl 7";
    checkRequest.separator = '/';
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto start = Clock::now();
            if ((turn == 0) == (round % 2 == 0)) {
                script::ReplacingFile file(scriptPath);
                script::expandTemplate(*scriptTemplate, drawingFolder, names, "Anl 7", clock, format, '/', file);
                if (!file.commit())
                    return 1;
                checkedRunTimes.push_back(seconds(Clock::now() - start));
            } else {
                // As the window and vendrel-script do: the clock read once, then the check.
                const script::LocalDateTime now = clock();
                checkRequest.clockReading = script::ClockReading{format.date(now), format.time(now)};
                findings = script::checkScript(checkRequest).size();
                checkTimes.push_back(seconds(Clock::now() - start));
            }
        }
    }

    fs::remove(scriptPath);
    fs::remove(floorPath);
    fs::remove_all(drawings);
    if (argc <= 1)
        fs::remove(folder);

    const auto total = [](const std::vector<double>& values) {
        double sum = 0;
        for (const double value : values)
            sum += value;
        return sum;
    };
    const double megabytes = static_cast<double>(bytes) / 1e6;
    const double run = median(runTimes), expand = median(expandTimes);
    std::printf("script: %zu drawings x 10 lines, %.1f MB; medians of %d rounds\n", names.size(), megabytes, rounds);
    std::printf("expand and write to the file:  %7.1f ms %6.0f MB/s  (target: at least 200 MB/s)\n", run * 1e3,
                megabytes / run);
    std::printf("expand alone:                  %7.1f ms %6.0f MB/s\n", expand * 1e3, megabytes / expand);
    std::printf("writeScriptFile from memory:   %7.1f ms %6.0f MB/s\n", median(writeTimes) * 1e3,
                megabytes / median(writeTimes));
    std::printf("write(2) of the same bytes:    %7.1f ms %6.0f MB/s\n", median(floorTimes) * 1e3,
                megabytes / median(floorTimes));
    std::printf("writeScriptFile / write(2):    %7.2fx            (target: at most 1.5x; sum over all rounds)\n",
                total(writeTimes) / total(floorTimes));
    std::printf("check of 100 000 drawing files: %7.1f ms, %zu findings\n", median(checkTimes) * 1e3, findings);
    std::printf("writing their script:          %7.1f ms\n", median(checkedRunTimes) * 1e3);
    std::printf("one statx(2) a drawing:        %7.1f ms            (the floor of a check that asks about each)\n",
                median(statTimes) * 1e3);
    std::printf("check / one statx a drawing:   %7.2fx\n", median(checkTimes) / median(statTimes));
    std::printf("check / writing the script:    %7.2fx            (target: at most 2x; sum over all rounds)\n",
                total(checkTimes) / total(checkedRunTimes));
    return 0;
}
