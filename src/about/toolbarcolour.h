#pragma once

class QColor;
class QString;
class QWidget;

// Paints a secondary window in the toolbar face colour of the current theme: the window itself and every
// control whose name does not begin (in any case) with "cmd", "sli", "txt", "img" or "lin". Buttons,
// sliders, text boxes, pictures and lines keep their own colours; labels and frames take the toolbar colour.
// Applying it again with another colour repaints everything it painted before.
void applyToolbarColour(QWidget* window, const QColor& toolbarFaceColour);

// Whether applyToolbarColour paints a control of this name.
bool takesToolbarColour(const QString& controlName);
