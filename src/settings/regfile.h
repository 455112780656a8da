#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Registry;

// A registry script as Windows' registry editor exports it: "REGEDIT4" (single-byte code page) or
// "Windows Registry Editor Version 5.00" (usually UTF-16LE with a byte-order mark), read as that editor imports
// it: what it passes over or refuses is passed over here too. Texts come out as UTF-8.
struct RegFileChange
{
    enum class Kind
    {
        SetValue,
        DeleteValue,
        DeleteKey,
    };
    Kind kind = Kind::SetValue;
    std::string key;  // full path, hive included: "HKEY_CURRENT_USER\Software\..."
    std::string name; // "" for the key's default value
    std::uint32_t type = 0; // registry type: 1 text, 3 binary, 4 number, ...
    std::string data;       // text bytes, the number's four bytes, or raw data
};

struct RegFile
{
    bool valid = false; // false: no known header, nothing to apply
    std::vector<RegFileChange> changes;
    int skippedLines = 0; // malformed lines passed over
};

RegFile parseRegFile(std::string_view bytes);

// Whether s begins with prefix, ASCII letters compared without regard to case (as key names are).
bool startsWithIgnoringCase(std::string_view s, std::string_view prefix);

// Applies the changes that concern the product key (HKEY_CURRENT_USER\Software\Brannoc\Vendrel and its
// subkeys) to the store; every other key is left alone, and so is every key's default value ("@").
// Returns the number of changes applied.
int applyRegFile(const RegFile& file, Registry& registry);
