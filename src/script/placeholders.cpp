#include "script/placeholders.h"

#include "script/paths.h"

#include <algorithm>

namespace script {

namespace {

// For each character that may follow a '%', the placeholders that start with it, as bits in table order.
struct PlaceholderIndex
{
    unsigned short candidates[256] = {};

    constexpr PlaceholderIndex()
    {
        for (std::size_t i = 0; i < placeholderCount; ++i)
            candidates[static_cast<unsigned char>(placeholderNames[i][1])] |= static_cast<unsigned short>(1u << i);
    }
};
constexpr PlaceholderIndex placeholderIndex;

} // namespace

int placeholderAt(std::string_view text)
{
    if (text.size() < 2 || text[0] != '%')
        return -1;
    unsigned candidates = placeholderIndex.candidates[static_cast<unsigned char>(text[1])];
    for (int i = 0; candidates != 0; ++i, candidates >>= 1) {
        if ((candidates & 1u) && text.starts_with(placeholderNames[i]))
            return i;
    }
    return -1;
}

bool carriesName(Placeholder placeholder)
{
    return placeholder == Placeholder::FullName || placeholder == Placeholder::SlashFullName ||
           placeholder == Placeholder::Name || placeholder == Placeholder::Ext;
}

bool carriesFolder(Placeholder placeholder)
{
    return placeholder == Placeholder::FullName || placeholder == Placeholder::SlashFullName ||
           placeholder == Placeholder::Path || placeholder == Placeholder::SlashPath;
}

std::string withSlashes(std::string_view path, char separator)
{
    std::string result(path);
    if (separator != '/')
        std::replace(result.begin(), result.end(), separator, '/');
    return result;
}

PlaceholderValues::PlaceholderValues(std::string_view listingFolder, std::string_view projectName, char separator)
    : m_folder(listingFolder), m_separator(separator), m_slashFolder(withSlashes(listingFolder, separator))
{
    m_values[std::size_t(Placeholder::Path)] = m_folder;
    m_values[std::size_t(Placeholder::SlashPath)] = m_slashFolder;
    m_values[std::size_t(Placeholder::Project)] = projectName;
}

void PlaceholderValues::setDrawing(std::string_view name)
{
    m_fullName = joinPath(m_folder, name, m_separator);
    m_slashFullName = withSlashes(m_fullName, m_separator);
    // A name without a dot is all name and no extension.
    const auto dot = name.rfind('.');
    m_values[std::size_t(Placeholder::FullName)] = m_fullName;
    m_values[std::size_t(Placeholder::SlashFullName)] = m_slashFullName;
    m_values[std::size_t(Placeholder::Name)] = dot == std::string_view::npos ? name : name.substr(0, dot);
    m_values[std::size_t(Placeholder::Ext)] = dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
}

void PlaceholderValues::setDateTime(std::string date, std::string time)
{
    m_date = std::move(date);
    m_time = std::move(time);
    m_values[std::size_t(Placeholder::Date)] = m_date;
    m_values[std::size_t(Placeholder::Time)] = m_time;
}

} // namespace script
