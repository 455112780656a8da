#pragma once

#include <QString>
#include <string>
#include <string_view>

// Settings values, paths and file names are bytes as the system keeps them: in the ANSI code page on
// Windows, UTF-8 elsewhere. Whatever shows or edits one converts through these, so a name with å, ä or ö
// comes back as it went in.
QString nativeText(std::string_view bytes);
std::string nativeBytes(const QString& text);

// What a row shows of a file or folder name: bytes that are no text become replacement characters, control
// characters (a line break, a TAB) their visible symbols, so the name keeps its one cell and one line.
QString displayName(std::string_view bytes);
