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

struct Setting
{
    std::string_view name;
    std::string_view section; // "" = the product key itself
    DefaultFrom from;
    std::string_view defaultText;
};

// Every setting the program keeps, with its default.
inline constexpr Setting table[] = {
    {"Theme", "", DefaultFrom::Text, "2"},
    {"TreeWidth", mainSection, DefaultFrom::Text, "2350"},
    {"LastPath", mainSection, DefaultFrom::CurrentFolder, ""},
    {"Files", "", DefaultFrom::Text, "500,2000,2000,1200,700"},
    {"WinState", mainSection, DefaultFrom::Text, "0"},
    {"Top", mainSection, DefaultFrom::Text, "0"},
    {"Left", mainSection, DefaultFrom::Text, "0"},
    {"Height", mainSection, DefaultFrom::Caller, ""},
    {"Width", mainSection, DefaultFrom::Caller, ""},
    {"InitPath", mainSection, DefaultFrom::None, ""},
    {"StartDir", "", DefaultFrom::None, ""},
    {"ProgramAcad", "", DefaultFrom::Text, ""},
    {"ProgramIcad", "", DefaultFrom::Text, ""},
    {"ParametersAcad", "", DefaultFrom::Text, ""},
    {"ParametersIcad", "", DefaultFrom::Text, ""},
    {"LastPattern", "", DefaultFrom::Text, "*.dwg"},
    {"LastTemplate", "", DefaultFrom::Text, ""},
    {"RdsDir", "", DefaultFrom::ProgramFolder, ""},
};

const Setting* find(std::string_view name);

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

    // The value, or defaultText when it is missing, empty or not a text.
    std::string readSetting(std::string_view name, std::string_view defaultText, std::string_view section = {}) const;
    void writeSetting(std::string_view name, std::string_view text, std::string_view section = {});
    // The value with the default of the settings table (callerDefault for "Height" and "Width").
    std::string read(std::string_view name, std::string_view callerDefault = {}) const;

    // The number of saved toolbars; below 1 means the program has never been closed by this user.
    int savedBarCount() const;

private:
    Registry& m_registry;
    std::string m_programFolder;
};
