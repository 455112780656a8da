#pragma once

#include <string_view>

// What the command-line programs tell the user (messages, help, drawing names, findings) is UTF-8 text. A
// console shows every letter of it whatever its code page (Windows: through the console's wide-character
// output); written anywhere else (a file, a pipe) it is UTF-8 bytes, on every platform.
namespace console {

enum class Stream
{
    Output,
    Error,
};

// Writes text, UTF-8, to standard output or standard error; false when it could not be written whole.
bool write(Stream stream, std::string_view text);

} // namespace console
