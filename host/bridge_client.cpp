#include "bridge_client.h"

#include <tlhelp32.h>

#include <stdio.h>

#include "code_page.h"
#include "describe_error.h"

#define PIPE_READ_SIZE 4096

std::string DescribeFailure(const char* call, DWORD code)
{
    char text[ERROR_TEXT_SIZE];
    DescribeError(call, code, text, sizeof text);
    return text;
}

static bool Fail(BridgeSession& session, const std::string& reason)
{
    if (session.error.empty()) {
        session.error = reason;
    }
    return false;
}

void InitBridgeSession(BridgeSession& session, StatusLineSink sink, void* sinkContext)
{
    session.process = NULL;
    session.processId = 0;
    session.job = NULL;
    session.output = NULL;
    session.window = NULL;
    session.stopRequest = NULL;
    session.tool = NULL;
    session.toolId = 0;
    session.buffer = LineBuffer();
    session.lines.clear();
    session.sink = sink;
    session.sinkContext = sinkContext;
    session.started = false;
    session.exitLine = false;
    session.exitFailed = false;
    session.recorderMissing = false;
    session.targetMissing = false;
    session.stoppedDuringStart = false;
    session.error.clear();
}

static void TakeStatusLine(BridgeSession& session, const std::string& line)
{
    session.lines.push_back(line);
    if (IsStatusLine(line, STATUS_STARTED)) {
        session.started = true;
    } else if (IsStatusLine(line, STATUS_EXIT_SUCCESS)) {
        session.exitLine = true;
    } else if (IsStatusLine(line, STATUS_EXIT_FAILED)) {
        session.exitLine = true;
        session.exitFailed = true;
    } else if (IsStatusLine(line, STATUS_RECORDER_NOT_FOUND)) {
        session.recorderMissing = true;
    } else if (IsStatusLine(line, STATUS_TARGET_NOT_FOUND)) {
        session.targetMissing = true;
    }
    if (session.sink != NULL) {
        session.sink(line, session.sinkContext);
    }
}

// Reads whatever the pipe holds without blocking.
static void ReadOutput(BridgeSession& session)
{
    for (;;) {
        DWORD available = 0;
        if (session.output == NULL ||
            !PeekNamedPipe(session.output, NULL, 0, NULL, &available, NULL) || available == 0) {
            return;
        }
        char bytes[PIPE_READ_SIZE];
        DWORD count = 0;
        DWORD wanted = available < sizeof bytes ? available : sizeof bytes;
        if (!ReadFile(session.output, bytes, wanted, &count, NULL) || count == 0) {
            return;
        }
        AppendBytes(session.buffer, bytes, count);
        std::string line;
        while (TakeLine(session.buffer, line)) {
            TakeStatusLine(session, line);
        }
    }
}

static bool BridgeEnded(BridgeSession& session)
{
    return WaitForSingleObject(session.process, 0) == WAIT_OBJECT_0;
}

// Everything the ended bridge wrote, an unterminated last line included.
static void ReadFinalOutput(BridgeSession& session)
{
    ReadOutput(session);
    if (!session.buffer.pending.empty()) {
        std::string line = session.buffer.pending;
        session.buffer.pending.clear();
        TakeStatusLine(session, line);
    }
}

// "WHO ended (exit code N)", the code left out when it cannot be read.
static std::string ProcessEndedText(HANDLE process, const char* who)
{
    DWORD code = 0;
    char text[96];
    if (GetExitCodeProcess(process, &code)) {
        snprintf(text, sizeof text, "%s ended (exit code %lu)", who, code);
    } else {
        snprintf(text, sizeof text, "%s ended", who);
    }
    return text;
}

static std::string EndedText(BridgeSession& session)
{
    return ProcessEndedText(session.process, "the bridge");
}

// The pause between two polls of a wait before the start command; true when the host
// asked to stop meanwhile.
static bool StopRequestedDuringPause(BridgeSession& session)
{
    if (session.stopRequest == NULL) {
        Sleep(BRIDGE_POLL_MS);
        return false;
    }
    return WaitForSingleObject(session.stopRequest, BRIDGE_POLL_MS) == WAIT_OBJECT_0;
}

