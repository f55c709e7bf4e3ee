// The C client bridge-host is built on, and bridge-host, against real processes under
// Wine: the real bridge, the stand-in recording tool, the demo target and a misbehaving
// stand-in bridge. Every failure must come back as a clear sentence within the client's
// bounds.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "avi_summary.h"
#include "bridge_contract.h"
#include "bridge_host.h"
#include "code_page.h"
#include "demo_target.h"
#include "lumaro_bridge.h"
#include "media_check.h"
#include "output_plan.h"
#include "process_harness.h"
#include "recorder_contract.h"
#include "recorder_test_names.h"
#include "run_supervision.h"
#include "stand_in_tool.h"
#include "window_list.h"

namespace {

#define FAKE_BRIDGE_EXE "host_fake_bridge.exe"
#define FAKE_TOOL_EXE "fake_recorder.exe"
#define TARGET_WAIT_MS 10000
#define SHORT_WINDOW_MS 1500
// What a clear failure may take beyond the client's own bound: a bridge that has to
// start the tool, close an error box or end first.
#define FAILURE_MARGIN_MS 15000
#define HOST_RUN_MS 60000
#define FAILED_RECORDING_END_MS 5000
#define RECORD_SECONDS 3
// A recording's length may differ from the request by the tool's frame spacing and the
// time the stop takes to reach it.
#define DURATION_TOLERANCE_S 0.5
// A stop from outside comes later than asked by the time it takes to deliver.
#define OUTSIDE_STOP_SLACK_S 5.0
// So that Ctrl+C reaches bridge-host alone.
#define OWN_CONSOLE (CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP)

class HostProcess : public ::testing::Test {
protected:
    std::string workDir;
    std::string toolFolder;
    ChildProcess target;

    void SetUp() override { FreshLayout(); }

    void FreshLayout()
    {
        ToolLayout layout;
        ASSERT_TRUE(LayOutTool("host", NULL, layout));
        workDir = layout.workDir;
        toolFolder = layout.toolFolder;
    }

    void TearDown() override
    {
        if (target.info.hProcess != NULL) {
            TerminateProcess(target.info.hProcess, 0);
            WaitForSingleObject(target.info.hProcess, TARGET_WAIT_MS);
            CloseChild(target);
        }
        KillProcessesNamed(BRIDGE_EXE);
        KillProcessesNamed(FAKE_BRIDGE_EXE);
        KillProcessesNamed(RECORDER_EXE);
        SetEnvironmentVariableA("FAKE_RECORDER", NULL);
    }

    void PutTool(const char* source)
    {
        ASSERT_TRUE(CopyFileA((BinDir() + source).c_str(), (toolFolder + RECORDER_EXE).c_str(),
                              FALSE));
    }

    void OpenDemoTarget()
    {
        ASSERT_TRUE(StartChild(BinDir() + "demo_target.exe", "", SW_SHOWNORMAL, target));
        ASSERT_TRUE(WaitUntil([] { return FindWindowA(NULL, DEMO_TITLE) != NULL; },
                              TARGET_WAIT_MS));
    }

    // Moved into the work folder, where bridge-host runs, or left where the tool wrote it.
    std::vector<std::string> Recordings()
    {
        std::vector<std::string> files = FilesIn(workDir, "*" RECORDING_EXTENSION);
        std::vector<std::string> left = RecordingsIn(workDir);
        files.insert(files.end(), left.begin(), left.end());
        return files;
    }

    // bridge-host's arguments for recording the demo window (or another).
    std::string DemoArgs(const char* stop, const char* title = DEMO_TITLE) const
    {
        return std::string("record --title \"") + title + "\" --tool-folder " + toolFolder +
               " " + stop;
    }
};

// Runs bridge-host to its end in the folder, its standard input on a pipe; meanwhile
// calls `during` on each poll until it returns true. The output has CRLF read as LF.
// With fullOutput nothing is read until bridge-host has ended.
bool RunBridgeHost(const std::string& args, DWORD& exitCode, std::string& output,
                   const std::string& folder,
                   const std::function<bool(ChildProcess&)>& during = nullptr,
                   DWORD creationFlags = 0, bool fullOutput = false,
                   const std::string& exe = BinDir() + HOST_EXE)
{
    ChildProcess host;
    if (!StartChild(exe, args, SW_HIDE, host, folder.c_str(), true, creationFlags,
                    fullOutput)) {
        output = "could not start bridge-host";
        return false;
    }
    bool done = !during;
    bool ended = WaitUntil([&] {
        if (!fullOutput) {
            PollOutput(host);
        }
        done = done || during(host);
        return WaitForSingleObject(host.info.hProcess, 0) == WAIT_OBJECT_0;
    }, HOST_RUN_MS);
    PollOutput(host);
    ended = ended && GetExitCodeProcess(host.info.hProcess, &exitCode);
    output = host.output;
    CloseChild(host);
    for (size_t at = output.find("\r\n"); at != std::string::npos; at = output.find("\r\n", at)) {
        output.erase(at, 1);
    }
    return ended;
}

// Presses Ctrl+C in the console of bridge-host, started with OWN_CONSOLE.
bool PressCtrlC(ChildProcess& host)
{
    ChildProcess sender;
    DWORD code = 1;
    EXPECT_TRUE(StartChild(BinDir() + "send_ctrl_c.exe", std::to_string(host.info.dwProcessId),
                           SW_HIDE, sender) &&
                WaitForExit(sender, TARGET_WAIT_MS, &code) && code == 0)
        << sender.output;
    return true;
}

// Tells bridge-host the session is ending, as Windows does at logoff: by the time it
// has handled that, the bridge must be gone, since the process may be ended then.
bool EndSession(ChildProcess& host)
{
    HWND window = FindProcessWindow(host.info.dwProcessId, HOST_WINDOW_CLASS, NULL);
    DWORD_PTR answer = FALSE;
    EXPECT_TRUE(window != NULL &&
                SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                    SMTO_NORMAL, HOST_RUN_MS, &answer) &&
                answer &&
                // bridge-host may end before its answer, as the system would end it after.
                (SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF,
                                     SMTO_NORMAL, HOST_RUN_MS, &answer) ||
                 WaitForSingleObject(host.info.hProcess, 0) == WAIT_OBJECT_0));
    EXPECT_TRUE(ProcessesNamed(BRIDGE_EXE).empty()) << "the bridge outlived the session's end";
    return true;
}

