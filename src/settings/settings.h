#pragma once

#include <optional>
#include <string>
#include <string_view>

class Registry;

// The program's settings: named texts under the product key or its section "Main".
// Reads go to the store every time and writes go there at once; there is no cache.
namespace settings {

constexpr std::string_view companyName = "Brannoc";
constexpr std::string_view productName = "Vendrel";
constexpr std::string_view productKey = "Software\\Brannoc\\Vendrel";
constexpr std::string_view mainSection = "Main";

// Where a default that is not a fixed text comes from.
enum class DefaultFrom
{
    Text,          // the text of the table
    CurrentFolder, // the process's current folder
    ProgramFolder, // the folder of the executable
    Caller,        // the caller passes it
    None,          // written for others to read; the program never reads it
};

// One setting: its value name, the section it lives in and where its default comes from.
struct Setting
{
    std::string_view name;
    std::string_view section; // "" = the product key itself
    DefaultFrom from;
    std::string_view defaultText;
};

// Every setting the program keeps, with its default. The program names a setting by its constant, so a
// misspelt name does not compile.
inline constexpr Setting Theme{"Theme", "", DefaultFrom::Text, "2"};
inline constexpr Setting TreeWidth{"TreeWidth", mainSection, DefaultFrom::Text, "2350"};
inline constexpr Setting LastPath{"LastPath", mainSection, DefaultFrom::CurrentFolder, ""};
inline constexpr Setting Files{"Files", "", DefaultFrom::Text, "500,2000,2000,1200,700"};
inline constexpr Setting WinState{"WinState", mainSection, DefaultFrom::Text, "0"};
inline constexpr Setting Top{"Top", mainSection, DefaultFrom::Text, "0"};
inline constexpr Setting Left{"Left", mainSection, DefaultFrom::Text, "0"};
inline constexpr Setting Height{"Height", mainSection, DefaultFrom::Caller, ""};
inline constexpr Setting Width{"Width", mainSection, DefaultFrom::Caller, ""};
inline constexpr Setting InitPath{"InitPath", mainSection, DefaultFrom::None, ""};
inline constexpr Setting StartDir{"StartDir", "", DefaultFrom::None, ""};
inline constexpr Setting ProgramAcad{"ProgramAcad", "", DefaultFrom::Text, ""};
inline constexpr Setting ProgramIcad{"ProgramIcad", "", DefaultFrom::Text, ""};
inline constexpr Setting ParametersAcad{"ParametersAcad", "", DefaultFrom::Text, ""};
inline constexpr Setting ParametersIcad{"ParametersIcad", "", DefaultFrom::Text, ""};
inline constexpr Setting LastPattern{"LastPattern", "", DefaultFrom::Text, "*.dwg"};
inline constexpr Setting LastTemplate{"LastTemplate", "", DefaultFrom::Text, ""};
inline constexpr Setting RdsDir{"RdsDir", "", DefaultFrom::ProgramFolder, ""};
// Review before a run: "1" when a run shows its script first if the check finds anything; the review
// window's size in twips.
inline constexpr Setting ReviewBeforeRun{"ReviewBeforeRun", "Review", DefaultFrom::Text, "0"};
inline constexpr Setting ReviewHeight{"Height", "Review", DefaultFrom::Caller, ""};
inline constexpr Setting ReviewWidth{"Width", "Review", DefaultFrom::Caller, ""};
// Supervised runs: on or off ("1"/"0"), drawings per CAD session, time-out per drawing in seconds.
inline constexpr Setting SupervisedRun{"SupervisedRun", mainSection, DefaultFrom::Text, "0"};
inline constexpr Setting SupervisedBatchSize{"SupervisedBatchSize", mainSection, DefaultFrom::Text, "1"};
inline constexpr Setting SupervisedTimeout{"SupervisedTimeout", mainSection, DefaultFrom::Text, "600"};

// The four settings of a window's place and size, in twips.
struct Placement
{
    const Setting* top;
    const Setting* left;
    const Setting* height;
    const Setting* width;
};
inline constexpr Placement mainPlacement{&Top, &Left, &Height, &Width};

// A number as the settings store it: decimal text, possibly with a fraction and a sign
// ("2350", "-60", "1234.5"). Nothing for any other text or an absurdly large number.
std::optional<double> parseNumber(std::string_view text);
// A whole number in decimal text (C locale, whatever the user's locale).
std::string numberText(double value);

} // namespace settings

class Settings
{
public:
    // programFolder: the folder that holds the executable (defaults and Init.reg live there).
    Settings(Registry& registry, std::string programFolder);

    Registry& registry() const { return m_registry; }
    const std::string& programFolder() const { return m_programFolder; }

    // Any value by name: the value, or defaultText when it is missing, empty or not a text. The program
    // itself reads and writes through the table above; these serve the tools that look at the store by name.
    std::string readSetting(std::string_view name, std::string_view defaultText, std::string_view section = {}) const;
    void writeSetting(std::string_view name, std::string_view text, std::string_view section = {});
    // The value, or its default from the settings table (callerDefault where the caller gives it).
    std::string read(const settings::Setting& setting, std::string_view callerDefault = {}) const;
    void write(const settings::Setting& setting, std::string_view text);

    // The number of saved toolbars; below 1 means the program has never been closed by this user.
    int savedBarCount() const;

private:
    Registry& m_registry;
    std::string m_programFolder;
};
