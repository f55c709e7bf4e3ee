// What the stand-in tool's log (stand_in_tool.h) says about one tool instance's
// recording: which file it began and how that recording ended. The lines of other
// instances, an old one finishing its file among them, do not count.
#pragma once

#include <string>

enum ToolEnd {
    TOOL_SILENT,         // no recording and no refusal of this instance in the log
    TOOL_REFUSED,        // the play click recorded nothing; text says why
    TOOL_RECORDING,      // began, and never said how it ended
    TOOL_SAVED,
    TOOL_SAVED_AT_LIMIT,
    TOOL_FAILED,         // ended by a failure, the file kept; text says which
};

struct ToolOutcome {
    ToolEnd end;
    std::string path;   // as logged: relative to the tool's working directory
    std::string text;   // the line's text that tells the end (or the start)
    std::string gap = "";   // the recording's last line that says the clock stood still
};

ToolOutcome ReadToolOutcome(const std::string& log, unsigned long processId);
