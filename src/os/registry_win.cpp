#include "os/registry.h"

#include <cstring>
#include <string>
#include <windows.h>

// The registry itself, through the ANSI calls: texts are in the system's single-byte code page.

namespace {

HKEY rootOf(Hive hive)
{
    switch (hive) {
    case Hive::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case Hive::CurrentUser:
        return HKEY_CURRENT_USER;
    case Hive::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    }
    return HKEY_CURRENT_USER;
}

// Where a store's keys of a hive lie: the hive itself, or for a test store's current user a volatile key of
// its own (gone when the user logs off; under Wine when its server stops).
struct Place
{
    HKEY root = HKEY_CURRENT_USER;
    std::string path;
    bool isVolatile = false;
};

constexpr char testStores[] = "Software\\Vendrel test stores";

Place placeOf(const std::string& testStore, Hive hive, std::string_view keyPath)
{
    if (hive != Hive::CurrentUser || testStore.empty())
        return {rootOf(hive), std::string(keyPath), false};
    std::string path = std::string(testStores) + '\\' + testStore;
    if (!keyPath.empty())
        path.append(1, '\\').append(keyPath);
    return {HKEY_CURRENT_USER, path, true};
}

class Key
{
public:
    Key(const Place& place, bool create)
    {
        const LONG rc = create ? RegCreateKeyExA(place.root, place.path.c_str(), 0, nullptr,
                                                 place.isVolatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE,
                                                 MAXIMUM_ALLOWED, nullptr, &m_key, nullptr)
                               : RegOpenKeyExA(place.root, place.path.c_str(), 0, MAXIMUM_ALLOWED, &m_key);
        if (rc != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~Key()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    explicit operator bool() const { return m_key != nullptr; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// The type and data of a value; type 0 with no data when it cannot be read.
std::pair<DWORD, std::string> query(const Place& place, std::string_view name)
{
    Key key(place, false);
    if (!key)
        return {};
    const std::string n(name);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), n.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    std::string data(size, '\0');
    if (size > 0 &&
        RegQueryValueExA(key.get(), n.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
            ERROR_SUCCESS)
        return {};
    data.resize(size);
    return {type, data};
}

void set(const Place& place, std::string_view name, DWORD type, std::string_view data)
{
    Key key(place, true);
    if (!key)
        return;
    const std::string n(name);
    RegSetValueExA(key.get(), n.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size()));
}

} // namespace

struct Registry::Impl
{
    // Empty for the user's own keys; else the name of a test store's key.
    std::string testStore;

    Place place(Hive hive, std::string_view keyPath) const { return placeOf(testStore, hive, keyPath); }
};

Registry::Registry(std::string userStore) : m_impl(std::make_unique<Impl>())
{
    // A key name holds no backslash and at most 255 characters: the store's path becomes its last ones.
    for (char& c : userStore) {
        if (c == '\\')
            c = '/';
    }
    constexpr std::size_t longestName = 255;
    if (userStore.size() > longestName)
        userStore.erase(0, userStore.size() - longestName);
    m_impl->testStore = std::move(userStore);
}

Registry::~Registry() = default;

std::string Registry::defaultUserStore()
{
    return {};
}

bool Registry::isTestStore() const
{
    return !m_impl->testStore.empty();
}

std::string Registry::readString(Hive hive, std::string_view keyPath, std::string_view name,
                                 std::string_view defaultText) const
{
    auto [type, data] = query(m_impl->place(hive, keyPath), name);
    std::string text;
    if (type == REG_SZ)
        text = data.substr(0, data.find('\0'));
    return text.empty() ? std::string(defaultText) : text;
}

void Registry::writeString(Hive hive, std::string_view keyPath, std::string_view name, std::string_view text)
{
    // With its terminating NUL counted in the length, as RegSetValueEx asks: readers that trust the length
    // (a registry export among them) otherwise lose the last character. Reading cuts at the first NUL, so
    // values written without one still read the same.
    const std::string terminated(text);
    set(m_impl->place(hive, keyPath), name, REG_SZ, std::string_view(terminated.c_str(), terminated.size() + 1));
}

std::int32_t Registry::readDword(Hive hive, std::string_view keyPath, std::string_view name) const
{
    auto [type, data] = query(m_impl->place(hive, keyPath), name);
    if (type != REG_DWORD || data.size() != 4)
        return 0;
    std::int32_t number = 0;
    std::memcpy(&number, data.data(), 4);
    return number;
}

void Registry::writeDword(Hive hive, std::string_view keyPath, std::string_view name, std::uint32_t value)
{
    set(m_impl->place(hive, keyPath), name, REG_DWORD, std::string_view(reinterpret_cast<const char*>(&value), 4));
}

std::string Registry::readBinary(Hive hive, std::string_view keyPath, std::string_view name) const
{
    auto [type, data] = query(m_impl->place(hive, keyPath), name);
    return type == REG_SZ || type == REG_DWORD ? std::string() : data;
}

void Registry::writeBinary(Hive hive, std::string_view keyPath, std::string_view name, std::string_view data,
                           std::uint32_t type)
{
    set(m_impl->place(hive, keyPath), name, type, data);
}

void Registry::deleteValue(Hive hive, std::string_view keyPath, std::string_view name)
{
    Key key(m_impl->place(hive, keyPath), false);
    if (key)
        RegDeleteValueA(key.get(), std::string(name).c_str());
}

void Registry::deleteKey(Hive hive, std::string_view keyPath)
{
    const Place place = m_impl->place(hive, keyPath);
    RegDeleteTreeA(place.root, place.path.c_str());
    RegDeleteKeyA(place.root, place.path.c_str());
}

void Registry::beginBatch() {}

void Registry::endBatch() {}