static bool WaitForBridgeEnd(BridgeSession& session, DWORD timeoutMs)
{
    DWORD started = GetTickCount();
    for (;;) {
        DWORD result = WaitForSingleObject(session.process, BRIDGE_POLL_MS);
        ReadOutput(session);
        if (result == WAIT_OBJECT_0) {
            ReadFinalOutput(session);
            return true;
        }
        if (result == WAIT_FAILED) {
            return Fail(session, DescribeFailure("WaitForSingleObject on the bridge", GetLastError()));
        }
        if (GetTickCount() - started >= timeoutMs) {
            return false;
        }
    }
}

// Starts a process that inherits the given handles and no other inheritable handle of
// the host, which would otherwise stay open in it for its whole life.
static bool CreateWithHandles(std::wstring& commandLine, HANDLE* handles, DWORD count,
                              DWORD flags, STARTUPINFOEXW& startup, PROCESS_INFORMATION& info,
                              std::string& error)
{
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(NULL, 1, 0, &listSize);
    std::vector<char> listBytes(listSize);
    LPPROC_THREAD_ATTRIBUTE_LIST list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBytes.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &listSize)) {
        error = DescribeFailure("InitializeProcThreadAttributeList", GetLastError());
        return false;
    }
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

// The bridge inherits its standard handles alone. It gets a process group of its own,
// so that a Ctrl+C or Ctrl+Break meant for the host does not end it, and the tool it
// starts, before the host has stopped them in order. It starts suspended, until it is in
// the run's job.
static bool CreateBridgeProcess(std::wstring& commandLine, HANDLE output, HANDLE input,
                                int showCommand, PROCESS_INFORMATION& info, std::string& error)
{
    HANDLE inherited[] = {output, input};
    STARTUPINFOEXW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = static_cast<WORD>(showCommand);
    startup.StartupInfo.hStdInput = input;
    startup.StartupInfo.hStdOutput = output;
    startup.StartupInfo.hStdError = output;
    return CreateWithHandles(commandLine, inherited, 2,
                             CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED, startup, info, error);
}

static bool KillOnJobClose(HANDLE job)
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits) != FALSE;
}

