#include "script/qt/localeformat.h"

#include <QDate>
#include <QTime>

namespace script {

QString timeFormatWithoutZone(const QString& format)
{
    QString result;
    result.reserve(format.size());
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't') {
            while (!result.isEmpty() && result.back().isSpace())
                result.chop(1);
            continue;
        }
        result.append(c);
    }
    return result.trimmed();
}

DateTimeFormat localeDateTimeFormat(const QLocale& locale)
{
    const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    const QString timeFormat = timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat));
    return {
        [locale, dateFormat](const LocalDateTime& when) {
            return locale.toString(QDate(when.year, when.month, when.day), dateFormat).toLocal8Bit().toStdString();
        },
        [locale, timeFormat](const LocalDateTime& when) {
            return locale.toString(QTime(when.hour, when.minute, when.second), timeFormat).toLocal8Bit().toStdString();
        }};
}

} // namespace script
