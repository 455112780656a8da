#include "cli/cliformat.h"
#include "script/qt/localeformat.h"

namespace script {

DateTimeFormat regionalDateTimeFormat()
{
    return localeDateTimeFormat(QLocale::system());
}

} // namespace script
