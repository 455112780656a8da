#include "app/placement.h"

#include "settings/settings.h"
#include "widgets/twips.h"

#include <QWidget>

void restoreWindowPlacement(const Settings& settings, QWidget* window, const settings::Placement& keys,
                            int defaultHeight, int defaultWidth)
{
    if (window->isMaximized() || window->isMinimized() || window->isFullScreen())
        return;
    const double dpi = twips::logicalDpi(window);
    // Each value is applied as soon as it is read; the first one that is not usable ends the restore.
    auto read = [&](const settings::Setting& setting, std::string_view fallback = {}) {
        return settings::parseNumber(settings.read(setting, fallback));
    };
    const auto top = read(*keys.top);
    if (!top)
        return;
    window->move(window->x(), twips::toPixels(*top, dpi));
    const auto left = read(*keys.left);
    if (!left)
        return;
    window->move(twips::toPixels(*left, dpi), window->y());
    const auto height = read(*keys.height, settings::numberText(defaultHeight));
    if (!height || *height < 0)
        return;
    window->resize(window->width(), twips::toPixels(*height, dpi));
    const auto width = read(*keys.width, settings::numberText(defaultWidth));
    if (!width || *width < 0)
        return;
    window->resize(twips::toPixels(*width, dpi), window->height());
}

void saveWindowPlacement(Settings& settings, const QWidget* window, const settings::Placement& keys)
{
    const double dpi = twips::logicalDpi(window);
    const QRect frame = window->geometry();
    const QPoint corner = window->pos();
    settings.write(*keys.top, settings::numberText(twips::fromPixels(corner.y(), dpi)));
    settings.write(*keys.left, settings::numberText(twips::fromPixels(corner.x(), dpi)));
    settings.write(*keys.height, settings::numberText(twips::fromPixels(frame.height(), dpi)));
    settings.write(*keys.width, settings::numberText(twips::fromPixels(frame.width(), dpi)));
}
