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

} // namespace commandbarthemes
