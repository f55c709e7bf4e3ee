// End-to-end figures as a host sees them, over repeated runs of bridge-host against the
// demo window: from starting bridge-host to its "startcapture", and from asking it to
// stop to its end (by then the bridge has ended and the recording is closed). The peer
// is bridge-host --help, a start and exit of the same program under the same Wine.
// First, what watching the window costs bridge-host per second of recording: one look
// at the window and the checks that it still exists between looks.
#include <windows.h>

#include <tlhelp32.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "avi_file.h"
#include "bridge_contract.h"
#include "code_page.h"
#include "demo_target.h"
#include "recorder_contract.h"
#include "target_watch.h"

#define RUNS 10
#define RECORD_MS 1000
#define STEP_TIMEOUT_MS 60000
#define POLL_MS 1
#define SAVED_PREFIX "saved: "
// Seconds of recording whose watching is timed.
#define WATCH_SECONDS 500
// Checks that the window still exists, per second, besides the look.
#define EXISTS_CHECKS 9

struct Child {
    PROCESS_INFORMATION info;
    HANDLE output;
    HANDLE input;
    std::string text;
};

static double g_tickMs;

static double NowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * g_tickMs;
}

static void Die(const char* what)
{
    fprintf(stderr, "host_bench: %s (error %lu)\n", what, GetLastError());
    exit(1);
}

static std::string BinDir()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string text(path, length);
    return text.substr(0, text.find_last_of('\\') + 1);
}

static void Start(const std::string& exe, const std::string& args, Child& child)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE outputWrite, inputRead;
    if (!CreatePipe(&child.output, &outputWrite, &inherit, 0) ||
        !CreatePipe(&inputRead, &child.input, &inherit, 0)) {
        Die("CreatePipe");
    }
    SetHandleInformation(child.output, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(child.input, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inputRead;
    startup.hStdOutput = outputWrite;
    startup.hStdError = outputWrite;
    std::string line = "\"" + exe + "\" " + args;
    if (!CreateProcessA(exe.c_str(), &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                        &child.info)) {
        Die("CreateProcessA");
    }
    CloseHandle(outputWrite);
    CloseHandle(inputRead);
    child.text.clear();
}

static void Poll(Child& child)
{
    DWORD available = 0;
    while (PeekNamedPipe(child.output, NULL, 0, NULL, &available, NULL) && available > 0) {
        char bytes[4096];
        DWORD count = 0;
        if (!ReadFile(child.output, bytes, available < sizeof bytes ? available : sizeof bytes,
                      &count, NULL) || count == 0) {
            return;
        }
        child.text.append(bytes, count);
    }
}

static void WaitForText(Child& child, const char* text)
{
    double began = NowMs();
    while (child.text.find(text) == std::string::npos) {
        Poll(child);
        if (NowMs() - began > STEP_TIMEOUT_MS) {
            fprintf(stderr, "host_bench: no \"%s\" in:\n%s\n", text, child.text.c_str());
            exit(1);
        }
        Sleep(POLL_MS);
    }
}

static DWORD WaitForEnd(Child& child)
{
    double began = NowMs();
    while (WaitForSingleObject(child.info.hProcess, POLL_MS) != WAIT_OBJECT_0) {
        Poll(child);
        if (NowMs() - began > STEP_TIMEOUT_MS) {
            fprintf(stderr, "host_bench: bridge-host did not end:\n%s\n", child.text.c_str());
            exit(1);
        }
    }
    Poll(child);
    DWORD code = 1;
    GetExitCodeProcess(child.info.hProcess, &code);
    CloseHandle(child.info.hProcess);
    CloseHandle(child.info.hThread);
    CloseHandle(child.output);
    CloseHandle(child.input);
    return code;
}

static bool ProcessNamedRuns(const char* name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        Die("CreateToolhelp32Snapshot");
    }
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry)) {
        found = lstrcmpiA(entry.szExeFile, name) == 0;
    }
    CloseHandle(snapshot);
    return found;
}

static bool RecordingComplete(const std::string& output)
{
    size_t at = output.find(SAVED_PREFIX);
    if (at == std::string::npos) {
        return false;
    }
    std::string path = output.substr(at + strlen(SAVED_PREFIX));
    path = path.substr(0, path.find_first_of("\r\n"));
    // A pipe gets bridge-host's lines in the ANSI code page.
    AviSummary summary;
    std::string error;
    return ReadAviFile(WideFromAnsi(path), summary, error);
}

