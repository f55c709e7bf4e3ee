// Paths for the tool launch. The folder is taken as given (it is expected to end in a
// backslash): nothing is inserted between the parts and nothing is normalised.
#pragma once

// The two parts back to back in a new string that the caller frees with free();
// null when there is no memory for it.
char* JoinPath(const char* folder, const char* name);
