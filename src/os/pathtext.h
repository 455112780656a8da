#pragma once

#include "os/result.h"

#include <string>
#include <string_view>

// Paths and file names are bytes as the system keeps them: in the ANSI code page on Windows, UTF-8
// elsewhere. Every message that shows one takes it through this, so a message is UTF-8 throughout and a
// name with å, ä or ö reads as the user wrote it. Bytes that are no text in that encoding show as U+FFFD.
std::string pathText(std::string_view bytes);
// The other way: a text of ours (UTF-8) in the system's encoding, for what is kept beside names and paths (a
// journal's reasons). A letter the ANSI code page lacks becomes its best fit or '?'.
std::string systemText(std::string_view text);
// The same for a path: exactly the text, or a failure when the ANSI code page cannot hold one of its letters
// (a best fit would name another file).
Result<std::string> exactSystemText(std::string_view text);
