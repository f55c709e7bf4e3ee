#include "status_lines.h"

#include <string.h>

void AppendBytes(LineBuffer& buffer, const char* bytes, size_t count)
{
    buffer.pending.append(bytes, count);
}

bool TakeLine(LineBuffer& buffer, std::string& line)
{
    size_t end = buffer.pending.find('\n');
    if (end == std::string::npos) {
        return false;
    }
    line = buffer.pending.substr(0, end + 1);
    buffer.pending.erase(0, end + 1);
    return true;
}

std::string LineText(const std::string& line)
{
    size_t end = line.size();
    while (end > 0 && (line[end - 1] == '\n' || line[end - 1] == '\r')) {
        --end;
    }
    return line.substr(0, end);
}

bool IsStatusLine(const std::string& line, const char* status)
{
    std::string expected = LineText(status);
    return line == expected + "\r\n" || line == expected + "\n";
}

const char* CheckBridgeArguments(const char* title, const char* toolFolder)
{
    if (title == nullptr || title[0] == '\0') {
        return "the window title is empty";
    }
    if (title[0] == ' ' || title[0] == '\t') {
        return "the window title starts with a blank, which the bridge's command line drops";
    }
    if (strchr(title, '#') != nullptr) {
        return "the window title contains '#', which the bridge takes as the end of the title";
    }
    size_t length = toolFolder == nullptr ? 0 : strlen(toolFolder);
    if (length == 0) {
        return "the tool folder is empty";
    }
    if (toolFolder[length - 1] != '\\') {
        return "the tool folder must end in a backslash";
    }
    return nullptr;
}

std::string BuildBridgeCommandLine(const char* bridgePath, const char* title,
                                   const char* toolFolder)
{
    return std::string("\"") + bridgePath + "\" " + title + "#" + toolFolder;
}
