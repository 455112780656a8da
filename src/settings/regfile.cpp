#include "settings/regfile.h"

#include <cctype>
#include <charconv>
#include <algorithm>
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
char32_t cp1252(unsigned char c)
{
    static constexpr char16_t high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                          0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    return (c >= 0x80 && c < 0xA0) ? high[c - 0x80] : c;
}

std::string cp1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes)
        appendUtf8(out, cp1252(c));
    return out;
}

std::string cp1252ToUtf16le(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        const char32_t unit = cp1252(c); // every one lies in the basic plane
        out += char(unit & 0xFF);
        out += char(unit >> 8);
    }
    return out;
}

// The file's text as UTF-8, whatever its encoding. The registry editor reads no further than a NUL.
std::string decodeText(std::string_view bytes)
{
    std::string text;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
        text = utf16leToUtf8(bytes.substr(2));
    else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        text = replacingNonUtf8(bytes.substr(3)); // the mark promises UTF-8: what is not, is no text
    else if (bytes.size() >= 4 && bytes[0] != '\0' && bytes[1] == '\0' && bytes[2] != '\0' && bytes[3] == '\0')
        text = utf16leToUtf8(bytes); // UTF-16LE without a byte-order mark
    else
        text = isValidUtf8(bytes) ? std::string(bytes) : cp1252ToUtf8(bytes);
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view skipBlanks(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

// Whether nothing but blanks and perhaps a comment follows.
bool endsHere(std::string_view s)
{
    s = skipBlanks(s);
    return s.empty() || s.front() == ';';
}

// A line ends at CR LF, LF or a CR alone.
std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

enum class Outcome
{
    Taken,
    Refused, // the line (or the value's lines) is passed over
    Stop,    // the registry editor gives up on the rest of the file
};

// A quoted text; s begins after the opening quote and is left after the closing one. Escapes: \\ \" \n \r;
// any other escaped character stands for itself. "\0", or a backslash that ends the line, refuses a name and
// ends the whole import when met in a value's text.
Outcome unquote(std::string_view& s, bool isData, std::string& out)
{
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return Outcome::Taken;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == s.size() || s[i] == '0')
            return isData ? Outcome::Stop : Outcome::Refused;
        out += s[i] == 'n' ? '\n' : s[i] == 'r' ? '\r' : s[i];
    }
    return Outcome::Refused;
}

