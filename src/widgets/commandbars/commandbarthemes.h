#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

// The six looks of the command bars. Each theme is one row of data: the toolbar face colour that the
// program paints its own surfaces with, the colours of the bars, and the style sheet they fill in.

namespace commandbarthemes {

constexpr int count = 6;

// The row drawn for a theme number; numbers outside 0..count-1 draw like theme 0.
int effectiveTheme(int theme);

// The face colour of the theme's toolbars.
QColor faceColour(int theme);

// The palette the bars of the theme use where the style sheet says nothing (toolbar handles,
// drop-down lists of hosted combo boxes, check marks).
QPalette palette(int theme);

// The style sheet of the theme's menu bar, toolbars, menus and status bar.
QString styleSheet(int theme);

// The kinds of bar a sheet is set on.
enum class Surface
{
    MenuBar,
    ToolBar,
    Menu,
    StatusBar,
};

// The rules of a theme's sheet that can reach a bar of the kind or anything inside it, in the sheet's order:
// set on that bar, it looks as with the whole sheet, and Qt reads a third of the text.
QString styleSheet(int theme, Surface surface);

} // namespace commandbarthemes
