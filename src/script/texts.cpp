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

std::string templateProblem(TemplateStatus status, std::string_view path, std::string_view reason)
{
    switch (status) {
    case TemplateStatus::Ok:
    case TemplateStatus::Missing:
        break;
    case TemplateStatus::Unreadable:
        return templateUnreadable(path, reason);
    case TemplateStatus::TooLong:
        return templateTooLong(path);
    }
    return templateNotFound(path);
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

namespace script::texts::check {

std::string missing(std::string_view name, std::string_view folder)
{
    return join({"Ritningen ", name, " finns inte i mappen ", folder, "."});
}

std::string notAFile(std::string_view name)
{
    return join({"Ritningen ", name, " är ingen fil."});
}

std::string unreachable(std::string_view name, std::string_view reason)
{
    return join({"Ritningen ", name, " kan inte nås: ", reason, "."});
}

std::string readOnly(std::string_view name)
{
    return join({"Ritningen ", name, " är skrivskyddad: CAD-programmet kan inte spara den."});
}

std::string lockFile(std::string_view name, std::string_view lockName, std::string_view holder, std::string_view since)
{
    const std::string who = holder.empty() ? std::string() : join({" (", holder, ")"});
    const std::string when = since.empty() ? std::string() : join({", sedan ", since});
    return join({"Ritningen ", name, " verkar vara öppen på annat håll: låsfilen ", lockName, " ligger bredvid", who,
                 when, ". En låsfil kan också vara kvar efter en krasch."});
}

std::string inUse(std::string_view name)
{
    return join({"Ritningen ", name, " är öppen i ett annat program och kan inte sparas."});
}

std::string unquotedBlank(std::string_view placeholder, std::string_view value)
{
    return join({placeholder, " ger \"", value,
                 "\" med blanksteg utanför citattecken: CAD-programmet tar blanksteget som Enter och delar värdet i "
                 "flera svar."});
}

std::string emptyLine()
{
    return "Raden blir tom: CAD-programmet tar den som Enter och upprepar föregående kommando.";
}

std::string trailingBlank(std::string_view placeholder)
{
    const std::string from = placeholder.empty() ? std::string() : join({" efter ", placeholder});
    return join({"Raden slutar med blanksteg", from, ": CAD-programmet tar blanksteget som ett extra Enter."});
}

std::string unencodableName(std::string_view name)
{
    return join({"Namnet ", name,
                 " innehåller tecken som scriptets teckentabell inte kan återge: sökvägen i scriptet blir fel."});
}

std::string unencodableFolder(std::string_view folder)
{
    return join({"Mappnamnet ", folder,
                 " innehåller tecken som scriptets teckentabell inte kan återge: sökvägarna i scriptet blir fel."});
}

std::string noDrawings()
{
    return "Inga ritningar att köra: scriptet innehåller bara .EXIT.";
}

std::string noBody()
{
    return "Scriptmallen har inga kommandorader: scriptet innehåller bara .EXIT.";
}

std::string noStartDrawing(std::string_view path)
{
    return join({"Startritningen ", path,
                 " finns inte: CAD-programmet öppnar den före scriptet och kör kanske inte scriptet alls."});
}

} // namespace script::texts::check
