#pragma once

#include "script/expandtemplate.h"

#include <QLocale>
#include <QString>

namespace script {

// %date in the locale's short date format and %time in its long time format without the time zone.
// Texts are given in the local 8-bit encoding, as the script file is.
DateTimeFormat localeDateTimeFormat(const QLocale& locale = QLocale::system());

// A Qt time format with its time-zone fields (and the blanks before them) taken out.
QString timeFormatWithoutZone(const QString& format);

} // namespace script
