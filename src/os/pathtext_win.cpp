#include "os/pathtext.h"

#include <windows.h>

#include <climits>

namespace {

// The text in one code page as the same text in another, through UTF-16.
std::string convert(std::string_view bytes, UINT from, UINT to)
{
    if (bytes.empty() || bytes.size() > std::size_t(INT_MAX))
        return {};
    const int size = int(bytes.size());
    const int wide = MultiByteToWideChar(from, 0, bytes.data(), size, nullptr, 0);
    if (wide <= 0)
        return {};
    std::wstring utf16(std::size_t(wide), L'\0');
    MultiByteToWideChar(from, 0, bytes.data(), size, utf16.data(), wide);
    const int narrow = WideCharToMultiByte(to, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0)
        return {};
    std::string text(std::size_t(narrow), '\0');
    WideCharToMultiByte(to, 0, utf16.data(), wide, text.data(), narrow, nullptr, nullptr);
    return text;
}

} // namespace

std::string pathText(std::string_view bytes)
{
    return convert(bytes, CP_ACP, CP_UTF8);
}

std::string systemText(std::string_view text)
{
    return convert(text, CP_UTF8, CP_ACP);
}

Result<std::string> exactSystemText(std::string_view text)
{
    const UINT page = GetACP();
    if (text.empty() || page == CP_UTF8)
        return std::string(text);
    const auto refused = [] { return Result<std::string>::failure("ANSI-teckentabellen saknar en bokstav i namnet"); };
    if (text.size() > std::size_t(INT_MAX))
        return refused();
    const int size = int(text.size());
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (wide <= 0)
        return refused();
    std::wstring utf16(std::size_t(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, utf16.data(), wide);
    BOOL lacking = FALSE;
    const int narrow =
        WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, utf16.data(), wide, nullptr, 0, nullptr, &lacking);
    if (narrow <= 0 || lacking)
        return refused();
    std::string bytes(std::size_t(narrow), '\0');
    WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, utf16.data(), wide, bytes.data(), narrow, nullptr, &lacking);
    if (lacking)
        return refused();
    return bytes;
}
