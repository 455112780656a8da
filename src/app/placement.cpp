#include "app/placement.h"

#include "settings/settings.h"
#include "widgets/twips.h"

#include <QWidget>

void restoreWindowPlacement(const Settings& settings, QWidget* window, std::string_view section, int defaultHeight,
                            int defaultWidth)
{
    if (window->isMaximized() || window->isMinimized() || window->isFullScreen())
        return;
    const double dpi = twips::logicalDpi(window);
    // Each value is applied as soon as it is read; the first one that is not usable ends the restore.
    auto read = [&](std::string_view name, std::string_view fallback) {
        return settings::parseNumber(settings.readSetting(name, fallback, section));
    };
    const auto top = read("Top", "0");
    if (!top)
        return;
    window->move(window->x(), twips::toPixels(*top, dpi));
    const auto left = read("Left", "0");
    if (!left)
        return;
    window->move(twips::toPixels(*left, dpi), window->y());
    const auto height = read("Height", settings::numberText(defaultHeight));
    if (!height || *height < 0)
        return;
    window->resize(window->width(), twips::toPixels(*height, dpi));
    const auto width = read("Width", settings::numberText(defaultWidth));
    if (!width || *width < 0)
        return;
    window->resize(twips::toPixels(*width, dpi), window->height());
}

void saveWindowPlacement(Settings& settings, const QWidget* window, std::string_view section)
{
    const double dpi = twips::logicalDpi(window);
    const QRect frame = window->geometry();
    const QPoint corner = window->pos();
    settings.writeSetting("Top", settings::numberText(twips::fromPixels(corner.y(), dpi)), section);
    settings.writeSetting("Left", settings::numberText(twips::fromPixels(corner.x(), dpi)), section);
    settings.writeSetting("Height", settings::numberText(twips::fromPixels(frame.height(), dpi)), section);
    settings.writeSetting("Width", settings::numberText(twips::fromPixels(frame.width(), dpi)), section);
}
