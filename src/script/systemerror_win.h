#pragma once

#include <string>

namespace script {

// Windows' own text for an error code, in the ANSI code page, without the line end and full stop Windows
// puts after it (the messages it goes into end their own sentences).
std::string systemErrorText(unsigned long code);

} // namespace script
