#include "script/texts.h"

#include "script/scripttemplate.h"

namespace script::texts {

namespace {

std::string visibleBreaks(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size() + 4);
    for (const char c : text) {
        if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else
            shown += c;
    }
    return shown;
}

std::string join(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (const std::string_view part : parts)
        text.append(part);
    return text;
}

} // namespace

std::string templateNotFound(std::string_view path)
{
    return join({"Ingen scriptmall ", path, " funnen."});
}

std::string templateUnreadable(std::string_view path, std::string_view reason)
{
    return join({"Scriptmallen ", path, " kan inte läsas: ", reason, "."});
}

std::string templateTooLong(std::string_view path)
{
    return join({"Scriptmallen ", path, " har fler än ", std::to_string(maxBodyLines), " rader."});
}

std::string projectNameMissing(std::string_view path)
{
    return join({"Scriptmallen ", path, " behöver ett projektnamn (\"%m\"): ange --project."});
}

std::string lineBreak(const LineBreakFault& fault)
{
    std::string_view what;
    switch (fault.field) {
    case LineBreakFault::Field::DrawingName:
        what = "Ritningsnamnet";
        break;
    case LineBreakFault::Field::ListingFolder:
        what = "Mappnamnet";
        break;
    case LineBreakFault::Field::ProjectName:
        what = "Projektnamnet";
        break;
    }
    return join({what, " \"", visibleBreaks(fault.value), "\" innehåller en radbrytning. Inget script skrevs."});
}

std::string scriptNotWritten(std::string_view path, std::string_view reason)
{
    return join({"Scriptet ", path, " kan inte skrivas: ", reason, "."});
}

} // namespace script::texts
