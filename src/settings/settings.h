#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Where a setting lives and where its default comes from, whatever its value is.
struct SettingKey
{
    std::string_view name;
    std::string_view section; // "" = the product key itself
    DefaultFrom from;
    std::string_view defaultText;
    int decimals = 0; // numbers: the digits after the point a write keeps (the rest is rounded away)
};

// The kind of a setting that holds comma-separated numbers (the list's column widths).
struct NumberList
{
};

// One setting and the kind of value it holds: a text, a flag ("1" on, anything else off), a number or a
// list of numbers. Settings reads and writes each kind only as that kind.
template <typename T> struct Setting : SettingKey
{
    constexpr Setting(std::string_view name, std::string_view section, DefaultFrom from, std::string_view defaultText,
                      int decimals = 0)
        : SettingKey{name, section, from, defaultText, decimals}
    {
    }
};
using TextSetting = Setting<std::string>;
using FlagSetting = Setting<bool>;
using NumberSetting = Setting<double>;
using NumberListSetting = Setting<NumberList>;

// Every setting the program keeps, with its default. The program names a setting by its constant, so a
// misspelt name does not compile, nor does reading a flag as a text.
inline constexpr NumberSetting Theme{"Theme", "", DefaultFrom::Text, "2"};
inline constexpr NumberSetting TreeWidth{"TreeWidth", mainSection, DefaultFrom::Text, "2350"};
inline constexpr TextSetting LastPath{"LastPath", mainSection, DefaultFrom::CurrentFolder, ""};
inline constexpr NumberListSetting Files{"Files", "", DefaultFrom::Text, "500,2000,2000,1200,700"};
inline constexpr NumberSetting WinState{"WinState", mainSection, DefaultFrom::Text, "0"};
inline constexpr NumberSetting Top{"Top", mainSection, DefaultFrom::Text, "0"};
inline constexpr NumberSetting Left{"Left", mainSection, DefaultFrom::Text, "0"};
inline constexpr NumberSetting Height{"Height", mainSection, DefaultFrom::Caller, ""};
inline constexpr NumberSetting Width{"Width", mainSection, DefaultFrom::Caller, ""};
inline constexpr TextSetting InitPath{"InitPath", mainSection, DefaultFrom::None, ""};
inline constexpr TextSetting StartDir{"StartDir", "", DefaultFrom::None, ""};
inline constexpr TextSetting ProgramAcad{"ProgramAcad", "", DefaultFrom::Text, ""};
inline constexpr TextSetting ProgramIcad{"ProgramIcad", "", DefaultFrom::Text, ""};
inline constexpr TextSetting ParametersAcad{"ParametersAcad", "", DefaultFrom::Text, ""};
inline constexpr TextSetting ParametersIcad{"ParametersIcad", "", DefaultFrom::Text, ""};
inline constexpr TextSetting LastPattern{"LastPattern", "", DefaultFrom::Text, "*.dwg"};
inline constexpr TextSetting LastTemplate{"LastTemplate", "", DefaultFrom::Text, ""};
inline constexpr TextSetting RdsDir{"RdsDir", "", DefaultFrom::ProgramFolder, ""};
// Review before a run: whether a run shows its script first if the check finds anything; the review
// window's size in twips.
inline constexpr FlagSetting ReviewBeforeRun{"ReviewBeforeRun", "Review", DefaultFrom::Text, "0"};
inline constexpr NumberSetting ReviewHeight{"Height", "Review", DefaultFrom::Caller, ""};
inline constexpr NumberSetting ReviewWidth{"Width", "Review", DefaultFrom::Caller, ""};
// Supervised runs: on or off, drawings per CAD session, time-out per drawing in seconds (to a tenth), CAD
// sessions at once, the command form ("standard" or "konsol"; empty: the form the program's name calls for), and
// the scripts each CAD session runs at its start and end (paths; empty: none). The run policy has the defaults of
// the numbers.
inline constexpr FlagSetting SupervisedRun{"SupervisedRun", mainSection, DefaultFrom::Text, "0"};
inline constexpr NumberSetting SupervisedBatchSize{"SupervisedBatchSize", mainSection, DefaultFrom::Caller, ""};
inline constexpr NumberSetting SupervisedTimeout{"SupervisedTimeout", mainSection, DefaultFrom::Caller, "", 1};
inline constexpr NumberSetting SupervisedSessions{"SupervisedSessions", mainSection, DefaultFrom::Caller, ""};
inline constexpr TextSetting SupervisedForm{"SupervisedForm", mainSection, DefaultFrom::Text, ""};
inline constexpr TextSetting SupervisedSessionStart{"SupervisedSessionStart", mainSection, DefaultFrom::Text, ""};
inline constexpr TextSetting SupervisedSessionEnd{"SupervisedSessionEnd", mainSection, DefaultFrom::Text, ""};

// The four settings of a window's place and size, in twips.
struct Placement
{
    const NumberSetting* top;
    const NumberSetting* left;
    const NumberSetting* height;
    const NumberSetting* width;
};
inline constexpr Placement mainPlacement{&Top, &Left, &Height, &Width};

// A number as the settings store it: decimal text, possibly with a fraction and a sign
// ("2350", "-60", "1234.5"). Nothing for any other text or an absurdly large number.
std::optional<double> parseNumber(std::string_view text);
// A number in decimal text (C locale, whatever the user's locale), rounded to decimals digits after the
// point; a fraction that rounds to nothing is left out ("12", "12.5").
std::string numberText(double value, int decimals = 0);

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
    std::string read(const settings::TextSetting& setting, std::string_view callerDefault = {}) const;
    void write(const settings::TextSetting& setting, std::string_view text);
    // Whether the flag is on; written as "1" or "0".
    bool flag(const settings::FlagSetting& setting) const;
    void setFlag(const settings::FlagSetting& setting, bool on);
    // The number, or its default; nothing when the stored text is not a number (see parseNumber).
    std::optional<double> number(const settings::NumberSetting& setting,
                                 std::optional<double> callerDefault = std::nullopt) const;
    void setNumber(const settings::NumberSetting& setting, double value);
    // The list, or its default: one entry per comma-separated part, nothing where a part is not a number.
    std::vector<std::optional<double>> numbers(const settings::NumberListSetting& setting) const;
    void setNumbers(const settings::NumberListSetting& setting, const std::vector<double>& values);
    // The stored text of any setting, or its default, as the store holds it (readers with a grammar of
    // their own, and tests that pin what is written).
    std::string text(const settings::SettingKey& setting, std::string_view callerDefault = {}) const;
    // Whether a value is stored at all (a missing or empty value is not).
    bool isStored(const settings::SettingKey& setting) const;

    // The number of saved toolbars; below 1 means the program has never been closed by this user.
    int savedBarCount() const;

private:
    Registry& m_registry;
    std::string m_programFolder;
};
