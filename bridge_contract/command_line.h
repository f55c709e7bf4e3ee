// The bridge's side of its command line, "Title#ToolFolder\": the split, and the
// arguments taken from the process's whole command line. Hosts check and build the line
// with the rules in sdk/lumaro_bridge.h. Plain text handling with no platform calls and
// nothing from the C++ library, so that the bridge and the test doubles link one copy.
#pragma once

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
