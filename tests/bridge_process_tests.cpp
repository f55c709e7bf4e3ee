// The bridge as a host sees it, across real processes: a test host starts the bridge
// with a raw command line and its output on a pipe, finds its window, sends or posts
// the commands and checks the exact bytes, the exit code and what the tool received.
// The tool here is a double (fake_recorder.exe copied under the tool's name) that logs
// what reaches it and can be told to misbehave.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bridge_contract.h"
#include "process_harness.h"
#include "recorder_contract.h"

namespace {

// Led by a byte beyond ASCII, which must reach the bridge's discovery unchanged.
const char* const TARGET_TITLE = "\xC4 Bridge Test Target";
// What the tool double logs for the bridge's clicks: the click carries the command.
const std::string CLICK_PLAY = "click play " + std::to_string(WM_BRIDGE_START);
const std::string CLICK_STOP = "click stop " + std::to_string(WM_BRIDGE_STOP);
const DWORD WAIT_MS = 20000;
const DWORD START_WAIT_MS = 30000;

class BridgeProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        KillProcessesNamed(RECORDER_EXE);
        SetEnvironmentVariableA("FAKE_RECORDER", NULL);
        ToolLayout layout;
        ASSERT_TRUE(LayOutTool("bridge", "fake_recorder.exe", layout));
        workDir = layout.workDir;
        toolDir = layout.toolFolder;
    }

    void TearDown() override
    {
        for (ChildProcess* child : {&bridge, &second}) {
            CloseChild(*child);
        }
        KillProcessesNamed(BRIDGE_EXE);
        KillProcessesNamed(RECORDER_EXE);
        SetEnvironmentVariableA("FAKE_RECORDER", NULL);
    }

    std::string CommandLine(const char* title = TARGET_TITLE) const
    {
        return BridgeArguments(title, toolDir);
    }

    void StartBridge(const std::string& args, WORD show = SW_SHOWNORMAL, ChildProcess* child = nullptr)
    {
        ChildProcess& c = child ? *child : bridge;
        ASSERT_TRUE(StartChild(BinDir() + BRIDGE_EXE, args, show, c)) << GetLastError();
    }

    HWND BridgeWindow(ChildProcess& child)
    {
        HWND window = NULL;
        WaitUntil([&] {
            window = FindProcessWindow(child.info.dwProcessId, BRIDGE_NAME, BRIDGE_NAME);
            return window != NULL;
        }, START_WAIT_MS);
        return window;
    }

    // The tool's log, one event a line, each led by the tool's process id.
    std::vector<std::string> ToolLog() const
    {
        std::vector<std::string> lines;
        std::string text = ReadTextFile(toolDir + "fake_recorder.log");
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }

    // The tool's events without process ids, those of "start" and "controls" left out.
    std::vector<std::string> ToolCommands() const
    {
        std::vector<std::string> commands;
        for (const std::string& line : ToolLog()) {
            std::string event = line.substr(line.find(' ') + 1);
            if (event.compare(0, 5, "start") != 0 && event != "controls") {
                commands.push_back(event);
            }
        }
        return commands;
    }

    bool WaitForToolEvent(const std::string& event, DWORD timeoutMs = WAIT_MS)
    {
        return WaitUntil([&] {
            for (const std::string& line : ToolLog()) {
                if (line.find(event) != std::string::npos) {
                    return true;
                }
            }
            return false;
        }, timeoutMs);
    }

    // Waits until the bridge has set the four fields.
    bool WaitForHandOff() { return WaitForToolEvent(" settext height "); }

    // Shows the usual target, starts the bridge on it and waits for the hand-off;
    // returns the bridge window.
    HWND StartReadyBridge()
    {
        target.reset(new TargetWindow(TARGET_TITLE, 0, 0, 100, 100));
        StartBridge(CommandLine());
        HWND window = BridgeWindow(bridge);
        EXPECT_NE(window, (HWND)NULL);
        EXPECT_TRUE(WaitForHandOff());
        return window;
    }

    // The one exit line of a stop whose tool had already ended, after what came before.
    void ExpectOneExitLineAfter(const std::string& before)
    {
        EXPECT_EQ(bridge.output, before + WireExitForEndedTool());
    }

    void ExpectExitZero(ChildProcess& child)
    {
        DWORD code = 99;
        ASSERT_TRUE(WaitForExit(child, WAIT_MS, &code)) << "bridge did not exit; output: " << child.output;
        EXPECT_EQ(code, 0u);
    }

    std::string workDir;
    std::string toolDir;
    std::unique_ptr<TargetWindow> target;
    ChildProcess bridge;
    ChildProcess second;
};

