#include "script/strftimeformat.h"

#include <ctime>

namespace script {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
long daysFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153L * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::string formatWith(const char* pattern, const LocalDateTime& when)
{
    std::tm broken{};
    broken.tm_year = when.year - 1900;
    broken.tm_mon = when.month - 1;
    broken.tm_mday = when.day;
    broken.tm_hour = when.hour;
    broken.tm_min = when.minute;
    broken.tm_sec = when.second;
    broken.tm_isdst = -1;
    // Some locales name the weekday in their date representation.
    const long days = daysFromCivil(when.year, when.month, when.day);
    broken.tm_wday = static_cast<int>(((days % 7) + 11) % 7);
    broken.tm_yday = static_cast<int>(days - daysFromCivil(when.year, 1, 1));
    char text[128];
    const std::size_t length = std::strftime(text, sizeof text, pattern, &broken);
    return std::string(text, length);
}

} // namespace

DateTimeFormat cLocaleDateTimeFormat()
{
    return {[](const LocalDateTime& when) { return formatWith("%x", when); },
            [](const LocalDateTime& when) { return formatWith("%X", when); }};
}

} // namespace script
