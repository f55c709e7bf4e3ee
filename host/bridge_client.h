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
#include "stand_in_tool.h"
#include "status_lines.h"

// The bounds every host uses (sdk/lumaro_bridge.h): the bridge's readiness outlasts its
// own discovery bound, so that the bridge gives up first and says so; the start
// outlasts the tool's own bound for starting a recording, so that when the host gives
// up the tool has either begun recording, and is closed with its file finished, or
// given up.
#define BRIDGE_WINDOW_TIMEOUT_MS LUMARO_BRIDGE_WINDOW_TIMEOUT_MS
#define BRIDGE_READY_TIMEOUT_MS LUMARO_BRIDGE_READY_TIMEOUT_MS
#define BRIDGE_START_TIMEOUT_MS LUMARO_BRIDGE_START_TIMEOUT_MS
#define BRIDGE_EXIT_TIMEOUT_MS LUMARO_BRIDGE_STOP_TIMEOUT_MS
#define RECORDER_CLOSE_TIMEOUT_MS 5000
// A guard's stop may wait out the bridge's discovery before the bridge ends.
#define GUARD_STOP_TIMEOUT_MS (BRIDGE_READY_TIMEOUT_MS + BRIDGE_EXIT_TIMEOUT_MS)
#define GUARD_READY_TIMEOUT_MS 10000
#define BRIDGE_POLL_MS 5
#define BRIDGE_ANSWER_MS 20
#define ERROR_BOX_CLASS LUMARO_BRIDGE_ERROR_BOX_CLASS
#define ERROR_BOX_TEXT_SIZE 512

// The error of a run that the host stopped before the start command went out.
#define STOPPED_BEFORE_RECORDING "stopped before recording began"

// Called with each line of the bridge's output as it arrives, CRLF included.
typedef void (*StatusLineSink)(const std::string& line, void* context);

struct BridgeSession {
    HANDLE process;
    DWORD processId;
    // The bridge and the tool it launches belong to this job, which ends them when the
    // last handle to it closes: a host that is ended from outside leaves nothing running.
    // Null when the host runs in a job, which the bridge is then born into (JoinRunJob),
    // or where the platform refuses a job (an older Windows that runs the host inside a
    // job of its own).
    HANDLE job;
    HANDLE output; // our end of the bridge's standard output
    HWND window;
    // Set by the host: once signalled, the waits before the start command give up.
    HANDLE stopRequest;
    // The tool instance this bridge launched (its child process of the tool's name),
    // found once the bridge is ready; null until then, or when there is none.
    HANDLE tool;
    DWORD toolId;
    LineBuffer buffer;
    std::vector<std::string> lines; // every line so far, in order
    StatusLineSink sink;
    void* sinkContext;
    bool started;
    bool exitLine;
    bool exitFailed;
    bool recorderMissing;
    bool targetMissing;
    // A stop was asked for after the start command went out and before "startcapture".
    bool stoppedDuringStart;
    std::string error;
};

void InitBridgeSession(BridgeSession& session, StatusLineSink sink, void* sinkContext);

// Starts "<bridgePath>" Title#ToolFolder\ with standard output (and error) on a pipe,
// which is all the bridge inherits of the host. The path is UTF-8 and may hold any
// character; the title and the tool folder are in the ANSI code page, as the bridge
// reads them.
bool StartBridge(BridgeSession& session, const char* bridgePath, const char* title,
                 const char* toolFolder, int showCommand);

// Finds the bridge window that belongs to the started process.
bool FindBridgeWindow(BridgeSession& session, DWORD timeoutMs);

// Waits until the bridge has found the tool and handed it the region: from then on it
// answers messages; the session then knows the tool instance the bridge launched. Fails
// on "Recorder Not Found", "Target Window Not Found", an error box of the bridge (which
// it closes) or the bridge's end.
bool WaitBridgeReady(BridgeSession& session, DWORD timeoutMs);

// Posts the start command and waits for "startcapture". A stop asked for before it goes
// out means it is not sent; one asked for while the tool starts recording is noted in
// stoppedDuringStart.
bool SendStartCommand(BridgeSession& session, DWORD timeoutMs);

// Reads what has arrived; false once the bridge or the tool has ended (while they should
// be recording).
bool BridgeStillRecording(BridgeSession& session);

// Posts the stop command and waits for the exit line and the bridge's end. "Exit Process
// Failed" is a failure whose reason comes from the tool's process: it had already ended,
// or it still runs.
bool SendStopCommand(BridgeSession& session, DWORD timeoutMs);

// Ends what a run may have left running, so that nothing of it goes on recording: the
// bridge first, if it still runs, so that it launches nothing more, then the tool
// instance it launched, if that still runs. Only a window of that process with the
// tool's title and its play and stop buttons is asked to close (the tool finishes its
// recording on close); the process is ended when it does not go in time.
void CloseLeftoverRecorder(BridgeSession& session, DWORD timeoutMs);

// Ends a bridge still running and closes the session's handles. When the run has
// already failed, its error gains "; the bridge was ended"; a bridge that cannot be
// ended is an error of its own.
void EndBridgeSession(BridgeSession& session);

// Puts the calling process into a new job of that name which ends every process in it
// when its last handle closes, so that all it starts from then on is born into the job,
// even a process whose start the caller never finished. The caller keeps the handle for
// as long as it runs: closing it could end the caller itself. Null when the platform
// will not have it so (the run then goes on without).
HANDLE JoinRunJob(const char* name);

// Starts "<guardPath>" (GUARD_EXE, UTF-8), a process that outlives the host: should the
// host end before the bridge (ended from outside, or crashed), the guard stops the bridge
// as the host would have, so that the tool finishes its file, finishes the move that
// the note at notePath (UTF-8, run_files.h; null for none) asks for, should the host not
// have made it, and then leaves, taking the job named jobName (JoinRunJob; null for
// none) and anything still in it along. Returns once the guard holds the job, within
// GUARD_READY_TIMEOUT_MS. It inherits the host's and the bridge's process and its ready
// event, and nothing else of the host.
bool StartGuard(BridgeSession& session, const char* guardPath, const char* jobName,
                const char* notePath, std::string& error);

// The guard's command line after its name: the host's and the bridge's process handles
// and its ready event, as numbers of inherited handles, then the job's name and the
// note's path in quotes, for each of which this stands when there is none.
#define GUARD_NO_JOB "-"

// The first top-level window of the process with that class and title.
HWND FindWindowOfProcess(const char* className, const char* title, DWORD processId);

// DescribeError's sentence as a string.
std::string DescribeFailure(const char* call, DWORD code);
