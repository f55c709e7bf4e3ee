#include "tool_log.h"

#include "lumaro_bridge.h"

// The client's own reader of the log, a line at a time, so that bridge-host and every
// host built on the client read it alike.
ToolOutcome ReadToolOutcome(const std::string& log, unsigned long processId)
{
    lumaro_tool_outcome read = {};
    lumaro_bridge_lines lines = {};
    for (size_t at = 0; at < log.size();) {
        at += lumaro_bridge_split_line(&lines, &log[at], log.size() - at);
        if (lines.complete) {
            lumaro_tool_read_log_line(&read, lines.text, processId);
        }
    }
    return ToolOutcome{static_cast<ToolEnd>(read.end), read.path, read.text, read.gap};
}
