#include "bridge_client.h"

#include <stdio.h>

#include "command_line.h"
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
    session.output = NULL;
    session.window = NULL;
    session.buffer = LineBuffer();
    session.lines.clear();
    session.sink = sink;
    session.sinkContext = sinkContext;
    session.started = false;
    session.exitLine = false;
    session.exitFailed = false;
    session.recorderMissing = false;
    session.targetMissing = false;
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

static std::string EndedText(BridgeSession& session)
{
    DWORD code = 0;
    char text[64];
    if (GetExitCodeProcess(session.process, &code)) {
        snprintf(text, sizeof text, "the bridge ended (exit code %lu)", code);
    } else {
        snprintf(text, sizeof text, "the bridge ended");
    }
    return text;
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

bool StartBridge(BridgeSession& session, const char* bridgePath, const char* title,
                 const char* toolFolder, int showCommand)
{
    const char* bad = CheckCommandLineParts(title, toolFolder);
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

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    startup.hStdInput = input;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::string commandLine(BuildCommandLine(bridgePath, title, toolFolder, NULL, 0) + 1, '\0');
    BuildCommandLine(bridgePath, title, toolFolder, &commandLine[0], commandLine.size());
    PROCESS_INFORMATION info;
    BOOL created = CreateProcessA(NULL, &commandLine[0], NULL, NULL, TRUE, 0, NULL, NULL,
                                  &startup, &info);
    DWORD code = GetLastError();
    // Only the bridge may hold the write end, or the pipe never reports its end.
    CloseHandle(writeEnd);
    CloseHandle(input);
    if (!created) {
        return Fail(session, "could not start the bridge \"" + std::string(bridgePath) +
                                 "\": " + DescribeFailure("CreateProcessA", code));
    }
    CloseHandle(info.hThread);
    session.process = info.hProcess;
    session.processId = info.dwProcessId;
    return true;
}

static HWND FindWindowOfProcess(const char* className, const char* title, DWORD processId)
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
        Sleep(BRIDGE_POLL_MS);
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
            return true;
        }
        if (GetTickCount() - started >= timeoutMs) {
            char text[128];
            snprintf(text, sizeof text, "the bridge was not ready within %lu ms", timeoutMs);
            return Fail(session, text);
        }
        Sleep(BRIDGE_POLL_MS);
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

bool SendStartCommand(BridgeSession& session, DWORD timeoutMs)
{
    if (!PostCommand(session, WM_BRIDGE_START, "start")) {
        return false;
    }
    DWORD started = GetTickCount();
    for (;;) {
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
    if (!BridgeEnded(session)) {
        return true;
    }
    ReadFinalOutput(session);
    return Fail(session, EndedText(session) + " while recording, without an exit line; "
                                              "the recording is incomplete");
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
    if (session.exitFailed) {
        return Fail(session, "the bridge reported \"" STATUS_EXIT_FAILED
                             "\": it could not end the recording tool");
    }
    if (!session.exitLine) {
        return Fail(session, EndedText(session) + " after stop without an exit line");
    }
    return true;
}

void EndBridgeSession(BridgeSession& session)
{
    if (session.process != NULL) {
        if (!BridgeEnded(session)) {
            if (TerminateProcess(session.process, 1)) {
                WaitForSingleObject(session.process, BRIDGE_EXIT_TIMEOUT_MS);
                if (!session.error.empty()) {
                    session.error += "; the bridge was ended";
                }
            } else {
                Fail(session, DescribeFailure("TerminateProcess on the bridge", GetLastError()));
            }
        }
        CloseHandle(session.process);
        session.process = NULL;
    }
    if (session.output != NULL) {
        CloseHandle(session.output);
        session.output = NULL;
    }
    session.window = NULL;
}

static void CloseRecorder(HWND window, DWORD timeoutMs)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (process == NULL) {
        return;
    }
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, timeoutMs);
    }
    CloseHandle(process);
}

void CloseLeftoverRecorders(DWORD timeoutMs)
{
    for (HWND window = FindWindowA(NULL, RECORDER_TITLE); window != NULL;
         window = FindWindowA(NULL, RECORDER_TITLE)) {
        HWND before = window;
        CloseRecorder(window, timeoutMs);
        if (FindWindowA(NULL, RECORDER_TITLE) == before) {
            return;
        }
    }
}
