#pragma once

#include <QString>
#include <QStringList>

// The texts of the window's job commands.
namespace jobtexts {

inline QString saveTitle()
{
    return QStringLiteral("Spara som jobb");
}
inline QString openTitle()
{
    return QStringLiteral("Öppna jobb");
}
inline QString filter()
{
    return QStringLiteral("Jobb (*.vjob)");
}
inline QString chooseProgram(const QString& acad, const QString& icad)
{
    return QStringLiteral("Jobbet kan starta AutoCAD (%1) eller IntelliCAD (%2). Ska det starta AutoCAD?\n\n"
                          "Nej: IntelliCAD.")
        .arg(acad, icad);
}
inline QString noProgram()
{
    return QStringLiteral("Ange ett CAD-program innan jobbet sparas.");
}
inline QString noFolder()
{
    return QStringLiteral("Välj mappen med ritningarna innan jobbet sparas.");
}
inline QString noDrawings()
{
    return QStringLiteral("Markera ritningarna som jobbet ska köra innan det sparas.");
}
inline QString notUtf8(const QString& what)
{
    return QStringLiteral("%1 har tecken som ett jobb inte kan hålla; jobbet sparades inte.").arg(what);
}
inline QString notSaved(const QString& path, const QString& reason)
{
    return QStringLiteral("Jobbet %1 kan inte sparas: %2").arg(path, reason);
}
inline QString notOpened(const QString& reason)
{
    return QStringLiteral("Jobbet kan inte öppnas: %1").arg(reason);
}
inline QString folderGone(const QString& folder)
{
    return QStringLiteral("Mappen %1 finns inte eller kan inte nås.").arg(folder);
}
inline QString templateGone(const QString& path)
{
    return QStringLiteral("Scriptmallen %1 finns inte.").arg(path);
}
inline QString sessionScriptGone(const QString& path)
{
    return QStringLiteral("Sessionsscriptet %1 finns inte.").arg(path);
}
inline QString drawingsGone(const QStringList& names)
{
    return QStringLiteral("Ritningar som inte längre finns i listan: %1.").arg(names.join(QStringLiteral(", ")));
}
inline QString subfoldersNotShown()
{
    return QStringLiteral("Jobbet tar också undermapparna; listan visar bara mappens egna ritningar.");
}
inline QString notAllSet(const QStringList& lines)
{
    return QStringLiteral("Allt i jobbet kunde inte ställas in:\n\n") + lines.join(QLatin1Char('\n'));
}

} // namespace jobtexts
