#include "cliformat.h"
#include "localeformat.h"

namespace script {

DateTimeFormat regionalDateTimeFormat()
{
    return localeDateTimeFormat(QLocale::system());
}

} // namespace script
