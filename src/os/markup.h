#pragma once

#include <string>
#include <string_view>

// Text for HTML and XML, in a body or a quoted attribute: the five characters that could end or start markup
// become references; everything else (UTF-8 included) is kept as it is.
inline void appendMarkupEscaped(std::string& out, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out.push_back(c);
        }
    }
}

inline std::string markupEscaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    appendMarkupEscaped(out, text);
    return out;
}
