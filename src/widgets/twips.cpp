#include "widgets/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace twips {

double logicalDpi(const QWidget* widget)
{
    const QScreen* screen = widget ? widget->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

int toPixels(double value, double dpi)
{
    return static_cast<int>(std::lround(value * dpi / perInch));
}

double fromPixels(int pixels, double dpi)
{
    return std::round(pixels * perInch / dpi);
}

} // namespace twips
