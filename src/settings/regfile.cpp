#include "settings/regfile.h"

#include <cctype>
#include <charconv>
#include <optional>

namespace {

constexpr std::string_view header4 = "REGEDIT4";
constexpr std::string_view header5 = "Windows Registry Editor Version 5.00";

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string utf16leToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t unit = char32_t(static_cast<unsigned char>(bytes[i])) |
                        (char32_t(static_cast<unsigned char>(bytes[i + 1])) << 8);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            const char32_t low = char32_t(static_cast<unsigned char>(bytes[i + 2])) |
                                 (char32_t(static_cast<unsigned char>(bytes[i + 3])) << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000)
            unit = 0xFFFD;
        appendUtf8(out, unit);
    }
    return out;
}

// The length of the well-formed UTF-8 sequence at s[i]; 0 when none begins there (a stray continuation byte,
// a cut sequence, an overlong form, a surrogate or a code point beyond U+10FFFF).
size_t utf8Length(std::string_view s, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    // The second byte's range depends on the first; the later ones are plain continuation bytes.
    unsigned char low = 0x80, high = 0xBF;
    size_t length = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > s.size() || byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (size_t k = 2; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

bool isValidUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        const size_t length = utf8Length(s, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

// The text with U+FFFD for every byte that begins no well-formed sequence.
std::string replacingNonUtf8(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const size_t length = utf8Length(s, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(s.substr(i, length));
            i += length;
        }
    }
    return out;
}

// Windows-1252, the single-byte code page a Swedish Windows writes REGEDIT4 files in.
std::string cp1252ToUtf8(std::string_view bytes)
{
    static constexpr char16_t high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                          0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c >= 0x80 && c < 0xA0)
            appendUtf8(out, high[c - 0x80]);
        else
            appendUtf8(out, c);
    }
    return out;
}

// The file's text as UTF-8, whatever its encoding.
std::string decodeText(std::string_view bytes)
{
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
        return utf16leToUtf8(bytes.substr(2));
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return replacingNonUtf8(bytes.substr(3)); // the mark promises UTF-8: what is not, is no text
    // UTF-16LE without a byte-order mark: every second byte of the ASCII header is NUL.
    if (bytes.size() >= 4 && bytes[0] != '\0' && bytes[1] == '\0' && bytes[2] != '\0' && bytes[3] == '\0')
        return utf16leToUtf8(bytes);
    return isValidUtf8(bytes) ? std::string(bytes) : cp1252ToUtf8(bytes);
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Logical lines: a line whose last character is '\' continues on the next one.
std::vector<std::string> logicalLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string current;
    bool continuing = false;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line = std::string_view(text).substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (continuing)
            line = trim(line);
        current += line;
        // Only the line just added is looked at again: a value continued over many lines costs no more than
        // its length. The text carried over has no blanks in front.
        const std::string_view trimmed = trim(current);
        continuing = !trimmed.empty() && trimmed.back() == '\\' && trimmed.front() != '[';
        if (continuing) {
            const size_t leading = size_t(trimmed.data() - current.data());
            current.resize(leading + trimmed.size() - 1);
            current.erase(0, leading);
        } else {
            lines.push_back(std::move(current));
            current.clear();
        }
        start = end + 1;
    }
    if (!current.empty())
        lines.push_back(std::move(current));
    return lines;
}

// A quoted string at the start of s; its end is stored in used. Escapes: \\ and \".
std::optional<std::string> quoted(std::string_view s, size_t& used)
{
    if (s.empty() || s.front() != '"')
        return std::nullopt;
    std::string out;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char next = s[i + 1];
            if (next == '\\' || next == '"') {
                out += next;
                ++i;
                continue;
            }
            if (next == 'n') { // written by newer editors for multi-line texts
                out += '\n';
                ++i;
                continue;
            }
            out += '\\';
        } else if (s[i] == '"') {
            used = i + 1;
            return out;
        } else {
            out += s[i];
        }
    }
    return std::nullopt;
}

