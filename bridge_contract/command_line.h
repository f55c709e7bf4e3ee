// The bridge's command line, "Title#ToolFolder\": split by the bridge, checked and
// built by hosts. Plain text handling with no platform calls and nothing from the C++
// library, so that the bridge and every host link the one copy.
#pragma once

#include <stddef.h>

struct CommandLineParts {
    char* title;        // null when the text holds nothing but '#' characters
    const char* folder; // never null; empty when no '#' follows the title
};

// Splits in place as strtok_s(text, "#", &context) followed by "the rest is the
// folder" does: leading '#' are skipped, the '#' that ends the title becomes a
// terminator, and every later '#' stays in the folder.
CommandLineParts SplitCommandLine(char* text);

// The arguments of a whole process command line (GetCommandLineA's text): what
// follows the program name, which may be quoted, and the blanks and control
// characters after it. This is the text the platform's C runtime gives WinMain.
const char* CommandLineArguments(const char* commandLine);

// Null when the title and folder reach the bridge unchanged, else why not: the
// arguments drop the blanks and control characters that lead them, the split ends
// the title at its first '#', and the bridge appends file names to the folder as it
// is.
const char* CheckCommandLineParts(const char* title, const char* toolFolder);

// True for a folder that is not empty and does not end in the backslash the command
// line needs, which a host may add for its user.
bool ToolFolderLacksEnd(const char* toolFolder);

// Writes "\"<bridge path>\" Title#ToolFolder\" and its terminator into line when size
// holds them, and nothing otherwise. The path is quoted for CreateProcessA; the rest
// goes raw, since the bridge splits it itself. Returns the length without terminator.
size_t BuildCommandLine(const char* bridgePath, const char* title, const char* toolFolder,
                        char* line, size_t size);
