// bridge-host's watch over what a run starts, beyond what the client does: the job that
// ends the run's processes with bridge-host, the guard that stops the bridge should
// bridge-host end first, and the run's tool, whose end while recording ends the run.
#pragma once

#include <windows.h>

#include <string>

// The tool's close at the run's end (lumaro_bridge_close): it finishes its file first.
#define RECORDER_CLOSE_TIMEOUT_MS 5000
// A guard's stop may wait out the bridge's discovery before the bridge ends.
#define GUARD_STOP_TIMEOUT_MS (LUMARO_BRIDGE_READY_TIMEOUT_MS + LUMARO_BRIDGE_STOP_TIMEOUT_MS)
#define GUARD_READY_TIMEOUT_MS 10000
#define GUARD_POLL_MS 5

// The guard's command line after its name: the host's and the bridge's process handles
// and its ready event, as numbers of inherited handles, then the job's name and the
// note's path in quotes, for each of which this stands when there is none.
#define GUARD_NO_JOB "-"

// Puts the calling process into a new job of that name which ends every process in it
// when its last handle closes, so that all it starts from then on is born into the job,
// even a process whose start the caller never finished. The caller keeps the handle for
// as long as it runs: closing it could end the caller itself. Null when the platform
// will not have it so (the run then goes on without).
HANDLE JoinRunJob(const char* name);

// Starts "<guardPath>" (GUARD_EXE, UTF-8), a process that outlives the host: should the
// host end before the bridge of that process id (ended from outside, or crashed), the
// guard stops the bridge as the host would have, so that the tool finishes its file,
// finishes the move that the note at notePath (UTF-8, run_files.h; null for none) asks
// for, should the host not have made it, and then leaves, taking the job named jobName
// (JoinRunJob; null for none) and anything still in it along. Returns once the guard
// holds the job, within GUARD_READY_TIMEOUT_MS. It inherits the host's and the bridge's
// process and its ready event, and nothing else of the host.
bool StartGuard(unsigned long bridgeId, const char* guardPath, const char* jobName,
                const char* notePath, std::string& error);

// The run's tool of that process id, opened to be watched; null for none.
HANDLE OpenRunTool(unsigned long toolId);

// Empty while the tool runs (or there is none), else that it ended while recording.
std::string ToolEndedWhileRecording(HANDLE tool);
