#pragma once

#include <string>
#include <string_view>

// What scheduling tells the user, in UTF-8; the command line puts "vendrel-run: " before it, the window shows it
// as a sentence.
namespace schedule::texts {

inline std::string quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

inline std::string noSchedule()
{
    return "tidpunkten saknas: \"once ÅÅÅÅ-MM-DD TT:MM\", \"daily TT:MM\" eller \"weekdays TT:MM\"";
}
inline std::string unknownRepeat(std::string_view word)
{
    return quoted(word) + " är ingen upprepning: once, daily eller weekdays";
}
inline std::string scheduleForm(std::string_view text)
{
    return quoted(text) + " är ingen tidpunkt: \"once ÅÅÅÅ-MM-DD TT:MM\", \"daily TT:MM\" eller \"weekdays TT:MM\"";
}
inline std::string dateForm(std::string_view date)
{
    return quoted(date) + " är inget datum i formen ÅÅÅÅ-MM-DD";
}
inline std::string noSuchDate(std::string_view date)
{
    return "datumet " + std::string(date) + " finns inte";
}
inline std::string timeForm(std::string_view time)
{
    return quoted(time) + " är inget klockslag i formen TT:MM";
}
inline std::string noSuchTime(std::string_view time)
{
    return "klockslaget " + std::string(time) + " finns inte (00:00 till 23:59)";
}
inline std::string past(std::string_view when)
{
    return "tidpunkten " + std::string(when) + " har redan passerat";
}
inline std::string emptyName()
{
    return "uppgiftens namn är tomt";
}
inline std::string longName(std::string_view name, std::size_t most)
{
    return "namnet " + quoted(name) + " är längre än " + std::to_string(most) + " tecken";
}
inline std::string badName(std::string_view name)
{
    return "namnet " + quoted(name) + " får bara innehålla A-Z, a-z, 0-9, - och _";
}
inline std::string controlInPath(std::string_view path)
{
    return "sökvägen " + quoted(path) + " innehåller en radbrytning eller ett styrtecken och kan inte schemaläggas";
}
inline std::string exists(std::string_view name)
{
    return "det finns redan en schemalagd uppgift " + quoted(name) +
           "; ersätt den med --replace, välj ett annat namn med --name eller ta bort den med --unschedule";
}
inline std::string noTask(std::string_view name)
{
    return "ingen av Vendrels schemalagda uppgifter heter " + quoted(name);
}
// A scheduler's refusal: what it said, or its exit status (-1: it crashed or hung) when it said nothing.
inline std::string refused(std::string_view program, int status, std::string_view detail)
{
    std::string text = std::string(program) + " vägrade";
    if (detail.empty() && status < 0)
        return text + " (avslutades inte normalt)";
    if (detail.empty())
        return text + " (slutstatus " + std::to_string(status) + ")";
    return text + ": " + std::string(detail);
}
inline std::string notStarted(std::string_view program, std::string_view detail)
{
    return std::string(program) + " kunde inte startas: " + std::string(detail);
}
inline std::string cannotWrite(std::string_view path, std::string_view detail)
{
    return quoted(path) + " kan inte skrivas: " + std::string(detail);
}
inline std::string noUserSystemd()
{
    return "ingen systemd för användaren körs här, så Vendrel har inga schemalagda uppgifter att visa "
           "(en rad i crontab läggs till och tas bort för hand)";
}
inline std::string crontabHint()
{
    return "ingen systemd för användaren körs här: lägg till raden nedan i crontab med crontab -e";
}

} // namespace schedule::texts