bool PressEnter(ChildProcess& host)
{
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(host.inputWrite, "\n", 1, &written, NULL));
    return true;
}

struct RunResult {
    std::string error;
    std::string recording; // the file the log names, if any
    bool bridgeEnded; // before the session was closed
    DWORD milliseconds;
};

// How a run through the C client goes besides open, start, a short poll and stop.
enum CWay {
    C_NONE,
    C_CLOSE_ONLY,        // close alone stops it
    C_STOP_TWICE,
    C_KILL_BRIDGE,       // the bridge killed once recording
    C_CANCEL_AFTER_OPEN, // the cancel event set before start
    C_REUSE,             // on a session that failed to open and was closed
    C_UTF8_PATH,         // the bridge's path given as UTF-8
    C_PENDING,           // open, start and stop with timeouts of 0, called until done
    C_CANCEL_IN_START,   // the cancel event set once start has gone out
};

void AddLine(const char* line, void* lines)
{
    *static_cast<std::string*>(lines) += std::string(line) + "\n";
}

// Starts, finds, waits for readiness, starts and stops capturing through the C client
// of sdk/lumaro_bridge.h, as a host does; code is what it returned. Each wait before the
// stop is bounded by timeoutMs.
RunResult RecordBrieflyInC(const std::string& bridge, const char* title,
                           const std::string& folder, DWORD timeoutMs, CWay way,
                           lumaro_bridge_result& code, std::string& lines)
{
    DWORD began = GetTickCount();
    HANDLE cancel = CreateEventA(NULL, TRUE, FALSE, NULL);
    lumaro_bridge_session s;
    lumaro_bridge_init(&s, AddLine, &lines);
    s.cancel_event = cancel;
    s.bridge_path_is_utf8 = way == C_UTF8_PATH;
    if (way == C_REUSE) {
        lumaro_bridge_open(&s, (BinDir() + FAKE_BRIDGE_EXE).c_str(), "quit", folder.c_str(),
                           timeoutMs);
        lumaro_bridge_close(&s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
    }
    // Each call of a pending way returns at once, PENDING until done, and is done
    // before the bound.
    int pending = 0;
    auto until = [&](const std::function<lumaro_bridge_result()>& call) {
        lumaro_bridge_result r = LUMARO_BRIDGE_PENDING;
        EXPECT_TRUE(WaitUntil([&] {
            r = call();
            pending += r == LUMARO_BRIDGE_PENDING;
            return r != LUMARO_BRIDGE_PENDING;
        }, LUMARO_BRIDGE_READY_TIMEOUT_MS));
        return r;
    };
    if (way == C_PENDING || way == C_CANCEL_IN_START) {
        // The tool takes its time over the play click in the second, so that the cancel
        // comes between start and "startcapture".
        if (until([&] { return lumaro_bridge_open(&s, bridge.c_str(), title, folder.c_str(), 0); }) ==
                LUMARO_BRIDGE_OK &&
            (way != C_CANCEL_IN_START ||
             (lumaro_bridge_start(&s, 0) == LUMARO_BRIDGE_PENDING && SetEvent(cancel))) &&
            until([&] { return lumaro_bridge_start(&s, 0); }) == LUMARO_BRIDGE_OK) {
            until([&] { return lumaro_bridge_stop(&s, 0); });
        }
        EXPECT_GT(pending, 1) << "no call of a timeout of 0 was pending";
    } else if (lumaro_bridge_open(&s, bridge.c_str(), title, folder.c_str(), timeoutMs) ==
            LUMARO_BRIDGE_OK &&
        (way != C_CANCEL_AFTER_OPEN || SetEvent(cancel)) &&
        lumaro_bridge_start(&s, timeoutMs) == LUMARO_BRIDGE_OK &&
        lumaro_bridge_poll(&s, SHORT_WINDOW_MS) == LUMARO_BRIDGE_OK &&
        (way != C_KILL_BRIDGE || (TerminateProcess(s.process, 9) &&
                                  lumaro_bridge_poll(&s, SHORT_WINDOW_MS) == LUMARO_BRIDGE_OK)) &&
        way != C_CLOSE_ONLY) {
        lumaro_bridge_stop(&s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
        if (way == C_STOP_TWICE) {
            lumaro_bridge_stop(&s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
        }
    }
    RunResult result;
    result.bridgeEnded = s.process == NULL || WaitForSingleObject(s.process, 0) == WAIT_OBJECT_0;
    code = lumaro_bridge_close(&s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
    result.error = s.error;
    result.recording = lumaro_bridge_recording(&s) != NULL ? lumaro_bridge_recording(&s) : "";
    result.milliseconds = GetTickCount() - began;
    CloseHandle(cancel);
    return result;
}

struct FailureCase {
    const char* name;
    const char* bridge;     // in the bin folder
    const char* tool;       // copied into the tool folder as the tool; null: none
    const char* title;
    DWORD windowMs;
    std::vector<const char*> says;
    bool bridgeEnds;        // the client saw the bridge end by itself
    const char* toolFaults = nullptr; // FAKE_RECORDER for the tool double
    lumaro_bridge_result inC = LUMARO_BRIDGE_OK; // what the client returns
    CWay way = C_NONE;
    const char* target = nullptr; // recorder_target's arguments, for a target to record
    DWORD withinMs = 0;           // its bound, when not windowMs + FAILURE_MARGIN_MS
};

TEST_F(HostProcess, EachFailureIsReportedClearlyWithinItsBound)
{
    const FailureCase cases[] = {
        // The early lines and the error box come back as codes of their own, and start is
        // never posted (the tool double would log "click play"). A window that does
        // appear gets the client's usual bound: on a busy machine the short one can pass
        // before it does.
        {"bridge path wrong", "no_such_bridge.exe", nullptr, "Chart", LUMARO_BRIDGE_WINDOW_TIMEOUT_MS,
         {"could not start the bridge", "CreateProcessW failed with error 2"}, true, nullptr,
         LUMARO_BRIDGE_SYSTEM_ERROR},
        {"bridge ends at once", FAKE_BRIDGE_EXE, nullptr, "quit", SHORT_WINDOW_MS,
         {"ended (exit code 3) before it was ready"}, true, nullptr, LUMARO_BRIDGE_ENDED},
        {"window never appears", FAKE_BRIDGE_EXE, nullptr, "nowindow", SHORT_WINDOW_MS,
         {"window did not appear within 1500 ms", "the bridge was ended"}, false, nullptr,
         LUMARO_BRIDGE_TIMEOUT},
        {"tool folder wrong", BRIDGE_EXE, nullptr, "Chart", LUMARO_BRIDGE_READY_TIMEOUT_MS,
         {"could not start the recording tool", "error box (\"Error: File not found.\")", "closed"},
         true, nullptr, LUMARO_BRIDGE_TOOL_LAUNCH_FAILED},
        {"tool ends at once", BRIDGE_EXE, FAKE_TOOL_EXE, "Chart", LUMARO_BRIDGE_READY_TIMEOUT_MS,
         {"\"" STATUS_RECORDER_NOT_FOUND "\""}, true, "controls_ms=600000;exit_ms=300",
         LUMARO_BRIDGE_RECORDER_NOT_FOUND},
        {"target missing", BRIDGE_EXE, FAKE_TOOL_EXE, "No Such Window 4711",
         LUMARO_BRIDGE_READY_TIMEOUT_MS, {"\"" STATUS_TARGET_NOT_FOUND "\"", "before recording began"},
         true, nullptr, LUMARO_BRIDGE_TARGET_NOT_FOUND},
        {"title with '#'", BRIDGE_EXE, nullptr, "Chart#2", LUMARO_BRIDGE_WINDOW_TIMEOUT_MS,
         {"contains '#'"}, true, nullptr, LUMARO_BRIDGE_BAD_ARGUMENT},
        {"exit line missing", FAKE_BRIDGE_EXE, nullptr, "mute", LUMARO_BRIDGE_WINDOW_TIMEOUT_MS,
         {"after stop without an exit line"}, true, nullptr, LUMARO_BRIDGE_ENDED},
        {"start not served", FAKE_BRIDGE_EXE, nullptr, "nostart", SHORT_WINDOW_MS,
         {"no \"" STATUS_STARTED "\" within 1500 ms of start", "bridge was stopped"}, false,
         nullptr, LUMARO_BRIDGE_TIMEOUT},
        {"bridge ends while recording", FAKE_BRIDGE_EXE, nullptr, "startquit",
         LUMARO_BRIDGE_WINDOW_TIMEOUT_MS, {"(exit code 0) while recording, without an exit line"}, true,
         nullptr, LUMARO_BRIDGE_ENDED},
        {"tool had already ended", FAKE_BRIDGE_EXE, FAKE_TOOL_EXE, "endedtool",
         LUMARO_BRIDGE_WINDOW_TIMEOUT_MS, {"\"" STATUS_EXIT_FAILED "\"", "had ended before stop"}, true,
         nullptr, LUMARO_BRIDGE_EXIT_FAILED},
        {"tool not ended", FAKE_BRIDGE_EXE, FAKE_TOOL_EXE, "stucktool", LUMARO_BRIDGE_WINDOW_TIMEOUT_MS,
         {"\"" STATUS_EXIT_FAILED "\"", "or it could not be ended", "; the recording tool was"}, true,
         nullptr, LUMARO_BRIDGE_EXIT_FAILED},
        {"the same, closed without a stop", FAKE_BRIDGE_EXE, FAKE_TOOL_EXE, "endedtool",
         LUMARO_BRIDGE_WINDOW_TIMEOUT_MS, {"\"" STATUS_EXIT_FAILED "\""}, false, nullptr,
         LUMARO_BRIDGE_EXIT_FAILED, C_CLOSE_ONLY},
        {"target off the screen", BRIDGE_EXE, RECORDER_EXE, TARGET_TITLE,
         LUMARO_BRIDGE_WINDOW_TIMEOUT_MS, {"did not record: " LOG_NOT_RECORDING, "must be greater than 0"},
         true, nullptr, LUMARO_BRIDGE_NOT_RECORDED, C_NONE, "-3000 -3000 300 200 2080e0"},
        {"bridge killed while recording", FAKE_BRIDGE_EXE, FAKE_TOOL_EXE, "stucktool",
         LUMARO_BRIDGE_WINDOW_TIMEOUT_MS, {"(exit code 9) while recording, without", "; the recording tool was"}, true,
         nullptr, LUMARO_BRIDGE_ENDED, C_KILL_BRIDGE},
        {"open timed out", BRIDGE_EXE, FAKE_TOOL_EXE, "Chart", 6000,
         {"not ready within 6000 ms", "bridge was ended", "; the recording tool was"}, false,
         "controls_ms=600000", LUMARO_BRIDGE_TIMEOUT},
        {"second stop", FAKE_BRIDGE_EXE, nullptr, "served", LUMARO_BRIDGE_WINDOW_TIMEOUT_MS, {""},
         true, nullptr, LUMARO_BRIDGE_OK, C_STOP_TWICE},
        {"window never appears, the caller's bound long", FAKE_BRIDGE_EXE, nullptr,
         "nowindow", LUMARO_BRIDGE_READY_TIMEOUT_MS, {"window did not appear within 10000 ms"}, false,
         nullptr, LUMARO_BRIDGE_TIMEOUT, C_NONE, nullptr,
         LUMARO_BRIDGE_WINDOW_TIMEOUT_MS + FAILURE_MARGIN_MS / 3},
        {"cancelled before start", FAKE_BRIDGE_EXE, nullptr, "served", LUMARO_BRIDGE_WINDOW_TIMEOUT_MS,
         {"cancelled before start was sent", "bridge was stopped"}, false, nullptr,
         LUMARO_BRIDGE_CANCELLED, C_CANCEL_AFTER_OPEN},
        {"reused after a failure", FAKE_BRIDGE_EXE, nullptr, "served",
         LUMARO_BRIDGE_WINDOW_TIMEOUT_MS, {""}, true, nullptr, LUMARO_BRIDGE_OK, C_REUSE},
        // Outside the ANSI code page of any locale but Russian's.
        {"recorded", BRIDGE_EXE, RECORDER_EXE, TARGET_TITLE, LUMARO_BRIDGE_WINDOW_TIMEOUT_MS, {""},
         true, nullptr, LUMARO_BRIDGE_OK, C_NONE, "100 100 300 200 2080e0"},
        {"the tool's file cut short", BRIDGE_EXE, FAKE_TOOL_EXE, TARGET_TITLE,
         LUMARO_BRIDGE_WINDOW_TIMEOUT_MS, {"reported \"" LOG_FAILED, "fake.avi: 1 frames: disk full"},
         true, "logs=failed", LUMARO_BRIDGE_RECORDING_SHORT, C_NONE, "100 100 300 200 2080e0"},
        {"pending", FAKE_BRIDGE_EXE, nullptr, "served", 0, {""}, true, nullptr,
         LUMARO_BRIDGE_OK, C_PENDING},
        {"cancelled once start went out", BRIDGE_EXE, FAKE_TOOL_EXE, TARGET_TITLE, 0,
         {"cancelled while the recording started; it was stopped"}, true, "play_ms=2000",
         LUMARO_BRIDGE_CANCELLED, C_CANCEL_IN_START, "100 100 300 200 2080e0"},
        {"UTF-8 bridge path", "\xd0\xbc\xd0\xbe\xd1\x81\xd1\x82.exe", nullptr, "served",
         LUMARO_BRIDGE_WINDOW_TIMEOUT_MS, {""}, true, nullptr, LUMARO_BRIDGE_OK, C_UTF8_PATH},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA((toolFolder + RECORDER_EXE).c_str());
        DeleteFileA((toolFolder + "fake_recorder.log").c_str());
        if (c.tool != nullptr) {
            PutTool(c.tool);
        }
        SetEnvironmentVariableA("FAKE_RECORDER", c.toolFaults);
        ChildProcess shown;
        if (c.target != nullptr) {
            ASSERT_TRUE(StartChild(BinDir() + TARGET_EXE, c.target, SW_SHOWNORMAL, shown));
            ASSERT_TRUE(WaitUntil([] { return FindWindowA(NULL, TARGET_TITLE) != NULL; },
                                  TARGET_WAIT_MS));
        }
        std::string bridge = BinDir() + c.bridge;
        if (c.way == C_UTF8_PATH) {
            ASSERT_TRUE(CopyFileW(WideFromAnsi(BinDir() + FAKE_BRIDGE_EXE).c_str(),
                                  (WideFromAnsi(workDir) + WideFromUtf8(c.bridge)).c_str(), FALSE));
            bridge = Utf8FromAnsi(workDir) + c.bridge;
        }
        lumaro_bridge_result code = LUMARO_BRIDGE_OK;
        std::string lines;
        RunResult result =
            RecordBrieflyInC(bridge, c.title, toolFolder, c.windowMs, c.way, code, lines);
        if (shown.info.hProcess != NULL) {
            TerminateProcess(shown.info.hProcess, 0);
            CloseChild(shown);
        }
        EXPECT_EQ(code, c.inC) << result.error;
        if (c.way == C_CANCEL_AFTER_OPEN) {
            EXPECT_EQ(lines.find(STATUS_STARTED), std::string::npos) << "start was sent";
        }
        if (c.way == C_CANCEL_IN_START) {
            EXPECT_NE(lines.find(STATUS_EXIT_SUCCESS), std::string::npos) << "not stopped";
        }
        // Only a run with a window to record may start.
        if (c.target == nullptr) {
            EXPECT_EQ(ReadTextFile(toolFolder + "fake_recorder.log").find("click play"),
                      std::string::npos);
        }
        // OK, or a file cut short, with a file the log names.
        if (c.target != nullptr && c.inC != LUMARO_BRIDGE_NOT_RECORDED &&
            c.inC != LUMARO_BRIDGE_CANCELLED) {
            EXPECT_NE(GetFileAttributesA(result.recording.c_str()), INVALID_FILE_ATTRIBUTES)
                << result.recording;
        }
        for (const char* words : c.says) {
            EXPECT_NE(result.error.find(words), std::string::npos) << result.error;
        }
        EXPECT_EQ(result.error.find_first_of("\r\n"), std::string::npos) << "one line";
        // Stopped by the client itself, the bridge ends while the test looks.
        if (c.way != C_CANCEL_IN_START) {
            EXPECT_EQ(result.bridgeEnded, c.bridgeEnds) << result.error;
        }
        EXPECT_LT(result.milliseconds, c.withinMs != 0 ? c.withinMs : c.windowMs + FAILURE_MARGIN_MS);
        // Whatever went wrong, nothing the bridge started is left running.
        EXPECT_TRUE(WaitUntil([] { return ProcessesNamed(RECORDER_EXE).empty(); },
                              RECORDER_CLOSE_TIMEOUT_MS));
    }
}

TEST_F(HostProcess, TwoBridgesAtOnceEachHostGetsItsOwnAndNothingElseOfTheHost)
{
    // Inheritable, as a host's own files and pipes may be; no bridge may hold it.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE marker = CreateEventA(&inheritable, TRUE, FALSE, NULL);
    ASSERT_NE(marker, (HANDLE)NULL);
    auto check = [&](HANDLE process, DWORD processId, HWND window) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        EXPECT_EQ(owner, processId) << "a host found another bridge's window";
        HANDLE copy = NULL;
        if (DuplicateHandle(process, marker, GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
            SetEvent(copy);
            CloseHandle(copy);
        }
    };
    // Each bridge's window after the others' comes first or last in the search.
    lumaro_bridge_session sessions[3];
    for (lumaro_bridge_session& session : sessions) {
        lumaro_bridge_init(&session, NULL, NULL);
        ASSERT_EQ(lumaro_bridge_open(&session, (BinDir() + FAKE_BRIDGE_EXE).c_str(), "mute",
                                     toolFolder.c_str(), LUMARO_BRIDGE_WINDOW_TIMEOUT_MS),
                  LUMARO_BRIDGE_OK) << session.error;
        check(session.process, session.process_id, static_cast<HWND>(session.window));
    }
    EXPECT_EQ(WaitForSingleObject(marker, 0), (DWORD)WAIT_TIMEOUT) << "a bridge inherited it";
    // Closed while ready, each is stopped (this bridge's exit code 0), not ended.
    for (lumaro_bridge_session& session : sessions) {
        HANDLE bridge = NULL;
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), session.process, GetCurrentProcess(),
                                    &bridge, 0, FALSE, DUPLICATE_SAME_ACCESS));
        lumaro_bridge_close(&session, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
        DWORD code = 1;
        EXPECT_TRUE(GetExitCodeProcess(bridge, &code) && code == 0) << code;
        CloseHandle(bridge);
    }
    CloseHandle(marker);
}

// Killed once recording: the tool still finishes its file. Only the run's own tool is
// closed; another program's window of the tool's title is left be.
TEST_F(HostProcess, KilledWhileRecordingTheToolStillFinishesItsFile)
{
    const struct {
        const char* victim;
        DWORD exitCode; // 0: the kill's, whatever it is
        const char* says;
    } cases[] = {
        {BRIDGE_EXE, EXIT_RECORDING_SHORT, "(exit code 9) while recording, without an exit line"},
        // taskkill ends the one name alone: the guard, named otherwise, stops the bridge.
        {HOST_EXE, 0, ""},
    };
    OpenDemoTarget();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.victim);
        FreshLayout();
        PutTool(RECORDER_EXE);
        ChildProcess folder, taskkill;
        auto kill = [&](ChildProcess& host) {
            if (host.output.find(STATUS_STARTED) == std::string::npos) {
                return false;
            }
            EXPECT_TRUE(StartChild(BinDir() + FAKE_BRIDGE_EXE, "folder", SW_SHOWNORMAL, folder));
            EXPECT_TRUE(WaitUntil([&] {
                return FindProcessWindow(folder.info.dwProcessId, NULL, RECORDER_TITLE) != NULL;
            }, TARGET_WAIT_MS));
            HANDLE bridge = OpenProcess(PROCESS_TERMINATE, FALSE, ProcessesNamed(BRIDGE_EXE).at(0));
            char system[MAX_PATH];
            GetSystemDirectoryA(system, sizeof system);
            DWORD code = 1;
            EXPECT_TRUE(strcmp(c.victim, BRIDGE_EXE) == 0
                            ? TerminateProcess(bridge, 9)
                            : StartChild(std::string(system) + "\\taskkill.exe", "/F /IM " HOST_EXE,
                                         SW_HIDE, taskkill) &&
                                  WaitForExit(taskkill, TARGET_WAIT_MS, &code) && code == 0);
            CloseHandle(bridge);
            return true;
        };
        DWORD exitCode = 0;
        std::string output;
        ASSERT_TRUE(RunBridgeHost(DemoArgs("--seconds 60"), exitCode, output, workDir, kill))
            << output;
        EXPECT_TRUE(c.exitCode == 0 || exitCode == c.exitCode) << output;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        EXPECT_TRUE(WaitUntil([] {
            return ProcessesNamed(RECORDER_EXE).empty() && ProcessesNamed(BRIDGE_EXE).empty() &&
                   ProcessesNamed(GUARD_EXE).empty();
        }, HOST_RUN_MS)) << "the run's processes went on";
        std::vector<std::string> recordings = Recordings();
        ASSERT_EQ(recordings.size(), 1u);
        AviSummary summary;
        std::string error;
        EXPECT_TRUE(ReadAviSummaryFromBytes(ReadTextFile(recordings[0]), summary, error) &&
                    AviComplete(summary)) << error;
        ExpectDecodesInFull(workDir, recordings[0]);
        EXPECT_TRUE(c.exitCode == 0 ||
                    output.find("saved: " + recordings[0] + "\n") != std::string::npos) << output;
        EXPECT_NE(FindProcessWindow(folder.info.dwProcessId, NULL, RECORDER_TITLE), (HWND)NULL)
            << "another program's window of the tool's title was closed";
    }
}

