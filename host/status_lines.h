// Text handling between the host and the bridge: the bridge's command line, and the
// status lines cut out of the bytes its standard output delivers.
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

// The bridge writes its lines in text mode, so "startcapture\n" arrives as
// "startcapture\r\n"; either ending matches.
bool IsStatusLine(const std::string& line, const char* status);

// The line without its carriage return and line feed.
std::string LineText(const std::string& line);

// Null when the title and folder can be passed to the bridge, else why not: the
// bridge cuts the title at the first '#' and appends file names to the folder as is.
const char* CheckBridgeArguments(const char* title, const char* toolFolder);

// "\"<bridge path>\" Title#ToolFolder\", the raw line the bridge splits itself.
std::string BuildBridgeCommandLine(const char* bridgePath, const char* title,
                                   const char* toolFolder);
