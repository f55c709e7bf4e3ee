// bridge-host: records one window by its title through the bridge and the recording
// tool, printing the bridge's status lines as they come, then moves the recording where
// the user asked and says where it went. Ctrl+C, Ctrl+Break, Enter, closing the console,
// a close request, logoff and shutdown all ask for the one stop: before the recording
// began the run ends at once, after it the recording is stopped and kept, and either way
// nothing the run started goes on running.
#include "bridge_host.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "avi_file.h"
#include "bridge_contract.h"
#include "code_page.h"
#include "describe_error.h"
#include "host_options.h"
#include "host_output.h"
#include "recorder_contract.h"
#include "run_files.h"
#include "run_supervision.h"
#include "run_verdict.h"
#include "stand_in_tool.h"
#include "takeover.h"
#include "target_watch.h"
#include "tool_log.h"
#include "window_list.h"

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
// What nobody reads (a stalled console, a pipe left unread) is given up this long after
// the run, so that the exit code still comes.
#define OUTPUT_DRAIN_MS 2000
#define LONGEST_PATH 32768

static const int SHOW_COMMANDS[] = {SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED};

struct HostState {
    HANDLE stopRequest; // any of the ways to stop has been used
    HANDLE finished;    // the run has stopped, cleaned up and said how it went
    HANDLE listening;   // the session-end window exists, or listenError says why not
    std::string listenError;
    bool elapsedShown;  // the updating line is on the screen
    DWORD inputMode;    // the console's input mode before bridge-host turned QuickEdit off
    bool quickEditOff;
    // The tool's log as long as it was when the run began: what is before is earlier
    // runs', whose tools may have had the process id this run's tool has.
    LARGE_INTEGER logStart;
    // The job this process joined, so that the bridge, the tool and the guard are born
    // into it (JoinRunJob); its handle goes only with the process. Null without one.
    HANDLE job;
    char jobName[64];
    TargetFound target; // the window being recorded, and what became of it
    WatchState watch;
    std::string targetClosed; // the watch's reason for the stop; empty when it made none
    bool fileNamed;           // the shared record of runs has this run's file
    // The note of the move this run is to make, held open while it runs (run_files.h).
    HeldNote note;
};

// What a run works with, settled before anything starts.
struct RunPlan {
    std::string bridge;     // UTF-8
    std::string guard;      // UTF-8
    std::string title;      // in the ANSI code page, as the bridge takes it
    std::string toolFolder; // likewise, with its trailing backslash
    std::string output;     // UTF-8: a folder (ending in a backslash) or a new file
};

static HostState g_host;

static int Finish(int exitCode)
{
    FinishOutput(OUTPUT_DRAIN_MS);
    return exitCode;
}

static void EndElapsedLine()
{
    if (g_host.elapsedShown) {
        Say("\n");
        g_host.elapsedShown = false;
    }
}

static void PrintStatusLine(const char* line, void*)
{
    EndElapsedLine();
    Say(Utf8FromAnsi(line) + "\n");
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
    case WM_CLOSE:
        // A close request, as taskkill without /F sends it: the run stops as asked.
        SetEvent(g_host.stopRequest);
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

// One click into a console in QuickEdit mode, Windows' default, starts a selection that
// holds up its output and swallows the next Enter; it is off while bridge-host runs.
static void HoldOffQuickEdit()
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleMode(input, &g_host.inputMode) && (g_host.inputMode & ENABLE_QUICK_EDIT_MODE)) {
        g_host.quickEditOff =
            SetConsoleMode(input, (g_host.inputMode | ENABLE_EXTENDED_FLAGS) &
                                      ~static_cast<DWORD>(ENABLE_QUICK_EDIT_MODE)) != FALSE;
    }
}

static void RestoreQuickEdit()
{
    if (g_host.quickEditOff) {
        SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), g_host.inputMode | ENABLE_EXTENDED_FLAGS);
    }
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
    HoldOffQuickEdit();
    return error.empty();
}

// bridge-host's own folder, with its backslash, in full whatever characters it holds and
// however long it is; empty when the system will not say.
static std::wstring OwnFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(NULL, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            return L"";
        }
        if (length < path.size()) {
            path.resize(length);
            return path.substr(0, path.find_last_of(L"\\/") + 1);
        }
        if (path.size() >= LONGEST_PATH) {
            return L"";
        }
        path.resize(path.size() * 2);
    }
}

