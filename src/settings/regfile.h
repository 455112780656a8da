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
    std::uint32_t type = 0; // registry type: 1 text, 2 expandable text, 3 binary, 4 number, 7 multi-string, ...
    // Types 1 and 2: the text in UTF-8, up to its first NUL. Type 7: its strings in UTF-8, each ending in a NUL
    // and the list in one more, as the registry holds them. Type 4: the number's four bytes. Others: raw data.
    std::string data;
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
// Expandable texts and multi-strings keep their types, their texts in the store's encoding, as the registry
// editor leaves them on Windows: the settings are plain texts, so a setting given as either reads as its default
// on every system (an expandable text is never expanded, a multi-string never taken apart).
// Returns the number of changes applied.
int applyRegFile(const RegFile& file, Registry& registry);
