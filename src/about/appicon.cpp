#include "about/appicon.h"

#include <QIcon>

QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/vendrel/icons/%1/vendrel.png").arg(size), QSize(size, size));
    return icon;
}
