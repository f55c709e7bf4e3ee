#include "run_verdict.h"

#include "bridge_host.h"

// Why there is no complete recording, from the tool's side of the run.
static std::string WhyNothingWhole(const RunFacts& f)
{
    switch (f.tool.end) {
    case TOOL_SILENT:
        return "the recording tool logged no recording in " + f.logPath;
    case TOOL_REFUSED:
        return "the recording tool did not record: " + f.tool.text;
    case TOOL_RECORDING:
        return "the recording tool ended without finishing " + f.path + "; the file is incomplete";
    case TOOL_FAILED:
        return "the recording tool reported \"" + f.tool.text + "\"; " + f.fileProblem;
    case TOOL_SAVED:
    case TOOL_SAVED_AT_LIMIT:
        break;
    }
    return f.fileProblem;
}

RunVerdict JudgeRun(const RunFacts& f)
{
    bool ended = f.tool.end == TOOL_SAVED || f.tool.end == TOOL_SAVED_AT_LIMIT ||
                 f.tool.end == TOOL_FAILED;
    // A tool ended before it could log its end may still have closed its file: a file
    // that reads whole is kept, as a shorter recording.
    if (f.tool.end == TOOL_RECORDING && f.complete) {
        return {EXIT_RECORDING_SHORT,
                (f.runProblem.empty() ? "" : f.runProblem + "; ") +
                    "the tool's end was never logged, but the file is whole"};
    }
    if (!ended || !f.complete) {
        if (f.runProblem.empty()) {
            return {EXIT_RECORDING_FAILED, WhyNothingWhole(f)};
        }
        // What became of the file the run's tool had begun, if any.
        return {EXIT_RECORDING_FAILED,
                f.runProblem + (f.tool.path.empty() ? ""
                                                    : "; its recording is incomplete: " +
                                                          f.fileProblem)};
    }
    if (f.tool.end != TOOL_SAVED) {
        return {EXIT_RECORDING_SHORT, "the recording tool reported \"" + f.tool.text + "\""};
    }
    if (!f.runProblem.empty()) {
        return {EXIT_RECORDING_SHORT, f.runProblem};
    }
    if (!f.stoppedAsAsked) {
        return {EXIT_RECORDING_SHORT, "the recording tool ended the recording before the stop"};
    }
    // The run's time counts a sleep; the file leaves out what the tool could not see.
    if (!f.tool.gap.empty()) {
        return {EXIT_RECORDING_SHORT, "the recording tool reported \"" + f.tool.gap + "\""};
    }
    return {EXIT_RECORDED, ""};
}
