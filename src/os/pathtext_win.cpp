#include "os/pathtext.h"

#include <windows.h>

#include <climits>

std::string pathText(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > std::size_t(INT_MAX))
        return {};
    const int size = int(bytes.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    if (wide <= 0)
        return {};
    std::wstring utf16(std::size_t(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, utf16.data(), wide);
    const int narrow = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0)
        return {};
    std::string text(std::size_t(narrow), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, text.data(), narrow, nullptr, nullptr);
    return text;
}

std::string systemText(std::string_view text)
{
    if (text.empty() || text.size() > std::size_t(INT_MAX))
        return {};
    const int size = int(text.size());
    const int wide = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (wide <= 0)
        return {};
    std::wstring utf16(std::size_t(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, utf16.data(), wide);
    const int narrow = WideCharToMultiByte(CP_ACP, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0)
        return {};
    std::string bytes(std::size_t(narrow), '\0');
    WideCharToMultiByte(CP_ACP, 0, utf16.data(), wide, bytes.data(), narrow, nullptr, nullptr);
    return bytes;
}
