// The host client and bridge-host against real processes under Wine: the real bridge,
// the stand-in recording tool, the demo target and a misbehaving stand-in bridge.
// Every failure must come back as a clear sentence within the client's bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "avi_summary.h"
#include "bridge_client.h"
#include "demo_target.h"
#include "process_harness.h"

namespace {

#define FAKE_BRIDGE_EXE "host_fake_bridge.exe"
#define TARGET_WAIT_MS 10000
#define SHORT_WINDOW_MS 1500
// What a clear failure may take beyond the client's own bound: a bridge that has to
// start the tool, close an error box or end first.
#define FAILURE_MARGIN_MS 15000
#define HOST_RUN_MS 60000
#define RECORD_SECONDS 3
// A recording's length may differ from the request by the tool's frame spacing and the
// time the stop takes to reach it.
#define DURATION_TOLERANCE_S 0.5

class HostProcess : public ::testing::Test {
protected:
    std::string workDir;
    std::string toolFolder;
    ChildProcess target;

    void SetUp() override
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

    std::vector<std::string> Recordings() { return RecordingsIn(workDir); }
};

// Runs bridge-host to its end; its output with CRLF read as LF.
bool RunBridgeHost(const std::string& args, DWORD& exitCode, std::string& output)
{
    ChildProcess host;
    if (!StartChild(BinDir() + "bridge-host.exe", args, SW_HIDE, host)) {
        output = "could not start bridge-host";
        return false;
    }
    bool ended = WaitForExit(host, HOST_RUN_MS, &exitCode);
    output = host.output;
    CloseChild(host);
    for (size_t at = output.find("\r\n"); at != std::string::npos; at = output.find("\r\n", at)) {
        output.erase(at, 1);
    }
    return ended;
}

struct RunResult {
    std::string error;
    bool bridgeEnded; // before the session was closed
    DWORD milliseconds;
};

// Starts, finds, waits for readiness, starts and stops capturing, as a host does.
RunResult RecordBriefly(const std::string& bridge, const char* title, const std::string& folder,
                        DWORD windowMs)
{
    DWORD began = GetTickCount();
    BridgeSession session;
    InitBridgeSession(session, NULL, NULL);
    bool recorded = StartBridge(session, bridge.c_str(), title, folder.c_str(), SW_HIDE) &&
                    FindBridgeWindow(session, windowMs) &&
                    WaitBridgeReady(session, BRIDGE_READY_TIMEOUT_MS) &&
                    SendStartCommand(session, BRIDGE_START_TIMEOUT_MS) &&
                    SendStopCommand(session, BRIDGE_EXIT_TIMEOUT_MS);
    RunResult result;
    result.bridgeEnded =
        session.process == NULL || WaitForSingleObject(session.process, 0) == WAIT_OBJECT_0;
    EndBridgeSession(session);
    result.error = recorded ? "" : session.error;
    result.milliseconds = GetTickCount() - began;
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
};

TEST_F(HostProcess, EachFailureIsReportedClearlyWithinItsBound)
{
    const FailureCase cases[] = {
        {"bridge path wrong", "no_such_bridge.exe", nullptr, "Chart", SHORT_WINDOW_MS,
         {"could not start the bridge", "no_such_bridge.exe", "CreateProcessA failed with error 2"},
         true},
        {"bridge ends at once", FAKE_BRIDGE_EXE, nullptr, "quit", SHORT_WINDOW_MS,
         {"ended (exit code 3) before its window appeared"}, true},
        {"window never appears", FAKE_BRIDGE_EXE, nullptr, "nowindow", SHORT_WINDOW_MS,
         {"window did not appear within 1500 ms", "the bridge was ended"}, false},
        // Its window does appear, so it gets the client's usual bound: on a busy machine
        // the short one can pass before it does.
        {"exit line missing", FAKE_BRIDGE_EXE, nullptr, "mute", BRIDGE_WINDOW_TIMEOUT_MS,
         {"after stop without an exit line"}, true},
        {"tool folder wrong", BRIDGE_EXE, nullptr, "Chart", BRIDGE_WINDOW_TIMEOUT_MS,
         {"could not start the recording tool", "error box", "closed"}, true},
        {"tool ends at once", BRIDGE_EXE, FAKE_BRIDGE_EXE, "Chart", BRIDGE_WINDOW_TIMEOUT_MS,
         {"\"" STATUS_RECORDER_NOT_FOUND "\""}, true},
        {"target missing", BRIDGE_EXE, RECORDER_EXE, "No Such Window 4711",
         BRIDGE_WINDOW_TIMEOUT_MS, {"\"" STATUS_TARGET_NOT_FOUND "\"", "no window has that title"},
         true},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA((toolFolder + RECORDER_EXE).c_str());
        if (c.tool != nullptr) {
            PutTool(c.tool);
        }
        RunResult result = RecordBriefly(BinDir() + c.bridge, c.title, toolFolder, c.windowMs);
        for (const char* words : c.says) {
            EXPECT_NE(result.error.find(words), std::string::npos) << result.error;
        }
        EXPECT_EQ(result.error.find_first_of("\r\n"), std::string::npos) << "one line";
        EXPECT_EQ(result.bridgeEnded, c.bridgeEnds) << result.error;
        EXPECT_LT(result.milliseconds, c.windowMs + FAILURE_MARGIN_MS);
        // Whatever went wrong, nothing the bridge started is left running.
        EXPECT_TRUE(WaitUntil([] { return ProcessesNamed(RECORDER_EXE).empty(); },
                              RECORDER_CLOSE_TIMEOUT_MS));
    }
}

TEST_F(HostProcess, BridgeKilledWhileRecordingIsReportedAndTheToolClosed)
{
    PutTool(RECORDER_EXE);
    OpenDemoTarget();
    BridgeSession session;
    InitBridgeSession(session, NULL, NULL);
    ASSERT_TRUE(StartBridge(session, (BinDir() + BRIDGE_EXE).c_str(), DEMO_TITLE,
                            toolFolder.c_str(), SW_HIDE));
    ASSERT_TRUE(FindBridgeWindow(session, BRIDGE_WINDOW_TIMEOUT_MS)) << session.error;
    ASSERT_TRUE(WaitBridgeReady(session, BRIDGE_READY_TIMEOUT_MS)) << session.error;
    ASSERT_TRUE(SendStartCommand(session, BRIDGE_START_TIMEOUT_MS)) << session.error;
    ASSERT_TRUE(BridgeStillRecording(session));

    ASSERT_TRUE(TerminateProcess(session.process, 9));
    EXPECT_TRUE(WaitUntil([&] { return !BridgeStillRecording(session); }, BRIDGE_EXIT_TIMEOUT_MS));
    EXPECT_NE(session.error.find("exit code 9"), std::string::npos) << session.error;
    EXPECT_NE(session.error.find("while recording, without an exit line"), std::string::npos)
        << session.error;
    EXPECT_FALSE(SendStopCommand(session, BRIDGE_EXIT_TIMEOUT_MS));
    EndBridgeSession(session);

    ASSERT_FALSE(ProcessesNamed(RECORDER_EXE).empty());
    CloseLeftoverRecorders(RECORDER_CLOSE_TIMEOUT_MS);
    EXPECT_TRUE(WaitUntil([] { return ProcessesNamed(RECORDER_EXE).empty(); },
                          RECORDER_CLOSE_TIMEOUT_MS));
}

TEST_F(HostProcess, BridgeHostRecordsTheDemoForTheRequestedTime)
{
    PutTool(RECORDER_EXE);
    OpenDemoTarget();
    std::string args = std::string("record --title \"") + DEMO_TITLE + "\" --tool-folder " +
                       toolFolder + " --seconds " + std::to_string(RECORD_SECONDS);
    DWORD exitCode = 1;
    std::string output;
    ASSERT_TRUE(RunBridgeHost(args, exitCode, output)) << output;
    EXPECT_EQ(exitCode, 0u) << output;
    size_t started = output.find(STATUS_STARTED "\n");
    size_t exited = output.find(STATUS_EXIT_SUCCESS "\n");
    size_t saved = output.find("saved: ");
    ASSERT_NE(started, std::string::npos) << output;
    ASSERT_NE(exited, std::string::npos) << output;
    ASSERT_NE(saved, std::string::npos) << output;
    EXPECT_LT(started, exited);
    EXPECT_LT(exited, saved);

    std::vector<std::string> recordings = Recordings();
    ASSERT_EQ(recordings.size(), 1u);
    std::string path = output.substr(saved + 7);
    path = path.substr(0, path.find('\n'));
    EXPECT_EQ(lstrcmpiA(path.c_str(), recordings[0].c_str()), 0) << path;

    std::string bytes = ReadTextFile(recordings[0]);
    AviSummary summary;
    std::string error;
    ASSERT_TRUE(ReadAviSummaryFromBytes(bytes, summary, error)) << error;
    EXPECT_TRUE(AviComplete(summary));
    EXPECT_EQ(summary.width, DEMO_WIDTH);
    EXPECT_EQ(summary.height, DEMO_HEIGHT);
    EXPECT_NEAR(summary.seconds, RECORD_SECONDS, DURATION_TOLERANCE_S);
    EXPECT_TRUE(ProcessesNamed(RECORDER_EXE).empty());
    EXPECT_TRUE(ProcessesNamed(BRIDGE_EXE).empty());
}

struct HostFailureCase {
    const char* args;
    DWORD exitCode;
    const char* says;
};

TEST_F(HostProcess, BridgeHostFailsWithOneLineAndItsExitCode)
{
    PutTool(RECORDER_EXE);
    const HostFailureCase cases[] = {
        {"record --title Chart --seconds 5", 2, "bridge-host: missing --tool-folder\n"},
        {"record --title \"No Such Window 4711\" --tool-folder TOOL --seconds 5", 1,
         "bridge-host: the bridge reported \"" STATUS_TARGET_NOT_FOUND "\""},
        {"record --title Chart --tool-folder TOOL --seconds 5 --bridge C:\\nowhere\\b.exe", 1,
         "bridge-host: could not start the bridge \"C:\\nowhere\\b.exe\""},
    };
    for (const HostFailureCase& c : cases) {
        std::string args = c.args;
        size_t at = args.find("TOOL");
        if (at != std::string::npos) {
            args.replace(at, 4, toolFolder);
        }
        DWORD exitCode = 0;
        std::string output;
        ASSERT_TRUE(RunBridgeHost(args, exitCode, output)) << c.args;
        EXPECT_EQ(exitCode, c.exitCode) << output;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        EXPECT_TRUE(Recordings().empty());
    }
}

} // namespace
