#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The per-user key-value store with the registry's shape: hives, keys separated by '\', named values.
// Key and value names compare without regard to case. Texts are bytes (paths keep the bytes the file
// system gave). On Windows this is the registry itself; elsewhere the current user's hive is an INI file
// that keeps the product key's layout and no other hive holds anything.
//
// No operation reports a failure: a value that cannot be read is absent, a write that fails is lost.

enum class Hive
{
    ClassesRoot,
    CurrentUser,
    LocalMachine,
};

class Registry
{
public:
    // userStore: where the current user's hive lives when it is a file. On Windows the registry itself is
    // the store and defaultUserStore() is empty; any other userStore is a test's: the current user's keys
    // then lie in a volatile key of their own, HKEY_CURRENT_USER\Software\Vendrel test stores\<userStore>,
    // so that a test never touches a user's real settings (the other hives stay the real ones).
    explicit Registry(std::string userStore);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // The file the current user's settings live in on this platform (empty on Windows).
    static std::string defaultUserStore();
    // Windows: the current user's keys are a test store's (see the constructor). Elsewhere always false.
    bool isTestStore() const;

    // The text of a string value, cut at its first NUL; the default when the key or value is missing,
    // the value is not a string, or its text is empty.
    std::string readString(Hive hive, std::string_view keyPath, std::string_view name,
                           std::string_view defaultText) const;
    // Creates missing keys on the way. The text is stored without a terminating NUL.
    void writeString(Hive hive, std::string_view keyPath, std::string_view name, std::string_view text);

    // A 32-bit number value; 0 when missing or not a number value.
    std::int32_t readDword(Hive hive, std::string_view keyPath, std::string_view name) const;
    void writeDword(Hive hive, std::string_view keyPath, std::string_view name, std::uint32_t value);

    // Raw data of a value of any other type (type is the registry's type number, e.g. 3 for binary).
    std::string readBinary(Hive hive, std::string_view keyPath, std::string_view name) const;
    void writeBinary(Hive hive, std::string_view keyPath, std::string_view name, std::string_view data,
                     std::uint32_t type = 3);

    void deleteValue(Hive hive, std::string_view keyPath, std::string_view name);
    // Deletes the key with all its subkeys and values.
    void deleteKey(Hive hive, std::string_view keyPath);

    // Many writes in a row (an imported file, the start of the window): they reach the store together at
    // endBatch(); reads in between see them.
    void beginBatch();
    void endBatch();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
