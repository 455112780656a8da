#pragma once

class QWidget;
class Settings;
namespace settings {
struct Placement;
}

// A window's place and size in twips, in the four settings of keys. defaultHeight and defaultWidth serve
// where no size is stored.
void restoreWindowPlacement(const Settings& settings, QWidget* window, const settings::Placement& keys,
                            int defaultHeight, int defaultWidth);
void saveWindowPlacement(Settings& settings, const QWidget* window, const settings::Placement& keys);
