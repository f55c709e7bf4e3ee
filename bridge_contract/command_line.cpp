#include "command_line.h"

#include <string.h>

#include "bridge_contract.h"

CommandLineParts SplitCommandLine(char* text)
{
    char* p = text;
    while (*p == COMMAND_LINE_SEPARATOR) {
        ++p;
    }
    if (*p == '\0') {
        return {nullptr, p};
    }
    char* title = p;
    while (*p != '\0' && *p != COMMAND_LINE_SEPARATOR) {
        ++p;
    }
    if (*p == COMMAND_LINE_SEPARATOR) {
        *p++ = '\0';
    }
    return {title, p};
}

// Blanks and control characters; compared unsigned, so that bytes beyond ASCII stay.
static bool IsSpaceOrControl(char c)
{
    return static_cast<unsigned char>(c) <= ' ' && c != '\0';
}

const char* CommandLineArguments(const char* commandLine)
{
    const char* p = commandLine;
    if (*p == '"') {
        // A quoted program name ends at the next quote; it holds no escapes.
        for (++p; *p != '\0' && *p != '"'; ++p) {
        }
        if (*p == '"') {
            ++p;
        }
    } else {
        while (*p != '\0' && !IsSpaceOrControl(*p)) {
            ++p;
        }
    }
    while (IsSpaceOrControl(*p)) {
        ++p;
    }
    return p;
}

const char* CheckCommandLineParts(const char* title, const char* toolFolder)
{
    if (title == nullptr || title[0] == '\0') {
        return "the window title is empty";
    }
    if (IsSpaceOrControl(title[0])) {
        return "the window title starts with a blank or control character, which the bridge's "
               "command line drops";
    }
    if (strchr(title, COMMAND_LINE_SEPARATOR) != nullptr) {
        return "the window title contains '#', which the bridge takes as the end of the title";
    }
    if (toolFolder == nullptr || toolFolder[0] == '\0') {
        return "the tool folder is empty";
    }
    if (ToolFolderLacksEnd(toolFolder)) {
        return "the tool folder must end in a backslash";
    }
    return nullptr;
}

bool ToolFolderLacksEnd(const char* toolFolder)
{
    size_t length = strlen(toolFolder);
    return length > 0 && toolFolder[length - 1] != TOOL_FOLDER_END;
}

static char* Put(char* at, const char* text, size_t length)
{
    memcpy(at, text, length);
    return at + length;
}

size_t BuildCommandLine(const char* bridgePath, const char* title, const char* toolFolder,
                        char* line, size_t size)
{
    const size_t pathLength = strlen(bridgePath);
    const size_t titleLength = strlen(title);
    const size_t folderLength = strlen(toolFolder);
    // Two quotes, the blank after the path and the separator.
    const size_t length = pathLength + titleLength + folderLength + 4;
    if (line == nullptr || length >= size) {
        return length;
    }
    char* at = line;
    *at++ = '"';
    at = Put(at, bridgePath, pathLength);
    *at++ = '"';
    *at++ = ' ';
    at = Put(at, title, titleLength);
    *at++ = COMMAND_LINE_SEPARATOR;
    at = Put(at, toolFolder, folderLength);
    *at = '\0';
    return length;
}
