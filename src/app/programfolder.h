#pragma once

#include <string>

class QString;

// The program folder: where the program's own files lie (Init.reg, the start drawing helvscr.dwg, the
// default template folder). That is the executable's own folder when it holds any of them (a build tree,
// or everything copied into one folder); in an installed layout (<prefix>/bin beside <prefix>/share) it
// is <prefix>/share/vendrel. Native separators; the bytes of the file system.
std::string programFolder(const QString& executableFolder);
