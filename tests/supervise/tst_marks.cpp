// Drawing marks: the one form a mark line takes, paths that cannot or must be escaped in it, and the reading
// of a marks file whatever a CAD session leaves in it.
#include "script/drawingmarks.h"
#include "supervise/marks.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

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

} // namespace
