#include "cli/cliformat.h"
#include "script/strftimeformat.h"

#include <clocale>

namespace script {

DateTimeFormat regionalDateTimeFormat()
{
    std::setlocale(LC_TIME, "");
    return cLocaleDateTimeFormat();
}

} // namespace script
