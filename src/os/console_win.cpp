#include "os/console.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <windows.h>

namespace console {

bool write(Stream stream, std::string_view text)
{
    std::FILE* file = stream == Stream::Output ? stdout : stderr;
    const HANDLE handle = GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode) ||
        text.size() > std::size_t(INT_MAX))
        return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;

    // A console: whatever went through the C library before comes first.
    std::fflush(file);
    if (text.empty())
        return true;
    const int size = int(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (length <= 0)
        return false;
    std::wstring wide(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    // In pieces a console takes at once, never between the two halves of a surrogate pair.
    constexpr std::size_t piece = 8192;
    for (std::size_t from = 0; from < wide.size();) {
        std::size_t count = std::min(piece, wide.size() - from);
        if (from + count < wide.size() && IS_HIGH_SURROGATE(wide[from + count - 1]))
            --count;
        DWORD written = 0;
        if (!WriteConsoleW(handle, wide.data() + from, DWORD(count), &written, nullptr) || written == 0)
            return false;
        from += written;
    }
    return true;
}

} // namespace console
