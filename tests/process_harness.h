// Helpers for tests that drive real processes under Wine: lay out a tool folder,
// start a program with its standard output on a pipe, read what it writes with a time
// limit, find its windows and the tool's controls, and clean up every process a test
// started. Every wait goes through WaitUntil.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Folder of the running test program, with a trailing backslash; every program of the
// build lands there.
std::string BinDir();

// A new empty folder under the temporary folder, with a trailing backslash.
std::string MakeTempDir(const char* tag);

std::string ReadTextFile(const std::string& path);

// Paths of the files in the folder (given with its trailing backslash) that match the
// pattern.
std::vector<std::string> FilesIn(const std::string& folder, const char* pattern);

// The folders of one run as hosts lay them out: the tool folder rec\tool\ inside a new
// temporary folder, the work folder. The bridge starts the tool two levels above its
// folder (TOOL_WORKDIR), so the work folder is the tool's working directory.
struct ToolLayout {
    std::string workDir;    // with its trailing backslash
    std::string toolFolder; // likewise
};

// Makes the folders and, unless tool is null, copies that program of the bin folder
// into the tool folder under the tool's name.
bool LayOutTool(const char* tag, const char* tool, ToolLayout& layout);

// The bridge's command line for that title and tool folder, as the bridge receives it.
std::string BridgeArguments(const char* title, const std::string& toolFolder);

// The recordings the tool wrote in its working directory.
std::vector<std::string> RecordingsIn(const std::string& workDir);

struct ChildProcess;

// Ends the child if it still runs and releases its handles.
void CloseChild(ChildProcess& child);

// A started program, ended and released whatever way the test leaves.
struct ChildProcess {
    PROCESS_INFORMATION info = {};
    HANDLE outputRead = NULL;
    HANDLE inputWrite = NULL; // with an input pipe: our end of its standard input
    std::string output;

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { CloseChild(*this); }
};

// Starts "exe" (UTF-8) with the exact raw command line "\"exe\" args" (or "\"exe\"" when
// args is empty), standard output on a pipe, the given show command and, unless it is
// null, the given working directory; standard input on a pipe too when asked, and with
// the given creation flags. With fullOutput the output pipe is full before the child
// starts, so that its first write waits until the test reads.
bool StartChild(const std::string& exe, const std::string& args, WORD showCommand,
                ChildProcess& child, const char* directory = NULL, bool inputPipe = false,
                DWORD creationFlags = 0, bool fullOutput = false);

// Reads what has arrived so far, without blocking.
void PollOutput(ChildProcess& child);

// Reads until the output holds the needle; false when the time runs out.
bool WaitForOutput(ChildProcess& child, const std::string& needle, DWORD timeoutMs);

// Waits for the child to end, reading its output meanwhile.
bool WaitForExit(ChildProcess& child, DWORD timeoutMs, DWORD* exitCode);

// Polls (pumping this thread's messages) until the condition holds or the time runs out.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// The first top-level window of the process with that class and title.
HWND FindProcessWindow(DWORD processId, const char* className, const char* title);

// The tool's window and its six controls.
struct ToolWindows {
    HWND window, play, stop, left, top, width, height;
};

// One discovery pass as the bridge makes it, with the four field texts looked for
// (null: the tool's texts at start); true when all seven windows are there.
bool FindTool(ToolWindows& tool, const char* const* fieldTexts = NULL);

// Closes the shell's error boxes that the process shows, as a user would; returns how
// many it closed.
int CloseErrorBoxes(DWORD processId);

// Process ids of every running process with that image name (and that parent).
std::vector<DWORD> ProcessesNamed(const char* imageName, DWORD parentId = 0);

bool ProcessRunning(DWORD processId);
// Whether the process belongs to a job.
bool ProcessInJob(DWORD processId);

// The exit line of a stop whose tool had already ended: ending an ended process fails
// on Windows but succeeds under Wine.
std::string WireExitForEndedTool();

// Ends every process with that image name and waits until they are gone.
void KillProcessesNamed(const char* imageName);

// A visible popup window of this process at a known screen rectangle, filled with one
// colour; destroyed with the object.
class TargetWindow {
public:
    TargetWindow(const char* title, int left, int top, int width, int height,
                 COLORREF colour = RGB(0, 0, 0));
    ~TargetWindow();
    HWND handle() const { return window; }

private:
    HWND window;
};

// Processor time (user and system, in milliseconds) that the Linux process behind a
// Wine process has used, found by a marker in its command line; -1 when none matches.
// Wine reads another process's times as about zero, so they come from /proc.
long long LinuxProcessorMs(const std::string& marker);
