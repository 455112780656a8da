#include "filetexts.h"

#include <QDateTime>
#include <QList>
#include <QMimeType>

#include <limits>

namespace {

constexpr int secondsPerDay = 86400;
constexpr std::int64_t julianDayOf1970 = 2440588;
constexpr qsizetype dateTextLength = 16;

// The locale's long time format without its time-zone part: the general form shows the time with seconds
// but no zone.
QString timeFormatWithoutZone(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        if (!quoted && c == u' ' && result.endsWith(u' '))
            continue;
        result.append(c);
    }
    return result.trimmed();
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

QString displayName(std::string_view bytes)
{
    QString text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    for (QChar& c : text) {
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode()); // the Control Pictures block: U+240A shows a line feed
        else if (c.unicode() == 0x7f)
            c = QChar(0x2421);
    }
    return text;
}

QStringView lastThree(QStringView name)
{
    return name.size() <= 3 ? name : name.right(3);
}

FileIcon fileIcon(QStringView name)
{
    const QStringView end = lastThree(name);
    if (end.compare(u"dwg", Qt::CaseInsensitive) == 0)
        return FileIcon::Dwg;
    if (end.compare(u"dxf", Qt::CaseInsensitive) == 0)
        return FileIcon::Dxf;
    return FileIcon::None;
}

FileTexts::FileTexts()
    : m_dateFormat(m_locale.dateFormat(QLocale::ShortFormat)), m_timeFormat(timeFormatWithoutZone(m_locale)),
      m_zone(QTimeZone::systemTimeZone())
{
}

int FileTexts::offsetFromUtc(std::int64_t t)
{
    if (t >= m_offsetFrom && t < m_offsetUntil)
        return m_offset;
    // Files of one folder mostly lie within a few spans between daylight-saving changes: the zone is asked
    // once per span, not once per file.
    const QDateTime at = QDateTime::fromSecsSinceEpoch(t, Qt::UTC);
    m_offset = m_zone.offsetFromUtc(at);
    m_offsetFrom = std::numeric_limits<std::int64_t>::min();
    m_offsetUntil = std::numeric_limits<std::int64_t>::max();
    if (m_zone.hasTransitions()) {
        const QTimeZone::OffsetData previous = m_zone.previousTransition(at.addSecs(1));
        const QTimeZone::OffsetData next = m_zone.nextTransition(at);
        if (previous.atUtc.isValid())
            m_offsetFrom = previous.atUtc.toSecsSinceEpoch();
        if (next.atUtc.isValid())
            m_offsetUntil = next.atUtc.toSecsSinceEpoch();
        if (m_offsetFrom > t || m_offsetUntil <= t) { // the zone's data disagrees with itself: ask every time
            m_offsetFrom = 1;
            m_offsetUntil = 0;
        }
    }
    return m_offset;
}

QString FileTexts::dateText(std::int64_t secondsSince1970)
{
    const std::int64_t local = secondsSince1970 + offsetFromUtc(secondsSince1970);
    const std::int64_t day = floorDiv(local, secondsPerDay);
    const int second = int(local - day * secondsPerDay);

    auto dayText = m_days.find(day);
    if (dayText == m_days.end())
        dayText = m_days.insert(day, m_locale.toString(QDate::fromJulianDay(day + julianDayOf1970), m_dateFormat));
    if (second == 0)
        return dayText->left(dateTextLength);
    auto timeText = m_times.find(second);
    if (timeText == m_times.end())
        timeText = m_times.insert(second, m_locale.toString(QTime::fromMSecsSinceStartOfDay(second * 1000),
                                                            m_timeFormat));
    QString text;
    text.reserve(dateTextLength);
    text.append(dayText->left(dateTextLength));
    if (text.size() < dateTextLength)
        text.append(u' ');
    if (text.size() < dateTextLength)
        text.append(timeText->left(dateTextLength - text.size()));
    return text;
}

QString FileTexts::sizeText(std::int64_t bytes) const
{
    const std::int64_t kilobytes = bytes < 0 ? 0 : bytes / 1024 + (bytes % 1024 >= 512 ? 1 : 0);
    return m_locale.toString(qlonglong(kilobytes)) + u" kb";
}

QString FileTexts::typeText(QStringView extension)
{
    const QString key = extension.toString();
    auto known = m_types.constFind(key);
    if (known != m_types.constEnd())
        return *known;
    QString text = key;
    // A shorter extension taken with its dot (".ab" of "a.ab") names no file type.
    if (!key.isEmpty() && !key.contains(u'.')) {
        const QList<QMimeType> types = m_mimeDatabase.mimeTypesForFileName(u"x." + key);
        if (!types.isEmpty() && !types.first().comment().isEmpty())
            text = types.first().comment();
    }
    m_types.insert(key, text);
    return text;
}