static double ThreadCpuMs()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
    ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return (k.QuadPart + u.QuadPart) / 10000.0;
}

// The watch's work for each second of a recording, done back to back.
static void PrintWatchCost()
{
    HWND window = FindWindowA(NULL, DEMO_TITLE);
    ScreenSize screen = {GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    if (window == NULL) {
        Die("FindWindowA(demo window)");
    }
    double cpu = ThreadCpuMs();
    double began = NowMs();
    bool covered = false;
    for (int second = 0; second < WATCH_SECONDS; ++second) {
        covered |= SampleTarget(window, screen, second * 1000).covered;
        for (int check = 0; check < EXISTS_CHECKS; ++check) {
            covered |= !IsWindow(window);
        }
    }
    cpu = (ThreadCpuMs() - cpu) / WATCH_SECONDS;
    double wall = (NowMs() - began) / WATCH_SECONDS;
    printf("watching the window, per second of recording (%d points, %s): %.3f ms of "
           "processor time in bridge-host (%.3f %% of a core); %.3f ms elapsed, the system's side "
           "included (%.3f %%)\n",
           WATCH_GRID * WATCH_GRID, covered ? "covered" : "uncovered", cpu, cpu / 10, wall,
           wall / 10);
}

static double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

static void PrintFigure(const char* name, const std::vector<double>& values, double peer)
{
    double median = Median(values);
    printf("%-34s median %8.1f ms   worst %8.1f ms   median/peer %6.2f\n", name, median,
           *std::max_element(values.begin(), values.end()), median / peer);
}

int main()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_tickMs = 1000.0 / frequency.QuadPart;

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string work = std::string(temp) + "host_bench_" + std::to_string(GetCurrentProcessId()) + "\\";
    std::string folder = work + "rec\\tool\\";
    // Wine reuses process ids in a new session, so an earlier run's folder may be there.
    for (const std::string& path : {work, work + "rec\\", folder}) {
        if (!CreateDirectoryA(path.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
            Die("CreateDirectoryA");
        }
    }
    std::string bin = BinDir();
    if (!CopyFileA((bin + RECORDER_EXE).c_str(), (folder + RECORDER_EXE).c_str(), FALSE)) {
        Die("CopyFileA");
    }
    Child target;
    Start(bin + "demo_target.exe", "", target);
    WaitForText(target, "window at");
    PrintWatchCost();

    std::string host = bin + "bridge-host.exe";
    std::vector<double> peer, toStarted, toEnded;
    for (int run = 0; run < RUNS; ++run) {
        Child help;
        double began = NowMs();
        Start(host, "--help", help);
        WaitForEnd(help);
        peer.push_back(NowMs() - began);

        Child child;
        began = NowMs();
        Start(host, std::string("record --title \"") + DEMO_TITLE + "\" --tool-folder " + folder +
                        " --until-enter -o " + work, child);
        WaitForText(child, STATUS_STARTED);
        toStarted.push_back(NowMs() - began);
        Sleep(RECORD_MS);
        DWORD written = 0;
        double stopped = NowMs();
        if (!WriteFile(child.input, "\n", 1, &written, NULL)) {
            Die("WriteFile to bridge-host");
        }
        DWORD code = WaitForEnd(child);
        toEnded.push_back(NowMs() - stopped);
        if (code != 0 || ProcessNamedRuns(BRIDGE_EXE) || !RecordingComplete(child.text)) {
            fprintf(stderr, "host_bench: run %d failed (exit %lu):\n%s\n", run, code,
                    child.text.c_str());
            return 1;
        }
    }
    TerminateProcess(target.info.hProcess, 0);

    double peerMedian = Median(peer);
    printf("host figures over %d runs of bridge-host (recording %d ms each)\n", RUNS, RECORD_MS);
    PrintFigure("peer: bridge-host --help", peer, peerMedian);
    PrintFigure("start to \"" STATUS_STARTED "\"", toStarted, peerMedian);
    PrintFigure("stop to file closed, bridge gone", toEnded, peerMedian);
    return 0;
}
