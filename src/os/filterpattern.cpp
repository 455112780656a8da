#include "os/filterpattern.h"

#include "os/casefolding.h"
#include "os/filelisting.h"

#include <algorithm>

namespace {

// Outside every character's range, so they cannot meet a character of a name.
constexpr char32_t anyRun = 0x110000;
constexpr char32_t anyOne = 0x110001;

char32_t asciiFolded(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? char32_t(c - 'A' + 'a') : char32_t(c);
}

bool isAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The usual one-step-back wildcard walk: on a mismatch only the last "*" takes one more character, so the
// work is bounded by name length times pattern length (no nested backtracking).
template <typename Name> bool globMatch(const std::u32string& pattern, const Name& name, std::size_t nameLength)
{
    std::size_t i = 0;
    std::size_t j = 0;
    std::size_t star = std::size_t(-1);
    std::size_t mark = 0;
    const std::size_t m = pattern.size();
    while (i < nameLength) {
        if (j < m && pattern[j] != anyRun && (pattern[j] == anyOne || pattern[j] == name(i))) {
            ++i;
            ++j;
        } else if (j < m && pattern[j] == anyRun) {
            star = j++;
            mark = i;
        } else if (star != std::size_t(-1)) {
            j = star + 1;
            i = ++mark;
        } else {
            return false;
        }
    }
    while (j < m && pattern[j] == anyRun)
        ++j;
    return j == m;
}

// The blanks Qt's QChar::isSpace knows, which the filter box drops around each pattern.
bool isBlank(char32_t c)
{
    return c == U' ' || (c >= U'\t' && c <= U'\r') || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

} // namespace

FilterPattern::FilterPattern(std::string_view text)
{
    const std::u32string characters = utf8Characters(text);
    for (std::size_t start = 0; start <= characters.size();) {
        const std::size_t end = std::min(characters.find(U';', start), characters.size());
        std::size_t first = start, last = end;
        start = end + 1;
        while (first < last && isBlank(characters[first]))
            ++first;
        while (last > first && isBlank(characters[last - 1]))
            --last;
        if (first == last)
            continue;
        std::u32string symbols;
        bool usable = true;
        for (std::size_t i = first; i < last; ++i) {
            const char32_t c = caseFolded(characters[i]);
            if (c < 0x80 && charactersNotInFileNames.find(char(c)) != std::string_view::npos)
                usable = false;
            const char32_t symbol = c == U'*' ? anyRun : c == U'?' ? anyOne : c;
            if (symbol == anyRun && !symbols.empty() && symbols.back() == anyRun)
                continue; // "**" is "*"
            symbols.push_back(symbol);
        }
        if (!usable)
            continue;
        const std::size_t n = symbols.size();
        if (n >= 2 && symbols[n - 2] == U'.' && symbols[n - 1] == anyRun)
            add({symbols.begin(), symbols.end() - 2}, true);
        add(std::move(symbols), false);
    }
}

void FilterPattern::add(std::u32string symbols, bool dotless)
{
    Alternative alternative;
    alternative.hasStar = std::find(symbols.begin(), symbols.end(), anyRun) != symbols.end();
    alternative.fixedLength = symbols.size() - std::size_t(std::count(symbols.begin(), symbols.end(), anyRun));
    alternative.dotless = dotless;
    alternative.symbols = std::move(symbols);
    if (alternative.symbols.empty())
        return; // only a ".*" ending: no name is empty
    m_alternatives.push_back(std::move(alternative));
}

bool FilterPattern::matches(std::string_view name) const
{
    if (m_alternatives.empty() || name.empty())
        return false;
    const bool hasDot = name.find('.') != std::string_view::npos;
    auto matchAll = [&](const auto& at, std::size_t length) {
        for (const Alternative& a : m_alternatives) {
            if ((a.dotless && hasDot) || a.fixedLength > length || (!a.hasStar && a.fixedLength != length))
                continue;
            if (globMatch(a.symbols, at, length))
                return true;
        }
        return false;
    };
    if (isAscii(name)) {
        return matchAll([name](std::size_t i) { return asciiFolded(static_cast<unsigned char>(name[i])); },
                        name.size());
    }
    // A "?" takes one whole character, not one byte.
    const std::u32string folded = foldedName(name);
    return matchAll([&folded](std::size_t i) { return folded[i]; }, folded.size());
}
