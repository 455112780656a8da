#pragma once

#include "supervise/journal.h"

#include <string>
#include <string_view>

// The report's texts, in one place. UTF-8.
namespace report::texts {

inline constexpr std::string_view pageTitle = "Rapport: övervakad körning";
inline constexpr std::string_view heading = "Övervakad körning";
inline constexpr std::string_view job = "Jobb";
inline constexpr std::string_view templateFile = "Mall";
inline constexpr std::string_view program = "CAD-program";
inline constexpr std::string_view policy = "Körsätt";
inline constexpr std::string_view began = "Början";
inline constexpr std::string_view ended = "Slut";
inline constexpr std::string_view wallTime = "Tid";
inline constexpr std::string_view journals = "Journaler";
inline constexpr std::string_view journal = "Journal";
inline constexpr std::string_view drawings = "Ritningar";
inline constexpr std::string_view timeline = "Tidslinje";
inline constexpr std::string_view timelineNote =
    "En rad per CAD-session och ett block per ritning, från dess början till dess slut. Ritningar som är för korta "
    "för att synas var för sig samlas i band per tillstånd. Håll pekaren över ett block för namn, tid och orsak.";
inline constexpr std::string_view nothingRan = "Ingen ritning har körts.";
inline constexpr std::string_view notDone = "Ritningar som inte blev klara";
inline constexpr std::string_view allDone = "Alla ritningar blev klara.";
inline constexpr std::string_view slowest = "De tio långsammaste ritningarna";
inline constexpr std::string_view everything = "Alla ritningar";
inline constexpr std::string_view name = "Ritning";
inline constexpr std::string_view state = "Tillstånd";
inline constexpr std::string_view session = "Session";
inline constexpr std::string_view seconds = "Sekunder";
inline constexpr std::string_view reason = "Orsak";
inline constexpr std::string_view log = "Logg";
inline constexpr std::string_view showLog = "visa logg";

// A drawing's state, as one drawing is said to be.
inline std::string_view stateText(supervise::State state)
{
    switch (state) {
    case supervise::State::Pending:
        return "väntar";
    case supervise::State::Done:
        return "klar";
    case supervise::State::Failed:
        return "misslyckad";
    case supervise::State::TimedOut:
        return "över tidsgränsen";
    case supervise::State::Missing:
        return "saknas";
    case supervise::State::Interrupted:
        return "avbruten";
    case supervise::State::NotRun:
        return "ej körd";
    }
    return {};
}

// The count of a state, as the progress window heads it.
inline std::string_view stateCountText(supervise::State state)
{
    switch (state) {
    case supervise::State::Pending:
        return "Väntar";
    case supervise::State::Done:
        return "Klara";
    case supervise::State::Failed:
        return "Misslyckade";
    case supervise::State::TimedOut:
        return "Över tidsgränsen";
    case supervise::State::Missing:
        return "Saknas";
    case supervise::State::Interrupted:
        return "Avbrutna";
    case supervise::State::NotRun:
        return "Ej körda";
    }
    return {};
}

inline std::string band(std::size_t count, std::string_view state)
{
    return std::to_string(count) + " ritningar, " + std::string(state);
}

inline std::string policyText(std::size_t batch, const std::string& timeout, std::size_t sessions,
                              std::string_view marks, std::string_view form)
{
    return std::to_string(batch) + (batch == 1 ? " ritning" : " ritningar") + " per session, tidsgräns " + timeout +
           " s, " + std::to_string(sessions) + (sessions == 1 ? " session" : " sessioner") +
           " samtidigt, ritningsmärken " + std::string(marks) + ", kommandoform " + std::string(form);
}

inline std::string_view marksWord(supervise::MarksChoice marks)
{
    return marks == supervise::MarksChoice::On ? "på" : marks == supervise::MarksChoice::Off ? "av" : "auto";
}

inline std::string_view formWord(std::optional<supervise::CommandForm> form)
{
    if (!form)
        return "efter programmets namn";
    return *form == supervise::CommandForm::Console ? "konsol" : "standard";
}

} // namespace report::texts
