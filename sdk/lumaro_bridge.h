/* lumaro_bridge.h: record a window through the LUMARO screen-recording bridge
   (LUMARO_ScreenRecBridge.exe). The bridge's protocol, defined once, and a small Win32
   client for it in one file. MIT licence, as the rest of the package.

   In one C or C++ file of your program:
       #define LUMARO_BRIDGE_IMPLEMENTATION
       #include "lumaro_bridge.h"
   and include it plainly everywhere else. C99 or C++, MinGW-w64 or MSVC 2015 and later,
   32 or 64 bits, Windows Vista and later. It allocates nothing: the session is yours.

   Recording the window titled "Chart" for five seconds, printing the bridge's lines:

       static void print_line(const char* line, void* context)
       {
           (void)context;
           printf("%s\n", line);
       }

       lumaro_bridge_session s;
       lumaro_bridge_init(&s, print_line, NULL);
       if (lumaro_bridge_open(&s, "C:\\lumaro\\LUMARO_ScreenRecBridge.exe", "Chart",
                              "C:\\lumaro\\rec\\tool\\", LUMARO_BRIDGE_READY_TIMEOUT_MS)
               == LUMARO_BRIDGE_OK &&
           lumaro_bridge_start(&s, LUMARO_BRIDGE_START_TIMEOUT_MS) == LUMARO_BRIDGE_OK &&
           lumaro_bridge_poll(&s, 5000) == LUMARO_BRIDGE_OK)
           lumaro_bridge_stop(&s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
       lumaro_bridge_close(&s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
       if (s.result != LUMARO_BRIDGE_OK)
           fprintf(stderr, "no recording: %s\n", s.error);

   The recording is then in C:\lumaro\recordings\ (the tool folder's ..\..\recordings\),
   and the stand-in tool's log there, recorder.log, names it. docs/protocol.md describes
   the protocol for hosts in any language, and what stays stable within a major version.

   The file has three parts: the protocol (names, messages, status lines, the command
   line and its rules, the folders, the time bounds), which needs no <windows.h> and
   builds on any system; the client's API (Windows only); and the client's
   implementation. The client is the minimal path: it starts the bridge, waits until it
   is ready, starts and stops the recording and reads the status lines. It does not put
   the bridge into a job, guard it against the host's own death, or read the tool's log
   to name the recording; bridge-host does all three with its own C++ client, which
   shares this file's protocol part. */
#ifndef LUMARO_BRIDGE_H
#define LUMARO_BRIDGE_H

#include <stddef.h>
#include <string.h>

/* ---- The protocol ---------------------------------------------------------------- */

/* Class and title of the bridge window, by which a host finds it (several bridges may
   run, so the host also matches the window's process id); also the bridge's
   executable. */
#define LUMARO_BRIDGE_WINDOW_NAME "LUMARO_ScreenRecBridge"
#define LUMARO_BRIDGE_EXE LUMARO_BRIDGE_WINDOW_NAME ".exe"

/* The two commands, posted to the bridge window (WM_USER + 1 and + 2); wParam and lParam
   are not read. Start clicks the tool's play button and writes "startcapture"; stop
   clicks its stop button, ends the tool's process, writes an exit line and ends the
   bridge. Posted commands wait in the queue until the bridge is ready. */
#define LUMARO_BRIDGE_WM_START 0x0401
#define LUMARO_BRIDGE_WM_STOP 0x0402

/* The status lines on the bridge's standard output, without their line end. */
#define LUMARO_BRIDGE_STATUS_STARTED "startcapture"                  /* after each start */
#define LUMARO_BRIDGE_STATUS_EXIT_SUCCESS "Exit Process Success"     /* stop ended the tool */
#define LUMARO_BRIDGE_STATUS_EXIT_FAILED "Exit Process Failed"       /* stop could not */
#define LUMARO_BRIDGE_STATUS_RECORDER_NOT_FOUND "Recorder Not Found" /* the bridge exits */
#define LUMARO_BRIDGE_STATUS_TARGET_NOT_FOUND "Target Window Not Found" /* it serves on */

/* The bridge writes a line feed on a standard output in text mode, so each line arrives
   ending in a carriage return and a line feed. */
#define LUMARO_BRIDGE_WRITTEN_LINE_END "\n"
#define LUMARO_BRIDGE_LINE_END "\r\n"

/* The command line, raw text with no quoting: the target window's title, one separator,
   then the tool folder, which ends in LUMARO_BRIDGE_FOLDER_END because the bridge
   appends file names to it as they are. The bridge skips leading separators, ends the
   title at the next one and takes the rest, further separators included, as the tool
   folder. */
#define LUMARO_BRIDGE_SEPARATOR '#'
#define LUMARO_BRIDGE_FOLDER_END '\\'

/* The folders around the tool: the bridge closes every running LUMARO_VideoTool.exe,
   then starts the one in the tool folder with the tool folder followed by
   LUMARO_BRIDGE_TOOL_WORKDIR as its working folder; the tool writes its recordings into
   LUMARO_BRIDGE_RECORDINGS_FOLDER there. */
