#include "settings/initreg.h"
#include "settings/regfile.h"
#include "settings/settings.h"

#include <fstream>
#include <iterator>
#include <sys/stat.h>

// Without the registry editor, the file is read here and applied before any setting is read, so a first
// start already sees what it provides.

namespace {

constexpr off_t largestFile = 64 * 1024 * 1024; // a settings script is a few kilobytes; refuse a runaway

} // namespace

bool importInitReg(Settings& settings)
{
    if (settings.savedBarCount() >= 1)
        return false;
    const std::string path = settings.programFolder() + "/Init.reg";
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > largestFile)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const RegFile file = parseRegFile(bytes);
    applyRegFile(file, settings.registry());
    return file.valid;
}
