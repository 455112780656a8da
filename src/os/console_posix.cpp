#include "os/console.h"

#include <cstdio>

namespace console {

bool write(Stream stream, std::string_view text)
{
    std::FILE* file = stream == Stream::Output ? stdout : stderr;
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

} // namespace console