#define LUMARO_BRIDGE_TOOL_WORKDIR "..\\.."
#define LUMARO_BRIDGE_RECORDINGS_FOLDER "recordings"
#define LUMARO_BRIDGE_RECORDING_EXTENSION ".avi"
#define LUMARO_BRIDGE_RECORDINGS_FROM_TOOL_FOLDER \
    LUMARO_BRIDGE_TOOL_WORKDIR "\\" LUMARO_BRIDGE_RECORDINGS_FOLDER "\\"

/* Time bounds. The bridge looks for the tool's window and controls for up to
   LUMARO_BRIDGE_DISCOVERY_TIMEOUT_MS, reading no messages meanwhile; the tool gives up
   starting a recording after LUMARO_TOOL_START_TIMEOUT_MS. A host's own bounds are
   longer, so that the bridge or the tool gives up first and says so. */
#define LUMARO_BRIDGE_DISCOVERY_TIMEOUT_MS 60000
#define LUMARO_TOOL_START_TIMEOUT_MS 10000
#define LUMARO_BRIDGE_WINDOW_TIMEOUT_MS 10000 /* start to the bridge window's appearing */
#define LUMARO_BRIDGE_READY_TIMEOUT_MS (LUMARO_BRIDGE_DISCOVERY_TIMEOUT_MS + 10000)
#define LUMARO_BRIDGE_START_TIMEOUT_MS (LUMARO_TOOL_START_TIMEOUT_MS + 5000)
/* Stop to the bridge's end: the tool finishes its file before it answers the click. */
#define LUMARO_BRIDGE_STOP_TIMEOUT_MS 15000

/* The window class of the shell's error box: a tool that cannot be launched makes the
   bridge show one, and the bridge waits in it until it is closed. */
#define LUMARO_BRIDGE_ERROR_BOX_CLASS "#32770"

#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define LUMARO_BRIDGE_INLINE static inline
#elif defined(_MSC_VER)
#define LUMARO_BRIDGE_INLINE static __inline /* MSVC's C before C11 mode */
#else
#define LUMARO_BRIDGE_INLINE static
#endif

/* The command line's rules, small and inline, so that a program that shares the
   protocol alone (the bridge itself among them) needs no implementation file. */

/* Blanks and control characters, compared unsigned so that bytes beyond ASCII are
   neither. Windows drops those that follow the program name, so the bridge never sees
   them at the start of its command line. */
LUMARO_BRIDGE_INLINE int lumaro_bridge_is_blank_or_control(char c)
{
    return (unsigned char)c <= ' ' && c != '\0';
}

/* True for a folder that is not empty and does not end in LUMARO_BRIDGE_FOLDER_END,
   which a host may add for its user. */
LUMARO_BRIDGE_INLINE int lumaro_bridge_folder_lacks_end(const char* tool_folder)
{
    size_t length = strlen(tool_folder);
    return length > 0 && tool_folder[length - 1] != LUMARO_BRIDGE_FOLDER_END;
}

/* Null when the title and the tool folder reach the bridge unchanged, else why not, as
   a sentence without a full stop. The title must also be text in the system's narrow
   (ANSI) code page, which no check can tell. */
LUMARO_BRIDGE_INLINE const char* lumaro_bridge_check_command_line(const char* title,
                                                                  const char* tool_folder)
{
    if (title == NULL || title[0] == '\0') {
        return "the window title is empty";
    }
    if (lumaro_bridge_is_blank_or_control(title[0])) {
        return "the window title starts with a blank or control character, which the "
               "bridge's command line drops";
    }
    if (strchr(title, LUMARO_BRIDGE_SEPARATOR) != NULL) {
        return "the window title contains '#', which the bridge takes as the end of the title";
    }
    if (tool_folder == NULL || tool_folder[0] == '\0') {
        return "the tool folder is empty";
    }
    if (lumaro_bridge_folder_lacks_end(tool_folder)) {
        return "the tool folder must end in a backslash";
    }
    return NULL;
}

/* Writes "\"BRIDGE_PATH\" TITLE#TOOL_FOLDER" and its terminator into line when size
   holds them, and nothing otherwise; returns the length without the terminator. The
   path is quoted for CreateProcess; the rest goes raw, since the bridge splits it
   itself. Check the title and folder first (lumaro_bridge_check_command_line). */
LUMARO_BRIDGE_INLINE size_t lumaro_bridge_build_command_line(const char* bridge_path,
                                                             const char* title,
                                                             const char* tool_folder,
                                                             char* line, size_t size)
{
    const size_t path_length = strlen(bridge_path);
    const size_t title_length = strlen(title);
    const size_t folder_length = strlen(tool_folder);
    /* Two quotes, the blank after the path and the separator. */
    const size_t length = path_length + title_length + folder_length + 4;
    char* at = line;
    if (line == NULL || length >= size) {
        return length;
    }
    *at++ = '"';
    memcpy(at, bridge_path, path_length);
    at += path_length;
    *at++ = '"';
    *at++ = ' ';
    memcpy(at, title, title_length);
    at += title_length;
    *at++ = LUMARO_BRIDGE_SEPARATOR;
    memcpy(at, tool_folder, folder_length);
    at[folder_length] = '\0';
    return length;
}

