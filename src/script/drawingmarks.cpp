#include "script/drawingmarks.h"

#include "script/paths.h"

namespace script {

std::string_view markWord(MarkKind kind)
{
    return kind == MarkKind::Begin ? "begin" : "end";
}

std::string markPathText(std::string_view marksPath)
{
    std::string text;
    text.reserve(marksPath.size() + 8);
    for (const char c : marksPath) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return {};
        if (c == '\\' && nativeSeparator() == '\\')
            text.push_back('/');
        else if (c == '\\')
            text += "\\\\"; // a backslash in a name, where it is no separator
        else if (c == '"')
            text += "\\\"";
        else
            text.push_back(c);
    }
    return text;
}

bool markablePath(std::string_view marksPath)
{
    return !marksPath.empty() && !markPathText(marksPath).empty();
}

std::string markLine(std::string_view pathText, MarkKind kind, std::size_t index)
{
    std::string line = "(progn ((lambda (f) (if f (progn (write-line \"";
    line.append(markWord(kind)).append(" ").append(std::to_string(index));
    line.append("\" f) (close f)))) (open \"").append(pathText).append("\" \"a\")) (princ))");
    return line;
}

} // namespace script
