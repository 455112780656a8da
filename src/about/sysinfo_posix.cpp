#include "about/sysinfo.h"

namespace about {

// The usual system-information programs of the Linux desktops, the desktop-neutral ones first.
const std::vector<SysInfoCandidate>& sysInfoCandidates()
{
    static const std::vector<SysInfoCandidate> table = {
        {"hardinfo2", {}},
        {"hardinfo", {}},
        {"kinfocenter", {}},
        {"gnome-control-center", {QStringLiteral("info-overview")}},
        {"xfce4-about", {}},
        {"cpu-x", {}},
    };
    return table;
}

std::optional<Program> findSysInfoProgram()
{
    return firstOnPath(sysInfoCandidates());
}

} // namespace about
