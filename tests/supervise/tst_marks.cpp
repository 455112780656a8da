// Drawing marks: the one form a mark line takes, paths that cannot or must be escaped in it, and the reading
// of a marks file whatever a CAD session leaves in it.
#include "script/drawingmarks.h"
#include "supervise/marks.h"
#include "support/tempfolder.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

using script::MarkKind;

std::string kinds(const std::vector<supervise::Mark>& marks)
{
    std::string text;
    for (const supervise::Mark& mark : marks)
        text += std::string(script::markWord(mark.kind)) + " " + std::to_string(mark.index) + ";";
    return text;
}

TEST(MarkLine, IsOneSelfContainedQuietExpressionWithTheTextEscaped)
{
    EXPECT_EQ(script::markLine(script::markPathText("/runs/a b/\"x\"\\y.marks"), MarkKind::End, 12),
              "(progn ((lambda (f) (if f (progn (write-line \"end 12\" f) (close f)))) "
              "(open \"/runs/a b/\\\"x\\\"\\\\y.marks\" \"a\")) (princ))");
    EXPECT_EQ(script::markPathText("/runs/\xC3\xA5.marks"), "/runs/\xC3\xA5.marks"); // bytes stay bytes
    EXPECT_FALSE(script::markablePath("/runs/a\nb.marks"));
    EXPECT_FALSE(script::markablePath("/runs/a\tb.marks"));
    EXPECT_FALSE(script::markablePath(""));
}

TEST(MarksReader, TakesWholeMarkLinesAndSkipsEverythingElse)
{
    TempFolder dir;
    const std::string path = dir / "run.marks";
    supervise::MarksReader reader(path);
    EXPECT_TRUE(reader.poll().empty()); // no file yet
    writeFile(path, "");
    EXPECT_TRUE(reader.poll().empty());
    writeFile(path, "begin 1\nend 1\r\nbegin x\nend -2\nbegin 99999999999999999999999\nhello\nbegin 1 2\nend 3");
    EXPECT_EQ(kinds(reader.poll()), "begin 1;end 1;");
    // A line cut in the middle is taken once it is whole.
    writeFile(path, readFile(path) + "\nbegin 4\n");
    EXPECT_EQ(kinds(reader.poll()), "end 3;begin 4;");
    // A line longer than any mark is skipped whole, even when its end arrives in a later poll.
    writeFile(path, readFile(path) + std::string(100, 'x'));
    EXPECT_TRUE(reader.poll().empty());
    writeFile(path, readFile(path) + "end 5\nend 6\n");
    EXPECT_EQ(kinds(reader.poll()), "end 6;");
}

TEST(MarksReader, ReadsAFileThatGrowsWithoutEndABoundedPieceAtATime)
{
    TempFolder dir;
    const std::string path = dir / "run.marks";
    std::string bytes;
    for (int i = 0; i < 400000; ++i)
        bytes += "begin 7\n";
    writeFile(path, bytes);
    supervise::MarksReader reader(path);
    const auto first = reader.poll();
    EXPECT_GT(first.size(), 0u);
    EXPECT_LT(first.size(), 100000u);
    EXPECT_EQ(first.size() + reader.pollAll().size(), 400000u);
}

// Only the session's own file is believed. Whatever takes its place is refused at once: a pipe without waiting
// for a writer, a link without reading what it leads to, a file removed, replaced or cut short without taking
// the marks at places the reader has passed.
TEST(MarksReader, RefusesWhatIsNotTheSessionsOwnFile)
{
    TempFolder dir;
    const std::string path = dir / "run.marks", other = dir / "other";
    writeFile(other, "end 1\nend 2\nend 3\n");
    const auto link = [&](const std::string& to) {
        return [&path, to] { ASSERT_EQ(::symlink(to.c_str(), path.c_str()), 0); };
    };
    const std::vector<std::tuple<std::string, std::function<void()>, std::string>> cases = {
        {"pipe", [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, "märkesfilen är ingen vanlig fil"},
        {"endless device", link("/dev/zero"), "märkesfilen är en länk"},
        {"another file", link(other), "märkesfilen är en länk"},
        {"removed", [] {}, "märkesfilen togs bort under körningen"},
        {"replaced",
         [&] {
             std::filesystem::copy_file(other, dir / "new");
             std::filesystem::rename(dir / "new", path);
         },
         "märkesfilen byttes ut under körningen"},
        {"cut short", [&] { writeFile(path, "end 1\n"); }, "märkesfilen kortades under körningen"},
        // Cut and written anew past the place the reader stands: its last bytes are not the ones it read.
        {"cut and regrown", [&] { writeFile(path, "begin 1\nend 1\nbegin 2\nend 2\n"); },
         "märkesfilen kortades under körningen"},
    };
    for (const auto& [what, plant, why] : cases) {
        const auto own = supervise::makeOwnFile(path);
        ASSERT_TRUE(own) << own.error();
        supervise::MarksReader reader(path, *own);
        writeFile(path, "begin 0\nend 0\n");
        EXPECT_EQ(kinds(reader.poll()), "begin 0;end 0;") << what;
        if (what != "replaced" && what != "cut short" && what != "cut and regrown")
            std::filesystem::remove(path);
        plant();
        EXPECT_EQ(kinds(reader.pollAll()), "") << what;
        EXPECT_EQ(reader.refused(), why) << what;
        std::filesystem::remove(path);
    }

    // makeOwnFile replaces whatever stands at the path, and the file it leaves is believed again.
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const auto own = supervise::makeOwnFile(path);
    ASSERT_TRUE(own) << own.error();
    supervise::MarksReader reader(path, *own);
    writeFile(path, "end 4\n");
    EXPECT_EQ(kinds(reader.pollAll()), "end 4;");
    EXPECT_EQ(reader.refused(), "");
}

} // namespace
