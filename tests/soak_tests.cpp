// Complete runs back to back through the C client bridge-host is built on: start, record one second, stop.
// Every run must leave one complete recording and an exit code of 0, and no bridge or
// tool may outlive its run. SOAK_RUNS sets the count (5 by default; scripts/soak
// runs 50).
//
// Chaos runs: bridge-host records, and one of bridge-host, the bridge and the tool (in
// turn) is killed at a moment drawn from a seed. Nothing of the run may be left running;
// every recording left must decode in full or be named by bridge-host as incomplete, and
// bridge-host's exit code must fit what happened. CHAOS_RUNS sets the count (10 by
// default; scripts/soak --chaos runs 200) and CHAOS_SEED replays a seed that was printed.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <string>

#include "avi_summary.h"
#include "bridge_contract.h"
#include "bridge_host.h"
#include "lumaro_bridge.h"
#include "media_check.h"
#include "process_harness.h"
#include "recorder_contract.h"
#include "stand_in_tool.h"

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
    std::string said;
    if (!DecodesCleanly(workDir, files[0], &said)) {
        why = "does not decode in full: " + said;
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

        lumaro_bridge_session session;
        lumaro_bridge_init(&session, nullptr, nullptr);
        bool ok = lumaro_bridge_open(&session, bridgePath.c_str(), TARGET_TITLE,
                                     layout.toolFolder.c_str(), LUMARO_BRIDGE_READY_TIMEOUT_MS) ==
                      LUMARO_BRIDGE_OK &&
                  lumaro_bridge_start(&session, LUMARO_BRIDGE_START_TIMEOUT_MS) == LUMARO_BRIDGE_OK &&
                  lumaro_bridge_poll(&session, RECORD_MS) == LUMARO_BRIDGE_OK &&
                  lumaro_bridge_stop(&session, LUMARO_BRIDGE_STOP_TIMEOUT_MS) == LUMARO_BRIDGE_OK;
        DWORD code = 99;
        if (ok && GetExitCodeProcess(session.process, &code) && code == 0) {
            ++cleanExits;
        } else {
            ADD_FAILURE() << "run " << run << ": " << session.error << " exit code " << code;
        }
        lumaro_bridge_close(&session, LUMARO_BRIDGE_STOP_TIMEOUT_MS);

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

const int DEFAULT_CHAOS_RUNS = 10;
const int CHAOS_RECORD_SECONDS = 2;
const UINT CHAOS_EXIT_CODE = 77;
// The moments drawn reach past a whole run, whose start-up is learned as runs go.
const DWORD FIRST_STARTUP_GUESS_MS = 4000;
// A kill this long before the host's own stop cannot race it.
const DWORD STOP_MARGIN_MS = 1000;
const DWORD RUN_LIMIT_MS = 120000;

enum Victim { VICTIM_HOST, VICTIM_BRIDGE, VICTIM_TOOL, VICTIM_COUNT };
const char* const VICTIM_NAMES[VICTIM_COUNT] = {"bridge-host", "the bridge", "the tool"};

// The victim's process id as the run stands: the host is the test's child, the bridge
// the host's, the tool the bridge's; 0 while it is not (or no longer) there.
DWORD FindVictim(Victim victim, const ChildProcess& host)
{
    DWORD hostId = host.info.dwProcessId;
    if (victim == VICTIM_HOST) {
        return WaitForSingleObject(host.info.hProcess, 0) == WAIT_TIMEOUT ? hostId : 0;
    }
    std::vector<DWORD> bridges = ProcessesNamed(BRIDGE_EXE, hostId);
    if (bridges.empty() || victim == VICTIM_BRIDGE) {
        return bridges.empty() ? 0 : bridges[0];
    }
    std::vector<DWORD> tools = ProcessesNamed(RECORDER_EXE, bridges[0]);
    return tools.empty() ? 0 : tools[0];
}

bool Kill(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (process == NULL) {
        return false;
    }
    // Ending an ended process succeeds under Wine, so only a live one counts.
    bool killed = WaitForSingleObject(process, 0) == WAIT_TIMEOUT &&
                  TerminateProcess(process, CHAOS_EXIT_CODE);
    CloseHandle(process);
    return killed;
}

// The run's programs still running, each by name and process id.
std::string LeftOfTheRun()
{
    std::string left;
    for (const char* name : {HOST_EXE, GUARD_EXE, BRIDGE_EXE, RECORDER_EXE}) {
        for (DWORD id : ProcessesNamed(name)) {
            left += std::string(" ") + name + " " + std::to_string(id);
        }
    }
    return left;
}

TEST(Soak, ChaosRunsLeaveNothingRunningAndNoFalseSuccess)
{
    const char* runsSetting = getenv("CHAOS_RUNS");
    const char* seedSetting = getenv("CHAOS_SEED");
    int runs = runsSetting ? atoi(runsSetting) : DEFAULT_CHAOS_RUNS;
    unsigned long seed = seedSetting ? strtoul(seedSetting, nullptr, 10) : GetTickCount();
    printf("chaos: seed %lu (CHAOS_SEED=%lu replays these runs)\n", seed, seed);
    std::mt19937 moments(seed);
    TargetWindow target(TARGET_TITLE, 200, 200, 160, 120, RGB(40, 200, 40));
    DWORD startupMs = FIRST_STARTUP_GUESS_MS;
    int faults = 0;
    for (int run = 1; run <= runs; ++run) {
        Victim victim = static_cast<Victim>(run % VICTIM_COUNT);
        DWORD moment = moments() % (startupMs + CHAOS_RECORD_SECONDS * 1000 + STOP_MARGIN_MS);
        ToolLayout layout;
        ASSERT_TRUE(LayOutTool("chaos", RECORDER_EXE, layout));
        std::string args = std::string("record --title \"") + TARGET_TITLE + "\" --tool-folder " +
                           layout.toolFolder + " --seconds " +
                           std::to_string(CHAOS_RECORD_SECONDS);
        ChildProcess host;
        // In the work folder, where bridge-host moves the recording.
        ASSERT_TRUE(StartChild(BinDir() + HOST_EXE, args, SW_HIDE, host, layout.workDir.c_str()));
        DWORD began = GetTickCount();
        DWORD recordingAt = 0;
        auto watch = [&] {
            PollOutput(host);
            if (recordingAt == 0 && host.output.find(STATUS_STARTED) != std::string::npos) {
                recordingAt = GetTickCount();
            }
        };
        WaitUntil([&] { watch(); return GetTickCount() - began >= moment; }, RUN_LIMIT_MS);
        // A victim not there yet is killed as soon as it shows, if the run still goes on.
        DWORD victimId = 0;
        WaitUntil([&] {
            watch();
            victimId = FindVictim(victim, host);
            return victimId != 0 || WaitForSingleObject(host.info.hProcess, 0) == WAIT_OBJECT_0;
        }, RUN_LIMIT_MS);
        DWORD killedAt = GetTickCount();
        bool killed = victimId != 0 && Kill(victimId);
        bool beforeStop = recordingAt == 0 ||
                          killedAt + STOP_MARGIN_MS < recordingAt + CHAOS_RECORD_SECONDS * 1000;
        DWORD code = 99;
        bool ended = WaitForExit(host, RUN_LIMIT_MS, &code);
        // A tool that logged the run's recording saved was killed after the stop, however
        // late its host's output was read, or however late the kill took effect (under
        // emulation it can land after the tool has finished its file and logged it).
        beforeStop = beforeStop && !(killed && victim == VICTIM_TOOL &&
                                     ReadTextFile(layout.workDir + RECORDER_LOG)
                                             .find(LOG_PID_END LOG_SAVED) != std::string::npos);
        bool cleared = WaitUntil([] { return LeftOfTheRun().empty(); }, RUN_LIMIT_MS);
        if (recordingAt != 0) {
            startupMs = recordingAt - began;
        }

        std::string what = "run " + std::to_string(run) + ": " + VICTIM_NAMES[victim] +
                           (killed ? " killed" : " not killed (not running)") + " at " +
                           std::to_string(killedAt - began) + " ms";
        std::string problems;
        auto check = [&](bool holds, const std::string& problem) {
            problems += holds ? "" : "  <-- " + problem;
        };
        check(ended, "bridge-host did not end");
        check(cleared, "processes of the run were left running:" + LeftOfTheRun());
        if (killed && victim == VICTIM_HOST) {
            check(code == CHAOS_EXIT_CODE, "exit " + std::to_string(code) + ", not the kill's");
        } else if (killed && beforeStop) {
            check(code == EXIT_RECORDING_FAILED || code == EXIT_RECORDING_SHORT,
                  "exit " + std::to_string(code) + " after a kill");
        } else {
            check(code == 0 || code == EXIT_RECORDING_FAILED || code == EXIT_RECORDING_SHORT,
                  "exit " + std::to_string(code));
        }
        bool failed = code == EXIT_RECORDING_FAILED;
        check((!failed && code != EXIT_RECORDING_SHORT) ||
                  host.output.find("bridge-host: ") != std::string::npos,
              "a failure or a short recording without a reason");
        std::vector<std::string> files = RecordingsIn(layout.workDir);
        std::vector<std::string> moved = FilesIn(layout.workDir, "*" RECORDING_EXTENSION);
        files.insert(files.end(), moved.begin(), moved.end());
        for (const std::string& file : files) {
            std::string name = file.substr(file.find_last_of('\\') + 1);
            std::string said;
            bool clean = DecodesCleanly(layout.workDir, file, &said);
            check(clean || (failed && host.output.find(name) != std::string::npos),
                  name + " does not decode (" + said + ") and bridge-host did not name it");
            check((code != 0 && code != EXIT_RECORDING_SHORT) ||
                      (clean && host.output.find("saved: ") != std::string::npos &&
                             host.output.find(name) != std::string::npos),
                  "success or a short recording without naming a clean recording");
            // The guard stops the bridge as bridge-host would have: the file is finished.
            AviSummary summary;
            check(!(killed && victim == VICTIM_HOST && recordingAt != 0) ||
                      (ReadAviSummaryFromBytes(ReadTextFile(file), summary, said) &&
                       AviComplete(summary)),
                  name + " was left unfinished when bridge-host was killed");
        }
        check(code != 0 || !files.empty(), "success without a recording");
        EXPECT_EQ(problems, "") << what << "\n" << host.output;
        faults += problems.empty() ? 0 : 1;
        printf("chaos %s, exit %lu, %u recording(s)%s\n", what.c_str(), code,
               static_cast<unsigned>(files.size()), problems.c_str());
        // A fault shows what bridge-host said and what the tool logged.
        std::string shown =
            problems.empty() ? "" : host.output + ReadTextFile(layout.workDir + RECORDER_LOG);
        for (size_t at = 0; at < shown.size();) {
            size_t end = shown.find('\n', at);
            printf("  | %s\n", shown.substr(at, end - at).c_str());
            at = end == std::string::npos ? end : end + 1;
        }
        if (!cleared) {
            KillProcessesNamed(HOST_EXE);
            KillProcessesNamed(BRIDGE_EXE);
            KillProcessesNamed(RECORDER_EXE);
        }
    }
    printf("chaos: %d runs, %d with faults, seed %lu\n", runs, faults, seed);
}

} // namespace
