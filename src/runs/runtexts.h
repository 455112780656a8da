#pragma once

#include <QString>

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

} // namespace runtexts
