// One whole run as a host drives it: the bridge, the stand-in recording tool and a
// target window, each its own process. The tool's fields must hold the target's
// clamped rectangle, and the file it leaves must show the target's colour.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "bridge.h"
#include "media_check.h"
#include "process_harness.h"
#include "recorder.h"
#include "recorder_logic.h"
#include "recorder_test_names.h"

namespace {

const DWORD WAIT_MS = 20000;
const DWORD RECORD_MS = 1500;
const unsigned long TARGET_RGB = 0x2080e0;

std::vector<std::string> Recordings(const std::string& workDir)
{
    std::vector<std::string> files;
    std::string folder = workDir + RECORDINGS_FOLDER "\\";
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "*" RECORDING_EXTENSION).c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            files.push_back(folder + entry.cFileName);
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    return files;
}

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

TEST(EndToEnd, RecordsTheTargetWindowThroughTheBridge)
{
    KillProcessesNamed(RECORDER_EXE);
    std::string workDir = MakeTempDir("e2e");
    std::string toolDir = workDir + "rec\\tool\\";
    ASSERT_TRUE(CreateDirectoryA((workDir + "rec").c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA(toolDir.c_str(), NULL));
    ASSERT_TRUE(CopyFileA((BinDir() + RECORDER_EXE).c_str(), (toolDir + RECORDER_EXE).c_str(), FALSE));

    // Overhangs the screen's left edge: the region is cut to start at zero.
    ChildProcess target;
    char targetArgs[64];
    snprintf(targetArgs, sizeof targetArgs, "-20 100 320 200 %06lx", TARGET_RGB);
    ASSERT_TRUE(StartChild(BinDir() + TARGET_EXE, targetArgs, SW_SHOWNORMAL, target));
    ASSERT_TRUE(WaitUntil([] { return ScreenShows(1, 101, TARGET_RGB) && ScreenShows(298, 298, TARGET_RGB); },
                          WAIT_MS));

    ChildProcess bridge;
    ASSERT_TRUE(StartChild(BinDir() + "LUMARO_ScreenRecBridge.exe",
                           std::string(TARGET_TITLE) + "#" + toolDir, SW_SHOWMINIMIZED, bridge));
    HWND tool = NULL;
    ASSERT_TRUE(WaitUntil([&] {
        tool = FindWindowA(NULL, RECORDER_TITLE);
        return tool && FindWindowExA(tool, NULL, EDIT_CLASS, "100") &&
               FindWindowExA(tool, NULL, EDIT_CLASS, "300") &&
               FindWindowExA(tool, NULL, EDIT_CLASS, "200") &&
               FindWindowExA(tool, NULL, EDIT_CLASS, "0");
    }, WAIT_MS)) << "the fields never held 0, 100, 300, 200";

    HWND window = FindProcessWindow(bridge.info.dwProcessId, BRIDGE_NAME, BRIDGE_NAME);
    ASSERT_NE(window, (HWND)NULL);
    PostMessageA(window, WM_BRIDGE_START, 0, 0);
    ASSERT_TRUE(WaitForOutput(bridge, "startcapture\r\n", WAIT_MS));
    double started = NowSeconds();
    WaitUntil([] { return false; }, RECORD_MS);
    PostMessageA(window, WM_BRIDGE_STOP, 0, 0);
    double stopped = NowSeconds();
    DWORD code = 99;
    ASSERT_TRUE(WaitForExit(bridge, WAIT_MS, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(bridge.output, "startcapture\r\nExit Process Success\r\n");
    EXPECT_TRUE(ProcessesNamed(RECORDER_EXE).empty()) << "the tool outlived stop";

    std::vector<std::string> files = Recordings(workDir);
    ASSERT_EQ(files.size(), 1u);
    ExpectRecording(workDir, files[0], 300, 200, stopped - started, TARGET_RGB);
    CloseChild(bridge);
    CloseChild(target);
}

} // namespace
