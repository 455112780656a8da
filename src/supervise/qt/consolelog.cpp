#include "supervise/qt/consolelog.h"

#include "os/nativetext.h"

#include <QFile>

namespace consolelog {

namespace {

constexpr qint64 mostBytes = 16 * 1024 * 1024;

// Text in 8 bits never holds a NUL; UTF-16LE of the console's mostly Latin text has one in every other byte.
bool looksLikeUtf16(const QByteArray& bytes)
{
    if (bytes.startsWith("\xff\xfe"))
        return true;
    const qsizetype pairs = bytes.size() / 2;
    qsizetype oddZeros = 0;
    for (qsizetype i = 1; i < bytes.size(); i += 2)
        oddZeros += bytes[i] == '\0';
    return pairs > 0 && oddZeros * 2 >= pairs;
}

} // namespace

QString text(const QByteArray& bytes)
{
    if (!looksLikeUtf16(bytes))
        return QString::fromLocal8Bit(bytes);
    QByteArray units = bytes.startsWith("\xff\xfe") ? bytes.mid(2) : bytes;
    units.truncate(units.size() & ~qsizetype(1)); // a log cut off in the middle of a character
    QString decoded(units.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < decoded.size(); ++i)
        decoded[i] = QChar(char16_t(uchar(units[2 * i]) | uchar(units[2 * i + 1]) << 8));
    return decoded;
}

std::optional<QString> read(const std::string& path)
{
    QFile file(nativeText(path));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return text(file.read(mostBytes));
}

} // namespace consolelog