// A job that ends its processes when its last handle closes, with the process in it;
// null when the platform will not have it so (the run then goes on without).
static HANDLE CreateRunJob(HANDLE process)
{
    HANDLE job = CreateJobObjectA(NULL, NULL);
    if (job != NULL && (!KillOnJobClose(job) || !AssignProcessToJobObject(job, process))) {
        CloseHandle(job);
        job = NULL;
    }
    return job;
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

bool StartBridge(BridgeSession& session, const char* bridgePath, const char* title,
                 const char* toolFolder, int showCommand)
{
    const char* bad = lumaro_bridge_check_command_line(title, toolFolder);
    if (bad != NULL) {
        return Fail(session, bad);
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE writeEnd = NULL;
    if (!CreatePipe(&session.output, &writeEnd, &inherit, 0)) {
        return Fail(session, DescribeFailure("CreatePipe", GetLastError()));
    }
    if (!SetHandleInformation(session.output, HANDLE_FLAG_INHERIT, 0)) {
        DWORD code = GetLastError();
        CloseHandle(writeEnd);
        return Fail(session, DescribeFailure("SetHandleInformation", code));
    }
    HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, NULL);
    if (input == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        CloseHandle(writeEnd);
        return Fail(session, DescribeFailure("CreateFileA(NUL)", code));
    }
    // The bridge's path may hold any character; the rest of its line is narrow text, as
    // the bridge reads it. The line is built around an empty path, whose quotes lead it.
    std::string line(lumaro_bridge_build_command_line("", title, toolFolder, NULL, 0) + 1,
                     '\0');
    lumaro_bridge_build_command_line("", title, toolFolder, &line[0], line.size());
    line.resize(line.size() - 1);
    std::wstring commandLine =
        L"\"" + WideFromUtf8(bridgePath) + L"\"" + WideFromAnsi(line.substr(2));
    PROCESS_INFORMATION info;
    std::string error;
    bool created = CreateBridgeProcess(commandLine, writeEnd, input, showCommand, info, error);
    // Only the bridge may hold the write end, or the pipe never reports its end.
    CloseHandle(writeEnd);
    CloseHandle(input);
    if (!created) {
        return Fail(session, "could not start the bridge \"" + std::string(bridgePath) + "\": " +
                                 error);
    }
    // In a job before its first instruction, so that the tool it launches is too: the
    // host's, which it was born into, or else one of its own.
    BOOL inJob = FALSE;
    if (!IsProcessInJob(GetCurrentProcess(), NULL, &inJob) || !inJob) {
        session.job = CreateRunJob(info.hProcess);
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    session.process = info.hProcess;
    session.processId = info.dwProcessId;
    return true;
}

HWND FindWindowOfProcess(const char* className, const char* title, DWORD processId)
{
    for (HWND window = FindWindowExA(NULL, NULL, className, title); window != NULL;
         window = FindWindowExA(NULL, window, className, title)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) {
            return window;
        }
    }
    return NULL;
}

bool FindBridgeWindow(BridgeSession& session, DWORD timeoutMs)
{
    DWORD started = GetTickCount();
    for (;;) {
        session.window = FindWindowOfProcess(BRIDGE_NAME, BRIDGE_NAME, session.processId);
        if (session.window != NULL) {
            return true;
        }
        ReadOutput(session);
        if (BridgeEnded(session)) {
            ReadFinalOutput(session);
            return Fail(session, EndedText(session) + " before its window appeared");
        }
        if (GetTickCount() - started >= timeoutMs) {
            char text[128];
            snprintf(text, sizeof text, "the bridge's window did not appear within %lu ms",
                     timeoutMs);
            return Fail(session, text);
        }
        if (StopRequestedDuringPause(session)) {
            return Fail(session, STOPPED_BEFORE_RECORDING);
        }
    }
}

struct ErrorBoxSearch {
    DWORD processId;
    HWND box;
};

static BOOL CALLBACK FindErrorBox(HWND window, LPARAM context)
{
    ErrorBoxSearch* search = reinterpret_cast<ErrorBoxSearch*>(context);
    char className[16] = "";
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && GetClassNameA(window, className, sizeof className) > 0 &&
        strcmp(className, ERROR_BOX_CLASS) == 0 && IsWindowVisible(window)) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

static BOOL CALLBACK CollectBoxText(HWND child, LPARAM context)
{
    std::string* text = reinterpret_cast<std::string*>(context);
    char className[16] = "";
    char childText[ERROR_BOX_TEXT_SIZE] = "";
    if (GetClassNameA(child, className, sizeof className) > 0 &&
        _stricmp(className, "Static") == 0 &&
        GetWindowTextA(child, childText, sizeof childText) > 0) {
        *text += *text == "" ? "" : " ";
        *text += childText;
    }
    return TRUE;
}

static std::string ErrorBoxText(HWND box)
{
    char title[ERROR_BOX_TEXT_SIZE] = "";
    GetWindowTextA(box, title, sizeof title);
    std::string text;
    EnumChildWindows(box, CollectBoxText, reinterpret_cast<LPARAM>(&text));
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
    return std::string(title) + ": " + text;
}

// A failed tool launch makes the shell show an error box on the bridge's thread, and
// the bridge waits in it until someone closes it.
static bool HandleErrorBox(BridgeSession& session)
{
    ErrorBoxSearch search = {session.processId, NULL};
    EnumWindows(FindErrorBox, reinterpret_cast<LPARAM>(&search));
    if (search.box == NULL) {
        return false;
    }
    Fail(session, "the bridge could not start the recording tool and showed an error box (\"" +
                      ErrorBoxText(search.box) + "\"); the box was closed");
    if (!PostMessageA(search.box, WM_CLOSE, 0, 0)) {
        session.error += "; closing it: " + DescribeFailure("PostMessageA", GetLastError());
    }
    return true;
}

// The bridge waits for the tool without reading messages; it first answers one when
// it sets the tool's fields or enters its message loop, both after discovery.
static bool BridgeAnswers(BridgeSession& session)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(session.window, WM_NULL, 0, 0, SMTO_NORMAL, BRIDGE_ANSWER_MS,
                               &result) != 0;
}

// The tool instance the bridge launched: its child process of the tool's name. The
// session holds the bridge's process open, so its id stays the bridge's meanwhile.
static void FindSessionTool(BridgeSession& session)
{
    if (session.tool != NULL || session.process == NULL) {
        return;
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return;
    }
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && session.tool == NULL;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == session.processId &&
            lstrcmpiA(entry.szExeFile, RECORDER_EXE) == 0) {
            session.tool = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION |
                                           PROCESS_TERMINATE,
                                       FALSE, entry.th32ProcessID);
            session.toolId = session.tool != NULL ? entry.th32ProcessID : 0;
        }
    }
    CloseHandle(snapshot);
}

static bool ToolEnded(BridgeSession& session)
{
    return session.tool != NULL && WaitForSingleObject(session.tool, 0) == WAIT_OBJECT_0;
}

