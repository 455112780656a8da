#include "commands/commandicons.h"

#include "commands/commandtable.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

constexpr int iconSize = 16;

QPixmap render(QSvgRenderer& svg, qreal scale)
{
    QPixmap pixmap(QSize(iconSize, iconSize) * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    svg.render(&painter, QRectF(0, 0, iconSize, iconSize));
    return pixmap;
}

} // namespace

// The pictures are compiled into this static library, whose resources must be registered by hand; the
// registration names a global function, so this stands outside any namespace.
static void loadResources()
{
    Q_INIT_RESOURCE(commands);
}

QHash<int, QIcon> commandIcons()
{
    loadResources();
    QHash<int, QIcon> icons;
    for (const commands::Command& command : commands::commandTable()) {
        if (command.icon.isEmpty())
            continue;
        QSvgRenderer svg(command.icon.toString());
        if (!svg.isValid())
            continue;
        // Rendered here rather than left to an icon engine plugin, which a stripped installation may lack.
        QIcon icon;
        for (qreal scale : {1.0, 1.5, 2.0})
            icon.addPixmap(render(svg, scale));
        icons.insert(command.id, icon);
    }
    return icons;
}
