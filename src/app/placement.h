#pragma once

#include <string_view>

class QWidget;
class Settings;

// Window placement in twips under the window's section.
void restoreWindowPlacement(const Settings& settings, QWidget* window, std::string_view section, int defaultHeight,
                            int defaultWidth);
void saveWindowPlacement(Settings& settings, const QWidget* window, std::string_view section);