/* ---- The client (Windows) ------------------------------------------------------- */
#ifdef _WIN32
#ifdef __cplusplus
extern "C" {
#endif

/* What each call returns; the session keeps the first failure and its sentence. */
typedef enum lumaro_bridge_result {
    LUMARO_BRIDGE_OK = 0,
    LUMARO_BRIDGE_BAD_ARGUMENT = 1,  /* a title or folder the command line cannot carry,
                                        or a call out of order */
    LUMARO_BRIDGE_SYSTEM_ERROR = 2,  /* a Windows call failed: the bridge could not be
                                        started (a wrong path), or not ended */
    LUMARO_BRIDGE_TIMEOUT = 3,       /* no answer or line within the caller's bound */
    LUMARO_BRIDGE_ENDED = 4,         /* the bridge ended early, or without its line */
    LUMARO_BRIDGE_TOOL_LAUNCH_FAILED = 5, /* the shell's error box (closed): no tool in
                                             the folder, or it would not start */
    LUMARO_BRIDGE_RECORDER_NOT_FOUND = 6, /* "Recorder Not Found": the bridge has ended */
    LUMARO_BRIDGE_TARGET_NOT_FOUND = 7,   /* "Target Window Not Found": nothing recorded;
                                             the client has stopped the bridge */
    LUMARO_BRIDGE_EXIT_FAILED = 8    /* "Exit Process Failed" after stop: the tool had
                                        already ended (the recording may be incomplete)
                                        or could not be ended */
} lumaro_bridge_result;

#define LUMARO_BRIDGE_ERROR_SIZE 512
#define LUMARO_BRIDGE_LINE_SIZE 256        /* longer lines are cut */
#define LUMARO_BRIDGE_COMMAND_LINE_SIZE 2048

/* Called with each line of the bridge's output as it arrives, without its line end. */
typedef void (*lumaro_bridge_line_fn)(const char* line, void* context);

typedef struct lumaro_bridge_session {
    /* The first failure, and one sentence saying what went wrong, to log as it is;
       LUMARO_BRIDGE_OK and "" while there is none. Once failed, a session stays so:
       every later call but lumaro_bridge_close returns the same. */
    lumaro_bridge_result result;
    char error[LUMARO_BRIDGE_ERROR_SIZE];
    unsigned long process_id; /* the bridge's, once started */
    void* window;             /* the bridge window (an HWND), once found */
    int show_command;         /* how the bridge shows its window, an SW_ value; 0 (SW_HIDE)
                                 unless set between init and open */
    /* The client's own. */
    void* process;
    void* output;
    lumaro_bridge_line_fn on_line;
    void* context;
    unsigned seen;
    size_t line_length;
    char line[LUMARO_BRIDGE_LINE_SIZE];
} lumaro_bridge_session;

/* Readies a session; on_line (null for none) gets every line the bridge writes. */
void lumaro_bridge_init(lumaro_bridge_session* session, lumaro_bridge_line_fn on_line,
                        void* context);

/* Starts the bridge ("BRIDGE_PATH" TITLE#TOOL_FOLDER, its standard output on a pipe,
   which is all it inherits), finds its window by name and process id, and waits until
   it is ready for commands, within timeout_ms (LUMARO_BRIDGE_READY_TIMEOUT_MS outlasts
   the bridge's own search for the tool). Give absolute paths: the bridge resolves the
   tool folder against its current folder, which is yours. The early lines come back
   as their own codes, without a start: on "Target Window Not Found" the client stops
   the bridge itself, which takes at most LUMARO_BRIDGE_STOP_TIMEOUT_MS more. */
lumaro_bridge_result lumaro_bridge_open(lumaro_bridge_session* session,
                                        const char* bridge_path, const char* title,
                                        const char* tool_folder, unsigned long timeout_ms);

/* Posts start and waits for "startcapture" (LUMARO_BRIDGE_START_TIMEOUT_MS outlasts the
   tool's own bound for starting a recording). */
lumaro_bridge_result lumaro_bridge_start(lumaro_bridge_session* session,
                                         unsigned long timeout_ms);

/* Reads the bridge's lines for wait_ms (0: what has arrived) and returns OK, or sooner
   with LUMARO_BRIDGE_ENDED once the bridge has ended without an exit line. */
lumaro_bridge_result lumaro_bridge_poll(lumaro_bridge_session* session,
                                        unsigned long wait_ms);

/* Posts stop and waits for the exit line and the bridge's end; on
   "Exit Process Success" the tool has finished its file. */
lumaro_bridge_result lumaro_bridge_stop(lumaro_bridge_session* session,
                                        unsigned long timeout_ms);

/* Ends the session, whatever state it is in, and returns its result: a bridge still
   running is stopped (when it is ready; the tool then finishes its file) within
   timeout_ms, else ended, and the session's handles are closed. A tool launched by a
   bridge that was ended before it was ready may stay open; the next bridge closes it. */
lumaro_bridge_result lumaro_bridge_close(lumaro_bridge_session* session,
                                         unsigned long timeout_ms);

#ifdef __cplusplus
}
#endif
#endif /* _WIN32 */
#endif /* LUMARO_BRIDGE_H */

