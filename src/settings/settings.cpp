#include "settings.h"

#include "registry.h"
#include "twips.h"

#include <QDir>
#include <QWidget>

#include <charconv>
#include <cmath>

namespace settings {

const Setting* find(std::string_view name)
{
    for (const Setting& setting : table) {
        if (setting.name == name)
            return &setting;
    }
    return nullptr;
}

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

std::string Settings::read(std::string_view name, std::string_view callerDefault) const
{
    const settings::Setting* setting = settings::find(name);
    if (!setting)
        return readSetting(name, callerDefault);
    std::string defaultText;
    switch (setting->from) {
    case settings::DefaultFrom::Text:
        defaultText = setting->defaultText;
        break;
    case settings::DefaultFrom::CurrentFolder:
        defaultText = QDir::currentPath().toStdString();
        break;
    case settings::DefaultFrom::ProgramFolder:
        defaultText = m_programFolder;
        break;
    case settings::DefaultFrom::Caller:
    case settings::DefaultFrom::None:
        defaultText = callerDefault;
        break;
    }
    return readSetting(setting->name, defaultText, setting->section);
}

int Settings::savedBarCount() const
{
    return m_registry.readDword(Hive::CurrentUser, keyOf("Layout-Summary"), "Bars");
}

void restoreWindowPlacement(const Settings& settings, QWidget* window, std::string_view section, int defaultHeight,
                            int defaultWidth)
{
    if (window->isMaximized() || window->isMinimized() || window->isFullScreen())
        return;
    const double dpi = twips::logicalDpi(window);
    // Each value is applied as soon as it is read; the first one that is not usable ends the restore.
    auto read = [&](std::string_view name, std::string_view fallback) {
        return settings::parseNumber(settings.readSetting(name, fallback, section));
    };
    const auto top = read("Top", "0");
    if (!top)
        return;
    window->move(window->x(), twips::toPixels(*top, dpi));
    const auto left = read("Left", "0");
    if (!left)
        return;
    window->move(twips::toPixels(*left, dpi), window->y());
    const auto height = read("Height", settings::numberText(defaultHeight));
    if (!height || *height < 0)
        return;
    window->resize(window->width(), twips::toPixels(*height, dpi));
    const auto width = read("Width", settings::numberText(defaultWidth));
    if (!width || *width < 0)
        return;
    window->resize(twips::toPixels(*width, dpi), window->height());
}

void saveWindowPlacement(Settings& settings, const QWidget* window, std::string_view section)
{
    const double dpi = twips::logicalDpi(window);
    const QRect frame = window->geometry();
    const QPoint corner = window->pos();
    settings.writeSetting("Top", settings::numberText(twips::fromPixels(corner.y(), dpi)), section);
    settings.writeSetting("Left", settings::numberText(twips::fromPixels(corner.x(), dpi)), section);
    settings.writeSetting("Height", settings::numberText(twips::fromPixels(frame.height(), dpi)), section);
    settings.writeSetting("Width", settings::numberText(twips::fromPixels(frame.width(), dpi)), section);
}
