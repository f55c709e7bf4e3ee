#include "command_line.h"

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
        while (*p != '\0' && !lumaro_bridge_is_blank_or_control(*p)) {
            ++p;
        }
    }
    while (lumaro_bridge_is_blank_or_control(*p)) {
        ++p;
    }
    return p;
}
