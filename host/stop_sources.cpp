#include "stop_sources.h"

#include "bridge_host.h"
#include "describe_error.h"

// Windows ends a console process 5 s after a close, logoff or shutdown event reaches
// it; the stop, the bridge's end and the report must fit inside.
#define END_EVENT_WAIT_MS 4500
// Above the level of the bridge and the tool (the default, 0x280), so that at shutdown
// bridge-host is told first and can still stop them.
#define HOST_SHUTDOWN_LEVEL 0x300
#define LISTENER_START_TIMEOUT_MS 10000

static struct {
    HANDLE stopRequest; // any of the ways to stop has been used
    HANDLE finished;    // the run has stopped, cleaned up and said how it went
    HANDLE listening;   // the session-end window exists, or listenError says why not
    std::string listenError;
    DWORD inputMode;    // the console's input mode before bridge-host turned QuickEdit off
    bool quickEditOff;
} g_stops;

// For the events after which the system ends the process as soon as the handler
// returns: the main thread stops the run meanwhile.
static void StopAndWaitForTheEnd()
{
    SetEvent(g_stops.stopRequest);
    WaitForSingleObject(g_stops.finished, END_EVENT_WAIT_MS);
}

static BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        SetEvent(g_stops.stopRequest);
    } else {
        StopAndWaitForTheEnd();
    }
    return TRUE;
}

static LRESULT CALLBACK SessionEndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) {
            StopAndWaitForTheEnd();
        }
        return 0;
    case WM_CLOSE:
        // A close request, as taskkill without /F sends it: the run stops as asked.
        SetEvent(g_stops.stopRequest);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The session-end window lives on a thread of its own, since the main thread does not
// read messages while it runs the recording.
static DWORD WINAPI ListenForSessionEnd(LPVOID)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = SessionEndProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = HOST_WINDOW_CLASS;
    HWND window = NULL;
    if (RegisterClassA(&windowClass) == 0) {
        g_stops.listenError = DescribeFailure("RegisterClassA", GetLastError());
    } else {
        window = CreateWindowExA(0, HOST_WINDOW_CLASS, HOST_WINDOW_CLASS, WS_POPUP, 0, 0, 0, 0,
                                 NULL, NULL, windowClass.hInstance, NULL);
        if (window == NULL) {
            g_stops.listenError = DescribeFailure("CreateWindowExA", GetLastError());
        }
    }
    SetEvent(g_stops.listening);
    MSG message;
    while (window != NULL && GetMessageA(&message, NULL, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    return 0;
}

// Enter, or the end of standard input, asks for the stop.
static DWORD WINAPI WaitForEnter(LPVOID)
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char c = 0;
    DWORD count = 0;
    while (ReadFile(input, &c, 1, &count, NULL) && count == 1 && c != '\n') {
    }
    SetEvent(g_stops.stopRequest);
    return 0;
}

static bool StartThread(LPTHREAD_START_ROUTINE routine, std::string& error)
{
    HANDLE thread = CreateThread(NULL, 0, routine, NULL, 0, NULL);
    if (thread == NULL) {
        error = DescribeFailure("CreateThread", GetLastError());
        return false;
    }
    CloseHandle(thread);
    return true;
}

// One click into a console in QuickEdit mode, Windows' default, starts a selection that
// holds up its output and swallows the next Enter; it is off while bridge-host runs.
static void HoldOffQuickEdit()
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleMode(input, &g_stops.inputMode) && (g_stops.inputMode & ENABLE_QUICK_EDIT_MODE)) {
        g_stops.quickEditOff =
            SetConsoleMode(input, (g_stops.inputMode | ENABLE_EXTENDED_FLAGS) &
                                      ~static_cast<DWORD>(ENABLE_QUICK_EDIT_MODE)) != FALSE;
    }
}

void RestoreQuickEdit()
{
    if (g_stops.quickEditOff) {
        SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), g_stops.inputMode | ENABLE_EXTENDED_FLAGS);
    }
}

bool ListenForStops(bool untilEnter, std::string& error)
{
    g_stops.stopRequest = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_stops.finished = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_stops.listening = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (g_stops.stopRequest == NULL || g_stops.finished == NULL || g_stops.listening == NULL) {
        error = DescribeFailure("CreateEventA", GetLastError());
        return false;
    }
    // A program started in a process group of its own has Ctrl+C turned off, and
    // Ctrl+C is how a user stops bridge-host.
    if (!SetConsoleCtrlHandler(NULL, FALSE) || !SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
        error = DescribeFailure("SetConsoleCtrlHandler", GetLastError());
        return false;
    }
    if (!SetProcessShutdownParameters(HOST_SHUTDOWN_LEVEL, 0)) {
        error = DescribeFailure("SetProcessShutdownParameters", GetLastError());
        return false;
    }
    if (!StartThread(ListenForSessionEnd, error) ||
        (untilEnter && !StartThread(WaitForEnter, error))) {
        return false;
    }
    if (WaitForSingleObject(g_stops.listening, LISTENER_START_TIMEOUT_MS) != WAIT_OBJECT_0) {
        error = "the window that hears of logoff and shutdown did not appear";
        return false;
    }
    error = g_stops.listenError;
    HoldOffQuickEdit();
    return error.empty();
}

HANDLE StopRequest()
{
    return g_stops.stopRequest;
}

void RunFinished()
{
    SetEvent(g_stops.finished);
}
