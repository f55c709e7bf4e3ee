// One whole run as a host drives it: the bridge, the stand-in recording tool and a
// target window, each its own process. The tool's fields must hold the target's
// clamped rectangle, and the file it leaves must show the target's colour.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "avi_summary.h"
#include "bridge_contract.h"
#include "capture_session.h"
#include "media_check.h"
#include "process_harness.h"
#include "recorder.h"
#include "recorder_logic.h"
#include "recorder_test_names.h"

namespace {

const DWORD WAIT_MS = 20000;
const DWORD RECORD_MS = 1500;
const unsigned long TARGET_RGB = 0x2080e0;

bool ScreenShows(int x, int y, unsigned long rgb)
{
    HDC screen = GetDC(NULL);
    COLORREF pixel = GetPixel(screen, x, y);
    ReleaseDC(NULL, screen);
    return pixel == RGB((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
}

double NowSeconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

struct RunParts {
    ToolLayout layout;
    ChildProcess target;
    ChildProcess bridge;
    HWND window = NULL;
    ~RunParts()
    {
        CloseChild(bridge);
        CloseChild(target);
        KillProcessesNamed(RECORDER_EXE);
    }
};

// Lays out a tool folder, shows the target at the rectangle and starts the bridge on
// it; returns once the tool's four fields hold the texts expected.
void StartRun(RunParts& run, int left, int top, int width, int height, const char* const (&fields)[4])
{
    KillProcessesNamed(RECORDER_EXE);
    ASSERT_TRUE(LayOutTool("e2e", RECORDER_EXE, run.layout));

    char targetArgs[64];
    snprintf(targetArgs, sizeof targetArgs, "%d %d %d %d %06lx", left, top, width, height, TARGET_RGB);
    ASSERT_TRUE(StartChild(BinDir() + TARGET_EXE, targetArgs, SW_SHOWNORMAL, run.target));
    ASSERT_TRUE(WaitUntil([&] { return FindWindowA(NULL, TARGET_TITLE) != NULL; }, WAIT_MS));

    ASSERT_TRUE(StartChild(BinDir() + BRIDGE_EXE, BridgeArguments(TARGET_TITLE, run.layout.toolFolder),
                           SW_SHOWMINIMIZED, run.bridge));
    ToolWindows tool;
    ASSERT_TRUE(WaitUntil([&] { return FindTool(tool, fields); }, WAIT_MS))
        << "the fields never held " << fields[0] << ", " << fields[1] << ", " << fields[2] << ", "
        << fields[3];
    run.window = FindProcessWindow(run.bridge.info.dwProcessId, BRIDGE_NAME, BRIDGE_NAME);
    ASSERT_NE(run.window, (HWND)NULL);
}

// Start, record for a while, stop; returns the seconds between startcapture and stop.
double RecordAndStop(RunParts& run)
{
    PostMessageA(run.window, WM_BRIDGE_START, 0, 0);
    EXPECT_TRUE(WaitForOutput(run.bridge, WIRE_STARTED, WAIT_MS));
    double started = NowSeconds();
    WaitUntil([] { return false; }, RECORD_MS);
    PostMessageA(run.window, WM_BRIDGE_STOP, 0, 0);
    double stopped = NowSeconds();
    DWORD code = 99;
    EXPECT_TRUE(WaitForExit(run.bridge, WAIT_MS, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(ProcessesNamed(RECORDER_EXE).empty()) << "the tool outlived stop";
    return stopped - started;
}

TEST(EndToEnd, RecordsTheTargetWindowThroughTheBridge)
{
    // Overhangs the screen's left edge: the region is cut to start at zero.
    RunParts run;
    const char* const fields[4] = {"0", "100", "300", "200"};
    StartRun(run, -20, 100, 320, 200, fields);
    ASSERT_TRUE(WaitUntil([] { return ScreenShows(1, 101, TARGET_RGB) && ScreenShows(298, 298, TARGET_RGB); },
                          WAIT_MS));
    double seconds = RecordAndStop(run);
    EXPECT_EQ(run.bridge.output, WIRE_STARTED WIRE_EXIT_SUCCESS);
    std::vector<std::string> files = RecordingsIn(run.layout.workDir);
    ASSERT_EQ(files.size(), 1u);
    ExpectRecording(run.layout.workDir, files[0], 300, 200, seconds, TARGET_RGB);
}

TEST(EndToEnd, TargetPartlyBelowAndRightOfTheScreenIsCut)
{
    RunParts run;
    const char* const fields[4] = {"1800", "1000", "120", "80"};
    StartRun(run, 1800, 1000, 300, 200, fields);
    ASSERT_TRUE(WaitUntil([] { return ScreenShows(1801, 1001, TARGET_RGB) && ScreenShows(1918, 1078, TARGET_RGB); },
                          WAIT_MS));
    double seconds = RecordAndStop(run);
    std::vector<std::string> files = RecordingsIn(run.layout.workDir);
    ASSERT_EQ(files.size(), 1u);
    ExpectRecording(run.layout.workDir, files[0], 120, 80, seconds, TARGET_RGB);
}

TEST(EndToEnd, TargetWhollyOffTheScreenRecordsNothingAndTheToolSaysWhy)
{
    struct Case {
        int left, top, width, height;
        const char* fields[4];
    };
    const Case cases[] = {
        {2500, 100, 400, 200, {"2500", "100", "-580", "200"}},
        {100, 1200, 200, 100, {"100", "1200", "200", "-120"}},
    };
    for (const Case& c : cases) {
        RunParts run;
        StartRun(run, c.left, c.top, c.width, c.height, c.fields);
        RecordAndStop(run);
        EXPECT_EQ(run.bridge.output, WIRE_STARTED WIRE_EXIT_SUCCESS);
        EXPECT_TRUE(RecordingsIn(run.layout.workDir).empty()) << c.fields[0] << "," << c.fields[1];
        std::string log = ReadTextFile(run.layout.workDir + RECORDER_LOG);
        EXPECT_NE(log.find("Not recording"), std::string::npos) << log;
    }
}

TEST(EndToEnd, ToolKilledWhileRecordingStillGivesOneExitLine)
{
    RunParts run;
    const char* const fields[4] = {"0", "100", "300", "200"};
    StartRun(run, -20, 100, 320, 200, fields);
    PostMessageA(run.window, WM_BRIDGE_START, 0, 0);
    ASSERT_TRUE(WaitForOutput(run.bridge, WIRE_STARTED, WAIT_MS));
    WaitUntil([] { return false; }, RECORD_MS);
    KillProcessesNamed(RECORDER_EXE);
    PostMessageA(run.window, WM_BRIDGE_STOP, 0, 0);
    DWORD code = 99;
    ASSERT_TRUE(WaitForExit(run.bridge, WAIT_MS, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(run.bridge.output, WIRE_STARTED + WireExitForEndedTool());
    // A file whose writer was killed has no closing index, but the frames written before
    // stay readable and decode cleanly.
    std::vector<std::string> files = RecordingsIn(run.layout.workDir);
    ASSERT_EQ(files.size(), 1u);
    std::map<std::string, std::string> probe = Probe(run.layout.workDir, files[0]);
    long pictures = atol(probe["nb_read_frames"].c_str());
    EXPECT_EQ(probe["codec_name"], "mjpeg");
    EXPECT_GT(pictures, 0L);
    // Its head counts the frames of its last second at least, for players that trust it;
    // the file holds them all, repeated slots (empty chunks) included.
    AviSummary summary;
    std::string error;
    ASSERT_TRUE(ReadAviSummaryFromBytes(ReadTextFile(files[0]), summary, error)) << error;
    long frames = static_cast<long>(summary.moviFrames);
    printf("killed recording: codec %s, %s x %s, %ld frames, %ld pictures read\n",
           probe["codec_name"].c_str(), probe["width"].c_str(), probe["height"].c_str(), frames,
           pictures);
    EXPECT_FALSE(summary.indexed);
    EXPECT_GE(static_cast<long>(summary.frames), frames - DEFAULT_FPS);
    EXPECT_LE(static_cast<long>(summary.frames), frames);
    std::string decoded = DecodeFrames(run.layout.workDir, files[0]);
    long decodedFrames = static_cast<long>(decoded.size() / (300 * 200 * 3));
    EXPECT_GE(decodedFrames, pictures);
    EXPECT_LE(decodedFrames, frames);
    ExpectSolidFrames(decoded, 300, 200, TARGET_RGB, decodedFrames);
}

} // namespace
