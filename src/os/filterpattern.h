#pragma once

#include <string>
#include <string_view>
#include <vector>

// The filter box's pattern, and a job's: one or more patterns separated by ";", a name passing when it matches any of
// them. "*" matches any run of characters, also none, "?" exactly one; letters match without regard to
// case (os/casefolding.h). As in the file search users know, a pattern ending in ".*" also takes a name without any dot
// ("*.*" takes every name). Blanks around each pattern are dropped ("*.dwg; *.dxf").
//
// A pattern that can match no file name (empty, or holding a character no file name can hold) takes
// nothing; a text of only such patterns lists nothing.
//
// Matching takes time in proportion to the name's length times the pattern's at worst, however many "*"
// the pattern holds, and patterns longer than the name are turned down at once.
class FilterPattern
{
public:
    FilterPattern() = default;
    // text is UTF-8.
    explicit FilterPattern(std::string_view text);

    // Whether a file name, as the file system's bytes, passes. Bytes that are no text count as one unknown
    // character each.
    bool matches(std::string_view name) const;
    // No pattern can match anything.
    bool isEmpty() const { return m_alternatives.empty(); }

private:
    struct Alternative
    {
        std::u32string symbols;      // case-folded characters, with star and one for "*" and "?"
        std::size_t fixedLength = 0; // characters a name needs at least
        bool hasStar = false;
        bool dotless = false; // only for names without a dot (the ".*" ending dropped)
    };
    void add(std::u32string symbols, bool dotless);

    std::vector<Alternative> m_alternatives;
};
