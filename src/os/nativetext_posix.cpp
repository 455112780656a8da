#include "os/nativetext.h"

#include <QByteArray>

// Qt takes the local 8-bit encoding for UTF-8 on every system but Windows. Its UTF-8 decoder proper gives the
// same text several times faster than the general local one, which counts when a folder of 20 000
// subfolders opens.
QString nativeText(std::string_view bytes)
{
    return QString::fromUtf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string nativeBytes(const QString& text)
{
    return text.toUtf8().toStdString();
}