// The tool folder in the ANSI code page, since the bridge takes it so; a folder whose
// name the code page cannot carry goes by its short name, which it can, where the
// volume keeps one.
static bool AnsiToolFolder(const std::string& folder, std::string& ansi, std::string& error)
{
    std::string missing;
    if (AnsiFromUtf8(folder, ansi, missing)) {
        return true;
    }
    std::wstring wide = WideFromUtf8(folder);
    std::wstring shortName(LONGEST_PATH, L'\0');
    DWORD length = GetShortPathNameW(wide.c_str(), &shortName[0], LONGEST_PATH);
    std::string unused;
    if (length > 0 && length < LONGEST_PATH) {
        shortName.resize(length);
        if (AnsiFromUtf8(Utf8FromWide(shortName), ansi, unused)) {
            return true;
        }
    }
    error = "the tool folder " + folder + " holds characters the system code page cannot carry (" +
            missing + ") and has no short name that it can; the bridge takes the folder in "
            "that code page: put the tool (or the whole package) in a folder named without them";
    return false;
}

// Settles the run's programs, texts and paths; the exit code of a refusal, else 0.
static int PlanRun(const HostOptions& options, RunPlan& plan, std::string& error)
{
    std::string own = Utf8FromWide(OwnFolder());
    plan.bridge = options.bridgePath.empty() ? own + BRIDGE_EXE : options.bridgePath;
    plan.guard = own + GUARD_EXE;
    std::string missing;
    if (!AnsiFromUtf8(options.title, plan.title, missing)) {
        error = "the title holds characters the system code page cannot carry (" + missing +
                "), and the bridge takes the title in that code page";
        return EXIT_BAD_OPTIONS;
    }
    bool given = !options.toolFolder.empty();
    if (!AnsiToolFolder(given ? options.toolFolder : own + PACKAGE_TOOL_FOLDER, plan.toolFolder,
                        error)) {
        return given ? EXIT_BAD_OPTIONS : EXIT_RECORDING_FAILED;
    }
    const char* bad = lumaro_bridge_check_command_line(plan.title.c_str(), plan.toolFolder.c_str());
    if (bad != NULL) {
        error = bad;
        if (plan.title.find(COMMAND_LINE_SEPARATOR) != std::string::npos) {
            error += ": such a window cannot be recorded; give it a title without '#' (a "
                     "document saved under a name without it, say)";
        }
        return EXIT_BAD_OPTIONS;
    }
    std::string path = Utf8FromWide(FullPath(WideFromUtf8(options.output.empty() ? "."
                                                                                  : options.output)));
    return PlanOutput(path, KindOfPath, NULL, plan.output, error) ? 0 : EXIT_BAD_OPTIONS;
}

// Under the tool's working directory (two levels above the tool folder).
static std::wstring InToolWorkDir(const RunPlan& plan, const std::string& relative)
{
    return FullPath(WideFromAnsi(plan.toolFolder + TOOL_WORKDIR "\\" + relative));
}

static HANDLE OpenToolLog(const RunPlan& plan)
{
    return CreateFileW(InToolWorkDir(plan, RECORDER_LOG).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                       OPEN_EXISTING, 0, NULL);
}

static void MarkToolLogStart(const RunPlan& plan)
{
    g_host.logStart.QuadPart = 0;
    HANDLE log = OpenToolLog(plan);
    if (log != INVALID_HANDLE_VALUE) {
        GetFileSizeEx(log, &g_host.logStart);
        CloseHandle(log);
    }
}

