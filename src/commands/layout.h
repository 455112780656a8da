#pragma once

// The placing of the frame, the tree, the splitter and the list below the command bars. Everything is in
// twips; the frame's children are placed relative to the frame, the frame relative to the client area.

struct LayoutRect
{
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

struct MainWindowLayout
{
    LayoutRect frame{60, 0, 9495, 3015};
    LayoutRect tree{50, 180, 2350, 2640};
    LayoutRect splitter{0, 0, 60, 0};
    LayoutRect list{0, 180, 0, 0};
};

// The part of the client area the bars leave uncovered.
struct FreeRect
{
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// Places frame, tree, splitter and list in the free rectangle. A computed size that is negative is not
// applied (the control keeps its previous size) and the remaining steps still run.
void arrangeMainWindow(MainWindowLayout& layout, const FreeRect& free, double outerWidth);

// The splitter dropped on the tree at x (tree coordinates): the tree ends there, 5 twips at the least.
// Only the splitter (caption "H") changes the width; the caller lays out again in any case.
void dropOnTree(MainWindowLayout& layout, bool isSplitter, double x);
// The splitter dropped on the list at x (list coordinates): the tree grows by x.
void dropOnList(MainWindowLayout& layout, double x);