TEST_F(HostProcess, StopBeforeRecordingBeganEndsTheRunAtOnce)
{
    const struct {
        const char* tool;     // what FAKE_RECORDER tells the tool double
        const char* pressAt;  // Ctrl+C once its log has this
    } cases[] = {
        // The controls never come, so the bridge would wait a minute for them.
        {"controls_ms=600000", " start "},
        // The start command is out and the tool is slow to start recording.
        {"play_ms=4000", " settext height "},
    };
    TargetWindow target("Host Test Target", 0, 0, 100, 100);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool);
        FreshLayout();
        PutTool(FAKE_TOOL_EXE);
        SetEnvironmentVariableA("FAKE_RECORDER", c.tool);
        DWORD pressed = 0;
        auto press = [&](ChildProcess& host) {
            pressed = GetTickCount();
            return ReadTextFile(toolFolder + "fake_recorder.log").find(c.pressAt) !=
                       std::string::npos &&
                   PressCtrlC(host);
        };
        DWORD exitCode = 0;
        std::string output;
        ASSERT_TRUE(RunBridgeHost(DemoArgs("--seconds 5", "Host Test Target"), exitCode, output,
                                  workDir, press, OWN_CONSOLE)) << output;
        EXPECT_LT(GetTickCount() - pressed, (DWORD)FAILURE_MARGIN_MS);
        EXPECT_EQ(exitCode, (DWORD)EXIT_RECORDING_FAILED);
        EXPECT_NE(output.find("bridge-host: " STOPPED_BEFORE_RECORDING), std::string::npos)
            << output;
        EXPECT_TRUE(ProcessesNamed(BRIDGE_EXE).empty());
        EXPECT_TRUE(ProcessesNamed(RECORDER_EXE).empty());
    }
}

