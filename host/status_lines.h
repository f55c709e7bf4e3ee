// The bridge's status lines cut out of the bytes its standard output delivers.
#pragma once

#include <stddef.h>

#include <string>

// Bytes read so far that do not yet end in a line feed.
struct LineBuffer {
    std::string pending;
};

void AppendBytes(LineBuffer& buffer, const char* bytes, size_t count);

// Takes the oldest complete line, line feed (and any carriage return) included.
bool TakeLine(LineBuffer& buffer, std::string& line);

// Whether the line is that status (a STATUS_ text): it arrives ending in
// WIRE_LINE_END, and the bare STATUS_LINE_END matches too.
bool IsStatusLine(const std::string& line, const char* status);

// The line without its carriage return and line feed.
std::string LineText(const std::string& line);
