// The host's side of the bridge: start it with its command line and a pipe for its
// standard output, find its window, send start and stop, read its status lines as they
// arrive and wait for its end. Every wait is bounded and every failure leaves one
// sentence in the session's error saying what went wrong.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "bridge_contract.h"
#include "recorder_contract.h"
#include "status_lines.h"

#define BRIDGE_WINDOW_TIMEOUT_MS 10000
// Longer than the bridge's own discovery bound, so that the bridge gives up first and
// says so.
#define BRIDGE_READY_TIMEOUT_MS (DISCOVERY_TIMEOUT_MS + 10000)
#define BRIDGE_START_TIMEOUT_MS 10000
#define BRIDGE_EXIT_TIMEOUT_MS 15000
#define RECORDER_CLOSE_TIMEOUT_MS 5000
#define BRIDGE_POLL_MS 5
#define BRIDGE_ANSWER_MS 20
#define ERROR_BOX_CLASS "#32770"
#define ERROR_BOX_TEXT_SIZE 512

// Called with each line of the bridge's output as it arrives, CRLF included.
typedef void (*StatusLineSink)(const std::string& line, void* context);

struct BridgeSession {
    HANDLE process;
    DWORD processId;
    HANDLE output; // our end of the bridge's standard output
    HWND window;
    LineBuffer buffer;
    std::vector<std::string> lines; // every line so far, in order
    StatusLineSink sink;
    void* sinkContext;
    bool started;
    bool exitLine;
    bool exitFailed;
    bool recorderMissing;
    bool targetMissing;
    std::string error;
};

void InitBridgeSession(BridgeSession& session, StatusLineSink sink, void* sinkContext);

// Starts "<bridgePath>" Title#ToolFolder\ with standard output (and error) on a pipe.
bool StartBridge(BridgeSession& session, const char* bridgePath, const char* title,
                 const char* toolFolder, int showCommand);

// Finds the bridge window that belongs to the started process.
bool FindBridgeWindow(BridgeSession& session, DWORD timeoutMs);

// Waits until the bridge has found the tool and handed it the region: from then on it
// answers messages. Fails on "Recorder Not Found", "Target Window Not Found", an error
// box of the bridge (which it closes) or the bridge's end.
bool WaitBridgeReady(BridgeSession& session, DWORD timeoutMs);

// Posts the start command and waits for "startcapture".
bool SendStartCommand(BridgeSession& session, DWORD timeoutMs);

// Reads what has arrived; false once the bridge has ended (while it should be recording).
bool BridgeStillRecording(BridgeSession& session);

// Posts the stop command and waits for the exit line and the bridge's end.
bool SendStopCommand(BridgeSession& session, DWORD timeoutMs);

// Ends a bridge still running (and says so in error when error is empty), closes handles.
void EndBridgeSession(BridgeSession& session);

// After a bridge ended without stopping it, its recording tool is still running:
// closes every tool window, ending the process when the window does not go in time.
void CloseLeftoverRecorders(DWORD timeoutMs);

// DescribeError's sentence as a string.
std::string DescribeFailure(const char* call, DWORD code);
