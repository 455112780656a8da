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
    const auto top = settings.number(*keys.top);
    if (!top)
        return;
    window->move(window->x(), twips::toPixels(*top, dpi));
    const auto left = settings.number(*keys.left);
    if (!left)
        return;
    window->move(twips::toPixels(*left, dpi), window->y());
    const auto height = settings.number(*keys.height, defaultHeight);
    if (!height || *height < 0)
        return;
    window->resize(window->width(), twips::toPixels(*height, dpi));
    const auto width = settings.number(*keys.width, defaultWidth);
    if (!width || *width < 0)
        return;
    window->resize(twips::toPixels(*width, dpi), window->height());
}

void saveWindowPlacement(Settings& settings, const QWidget* window, const settings::Placement& keys)
{
    const double dpi = twips::logicalDpi(window);
    const QRect frame = window->geometry();
    const QPoint corner = window->pos();
    settings.setNumber(*keys.top, twips::fromPixels(corner.y(), dpi));
    settings.setNumber(*keys.left, twips::fromPixels(corner.x(), dpi));
    settings.setNumber(*keys.height, twips::fromPixels(frame.height(), dpi));
    settings.setNumber(*keys.width, twips::fromPixels(frame.width(), dpi));
}
