#include "about/toolbarcolour.h"

#include <QColor>
#include <QWidget>
#include <array>

namespace {

void paintBackground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

bool takesToolbarColour(const QString& controlName)
{
    static const std::array<QString, 5> ownColours = {QStringLiteral("cmd"), QStringLiteral("sli"),
                                                       QStringLiteral("txt"), QStringLiteral("img"),
                                                       QStringLiteral("lin")};
    const QString prefix = controlName.left(3).toLower();
    for (const QString& own : ownColours) {
        if (prefix == own)
            return false;
    }
    return true;
}

void applyToolbarColour(QWidget* window, const QColor& toolbarFaceColour)
{
    paintBackground(window, toolbarFaceColour);
    for (QWidget* control : window->findChildren<QWidget*>()) {
        // Only the window's own controls carry names; the unnamed or "qt_" parts inside Qt's composite
        // widgets (a combo box's popup, a scroll area's viewport) are not controls of the window.
        const QString name = control->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        if (takesToolbarColour(name))
            paintBackground(control, toolbarFaceColour);
    }
}