static std::string ToolEndedText(BridgeSession& session)
{
    return ProcessEndedText(session.tool, "the recording tool");
}

static bool ExplainEarlyEnd(BridgeSession& session, const char* when)
{
    if (session.recorderMissing) {
        return Fail(session, "the bridge reported \"" STATUS_RECORDER_NOT_FOUND
                             "\": the recording tool did not start or its window and "
                             "controls did not appear");
    }
    return Fail(session, EndedText(session) + " " + when);
}

bool WaitBridgeReady(BridgeSession& session, DWORD timeoutMs)
{
    DWORD started = GetTickCount();
    for (;;) {
        ReadOutput(session);
        if (HandleErrorBox(session)) {
            // Once the box is gone the bridge finds no tool and ends on its own.
            WaitForBridgeEnd(session, BRIDGE_EXIT_TIMEOUT_MS);
            return false;
        }
        if (BridgeEnded(session)) {
            ReadFinalOutput(session);
            return ExplainEarlyEnd(session, "before it found the recording tool");
        }
        if (session.recorderMissing) {
            WaitForBridgeEnd(session, BRIDGE_EXIT_TIMEOUT_MS);
            return ExplainEarlyEnd(session, "");
        }
        if (BridgeAnswers(session) && !HandleErrorBox(session)) {
            // The target line, if any, was written before the bridge could answer.
            ReadOutput(session);
            if (session.targetMissing) {
                Fail(session, "the bridge reported \"" STATUS_TARGET_NOT_FOUND
                              "\": no window has that title");
                SendStopCommand(session, BRIDGE_EXIT_TIMEOUT_MS);
                return false;
            }
            FindSessionTool(session);
            return true;
        }
        if (GetTickCount() - started >= timeoutMs) {
            char text[128];
            snprintf(text, sizeof text, "the bridge was not ready within %lu ms", timeoutMs);
            return Fail(session, text);
        }
        if (StopRequestedDuringPause(session)) {
            return Fail(session, STOPPED_BEFORE_RECORDING);
        }
    }
}

static bool PostCommand(BridgeSession& session, UINT command, const char* name)
{
    if (PostMessageA(session.window, command, 0, 0)) {
        return true;
    }
    DWORD code = GetLastError();
    if (BridgeEnded(session) || !IsWindow(session.window)) {
        ReadFinalOutput(session);
        return Fail(session, EndedText(session) + " before " + name +
                                 " could be sent, without an exit line");
    }
    return Fail(session, std::string("sending ") + name + ": " +
                             DescribeFailure("PostMessageA", code));
}

static bool StopRequested(BridgeSession& session)
{
    return session.stopRequest != NULL &&
           WaitForSingleObject(session.stopRequest, 0) == WAIT_OBJECT_0;
}

bool SendStartCommand(BridgeSession& session, DWORD timeoutMs)
{
    if (StopRequested(session)) {
        return Fail(session, STOPPED_BEFORE_RECORDING);
    }
    if (!PostCommand(session, WM_BRIDGE_START, "start")) {
        return false;
    }
    DWORD started = GetTickCount();
    for (;;) {
        // The tool is starting its recording, which cannot be called back: the stop
        // follows as soon as it has begun.
        session.stoppedDuringStart = session.stoppedDuringStart || StopRequested(session);
        ReadOutput(session);
        if (session.started) {
            // Start is served inside the error box's message loop as well.
            return !HandleErrorBox(session);
        }
        if (BridgeEnded(session)) {
            ReadFinalOutput(session);
            return session.started || Fail(session, EndedText(session) + " before \"" +
                                                        STATUS_STARTED "\"");
        }
        if (GetTickCount() - started >= timeoutMs) {
            char text[128];
            snprintf(text, sizeof text, "no \"" STATUS_STARTED "\" within %lu ms of start",
                     timeoutMs);
            return Fail(session, text);
        }
        Sleep(BRIDGE_POLL_MS);
    }
}

bool BridgeStillRecording(BridgeSession& session)
{
    ReadOutput(session);
    if (BridgeEnded(session)) {
        ReadFinalOutput(session);
        return Fail(session, EndedText(session) + " while recording, without an exit line");
    }
    if (ToolEnded(session)) {
        return Fail(session, ToolEndedText(session) + " while recording");
    }
    return true;
}

