#include "script/scripttemplate.h"

#include <climits>
#include <windows.h>

// Scripts are read by the CAD program in the ANSI code page, the code page the narrow file calls give the names
// in: a template written in UTF-8 is put into that page.

namespace script {

namespace {

std::wstring wide(std::string_view bytes, UINT codePage)
{
    if (bytes.empty() || bytes.size() > std::size_t(INT_MAX))
        return {};
    const int size = int(bytes.size());
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring text(std::size_t(length), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), length);
    return text;
}

} // namespace

ScriptText scriptTextFromUtf8(std::string_view text)
{
    if (GetACP() == CP_UTF8)
        return {std::string(text), true};
    const std::wstring utf16 = wide(text, CP_UTF8);
    if (utf16.empty())
        return {std::string(), text.empty()};
    const int length = int(utf16.size());
    // No best fit: a look-alike letter would pass for the right one where the script names a layer or a file.
    const int size =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, utf16.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {std::string(), false};
    std::string bytes(std::size_t(size), '\0');
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, utf16.data(), length, bytes.data(), size, nullptr, &lost);
    return {std::move(bytes), lost == FALSE};
}

std::string utf8FromTemplateText(std::string_view bytes)
{
    const std::wstring utf16 = wide(bytes, CP_ACP);
    if (utf16.empty())
        return {};
    const int length = int(utf16.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string text(std::size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, text.data(), size, nullptr, nullptr);
    return text;
}

} // namespace script
