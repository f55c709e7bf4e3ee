// bridge-host: records one window by its title through the bridge and the recording
// tool, printing the bridge's status lines as they come and where the recording went.
// Ctrl+C, Ctrl+Break, Enter (with --until-enter), closing the console, logoff and
// shutdown all ask for the one stop: before the recording began the run ends at once,
// after it the recording is stopped and kept, and either way nothing the run started
// goes on running.
#include "bridge_host.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "avi_summary.h"
#include "bridge_client.h"
#include "host_options.h"
#include "tool_log.h"

#define ELAPSED_REFRESH_MS 100
// How often the tool's log is read for a recording that ended on its own.
#define TOOL_LOG_POLL_MS 1000
// Windows ends a console process 5 s after a close, logoff or shutdown event reaches
// it; the stop, the bridge's end and the report must fit inside.
#define END_EVENT_WAIT_MS 4500
// Above the level of the bridge and the tool (the default, 0x280), so that at shutdown
// bridge-host is told first and can still stop them.
#define HOST_SHUTDOWN_LEVEL 0x300
#define LISTENER_START_TIMEOUT_MS 10000

static const int SHOW_COMMANDS[] = {SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED};

struct HostState {
    HANDLE stopRequest; // any of the ways to stop has been used
    HANDLE finished;    // the run has stopped, cleaned up and said how it went
    HANDLE listening;   // the session-end window exists, or listenError says why not
    std::string listenError;
    bool console;       // standard output is a console: the elapsed time updates in place
    bool elapsedShown;  // the updating line is on the screen
    // The tool's log as long as it was when the run began: what is before is earlier
    // runs', whose tools may have had the process id this run's tool has.
    LARGE_INTEGER logStart;
    // The job this process joined, so that the bridge, the tool and the guard are born
    // into it (JoinRunJob); its handle goes only with the process. Null without one.
    HANDLE job;
    char jobName[64];
};

static HostState g_host;

static void EndElapsedLine()
{
    if (g_host.elapsedShown) {
        printf("\n");
        g_host.elapsedShown = false;
    }
}

static void PrintStatusLine(const std::string& line, void*)
{
    EndElapsedLine();
    printf("%s\n", LineText(line).c_str());
    fflush(stdout);
}

// For the events after which the system ends the process as soon as the handler
// returns: the main thread stops the run meanwhile.
static void StopAndWaitForTheEnd()
{
    SetEvent(g_host.stopRequest);
    WaitForSingleObject(g_host.finished, END_EVENT_WAIT_MS);
}

static BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        SetEvent(g_host.stopRequest);
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
        g_host.listenError = DescribeFailure("RegisterClassA", GetLastError());
    } else {
        window = CreateWindowExA(0, HOST_WINDOW_CLASS, HOST_WINDOW_CLASS, WS_POPUP, 0, 0, 0, 0,
                                 NULL, NULL, windowClass.hInstance, NULL);
        if (window == NULL) {
            g_host.listenError = DescribeFailure("CreateWindowExA", GetLastError());
        }
    }
    SetEvent(g_host.listening);
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
    SetEvent(g_host.stopRequest);
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

static bool ListenForStops(const HostOptions& options, std::string& error)
{
    g_host.stopRequest = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_host.finished = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_host.listening = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (g_host.stopRequest == NULL || g_host.finished == NULL || g_host.listening == NULL) {
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
        (options.untilEnter && !StartThread(WaitForEnter, error))) {
        return false;
    }
    if (WaitForSingleObject(g_host.listening, LISTENER_START_TIMEOUT_MS) != WAIT_OBJECT_0) {
        error = "the window that hears of logoff and shutdown did not appear";
        return false;
    }
    error = g_host.listenError;
    return error.empty();
}

static std::string OwnPath()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

static std::string SiblingPath(const char* name)
{
    std::string own = OwnPath();
    return own.empty() ? name : own.substr(0, own.find_last_of("\\/") + 1) + name;
}

static std::string FullPath(const std::string& path)
{
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, NULL);
    return length > 0 && length < sizeof full ? full : path;
}

static std::string ToolLogPath(const HostOptions& options)
{
    return FullPath(options.toolFolder + TOOL_WORKDIR "\\" RECORDER_LOG);
}

static HANDLE OpenToolLog(const HostOptions& options)
{
    return CreateFileA(ToolLogPath(options).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                       OPEN_EXISTING, 0, NULL);
}

static void MarkToolLogStart(const HostOptions& options)
{
    g_host.logStart.QuadPart = 0;
    HANDLE log = OpenToolLog(options);
    if (log != INVALID_HANDLE_VALUE) {
        GetFileSizeEx(log, &g_host.logStart);
        CloseHandle(log);
    }
}