bool SendStopCommand(BridgeSession& session, DWORD timeoutMs)
{
    if (!PostCommand(session, WM_BRIDGE_STOP, "stop")) {
        return false;
    }
    if (!WaitForBridgeEnd(session, timeoutMs)) {
        char text[128];
        snprintf(text, sizeof text, "the bridge did not end within %lu ms of stop", timeoutMs);
        return Fail(session, text);
    }
    if (session.exitFailed && ToolEnded(session)) {
        // On Windows, ending a process that has already ended fails.
        return Fail(session, "the bridge reported \"" STATUS_EXIT_FAILED "\": " +
                                 ToolEndedText(session) + " before stop");
    }
    if (session.exitFailed) {
        return Fail(session, "the bridge reported \"" STATUS_EXIT_FAILED
                             "\": it could not end the recording tool");
    }
    if (!session.exitLine) {
        return Fail(session, EndedText(session) + " after stop without an exit line");
    }
    return true;
}

static void EndBridgeProcess(BridgeSession& session)
{
    if (session.process == NULL || BridgeEnded(session)) {
        return;
    }
    if (TerminateProcess(session.process, 1)) {
        WaitForSingleObject(session.process, BRIDGE_EXIT_TIMEOUT_MS);
        if (!session.error.empty()) {
            session.error += "; the bridge was ended";
        }
    } else {
        Fail(session, DescribeFailure("TerminateProcess on the bridge", GetLastError()));
    }
}

void EndBridgeSession(BridgeSession& session)
{
    EndBridgeProcess(session);
    for (HANDLE* handle : {&session.process, &session.output, &session.tool, &session.job}) {
        if (*handle != NULL) {
            CloseHandle(*handle);
            *handle = NULL;
        }
    }
    session.window = NULL;
}

struct ToolWindowSearch {
    DWORD processId;
    HWND window;
};

// The tool's window: its process, its title, its play and stop buttons. A window of
// another program that merely carries the title (say, a folder of that name) is left be.
static BOOL CALLBACK FindToolWindow(HWND window, LPARAM context)
{
    ToolWindowSearch* search = reinterpret_cast<ToolWindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[sizeof RECORDER_TITLE + 1] = "";
    if (owner == search->processId && GetWindowTextA(window, title, sizeof title) > 0 &&
        strcmp(title, RECORDER_TITLE) == 0 &&
        FindWindowExA(window, NULL, BUTTON_CLASS, PLAY_TEXT) != NULL &&
        FindWindowExA(window, NULL, BUTTON_CLASS, STOP_TEXT) != NULL) {
        search->window = window;
        return FALSE;
    }
    return TRUE;
}

void CloseLeftoverRecorder(BridgeSession& session, DWORD timeoutMs)
{
    EndBridgeProcess(session);
    FindSessionTool(session);
    if (session.tool == NULL || ToolEnded(session)) {
        return;
    }
    ToolWindowSearch search = {session.toolId, NULL};
    EnumWindows(FindToolWindow, reinterpret_cast<LPARAM>(&search));
    // Without its window the tool has no recording to finish.
    std::string what = "the recording tool was closed";
    if (search.window == NULL || !PostMessageA(search.window, WM_CLOSE, 0, 0) ||
        WaitForSingleObject(session.tool, timeoutMs) != WAIT_OBJECT_0) {
        what = TerminateProcess(session.tool, 1)
                   ? "the recording tool was ended"
                   : DescribeFailure("TerminateProcess on the recording tool", GetLastError());
        WaitForSingleObject(session.tool, timeoutMs);
    }
    if (!session.error.empty()) {
        session.error += "; " + what;
    }
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

bool StartGuard(BridgeSession& session, const char* guardPath, const char* jobName,
                const char* notePath, std::string& error)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE handles[3] = {Inheritable(GetCurrentProcess()), Inheritable(session.process),
                         CreateEventA(&inherit, TRUE, FALSE, NULL)};
    bool started = false;
    if (handles[0] == NULL || handles[1] == NULL || handles[2] == NULL) {
        error = DescribeFailure("DuplicateHandle", GetLastError());
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
        STARTUPINFOEXW startup;
        ZeroMemory(&startup, sizeof startup);
        PROCESS_INFORMATION info;
        // Away from the console: a close of the console or a Ctrl+C must not end it.
        if (CreateWithHandles(commandLine, handles, 3,
                              DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, startup, info,
                              error)) {
            started = WaitGuardReady(handles[2], info.hProcess, error);
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
        if (!started) {
            error = "could not start the guard: " + error;
        }
    }
    for (HANDLE handle : handles) {
        if (handle != NULL) {
            CloseHandle(handle);
        }
    }
    return started;
}
