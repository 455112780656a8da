#pragma once

#include <string>
#include <string_view>

// Names compared without regard to case, one way for the filter box, the list's order and jobs: Unicode's simple
// case folding, character for character as Qt's QString::toCaseFolded (Qt 6.4, Unicode 14), so a name matches
// and sorts the same in the window and on the command line, with or without Qt.

// The character folded; characters without case stand for themselves.
char32_t caseFolded(char32_t c);

// The characters of UTF-8 text, a byte that begins no valid sequence standing as U+FFFD on its own.
std::u32string utf8Characters(std::string_view text);

// The characters of a file name (the file system's bytes: the ANSI code page on Windows, UTF-8 elsewhere),
// each folded.
std::u32string foldedName(std::string_view name);

// The key the list orders names by: the folded name in UTF-8. Names equal but for case have one key; the
// list puts them in the order of their bytes.
std::string nameSortKey(std::string_view name);
