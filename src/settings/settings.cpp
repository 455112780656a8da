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

std::string numberText(double value)
{
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::llround(value));
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
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

std::string Settings::read(const settings::Setting& setting, std::string_view callerDefault) const
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

void Settings::write(const settings::Setting& setting, std::string_view text)
{
    writeSetting(setting.name, text, setting.section);
}

int Settings::savedBarCount() const
{
    return m_registry.readDword(Hive::CurrentUser, keyOf("Layout-Summary"), "Bars");
}
