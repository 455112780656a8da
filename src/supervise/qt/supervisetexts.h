#pragma once

#include "supervise/journal.h"

#include <QString>

// The texts of supervised runs in the window, in one place.
namespace supervisetexts {

inline QString progressTitle()
{
    return QStringLiteral("Övervakad körning");
}
inline QString cancel()
{
    return QStringLiteral("Avbryt");
}
inline QString close()
{
    return QStringLiteral("Stäng");
}
inline QString retryFailed()
{
    return QStringLiteral("Kör om misslyckade");
}
inline QString settingsTitle()
{
    return QStringLiteral("Inställningar för övervakad körning");
}
inline QString batchSizeLabel()
{
    return QStringLiteral("&Ritningar per CAD-session:");
}
inline QString timeoutLabel()
{
    return QStringLiteral("&Tidsgräns per ritning:");
}
inline QString timeoutSuffix()
{
    return QStringLiteral(" s");
}
inline QString sessionsLabel()
{
    return QStringLiteral("&Sessioner samtidigt:");
}
inline QString programLabel()
{
    return QStringLiteral("&CAD-program:");
}
inline QString marksBox()
{
    return QStringLiteral("Ritnings&märken");
}
inline QString probeButton()
{
    return QStringLiteral("&Prova CAD-programmet");
}
inline QString probing()
{
    return QStringLiteral("Provar CAD-programmet...");
}
inline QString marksWork()
{
    return QStringLiteral("Ritningsmärken fungerar med det här programmet.");
}
inline QString marksFail(const QString& detail)
{
    return QStringLiteral("Ritningsmärken fungerar inte: %1").arg(detail);
}
inline QString formLabel()
{
    return QStringLiteral("&Kommandoform:");
}
inline QString sessionStartLabel()
{
    return QStringLiteral("St&artscript för varje session:");
}
inline QString sessionEndLabel()
{
    return QStringLiteral("S&lutscript för varje session:");
}
inline QString sessionScriptPlaceholder()
{
    return QStringLiteral("inget");
}
inline QString browse()
{
    return QStringLiteral("...");
}
inline QString sessionStartBrowse()
{
    return QStringLiteral("Välj startscript");
}
inline QString sessionEndBrowse()
{
    return QStringLiteral("Välj slutscript");
}
inline QString sessionScriptFilter()
{
    return QStringLiteral("Script (*.scr);;Alla filer (*)");
}
// The command forms in the order of supervise::CommandForm.
inline QString formName(int form)
{
    return form == 0 ? QStringLiteral("standard") : QStringLiteral("konsol");
}
// What "done" can mean: without marks Vendrel sees the CAD program end, not what the script did inside it.
inline QString doneMeaning(bool marks)
{
    if (marks)
        return QStringLiteral("Klar betyder att scriptet kom till ritningens slutmärke.");
    return QStringLiteral("Klar betyder att CAD-programmet avslutades normalt efter scriptet. "
                          "Vad scriptet gjorde i ritningen kan Vendrel inte se.");
}
inline QString drawingCount(qsizetype settled, qsizetype total)
{
    return QStringLiteral("Körda: %1 av %2 ritningar").arg(settled).arg(total);
}
// A session's line: the drawing in progress (or the batch's first and how many more) and for how long.
inline QString sessionBusy(std::size_t session, const QString& drawing, const QString& time)
{
    return QStringLiteral("Session %1: %2, %3").arg(session).arg(drawing, time);
}
inline QString sessionIdle(std::size_t session)
{
    return QStringLiteral("Session %1: ledig").arg(session);
}
inline QString batchHead(const QString& first, qsizetype more)
{
    return more > 0 ? QStringLiteral("%1 (+%2)").arg(first).arg(more) : first;
}
inline QString times(const QString& elapsed, const QString& remaining)
{
    return remaining.isEmpty() ? QStringLiteral("Tid: %1").arg(elapsed)
                               : QStringLiteral("Tid: %1, återstår cirka %2").arg(elapsed, remaining);
}
inline QString stateText(supervise::State state)
{
    switch (state) {
    case supervise::State::Pending:
        return QStringLiteral("Väntar");
    case supervise::State::Done:
        return QStringLiteral("Klara");
    case supervise::State::Failed:
        return QStringLiteral("Misslyckade");
    case supervise::State::TimedOut:
        return QStringLiteral("Över tidsgränsen");
    case supervise::State::Missing:
        return QStringLiteral("Saknas");
    case supervise::State::Interrupted:
        return QStringLiteral("Avbrutna");
    case supervise::State::NotRun:
        return QStringLiteral("Ej körda");
    }
    return {};
}
inline QString summaryAllDone(qsizetype count)
{
    return QStringLiteral("Körningen är klar: alla %1 ritningar klara.").arg(count);
}
// A drawing of the summary's list, with why when the journal says it ("signal 9: hängde i den här ritningen").
inline QString problem(supervise::State state, const QString& name, const QString& why)
{
    const QString line = stateText(state) + QStringLiteral(": ") + name;
    return why.isEmpty() ? line : QStringLiteral("%1 (%2)").arg(line, why);
}
inline QString summaryProblems()
{
    return QStringLiteral("Körningen är klar. Dessa ritningar misslyckades eller nådde tidsgränsen:");
}
// Without marks a session's ending is the outcome of every drawing in its batch.
inline QString withoutMarks()
{
    return QStringLiteral("Utan ritningsmärken: ritningarna i en grupp har gruppens gemensamma utfall.");
}
inline QString showLog()
{
    return QStringLiteral("Visa logg");
}
inline QString showReport()
{
    return QStringLiteral("Visa rapport");
}
inline QString reportFailed(const QString& error)
{
    return QStringLiteral("Rapporten kunde inte skrivas: %1").arg(error);
}
inline QString logTitle(const QString& drawing)
{
    return QStringLiteral("Logg: %1").arg(drawing);
}
inline QString summaryStopped()
{
    return QStringLiteral("Körningen avbröts.");
}
inline QString summaryBroken(const QString& error)
{
    return QStringLiteral("Körningen kunde inte fortsätta: %1").arg(error);
}
inline QString resumeQuestion(const QString& folder, qsizetype left, qsizetype total)
{
    return QStringLiteral("En övervakad körning i %1 blev inte klar: %2 av %3 ritningar återstår.\n\n"
                          "Vill du fortsätta den nu?")
        .arg(folder)
        .arg(left)
        .arg(total);
}
inline QString templateChanged(const QString& path)
{
    return QStringLiteral(
               "Mallen %1 har ändrats sedan körningen började.\n\nVill du fortsätta med mallen som den är nu?")
        .arg(path);
}
inline QString errorTitle()
{
    return QStringLiteral("fel");
}

} // namespace supervisetexts