// Closes the tool's window, as its user may.
bool CloseTool(ChildProcess&)
{
    return PostMessageA(FindWindowA(NULL, RECORDER_TITLE), WM_CLOSE, 0, 0) != FALSE;
}

// The programs as the package lays them out, in a folder of the work folder (UTF-8);
// returns bridge-host's path there.
std::string InstallIn(const std::string& workDir, const std::string& folder)
{
    std::wstring root = WideFromAnsi(workDir) + WideFromUtf8(folder) + L"\\";
    CreateDirectoryW(root.c_str(), NULL);
    CreateDirectoryW((root + L"rec").c_str(), NULL);
    CreateDirectoryW((root + WideFromAnsi(PACKAGE_TOOL_FOLDER)).c_str(), NULL);
    for (const char* name : {HOST_EXE, GUARD_EXE, BRIDGE_EXE, PACKAGE_TOOL_FOLDER RECORDER_EXE}) {
        std::string file = strrchr(name, '\\') ? strrchr(name, '\\') + 1 : name;
        EXPECT_TRUE(CopyFileW(WideFromAnsi(BinDir() + file).c_str(),
                              (root + WideFromAnsi(name)).c_str(), FALSE));
    }
    return Utf8FromAnsi(workDir) + folder + "\\" HOST_EXE;
}

