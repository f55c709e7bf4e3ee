// Bridge timings over repeated runs against the tool double: from the tool's last
// control appearing to the four fields set, the bridge's processor time per second of
// waiting, from the start command to "startcapture" on the pipe, and from stop to the
// bridge's exit. Prints figures; asserts nothing.
#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bridge_contract.h"
#include "process_harness.h"
#include "recorder_contract.h"

namespace {

const int RUNS = 10;
const int CONTROLS_MS = 2000;
const DWORD WAIT_MS = 30000;
const char* const TARGET_TITLE = "Bridge Bench Target";

double NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart * 1000.0 / frequency.QuadPart;
}

// The moment of the last logged event that contains the text, or -1.
double EventMs(const std::string& times, const char* event)
{
    double found = -1;
    size_t start = 0;
    for (size_t end; (end = times.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = times.substr(start, end - start);
        if (line.find(event) != std::string::npos) {
            found = atof(line.c_str());
        }
    }
    return found;
}

struct Series {
    const char* name;
    const char* unit;
    std::vector<double> values;
    void Print() const
    {
        if (values.empty()) {
            printf("%-44s no samples\n", name);
            return;
        }
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        printf("%-44s median %8.2f %s  worst %8.2f %s  (%zu runs)\n", name,
               sorted[sorted.size() / 2], unit, sorted.back(), unit, sorted.size());
    }
};

bool RunOnce(Series& handOff, Series& waitCost, Series& startLatency, Series& stopLatency)
{
    ToolLayout layout;
    if (!LayOutTool("bridge_bench", "fake_recorder.exe", layout)) {
        printf("cannot lay out the tool double: error %lu\n", GetLastError());
        return false;
    }
    const std::string& tool = layout.toolFolder;
    char options[64];
    snprintf(options, sizeof options, "controls_ms=%d", CONTROLS_MS);
    SetEnvironmentVariableA("FAKE_RECORDER", options);

    TargetWindow target(TARGET_TITLE, 0, 0, 320, 240);
    ChildProcess bridge;
    if (!StartChild(BinDir() + BRIDGE_EXE, BridgeArguments(TARGET_TITLE, tool), SW_SHOWNORMAL,
                    bridge)) {
        printf("cannot start the bridge: error %lu\n", GetLastError());
        return false;
    }
    std::string marker = "#" + tool;
    std::string timesPath = tool + "fake_recorder.times";
    bool ok = false;
    long long cpuBefore = -1;
    double wallBefore = 0;
    HWND window = NULL;
    if (WaitUntil([&] { return ReadTextFile(timesPath).find(" start ") != std::string::npos &&
                               (cpuBefore = LinuxProcessorMs(marker)) >= 0; }, WAIT_MS)) {
        wallBefore = NowMs();
        long long cpuAfter = cpuBefore;
        double wallAfter = wallBefore;
        // Sample the waiting bridge until the controls appear.
        WaitUntil([&] {
            if (ReadTextFile(timesPath).find(" controls") != std::string::npos) {
                return true;
            }
            cpuAfter = LinuxProcessorMs(marker);
            wallAfter = NowMs();
            return false;
        }, WAIT_MS);
        if (wallAfter - wallBefore > 500) {
            waitCost.values.push_back((cpuAfter - cpuBefore) * 1000.0 / (wallAfter - wallBefore));
        }
        if (WaitUntil([&] { return EventMs(ReadTextFile(timesPath), "settext height") >= 0; }, WAIT_MS)) {
            std::string times = ReadTextFile(timesPath);
            handOff.values.push_back(EventMs(times, "settext height") - EventMs(times, " controls"));
            window = FindProcessWindow(bridge.info.dwProcessId, BRIDGE_NAME, BRIDGE_NAME);
        }
    }
    if (window) {
        double sent = NowMs();
        PostMessageA(window, WM_BRIDGE_START, 0, 0);
        if (WaitForOutput(bridge, WIRE_STARTED, WAIT_MS)) {
            startLatency.values.push_back(NowMs() - sent);
            sent = NowMs();
            PostMessageA(window, WM_BRIDGE_STOP, 0, 0);
            DWORD code;
            if (WaitForExit(bridge, WAIT_MS, &code)) {
                stopLatency.values.push_back(NowMs() - sent);
                ok = code == 0;
            }
        }
    }
    if (!ok) {
        printf("run failed; bridge output: %s\n", bridge.output.c_str());
    }
    CloseChild(bridge);
    KillProcessesNamed(RECORDER_EXE);
    return ok;
}

} // namespace

int main()
{
    Series handOff = {"last control appears -> four fields set", "ms", {}};
    Series waitCost = {"processor time per second of waiting", "ms/s", {}};
    Series startLatency = {"start posted -> \"" STATUS_STARTED "\" read", "ms", {}};
    Series stopLatency = {"stop posted -> bridge exited", "ms", {}};
    int failures = 0;
    for (int run = 0; run < RUNS; ++run) {
        failures += RunOnce(handOff, waitCost, startLatency, stopLatency) ? 0 : 1;
    }
    printf("bridge against the tool double, %d runs (%d failed), discovery pause %d ms\n", RUNS,
           failures, DISCOVERY_PAUSE_MS);
    handOff.Print();
    waitCost.Print();
    startLatency.Print();
    stopLatency.Print();
    return failures == 0 ? 0 : 1;
}
