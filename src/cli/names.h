#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

// The drawing names of standard input, one a line, appended to names as the bytes they are; a CR before
// the LF belongs to the line end, empty lines name nothing. False when the input cannot be read.
bool readNames(std::FILE* input, std::vector<std::string>& names);

} // namespace cli
