// bridge-host: records one window by its title through the bridge and the recording
// tool, printing the bridge's status lines as they come and where the recording went.
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "avi_summary.h"
#include "bridge_client.h"
#include "host_options.h"

#define EXIT_RECORDING_FAILED 1
#define EXIT_BAD_OPTIONS 2
#define ELAPSED_REFRESH_MS 100
// The tool keeps its log beside its recordings.
#define RECORDING_PATTERN "*" RECORDING_EXTENSION

static const int SHOW_COMMANDS[] = {SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED};

static HANDLE g_stopRequest;
static bool g_elapsedShown;

static void EndElapsedLine()
{
    if (g_elapsedShown) {
        printf("\n");
        g_elapsedShown = false;
    }
}

static void PrintStatusLine(const std::string& line, void*)
{
    EndElapsedLine();
    printf("%s\n", LineText(line).c_str());
    fflush(stdout);
}

static BOOL WINAPI OnConsoleBreak(DWORD)
{
    SetEvent(g_stopRequest);
    return TRUE;
}

// Enter, or the end of standard input, asks for the stop.
static DWORD WINAPI WaitForEnter(LPVOID)
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char c = 0;
    DWORD count = 0;
    while (ReadFile(input, &c, 1, &count, NULL) && count == 1 && c != '\n') {
    }
    SetEvent(g_stopRequest);
    return 0;
}

static std::string SiblingPath(const char* name)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return name;
    }
    std::string text(path, length);
    size_t slash = text.find_last_of("\\/");
    return text.substr(0, slash + 1) + name;
}

static bool ReadFileBytes(void* context, uint32_t offset, void* into, uint32_t count)
{
    HANDLE file = static_cast<HANDLE>(context);
    OVERLAPPED at;
    ZeroMemory(&at, sizeof at);
    at.Offset = offset;
    DWORD done = 0;
    return ReadFile(file, into, count, &done, &at) && done == count;
}

// The newest recording in the folder written since the recording began.
static bool FindNewRecording(const std::string& folder, const FILETIME& since,
                             std::string& path, std::string& error)
{
    WIN32_FIND_DATAA found;
    std::string pattern = folder + RECORDING_PATTERN;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        error = "no recording under " + folder + ": " +
                DescribeFailure("FindFirstFileA", GetLastError());
        return false;
    }
    FILETIME newest = since;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            CompareFileTime(&found.ftLastWriteTime, &newest) >= 0) {
            newest = found.ftLastWriteTime;
            path = folder + found.cFileName;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    if (path.empty()) {
        error = "the tool wrote no new recording under " + folder;
        return false;
    }
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, NULL);
    if (length > 0 && length < sizeof full) {
        path = full;
    }
    return true;
}

static void PrintRecordingSummary(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        printf("  (%s)\n", DescribeFailure("CreateFileA", GetLastError()).c_str());
        return;
    }
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    AviSource source = {ReadFileBytes, file, static_cast<uint32_t>(size.QuadPart)};
    AviSummary summary;
    std::string error;
    if (ReadAviSummary(source, summary, error)) {
        printf("  %dx%d, %lu frames at %.2f fps, %.2f s%s\n", summary.width, summary.height,
               static_cast<unsigned long>(summary.frames), summary.framesPerSecond,
               summary.seconds, AviComplete(summary) ? "" : " (file not closed properly)");
    } else {
        printf("  (not readable as AVI: %s)\n", error.c_str());
    }
    CloseHandle(file);
}

static bool Record(BridgeSession& session, const HostOptions& options, std::string& saved)
{
    std::string bridge =
        options.bridgePath.empty() ? SiblingPath(BRIDGE_EXE) : options.bridgePath;
    FILETIME began;
    GetSystemTimeAsFileTime(&began);
    if (!StartBridge(session, bridge.c_str(), options.title.c_str(),
                     options.toolFolder.c_str(), SHOW_COMMANDS[options.show]) ||
        !FindBridgeWindow(session, BRIDGE_WINDOW_TIMEOUT_MS) ||
        !WaitBridgeReady(session, BRIDGE_READY_TIMEOUT_MS) ||
        !SendStartCommand(session, BRIDGE_START_TIMEOUT_MS)) {
        return false;
    }
    DWORD recording = GetTickCount();
    DWORD limit = static_cast<DWORD>(options.seconds) * 1000;
    for (;;) {
        DWORD elapsed = GetTickCount() - recording;
        if (!options.untilEnter && elapsed >= limit) {
            break;
        }
        if (!BridgeStillRecording(session)) {
            EndElapsedLine();
            CloseLeftoverRecorders(RECORDER_CLOSE_TIMEOUT_MS);
            return false;
        }
        printf("\rrecording %s%s", FormatElapsed(elapsed).c_str(),
               options.untilEnter ? "  (Enter stops)" : "");
        fflush(stdout);
        g_elapsedShown = true;
        DWORD wait = ELAPSED_REFRESH_MS;
        if (!options.untilEnter && limit - elapsed < wait) {
            wait = limit - elapsed;
        }
        if (WaitForSingleObject(g_stopRequest, wait) == WAIT_OBJECT_0) {
            break;
        }
    }
    printf("\rrecording %s\n", FormatElapsed(GetTickCount() - recording).c_str());
    g_elapsedShown = false;
    if (!SendStopCommand(session, BRIDGE_EXIT_TIMEOUT_MS)) {
        return false;
    }
    std::string folder = options.toolFolder + RECORDINGS_FROM_TOOL_FOLDER;
    std::string error;
    if (!FindNewRecording(folder, began, saved, error)) {
        session.error = error;
        return false;
    }
    return true;
}

int main(int argc, char** argv)
{
    HostOptions options;
    std::string error;
    if (!ParseHostOptions(argc, argv, options, error)) {
        fprintf(stderr, "bridge-host: %s\n", error.c_str());
        return EXIT_BAD_OPTIONS;
    }
    if (options.help) {
        printf("%s", HostUsage());
        return 0;
    }
    if (options.version) {
        printf("bridge-host %s\n", PRODUCT_VERSION);
        return 0;
    }
    g_stopRequest = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (g_stopRequest == NULL) {
        fprintf(stderr, "bridge-host: %s\n", DescribeFailure("CreateEventA", GetLastError()).c_str());
        return EXIT_RECORDING_FAILED;
    }
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
    if (options.untilEnter) {
        HANDLE reader = CreateThread(NULL, 0, WaitForEnter, NULL, 0, NULL);
        if (reader == NULL) {
            fprintf(stderr, "bridge-host: %s\n",
                    DescribeFailure("CreateThread", GetLastError()).c_str());
            return EXIT_RECORDING_FAILED;
        }
        CloseHandle(reader);
    }

    BridgeSession session;
    InitBridgeSession(session, PrintStatusLine, NULL);
    std::string saved;
    bool recorded = Record(session, options, saved);
    EndBridgeSession(session);
    EndElapsedLine();
    if (!recorded) {
        fflush(stdout);
        fprintf(stderr, "bridge-host: %s\n", session.error.c_str());
        return EXIT_RECORDING_FAILED;
    }
    printf("saved: %s\n", saved.c_str());
    PrintRecordingSummary(saved);
    return 0;
}
