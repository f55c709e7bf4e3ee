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
#include "run_plan.h"
#include "run_supervision.h"
#include "run_verdict.h"
#include "stand_in_tool.h"
#include "stop_sources.h"
#include "takeover.h"
#include "target_watch.h"
#include "tool_log.h"
#include "window_list.h"

#define ELAPSED_REFRESH_MS 100
// How often the tool's log is read for a recording that ended on its own.
#define TOOL_LOG_POLL_MS 1000
// What nobody reads (a stalled console, a pipe left unread) is given up this long after
// the run, so that the exit code still comes.
#define OUTPUT_DRAIN_MS 2000

static const int SHOW_COMMANDS[] = {SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED};

struct HostState {
    bool elapsedShown;  // the updating line is on the screen
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
    session.cancel_event = StopRequest();
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
        problem = polled == LUMARO_BRIDGE_OK ? ToolEndedWhileRecording(tool) : "";
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
        if (WaitForSingleObject(StopRequest(), wait) == WAIT_OBJECT_0) {
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
    if (!ListenForStops(options.untilEnter, error)) {
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
    RunFinished();
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