TEST_F(HostProcess, BridgeHostStopsAsAskedAndReportsTheFile)
{
    const struct {
        const char* name;
        const char* stopWhen;
        std::function<bool(ChildProcess&)> stop; // null: bridge-host's own time limit
        DWORD creationFlags;
        DWORD exitCode = 0;
        const char* says = STATUS_EXIT_SUCCESS "\n";
        bool fullOutput = false;          // nothing reads its output while it runs
        const char* installedIn = nullptr; // run from the package laid out in this folder
        const char* newFolder = nullptr;   // -o names this new folder, on another drive
    } cases[] = {
        {"time limit", "--seconds 3", nullptr, 0},
        {"Enter", "--until-enter", PressEnter, 0},
        {"Ctrl+C", "--seconds 60", PressCtrlC, OWN_CONSOLE},
        {"logoff", "--seconds 60", EndSession, 0},
        {"the tool closed by its user", "--seconds 60", CloseTool, 0, EXIT_RECORDING_SHORT,
         "shorter than asked (3"},
        {"output nobody reads", "--seconds 3", nullptr, 0, 0, "", true},
        // A name the ANSI code page (1252 here) cannot carry: "Dmitrij" in Cyrillic.
        {"installed in a folder of any name", "--seconds 3", nullptr, 0, 0,
         STATUS_EXIT_SUCCESS "\n", false, "\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9"},
        // Copied across drives (a memory file system), made whole under another name first.
        {"to a new folder on another drive", "--seconds 3", nullptr, 0, 0,
         "recording for 3 s; Ctrl+C ends it early\n", false, nullptr,
         "Z:\\dev\\shm\\bridge-host-test\\"},
    };
    OpenDemoTarget();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FreshLayout();
        PutTool(RECORDER_EXE);
        DWORD recording = 0;
        std::function<bool(ChildProcess&)> stopAfterAWhile;
        if (c.stop) {
            stopAfterAWhile = [&](ChildProcess& host) {
                if (recording == 0 && host.output.find(STATUS_STARTED) != std::string::npos) {
                    recording = GetTickCount();
                    // Every process of the run was born into the run's job, the guard too.
                    for (const char* name : {HOST_EXE, GUARD_EXE, BRIDGE_EXE, RECORDER_EXE}) {
                        for (DWORD id : ProcessesNamed(name)) {
                            EXPECT_TRUE(ProcessInJob(id)) << name << " " << id;
                        }
                    }
                }
                return recording != 0 && GetTickCount() - recording >= RECORD_SECONDS * 1000 &&
                       c.stop(host);
            };
        }
        std::string args = DemoArgs(c.stopWhen);
        std::string exe = BinDir() + HOST_EXE;
        if (c.installedIn != nullptr) {
            exe = InstallIn(workDir, c.installedIn);
            args = "record --title \"" DEMO_TITLE "\" " + std::string(c.stopWhen);
        }
        auto removeNewFolder = [&c] {
            for (const std::string& file : FilesIn(c.newFolder, "*")) {
                DeleteFileA(file.c_str());
            }
            RemoveDirectoryA(c.newFolder);
        };
        if (c.newFolder != nullptr) {
            removeNewFolder();
            args += std::string(" -o ") + c.newFolder;
        }
        DWORD exitCode = 1;
        std::string output;
        ASSERT_TRUE(RunBridgeHost(args, exitCode, output, workDir, stopAfterAWhile,
                                  c.creationFlags, c.fullOutput, exe))
            << output;
        EXPECT_EQ(exitCode, c.exitCode) << output;
        std::vector<std::string> recordings = Recordings();
        if (c.newFolder != nullptr) {
            EXPECT_TRUE(recordings.empty()) << "the original stayed";
            recordings = FilesIn(c.newFolder, "*");
        }
        ASSERT_EQ(recordings.size(), 1u);
        if (!c.fullOutput) {
            size_t started = output.find(STATUS_STARTED "\n");
            size_t saved = output.find("saved: " + recordings[0] + "\n");
            ASSERT_NE(started, std::string::npos) << output;
            ASSERT_NE(saved, std::string::npos) << output;
            EXPECT_LT(started, saved);
            EXPECT_NE(output.find(c.says), std::string::npos) << output;
            EXPECT_EQ(output.find('\r'), std::string::npos) << "progress redrawn into a pipe";
        }
        std::string bytes = ReadTextFile(recordings[0]);
        AviSummary summary;
        std::string error;
        ASSERT_TRUE(ReadAviSummaryFromBytes(bytes, summary, error)) << error;
        EXPECT_TRUE(AviComplete(summary));
        ExpectDecodesInFull(workDir, recordings[0]);
        EXPECT_EQ(summary.width, DEMO_WIDTH);
        EXPECT_EQ(summary.height, DEMO_HEIGHT);
        EXPECT_GT(summary.seconds, RECORD_SECONDS - DURATION_TOLERANCE_S);
        EXPECT_LT(summary.seconds,
                  RECORD_SECONDS + (c.stop ? OUTSIDE_STOP_SLACK_S : DURATION_TOLERANCE_S));
        EXPECT_TRUE(ProcessesNamed(RECORDER_EXE).empty());
        EXPECT_TRUE(ProcessesNamed(BRIDGE_EXE).empty());
        if (c.newFolder != nullptr) {
            removeNewFolder();
        }
    }
}

