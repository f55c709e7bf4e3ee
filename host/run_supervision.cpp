#include "run_supervision.h"

#include <stdio.h>

#include <vector>

#include "code_page.h"
#include "describe_error.h"

static bool KillOnJobClose(HANDLE job)
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits) != FALSE;
}

HANDLE JoinRunJob(const char* name)
{
    HANDLE job = CreateJobObjectA(NULL, name);
    // A job of that name that was there before is not this run's.
    bool before = GetLastError() == ERROR_ALREADY_EXISTS;
    if (job != NULL &&
        (before || !KillOnJobClose(job) || !AssignProcessToJobObject(job, GetCurrentProcess()))) {
        CloseHandle(job);
        job = NULL;
    }
    return job;
}

// Starts a process that inherits the given handles and no other inheritable handle of
// the host, which would otherwise stay open in it for its whole life.
static bool CreateWithHandles(std::wstring& commandLine, HANDLE* handles, DWORD count,
                              DWORD flags, PROCESS_INFORMATION& info, std::string& error)
{
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(NULL, 1, 0, &listSize);
    std::vector<char> listBytes(listSize);
    LPPROC_THREAD_ATTRIBUTE_LIST list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBytes.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &listSize)) {
        error = DescribeFailure("InitializeProcThreadAttributeList", GetLastError());
        return false;
    }
    STARTUPINFOEXW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = list;
    bool created = false;
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                   count * sizeof *handles, NULL, NULL)) {
        error = DescribeFailure("UpdateProcThreadAttribute", GetLastError());
    } else if (!CreateProcessW(NULL, &commandLine[0], NULL, NULL, TRUE,
                               EXTENDED_STARTUPINFO_PRESENT | flags, NULL, NULL,
                               &startup.StartupInfo, &info)) {
        error = DescribeFailure("CreateProcessW", GetLastError());
    } else {
        created = true;
    }
    DeleteProcThreadAttributeList(list);
    return created;
}

// An inheritable copy of a handle of this process, for a child to be given.
static HANDLE Inheritable(HANDLE handle)
{
    HANDLE copy = NULL;
    if (handle != NULL && !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy,
                                           0, TRUE, DUPLICATE_SAME_ACCESS)) {
        copy = NULL;
    }
    return copy;
}

// Whether the guard holds the job within the bound; a guard that does not is ended.
static bool WaitGuardReady(HANDLE ready, HANDLE guard, std::string& error)
{
    HANDLE both[] = {ready, guard};
    DWORD result = WaitForMultipleObjects(2, both, FALSE, GUARD_READY_TIMEOUT_MS);
    if (result == WAIT_OBJECT_0) {
        return true;
    }
    char text[96];
    snprintf(text, sizeof text, result == WAIT_OBJECT_0 + 1
                                    ? "the guard ended before it was ready"
                                    : "the guard was not ready within %d ms",
             GUARD_READY_TIMEOUT_MS);
    error = text;
    TerminateProcess(guard, 1);
    return false;
}

bool StartGuard(unsigned long bridgeId, const char* guardPath, const char* jobName,
                const char* notePath, std::string& error)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    // The guard waits for the bridge's end and asks for its id.
    HANDLE handles[3] = {Inheritable(GetCurrentProcess()),
                         OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE,
                                     bridgeId),
                         CreateEventA(&inherit, TRUE, FALSE, NULL)};
    bool started = false;
    if (handles[0] == NULL || handles[1] == NULL || handles[2] == NULL) {
        error = DescribeFailure("OpenProcess", GetLastError());
    } else {
        char numbers[96];
        snprintf(numbers, sizeof numbers, " %lu %lu %lu ",
                 static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(handles[0])),
                 static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(handles[1])),
                 static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(handles[2])));
        std::wstring commandLine = L"\"" + WideFromUtf8(guardPath) + L"\"" +
                                   WideFromUtf8(numbers) +
                                   WideFromAnsi(jobName != NULL ? jobName : GUARD_NO_JOB) +
                                   L" \"" +
                                   WideFromUtf8(notePath != NULL ? notePath : GUARD_NO_JOB) +
                                   L"\"";
        PROCESS_INFORMATION info;
        // Away from the console: a close of the console or a Ctrl+C must not end it.
        if (CreateWithHandles(commandLine, handles, 3, DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP,
                              info, error)) {
            started = WaitGuardReady(handles[2], info.hProcess, error);
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
    }
    if (!started) {
        error = "could not start the guard: " + error;
    }
    for (HANDLE handle : handles) {
        if (handle != NULL) {
            CloseHandle(handle);
        }
    }
    return started;
}

HANDLE OpenRunTool(unsigned long toolId)
{
    return toolId == 0 ? NULL
                       : OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                     toolId);
}

std::string ToolEndedWhileRecording(HANDLE tool)
{
    DWORD code = 0;
    if (tool == NULL || WaitForSingleObject(tool, 0) != WAIT_OBJECT_0) {
        return "";
    }
    return GetExitCodeProcess(tool, &code)
               ? "the recording tool ended (exit code " + std::to_string(code) +
                     ") while recording"
               : "the recording tool ended while recording";
}
