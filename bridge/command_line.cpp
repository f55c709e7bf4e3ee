#include "command_line.h"

CommandLineParts SplitCommandLine(char* text)
{
    char* p = text;
    while (*p == '#') {
        ++p;
    }
    if (*p == '\0') {
        return {nullptr, p};
    }
    char* title = p;
    while (*p != '\0' && *p != '#') {
        ++p;
    }
    if (*p == '#') {
        *p++ = '\0';
    }
    return {title, p};
}
