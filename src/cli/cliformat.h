#pragma once

#include "script/expandtemplate.h"

namespace script {

// The regional date and time formats the command-line tool writes %date and %time in: Qt's view of the
// system locale where Qt is built in, the C library's otherwise.
DateTimeFormat regionalDateTimeFormat();

} // namespace script
