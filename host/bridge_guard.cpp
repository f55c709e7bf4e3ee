// bridge-guard: started by bridge-host for each run and never by a user. Should
// bridge-host end before the bridge (ended from outside, by process id or by name, or
// crashed), it stops the bridge as bridge-host would have, so that the tool finishes
// its file. Should bridge-host end before it has moved the recording where it was asked
// to, the guard moves it. Then it leaves, taking the run's job and whatever still runs
// in it along.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "code_page.h"
#include "lumaro_bridge.h"
#include "run_files.h"
#include "run_supervision.h"

#define GUARD_ARGUMENTS 6

static HANDLE HandleArgument(const char* text)
{
    return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(strtoul(text, NULL, 10)));
}

int main()
{
    std::vector<std::string> argv = Utf8Arguments();
    if (argv.size() != GUARD_ARGUMENTS) {
        fprintf(stderr, "bridge-guard: only bridge-host starts it, for a run of its own\n");
        return 2;
    }
    HANDLE hostProcess = HandleArgument(argv[1].c_str());
    HANDLE bridgeProcess = HandleArgument(argv[2].c_str());
    HANDLE ready = HandleArgument(argv[3].c_str());
    std::wstring notePath = argv[5] == GUARD_NO_JOB ? L"" : WideFromUtf8(argv[5]);
    // Opened, not inherited: a guard whose start the host never finished holds nothing,
    // and the job's end takes it along with the rest. Never closed: the guard's own end
    // closes it, and with it whatever of the run still runs; closing the last handle
    // from here would end the guard, which is in the job, inside its own call.
    if (argv[4] != GUARD_NO_JOB) {
        OpenJobObjectA(JOB_OBJECT_QUERY, FALSE, argv[4].c_str());
    }
    SetEvent(ready);
    CloseHandle(ready);
    HANDLE both[] = {hostProcess, bridgeProcess};
    // The run lasts as long as its host says (a day at most); the guard waits it out.
    HANDLE note = INVALID_HANDLE_VALUE;
    if (WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0) {
        // Held from now on, so that a run started meanwhile leaves this move alone.
        note = HoldMoveNote(notePath);
        // The stop waits in the bridge's queue until the bridge serves commands, after
        // its discovery at the latest.
        DWORD bridgeId = GetProcessId(bridgeProcess);
        DWORD started = GetTickCount();
        bool posted = false;
        while (WaitForSingleObject(bridgeProcess, GUARD_POLL_MS) == WAIT_TIMEOUT &&
               GetTickCount() - started < GUARD_STOP_TIMEOUT_MS) {
            posted = posted || lumaro_bridge_post_stop(bridgeId) == LUMARO_BRIDGE_OK;
        }
    } else {
        // bridge-host goes on to close the tool and move the recording; ended before it
        // has, it leaves its note behind.
        WaitForSingleObject(hostProcess, INFINITE);
        note = HoldMoveNote(notePath);
    }
    // What cannot be moved stays where the tool wrote it, and the note stays for the
    // next run to name the file.
    FinishMove(note, notePath, true);
    CloseHandle(bridgeProcess);
    CloseHandle(hostProcess);
    return 0;
}
