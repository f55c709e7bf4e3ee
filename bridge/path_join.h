// Paths for the tool launch. The folder is taken as given (it is expected to end in a
// backslash): nothing is inserted between the parts and nothing is normalised.
#pragma once

#include <string>

std::string JoinPath(const char* folder, const char* name);
