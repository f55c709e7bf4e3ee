#include "status_lines.h"

#include "bridge_contract.h"

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
    return line == status + std::string(WIRE_LINE_END) ||
           line == status + std::string(STATUS_LINE_END);
}
