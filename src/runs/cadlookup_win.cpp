#include "runs/cadlookup.h"

namespace cad {

namespace {

ClassesRootReader readerOf(const Registry& registry)
{
    return [&registry](std::string_view subkey) { return readClassesRootDefault(registry, subkey); };
}

} // namespace

std::string findAutoCadProgram(const Registry& registry)
{
    return registeredAutoCadProgram(readerOf(registry));
}

std::string findAutoCadLtProgram(const Registry& registry)
{
    return registeredAutoCadLtProgram(readerOf(registry));
}

std::string findIntelliCadProgram(const Registry& registry)
{
    return registeredIntelliCadProgram(readerOf(registry));
}

} // namespace cad
