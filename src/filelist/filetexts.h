#pragma once

#include <QHash>
#include <QLocale>
#include <QMimeDatabase>
#include <QString>
#include <QTimeZone>
#include <cstdint>
#include <string_view>
#include <vector>

// Which of the list's own pictures a file's row shows.
enum class FileIcon
{
    None,
    Dwg,
    Dxf,
};

// The last three characters of a name (fewer in a shorter name): the extension the type text and the
// icon are looked up by, whatever the real extension's length.
QStringView lastThree(QStringView name);

// DWG and DXF names, by their last three characters without regard to case.
FileIcon fileIcon(QStringView name);

// A time-of-day format of the locale's (Qt's format letters), compiled once so that a hundred thousand times
// cost no more than their digits. Formats with letters it does not know, or a locale that writes other
// digits, are not usable: the caller asks the locale then.
class TimeFormat
{
public:
    TimeFormat(const QLocale& locale, QStringView format);
    bool isUsable() const { return m_usable; }
    void append(QString& out, int secondOfDay) const;

private:
    enum class Field
    {
        Text,
        Hour,
        Minute,
        Second,
        Millisecond,
        AmPm,
    };
    struct Part
    {
        Field field;
        int width = 1;    // digits at least (2: with a leading zero), or 3 for milliseconds
        bool flag = true; // AM/PM: in capitals; hour: "h", which follows AM/PM ("H" never does)
        QString text;
    };
    std::vector<Part> m_parts;
    bool m_twelveHour = false;
    bool m_usable = true;
    QString m_amPm[2][2]; // [afternoon][in capitals]
};

// The date, size and type texts of the drawing list's rows, in the default locale (QLocale()). Made for one
// fill: it remembers what it worked out per day, per second of the day and per extension, and uses one
// time-zone object for every time.
class FileTexts
{
public:
    FileTexts();

    // The last-write time in the locale's general date-and-time form (short date, a blank, the time with
    // seconds), cut to 16 characters; a time of exactly 00:00:00 gives the date alone.
    QString dateText(std::int64_t secondsSince1970);
    void appendDateText(QString& out, std::int64_t secondsSince1970);
    // The length in kilobytes, rounded half up, digits grouped as the locale groups them, then " kb".
    QString sizeText(std::int64_t bytes) const;
    void appendSizeText(QString& out, std::int64_t bytes) const;
    // The system's description of the extension (lastThree of a name, lower-cased here), or the extension
    // itself in lower case when the system has none.
    QString typeText(QStringView extension);
    // Every fill asks the system afresh: a file type installed meanwhile shows at the next fill.
    void forgetTypes();

private:
    int offsetFromUtc(std::int64_t secondsSince1970);
    void appendGrouped(QString& out, std::int64_t value) const;
    QString lookUpType(const QString& lowerCaseExtension);

    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
    TimeFormat m_compiledTime;
    QTimeZone m_zone;
    // Numbers the locale writes in ASCII digits, grouped by threes with one separator once they have at
    // least m_groupingDigits digits, are written here; 0: the locale writes every number itself.
    int m_groupingDigits = 0;
    QString m_groupSeparator;
    // The span in which the zone's offset is m_offset: from one transition to the next.
    std::int64_t m_offsetFrom = 1;
    std::int64_t m_offsetUntil = 0;
    int m_offset = 0;
    QHash<std::int64_t, QString> m_days;
    QHash<int, QString> m_times;
    QMimeDatabase m_mimeDatabase;
    QHash<QString, QString> m_types;
    // The last extension asked for: the files of one folder mostly share theirs.
    QString m_lastExtension;
    QString m_lastType;
};
