#include "settings/regfile.h"

#include "os/registry.h"

#include <cstring>

namespace {

constexpr std::string_view userHive = "HKEY_CURRENT_USER\\";
constexpr std::string_view productKey = "HKEY_CURRENT_USER\\Software\\Brannoc\\Vendrel";

} // namespace

int applyRegFile(const RegFile& file, Registry& registry)
{
    if (!file.valid)
        return 0;
    int applied = 0;
    registry.beginBatch();
    for (const RegFileChange& change : file.changes) {
        if (!startsWithIgnoringCase(change.key, productKey))
            continue;
        const std::string_view rest = std::string_view(change.key).substr(productKey.size());
        if (!rest.empty() && rest.front() != '\\')
            continue; // a sibling key whose name merely begins like ours
        // The program reads no key's default value, and the file store keeps none.
        if (change.kind != RegFileChange::Kind::DeleteKey && change.name.empty())
            continue;
        const std::string path = change.key.substr(userHive.size());
        switch (change.kind) {
        case RegFileChange::Kind::DeleteKey:
            registry.deleteKey(Hive::CurrentUser, path);
            break;
        case RegFileChange::Kind::DeleteValue:
            registry.deleteValue(Hive::CurrentUser, path, change.name);
            break;
        case RegFileChange::Kind::SetValue:
            if (change.type == 1)
                registry.writeString(Hive::CurrentUser, path, change.name, change.data);
            else if (change.type == 4 && change.data.size() == 4) {
                std::uint32_t number = 0;
                std::memcpy(&number, change.data.data(), 4);
                registry.writeDword(Hive::CurrentUser, path, change.name, number);
            } else if (change.type == 2) {
                // The store keeps texts of other types with their NUL, as the registry asks of them.
                registry.writeBinary(Hive::CurrentUser, path, change.name, change.data + '\0', change.type);
            } else
                registry.writeBinary(Hive::CurrentUser, path, change.name, change.data, change.type);
            break;
        }
        ++applied;
    }
    registry.endBatch();
    return applied;
}