/* ---- The client's implementation -------------------------------------------------- */
#if defined(LUMARO_BRIDGE_IMPLEMENTATION) && defined(_WIN32) && \
    !defined(LUMARO_BRIDGE_IMPLEMENTED)
#define LUMARO_BRIDGE_IMPLEMENTED

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <windows.h>
#if _WIN32_WINNT < 0x0600
#error "lumaro_bridge.h needs _WIN32_WINNT 0x0600 (Windows Vista) or later"
#endif

#include <stdarg.h>
#include <stdio.h>

#ifdef _MSC_VER
#pragma comment(lib, "user32.lib") /* so that MSVC users need no link option */
#endif

#define LUMARO_BRIDGE_POLL_MS 5
#define LUMARO_BRIDGE_ANSWER_MS 20
#define LUMARO_BRIDGE_KILL_WAIT_MS 5000
#define LUMARO_BRIDGE_READ_SIZE 512
#define LUMARO_BRIDGE_DESCRIBED_SIZE 320
#define LUMARO_BRIDGE_ATTRIBUTE_LIST_SIZE 256

#define LUMARO_BRIDGE_SEEN_STARTED 1u
#define LUMARO_BRIDGE_SEEN_EXIT_SUCCESS 2u
#define LUMARO_BRIDGE_SEEN_EXIT_FAILED 4u
#define LUMARO_BRIDGE_SEEN_RECORDER_NOT_FOUND 8u
#define LUMARO_BRIDGE_SEEN_TARGET_NOT_FOUND 16u
#define LUMARO_BRIDGE_SEEN_EXIT (LUMARO_BRIDGE_SEEN_EXIT_SUCCESS | LUMARO_BRIDGE_SEEN_EXIT_FAILED)

