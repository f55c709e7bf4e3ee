// Complete runs back to back through the host client: start, record one second, stop.
// Every run must leave one complete recording and an exit code of 0, and no bridge or
// tool may outlive its run. SOAK_RUNS sets the count (5 by default; scripts/soak
// runs 50).
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "avi_summary.h"
#include "bridge_client.h"
#include "process_harness.h"

namespace {

const int DEFAULT_RUNS = 5;
const DWORD RECORD_MS = 1000;
const char* const TARGET_TITLE = "Soak Target";

// The one recording the run left, complete and about as long as the run recorded.
bool RecordingComplete(const std::string& workDir, std::string& why)
{
    std::vector<std::string> files = RecordingsIn(workDir);
    if (files.size() != 1) {
        why = std::to_string(files.size()) + " recordings, not one";
        return false;
    }
    std::string bytes = ReadTextFile(files[0]);
    AviSummary summary;
    if (!ReadAviSummaryFromBytes(bytes, summary, why)) {
        return false;
    }
    if (!AviComplete(summary) || summary.seconds < 0.5 || summary.seconds > 3.0) {
        why = "incomplete or wrong length: " + std::to_string(summary.seconds) + " s";
        return false;
    }
    return true;
}

TEST(Soak, CompleteRunsBackToBack)
{
    const char* setting = getenv("SOAK_RUNS");
    int runs = setting ? atoi(setting) : DEFAULT_RUNS;
    ASSERT_GT(runs, 0);
    TargetWindow target(TARGET_TITLE, 200, 200, 160, 120, RGB(200, 40, 40));
    std::string bridgePath = BinDir() + BRIDGE_EXE;

    int cleanExits = 0, validFiles = 0, leftovers = 0;
    for (int run = 1; run <= runs; ++run) {
        ToolLayout layout;
        ASSERT_TRUE(LayOutTool("soak", RECORDER_EXE, layout));

        BridgeSession session;
        InitBridgeSession(session, nullptr, nullptr);
        bool ok = StartBridge(session, bridgePath.c_str(), TARGET_TITLE, layout.toolFolder.c_str(),
                              SW_HIDE) &&
                  FindBridgeWindow(session, BRIDGE_WINDOW_TIMEOUT_MS) &&
                  WaitBridgeReady(session, BRIDGE_READY_TIMEOUT_MS) &&
                  SendStartCommand(session, BRIDGE_START_TIMEOUT_MS);
        if (ok) {
            WaitUntil([&] { return !BridgeStillRecording(session); }, RECORD_MS);
            ok = SendStopCommand(session, BRIDGE_EXIT_TIMEOUT_MS);
        }
        DWORD code = 99;
        if (ok && GetExitCodeProcess(session.process, &code) && code == 0 && !session.exitFailed) {
            ++cleanExits;
        } else {
            ADD_FAILURE() << "run " << run << ": " << session.error << " exit code " << code;
        }
        EndBridgeSession(session);

        std::string why;
        if (RecordingComplete(layout.workDir, why)) {
            ++validFiles;
        } else {
            ADD_FAILURE() << "run " << run << ": " << why;
        }
        size_t left = ProcessesNamed(BRIDGE_EXE).size() + ProcessesNamed(RECORDER_EXE).size();
        if (left > 0) {
            ADD_FAILURE() << "run " << run << ": " << left << " processes left over";
            leftovers += static_cast<int>(left);
            KillProcessesNamed(BRIDGE_EXE);
            KillProcessesNamed(RECORDER_EXE);
        }
    }
    printf("soak: %d runs, %d clean exits, %d valid files, %d leftover processes\n", runs,
           cleanExits, validFiles, leftovers);
}

} // namespace
