#include "commands/layout.h"

namespace {

constexpr double frameMargin = 60;  // right and bottom margin of the frame inside the free rectangle
constexpr double gridBottom = 240;  // space below the grids, and right of the list against the outer width
constexpr double splitterReach = 4.0;  // the splitter reaches beyond the frame's top and bottom edges
constexpr double splitterRaise = 0.25;
constexpr double narrowestTree = 5;

void setIfValid(double& target, double value)
{
    if (value >= 0)
        target = value;
}

} // namespace

void arrangeMainWindow(MainWindowLayout& l, const FreeRect& free, double outerWidth)
{
    l.splitter.left = l.tree.left + l.tree.width;
    setIfValid(l.splitter.height, splitterReach * l.frame.height);
    l.splitter.top = l.frame.top - splitterRaise * l.splitter.height;
    setIfValid(l.frame.width, (free.right - free.left) - l.frame.left - frameMargin);
    setIfValid(l.frame.height, (free.bottom - free.top) - frameMargin);
    l.frame.top = free.top;
    setIfValid(l.tree.height, l.frame.height - gridBottom);
    l.list.left = l.splitter.left + l.splitter.width;
    setIfValid(l.list.width, outerWidth - l.list.left - gridBottom);
    setIfValid(l.list.height, l.tree.height);
}

void dropOnTree(MainWindowLayout& layout, bool isSplitter, double x)
{
    if (isSplitter)
        layout.tree.width = x <= 0 ? narrowestTree : x;
}

void dropOnList(MainWindowLayout& layout, double x)
{
    const double width = layout.tree.left + layout.tree.width + x;
    if (width >= 0)
        layout.tree.width = width;
}