#ifdef __cplusplus
extern "C" {
#endif

static lumaro_bridge_result lumaro_bridge_fail(lumaro_bridge_session* s,
                                               lumaro_bridge_result result,
                                               const char* format, ...)
{
    if (s->result == LUMARO_BRIDGE_OK) {
        va_list arguments;
        va_start(arguments, format);
        vsnprintf(s->error, sizeof s->error, format, arguments);
        va_end(arguments);
        s->result = result;
    }
    return s->result;
}

static void lumaro_bridge_append(lumaro_bridge_session* s, const char* text)
{
    size_t length = strlen(s->error);
    if (s->result != LUMARO_BRIDGE_OK && length + strlen(text) < sizeof s->error) {
        memcpy(s->error + length, text, strlen(text) + 1);
    }
}

/* "CALL failed with error N (the system's text)", as the package's programs say it. */
static const char* lumaro_bridge_describe(const char* call, DWORD code,
                                          char text[LUMARO_BRIDGE_DESCRIBED_SIZE])
{
    char system_text[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  NULL, code, 0, system_text, sizeof system_text, NULL);
    while (length > 0 && (system_text[length - 1] == '\n' || system_text[length - 1] == '\r' ||
                          system_text[length - 1] == ' ')) {
        system_text[--length] = '\0';
    }
    snprintf(text, LUMARO_BRIDGE_DESCRIBED_SIZE, length > 0 ? "%s failed with error %lu (%s)"
                                                            : "%s failed with error %lu%s",
             call, (unsigned long)code, system_text);
    return text;
}

void lumaro_bridge_init(lumaro_bridge_session* s, lumaro_bridge_line_fn on_line, void* context)
{
    memset(s, 0, sizeof *s);
    s->show_command = SW_HIDE;
    s->on_line = on_line;
    s->context = context;
}

static void lumaro_bridge_take_line(lumaro_bridge_session* s)
{
    static const struct {
        const char* text;
        unsigned bit;
    } statuses[] = {
        {LUMARO_BRIDGE_STATUS_STARTED, LUMARO_BRIDGE_SEEN_STARTED},
        {LUMARO_BRIDGE_STATUS_EXIT_SUCCESS, LUMARO_BRIDGE_SEEN_EXIT_SUCCESS},
        {LUMARO_BRIDGE_STATUS_EXIT_FAILED, LUMARO_BRIDGE_SEEN_EXIT_FAILED},
        {LUMARO_BRIDGE_STATUS_RECORDER_NOT_FOUND, LUMARO_BRIDGE_SEEN_RECORDER_NOT_FOUND},
        {LUMARO_BRIDGE_STATUS_TARGET_NOT_FOUND, LUMARO_BRIDGE_SEEN_TARGET_NOT_FOUND},
    };
    size_t i;
    if (s->line_length > 0 && s->line[s->line_length - 1] == '\r') {
        --s->line_length;
    }
    s->line[s->line_length] = '\0';
    s->line_length = 0;
    for (i = 0; i < sizeof statuses / sizeof statuses[0]; ++i) {
        if (strcmp(s->line, statuses[i].text) == 0) {
            s->seen |= statuses[i].bit;
        }
    }
    if (s->on_line != NULL) {
        s->on_line(s->line, s->context);
    }
}

/* Reads whatever the pipe holds, without blocking. */
static void lumaro_bridge_read(lumaro_bridge_session* s)
{
    char bytes[LUMARO_BRIDGE_READ_SIZE];
    DWORD available = 0;
    DWORD count = 0;
    DWORD i;
    while (s->output != NULL &&
           PeekNamedPipe((HANDLE)s->output, NULL, 0, NULL, &available, NULL) && available > 0 &&
           ReadFile((HANDLE)s->output, bytes,
                    available < sizeof bytes ? available : (DWORD)sizeof bytes, &count, NULL) &&
           count > 0) {
        for (i = 0; i < count; ++i) {
            if (bytes[i] == '\n') {
                lumaro_bridge_take_line(s);
            } else if (s->line_length < sizeof s->line - 1) {
                s->line[s->line_length++] = bytes[i];
            }
        }
    }
}

static int lumaro_bridge_ended(lumaro_bridge_session* s)
{
    return s->process == NULL || WaitForSingleObject((HANDLE)s->process, 0) == WAIT_OBJECT_0;
}

static unsigned long lumaro_bridge_exit_code(lumaro_bridge_session* s)
{
    DWORD code = 0;
    GetExitCodeProcess((HANDLE)s->process, &code);
    return (unsigned long)code;
}

/* Reads the bridge's lines until it ends; false when it still runs after timeout_ms. */
static int lumaro_bridge_wait_end(lumaro_bridge_session* s, unsigned long timeout_ms)
{
    DWORD began = GetTickCount();
    while (s->process != NULL &&
           WaitForSingleObject((HANDLE)s->process, LUMARO_BRIDGE_POLL_MS) == WAIT_TIMEOUT) {
        lumaro_bridge_read(s);
        if (GetTickCount() - began >= timeout_ms) {
            return 0;
        }
    }
    lumaro_bridge_read(s);
    return 1;
}

/* Starts the bridge with its standard output on a pipe and standard input on NUL, the
   only handles it inherits (an inherited handle of the host would stay open in it for
   its whole life), in a process group of its own, so that the host's Ctrl+C does not
   end it. */
static lumaro_bridge_result lumaro_bridge_launch(lumaro_bridge_session* s, const char* path,
                                                 const char* title, const char* tool_folder)
{
    char line[LUMARO_BRIDGE_COMMAND_LINE_SIZE];
    char described[LUMARO_BRIDGE_DESCRIBED_SIZE];
    union {
        void* pointer;
        double number;
        char bytes[LUMARO_BRIDGE_ATTRIBUTE_LIST_SIZE];
    } list;
    SECURITY_ATTRIBUTES inherit;
    STARTUPINFOEXA startup;
    PROCESS_INFORMATION info;
    HANDLE read_end = NULL;
    HANDLE write_end = NULL;
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE inherited[2];
    SIZE_T list_size = 0;
    const char* failed = NULL;
    DWORD code = 0;
    size_t length = lumaro_bridge_build_command_line(path, title, tool_folder, NULL, 0);
    if (length >= sizeof line) {
        return lumaro_bridge_fail(s, LUMARO_BRIDGE_BAD_ARGUMENT,
                                  "the bridge's command line would be %lu characters, more "
                                  "than the %d this client holds",
                                  (unsigned long)length, LUMARO_BRIDGE_COMMAND_LINE_SIZE - 1);
    }
    lumaro_bridge_build_command_line(path, title, tool_folder, line, sizeof line);
    inherit.nLength = sizeof inherit;
    inherit.lpSecurityDescriptor = NULL;
    inherit.bInheritHandle = TRUE;
    memset(&startup, 0, sizeof startup);
    memset(&info, 0, sizeof info);
    InitializeProcThreadAttributeList(NULL, 1, 0, &list_size);
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
        failed = "CreatePipe";
    } else if (!SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0)) {
        failed = "SetHandleInformation";
    } else if ((input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherit, OPEN_EXISTING, 0, NULL)) == INVALID_HANDLE_VALUE) {
        failed = "CreateFileA(NUL)";
    } else if (list_size > sizeof list.bytes ||
               !InitializeProcThreadAttributeList((LPPROC_THREAD_ATTRIBUTE_LIST)list.bytes, 1, 0,
                                                  &list_size)) {
        failed = "InitializeProcThreadAttributeList";
    } else {
        inherited[0] = write_end;
        inherited[1] = input;
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
        startup.StartupInfo.wShowWindow = (WORD)s->show_command;
        startup.StartupInfo.hStdInput = input;
        startup.StartupInfo.hStdOutput = write_end;
        startup.StartupInfo.hStdError = write_end;
        startup.lpAttributeList = (LPPROC_THREAD_ATTRIBUTE_LIST)list.bytes;
        if (!UpdateProcThreadAttribute(startup.lpAttributeList, 0,
                                       PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                       sizeof inherited, NULL, NULL)) {
            failed = "UpdateProcThreadAttribute";
        } else if (!CreateProcessA(NULL, line, NULL, NULL, TRUE,
                                   EXTENDED_STARTUPINFO_PRESENT | CREATE_NEW_PROCESS_GROUP, NULL,
                                   NULL, &startup.StartupInfo, &info)) {
            failed = "CreateProcessA";
        }
        code = GetLastError();
        DeleteProcThreadAttributeList(startup.lpAttributeList);
    }
    if (failed != NULL && code == 0) {
        code = GetLastError();
    }
    /* Only the bridge may hold the write end, or the pipe never reports its end. */
    if (write_end != NULL) {
        CloseHandle(write_end);
    }
    if (input != INVALID_HANDLE_VALUE) {
        CloseHandle(input);
    }
    if (failed != NULL) {
        if (read_end != NULL) {
            CloseHandle(read_end);
        }
        return lumaro_bridge_fail(s, LUMARO_BRIDGE_SYSTEM_ERROR,
                                  "could not start the bridge \"%s\": %s", path,
                                  lumaro_bridge_describe(failed, code, described));
    }
    CloseHandle(info.hThread);
    s->process = info.hProcess;
    s->process_id = info.dwProcessId;
    s->output = read_end;
    return LUMARO_BRIDGE_OK;
}