// The lines the tool wrote during this run.
static bool ReadRunsToolLog(const HostOptions& options, std::string& text, std::string& error)
{
    HANDLE log = OpenToolLog(options);
    if (log == INVALID_HANDLE_VALUE) {
        error = "could not read the recording tool's log: " +
                DescribeFailure(("CreateFileA(" + ToolLogPath(options) + ")").c_str(),
                                GetLastError());
        return false;
    }
    LARGE_INTEGER size;
    // A log that shrank was begun anew during the run.
    if (GetFileSizeEx(log, &size) && size.QuadPart >= g_host.logStart.QuadPart) {
        SetFilePointerEx(log, g_host.logStart, NULL, FILE_BEGIN);
    }
    char bytes[4096];
    DWORD count = 0;
    while (ReadFile(log, bytes, sizeof bytes, &count, NULL) && count > 0) {
        text.append(bytes, count);
    }
    CloseHandle(log);
    return true;
}

// The tool ends a recording by itself when its disk is full, at the file size limit or
// when the screen cannot be captured for long; waiting out the time would only hide it.
static bool ToolEndedItsRecording(const BridgeSession& session, const HostOptions& options)
{
    std::string log;
    std::string error;
    if (session.toolId == 0 || !ReadRunsToolLog(options, log, error)) {
        return false;
    }
    ToolEnd end = ReadToolOutcome(log, session.toolId).end;
    return end == TOOL_SAVED || end == TOOL_SAVED_AT_LIMIT || end == TOOL_FAILED;
}

// Starts the bridge, records until the time is up, a stop is asked for or the tool ends
// the recording by itself, then stops.
static bool RunBridge(BridgeSession& session, const HostOptions& options)
{
    std::string bridge =
        options.bridgePath.empty() ? SiblingPath(BRIDGE_EXE) : options.bridgePath;
    MarkToolLogStart(options);
    if (!StartBridge(session, bridge.c_str(), options.title.c_str(),
                     options.toolFolder.c_str(), SHOW_COMMANDS[options.show])) {
        return false;
    }
    std::string guardError;
    if (!StartGuard(session, OwnPath().c_str(), g_host.job != NULL ? g_host.jobName : NULL,
                    guardError)) {
        session.error = guardError;
        return false;
    }
    if (!FindBridgeWindow(session, BRIDGE_WINDOW_TIMEOUT_MS) ||
        !WaitBridgeReady(session, BRIDGE_READY_TIMEOUT_MS) ||
        !SendStartCommand(session, BRIDGE_START_TIMEOUT_MS)) {
        return false;
    }
    DWORD recording = GetTickCount();
    DWORD limit = static_cast<DWORD>(options.seconds) * 1000;
    DWORD logRead = recording;
    for (;;) {
        DWORD elapsed = GetTickCount() - recording;
        if (!options.untilEnter && elapsed >= limit) {
            break;
        }
        if (GetTickCount() - logRead >= TOOL_LOG_POLL_MS) {
            logRead = GetTickCount();
            if (ToolEndedItsRecording(session, options)) {
                break;
            }
        }
        if (!BridgeStillRecording(session)) {
            EndElapsedLine();
            return false;
        }
        // Redrawn in place on a console only: in a file or a pipe it would be a heap of
        // fragments.
        if (g_host.console) {
            printf("\rrecording %s%s", FormatElapsed(elapsed).c_str(),
                   options.untilEnter ? "  (Enter stops)" : "");
            fflush(stdout);
            g_host.elapsedShown = true;
        }
        DWORD wait = ELAPSED_REFRESH_MS;
        if (!options.untilEnter && limit - elapsed < wait) {
            wait = limit - elapsed;
        }
        if (WaitForSingleObject(g_host.stopRequest, wait) == WAIT_OBJECT_0) {
            break;
        }
    }
    printf("%srecording %s\n", g_host.elapsedShown ? "\r" : "",
           FormatElapsed(GetTickCount() - recording).c_str());
    fflush(stdout);
    g_host.elapsedShown = false;
    return SendStopCommand(session, BRIDGE_EXIT_TIMEOUT_MS);
}

static bool ReadFileBytes(void* context, uint64_t offset, void* into, uint32_t count)
{
    HANDLE file = static_cast<HANDLE>(context);
    OVERLAPPED at;
    ZeroMemory(&at, sizeof at);
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    return ReadFile(file, into, count, &done, &at) && done == count;
}

// Whether the file is a complete recording, with the figures of one.
static bool ReadRecording(const std::string& path, AviSummary& summary, std::string& error)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        error = path + " could not be read: " + DescribeFailure("CreateFileA", GetLastError());
        return false;
    }
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    AviSource source = {ReadFileBytes, file, static_cast<uint64_t>(size.QuadPart)};
    std::string problem;
    bool read = ReadAviSummary(source, summary, problem);
    CloseHandle(file);
    if (!read) {
        error = path + " is not readable as AVI: " + problem;
    } else if (!AviComplete(summary)) {
        error = path + " was not closed properly: its index or frame count is missing";
    }
    return read && AviComplete(summary);
}

