#include "app/programfolder.h"

#include <QDir>
#include <QFileInfo>

namespace {

bool holdsProgramFiles(const QDir& folder)
{
    if (folder.exists(QStringLiteral("Init.reg")) || folder.exists(QStringLiteral("helvscr.dwg")))
        return true;
    return !folder.entryList({QStringLiteral("*.scr")}, QDir::Files).isEmpty();
}

std::string native(const QString& path)
{
    return QFile::encodeName(QDir::toNativeSeparators(QDir::cleanPath(path))).toStdString();
}

} // namespace

std::string programFolder(const QString& executableFolder)
{
    const QDir own(executableFolder);
    if (holdsProgramFiles(own))
        return native(own.absolutePath());
    const QString shared = own.absoluteFilePath(QStringLiteral("../share/vendrel"));
    if (QFileInfo(shared).isDir())
        return native(shared);
    return native(own.absolutePath());
}
