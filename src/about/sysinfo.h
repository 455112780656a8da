#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

// The operating system's system-information program, started on the user's demand from the About box.
namespace about {

struct Program
{
    QString path;
    QStringList arguments;

    friend bool operator==(const Program&, const Program&) = default;
};

// Starts a program on its own, never through a shell, and does not wait for it; false when it cannot start.
using ProgramStarter = std::function<bool(const Program&)>;
bool startDetached(const Program& program);

// The system-information program of this computer, or nothing when it has none.
std::optional<Program> findSysInfoProgram();

// Starts the system-information program; when there is none or it does not start, tells the user
// "System Information Is Unavailable At This Time" in a box with only an OK button.
void startSysInfo(QWidget* owner, const ProgramStarter& start = startDetached);

// --- the pieces the platforms build findSysInfoProgram from ---

// One entry of the ordered table of programs looked for on PATH.
struct SysInfoCandidate
{
    const char* name;
    QStringList arguments;
};
const std::vector<SysInfoCandidate>& sysInfoCandidates();

// The first candidate that is an executable on the search path given (PATH when empty).
std::optional<Program> firstOnPath(const std::vector<SysInfoCandidate>& candidates,
                                   const QStringList& searchPath = {});

// Reads one text value of the machine-wide registry hive; nothing when it cannot be read or is no text.
using MachineValueReader = std::function<std::optional<std::string>(std::string_view key, std::string_view value)>;

// The registry's two ways to MSINFO32: the program path itself, else the folder that must hold
// MSINFO32.EXE.
std::optional<Program> msinfoProgram(const MachineValueReader& read);

} // namespace about