TEST_F(BridgeProcess, HandsOverTheClampedRectangleThenServesStartAndStop)
{
    TargetWindow target(TARGET_TITLE, -8, 40, 700, 300);
    StartBridge(CommandLine());
    HWND window = BridgeWindow(bridge);
    ASSERT_NE(window, (HWND)NULL);
    ASSERT_TRUE(WaitForHandOff());
    EXPECT_EQ(ToolCommands(), (std::vector<std::string>{
        "settext left 0", "settext top 40", "settext width 692", "settext height 300"}));

    PostMessageA(window, WM_BRIDGE_START, 0, 0);
    PostMessageA(window, WM_BRIDGE_START, 0, 0);
    PostMessageA(window, WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
    EXPECT_EQ(bridge.output, WIRE_STARTED WIRE_STARTED WIRE_EXIT_SUCCESS);
    std::vector<std::string> commands = ToolCommands();
    ASSERT_EQ(commands.size(), 7u);
    EXPECT_EQ(commands[4], CLICK_PLAY);
    EXPECT_EQ(commands[5], CLICK_PLAY);
    EXPECT_EQ(commands[6], CLICK_STOP);
    EXPECT_TRUE(ProcessesNamed(RECORDER_EXE).empty()) << "the tool outlived stop";
}

TEST_F(BridgeProcess, ToolIsStartedMinimisedTwoLevelsAboveItsFolder)
{
    TargetWindow target(TARGET_TITLE, 0, 0, 100, 100);
    StartBridge(CommandLine());
    ASSERT_TRUE(WaitForHandOff());
    std::vector<std::string> log = ToolLog();
    ASSERT_FALSE(log.empty());
    std::string expected = "start show=" + std::to_string(SW_SHOWMINIMIZED) + " cwd=" +
                           workDir.substr(0, workDir.size() - 1);
    EXPECT_NE(log[0].find(expected), std::string::npos) << log[0];
}

TEST_F(BridgeProcess, StartcaptureIsReadableBeforeStop)
{
    // The tool takes its time starting to record: the line must come after that, since a
    // host starts what it wants recorded when it reads the line.
    SetEnvironmentVariableA("FAKE_RECORDER", "play_ms=500");
    HWND window = StartReadyBridge();
    PostMessageA(window, WM_BRIDGE_START, 0, 0);
    EXPECT_TRUE(WaitForOutput(bridge, WIRE_STARTED, WAIT_MS));
    EXPECT_EQ(ToolCommands().back(), CLICK_PLAY) << "the line came before the click was handled";
    EXPECT_EQ(bridge.output, WIRE_STARTED);
    SendMessageA(window, WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
    EXPECT_EQ(bridge.output, WIRE_STARTED WIRE_EXIT_SUCCESS);
}

TEST_F(BridgeProcess, ClosingTheWindowWritesNothingAndLeavesTheTool)
{
    HWND window = StartReadyBridge();
    PostMessageA(window, WM_BRIDGE_START, 0, 0);
    ASSERT_TRUE(WaitForOutput(bridge, WIRE_STARTED, WAIT_MS));
    PostMessageA(window, WM_CLOSE, 0, 0);
    ExpectExitZero(bridge);
    EXPECT_EQ(bridge.output, WIRE_STARTED);
    EXPECT_EQ(ProcessesNamed(RECORDER_EXE).size(), 1u);
}

TEST_F(BridgeProcess, HiddenStartKeepsTheWindowInvisible)
{
    TargetWindow target(TARGET_TITLE, 0, 0, 100, 100);
    StartBridge(CommandLine(), SW_HIDE);
    HWND window = BridgeWindow(bridge);
    ASSERT_NE(window, (HWND)NULL);
    ASSERT_TRUE(WaitForHandOff());
    EXPECT_FALSE(IsWindowVisible(window));
    PostMessageA(window, WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
}

TEST_F(BridgeProcess, MissingTargetLeavesTheFieldsAndSaysSo)
{
    StartBridge(CommandLine("No Such Window Title 7f3a"));
    HWND window = BridgeWindow(bridge);
    ASSERT_TRUE(WaitForOutput(bridge, WIRE_TARGET_NOT_FOUND, WAIT_MS));
    PostMessageA(window, WM_BRIDGE_START, 0, 0);
    PostMessageA(window, WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
    EXPECT_EQ(bridge.output, WIRE_TARGET_NOT_FOUND WIRE_STARTED WIRE_EXIT_SUCCESS);
    EXPECT_EQ(ToolCommands(), (std::vector<std::string>{CLICK_PLAY, CLICK_STOP}));
}

TEST_F(BridgeProcess, DiscoveryWaitsForLateControlsAndAFieldWithOtherText)
{
    // Each tool's last control to become findable is a different one.
    const char* const tools[] = {"controls_ms=800;left_text=12;left_fix_ms=1500",
                                 "control_gap_ms=300"};
    TargetWindow target(TARGET_TITLE, 10, 20, 300, 200);
    for (const char* tool : tools) {
        SCOPED_TRACE(tool);
        DeleteFileA((toolDir + "fake_recorder.log").c_str());
        SetEnvironmentVariableA("FAKE_RECORDER", tool);
        StartBridge(CommandLine());
        ASSERT_TRUE(WaitForHandOff());
        EXPECT_EQ(ToolCommands(), (std::vector<std::string>{
            "settext left 10", "settext top 20", "settext width 300", "settext height 200"}));
        PostMessageA(BridgeWindow(bridge), WM_BRIDGE_STOP, 0, 0);
        ExpectExitZero(bridge);
        CloseChild(bridge);
    }
}

TEST_F(BridgeProcess, ToolNeverCompleteEndsWithRecorderNotFoundAndTheToolEnded)
{
    // The bridge built with a discovery bound of seconds (tests/CMakeLists.txt).
    SetEnvironmentVariableA("FAKE_RECORDER", "controls_ms=600000");
    ASSERT_TRUE(StartChild(BinDir() + "bridge_short_discovery.exe", CommandLine(), SW_SHOWNORMAL,
                           bridge));
    ASSERT_TRUE(WaitForToolEvent(" start "));
    ExpectExitZero(bridge);
    EXPECT_EQ(bridge.output, WIRE_RECORDER_NOT_FOUND);
    EXPECT_TRUE(WaitUntil([] { return ProcessesNamed(RECORDER_EXE).empty(); }, WAIT_MS))
        << "the bridge left the tool it launched running";
}

TEST_F(BridgeProcess, RunningToolIsAskedToCloseBeforeTheNewOneStarts)
{
    ChildProcess old;
    ASSERT_TRUE(StartChild(toolDir + RECORDER_EXE, "", SW_SHOWNORMAL, old));
    ASSERT_TRUE(WaitForToolEvent(" controls"));
    TargetWindow target(TARGET_TITLE, 0, 0, 100, 100);
    StartBridge(CommandLine());
    // Discovery may still find the closing instance (the close command does not wait
    // for it to be gone), so only the order of close and start is certain.
    std::string oldId = std::to_string(old.info.dwProcessId) + " ";
    std::vector<std::string> log;
    size_t closed = 0, newStart = 0;
    ASSERT_TRUE(WaitUntil([&] {
        log = ToolLog();
        for (size_t i = 0; i < log.size(); ++i) {
            if (log[i] == oldId + "close") {
                closed = i;
            } else if (log[i].compare(0, oldId.size(), oldId) != 0 &&
                       log[i].find(" start ") != std::string::npos) {
                newStart = i;
            }
        }
        return newStart > 0;
    }, WAIT_MS)) << "the new tool never started";
    EXPECT_GT(closed, 0u) << "the old tool got no close request";
    EXPECT_GT(newStart, closed);
    PostMessageA(BridgeWindow(bridge), WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
    CloseChild(old);
}

TEST_F(BridgeProcess, MissingToolFolderEndsWithRecorderNotFound)
{
    // The shell reports the failed launch in its own box, which a user closes.
    StartBridge(BridgeArguments(TARGET_TITLE, workDir + "nowhere\\"));
    int boxes = 0;
    ASSERT_TRUE(WaitUntil([&] {
        boxes += CloseErrorBoxes(bridge.info.dwProcessId);
        PollOutput(bridge);
        return WaitForSingleObject(bridge.info.hProcess, 0) == WAIT_OBJECT_0;
    }, WAIT_MS));
    ExpectExitZero(bridge);
    EXPECT_EQ(bridge.output, WIRE_RECORDER_NOT_FOUND);
}

TEST_F(BridgeProcess, ToolThatEndsBeforeItIsCompleteEndsWithRecorderNotFound)
{
    SetEnvironmentVariableA("FAKE_RECORDER", "controls_ms=60000;exit_ms=500");
    StartBridge(CommandLine());
    ExpectExitZero(bridge);
    EXPECT_EQ(bridge.output, WIRE_RECORDER_NOT_FOUND);
}

TEST_F(BridgeProcess, FailedLaunchWithAnOldToolStillOpenReportsExitFailed)
{
    // An old instance that ignores the close request is the one discovery finds; the
    // bridge holds no process of its own to end.
    SetEnvironmentVariableA("FAKE_RECORDER", "ignore_close=1");
    ChildProcess old;
    ASSERT_TRUE(StartChild(toolDir + RECORDER_EXE, "", SW_SHOWNORMAL, old));
    ASSERT_TRUE(WaitForToolEvent(" controls"));
    TargetWindow target(TARGET_TITLE, 0, 0, 100, 100);
    StartBridge(BridgeArguments(TARGET_TITLE, workDir + "nowhere\\"));
    ASSERT_TRUE(WaitUntil([&] {
        CloseErrorBoxes(bridge.info.dwProcessId);
        for (const std::string& line : ToolLog()) {
            if (line.find(" settext height ") != std::string::npos) {
                return true;
            }
        }
        return false;
    }, WAIT_MS));
    HWND window = BridgeWindow(bridge);
    PostMessageA(window, WM_BRIDGE_START, 0, 0);
    PostMessageA(window, WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
    EXPECT_EQ(bridge.output, WIRE_STARTED WIRE_EXIT_FAILED);
    EXPECT_TRUE(ProcessRunning(old.info.dwProcessId));
    CloseChild(old);
}

TEST_F(BridgeProcess, OddCommandLinesNeverCrash)
{
    const std::string odd[] = {
        "",
        "####",
        "\"" + CommandLine() + "\"",
        std::string(31000, 'x') + "#" + toolDir,
        "#" + std::string(200, '#') + "\xff\xfe%s%n#" + toolDir,
    };
    for (const std::string& args : odd) {
        ChildProcess child;
        StartBridge(args, SW_SHOWNORMAL, &child);
        // Stop waits in the queue until the bridge serves commands, if it ever does.
        bool stopPosted = false;
        ASSERT_TRUE(WaitUntil([&] {
            CloseErrorBoxes(child.info.dwProcessId);
            PollOutput(child);
            HWND window = FindProcessWindow(child.info.dwProcessId, BRIDGE_NAME, BRIDGE_NAME);
            if (window && !stopPosted) {
                stopPosted = PostMessageA(window, WM_BRIDGE_STOP, 0, 0) != FALSE;
            }
            return WaitForSingleObject(child.info.hProcess, 0) == WAIT_OBJECT_0;
        }, WAIT_MS)) << args.substr(0, 60);
        DWORD code = 99;
        GetExitCodeProcess(child.info.hProcess, &code);
        EXPECT_EQ(code, 0u) << args.substr(0, 60);
        CloseChild(child);
        KillProcessesNamed(RECORDER_EXE);
    }
}

TEST_F(BridgeProcess, HostThatClosesThePipeEarlyStillGetsStopServed)
{
    HWND window = StartReadyBridge();
    CloseHandle(bridge.outputRead);
    bridge.outputRead = NULL;
    PostMessageA(window, WM_BRIDGE_START, 0, 0);
    PostMessageA(window, WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
    EXPECT_TRUE(WaitForToolEvent(" " + CLICK_STOP));
}

TEST_F(BridgeProcess, StopTwiceIsServedTwiceBeforeTheBridgeEnds)
{
    HWND window = StartReadyBridge();
    PostMessageA(window, WM_BRIDGE_STOP, 0, 0);
    PostMessageA(window, WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
    // The quit message comes only after the queue is empty, so the second stop is served
    // too, on a process that is already gone.
    ExpectOneExitLineAfter(WIRE_EXIT_SUCCESS);
}

TEST_F(BridgeProcess, ToolClosedByTheUserAfterDiscovery)
{
    HWND window = StartReadyBridge();
    HWND tool = FindWindowA(NULL, RECORDER_TITLE);
    ASSERT_NE(tool, (HWND)NULL);
    PostMessageA(tool, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([] { return ProcessesNamed(RECORDER_EXE).empty(); }, WAIT_MS));
    PostMessageA(window, WM_BRIDGE_START, 0, 0);
    PostMessageA(window, WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
    ExpectOneExitLineAfter(WIRE_STARTED);
}

TEST_F(BridgeProcess, ToolThatCrashesWhileRecordingStillGivesOneExitLine)
{
    SetEnvironmentVariableA("FAKE_RECORDER", "exit_on_play=1");
    HWND window = StartReadyBridge();
    PostMessageA(window, WM_BRIDGE_START, 0, 0);
    ASSERT_TRUE(WaitForOutput(bridge, WIRE_STARTED, WAIT_MS));
    PostMessageA(window, WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
    ExpectOneExitLineAfter(WIRE_STARTED);
}

TEST_F(BridgeProcess, CommandSentDuringDiscoveryIsServedOnceTheToolIsThere)
{
    SetEnvironmentVariableA("FAKE_RECORDER", "controls_ms=1500");
    TargetWindow target(TARGET_TITLE, 0, 0, 100, 100);
    StartBridge(CommandLine());
    HWND window = BridgeWindow(bridge);
    ASSERT_NE(window, (HWND)NULL);
    DWORD_PTR result;
    EXPECT_TRUE(SendMessageTimeoutA(window, WM_BRIDGE_START, 0, 0, SMTO_NORMAL, WAIT_MS, &result));
    EXPECT_TRUE(WaitForOutput(bridge, WIRE_STARTED, WAIT_MS));
    EXPECT_TRUE(WaitForToolEvent(" " + CLICK_PLAY));
    PostMessageA(window, WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
    EXPECT_EQ(bridge.output, WIRE_STARTED WIRE_EXIT_SUCCESS);
}

TEST_F(BridgeProcess, SecondBridgeClosesTheFirstOnesToolAndBothExitCleanly)
{
    TargetWindow target(TARGET_TITLE, 0, 0, 100, 100);
    StartBridge(CommandLine());
    HWND first = BridgeWindow(bridge);
    ASSERT_TRUE(WaitForHandOff());
    DWORD firstTool = ProcessesNamed(RECORDER_EXE).at(0);

    StartBridge(CommandLine(), SW_SHOWNORMAL, &second);
    HWND other = BridgeWindow(second);
    ASSERT_NE(other, (HWND)NULL);
    ASSERT_TRUE(WaitForToolEvent(std::to_string(firstTool) + " close"));
    ASSERT_TRUE(WaitUntil([&] {
        std::vector<DWORD> tools = ProcessesNamed(RECORDER_EXE);
        return tools.size() == 1 && tools[0] != firstTool;
    }, WAIT_MS));

    PostMessageA(other, WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(second);
    PostMessageA(first, WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
    ExpectOneExitLineAfter("");
    EXPECT_EQ(second.output, WIRE_EXIT_SUCCESS);
}

TEST_F(BridgeProcess, WaitingForASlowToolCostsLittleProcessorTime)
{
    SetEnvironmentVariableA("FAKE_RECORDER", "controls_ms=5000");
    TargetWindow target(TARGET_TITLE, 0, 0, 100, 100);
    StartBridge(CommandLine());
    ASSERT_TRUE(WaitForToolEvent(" start "));
    long long before = -1;
    ASSERT_TRUE(WaitUntil([&] { return (before = LinuxProcessorMs("#" + toolDir)) >= 0; }, WAIT_MS))
        << "the bridge's Linux process was not found";
    DWORD started = GetTickCount();
    WaitUntil([] { return false; }, 3000);
    long long used = LinuxProcessorMs("#" + toolDir) - before;
    DWORD elapsed = GetTickCount() - started;
    ASSERT_FALSE(WaitForToolEvent(" controls", 0)) << "the tool came too early to measure";
    printf("bridge processor time while waiting: %lld ms in %lu ms\n", used, elapsed);
    EXPECT_LT(used * 5, static_cast<long long>(elapsed)) << "more than a fifth of one processor";
    PostMessageA(BridgeWindow(bridge), WM_BRIDGE_STOP, 0, 0);
    ExpectExitZero(bridge);
}

} // namespace
