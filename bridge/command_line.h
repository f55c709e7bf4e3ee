// Splitting the bridge's command line "Title#ToolFolder\" into its two parts.
#pragma once

struct CommandLineParts {
    char* title;        // null when the text holds nothing but '#' characters
    const char* folder; // never null; empty when no '#' follows the title
};

// Splits in place as strtok_s(text, "#", &context) followed by "the rest is the
// folder" does: leading '#' are skipped, the '#' that ends the title becomes a
// terminator, and every later '#' stays in the folder.
CommandLineParts SplitCommandLine(char* text);
