#include "about/sysinfo.h"

#include "about/texts.h"
#include "about/version.h"
#include "widgets/messagebox.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace about {

bool startDetached(const Program& program)
{
    return QProcess::startDetached(program.path, program.arguments);
}

void startSysInfo(QWidget* owner, const ProgramStarter& start)
{
    const std::optional<Program> program = findSysInfoProgram();
    if (program && start(*program))
        return;
    messagebox::show(owner, texts::sysInfoUnavailable, applicationTitle(), messagebox::Icon::None);
}

std::optional<Program> firstOnPath(const std::vector<SysInfoCandidate>& candidates, const QStringList& searchPath)
{
    for (const SysInfoCandidate& candidate : candidates) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(candidate.name), searchPath);
        if (!found.isEmpty())
            return Program{found, candidate.arguments};
    }
    return std::nullopt;
}

std::optional<Program> msinfoProgram(const MachineValueReader& read)
{
    // An empty or unreadable first value is no program path: the second look-up still gets its chance.
    if (const auto path = read("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH"); path && !path->empty())
        return Program{QString::fromLocal8Bit(*path), {}};
    if (const auto folder = read("SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO"); folder && !folder->empty()) {
        const QString path = QDir(QString::fromLocal8Bit(*folder)).filePath(QStringLiteral("MSINFO32.EXE"));
        if (QFileInfo(path).isFile())
            return Program{QDir::toNativeSeparators(path), {}};
    }
    return std::nullopt;
}

} // namespace about
