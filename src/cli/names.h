#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// The drawing names of a text, one a line, appended to names as the bytes they are; a CR before the LF
// belongs to the line end, empty lines name nothing.
void splitNames(std::string_view text, std::vector<std::string>& names);

// The same for standard input read to its end. False when the input cannot be read.
bool readNames(std::FILE* input, std::vector<std::string>& names);

} // namespace cli