// The file this run's own tool instance wrote, as its log names it: an old instance
// that finishes its file during the run writes there too, under its own process id.
static bool ReportRecording(const BridgeSession& session, const HostOptions& options,
                            std::string& error)
{
    if (session.toolId == 0) {
        error = "the recording tool this run launched was not found, so its recording is unknown";
        return false;
    }
    std::string workDir = options.toolFolder + TOOL_WORKDIR "\\";
    std::string log;
    if (!ReadRunsToolLog(options, log, error)) {
        return false;
    }
    ToolOutcome outcome = ReadToolOutcome(log, session.toolId);
    std::string path = FullPath(workDir + outcome.path);
    AviSummary summary;
    switch (outcome.end) {
    case TOOL_SILENT:
        error = "the recording tool logged no recording in " + ToolLogPath(options);
        return false;
    case TOOL_REFUSED:
        error = "the recording tool did not record: " + outcome.text;
        return false;
    case TOOL_RECORDING:
        error = "the recording tool ended without finishing " + path + "; the file is incomplete";
        return false;
    case TOOL_FAILED:
        error = "the recording tool reported \"" + outcome.text + "\"; the file is " + path;
        return false;
    case TOOL_SAVED:
    case TOOL_SAVED_AT_LIMIT:
        break;
    }
    if (!ReadRecording(path, summary, error)) {
        return false;
    }
    printf("saved: %s\n", path.c_str());
    printf("  %dx%d, %lu frames at %.2f fps, %.2f s\n", summary.width, summary.height,
           static_cast<unsigned long>(summary.frames), summary.framesPerSecond, summary.seconds);
    if (outcome.end == TOOL_SAVED_AT_LIMIT) {
        printf("  the tool stopped early: the file reached the AVI size limit\n");
    }
    return true;
}

// After a failed run: the file this run's tool had begun, if any, and whether it is
// whole, so that the user knows what is left of the recording.
static std::string RecordingLeftBehind(const BridgeSession& session, const HostOptions& options)
{
    std::string log;
    std::string error;
    if (session.toolId == 0 || !ReadRunsToolLog(options, log, error)) {
        return "";
    }
    ToolOutcome outcome = ReadToolOutcome(log, session.toolId);
    if (outcome.path.empty()) {
        return "";
    }
    std::string path = FullPath(options.toolFolder + TOOL_WORKDIR "\\" + outcome.path);
    AviSummary summary;
    if (ReadRecording(path, summary, error)) {
        return "; its recording " + path + " is complete";
    }
    return "; its recording is incomplete: " + error;
}

int main(int argc, char** argv)
{
    // The second process a run starts (StartGuard), not a command for users.
    if (argc == 6 && strcmp(argv[1], GUARD_OPTION) == 0) {
        GuardBridge(argv[2], argv[3], argv[4], argv[5]);
        return 0;
    }
    HostOptions options;
    std::string error;
    if (!ParseHostOptions(argc, argv, options, error)) {
        fprintf(stderr, "bridge-host: %s\n", error.c_str());
        return EXIT_BAD_OPTIONS;
    }
    if (options.help) {
        printf("%s", HostUsage());
        return 0;
    }
    if (options.version) {
        printf("bridge-host %s\n", PRODUCT_VERSION);
        return 0;
    }
    if (!ListenForStops(options, error)) {
        fprintf(stderr, "bridge-host: %s\n", error.c_str());
        return EXIT_RECORDING_FAILED;
    }
    DWORD mode = 0;
    g_host.console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;

    snprintf(g_host.jobName, sizeof g_host.jobName, "Local\\bridge-host-run-%lu-%lu",
             GetCurrentProcessId(), GetTickCount());
    g_host.job = JoinRunJob(g_host.jobName);

    BridgeSession session;
    InitBridgeSession(session, PrintStatusLine, NULL);
    session.stopRequest = g_host.stopRequest;
    bool recorded = RunBridge(session, options);
    // However the run went, nothing it started goes on recording.
    CloseLeftoverRecorder(session, RECORDER_CLOSE_TIMEOUT_MS);
    if (recorded) {
        recorded = ReportRecording(session, options, error);
    } else {
        error = session.error + RecordingLeftBehind(session, options);
    }
    EndBridgeSession(session);
    fflush(stdout);
    if (!recorded) {
        fprintf(stderr, "bridge-host: %s\n", error.c_str());
    }
    SetEvent(g_host.finished);
    return recorded ? 0 : EXIT_RECORDING_FAILED;
}
