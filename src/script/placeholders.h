#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// The template language's placeholders: their names, how a line is read for them, and the value each one
// stands for with a drawing. The expansion and the check both read a template through this, so they can
// never disagree about what a line turns into.
namespace script {

enum class Placeholder : unsigned char
{
    FullName,      // %f: the folder and the name, joined by the platform's separator
    SlashFullName, // %lfullname: the same with '/' for every separator
    Path,          // %path: the listing folder
    SlashPath,     // %lpath: the same with '/' for every separator
    Name,          // %name: the name up to its last dot
    Ext,           // %ext: what follows the last dot
    Project,       // %m: the project name
    Date,          // %date
    Time,          // %time
};

// In the order they are tried at each position of a line: where two could be read, the earlier wins.
inline constexpr std::string_view placeholderNames[] = {"%f",   "%lfullname", "%path", "%lpath", "%name",
                                                        "%ext", "%m",         "%date", "%time"};
inline constexpr std::size_t placeholderCount = std::size(placeholderNames);

constexpr std::string_view nameOf(Placeholder placeholder)
{
    return placeholderNames[static_cast<std::size_t>(placeholder)];
}

// The placeholder that text begins with, or -1 (text begins with '%' when it can hold one).
int placeholderAt(std::string_view text);

// The value holds (a part of) the drawing's name, or of the listing folder.
bool carriesName(Placeholder placeholder);
bool carriesFolder(Placeholder placeholder);

// A path with '/' in place of every separator, as %lfullname and %lpath give it.
std::string withSlashes(std::string_view path, char separator);

// What the placeholders stand for in one run, drawing by drawing. Views into the values stay valid until the
// next setDrawing or setDateTime; the folder and project name are the caller's and must outlive this.
class PlaceholderValues final
{
public:
    PlaceholderValues(std::string_view listingFolder, std::string_view projectName, char separator);

    void setDrawing(std::string_view name);
    void setDateTime(std::string date, std::string time);

    std::string_view value(Placeholder placeholder) const { return m_values[static_cast<std::size_t>(placeholder)]; }

private:
    std::string_view m_folder;
    char m_separator;
    std::string m_slashFolder;
    std::string m_fullName;
    std::string m_slashFullName;
    std::string m_date;
    std::string m_time;
    std::array<std::string_view, placeholderCount> m_values{};
};

} // namespace script