// The lines the tool wrote during this run.
static bool ReadRunsToolLog(const RunPlan& plan, std::string& text, std::string& error)
{
    HANDLE log = OpenToolLog(plan);
    if (log == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        std::string call = "CreateFileW(" + Utf8FromWide(InToolWorkDir(plan, RECORDER_LOG)) + ")";
        error = "could not read the recording tool's log: " + DescribeFailure(call.c_str(), code);
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

static ToolOutcome ToolOutcomeSoFar(const lumaro_bridge_session& session, const RunPlan& plan)
{
    std::string log;
    std::string error;
    if (session.tool_process_id == 0 || !ReadRunsToolLog(plan, log, error)) {
        return ToolOutcome{TOOL_SILENT, "", ""};
    }
    ToolOutcome outcome = ReadToolOutcome(log, session.tool_process_id);
    // So that a run that ends this one can say where this one's file goes.
    if (!outcome.path.empty() && !g_host.fileNamed) {
        g_host.fileNamed = true;
        NameRecordingFile(plan.output.back() == '\\'
                              ? plan.output +
                                    outcome.path.substr(outcome.path.find_last_of('\\') + 1)
                              : plan.output);
    }
    return outcome;
}

// One look at the window being recorded, its warnings said; true when it is gone.
static bool WatchGone(DWORD elapsed)
{
    WatchStep step = WatchTarget(g_host.watch, SampleTarget(g_host.target.window,
                                                            g_host.target.screen, elapsed));
    if (step.stop) {
        g_host.targetClosed = step.lines.front();
        return true;
    }
    for (const std::string& line : step.lines) {
        EndElapsedLine();
        Complain("warning: " + line);
    }
    return false;
}

// A stop the client served, whatever the tool's log says: bridge-host reads the log
// itself, for its own verdict.
static bool Served(lumaro_bridge_result result)
{
    return result == LUMARO_BRIDGE_OK || result == LUMARO_BRIDGE_NOT_RECORDED ||
           result == LUMARO_BRIDGE_RECORDING_SHORT;
}

// Starts the bridge, records until the time is up, a stop is asked for or the tool ends
// the recording by itself, then stops. `asked`: the stop came when the time was up or
// the user asked for it. `problem`: why the run failed, where the client's error does
// not say it.
static bool RunBridge(lumaro_bridge_session& session, const HostOptions& options,
                      const RunPlan& plan, bool& asked, std::string& problem)
{
    asked = false;
    MarkToolLogStart(plan);
    MoveNote note = {plan.output, static_cast<uint64_t>(g_host.logStart.QuadPart), 0};
    std::string noteError;
    // The run's name is its job's, which is unique.
    if (!WriteMoveNote(InToolWorkDir(plan, ""), strchr(g_host.jobName, '\\') + 1, note,
                       g_host.note, noteError)) {
        Complain("warning: " + noteError + "; should bridge-host be ended from outside, the "
                 "recording stays in the tool's folder");
    }
    session.show_command = SHOW_COMMANDS[options.show];
    session.cancel_event = g_host.stopRequest;
    session.bridge_path_is_utf8 = 1;
    // A timeout of 0 starts the bridge and returns: the guard holds it before the wait.
    lumaro_bridge_result opened = lumaro_bridge_open(&session, plan.bridge.c_str(),
                                                     plan.title.c_str(), plan.toolFolder.c_str(), 0);
    if (opened != LUMARO_BRIDGE_PENDING && opened != LUMARO_BRIDGE_OK) {
        return false;
    }
    std::string notePath = Utf8FromWide(g_host.note.path);
    if (!StartGuard(session.process_id, plan.guard.c_str(),
                    g_host.job != NULL ? g_host.jobName : NULL,
                    g_host.note.file != INVALID_HANDLE_VALUE ? notePath.c_str() : NULL, problem) ||
        lumaro_bridge_open(&session, plan.bridge.c_str(), plan.title.c_str(),
                           plan.toolFolder.c_str(), LUMARO_BRIDGE_READY_TIMEOUT_MS) !=
            LUMARO_BRIDGE_OK) {
        return false;
    }
    if (session.tool_process_id != 0) {
        AddToolToMoveNote(g_host.note, session.tool_process_id);
    }
    if (lumaro_bridge_start(&session, LUMARO_BRIDGE_START_TIMEOUT_MS) != LUMARO_BRIDGE_OK) {
        return false;
    }
    // The client notices the bridge's end; bridge-host the tool's too.
    HANDLE tool = OpenRunTool(session.tool_process_id);
    Say(options.untilEnter ? std::string("recording until Enter or Ctrl+C\n")
                           : "recording for " + std::to_string(options.seconds) +
                                 " s; Ctrl+C ends it early\n");
    DWORD recording = GetTickCount();
    DWORD watched = recording;
    g_host.watch = StartWatch(g_host.target.rect);
    DWORD limit = static_cast<DWORD>(options.seconds) * 1000;
    // The log is read at once too: a refusal is there before "startcapture".
    DWORD logRead = recording - TOOL_LOG_POLL_MS;
    bool failed = false;
    for (;;) {
        DWORD elapsed = GetTickCount() - recording;
        if (!options.untilEnter && elapsed >= limit) {
            asked = true;
            break;
        }
        if (GetTickCount() - logRead >= TOOL_LOG_POLL_MS) {
            logRead = GetTickCount();
            // The tool refuses a region it cannot record, and ends a recording by itself
            // when its disk is full, at a file size limit or when the screen cannot be
            // captured for long: waiting out the time would only hide it.
            ToolEnd end = ToolOutcomeSoFar(session, plan).end;
            if (end != TOOL_SILENT && end != TOOL_RECORDING) {
                break;
            }
        }
        if (!IsWindow(g_host.target.window) || GetTickCount() - watched >= WATCH_INTERVAL_MS) {
            watched = GetTickCount();
            if (WatchGone(elapsed)) {
                break;
            }
        }
        lumaro_bridge_result polled = lumaro_bridge_poll(&session, 0);
        if (polled == LUMARO_BRIDGE_CANCELLED) {
            asked = true;
            break;
        }
        problem = ToolEndedWhileRecording(tool);
        if (polled != LUMARO_BRIDGE_OK || !problem.empty()) {
            failed = true;
            break;
        }
        // Redrawn in place on a console only: in a file or a pipe it would be a heap of
        // fragments.
        if (OutputIsConsole()) {
            SayProgress("\rrecording " + FormatElapsed(elapsed) +
                        (options.untilEnter ? "  (Enter stops)" : ""));
            g_host.elapsedShown = true;
        }
        DWORD wait = ELAPSED_REFRESH_MS;
        if (!options.untilEnter && limit - elapsed < wait) {
            wait = limit - elapsed;
        }
        if (WaitForSingleObject(g_host.stopRequest, wait) == WAIT_OBJECT_0) {
            asked = true;
            break;
        }
    }
    if (tool != NULL) {
        CloseHandle(tool);
    }
    if (failed) {
        EndElapsedLine();
        return false;
    }
    DWORD recorded = GetTickCount() - recording;
    Say(std::string(g_host.elapsedShown ? "\r" : "") + "recording " + FormatElapsed(recorded) +
        "\n");
    g_host.elapsedShown = false;
    for (const std::string& line : WatchSummary(g_host.watch, recorded)) {
        Complain("warning: " + line);
    }
    return Served(lumaro_bridge_stop(&session, LUMARO_BRIDGE_STOP_TIMEOUT_MS));
}

static std::string Seconds(double seconds)
{
    char text[32];
    snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

// Reports the run: the complete recording, where it went and its figures, or why there
// is none. Returns the exit code.
static int ReportRun(const lumaro_bridge_session& session, const HostOptions& options,
                     const RunPlan& plan, RunFacts& facts)
{
    facts.logPath = Utf8FromWide(InToolWorkDir(plan, RECORDER_LOG));
    std::string log;
    std::string error;
    if (session.tool_process_id == 0) {
        facts.runProblem = facts.runProblem.empty()
                               ? "the recording tool this run launched was not found, so its "
                                 "recording is unknown"
                               : facts.runProblem;
    } else if (!ReadRunsToolLog(plan, log, error)) {
        facts.runProblem = facts.runProblem.empty() ? error : facts.runProblem + "; " + error;
    } else {
        facts.tool = ReadToolOutcome(log, session.tool_process_id);
        facts.tool.text = Utf8FromAnsi(facts.tool.text);
    }
    AviSummary summary;
    std::wstring path;
    if (!facts.tool.path.empty()) {
        path = InToolWorkDir(plan, facts.tool.path);
        facts.path = Utf8FromWide(path);
        facts.complete = ReadAviFile(path, summary, facts.fileProblem);
    }
    RunVerdict verdict = JudgeRun(facts);
    if (verdict.exitCode == EXIT_RECORDING_FAILED) {
        Complain(verdict.reason);
        return verdict.exitCode;
    }
    std::string why;
    std::string saved = Utf8FromWide(MoveRecording(path, plan.output, why));
    if (!why.empty()) {
        Complain("warning: the recording stays at " + saved + ": " + why);
    }
    char figures[128];
    snprintf(figures, sizeof figures, "  %dx%d, %lu frames at %.2f fps, %.2f s\n", summary.width,
             summary.height, static_cast<unsigned long>(summary.frames),
             summary.framesPerSecond, summary.seconds);
    Say("saved: " + saved + "\n" + figures);
    if (verdict.exitCode == EXIT_RECORDING_SHORT) {
        std::string asked = options.seconds > 0 ? " of " + std::to_string(options.seconds) + " s"
                                                : "";
        Complain("the recording is shorter than asked (" + Seconds(summary.seconds) + asked +
                 "): " + verdict.reason + "; the file is " + saved);
    }
    return verdict.exitCode;
}

// The file version of a program, as "1.1.0"; empty when it has none or is not there.
static std::string ProgramVersion(const std::wstring& path)
{
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &unused);
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* info = NULL;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
        length < sizeof *info) {
        return "";
    }
    char text[48];
    snprintf(text, sizeof text, "%u.%u.%u", HIWORD(info->dwFileVersionMS),
             LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS));
    return text;
}