struct HostFailureCase {
    const char* args;
    DWORD exitCode;
    const char* says;
    const char* tool = RECORDER_EXE;     // put into the tool folder under the tool's name
    const char* fakeTool = nullptr;      // what FAKE_RECORDER tells the tool double
    bool oldToolRecording = false;       // an earlier tool instance records meanwhile
    size_t recordings = 0;               // files left in the recordings folder
    bool earlierRunsLogged = false;      // the log holds earlier runs' saved recordings
    bool minimise = false;               // the target is minimised once the run's tool runs
};

// An earlier tool instance, recording in the work folder, so that the bridge's close
// step makes it finish its file while the run goes on.
void StartOldRecording(const std::string& toolFolder, const std::string& workDir,
                       ChildProcess& old)
{
    ToolWindows t;
    ASSERT_TRUE(StartChild(toolFolder + RECORDER_EXE, "", SW_SHOWMINNOACTIVE, old,
                           workDir.c_str()));
    ASSERT_TRUE(WaitUntil([&] { return FindTool(t); }, TARGET_WAIT_MS));
    const HWND fields[] = {t.left, t.top, t.width, t.height};
    const char* const texts[] = {"0", "0", "64", "48"};
    for (int i = 0; i < 4; ++i) {
        SendMessageA(fields[i], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(texts[i]));
    }
    SendMessageA(t.play, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !RecordingsIn(workDir).empty(); }, TARGET_WAIT_MS));
}

