#include "script/texts.h"

#include "script/scripttemplate.h"
#include "script/sessionscript.h"

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

std::string templateProblem(const TemplateProblem& problem, std::string_view path)
{
    switch (problem.kind) {
    case TemplateProblem::Kind::Missing:
        break;
    case TemplateProblem::Kind::Unreadable:
        return templateUnreadable(path, problem.message);
    case TemplateProblem::Kind::TooLong:
        return templateTooLong(path);
    }
    return templateNotFound(path);
}

std::string projectNameMissing(std::string_view path)
{
    return join({"Scriptmallen ", path, " behöver ett projektnamn (\"%m\"): ange --project."});
}

std::string sessionScriptNotFound(std::string_view path)
{
    return join({"Sessionsscriptet ", path, " finns inte."});
}

std::string sessionScriptUnreadable(std::string_view path, std::string_view reason)
{
    return join({"Sessionsscriptet ", path, " kan inte läsas: ", reason, "."});
}

std::string sessionScriptTooLarge(std::string_view path)
{
    return join({"Sessionsscriptet ", path, " är större än ", std::to_string(maxSessionScriptBytes / 1024 / 1024),
                 " MB: det är inget script."});
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

namespace {

// Who a line's text is about: a drawing's line in the script, or a template line for every drawing.
std::string lineSubject(std::uint32_t templateLine)
{
    return templateLine == 0 ? std::string("Raden") : "Mallens rad " + std::to_string(templateLine);
}

std::string onTemplateLine(std::uint32_t templateLine, std::string text)
{
    return templateLine == 0 ? text : join({lineSubject(templateLine), ": ", text});
}

// What an empty line does, told without the half truth that it always repeats the last command.
constexpr std::string_view enterMeans = "CAD-programmet tar den som Enter, som avslutar eller besvarar det "
                                        "kommando som pågår och bara vid kommandoraden upprepar föregående kommando.";

} // namespace

std::string unquotedBlank(std::string_view placeholder, std::string_view value, std::uint32_t templateLine)
{
    return onTemplateLine(templateLine,
                          join({placeholder, " ger \"", value,
                                "\" med blanksteg utanför citattecken: CAD-programmet tar blanksteget som Enter och "
                                "delar värdet i flera svar."}));
}

std::string quoteInValue(std::string_view placeholder, std::string_view value, std::uint32_t templateLine)
{
    return onTemplateLine(templateLine,
                          join({placeholder, " ger \"", value,
                                "\" med ett citattecken: CAD-programmet tar det som början eller slut på ett citat, så "
                                "raden delas på fel ställen."}));
}

std::string emptyLine(std::uint32_t templateLine, bool asWritten)
{
    return join({lineSubject(templateLine), asWritten ? " är tom: " : " blir tom: ", enterMeans});
}

std::string trailingBlank(std::string_view placeholder, std::uint32_t templateLine)
{
    const std::string from = placeholder.empty() ? std::string() : join({" efter ", placeholder});
    return join({lineSubject(templateLine), " slutar med blanksteg", from,
                 ": CAD-programmet tar blanksteget som ett extra Enter."});
}

std::string unencodableName(std::string_view name)
{
    return join({"Namnet ", name,
                 " innehåller tecken som scriptets teckentabell inte kan återge: sökvägen i scriptet blir fel."});
}

std::string unencodableTemplateLine(std::uint32_t templateLine)
{
    return join({lineSubject(templateLine),
                 " innehåller tecken som scriptets teckentabell inte kan återge: de blir ? i scriptet."});
}

namespace {

std::string sessionLineSubject(bool end, std::uint32_t line, std::string_view path)
{
    return join({"Rad ", std::to_string(line), " i ", end ? "slutscriptet " : "startscriptet ", path});
}

} // namespace

std::string unencodableSessionLine(bool end, std::uint32_t line, std::string_view path)
{
    return join({sessionLineSubject(end, line, path),
                 " innehåller tecken som scriptets teckentabell inte kan återge: de blir ? i scriptet."});
}

std::string sessionExit(bool end, std::uint32_t line, std::string_view path)
{
    return join(
        {sessionLineSubject(end, line, path),
         end ? " avslutar CAD-sessionen, och det som står efter den körs inte: Vendrel skriver själv .EXIT sist."
             : " avslutar CAD-sessionen innan någon ritning har öppnats: ingen ritning körs."});
}

std::string commentCut(std::uint32_t templateLine, std::string_view cut, bool openQuote)
{
    return join({lineSubject(templateLine), ": det sista ; börjar en kommentar, som tar bort \"", cut,
                 openQuote ? "\" ur raden och lämnar en sträng utan sitt avslutande citattecken."
                           : "\" ur raden och lämnar parenteser som inte stängs.",
                 " Sätt ett ; sist på raden, så blir den kvar hel."});
}

std::string blanksRemoved(std::uint32_t templateLine, std::string_view count)
{
    const std::string lost = count == "1" ? std::string("ett Enter") : join({count, " Enter"});
    return join({lineSubject(templateLine), " slutar med ", count,
                 " blanksteg, som tas bort: i ett script är varje blanksteg ett Enter, så raden förlorar ", lost,
                 " (kanske det som avslutar kommandot). Skriv en tom rad efter den för varje Enter som ska vara "
                 "kvar."});
}

std::string noProject(std::uint32_t templateLine)
{
    return join(
        {lineSubject(templateLine), " innehåller %m, men inget projektnamn är angivet: %m försvinner ur raden."});
}

std::string unencodableFolder(std::string_view folder)
{
    return join({"Mappnamnet ", folder,
                 " innehåller tecken som scriptets teckentabell inte kan återge: sökvägarna i scriptet blir fel."});
}

std::string sameDrawing(std::string_view name, std::string_view earlier)
{
    return "Ritningen " + std::string(name) + " är samma fil som " + std::string(earlier) +
           " högre upp i listan: en körning tar varje ritning en gång.";
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