static HWND lumaro_bridge_find_window(lumaro_bridge_session* s)
{
    HWND window = NULL;
    DWORD owner = 0;
    while ((window = FindWindowExA(NULL, window, LUMARO_BRIDGE_WINDOW_NAME,
                                   LUMARO_BRIDGE_WINDOW_NAME)) != NULL) {
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->process_id) {
            return window;
        }
    }
    return NULL;
}

typedef struct lumaro_bridge_box_search {
    DWORD process_id;
    HWND box;
    char* text;
    size_t length;
} lumaro_bridge_box_search;

static BOOL CALLBACK lumaro_bridge_find_box(HWND window, LPARAM context)
{
    lumaro_bridge_box_search* search = (lumaro_bridge_box_search*)context;
    char class_name[16] = "";
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process_id && GetClassNameA(window, class_name, sizeof class_name) > 0 &&
        strcmp(class_name, LUMARO_BRIDGE_ERROR_BOX_CLASS) == 0 && IsWindowVisible(window)) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

/* Adds the text of the box's static controls, its message, after ": ". */
static BOOL CALLBACK lumaro_bridge_collect_box_text(HWND child, LPARAM context)
{
    lumaro_bridge_box_search* search = (lumaro_bridge_box_search*)context;
    char class_name[16] = "";
    int length;
    if (GetClassNameA(child, class_name, sizeof class_name) > 0 &&
        lstrcmpiA(class_name, "Static") == 0 && search->length + 3 < LUMARO_BRIDGE_ERROR_SIZE) {
        memcpy(search->text + search->length, ": ", 3);
        length = GetWindowTextA(child, search->text + search->length + 2,
                                (int)(LUMARO_BRIDGE_ERROR_SIZE - search->length - 2));
        if (length > 0) {
            search->length += 2 + (size_t)length;
        }
        search->text[search->length] = '\0';
    }
    return TRUE;
}

/* A failed tool launch makes the shell show an error box on the bridge's thread, and
   the bridge waits in it until someone closes it; once it is closed, the bridge finds
   no tool and ends. */
static int lumaro_bridge_handle_box(lumaro_bridge_session* s)
{
    char text[LUMARO_BRIDGE_ERROR_SIZE] = "";
    char described[LUMARO_BRIDGE_DESCRIBED_SIZE];
    size_t i;
    lumaro_bridge_box_search search;
    search.process_id = s->process_id;
    search.box = NULL;
    search.text = text;
    EnumWindows(lumaro_bridge_find_box, (LPARAM)&search);
    if (search.box == NULL) {
        return 0;
    }
    search.length = (size_t)GetWindowTextA(search.box, text, 128);
    EnumChildWindows(search.box, lumaro_bridge_collect_box_text, (LPARAM)&search);
    for (i = 0; text[i] != '\0'; ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            text[i] = ' ';
        }
    }
    while (i > 0 && text[i - 1] == ' ') {
        text[--i] = '\0';
    }
    lumaro_bridge_fail(s, LUMARO_BRIDGE_TOOL_LAUNCH_FAILED,
                       "the bridge could not start the recording tool and showed an error box "
                       "(\"%.300s\"); the box was closed", text);
    if (!PostMessageA(search.box, WM_CLOSE, 0, 0)) {
        lumaro_bridge_append(s, "; closing it: ");
        lumaro_bridge_append(s, lumaro_bridge_describe("PostMessageA", GetLastError(), described));
    }
    lumaro_bridge_wait_end(s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
    return 1;
}

/* The bridge reads no messages while it closes running tools, launches its own and
   looks for its window and controls; it first answers one while it sets the tool's
   fields or once it serves commands (or inside the error box above). */
static int lumaro_bridge_answers(lumaro_bridge_session* s)
{
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA((HWND)s->window, WM_NULL, 0, 0, SMTO_NORMAL,
                               LUMARO_BRIDGE_ANSWER_MS, &answer) != 0;
}