// Earlier runs' lines under every process id this run's tool is likely to get again.
void LogEarlierRuns(const std::string& workDir)
{
    std::string lines;
    for (unsigned long id = 4; id < 8192; id += 4) {
        for (const char* text : {LOG_RECORDING "64x48 at 0,0" LOG_INTO "recordings\\old.avi",
                                 LOG_SAVED "recordings\\old.avi: 10 frames"}) {
            char line[128];
            snprintf(line, sizeof line, LOG_LINE_FORMAT, 2026u, 1u, 1u, 0u, 0u, 0u, id, text);
            lines += line;
        }
    }
    CreateDirectoryA((workDir + RECORDINGS_FOLDER).c_str(), NULL);
    HANDLE log = CreateFileA((workDir + RECORDER_LOG).c_str(), GENERIC_WRITE, 0, NULL,
                             CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(log, lines.data(), static_cast<DWORD>(lines.size()), &written, NULL));
    CloseHandle(log);
}

TEST_F(HostProcess, BridgeHostFailsWithOneLineAndItsExitCode)
{
    TargetWindow onScreen("Host Test Target", 0, 0, 100, 100);
    const HostFailureCase cases[] = {
        {"record --title \"Host Test Target\" --seconds 5 -o TAKEN", 2, "never overwrites a file"},
        // A file's name with a backslash after it is still that file, not a new folder.
        {"record --title \"Host Test Target\" --seconds 5 -o TAKEN\\", 2, "never overwrites a file"},
        {"record --title \"Issue #7\" --seconds 5", 2, "give it a title without '#'"},
        {"record --title Chart --tool-folder \"TOOL\" --seconds 5", 2,
         "bridge-host: --tool-folder took in the quote"},
        // Nothing starts for a title no window has; the real one is named.
        {"record --title \"Host Tset Target\" --tool-folder TOOL --seconds 5", 1,
         "bridge-host: no window is titled \"Host Tset Target\"; close titles: \"Host Test "
         "Target\""},
        {"record --title \"Host Test Target\" --tool-folder TOOL --seconds 5 --bridge "
         "C:\\nowhere\\b.exe", 1,
         "bridge-host: could not start the bridge \"C:\\nowhere\\b.exe\""},
        {"record --title \"Host Test Target\" --tool-folder TOOL --seconds 1", 1,
         "is not readable as AVI", FAKE_TOOL_EXE, "logs=saved", false, 1},
        // Logged as saved, but its writer never put down the indexes.
        {"record --title \"Host Test Target\" --tool-folder TOOL --seconds 1", 1,
         "fake.avi was not closed properly", FAKE_TOOL_EXE, "logs=unindexed", false, 1},
        {"record --title \"Host Test Target\" --tool-folder TOOL --seconds 1", 1,
         "the recording tool reported \"" LOG_FAILED "recordings\\fake.avi: 1 frames: disk full\"",
         FAKE_TOOL_EXE, "logs=failed", false, 1},
        {"record --title \"Host Test Target\" --tool-folder TOOL --seconds 30", 1,
         "the recording tool ended (exit code 3) while recording", FAKE_TOOL_EXE,
         "exit_on_play=1"},
        {"record --title \"Host Test Target\" --tool-folder TOOL --seconds 1", 1,
         "the recording tool logged no recording", FAKE_TOOL_EXE, "", false, 0, true},
        {"record --title \"Host Test Target\" --tool-folder TOOL --seconds 60", 1,
         "the recording tool did not record: " LOG_NOT_RECORDING "width -4", FAKE_TOOL_EXE,
         "logs=refused"},
        // Given up after the recording began: noticed at the log's next reading.
        {"record --title \"Host Test Target\" --tool-folder TOOL --seconds 60", 1,
         "the recording tool did not record: " LOG_NOT_RECORDING "the encoder did not start",
         FAKE_TOOL_EXE, "logs=refused_late"},
        // Minimised after bridge-host looked at it, the window reads as far off the screen.
        // The old instance's file is written after the run began, but is not this run's.
        {"record --title \"Host Test Target\" --tool-folder TOOL --seconds 60", 1,
         "the recording tool did not record: " LOG_NOT_RECORDING "width -", RECORDER_EXE,
         nullptr, true, 1, false, true},
    };
    for (const HostFailureCase& c : cases) {
        SCOPED_TRACE(c.args);
        FreshLayout();
        PutTool(c.tool);
        SetEnvironmentVariableA("FAKE_RECORDER", c.fakeTool);
        ChildProcess old;
        if (c.oldToolRecording) {
            StartOldRecording(toolFolder, workDir, old);
        }
        if (c.earlierRunsLogged) {
            LogEarlierRuns(workDir);
        }
        std::string args = c.args;
        std::string taken = workDir + "taken.bin";
        for (const auto& place : {std::make_pair("TOOL", toolFolder), {"TAKEN", taken}}) {
            size_t at = args.find(place.first);
            if (at != std::string::npos) {
                args.replace(at, strlen(place.first), place.second);
            }
        }
        HANDLE file = CreateFileA(taken.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
        DWORD written = 0;
        WriteFile(file, "kept", 4, &written, NULL);
        CloseHandle(file);
        DWORD started = 0;
        bool minimised = false;
        auto watch = [&](ChildProcess& host) {
            started = started != 0 || host.output.find(STATUS_STARTED) == std::string::npos
                          ? started
                          : GetTickCount();
            if (c.minimise && !minimised &&
                ProcessesNamed(RECORDER_EXE).size() > (c.oldToolRecording ? 1u : 0u)) {
                minimised = ShowWindow(onScreen.handle(), SW_MINIMIZE) >= 0;
            }
            return false;
        };
        DWORD exitCode = 0;
        std::string output;
        ASSERT_TRUE(RunBridgeHost(args, exitCode, output, workDir, watch)) << c.args;
        // A recording that cannot go on ends the run at once, not when its time is up.
        EXPECT_TRUE(started == 0 || GetTickCount() - started < FAILED_RECORDING_END_MS);
        ShowWindow(onScreen.handle(), SW_RESTORE);
        EXPECT_EQ(exitCode, c.exitCode) << output;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        EXPECT_EQ(Recordings().size(), c.recordings);
        EXPECT_EQ(ReadTextFile(taken), "kept");
        // The old instance was asked to close and finishes its file in its own time.
        DWORD oldExit = 0;
        EXPECT_TRUE(!c.oldToolRecording || WaitForExit(old, TARGET_WAIT_MS, &oldExit));
        EXPECT_TRUE(ProcessesNamed(RECORDER_EXE).empty());
    }
}

// A run ended before its move left its note: the next run names the file and drops the
// note. A note held open is a run's still going, and is left alone.
TEST_F(HostProcess, TheNextRunNamesTheFileOfARunEndedBeforeItsMove)
{
    std::string recordings = workDir + RECORDINGS_FOLDER "\\";
    char line[256];
    snprintf(line, sizeof line, LOG_LINE_FORMAT, 2026u, 1u, 1u, 0u, 0u, 0u, 77ul,
             LOG_RECORDING "64x48 at 0,0" LOG_INTO "recordings\\left.avi");
    const std::pair<std::string, std::string> files[] = {
        {"left.avi", "RIFF cut short"},
        {RECORDER_LOG_NAME, line},
        {"ended.move", MoveNoteText({workDir + "moved\\", 0, 77})},
        {"going.move", MoveNoteText({workDir + "moved\\", 0, 77})},
    };
    CreateDirectoryA(recordings.c_str(), NULL);
    for (const auto& file : files) {
        HANDLE handle = CreateFileA((recordings + file.first).c_str(), GENERIC_WRITE, 0, NULL,
                                    CREATE_NEW, 0, NULL);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(handle, file.second.data(), static_cast<DWORD>(file.second.size()),
                              &written, NULL));
        CloseHandle(handle);
    }
    // Held as its run holds it.
    HANDLE going = CreateFileA((recordings + "going.move").c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    DWORD exitCode = 0;
    std::string output;
    ASSERT_TRUE(RunBridgeHost(DemoArgs("--seconds 5", "No Such Window"), exitCode, output,
                              workDir));
    CloseHandle(going);
    // Named once: the held note, which names the same file, was left alone.
    std::string named = "bridge-host: a run ended from outside left an incomplete recording: " +
                        recordings + "left.avi is not readable as AVI";
    EXPECT_TRUE(output.find(named) != std::string::npos && output.find(named) == output.rfind(named))
        << output;
    EXPECT_EQ(FilesIn(recordings, "*.move"), std::vector<std::string>{recordings + "going.move"});
    EXPECT_EQ(ReadTextFile(recordings + "left.avi"), "RIFF cut short");
}

TEST_F(HostProcess, WindowsAreListedAndTargetsCheckedAsTheBridgeFindsThem)
{
    TargetWindow onScreen("List Target", 100, 100, 200, 150);
    TargetWindow minimised("List Target Minimised", 300, 100, 200, 150);
    TargetWindow offLeft("List Target Off Left", -50, 100, 200, 150);
    TargetWindow foreign("", 500, 100, 200, 150);
    ShowWindow(minimised.handle(), SW_MINIMIZE);
    // Never shown: the bridge finds it all the same.
    std::unique_ptr<HWND__, decltype(&DestroyWindow)> hidden(
        CreateWindowExA(0, "STATIC", "List Target Hidden", WS_POPUP, 0, 0, 50, 50, NULL, NULL,
                        NULL, NULL),
        DestroyWindow);
    ASSERT_NE(hidden.get(), (HWND)NULL);
    // A window of this process answers for its title through its procedure, which must
    // be a wide one for the title to stay wide.
    SetWindowLongPtrW(foreign.handle(), GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(DefWindowProcW));
    ASSERT_TRUE(SetWindowTextW(foreign.handle(), L"List Target \u03A9"));
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(ListRecordableWindows(lines, error)) << error;
    auto lineOf = [&lines](const std::string& title) {
        for (const std::string& line : lines) {
            if (line.rfind("\"" + title + "\"  ", 0) == 0) {
                return line;
            }
        }
        return std::string("(not listed)");
    };
    EXPECT_EQ(lineOf("List Target"),
              "\"List Target\"  host_process_tests.exe  at 100,100  200x150");
    EXPECT_EQ(lineOf("List Target Hidden"), "(not listed)");
    EXPECT_NE(lineOf("List Target Minimised").find("  minimised"), std::string::npos);
    EXPECT_NE(lineOf("List Target Off Left").find("at -50,100  200x150  partly outside"),
              std::string::npos);
    EXPECT_NE(lineOf("List Target \xCE\xA9").find("cannot be recorded: the title has characters"),
              std::string::npos);
    const struct {
        const char* title;
        TargetVerdict verdict;
        const char* says;
    } checks[] = {
        {"List Target", TARGET_OK, "(200x150 at 100,100) will be recorded whole"},
        {"LIST TARGET", TARGET_OK, "(200x150 at 100,100) will be recorded whole"},
        {"List Target Minimised", TARGET_REFUSED, "is minimised"},
        {"List Target Hidden", TARGET_REFUSED, "is hidden"},
        {"List Target Off Left", TARGET_WARNING,
         "(left of the main screen's origin): only 150x150 at 0,100 will be recorded"},
        {"List Traget", TARGET_REFUSED, "close titles: \"List Target\""},
    };
    for (const auto& c : checks) {
        TargetCheck check;
        TargetFound found;
        ASSERT_TRUE(CheckTargetWindow(c.title, check, found, error)) << error;
        EXPECT_EQ(check.verdict, c.verdict) << check.line;
        EXPECT_NE(check.line.find(c.says), std::string::npos) << check.line;
    }
}

} // namespace
