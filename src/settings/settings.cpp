#include "settings/settings.h"

#include "os/folders.h"
#include "os/registry.h"

#include <charconv>
#include <cmath>

namespace settings {

std::optional<double> parseNumber(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (text.empty())
        return std::nullopt;
    // Only plain decimal notation: from_chars would take "inf", "nan" and hexadecimal digits.
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!(c >= '0' && c <= '9') && c != '.' && !(i == 0 && (c == '-' || c == '+')))
            return std::nullopt;
    }
    if (text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    constexpr double limit = 1e7; // twips: about seven metres of screen
    if (std::abs(value) > limit)
        return std::nullopt;
    return value;
}

std::string numberText(double value, int decimals)
{
    long long scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const long long scaled = std::llround(value * double(scale));
    const unsigned long long magnitude = scaled < 0 ? 0ULL - static_cast<unsigned long long>(scaled) : scaled;
    std::string text = scaled < 0 ? "-" : "";
    text += std::to_string(magnitude / scale);
    if (unsigned long long fraction = magnitude % scale) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, size_t(decimals) - digits.size(), '0');
        while (digits.back() == '0')
            digits.pop_back();
        text += '.' + digits;
    }
    return text;
}

} // namespace settings

namespace {

std::string keyOf(std::string_view section)
{
    std::string key(settings::productKey);
    if (!section.empty()) {
        key += '\\';
        key += section;
    }
    return key;
}

} // namespace

Settings::Settings(Registry& registry, std::string programFolder)
    : m_registry(registry), m_programFolder(std::move(programFolder))
{
}

std::string Settings::readSetting(std::string_view name, std::string_view defaultText, std::string_view section) const
{
    return m_registry.readString(Hive::CurrentUser, keyOf(section), name, defaultText);
}

void Settings::writeSetting(std::string_view name, std::string_view text, std::string_view section)
{
    m_registry.writeString(Hive::CurrentUser, keyOf(section), name, text);
}

std::string Settings::text(const settings::SettingKey& setting, std::string_view callerDefault) const
{
    std::string defaultText;
    switch (setting.from) {
    case settings::DefaultFrom::Text:
        defaultText = setting.defaultText;
        break;
    case settings::DefaultFrom::CurrentFolder:
        defaultText = currentFolder();
        break;
    case settings::DefaultFrom::ProgramFolder:
        defaultText = m_programFolder;
        break;
    case settings::DefaultFrom::Caller:
    case settings::DefaultFrom::None:
        defaultText = callerDefault;
        break;
    }
    return readSetting(setting.name, defaultText, setting.section);
}

bool Settings::isStored(const settings::SettingKey& setting) const
{
    return !readSetting(setting.name, {}, setting.section).empty();
}

std::string Settings::read(const settings::TextSetting& setting, std::string_view callerDefault) const
{
    return text(setting, callerDefault);
}

void Settings::write(const settings::TextSetting& setting, std::string_view text)
{
    writeSetting(setting.name, text, setting.section);
}

bool Settings::flag(const settings::FlagSetting& setting) const
{
    return text(setting) == "1";
}

void Settings::setFlag(const settings::FlagSetting& setting, bool on)
{
    writeSetting(setting.name, on ? "1" : "0", setting.section);
}

std::optional<double> Settings::number(const settings::NumberSetting& setting,
                                       std::optional<double> callerDefault) const
{
    const std::string fallback = callerDefault ? settings::numberText(*callerDefault, setting.decimals) : std::string();
    return settings::parseNumber(text(setting, fallback));
}

void Settings::setNumber(const settings::NumberSetting& setting, double value)
{
    writeSetting(setting.name, settings::numberText(value, setting.decimals), setting.section);
}

std::vector<std::optional<double>> Settings::numbers(const settings::NumberListSetting& setting) const
{
    const std::string list = text(setting);
    std::vector<std::optional<double>> values;
    std::string_view rest = list;
    for (;;) {
        const size_t comma = rest.find(',');
        values.push_back(settings::parseNumber(rest.substr(0, comma)));
        if (comma == std::string_view::npos)
            return values;
        rest.remove_prefix(comma + 1);
    }
}

void Settings::setNumbers(const settings::NumberListSetting& setting, const std::vector<double>& values)
{
    std::string list;
    for (const double value : values) {
        if (!list.empty())
            list += ',';
        list += settings::numberText(value, setting.decimals);
    }
    writeSetting(setting.name, list, setting.section);
}

int Settings::savedBarCount() const
{
    return m_registry.readDword(Hive::CurrentUser, keyOf("Layout-Summary"), "Bars");
}