static lumaro_bridge_result lumaro_bridge_post(lumaro_bridge_session* s, UINT command,
                                               const char* name)
{
    char described[LUMARO_BRIDGE_DESCRIBED_SIZE];
    DWORD code;
    if (s->window == NULL) {
        return lumaro_bridge_fail(s, LUMARO_BRIDGE_BAD_ARGUMENT,
                                  "%s was asked for before the bridge was open", name);
    }
    if (PostMessageA((HWND)s->window, command, 0, 0)) {
        return LUMARO_BRIDGE_OK;
    }
    code = GetLastError();
    if (lumaro_bridge_ended(s) || !IsWindow((HWND)s->window)) {
        lumaro_bridge_read(s);
        return lumaro_bridge_fail(s, LUMARO_BRIDGE_ENDED,
                                  "the bridge ended (exit code %lu) before %s could be sent",
                                  lumaro_bridge_exit_code(s), name);
    }
    return lumaro_bridge_fail(s, LUMARO_BRIDGE_SYSTEM_ERROR, "sending %s: %s", name,
                              lumaro_bridge_describe("PostMessageA", code, described));
}

/* The bridge has found no window of that title and would record the tool's default
   area: stop it before anything is recorded, so that it also ends the tool. */
static lumaro_bridge_result lumaro_bridge_refuse_target(lumaro_bridge_session* s)
{
    lumaro_bridge_fail(s, LUMARO_BRIDGE_TARGET_NOT_FOUND,
                       "the bridge reported \"" LUMARO_BRIDGE_STATUS_TARGET_NOT_FOUND
                       "\": no window has that title; the bridge was stopped before "
                       "recording began");
    if (PostMessageA((HWND)s->window, LUMARO_BRIDGE_WM_STOP, 0, 0)) {
        lumaro_bridge_wait_end(s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
    }
    return s->result;
}

lumaro_bridge_result lumaro_bridge_open(lumaro_bridge_session* s, const char* bridge_path,
                                        const char* title, const char* tool_folder,
                                        unsigned long timeout_ms)
{
    DWORD began = GetTickCount();
    const char* problem = lumaro_bridge_check_command_line(title, tool_folder);
    if (s->result != LUMARO_BRIDGE_OK) {
        return s->result;
    }
    if (s->process != NULL) {
        return lumaro_bridge_fail(s, LUMARO_BRIDGE_BAD_ARGUMENT, "the session is already open");
    }
    if (bridge_path == NULL || bridge_path[0] == '\0') {
        problem = "the bridge's path is empty";
    }
    if (problem != NULL) {
        return lumaro_bridge_fail(s, LUMARO_BRIDGE_BAD_ARGUMENT, "%s", problem);
    }
    s->window = NULL;
    s->seen = 0;
    s->line_length = 0;
    if (lumaro_bridge_launch(s, bridge_path, title, tool_folder) != LUMARO_BRIDGE_OK) {
        return s->result;
    }
    for (;;) {
        lumaro_bridge_read(s);
        if (lumaro_bridge_handle_box(s)) {
            return s->result;
        }
        if (s->seen & LUMARO_BRIDGE_SEEN_RECORDER_NOT_FOUND) {
            lumaro_bridge_wait_end(s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
            return lumaro_bridge_fail(s, LUMARO_BRIDGE_RECORDER_NOT_FOUND,
                                      "the bridge reported \""
                                      LUMARO_BRIDGE_STATUS_RECORDER_NOT_FOUND
                                      "\": the recording tool did not start, or its window "
                                      "and controls did not appear");
        }
        if (lumaro_bridge_ended(s)) {
            lumaro_bridge_read(s);
            if (s->seen & LUMARO_BRIDGE_SEEN_RECORDER_NOT_FOUND) {
                continue;
            }
            return lumaro_bridge_fail(s, LUMARO_BRIDGE_ENDED,
                                      "the bridge ended (exit code %lu) before it was ready",
                                      lumaro_bridge_exit_code(s));
        }
        if (s->window == NULL) {
            s->window = lumaro_bridge_find_window(s);
        }
        if (s->window != NULL && lumaro_bridge_answers(s)) {
            if (lumaro_bridge_handle_box(s)) {
                return s->result;
            }
            /* The bridge writes that line before it can answer. */
            lumaro_bridge_read(s);
            if (s->seen & LUMARO_BRIDGE_SEEN_TARGET_NOT_FOUND) {
                return lumaro_bridge_refuse_target(s);
            }
            return LUMARO_BRIDGE_OK;
        }
        if (GetTickCount() - began >= timeout_ms) {
            return lumaro_bridge_fail(s, LUMARO_BRIDGE_TIMEOUT,
                                      s->window == NULL
                                          ? "the bridge's window did not appear within %lu ms"
                                          : "the bridge was not ready within %lu ms",
                                      timeout_ms);
        }
        Sleep(LUMARO_BRIDGE_POLL_MS);
    }
}

lumaro_bridge_result lumaro_bridge_start(lumaro_bridge_session* s, unsigned long timeout_ms)
{
    DWORD began = GetTickCount();
    if (s->result != LUMARO_BRIDGE_OK) {
        return s->result;
    }
    s->seen &= ~LUMARO_BRIDGE_SEEN_STARTED;
    if (lumaro_bridge_post(s, LUMARO_BRIDGE_WM_START, "start") != LUMARO_BRIDGE_OK) {
        return s->result;
    }
    for (;;) {
        lumaro_bridge_read(s);
        if (s->seen & LUMARO_BRIDGE_SEEN_STARTED) {
            /* Start is served inside the error box's message loop as well. */
            lumaro_bridge_handle_box(s);
            return s->result;
        }
        if (lumaro_bridge_ended(s)) {
            lumaro_bridge_read(s);
            if (s->seen & LUMARO_BRIDGE_SEEN_STARTED) {
                continue;
            }
            return lumaro_bridge_fail(s, LUMARO_BRIDGE_ENDED,
                                      "the bridge ended (exit code %lu) before \""
                                      LUMARO_BRIDGE_STATUS_STARTED "\"",
                                      lumaro_bridge_exit_code(s));
        }
        if (GetTickCount() - began >= timeout_ms) {
            return lumaro_bridge_fail(s, LUMARO_BRIDGE_TIMEOUT,
                                      "no \"" LUMARO_BRIDGE_STATUS_STARTED
                                      "\" within %lu ms of start", timeout_ms);
        }
        Sleep(LUMARO_BRIDGE_POLL_MS);
    }
}

lumaro_bridge_result lumaro_bridge_poll(lumaro_bridge_session* s, unsigned long wait_ms)
{
    DWORD began = GetTickCount();
    DWORD elapsed = 0;
    DWORD step;
    if (s->result != LUMARO_BRIDGE_OK) {
        return s->result;
    }
    for (;;) {
        lumaro_bridge_read(s);
        if (lumaro_bridge_ended(s)) {
            lumaro_bridge_read(s);
            if (s->seen & LUMARO_BRIDGE_SEEN_EXIT) {
                return LUMARO_BRIDGE_OK;
            }
            return lumaro_bridge_fail(s, LUMARO_BRIDGE_ENDED,
                                      "the bridge ended (exit code %lu) without an exit line; "
                                      "a recording it was making is incomplete",
                                      lumaro_bridge_exit_code(s));
        }
        if (elapsed >= wait_ms) {
            return LUMARO_BRIDGE_OK;
        }
        /* Wakes at once when the bridge ends. */
        step = wait_ms - elapsed < 50 ? wait_ms - elapsed : 50;
        WaitForSingleObject((HANDLE)s->process, step);
        elapsed = GetTickCount() - began;
    }
}

lumaro_bridge_result lumaro_bridge_stop(lumaro_bridge_session* s, unsigned long timeout_ms)
{
    if (s->result != LUMARO_BRIDGE_OK) {
        return s->result;
    }
    if (lumaro_bridge_post(s, LUMARO_BRIDGE_WM_STOP, "stop") != LUMARO_BRIDGE_OK) {
        return s->result;
    }
    if (!lumaro_bridge_wait_end(s, timeout_ms)) {
        return lumaro_bridge_fail(s, LUMARO_BRIDGE_TIMEOUT,
                                  "the bridge did not end within %lu ms of stop", timeout_ms);
    }
    if (s->seen & LUMARO_BRIDGE_SEEN_EXIT_FAILED) {
        /* Windows fails to end a process that has ended already; Wine reports success. */
        return lumaro_bridge_fail(s, LUMARO_BRIDGE_EXIT_FAILED,
                                  "the bridge reported \"" LUMARO_BRIDGE_STATUS_EXIT_FAILED
                                  "\": the recording tool had ended before stop, so its "
                                  "recording may be incomplete, or it could not be ended");
    }
    if (!(s->seen & LUMARO_BRIDGE_SEEN_EXIT_SUCCESS)) {
        return lumaro_bridge_fail(s, LUMARO_BRIDGE_ENDED,
                                  "the bridge ended (exit code %lu) after stop without an "
                                  "exit line", lumaro_bridge_exit_code(s));
    }
    return LUMARO_BRIDGE_OK;
}

lumaro_bridge_result lumaro_bridge_close(lumaro_bridge_session* s, unsigned long timeout_ms)
{
    char described[LUMARO_BRIDGE_DESCRIBED_SIZE];
    if (!lumaro_bridge_ended(s)) {
        if (s->window != NULL && lumaro_bridge_answers(s) &&
            PostMessageA((HWND)s->window, LUMARO_BRIDGE_WM_STOP, 0, 0) &&
            lumaro_bridge_wait_end(s, timeout_ms)) {
            lumaro_bridge_append(s, "; the bridge was stopped");
        } else if (TerminateProcess((HANDLE)s->process, 1)) {
            WaitForSingleObject((HANDLE)s->process, LUMARO_BRIDGE_KILL_WAIT_MS);
            lumaro_bridge_append(s, "; the bridge was ended");
        } else {
            lumaro_bridge_fail(s, LUMARO_BRIDGE_SYSTEM_ERROR, "the bridge could not be ended: %s",
                               lumaro_bridge_describe("TerminateProcess", GetLastError(),
                                                      described));
        }
    }
    if (s->process != NULL) {
        CloseHandle((HANDLE)s->process);
        s->process = NULL;
    }
    if (s->output != NULL) {
        CloseHandle((HANDLE)s->output);
        s->output = NULL;
    }
    s->window = NULL;
    return s->result;
}

#ifdef __cplusplus
}
#endif
#endif /* LUMARO_BRIDGE_IMPLEMENTATION */
