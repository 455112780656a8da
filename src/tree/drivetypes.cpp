#include "tree/drivetypes.h"

#include <array>

namespace {

// The conditions some type codes depend on.
enum class When
{
    Always,
    EntryHasBackslash, // a network path; some systems report unreachable shares as "no root folder"
    EntryHasNoBackslash,
    FloppyLetter, // the entry begins with a or b
    NotFloppyLetter,
};

struct DriveTypeRow
{
    int type;
    When when;
    const char16_t* text;
    TreeIcon icon;
};

constexpr std::array<DriveTypeRow, 9> driveTypeTable{{
    {0, When::Always, u"<Okänd typ>", TreeIcon::Drive},
    {1, When::EntryHasBackslash, u"Nätverksenhet", TreeIcon::NetDrive},
    {1, When::EntryHasNoBackslash, u"Flyttbar disk", TreeIcon::Drive},
    {2, When::FloppyLetter, u"Floppy drive", TreeIcon::FloppyDrive},
    {2, When::NotFloppyLetter, u"Flyttbar disk", TreeIcon::Drive},
    {3, When::Always, u"Lokal disk", TreeIcon::Drive},
    {4, When::Always, u"Nätverksenhet", TreeIcon::NetDrive},
    {5, When::Always, u"CD-enhet", TreeIcon::CD},
    {6, When::Always, u"RAM-diskenhet", TreeIcon::Drive},
}};

bool holds(When when, std::string_view entry)
{
    const bool backslash = entry.find('\\') != std::string_view::npos;
    const bool floppy = !entry.empty() && (entry.front() == 'a' || entry.front() == 'b');
    switch (when)
    {
    case When::Always:
        return true;
    case When::EntryHasBackslash:
        return backslash;
    case When::EntryHasNoBackslash:
        return !backslash;
    case When::FloppyLetter:
        return floppy;
    case When::NotFloppyLetter:
        return !floppy;
    }
    return false;
}

} // namespace

DriveTypeLook driveTypeText(int driveType, std::string_view entry)
{
    for (const DriveTypeRow& row : driveTypeTable)
    {
        if (row.type == driveType && holds(row.when, entry))
            return {QString::fromUtf16(row.text), row.icon};
    }
    return {QString(), TreeIcon::Drive};
}
