#pragma once

#include <QString>
#include <QStringList>

// The texts of the template folder and the CAD runs, in one place.
namespace runtexts {

inline QString templateFolderPrompt()
{
    return QStringLiteral("Välj mapp innehållande scriptmallar (*.scr)");
}

inline QString programMissing(const QString& program)
{
    return QStringLiteral("Hittar ej programmet ") + program + QStringLiteral(".");
}

inline QString programMissingTitle()
{
    return QStringLiteral("Fil saknas");
}

inline QString programFileTitle()
{
    return QStringLiteral("Programfil");
}

inline QString autoCadFilter()
{
    return QStringLiteral("AutoCAD-program (acad.exe aclt.exe)");
}

inline QString intelliCadFilter()
{
    return QStringLiteral("IntelliCAD-program (icad.exe)");
}

// Where programs carry no extension, any file may be picked (and must then be executable).
inline QString allFilesFilter()
{
    return QStringLiteral("Alla filer (*)");
}

// The review of a script before it is run.
inline QString reviewTitle()
{
    return QStringLiteral("Granska script");
}

inline QString runIn(bool autoCad)
{
    return autoCad ? QStringLiteral("Kör i AutoCAD") : QStringLiteral("Kör i IntelliCAD");
}

// A supervised review shows the first session's marks file; the others have files of their own.
inline QString sessionMarksNote(qsizetype sessions)
{
    return QStringLiteral("Med %1 sessioner samtidigt skriver varje session sina ritningsmärken till en egen fil; "
                          "här visas den första sessionens.")
        .arg(sessions);
}

inline QString sessionScriptsNote()
{
    return QStringLiteral("Varje CAD-session kör startscriptet före sin första ritning och slutscriptet före .EXIT; "
                          "här visas en session med alla ritningar.");
}

inline QString saveAs()
{
    return QStringLiteral("Spara som...");
}

inline QString closeButton()
{
    return QStringLiteral("Stäng");
}

inline QString saveScriptTitle()
{
    return QStringLiteral("Spara script som");
}

inline QString scriptFilter()
{
    return QStringLiteral("Script (*.scr);;Alla filer (*)");
}

inline QStringList findingColumns()
{
    return {QStringLiteral("Rad"), QStringLiteral("Kod"), QStringLiteral("Ritning"), QStringLiteral("Beskrivning")};
}

// lines is the script's line count; the counts are already in the user's digit grouping.
inline QString reviewSummary(const QString& lines, int errors, int warnings, const QString& errorText,
                             const QString& warningText)
{
    QString text = QStringLiteral("Scriptet har ") + lines + QStringLiteral(" rader. ");
    if (errors == 0 && warnings == 0)
        return text + QStringLiteral("Granskningen hittade inget som kan gå fel.");
    QStringList parts;
    if (errors > 0)
        parts << errorText + QStringLiteral(" fel");
    if (warnings > 0)
        parts << warningText + (warnings == 1 ? QStringLiteral(" varning") : QStringLiteral(" varningar"));
    return text + QStringLiteral("Granskningen hittade ") + parts.join(QStringLiteral(" och ")) + QStringLiteral(".");
}

inline QString runWaits(bool autoCad)
{
    return QStringLiteral("Körningen i ") + (autoCad ? QStringLiteral("AutoCAD") : QStringLiteral("IntelliCAD")) +
           QStringLiteral(" väntar: kör scriptet som det är, spara det, eller stäng och rätta först.");
}

} // namespace runtexts