// A hexadecimal number at the start of s, read as the C library's strtoul reads it (leading blanks, a sign and
// "0x" allowed), at most largest; s is left after it.
std::optional<std::uint32_t> number(std::string_view& s, std::uint32_t largest)
{
    const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    if (i + 2 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') && isHex(s[i + 2]))
        i += 2;
    const size_t first = i;
    std::uint64_t value = 0;
    for (; i < s.size() && isHex(s[i]); ++i) {
        unsigned digit = 0;
        std::from_chars(s.data() + i, s.data() + i + 1, digit, 16);
        value = std::min<std::uint64_t>(value * 16 + digit, std::uint64_t(largest) + 1);
    }
    if (i == first || value > largest || (negative && value != 0))
        return std::nullopt;
    s.remove_prefix(i);
    return std::uint32_t(value);
}

enum class HexLine
{
    Done,
    Continues,
    Refused,
};

// Where an item may begin (after the colon or a comma): the end of the line's data, a continuation, or nothing
// when an item follows.
std::optional<HexLine> endOfItems(std::string_view s)
{
    s = skipBlanks(s);
    if (s.empty() || s.front() == ';')
        return HexLine::Done;
    if (s.front() == '\\')
        return endsHere(s.substr(1)) ? HexLine::Continues : HexLine::Refused;
    return std::nullopt;
}

// The bytes of one line of hex data, appended to out. Items are separated by commas; a '\' continues the value
// on the next line, but only where an item may begin: right after the colon or after a comma.
HexLine hexLine(std::string_view s, bool afterColon, std::string& out)
{
    if (afterColon) {
        if (const auto end = endOfItems(s))
            return *end;
    }
    for (;;) {
        const auto byte = number(s, 0xFF);
        if (!byte)
            return HexLine::Refused;
        out += char(*byte);
        if (s.empty() || s.front() != ',')
            return endsHere(s) ? HexLine::Done : HexLine::Refused;
        s.remove_prefix(1);
        if (const auto end = endOfItems(s))
            return *end;
    }
}

// The value part after '=' on lines[i]; hex data may go on over the lines that follow (i is left on its last).
// version5: the file's header is "Windows Registry Editor Version 5.00".
Outcome readValue(const std::vector<std::string_view>& lines, size_t& i, std::string_view s, bool version5,
                  RegFileChange& change)
{
    if (s.starts_with('-')) {
        change.kind = RegFileChange::Kind::DeleteValue;
        return endsHere(s.substr(1)) ? Outcome::Taken : Outcome::Refused;
    }
    if (s.starts_with('"')) {
        s.remove_prefix(1);
        const Outcome outcome = unquote(s, true, change.data);
        change.type = 1;
        return outcome != Outcome::Taken ? outcome : endsHere(s) ? Outcome::Taken : Outcome::Refused;
    }
    // The type words are written in lower case only.
    if (s.starts_with("dword:")) {
        s = skipBlanks(s.substr(6));
        size_t digits = 0;
        while (digits < s.size() && std::isxdigit(static_cast<unsigned char>(s[digits])))
            ++digits;
        if (digits == 0 || digits > 8 || !endsHere(s.substr(digits)))
            return Outcome::Refused;
        std::uint32_t value = 0;
        std::from_chars(s.data(), s.data() + digits, value, 16);
        change.type = 4;
        for (int shift = 0; shift < 32; shift += 8)
            change.data += char((value >> shift) & 0xFF);
        return Outcome::Taken;
    }
    if (!s.starts_with("hex"))
        return Outcome::Refused;
    s.remove_prefix(3);
    change.type = 3;
    if (s.starts_with('(')) {
        s.remove_prefix(1);
        const auto type = number(s, 0xFFFFFFFF);
        if (!type || !s.starts_with(')'))
            return Outcome::Refused;
        change.type = *type;
        s.remove_prefix(1);
    }
    if (!s.starts_with(':'))
        return Outcome::Refused;
    std::string data;
    HexLine state = hexLine(s.substr(1), true, data);
    // Blank lines and comment lines inside the data are passed over; the end of the file ends the value.
    while (state == HexLine::Continues && i + 1 < lines.size()) {
        const std::string_view next = skipBlanks(lines[++i]);
        if (!next.empty() && next.front() != ';')
            state = hexLine(next, false, data);
    }
    if (state == HexLine::Refused)
        return Outcome::Refused;
    // Texts given as bytes (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are UTF-16LE in a version 5 file, as the
    // registry keeps them, and code page bytes in a REGEDIT4 file, which are widened. The header says which, not
    // the file's encoding: a version 5 export that an editor saved again in UTF-8 still holds UTF-16 bytes, and
    // widening them puts a NUL after every letter. A text given without its NUL gets one.
    const bool text = change.type == 1 || change.type == 2 || change.type == 7;
    if (text && !version5)
        data = cp1252ToUtf16le(data);
    if (text && data.size() >= 2 && data.size() % 2 == 0 && (data.back() != '\0' || data[data.size() - 2] != '\0'))
        data.append(2, '\0');
    if (text) {
        // A text reads up to its first NUL; a multi-string keeps its NULs, which separate and end its strings.
        data = utf16leToUtf8(data);
        if (change.type != 7)
            data.resize(std::min(data.size(), data.find('\0')));
    }
    change.data = std::move(data);
    return Outcome::Taken;
}

// A key path as the registry keeps it: no empty names between backslashes, none at the end.
std::string keyPath(std::string_view name)
{
    std::string path;
    for (char c : name) {
        if (c != '\\' || (!path.empty() && path.back() != '\\'))
            path += c;
    }
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
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
    const std::vector<std::string_view> lines = splitLines(text);
    // The header is the first line, blanks in front of it allowed and nothing after it.
    if (lines.empty() || (skipBlanks(lines[0]) != header4 && skipBlanks(lines[0]) != header5))
        return file;
    file.valid = true;
    const bool version5 = skipBlanks(lines[0]) == header5;

    std::string key; // empty: no key open (none yet, the last one deleted, or an empty name)
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = skipBlanks(lines[i]);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            // The name runs to the last ']'. A line without one, or with a blank after '[', names no key, and
            // the key open before stays open.
            const size_t close = line.rfind(']');
            if (close == std::string_view::npos || (line.size() > 1 && isBlank(line[1]))) {
                ++file.skippedLines;
                continue;
            }
            const std::string_view name = line.substr(1, close - 1);
            if (name.starts_with('-')) {
                file.changes.push_back({RegFileChange::Kind::DeleteKey, keyPath(name.substr(1)), {}, 0, {}});
                key.clear();
            } else {
                key = keyPath(name);
            }
            continue;
        }
        RegFileChange change;
        std::string_view rest = line.substr(1);
        Outcome outcome = Outcome::Refused;
        if (line.front() == '@')
            outcome = Outcome::Taken;
        else if (line.front() == '"')
            outcome = unquote(rest, false, change.name);
        rest = skipBlanks(rest);
        if (outcome == Outcome::Taken && rest.starts_with('='))
            outcome = readValue(lines, i, skipBlanks(rest.substr(1)), version5, change);
        else
            outcome = Outcome::Refused;
        if (outcome != Outcome::Taken || key.empty()) {
            ++file.skippedLines;
            if (outcome == Outcome::Stop)
                break;
            continue;
        }
        change.key = key;
        file.changes.push_back(std::move(change));
    }
    return file;
}