std::optional<std::string> hexBytes(std::string_view s)
{
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == ',' || c == ' ' || c == '\t') {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < s.size() && end - i < 2 && std::isxdigit(static_cast<unsigned char>(s[end])))
            ++end;
        if (end == i || (end < s.size() && s[end] != ',' && s[end] != ' ' && s[end] != '\t'))
            return std::nullopt;
        unsigned value = 0;
        std::from_chars(s.data() + i, s.data() + end, value, 16);
        out += char(value);
        i = end;
    }
    return out;
}

// The value part after '=': fills type and data, or says the line is malformed.
bool parseValue(std::string_view s, bool unicode, RegFileChange& change)
{
    s = trim(s);
    if (s == "-") {
        change.kind = RegFileChange::Kind::DeleteValue;
        return true;
    }
    if (!s.empty() && s.front() == '"') {
        size_t used = 0;
        auto text = quoted(s, used);
        if (!text || !trim(s.substr(used)).empty())
            return false;
        change.type = 1;
        change.data = std::move(*text);
        return true;
    }
    if (startsWithIgnoringCase(s, "dword:")) {
        const std::string_view digits = s.substr(6);
        std::uint32_t number = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
        if (digits.empty() || digits.size() > 8 || ec != std::errc() || end != digits.data() + digits.size())
            return false;
        change.type = 4;
        change.data.assign(reinterpret_cast<const char*>(&number), 4);
        return true;
    }
    if (startsWithIgnoringCase(s, "hex")) {
        std::string_view rest = s.substr(3);
        std::uint32_t type = 3;
        if (!rest.empty() && rest.front() == '(') {
            const size_t close = rest.find(')');
            if (close == std::string_view::npos)
                return false;
            auto [end, ec] = std::from_chars(rest.data() + 1, rest.data() + close, type, 16);
            if (ec != std::errc() || end != rest.data() + close)
                return false;
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':')
            return false;
        auto data = hexBytes(rest.substr(1));
        if (!data)
            return false;
        if (type == 1) { // a text given as bytes: UTF-16LE in version 5 files, NUL-terminated
            std::string text = unicode ? utf16leToUtf8(*data) : cp1252ToUtf8(*data);
            text = text.substr(0, text.find('\0'));
            *data = std::move(text);
        }
        change.type = type;
        change.data = std::move(*data);
        return true;
    }
    return false;
}

} // namespace

bool startsWithIgnoringCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(s[i]) != lower(prefix[i]))
            return false;
    }
    return true;
}

RegFile parseRegFile(std::string_view bytes)
{
    RegFile file;
    const std::string text = decodeText(bytes);
    const std::vector<std::string> lines = logicalLines(text);

    size_t first = 0;
    while (first < lines.size() && trim(lines[first]).empty())
        ++first;
    if (first == lines.size())
        return file;
    const std::string_view header = trim(lines[first]);
    const bool unicode = header == header5;
    if (!unicode && header != header4)
        return file;
    file.valid = true;

    std::string key; // empty: no key open (none yet, or the last one was deleted)
    for (size_t i = first + 1; i < lines.size(); ++i) {
        const std::string_view line = trim(lines[i]);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']') {
                ++file.skippedLines;
                key.clear();
                continue;
            }
            std::string_view name = line.substr(1, line.size() - 2);
            if (!name.empty() && name.front() == '-') {
                file.changes.push_back({RegFileChange::Kind::DeleteKey, std::string(name.substr(1)), {}, 0, {}});
                key.clear();
            } else {
                key = std::string(name);
            }
            continue;
        }
        RegFileChange change;
        size_t used = 0;
        if (line.front() == '@') {
            used = 1;
        } else if (auto name = quoted(line, used)) {
            change.name = std::move(*name);
        } else {
            ++file.skippedLines;
            continue;
        }
        const std::string_view rest = trim(line.substr(used));
        if (key.empty() || rest.empty() || rest.front() != '=' || !parseValue(rest.substr(1), unicode, change)) {
            ++file.skippedLines;
            continue;
        }
        change.key = key;
        file.changes.push_back(std::move(change));
    }
    return file;
}