// bridge-host's version, then that of each program of the package beside it.
static std::string VersionLines()
{
    std::string own = Utf8FromWide(OwnFolder());
    std::string lines = "bridge-host " PRODUCT_VERSION "\n";
    for (const char* program : {GUARD_EXE, BRIDGE_EXE, PACKAGE_TOOL_FOLDER RECORDER_EXE}) {
        std::string version = ProgramVersion(WideFromUtf8(own + program));
        lines += program + (version.empty() ? std::string(": not found beside " HOST_EXE)
                                            : " " + version) +
                 "\n";
    }
    return lines;
}

static int Record(const HostOptions& options)
{
    RunPlan plan;
    std::string error;
    int refused = PlanRun(options, plan, error);
    if (refused != 0) {
        Complain(error);
        return refused;
    }
    g_host.note.file = INVALID_HANDLE_VALUE;
    // Runs ended from outside whose guard could not move their recording.
    for (const std::string& line : FinishLeftMoves(InToolWorkDir(plan, ""))) {
        Complain(line);
    }
    // A wrong title, or a window that would not be recorded, costs no failed run.
    TargetCheck target;
    if (!CheckTargetWindow(plan.title.c_str(), target, g_host.target, error)) {
        Complain(error);
        return EXIT_RECORDING_FAILED;
    }
    if (target.verdict == TARGET_REFUSED) {
        Complain(target.line);
        return EXIT_RECORDING_FAILED;
    }
    if (target.verdict == TARGET_WARNING) {
        Complain("warning: " + target.line);
    }
    if (!target.sameTitle.empty()) {
        Complain("warning: " + target.sameTitle);
    }
    if (!ListenForStops(options, error)) {
        Complain(error);
        return EXIT_RECORDING_FAILED;
    }
    snprintf(g_host.jobName, sizeof g_host.jobName, "Local\\bridge-host-run-%lu-%lu",
             GetCurrentProcessId(), GetTickCount());
    g_host.job = JoinRunJob(g_host.jobName);
    EndedRun ended;
    if (ClaimRecording(plan.output, ended)) {
        Complain("warning: this recording ends the one another bridge-host (process " +
                 std::to_string(ended.hostId) + ") started at " + ended.started +
                 "; that one keeps its file, which goes to " + ended.file);
    }

    lumaro_bridge_session session;
    lumaro_bridge_init(&session, PrintStatusLine, NULL);
    bool asked = false;
    std::string problem;
    bool ran = RunBridge(session, options, plan, asked, problem);
    // However the run went, nothing it started goes on recording, and the tool has
    // finished its file before it is read.
    lumaro_bridge_close(&session, RECORDER_CLOSE_TIMEOUT_MS);
    std::string endedAt = EndedAt();
    ReleaseRecording();
    RunFacts facts = {};
    facts.stoppedAsAsked = ran && asked;
    facts.runProblem = !endedAt.empty() && !facts.stoppedAsAsked
                           ? "another recording started at " + endedAt + " and ended this one"
                       : ran              ? g_host.targetClosed
                       : !problem.empty() ? problem
                       : session.result == LUMARO_BRIDGE_CANCELLED ? STOPPED_BEFORE_RECORDING
                                                                   : session.error;
    facts.tool = ToolOutcome{TOOL_SILENT, "", ""};
    int exitCode = ReportRun(session, options, plan, facts);
    DropMoveNote(g_host.note);
    RestoreQuickEdit();
    SetEvent(g_host.finished);
    return exitCode;
}

int main()
{
    std::vector<std::string> arguments = Utf8Arguments();
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    StartOutput();
    HostOptions options;
    std::string error;
    if (!ParseHostOptions(static_cast<int>(argv.size()), argv.data(), options, error)) {
        Complain(error);
        return Finish(EXIT_BAD_OPTIONS);
    }
    if (options.help) {
        Say(HostUsage());
        return Finish(EXIT_RECORDED);
    }
    if (options.version) {
        Say(VersionLines());
        return Finish(EXIT_RECORDED);
    }
    if (options.command == HOST_WINDOWS) {
        std::vector<std::string> lines;
        if (!ListRecordableWindows(lines, error)) {
            Complain(error);
            return Finish(EXIT_RECORDING_FAILED);
        }
        for (const std::string& line : lines) {
            Say(line + "\n");
        }
        return Finish(EXIT_RECORDED);
    }
    return Finish(Record(options));
}
