#include "about/sysinfo.h"
#include "os/registry.h"

namespace about {

// Windows has one system-information program, MSINFO32, found through the registry.
const std::vector<SysInfoCandidate>& sysInfoCandidates()
{
    static const std::vector<SysInfoCandidate> none;
    return none;
}

std::optional<Program> findSysInfoProgram()
{
    const Registry registry(Registry::defaultUserStore());
    return msinfoProgram([&registry](std::string_view key, std::string_view value) -> std::optional<std::string> {
        std::string text = registry.readString(Hive::LocalMachine, key, value, {});
        if (text.empty())
            return std::nullopt;
        return text;
    });
}

} // namespace about
