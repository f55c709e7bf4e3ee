#include "tool_log.h"

#include "stand_in_tool.h"

static bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Reads one line of the instance into the outcome so far.
static void TakeToolLine(const std::string& text, ToolOutcome& outcome)
{
    size_t into = text.rfind(LOG_INTO);
    if (StartsWith(text, LOG_RECORDING) && into != std::string::npos) {
        outcome = {TOOL_RECORDING, text.substr(into + sizeof LOG_INTO - 1), text};
        return;
    }
    // Also after the file was named: the tool names it before its encoder starts, and
    // removes it when the encoder does not.
    if (StartsWith(text, LOG_NOT_RECORDING)) {
        outcome = {TOOL_REFUSED, "", text};
        return;
    }
    if (outcome.path.empty()) {
        return;
    }
    if (StartsWith(text, LOG_CLOCK_GAP)) {
        outcome.gap = text;
        return;
    }
    const struct {
        const char* prefix;
        ToolEnd end;
    } ENDS[] = {{LOG_SAVED, TOOL_SAVED},
                {LOG_SAVED_AT_LIMIT, TOOL_SAVED_AT_LIMIT},
                {LOG_FAILED, TOOL_FAILED}};
    for (const auto& end : ENDS) {
        if (StartsWith(text, end.prefix + outcome.path + ":")) {
            outcome.end = end.end;
            outcome.text = text;
        }
    }
}

ToolOutcome ReadToolOutcome(const std::string& log, unsigned long processId)
{
    ToolOutcome outcome = {TOOL_SILENT, "", ""};
    std::string tag = LOG_PID_TAG + std::to_string(processId) + LOG_PID_END;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        std::string line = log.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? log.size() : end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        size_t at = line.find(tag);
        if (at != std::string::npos) {
            TakeToolLine(line.substr(at + tag.size()), outcome);
        }
    }
    return outcome;
}
