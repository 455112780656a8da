#include "os/nativetext.h"

#include <QByteArray>

// The ANSI code page.
QString nativeText(std::string_view bytes)
{
    return QString::fromLocal8Bit(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string nativeBytes(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}
