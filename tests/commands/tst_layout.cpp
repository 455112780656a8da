// The placing of frame, tree, splitter and list, and the splitter's drops.
#include "commands/layout.h"

#include <gtest/gtest.h>

namespace {

MainWindowLayout freshLayout()
{
    MainWindowLayout layout;
    layout.frame = {60, 0, 9495, 3015};
    layout.tree = {50, 180, 2350, 2640};
    return layout;
}

TEST(Layout, PlacesEverythingInTheFreeRectangle)
{
    MainWindowLayout l = freshLayout();
    arrangeMainWindow(l, {0, 900, 9720, 5610}, 9960);
    EXPECT_EQ(l.frame.top, 900);
    EXPECT_EQ(l.frame.width, 9600);
    EXPECT_EQ(l.frame.height, 4650);
    EXPECT_EQ(l.tree.height, 4410);
    EXPECT_EQ(l.splitter.left, 2400);
    EXPECT_EQ(l.list.left, 2460);
    EXPECT_EQ(l.list.height, 4410);
    EXPECT_EQ(l.list.width, 9960 - 2460 - 240);
    // The splitter follows the frame as it was before this pass.
    EXPECT_EQ(l.splitter.height, 4 * 3015);
    EXPECT_EQ(l.splitter.top, 0 - 0.25 * 4 * 3015);

    const MainWindowLayout before = l;
    arrangeMainWindow(l, {0, 900, 9720, 5610}, 9960);
    EXPECT_EQ(l.frame.width, before.frame.width);
    EXPECT_EQ(l.list.left, before.list.left);
    EXPECT_EQ(l.splitter.height, 4 * 4650);
    EXPECT_EQ(l.splitter.top, 900 - 4650);
}

TEST(Layout, NegativeSizesAreSkippedAndTheRestStillRuns)
{
    MainWindowLayout l = freshLayout();
    arrangeMainWindow(l, {0, 900, 9720, 5610}, 9960);
    const MainWindowLayout valid = l;

    arrangeMainWindow(l, {0, 900, 50, 920}, 100); // a window smaller than its bars
    EXPECT_EQ(l.frame.width, valid.frame.width);
    EXPECT_EQ(l.frame.height, valid.frame.height);
    EXPECT_EQ(l.frame.top, 900);

    l = valid;
    l.tree.width = 20000; // the list would get a negative width
    arrangeMainWindow(l, {0, 900, 9720, 5610}, 9960);
    EXPECT_EQ(l.list.width, valid.list.width);
    EXPECT_EQ(l.splitter.left, 20050);
    EXPECT_EQ(l.list.left, 20110);
}

TEST(Layout, SplitterDrops)
{
    MainWindowLayout l = freshLayout();
    dropOnTree(l, true, 0);
    EXPECT_EQ(l.tree.width, 5);
    dropOnTree(l, true, -300);
    EXPECT_EQ(l.tree.width, 5);
    dropOnTree(l, true, 1200);
    EXPECT_EQ(l.tree.width, 1200);
    dropOnTree(l, false, 700);
    EXPECT_EQ(l.tree.width, 1200) << "only the splitter changes the tree's width";

    l.tree.width = 2350;
    dropOnList(l, 1000);
    EXPECT_EQ(l.tree.width, 3400);
}

} // namespace
