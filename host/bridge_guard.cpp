// bridge-guard: started by bridge-host for each run and never by a user. Should
// bridge-host end before the bridge (ended from outside, by process id or by name, or
// crashed), it stops the bridge as bridge-host would have, so that the tool finishes
// its file, and then leaves, taking the run's job and whatever still runs in it along.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bridge_client.h"

#define GUARD_ARGUMENTS 5

static HANDLE HandleArgument(const char* text)
{
    return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(strtoul(text, NULL, 10)));
}

int main(int argc, char** argv)
{
    if (argc != GUARD_ARGUMENTS) {
        fprintf(stderr, "bridge-guard: only bridge-host starts it, for a run of its own\n");
        return 2;
    }
    HANDLE hostProcess = HandleArgument(argv[1]);
    HANDLE bridgeProcess = HandleArgument(argv[2]);
    HANDLE ready = HandleArgument(argv[3]);
    // Opened, not inherited: a guard whose start the host never finished holds nothing,
    // and the job's end takes it along with the rest. Never closed: the guard's own end
    // closes it, and with it whatever of the run still runs; closing the last handle
    // from here would end the guard, which is in the job, inside its own call.
    if (strcmp(argv[4], GUARD_NO_JOB) != 0) {
        OpenJobObjectA(JOB_OBJECT_QUERY, FALSE, argv[4]);
    }
    SetEvent(ready);
    CloseHandle(ready);
    HANDLE both[] = {hostProcess, bridgeProcess};
    // The run lasts as long as its host says (a day at most); the guard waits it out.
    if (WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0) {
        // The stop waits in the bridge's queue until the bridge serves commands, after
        // its discovery at the latest.
        DWORD bridgeId = GetProcessId(bridgeProcess);
        DWORD started = GetTickCount();
        bool posted = false;
        while (WaitForSingleObject(bridgeProcess, BRIDGE_POLL_MS) == WAIT_TIMEOUT &&
               GetTickCount() - started < GUARD_STOP_TIMEOUT_MS) {
            HWND window = posted ? NULL : FindWindowOfProcess(BRIDGE_NAME, BRIDGE_NAME, bridgeId);
            if (window != NULL) {
                posted = PostMessageA(window, WM_BRIDGE_STOP, 0, 0) != FALSE;
            }
        }
    }
    CloseHandle(bridgeProcess);
    CloseHandle(hostProcess);
    return 0;
}
