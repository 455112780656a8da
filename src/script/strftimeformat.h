#pragma once

#include "script/expandtemplate.h"

namespace script {

// %date and %time from the C library's current LC_TIME locale (the locale's date and time representations):
// for tools without the window's regional settings. Call setlocale(LC_TIME, "") first to follow the
// environment.
DateTimeFormat cLocaleDateTimeFormat();

} // namespace script
