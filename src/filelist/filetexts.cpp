#include "filelist/filetexts.h"

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

void appendNumber(QString& out, int value, int width)
{
    char digits[12];
    int n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value > 0);
    for (int pad = n; pad < width; ++pad)
        out.append(u'0');
    while (n > 0)
        out.append(QLatin1Char(digits[--n]));
}

} // namespace

TimeFormat::TimeFormat(const QLocale& locale, QStringView format)
    : m_usable(locale.zeroDigit() == u"0"), m_amPm{{locale.amText().toLower(), locale.amText().toUpper()},
                                                   {locale.pmText().toLower(), locale.pmText().toUpper()}}
{
    // The letters as QLocale::toString(QTime, format) reads them: runs of one letter, at most two (three
    // for milliseconds) taken at a time; text in single quotes as it stands, '' for a quote.
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = format[i];
        qsizetype run = 1;
        while (i + run < n && format[i + run] == c)
            ++run;
        auto text = [this](QStringView t) {
            if (m_parts.empty() || m_parts.back().field != Field::Text)
                m_parts.push_back({Field::Text, 0, true, {}});
            m_parts.back().text.append(t);
        };
        if (c == u'\'') {
            if (i + 1 < n && format[i + 1] == u'\'') {
                text(u"'");
                i += 2;
                continue;
            }
            QString quoted;
            qsizetype j = i + 1;
            for (; j < n; ++j) {
                if (format[j] == u'\'') {
                    if (j + 1 < n && format[j + 1] == u'\'') {
                        quoted.append(u'\'');
                        ++j;
                        continue;
                    }
                    break;
                }
                quoted.append(format[j]);
            }
            text(quoted);
            i = j + 1;
            continue;
        }
        switch (c.unicode()) {
        case 'h':
        case 'H':
            run = std::min<qsizetype>(run, 2);
            m_parts.push_back({Field::Hour, int(run), c == u'h', {}});
            break;
        case 'm':
            run = std::min<qsizetype>(run, 2);
            m_parts.push_back({Field::Minute, int(run), true, {}});
            break;
        case 's':
            run = std::min<qsizetype>(run, 2);
            m_parts.push_back({Field::Second, int(run), true, {}});
            break;
        case 'z':
            run = run >= 3 ? 3 : 1;
            m_parts.push_back({Field::Millisecond, int(run), true, {}});
            break;
        case 'a':
        case 'A':
            run = i + 1 < n && (format[i + 1] == u'p' || format[i + 1] == u'P') ? 2 : 1;
            m_parts.push_back({Field::AmPm, 0, c == u'A', {}});
            m_twelveHour = true;
            break;
        default:
            if (c.isLetter()) // a date letter, a time-zone letter, or one Qt may learn later
                m_usable = false;
            text(format.mid(i, run));
            break;
        }
        i += run;
    }
}

void TimeFormat::append(QString& out, int secondOfDay) const
{
    const int hour = secondOfDay / 3600;
    for (const Part& part : m_parts) {
        switch (part.field) {
        case Field::Text:
            out.append(part.text);
            break;
        case Field::Hour: {
            int shown = hour;
            if (part.flag && m_twelveHour)
                shown = hour == 0 ? 12 : hour > 12 ? hour - 12 : hour;
            appendNumber(out, shown, part.width);
            break;
        }
        case Field::Minute:
            appendNumber(out, secondOfDay / 60 % 60, part.width);
            break;
        case Field::Second:
            appendNumber(out, secondOfDay % 60, part.width);
            break;
        case Field::Millisecond:
            appendNumber(out, 0, part.width);
            break;
        case Field::AmPm:
            out.append(m_amPm[hour < 12 ? 0 : 1][part.flag ? 1 : 0]);
            break;
        }
    }
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
      m_compiledTime(m_locale, m_timeFormat), m_zone(QTimeZone::systemTimeZone()),
      m_groupSeparator(m_locale.groupSeparator())
{
    // The grouping is taken as known only when it writes these numbers exactly as the locale does: a locale
    // that groups otherwise (by twos after the first three, say) or writes other digits keeps its own way.
    const qlonglong probes[] = {0, 7, 999, 1000, 1234, 9999, 12345, 99999, 123456, 1234567, 12345678, 1234567890123};
    for (const int digits : {4, 5}) {
        m_groupingDigits = digits;
        bool same = true;
        for (const qlonglong probe : probes) {
            QString mine;
            appendGrouped(mine, probe);
            if (mine != m_locale.toString(probe)) {
                same = false;
                break;
            }
        }
        if (same)
            return;
    }
    m_groupingDigits = 0;
}

void FileTexts::appendGrouped(QString& out, std::int64_t value) const
{
    char digits[24];
    int n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value > 0);
    const bool grouped = n >= m_groupingDigits;
    while (n > 0) {
        out.append(QLatin1Char(digits[--n]));
        if (grouped && n > 0 && n % 3 == 0)
            out.append(m_groupSeparator);
    }
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
    QString text;
    text.reserve(2 * dateTextLength);
    appendDateText(text, secondsSince1970);
    return text;
}

void FileTexts::appendDateText(QString& out, std::int64_t secondsSince1970)
{
    const std::int64_t local = secondsSince1970 + offsetFromUtc(secondsSince1970);
    const std::int64_t day = floorDiv(local, secondsPerDay);
    const int second = int(local - day * secondsPerDay);

    auto dayText = m_days.find(day);
    if (dayText == m_days.end())
        dayText = m_days.insert(day, m_locale.toString(QDate::fromJulianDay(day + julianDayOf1970), m_dateFormat));
    const qsizetype start = out.size();
    if (second == 0) {
        out.append(QStringView(*dayText).left(dateTextLength));
        return;
    }
    out.append(*dayText);
    out.append(u' ');
    if (m_compiledTime.isUsable()) {
        m_compiledTime.append(out, second);
    } else {
        auto timeText = m_times.find(second);
        if (timeText == m_times.end())
            timeText =
                m_times.insert(second, m_locale.toString(QTime::fromMSecsSinceStartOfDay(second * 1000), m_timeFormat));
        out.append(*timeText);
    }
    out.truncate(start + dateTextLength);
}

QString FileTexts::sizeText(std::int64_t bytes) const
{
    QString text;
    appendSizeText(text, bytes);
    return text;
}

void FileTexts::appendSizeText(QString& out, std::int64_t bytes) const
{
    const std::int64_t kilobytes = bytes < 0 ? 0 : bytes / 1024 + (bytes % 1024 >= 512 ? 1 : 0);
    if (m_groupingDigits > 0)
        appendGrouped(out, kilobytes);
    else
        out.append(m_locale.toString(qlonglong(kilobytes)));
    out.append(u" kb");
}

QString FileTexts::typeText(QStringView extension)
{
    if (!m_lastExtension.isNull() && extension == m_lastExtension)
        return m_lastType;
    const QString key = extension.toString().toLower();
    m_lastExtension = extension.toString();
    m_lastType = lookUpType(key);
    return m_lastType;
}

void FileTexts::forgetTypes()
{
    m_types.clear();
    m_lastExtension = QString();
    m_lastType = QString();
}

QString FileTexts::lookUpType(const QString& key)
{
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
