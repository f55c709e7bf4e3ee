// How a run of bridge-host went, as its exit code and the one line that says why: from
// how the run ended, what the tool's log says of its recording, and whether the file
// is whole.
#pragma once

#include <string>

#include "tool_log.h"

struct RunFacts {
    // The stop went out when the time was up or the user asked, and was served.
    bool stoppedAsAsked;
    // Why the run went otherwise, as the client put it; empty when it did not.
    std::string runProblem;
    ToolOutcome tool;
    std::string path;        // the recording the log names, in full
    std::string logPath;     // the tool's log
    bool complete;           // the file at path is a complete recording
    std::string fileProblem; // why it is not
};

struct RunVerdict {
    int exitCode;       // EXIT_ codes of bridge_host.h
    std::string reason; // empty for a recording as long as asked
};

RunVerdict JudgeRun(const RunFacts& facts);
