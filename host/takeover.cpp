#include "takeover.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>


#define RUNS_MAPPING "Local\\LUMARO_BridgeHostRuns"
#define RUNS_LOCK "Local\\LUMARO_BridgeHostRunsLock"
#define RUNS_LOCK_WAIT_MS 2000
#define SHARED_FILE_BYTES 2048
#define CLOCK_TEXT_BYTES 16

struct SharedRun {
    DWORD hostId; // 0: none
    char started[CLOCK_TEXT_BYTES];
    char file[SHARED_FILE_BYTES]; // UTF-8, cut short where it must be
};

struct SharedRuns {
    SharedRun current;
    DWORD endedHostId; // the last run ended by another, and when that one began
    char endedAt[CLOCK_TEXT_BYTES];
};

static struct {
    HANDLE mapping;
    HANDLE lock;
    SharedRuns* runs;
} g_takeover;

// The shared record, held alone; false (and nothing is shared) where it cannot be.
static bool Hold()
{
    if (g_takeover.runs == NULL) {
        g_takeover.mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                                sizeof(SharedRuns), RUNS_MAPPING);
        g_takeover.lock = CreateMutexA(NULL, FALSE, RUNS_LOCK);
        if (g_takeover.mapping == NULL || g_takeover.lock == NULL) {
            return false;
        }
        g_takeover.runs = static_cast<SharedRuns*>(
            MapViewOfFile(g_takeover.mapping, FILE_MAP_WRITE, 0, 0, sizeof(SharedRuns)));
        if (g_takeover.runs == NULL) {
            return false;
        }
    }
    // An owner that died leaves the lock abandoned, and the record whole: every write
    // into it is a field at a time.
    DWORD waited = WaitForSingleObject(g_takeover.lock, RUNS_LOCK_WAIT_MS);
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

static void Let()
{
    ReleaseMutex(g_takeover.lock);
}

static void Copy(char* into, size_t size, const std::string& text)
{
    snprintf(into, size, "%s", text.c_str());
}

static bool StillRuns(DWORD processId)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    bool runs = process != NULL && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    if (process != NULL) {
        CloseHandle(process);
    }
    return runs;
}

bool ClaimRecording(const std::string& destination, EndedRun& ended)
{
    if (!Hold()) {
        return false;
    }
    SharedRuns& runs = *g_takeover.runs;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char clock[CLOCK_TEXT_BYTES];
    snprintf(clock, sizeof clock, "%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
    DWORD self = GetCurrentProcessId();
    bool ends = runs.current.hostId != 0 && runs.current.hostId != self &&
                StillRuns(runs.current.hostId);
    if (ends) {
        ended = {runs.current.hostId, runs.current.started, runs.current.file};
        runs.endedHostId = runs.current.hostId;
        Copy(runs.endedAt, sizeof runs.endedAt, clock);
    }
    runs.current.hostId = self;
    Copy(runs.current.started, sizeof runs.current.started, clock);
    Copy(runs.current.file, sizeof runs.current.file, destination);
    Let();
    return ends;
}

void NameRecordingFile(const std::string& file)
{
    if (g_takeover.runs != NULL && Hold()) {
        if (g_takeover.runs->current.hostId == GetCurrentProcessId()) {
            Copy(g_takeover.runs->current.file, sizeof g_takeover.runs->current.file, file);
        }
        Let();
    }
}

std::string EndedAt()
{
    std::string at;
    if (g_takeover.runs != NULL && Hold()) {
        if (g_takeover.runs->endedHostId == GetCurrentProcessId()) {
            at = g_takeover.runs->endedAt;
        }
        Let();
    }
    return at;
}

void ReleaseRecording()
{
    if (g_takeover.runs != NULL && Hold()) {
        if (g_takeover.runs->current.hostId == GetCurrentProcessId()) {
            g_takeover.runs->current.hostId = 0;
        }
        Let();
    }
}
