#pragma once

// Every stored position and size is in twips (1/1440 inch); widgets work in device-independent pixels.
// The conversion uses the screen's logical DPI, so 96 DPI gives 15 twips a pixel.

class QWidget;

namespace twips {

constexpr int perInch = 1440;

// The logical DPI of the screen the widget is on (the primary screen when it has none yet).
double logicalDpi(const QWidget* widget);

int toPixels(double twips, double dpi);
double fromPixels(int pixels, double dpi);

inline int toPixels(double value, const QWidget* widget) { return toPixels(value, logicalDpi(widget)); }
inline double fromPixels(int pixels, const QWidget* widget) { return fromPixels(pixels, logicalDpi(widget)); }

} // namespace twips
