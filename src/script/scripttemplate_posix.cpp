#include "script/scripttemplate.h"

// Scripts hold the names' own bytes, and on Linux those are UTF-8: a template's text needs no conversion.

namespace script {

ScriptText scriptTextFromUtf8(std::string_view text)
{
    return {std::string(text), true};
}

std::string utf8FromTemplateText(std::string_view bytes)
{
    return std::string(bytes);
}

} // namespace script
