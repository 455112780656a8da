#include "os/desktopapps.h"
#include "runs/cadlookup.h"

namespace cad {

// The desktop registers one application for DWG drawings; it stands for AutoCAD. No desktop registration
// tells AutoCAD LT or IntelliCAD apart, so those look-ups find nothing.

std::string findAutoCadProgram(const Registry&)
{
    return desktopapps::defaultApplicationExecutable("image/vnd.dwg");
}

std::string findAutoCadLtProgram(const Registry&)
{
    return {};
}

std::string findIntelliCadProgram(const Registry&)
{
    return {};
}

} // namespace cad
