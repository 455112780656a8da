#pragma once

#include "widgets/commandbars/commandbars.h"

#include <QString>

// Builds the menu bar, the toolbars, the shortcuts, the icons and the status bar of the command table
// into the bars, once. The boxes the toolbars host are the window's children with the object names the
// table gives; a box that is missing leaves its place empty.
void buildCommandBars(CommandBars& bars);

// Appends a control to a bar and sets, in this order, separator-before, description, style and category.
BarControl* addBarControl(CommandBar* bar, ControlKind kind, int id, const QString& caption, bool separatorBefore,
                          const QString& description, ControlStyle style, const QString& category);
