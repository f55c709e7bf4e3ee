/* lumaro_bridge.h 1.2.0: record a window through the LUMARO screen-recording bridge
   (LUMARO_ScreenRecBridge.exe). The bridge's protocol, defined once, and a small Win32
   client for it in one file.

   In one C or C++ file of your program:
       #define LUMARO_BRIDGE_IMPLEMENTATION
       #include "lumaro_bridge.h"
   and include it plainly everywhere else. With LUMARO_BRIDGE_STATIC defined as well,
   the implementation is private to the file (every function static), so that several
   files of one program, or libraries linked together, may each hold their own; each
   file that calls the client then defines both. C99 or C++, MinGW-w64 or MSVC 2015 and
   later, 32 or 64 bits, Windows Vista and later. It allocates nothing and starts no
   thread: the session is yours.

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
       if (lumaro_bridge_close(&s, LUMARO_BRIDGE_STOP_TIMEOUT_MS) != LUMARO_BRIDGE_OK)
           fprintf(stderr, "no recording: %s\n", s.error);
       else if (lumaro_bridge_recording(&s) != NULL)
           printf("recorded %s\n", lumaro_bridge_recording(&s));

   The file has three parts: the protocol (names, messages, status lines, the command
   line and its rules, the folders, the time bounds, the bridge's line splitter and the
   stand-in tool's log), which needs no <windows.h> and builds on any system; the
   client's API (Windows only); and the client's implementation.

   The client starts the bridge, finds its window, waits until it is ready, starts and
   stops the recording, reads the status lines and, after the stop, the stand-in tool's
   log, which says whether this run's tool recorded and into which file. Every call
   bounds its waits by the caller's timeout, watches an optional cancel event, and with
   a timeout of 0 returns LUMARO_BRIDGE_PENDING instead of waiting, so that a window's
   thread can drive a session from a timer (sdk/examples/gui_host.c). Closing the
   session ends the bridge and the tool it launched in every state. What it does not
   do: put the bridge into a job or guard it against the host's own death (bridge-host
   does both).

   A tool other than the package's stand-in keeps no such log: the client then reports
   what the bridge says (OK after "Exit Process Success") and names no file. docs/
   protocol.md describes the protocol for hosts in any language, and what stays stable
   within a major version: every name below outside the implementation part and outside
   the lumaro_internal_ prefix, which is the implementation's own.

   MIT License

   Copyright (c) 2026 the LUMARO screen-recording bridge authors

   Permission is hereby granted, free of charge, to any person obtaining a copy
   of this software and associated documentation files (the "Software"), to deal
   in the Software without restriction, including without limitation the rights
   to use, copy, modify, merge, publish, distribute, sublicense, and/or sell
   copies of the Software, and to permit persons to whom the Software is
   furnished to do so, subject to the following conditions:

   The above copyright notice and this permission notice shall be included in all
   copies or substantial portions of the Software.

   THE SOFTWARE IS PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR
   IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY,
   FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE
   AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER
   LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM,
   OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS IN THE
   SOFTWARE. */
#ifndef LUMARO_BRIDGE_H
#define LUMARO_BRIDGE_H

#include <stddef.h>
#include <string.h>

/* The package's version, MAJOR.MINOR.PATCH; the build takes it from here. */
#define LUMARO_BRIDGE_VERSION "1.2.0"

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

/* The recording tool the bridge launches from the tool folder, and the title of its
   main window. */
#define LUMARO_TOOL_EXE "LUMARO_VideoTool.exe"
#define LUMARO_TOOL_TITLE "LUMARO_VideoTool"

/* The bridge's lines cut out of the bytes its pipe delivers, in whatever chunks they
   come. A line is the bytes before a line feed, without the carriage returns just
   before it, cut to LUMARO_BRIDGE_LINE_SIZE - 1 bytes; it may hold zero bytes, so its
   length counts. */
#define LUMARO_BRIDGE_LINE_SIZE 256

typedef struct lumaro_bridge_lines {
    int complete;       /* text holds a whole line */
    size_t length;      /* of text */
    size_t returns;     /* carriage returns held back until a byte other than a line feed */
    char text[LUMARO_BRIDGE_LINE_SIZE];
} lumaro_bridge_lines;

/* Takes bytes up to and including the first line feed and returns how many it took;
   lines->complete then says whether a line ended there. A line's text stays until the
   next call. Start with a zeroed lumaro_bridge_lines. */
LUMARO_BRIDGE_INLINE size_t lumaro_bridge_split_line(lumaro_bridge_lines* lines,
                                                     const char* bytes, size_t count)
{
    size_t taken = 0;
    if (lines->complete) {
        lines->complete = 0;
        lines->length = 0;
    }
    while (taken < count) {
        char c = bytes[taken++];
        if (c == '\n') {
            lines->returns = 0;
            lines->complete = 1;
            break;
        }
        if (c == '\r') {
            ++lines->returns;
            continue;
        }
        for (; lines->returns > 0; --lines->returns) {
            if (lines->length < LUMARO_BRIDGE_LINE_SIZE - 1) {
                lines->text[lines->length++] = '\r';
            }
        }
        if (lines->length < LUMARO_BRIDGE_LINE_SIZE - 1) {
            lines->text[lines->length++] = c;
        }
    }
    lines->text[lines->length] = '\0';
    return taken;
}

/* The stand-in tool's log, which the package's tool keeps beside its recordings
   (LUMARO_TOOL_LOG_FROM_TOOL_FOLDER) and the client reads after a stop. One line per
   event, ending in CR LF, each tagged with the writing process's id, since instances
   that run at once (an old one finishing its file) write into the same log:

       line    = date " " time " pid " process-id ": " event CR LF
       event   = "Recording " W "x" H " at " L "," T " into " path
               | "Saved " path ": " figures
               | "Stopped at the file size limit; saved " path ": " figures
               | "Recording failed; kept " path ": " figures ": " reason
               | "Not recording: " reason
               | "The clock stood still for " seconds " s" text
               | any other text, which a reader skips

   The path is relative to the tool's working folder. "Recording" comes before the file
   is written; should the encoder then not start, "Not recording" follows and the file
   is removed. The three ends each leave a complete file. A clock that stood still while
   the tool recorded (a sleep, a suspended machine) is time the file leaves out, so that
   recording is shorter than the time it ran. */
#define LUMARO_TOOL_LOG_NAME "recorder.log"
#define LUMARO_TOOL_LOG_FROM_TOOL_FOLDER \
    LUMARO_BRIDGE_RECORDINGS_FROM_TOOL_FOLDER LUMARO_TOOL_LOG_NAME
#define LUMARO_TOOL_LOG_LINE_FORMAT "%04u-%02u-%02u %02u:%02u:%02u pid %lu: %s\r\n"
#define LUMARO_TOOL_LOG_PID_TAG " pid "
#define LUMARO_TOOL_LOG_PID_END ": "
#define LUMARO_TOOL_LOG_RECORDING "Recording "
#define LUMARO_TOOL_LOG_INTO " into "
#define LUMARO_TOOL_LOG_SAVED "Saved "
#define LUMARO_TOOL_LOG_SAVED_AT_LIMIT "Stopped at the file size limit; saved "
#define LUMARO_TOOL_LOG_FAILED "Recording failed; kept "
#define LUMARO_TOOL_LOG_NOT_RECORDING "Not recording: "
#define LUMARO_TOOL_LOG_CLOCK_GAP "The clock stood still for "

/* What the log says of one tool instance's recording. */
typedef enum lumaro_tool_end {
    LUMARO_TOOL_SILENT = 0,    /* no recording and no refusal of the instance */
    LUMARO_TOOL_REFUSED = 1,   /* the play click recorded nothing; text says why */
    LUMARO_TOOL_RECORDING = 2, /* began, and never said how it ended */
    LUMARO_TOOL_SAVED = 3,
    LUMARO_TOOL_SAVED_AT_LIMIT = 4,
    LUMARO_TOOL_FAILED = 5     /* ended by a failure, the file kept; text says which */
} lumaro_tool_end;

#define LUMARO_TOOL_PATH_SIZE 260

typedef struct lumaro_tool_outcome {
    lumaro_tool_end end;
    char path[LUMARO_TOOL_PATH_SIZE];  /* as logged; longer paths are cut */
    char text[LUMARO_BRIDGE_LINE_SIZE]; /* the event that tells the end (or the start) */
    char gap[LUMARO_BRIDGE_LINE_SIZE];  /* the recording's last clock gap; empty: none */
} lumaro_tool_outcome;

LUMARO_BRIDGE_INLINE int lumaro_internal_starts_with(const char* text, const char* prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

LUMARO_BRIDGE_INLINE void lumaro_internal_copy(char* to, size_t size, const char* from)
{
    size_t length = strlen(from);
    if (length >= size) {
        length = size - 1;
    }
    memcpy(to, from, length);
    to[length] = '\0';
}

/* The event of a log line (without its line end) when the process id tags it, else
   null: the first " pid N: " of that id, the number without leading zeros. */
LUMARO_BRIDGE_INLINE const char* lumaro_internal_event_of(const char* line,
                                                         unsigned long process_id)
{
    const char* at = line;
    while ((at = strstr(at, LUMARO_TOOL_LOG_PID_TAG)) != NULL) {
        const char* digit = at + sizeof LUMARO_TOOL_LOG_PID_TAG - 1;
        unsigned long id = 0;
        int overflow = 0;
        const char* end = digit;
        for (; *end >= '0' && *end <= '9'; ++end) {
            overflow |= id > (~0ul - 9) / 10;
            id = id * 10 + (unsigned long)(*end - '0');
        }
        at = digit;
        if (end > digit && (*digit != '0' || end == digit + 1) && !overflow &&
            id == process_id && lumaro_internal_starts_with(end, LUMARO_TOOL_LOG_PID_END)) {
            return end + sizeof LUMARO_TOOL_LOG_PID_END - 1;
        }
    }
    return NULL;
}

/* Reads one line of the log (without its line end) into the outcome so far of the
   instance with that process id; start with a zeroed outcome. */
LUMARO_BRIDGE_INLINE void lumaro_tool_read_log_line(lumaro_tool_outcome* outcome,
                                                    const char* line,
                                                    unsigned long process_id)
{
    static const struct {
        const char* prefix;
        lumaro_tool_end end;
    } ends[] = {{LUMARO_TOOL_LOG_SAVED, LUMARO_TOOL_SAVED},
                {LUMARO_TOOL_LOG_SAVED_AT_LIMIT, LUMARO_TOOL_SAVED_AT_LIMIT},
                {LUMARO_TOOL_LOG_FAILED, LUMARO_TOOL_FAILED}};
    const char* event = lumaro_internal_event_of(line, process_id);
    const char* into = NULL;
    const char* at;
    size_t i;
    size_t path_length = strlen(outcome->path);
    if (event == NULL) {
        return;
    }
    for (at = event; (at = strstr(at, LUMARO_TOOL_LOG_INTO)) != NULL; ++at) {
        into = at;
    }
    if (lumaro_internal_starts_with(event, LUMARO_TOOL_LOG_RECORDING) && into != NULL) {
        outcome->end = LUMARO_TOOL_RECORDING;
        lumaro_internal_copy(outcome->path, sizeof outcome->path,
                             into + sizeof LUMARO_TOOL_LOG_INTO - 1);
        lumaro_internal_copy(outcome->text, sizeof outcome->text, event);
        outcome->gap[0] = '\0';
        return;
    }
    /* Also after the file was named: the tool names it before its encoder starts, and
       removes it when the encoder does not. */
    if (lumaro_internal_starts_with(event, LUMARO_TOOL_LOG_NOT_RECORDING)) {
        outcome->end = LUMARO_TOOL_REFUSED;
        outcome->path[0] = '\0';
        lumaro_internal_copy(outcome->text, sizeof outcome->text, event);
        return;
    }
    if (path_length > 0 && lumaro_internal_starts_with(event, LUMARO_TOOL_LOG_CLOCK_GAP)) {
        lumaro_internal_copy(outcome->gap, sizeof outcome->gap, event);
        return;
    }
    for (i = 0; path_length > 0 && i < sizeof ends / sizeof ends[0]; ++i) {
        if (!lumaro_internal_starts_with(event, ends[i].prefix)) {
            continue;
        }
        at = event + strlen(ends[i].prefix);
        if (strncmp(at, outcome->path, path_length) == 0 && at[path_length] == ':') {
            outcome->end = ends[i].end;
            lumaro_internal_copy(outcome->text, sizeof outcome->text, event);
        }
    }
}

/* ---- The client (Windows) ------------------------------------------------------- */
#ifdef _WIN32

#ifdef LUMARO_BRIDGE_STATIC
#if defined(__GNUC__)
/* A file need not call every function it holds. */
#define LUMARO_BRIDGE_API static __attribute__((unused))
#else
#define LUMARO_BRIDGE_API static
#endif
#else
#define LUMARO_BRIDGE_API extern
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* What each call returns. Every failure stays the session's result, with its sentence,
   until the session is opened again; LUMARO_BRIDGE_PENDING and a cancelled poll are
   no failures. */
typedef enum lumaro_bridge_result {
    LUMARO_BRIDGE_OK = 0,
    LUMARO_BRIDGE_BAD_ARGUMENT = 1,  /* a title or folder the command line cannot carry,
                                        or a call out of order */
    LUMARO_BRIDGE_SYSTEM_ERROR = 2,  /* a Windows call failed: the bridge could not be
                                        started (a wrong path), or not ended */
    LUMARO_BRIDGE_TIMEOUT = 3,       /* no answer or line within the bound */
    LUMARO_BRIDGE_ENDED = 4,         /* the bridge ended early, or without its line */
    LUMARO_BRIDGE_TOOL_LAUNCH_FAILED = 5, /* the shell's error box (closed): no tool in
                                             the folder, or it would not start */
    LUMARO_BRIDGE_RECORDER_NOT_FOUND = 6, /* "Recorder Not Found": the bridge has ended */
    LUMARO_BRIDGE_TARGET_NOT_FOUND = 7,   /* "Target Window Not Found": nothing recorded;
                                             the client has stopped the bridge */
    LUMARO_BRIDGE_EXIT_FAILED = 8,   /* "Exit Process Failed" after stop: the tool had
                                        already ended (the recording may be incomplete)
                                        or could not be ended */
    /* Since 1.2.0: */
    LUMARO_BRIDGE_NOT_RECORDED = 9,  /* the tool's log says it recorded nothing (its words
                                        are in the sentence), or left its file
                                        incomplete */
    LUMARO_BRIDGE_RECORDING_SHORT = 10, /* a complete file shorter than the run: the tool
                                           ended it before the stop (the file size limit,
                                           a full disk) or its clock stood still */
    LUMARO_BRIDGE_CANCELLED = 11,    /* the cancel event was set */
    LUMARO_BRIDGE_PENDING = 12       /* a call with a timeout of 0 has not finished: call
                                        it again, with the same arguments */
} lumaro_bridge_result;

#define LUMARO_BRIDGE_ERROR_SIZE 512
#define LUMARO_BRIDGE_COMMAND_LINE_SIZE 2048
#define LUMARO_BRIDGE_PATH_SIZE 520 /* the tool folder, the recording's path */

/* Called with each line of the bridge's output as it arrives, without its line end. */
typedef void (*lumaro_bridge_line_fn)(const char* line, void* context);

typedef struct lumaro_bridge_session {
    /* The first failure, and one sentence saying what went wrong, to log as it is;
       LUMARO_BRIDGE_OK and "" while there is none. */
    lumaro_bridge_result result;
    char error[LUMARO_BRIDGE_ERROR_SIZE];
    unsigned long process_id; /* the bridge's, once started */
    void* window;             /* the bridge window (an HWND), once found */
    /* Set between init and open, as you need them: */
    int show_command;         /* how the bridge shows its window, an SW_ value; 0 (SW_HIDE)
                                 by default */
    void* cancel_event;       /* a HANDLE that every wait watches, null for none: set, it
                                 ends open with LUMARO_BRIDGE_CANCELLED, keeps start from
                                 being sent (or, once sent, stops the recording as soon as
                                 it has begun) and ends a poll early */
    int bridge_path_is_utf8;  /* the bridge's path is UTF-8 rather than ANSI text; the
                                 title and the tool folder stay ANSI, as the bridge reads
                                 its command line */
    /* Since 1.2.0, once the tool is found: */
    unsigned long tool_process_id;
    lumaro_tool_outcome tool; /* what the tool's log says, read after the stop */
    int tool_logs;            /* the tool keeps the stand-in tool's log */
    /* The client's own. */
    void* process;
    void* output;
    void* tool_process;
    lumaro_bridge_line_fn on_line;
    void* context;
    int state;
    int posted;
    unsigned seen;
    unsigned long began;
    unsigned long long log_size;
    lumaro_bridge_lines lines;
    char tool_folder[LUMARO_BRIDGE_PATH_SIZE];
    char recording[LUMARO_BRIDGE_PATH_SIZE];
} lumaro_bridge_session;

/* Readies a session; on_line (null for none) gets every line the bridge writes. */
LUMARO_BRIDGE_API void lumaro_bridge_init(lumaro_bridge_session* session,
                                          lumaro_bridge_line_fn on_line, void* context);

/* Starts the bridge ("BRIDGE_PATH" TITLE#TOOL_FOLDER, its standard output on a pipe,
   which is all it inherits), finds its window by name and process id within
   LUMARO_BRIDGE_WINDOW_TIMEOUT_MS, and waits until it is ready for commands, within
   timeout_ms in all (LUMARO_BRIDGE_READY_TIMEOUT_MS outlasts the bridge's own search
   for the tool). Give absolute paths: the bridge resolves the tool folder against its
   current folder, which is yours. The early lines come back as their own codes,
   without a start: on "Target Window Not Found" the client stops the bridge itself,
   which takes at most LUMARO_BRIDGE_STOP_TIMEOUT_MS more. A session is opened anew
   once closed, whatever its result; open on a session that is open (and not pending)
   is refused with LUMARO_BRIDGE_BAD_ARGUMENT, the session's own failure kept. */
LUMARO_BRIDGE_API lumaro_bridge_result lumaro_bridge_open(lumaro_bridge_session* session,
                                                           const char* bridge_path,
                                                           const char* title,
                                                           const char* tool_folder,
                                                           unsigned long timeout_ms);

/* Posts start and waits for "startcapture" (LUMARO_BRIDGE_START_TIMEOUT_MS outlasts the
   tool's own bound for starting a recording). */
LUMARO_BRIDGE_API lumaro_bridge_result lumaro_bridge_start(lumaro_bridge_session* session,
                                                            unsigned long timeout_ms);

/* Reads the bridge's lines for wait_ms (0: what has arrived) and returns OK, or sooner:
   LUMARO_BRIDGE_ENDED once the bridge has ended without an exit line, or
   LUMARO_BRIDGE_CANCELLED (no failure: stop the session) once the cancel event is set. */
LUMARO_BRIDGE_API lumaro_bridge_result lumaro_bridge_poll(lumaro_bridge_session* session,
                                                           unsigned long wait_ms);

/* Posts stop, waits for the exit line, the bridge's end and the tool's, then reads the
   tool's log: OK means "Exit Process Success" and, where the tool keeps the log, a
   recording saved as asked (lumaro_bridge_recording names it). A second stop returns
   the first one's result. */
LUMARO_BRIDGE_API lumaro_bridge_result lumaro_bridge_stop(lumaro_bridge_session* session,
                                                           unsigned long timeout_ms);

/* Ends the session, whatever state it is in, and returns its result. A bridge that is
   ready and not yet stopped is stopped as lumaro_bridge_stop does (its failures
   reported alike) within timeout_ms, else ended; then the tool that this run's bridge
   launched, if it still runs, is asked to close (it finishes its recording) and ended
   when it does not within timeout_ms; then the handles are closed. Blocks while it
   waits, even with a timeout of 0. */
LUMARO_BRIDGE_API lumaro_bridge_result lumaro_bridge_close(lumaro_bridge_session* session,
                                                            unsigned long timeout_ms);

/* The full path of the recording the tool's log names for this run (saved, stopped at
   a limit, failed or unfinished: the result says which), or null when it names none. */
LUMARO_BRIDGE_API const char* lumaro_bridge_recording(const lumaro_bridge_session* session);

/* Since 1.2.0: posts stop to the window of the bridge with that process id, for a
   program that watches a bridge it did not start (a guard that outlives its host, say):
   LUMARO_BRIDGE_OK once posted, LUMARO_BRIDGE_PENDING while that bridge has no window
   yet (call again; a stop posted before the bridge is ready waits in its queue), and
   LUMARO_BRIDGE_SYSTEM_ERROR when the post fails. Stop alone: it reads no lines and
   waits for nothing. */
LUMARO_BRIDGE_API lumaro_bridge_result lumaro_bridge_post_stop(unsigned long bridge_process_id);

#ifdef __cplusplus
}
#endif
#endif /* _WIN32 */
#endif /* LUMARO_BRIDGE_H */

/* ---- The client's implementation -------------------------------------------------- */
#if defined(LUMARO_BRIDGE_IMPLEMENTATION) && defined(_WIN32) && \
    !defined(LUMARO_INTERNAL_IMPLEMENTED)
#define LUMARO_INTERNAL_IMPLEMENTED

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <windows.h>
#if _WIN32_WINNT < 0x0600
#error "lumaro_bridge.h needs _WIN32_WINNT 0x0600 (Windows Vista) or later"
#endif
#include <tlhelp32.h>

#include <stdarg.h>
#include <stdio.h>

#ifdef _MSC_VER
#pragma comment(lib, "user32.lib") /* so that MSVC users need no link option */
#endif

#define LUMARO_INTERNAL_POLL_MS 5
#define LUMARO_INTERNAL_POLL_STEP_MS 50
#define LUMARO_INTERNAL_ANSWER_MS 20
#define LUMARO_INTERNAL_KILL_WAIT_MS 5000
#define LUMARO_INTERNAL_READ_SIZE 512
#define LUMARO_INTERNAL_DESCRIBED_SIZE 320
#define LUMARO_INTERNAL_ATTRIBUTE_LIST_SIZE 256

#define LUMARO_INTERNAL_SEEN_STARTED 1u
#define LUMARO_INTERNAL_SEEN_EXIT_SUCCESS 2u
#define LUMARO_INTERNAL_SEEN_EXIT_FAILED 4u
#define LUMARO_INTERNAL_SEEN_RECORDER_NOT_FOUND 8u
#define LUMARO_INTERNAL_SEEN_TARGET_NOT_FOUND 16u
#define LUMARO_INTERNAL_SEEN_EXIT \
    (LUMARO_INTERNAL_SEEN_EXIT_SUCCESS | LUMARO_INTERNAL_SEEN_EXIT_FAILED)

/* Where a session stands; a call that does not fit is refused. */
#define LUMARO_INTERNAL_CLOSED 0    /* initialised, or closed: open starts anew */
#define LUMARO_INTERNAL_OPENING 1   /* the bridge started, not yet ready */
#define LUMARO_INTERNAL_READY 2
#define LUMARO_INTERNAL_STARTING 3  /* start goes out, or went out */
#define LUMARO_INTERNAL_RECORDING 4 /* "startcapture" arrived */
#define LUMARO_INTERNAL_STOPPING 5  /* stop goes out, or went out */
#define LUMARO_INTERNAL_STOPPED 6   /* the bridge and the tool ended, the log read */

#ifdef __cplusplus
extern "C" {
#endif

static lumaro_bridge_result lumaro_internal_fail(lumaro_bridge_session* s,
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

static void lumaro_internal_append(lumaro_bridge_session* s, const char* text)
{
    size_t length = strlen(s->error);
    if (s->result != LUMARO_BRIDGE_OK && length + strlen(text) < sizeof s->error) {
        memcpy(s->error + length, text, strlen(text) + 1);
    }
}

/* "CALL failed with error N (the system's text)", as the package's programs say it. */
static const char* lumaro_internal_describe(const char* call, DWORD code,
                                            char text[LUMARO_INTERNAL_DESCRIBED_SIZE])
{
    char system_text[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  NULL, code, 0, system_text, sizeof system_text, NULL);
    while (length > 0 && (system_text[length - 1] == '\n' || system_text[length - 1] == '\r' ||
                          system_text[length - 1] == ' ')) {
        system_text[--length] = '\0';
    }
    snprintf(text, LUMARO_INTERNAL_DESCRIBED_SIZE, length > 0 ? "%s failed with error %lu (%s)"
                                                              : "%s failed with error %lu%s",
             call, (unsigned long)code, system_text);
    return text;
}

LUMARO_BRIDGE_API void lumaro_bridge_init(lumaro_bridge_session* s,
                                          lumaro_bridge_line_fn on_line, void* context)
{
    memset(s, 0, sizeof *s);
    s->show_command = SW_HIDE;
    s->on_line = on_line;
    s->context = context;
}

static void lumaro_internal_take_line(lumaro_bridge_session* s, const char* line)
{
    static const struct {
        const char* text;
        unsigned bit;
    } statuses[] = {
        {LUMARO_BRIDGE_STATUS_STARTED, LUMARO_INTERNAL_SEEN_STARTED},
        {LUMARO_BRIDGE_STATUS_EXIT_SUCCESS, LUMARO_INTERNAL_SEEN_EXIT_SUCCESS},
        {LUMARO_BRIDGE_STATUS_EXIT_FAILED, LUMARO_INTERNAL_SEEN_EXIT_FAILED},
        {LUMARO_BRIDGE_STATUS_RECORDER_NOT_FOUND, LUMARO_INTERNAL_SEEN_RECORDER_NOT_FOUND},
        {LUMARO_BRIDGE_STATUS_TARGET_NOT_FOUND, LUMARO_INTERNAL_SEEN_TARGET_NOT_FOUND},
    };
    size_t i;
    for (i = 0; i < sizeof statuses / sizeof statuses[0]; ++i) {
        if (strcmp(line, statuses[i].text) == 0) {
            s->seen |= statuses[i].bit;
        }
    }
    if (s->on_line != NULL) {
        s->on_line(line, s->context);
    }
}

/* Reads whatever the pipe holds, without blocking. */
static void lumaro_internal_read(lumaro_bridge_session* s)
{
    char bytes[LUMARO_INTERNAL_READ_SIZE];
    DWORD available = 0;
    DWORD count = 0;
    size_t at;
    while (s->output != NULL &&
           PeekNamedPipe((HANDLE)s->output, NULL, 0, NULL, &available, NULL) && available > 0 &&
           ReadFile((HANDLE)s->output, bytes,
                    available < sizeof bytes ? available : (DWORD)sizeof bytes, &count, NULL) &&
           count > 0) {
        for (at = 0; at < count;) {
            at += lumaro_bridge_split_line(&s->lines, bytes + at, count - at);
            if (s->lines.complete) {
                lumaro_internal_take_line(s, s->lines.text);
            }
        }
    }
}

static int lumaro_internal_ended(lumaro_bridge_session* s)
{
    return s->process == NULL || WaitForSingleObject((HANDLE)s->process, 0) == WAIT_OBJECT_0;
}

static int lumaro_internal_cancelled(lumaro_bridge_session* s)
{
    return s->cancel_event != NULL &&
           WaitForSingleObject((HANDLE)s->cancel_event, 0) == WAIT_OBJECT_0;
}

/* The pause between two passes of a wait; a cancel ends it at once while the bridge
   opens, the one wait it cuts short (later, a set event would not pause at all). */
static void lumaro_internal_pause(lumaro_bridge_session* s)
{
    if (s->cancel_event != NULL && s->state == LUMARO_INTERNAL_OPENING) {
        WaitForSingleObject((HANDLE)s->cancel_event, LUMARO_INTERNAL_POLL_MS);
    } else {
        Sleep(LUMARO_INTERNAL_POLL_MS);
    }
}

static unsigned long lumaro_internal_exit_code(lumaro_bridge_session* s)
{
    DWORD code = 0;
    GetExitCodeProcess((HANDLE)s->process, &code);
    return (unsigned long)code;
}

/* Reads the bridge's lines until it ends; false when it still runs after timeout_ms. */
static int lumaro_internal_wait_end(lumaro_bridge_session* s, unsigned long timeout_ms)
{
    DWORD began = GetTickCount();
    while (s->process != NULL &&
           WaitForSingleObject((HANDLE)s->process, LUMARO_INTERNAL_POLL_MS) == WAIT_TIMEOUT) {
        lumaro_internal_read(s);
        if (GetTickCount() - began >= timeout_ms) {
            return 0;
        }
    }
    lumaro_internal_read(s);
    return 1;
}

/* Narrow text as wide, from that code page; false when it does not fit or is not text
   of that code page. */
static int lumaro_internal_widen(UINT code_page, const char* text, WCHAR* wide, int size)
{
    return MultiByteToWideChar(code_page, code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0,
                               text, -1, wide, size) > 0;
}

/* Starts the bridge with its standard output on a pipe and standard input on NUL, the
   only handles it inherits (an inherited handle of the host would stay open in it for
   its whole life), in a process group of its own, so that the host's Ctrl+C does not
   end it. The path is quoted and may be UTF-8; the rest of the line is the bridge's
   narrow text, as it reads it. */
static lumaro_bridge_result lumaro_internal_launch(lumaro_bridge_session* s, const char* path,
                                                   const char* title,
                                                   const char* tool_folder)
{
    char line[LUMARO_BRIDGE_COMMAND_LINE_SIZE];
    WCHAR wide[LUMARO_BRIDGE_COMMAND_LINE_SIZE];
    char described[LUMARO_INTERNAL_DESCRIBED_SIZE];
    union {
        void* pointer;
        double number;
        char bytes[LUMARO_INTERNAL_ATTRIBUTE_LIST_SIZE];
    } list;
    SECURITY_ATTRIBUTES inherit;
    STARTUPINFOEXW startup;
    PROCESS_INFORMATION info;
    HANDLE read_end = NULL;
    HANDLE write_end = NULL;
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE inherited[2];
    SIZE_T list_size = 0;
    const char* failed = NULL;
    DWORD code = 0;
    int path_length;
    /* Built around an empty path, whose two quotes lead it. */
    size_t length = lumaro_bridge_build_command_line(path, title, tool_folder, NULL, 0);
    if (length >= sizeof line) {
        return lumaro_internal_fail(s, LUMARO_BRIDGE_BAD_ARGUMENT,
                                    "the bridge's command line would be %lu characters, more "
                                    "than the %d this client holds",
                                    (unsigned long)length, LUMARO_BRIDGE_COMMAND_LINE_SIZE - 1);
    }
    lumaro_bridge_build_command_line("", title, tool_folder, line, sizeof line);
    wide[0] = L'"';
    if (!lumaro_internal_widen(s->bridge_path_is_utf8 ? CP_UTF8 : CP_ACP, path, wide + 1,
                               LUMARO_BRIDGE_COMMAND_LINE_SIZE - 1)) {
        return lumaro_internal_fail(s, LUMARO_BRIDGE_BAD_ARGUMENT,
                                    "the bridge's path \"%s\" is not %s text", path,
                                    s->bridge_path_is_utf8 ? "UTF-8" : "ANSI");
    }
    path_length = lstrlenW(wide);
    wide[path_length] = L'"';
    if (!lumaro_internal_widen(CP_ACP, line + 2, wide + path_length + 1,
                               LUMARO_BRIDGE_COMMAND_LINE_SIZE - path_length - 1)) {
        return lumaro_internal_fail(s, LUMARO_BRIDGE_BAD_ARGUMENT,
                                    "the bridge's command line is too long");
    }
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
        } else if (!CreateProcessW(NULL, wide, NULL, NULL, TRUE,
                                   EXTENDED_STARTUPINFO_PRESENT | CREATE_NEW_PROCESS_GROUP, NULL,
                                   NULL, &startup.StartupInfo, &info)) {
            failed = "CreateProcessW";
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
        return lumaro_internal_fail(s, LUMARO_BRIDGE_SYSTEM_ERROR,
                                    "could not start the bridge \"%s\": %s", path,
                                    lumaro_internal_describe(failed, code, described));
    }
    CloseHandle(info.hThread);
    s->process = info.hProcess;
    s->process_id = info.dwProcessId;
    s->output = read_end;
    return LUMARO_BRIDGE_OK;
}

static HWND lumaro_internal_find_window(DWORD process_id, const char* class_name,
                                        const char* title)
{
    HWND window = NULL;
    DWORD owner = 0;
    while ((window = FindWindowExA(NULL, window, class_name, title)) != NULL) {
        GetWindowThreadProcessId(window, &owner);
        if (owner == process_id) {
            return window;
        }
    }
    return NULL;
}

typedef struct lumaro_internal_box_search {
    DWORD process_id;
    HWND box;
    char* text;
    size_t length;
} lumaro_internal_box_search;

/* A box that was closed stays listed, hidden, for a while: only a visible one counts. */
static BOOL CALLBACK lumaro_internal_find_box(HWND window, LPARAM context)
{
    lumaro_internal_box_search* search = (lumaro_internal_box_search*)context;
    char class_name[16] = "";
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process_id &&
        GetClassNameA(window, class_name, sizeof class_name) > 0 &&
        strcmp(class_name, LUMARO_BRIDGE_ERROR_BOX_CLASS) == 0 && IsWindowVisible(window)) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

/* Adds the text of the box's static controls, its message, after ": ". */
static BOOL CALLBACK lumaro_internal_collect_box_text(HWND child, LPARAM context)
{
    lumaro_internal_box_search* search = (lumaro_internal_box_search*)context;
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
static int lumaro_internal_handle_box(lumaro_bridge_session* s)
{
    char text[LUMARO_BRIDGE_ERROR_SIZE] = "";
    char described[LUMARO_INTERNAL_DESCRIBED_SIZE];
    size_t i;
    lumaro_internal_box_search search;
    search.process_id = s->process_id;
    search.box = NULL;
    search.text = text;
    EnumWindows(lumaro_internal_find_box, (LPARAM)&search);
    if (search.box == NULL) {
        return 0;
    }
    search.length = (size_t)GetWindowTextA(search.box, text, 128);
    EnumChildWindows(search.box, lumaro_internal_collect_box_text, (LPARAM)&search);
    for (i = 0; text[i] != '\0'; ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            text[i] = ' ';
        }
    }
    while (i > 0 && text[i - 1] == ' ') {
        text[--i] = '\0';
    }
    lumaro_internal_fail(s, LUMARO_BRIDGE_TOOL_LAUNCH_FAILED,
                         "the bridge could not start the recording tool and showed an error "
                         "box (\"%.300s\"); the box was closed", text);
    if (!PostMessageA(search.box, WM_CLOSE, 0, 0)) {
        lumaro_internal_append(s, "; closing it: ");
        lumaro_internal_append(s, lumaro_internal_describe("PostMessageA", GetLastError(),
                                                           described));
    }
    lumaro_internal_wait_end(s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
    return 1;
}

/* The bridge reads no messages while it closes running tools, launches its own and
   looks for its window and controls; it first answers one while it sets the tool's
   fields or once it serves commands (or inside the error box above). */
static int lumaro_internal_answers(lumaro_bridge_session* s)
{
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA((HWND)s->window, WM_NULL, 0, 0, SMTO_NORMAL,
                               LUMARO_INTERNAL_ANSWER_MS, &answer) != 0;
}

static lumaro_bridge_result lumaro_internal_post(lumaro_bridge_session* s, UINT command,
                                                 const char* name)
{
    char described[LUMARO_INTERNAL_DESCRIBED_SIZE];
    DWORD code;
    if (PostMessageA((HWND)s->window, command, 0, 0)) {
        return LUMARO_BRIDGE_OK;
    }
    code = GetLastError();
    if (lumaro_internal_ended(s) || !IsWindow((HWND)s->window)) {
        lumaro_internal_read(s);
        return lumaro_internal_fail(s, LUMARO_BRIDGE_ENDED,
                                    "the bridge ended (exit code %lu) before %s could be sent",
                                    lumaro_internal_exit_code(s), name);
    }
    return lumaro_internal_fail(s, LUMARO_BRIDGE_SYSTEM_ERROR, "sending %s: %s", name,
                                lumaro_internal_describe("PostMessageA", code, described));
}

/* The tool instance this run's bridge launched: its child process of the tool's name.
   The session holds the bridge's process open, so its id stays the bridge's. */
static void lumaro_internal_find_tool(lumaro_bridge_session* s)
{
    PROCESSENTRY32 entry;
    BOOL more;
    HANDLE snapshot;
    if (s->tool_process != NULL || s->process == NULL ||
        (snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)) == INVALID_HANDLE_VALUE) {
        return;
    }
    entry.dwSize = sizeof entry;
    for (more = Process32First(snapshot, &entry); more && s->tool_process == NULL;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == s->process_id &&
            lstrcmpiA(entry.szExeFile, LUMARO_TOOL_EXE) == 0) {
            s->tool_process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION |
                                              PROCESS_TERMINATE,
                                          FALSE, entry.th32ProcessID);
            s->tool_process_id = s->tool_process != NULL ? entry.th32ProcessID : 0;
        }
    }
    CloseHandle(snapshot);
}

static int lumaro_internal_tool_runs(lumaro_bridge_session* s)
{
    return s->tool_process != NULL &&
           WaitForSingleObject((HANDLE)s->tool_process, 0) == WAIT_TIMEOUT;
}

/* Asks the run's tool to close, which finishes its recording, and ends it when it does
   not go within timeout_ms; a window of another process with the tool's title is left
   be. */
static void lumaro_internal_end_tool(lumaro_bridge_session* s, unsigned long timeout_ms)
{
    char described[LUMARO_INTERNAL_DESCRIBED_SIZE];
    HWND window;
    lumaro_internal_find_tool(s);
    if (!lumaro_internal_tool_runs(s)) {
        return;
    }
    window = lumaro_internal_find_window(s->tool_process_id, NULL, LUMARO_TOOL_TITLE);
    if (window != NULL && PostMessageA(window, WM_CLOSE, 0, 0) &&
        WaitForSingleObject((HANDLE)s->tool_process, timeout_ms) == WAIT_OBJECT_0) {
        lumaro_internal_append(s, "; the recording tool was closed");
    } else if (TerminateProcess((HANDLE)s->tool_process, 1)) {
        WaitForSingleObject((HANDLE)s->tool_process, LUMARO_INTERNAL_KILL_WAIT_MS);
        lumaro_internal_append(s, "; the recording tool was ended");
    } else {
        lumaro_internal_fail(s, LUMARO_BRIDGE_SYSTEM_ERROR,
                             "the recording tool could not be ended: %s",
                             lumaro_internal_describe("TerminateProcess", GetLastError(),
                                                      described));
    }
}

/* The log's path into text, or false when the tool folder is too long for it. */
static int lumaro_internal_log_path(lumaro_bridge_session* s, char* text, size_t size)
{
    return (size_t)snprintf(text, size, "%s" LUMARO_TOOL_LOG_FROM_TOOL_FOLDER,
                            s->tool_folder) < size;
}

/* The log's lines written since open, read into the outcome of this run's tool. */
static void lumaro_internal_read_log(lumaro_bridge_session* s)
{
    char path[LUMARO_BRIDGE_PATH_SIZE + sizeof LUMARO_TOOL_LOG_FROM_TOOL_FOLDER];
    char bytes[LUMARO_INTERNAL_READ_SIZE];
    lumaro_bridge_lines lines;
    LARGE_INTEGER size;
    LARGE_INTEGER from;
    DWORD count = 0;
    size_t at;
    HANDLE log;
    memset(&s->tool, 0, sizeof s->tool);
    memset(&lines, 0, sizeof lines);
    s->recording[0] = '\0';
    lumaro_internal_log_path(s, path, sizeof path);
    /* Without the run's tool instance no line of the log is known to be this run's. */
    log = s->tool_process_id == 0
              ? INVALID_HANDLE_VALUE
              : CreateFileA(path, GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                            OPEN_EXISTING, 0, NULL);
    s->tool_logs = log != INVALID_HANDLE_VALUE;
    if (!s->tool_logs) {
        return;
    }
    /* A log that shrank was started anew. */
    from.QuadPart = GetFileSizeEx(log, &size) && (unsigned long long)size.QuadPart >= s->log_size
                        ? (LONGLONG)s->log_size
                        : 0;
    SetFilePointerEx(log, from, NULL, FILE_BEGIN);
    while (ReadFile(log, bytes, sizeof bytes, &count, NULL) && count > 0) {
        for (at = 0; at < count;) {
            at += lumaro_bridge_split_line(&lines, bytes + at, count - at);
            if (lines.complete) {
                lumaro_tool_read_log_line(&s->tool, lines.text, s->tool_process_id);
            }
        }
    }
    CloseHandle(log);
    if (s->tool.path[0] != '\0' &&
        (size_t)snprintf(path, sizeof path, "%s" LUMARO_BRIDGE_TOOL_WORKDIR "\\%s",
                         s->tool_folder, s->tool.path) < sizeof path) {
        GetFullPathNameA(path, sizeof s->recording, s->recording, NULL);
    }
}

/* What the tool's log makes of a stop the bridge served well. */
static lumaro_bridge_result lumaro_internal_judge_log(lumaro_bridge_session* s)
{
    switch (s->tool.end) {
    case LUMARO_TOOL_SAVED:
        if (s->tool.gap[0] == '\0') {
            return LUMARO_BRIDGE_OK;
        }
        return lumaro_internal_fail(s, LUMARO_BRIDGE_RECORDING_SHORT,
                                    "the recording tool reported \"%s\"", s->tool.gap);
    case LUMARO_TOOL_SAVED_AT_LIMIT:
    case LUMARO_TOOL_FAILED:
        return lumaro_internal_fail(s, LUMARO_BRIDGE_RECORDING_SHORT,
                                    "the recording tool reported \"%s\"", s->tool.text);
    case LUMARO_TOOL_REFUSED:
        return lumaro_internal_fail(s, LUMARO_BRIDGE_NOT_RECORDED,
                                    "the recording tool did not record: %s", s->tool.text);
    case LUMARO_TOOL_RECORDING:
        return lumaro_internal_fail(s, LUMARO_BRIDGE_NOT_RECORDED,
                                    "the recording tool ended without finishing %s; the file "
                                    "is incomplete", s->recording);
    case LUMARO_TOOL_SILENT:
        break;
    }
    return lumaro_internal_fail(s, LUMARO_BRIDGE_NOT_RECORDED,
                                "the recording tool logged no recording of this run in "
                                "%s" LUMARO_TOOL_LOG_FROM_TOOL_FOLDER, s->tool_folder);
}

/* One pass of each call's wait: OK or a failure once done, else PENDING. */
typedef lumaro_bridge_result (*lumaro_internal_pass)(lumaro_bridge_session* s);

/* The bridge has found no window of that title and would record the tool's default
   area: stop it before anything is recorded, so that it also ends the tool. */
static lumaro_bridge_result lumaro_internal_refuse_target(lumaro_bridge_session* s)
{
    lumaro_internal_fail(s, LUMARO_BRIDGE_TARGET_NOT_FOUND,
                         "the bridge reported \"" LUMARO_BRIDGE_STATUS_TARGET_NOT_FOUND
                         "\": no window has that title; the bridge was stopped before "
                         "recording began");
    if (PostMessageA((HWND)s->window, LUMARO_BRIDGE_WM_STOP, 0, 0)) {
        lumaro_internal_wait_end(s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
    }
    return s->result;
}

static lumaro_bridge_result lumaro_internal_open_pass(lumaro_bridge_session* s)
{
    int ended = lumaro_internal_ended(s);
    lumaro_internal_read(s);
    if (lumaro_internal_handle_box(s)) {
        return s->result;
    }
    if (s->seen & LUMARO_INTERNAL_SEEN_RECORDER_NOT_FOUND) {
        lumaro_internal_wait_end(s, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
        return lumaro_internal_fail(s, LUMARO_BRIDGE_RECORDER_NOT_FOUND,
                                    "the bridge reported \""
                                    LUMARO_BRIDGE_STATUS_RECORDER_NOT_FOUND
                                    "\": the recording tool did not start, or its window "
                                    "and controls did not appear");
    }
    if (ended) {
        return lumaro_internal_fail(s, LUMARO_BRIDGE_ENDED,
                                    "the bridge ended (exit code %lu) before it was ready",
                                    lumaro_internal_exit_code(s));
    }
    if (lumaro_internal_cancelled(s)) {
        return lumaro_internal_fail(s, LUMARO_BRIDGE_CANCELLED,
                                    "cancelled before the bridge was ready");
    }
    if (s->window == NULL) {
        s->window = lumaro_internal_find_window(s->process_id, LUMARO_BRIDGE_WINDOW_NAME,
                                                LUMARO_BRIDGE_WINDOW_NAME);
    }
    if (s->window == NULL && GetTickCount() - s->began >= LUMARO_BRIDGE_WINDOW_TIMEOUT_MS) {
        return lumaro_internal_fail(s, LUMARO_BRIDGE_TIMEOUT,
                                    "the bridge's window did not appear within %lu ms",
                                    (unsigned long)LUMARO_BRIDGE_WINDOW_TIMEOUT_MS);
    }
    if (s->window == NULL || !lumaro_internal_answers(s)) {
        return LUMARO_BRIDGE_PENDING;
    }
    if (lumaro_internal_handle_box(s)) {
        return s->result;
    }
    /* The bridge writes that line before it can answer. */
    lumaro_internal_read(s);
    if (s->seen & LUMARO_INTERNAL_SEEN_TARGET_NOT_FOUND) {
        return lumaro_internal_refuse_target(s);
    }
    lumaro_internal_find_tool(s);
    s->state = LUMARO_INTERNAL_READY;
    return LUMARO_BRIDGE_OK;
}

static lumaro_bridge_result lumaro_internal_stop_pass(lumaro_bridge_session* s);

static void lumaro_internal_begin(lumaro_bridge_session* s, int state)
{
    s->state = state;
    s->posted = 0;
    s->began = GetTickCount();
}

static lumaro_bridge_result lumaro_internal_start_pass(lumaro_bridge_session* s)
{
    int ended;
    if (!s->posted) {
        if (lumaro_internal_cancelled(s)) {
            return lumaro_internal_fail(s, LUMARO_BRIDGE_CANCELLED,
                                        "cancelled before start was sent; nothing was recorded");
        }
        s->seen &= ~LUMARO_INTERNAL_SEEN_STARTED;
        if (lumaro_internal_post(s, LUMARO_BRIDGE_WM_START, "start") != LUMARO_BRIDGE_OK) {
            return s->result;
        }
        s->posted = 1;
    }
    ended = lumaro_internal_ended(s);
    lumaro_internal_read(s);
    if (s->seen & LUMARO_INTERNAL_SEEN_STARTED) {
        /* Start is served inside the error box's message loop as well. */
        if (lumaro_internal_handle_box(s)) {
            return s->result;
        }
        s->state = LUMARO_INTERNAL_RECORDING;
        /* The tool was starting its recording, which cannot be called back: the stop
           follows as soon as it has begun, and close sees it through. */
        if (lumaro_internal_cancelled(s)) {
            lumaro_internal_fail(s, LUMARO_BRIDGE_CANCELLED,
                                 "cancelled while the recording started; it was stopped");
            lumaro_internal_begin(s, LUMARO_INTERNAL_STOPPING);
            lumaro_internal_stop_pass(s);
        }
        return s->result;
    }
    if (ended) {
        return lumaro_internal_fail(s, LUMARO_BRIDGE_ENDED,
                                    "the bridge ended (exit code %lu) before \""
                                    LUMARO_BRIDGE_STATUS_STARTED "\"",
                                    lumaro_internal_exit_code(s));
    }
    return LUMARO_BRIDGE_PENDING;
}

static lumaro_bridge_result lumaro_internal_stop_pass(lumaro_bridge_session* s)
{
    int ended;
    if (!s->posted) {
        /* While the bridge still runs, its tool is still its child. */
        lumaro_internal_find_tool(s);
        if (lumaro_internal_post(s, LUMARO_BRIDGE_WM_STOP, "stop") != LUMARO_BRIDGE_OK) {
            s->state = LUMARO_INTERNAL_STOPPED;
            return s->result;
        }
        s->posted = 1;
    }
    ended = lumaro_internal_ended(s);
    lumaro_internal_read(s);
    /* The log is complete once the tool has ended, which the bridge does on stop unless
       it says it could not. */
    if (!ended || (lumaro_internal_tool_runs(s) &&
                   !(s->seen & LUMARO_INTERNAL_SEEN_EXIT_FAILED))) {
        return LUMARO_BRIDGE_PENDING;
    }
    s->state = LUMARO_INTERNAL_STOPPED;
    lumaro_internal_read_log(s);
    if (s->seen & LUMARO_INTERNAL_SEEN_EXIT_FAILED) {
        /* Windows fails to end a process that has ended already; Wine reports success. */
        return lumaro_internal_fail(s, LUMARO_BRIDGE_EXIT_FAILED,
                                    "the bridge reported \"" LUMARO_BRIDGE_STATUS_EXIT_FAILED
                                    "\": the recording tool had ended before stop, so its "
                                    "recording may be incomplete, or it could not be ended");
    }
    if (!(s->seen & LUMARO_INTERNAL_SEEN_EXIT_SUCCESS)) {
        return lumaro_internal_fail(s, LUMARO_BRIDGE_ENDED,
                                    "the bridge ended (exit code %lu) after stop without an "
                                    "exit line", lumaro_internal_exit_code(s));
    }
    return s->tool_logs ? lumaro_internal_judge_log(s) : s->result;
}

static lumaro_bridge_result lumaro_internal_timed_out(lumaro_bridge_session* s,
                                                      unsigned long bound)
{
    switch (s->state) {
    case LUMARO_INTERNAL_OPENING:
        return lumaro_internal_fail(s, LUMARO_BRIDGE_TIMEOUT,
                                    s->window == NULL
                                        ? "the bridge's window did not appear within %lu ms"
                                        : "the bridge was not ready within %lu ms",
                                    bound);
    case LUMARO_INTERNAL_STARTING:
        return lumaro_internal_fail(s, LUMARO_BRIDGE_TIMEOUT,
                                    "no \"" LUMARO_BRIDGE_STATUS_STARTED
                                    "\" within %lu ms of start", bound);
    default:
        return lumaro_internal_fail(s, LUMARO_BRIDGE_TIMEOUT,
                                    lumaro_internal_ended(s)
                                        ? "the recording tool did not end within %lu ms of stop"
                                        : "the bridge did not end within %lu ms of stop",
                                    bound);
    }
}

/* Runs the passes of the call under way until it is done or its time is up, measured
   from its first pass; with a timeout of 0, one pass within default_ms. */
static lumaro_bridge_result lumaro_internal_drive(lumaro_bridge_session* s,
                                                  lumaro_internal_pass pass,
                                                  unsigned long timeout_ms,
                                                  unsigned long default_ms)
{
    unsigned long bound = timeout_ms != 0 ? timeout_ms : default_ms;
    lumaro_bridge_result result;
    while ((result = pass(s)) == LUMARO_BRIDGE_PENDING) {
        if (GetTickCount() - s->began >= bound) {
            return lumaro_internal_timed_out(s, bound);
        }
        if (timeout_ms == 0) {
            return LUMARO_BRIDGE_PENDING;
        }
        lumaro_internal_pause(s);
    }
    return result;
}

LUMARO_BRIDGE_API lumaro_bridge_result lumaro_bridge_open(lumaro_bridge_session* s,
                                                           const char* bridge_path,
                                                           const char* title,
                                                           const char* tool_folder,
                                                           unsigned long timeout_ms)
{
    char log[LUMARO_BRIDGE_PATH_SIZE + sizeof LUMARO_TOOL_LOG_FROM_TOOL_FOLDER];
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    const char* problem;
    if (s->state == LUMARO_INTERNAL_OPENING && s->result == LUMARO_BRIDGE_OK) {
        return lumaro_internal_drive(s, lumaro_internal_open_pass, timeout_ms,
                                     LUMARO_BRIDGE_READY_TIMEOUT_MS);
    }
    if (s->state != LUMARO_INTERNAL_CLOSED) {
        if (s->result == LUMARO_BRIDGE_OK) {
            lumaro_internal_fail(s, LUMARO_BRIDGE_BAD_ARGUMENT,
                                 "open was called on a session that is open; close it first");
        } else {
            lumaro_internal_append(s, "; open was refused: close the session first");
        }
        return LUMARO_BRIDGE_BAD_ARGUMENT;
    }
    s->result = LUMARO_BRIDGE_OK;
    s->error[0] = '\0';
    s->process_id = 0;
    s->window = NULL;
    s->tool_process_id = 0;
    s->tool_logs = 0;
    s->seen = 0;
    s->log_size = 0;
    memset(&s->tool, 0, sizeof s->tool);
    memset(&s->lines, 0, sizeof s->lines);
    s->recording[0] = '\0';
    problem = lumaro_bridge_check_command_line(title, tool_folder);
    if (bridge_path == NULL || bridge_path[0] == '\0') {
        problem = "the bridge's path is empty";
    } else if (problem == NULL && strlen(tool_folder) >= sizeof s->tool_folder) {
        problem = "the tool folder is too long";
    }
    if (problem != NULL) {
        return lumaro_internal_fail(s, LUMARO_BRIDGE_BAD_ARGUMENT, "%s", problem);
    }
    lumaro_internal_copy(s->tool_folder, sizeof s->tool_folder, tool_folder);
    /* Process ids come back: only what the log gains from now on is this run's. */
    if (lumaro_internal_log_path(s, log, sizeof log) &&
        GetFileAttributesExA(log, GetFileExInfoStandard, &attributes)) {
        s->log_size = ((unsigned long long)attributes.nFileSizeHigh << 32) |
                      attributes.nFileSizeLow;
    }
    if (lumaro_internal_launch(s, bridge_path, title, tool_folder) != LUMARO_BRIDGE_OK) {
        return s->result;
    }
    lumaro_internal_begin(s, LUMARO_INTERNAL_OPENING);
    return lumaro_internal_drive(s, lumaro_internal_open_pass, timeout_ms,
                                 LUMARO_BRIDGE_READY_TIMEOUT_MS);
}

LUMARO_BRIDGE_API lumaro_bridge_result lumaro_bridge_start(lumaro_bridge_session* s,
                                                            unsigned long timeout_ms)
{
    if (s->result != LUMARO_BRIDGE_OK) {
        return s->result;
    }
    if (s->state == LUMARO_INTERNAL_READY || s->state == LUMARO_INTERNAL_RECORDING) {
        lumaro_internal_begin(s, LUMARO_INTERNAL_STARTING);
    } else if (s->state != LUMARO_INTERNAL_STARTING) {
        return lumaro_internal_fail(s, LUMARO_BRIDGE_BAD_ARGUMENT,
                                    "start was asked for while the bridge was not ready");
    }
    return lumaro_internal_drive(s, lumaro_internal_start_pass, timeout_ms,
                                 LUMARO_BRIDGE_START_TIMEOUT_MS);
}

LUMARO_BRIDGE_API lumaro_bridge_result lumaro_bridge_poll(lumaro_bridge_session* s,
                                                           unsigned long wait_ms)
{
    DWORD began = GetTickCount();
    DWORD elapsed = 0;
    HANDLE waited[2];
    if (s->result != LUMARO_BRIDGE_OK) {
        return s->result;
    }
    waited[0] = (HANDLE)s->process;
    waited[1] = (HANDLE)s->cancel_event;
    for (;;) {
        int ended = lumaro_internal_ended(s);
        lumaro_internal_read(s);
        if (ended) {
            if (s->seen & LUMARO_INTERNAL_SEEN_EXIT) {
                return LUMARO_BRIDGE_OK;
            }
            return lumaro_internal_fail(s, LUMARO_BRIDGE_ENDED,
                                        "the bridge ended (exit code %lu) %swithout an exit "
                                        "line", lumaro_internal_exit_code(s),
                                        s->state == LUMARO_INTERNAL_RECORDING
                                            ? "while recording, "
                                            : "");
        }
        if (lumaro_internal_cancelled(s)) {
            return LUMARO_BRIDGE_CANCELLED;
        }
        if (elapsed >= wait_ms) {
            return LUMARO_BRIDGE_OK;
        }
        /* Wakes at once when the bridge ends or the cancel is set. */
        WaitForMultipleObjects(waited[1] != NULL ? 2 : 1, waited, FALSE,
                               wait_ms - elapsed < LUMARO_INTERNAL_POLL_STEP_MS
                                   ? wait_ms - elapsed
                                   : LUMARO_INTERNAL_POLL_STEP_MS);
        elapsed = GetTickCount() - began;
    }
}

LUMARO_BRIDGE_API lumaro_bridge_result lumaro_bridge_stop(lumaro_bridge_session* s,
                                                           unsigned long timeout_ms)
{
    if (s->result != LUMARO_BRIDGE_OK || s->state == LUMARO_INTERNAL_STOPPED) {
        return s->result;
    }
    if (s->state >= LUMARO_INTERNAL_READY && s->state <= LUMARO_INTERNAL_RECORDING) {
        lumaro_internal_begin(s, LUMARO_INTERNAL_STOPPING);
    } else if (s->state != LUMARO_INTERNAL_STOPPING) {
        return lumaro_internal_fail(s, LUMARO_BRIDGE_BAD_ARGUMENT,
                                    "stop was asked for before the bridge was open");
    }
    return lumaro_internal_drive(s, lumaro_internal_stop_pass, timeout_ms,
                                 LUMARO_BRIDGE_STOP_TIMEOUT_MS);
}

LUMARO_BRIDGE_API lumaro_bridge_result lumaro_bridge_close(lumaro_bridge_session* s,
                                                            unsigned long timeout_ms)
{
    char described[LUMARO_INTERNAL_DESCRIBED_SIZE];
    unsigned long bound = timeout_ms != 0 ? timeout_ms : LUMARO_BRIDGE_STOP_TIMEOUT_MS;
    int failed = s->result != LUMARO_BRIDGE_OK;
    /* A bridge that was ready serves commands: a busy one gets the stop once it can. */
    if (s->state >= LUMARO_INTERNAL_READY && s->state <= LUMARO_INTERNAL_RECORDING &&
        !lumaro_internal_ended(s)) {
        lumaro_internal_begin(s, LUMARO_INTERNAL_STOPPING);
    }
    if (s->state == LUMARO_INTERNAL_STOPPING) {
        lumaro_internal_drive(s, lumaro_internal_stop_pass, bound, bound);
        if (failed && lumaro_internal_ended(s)) {
            lumaro_internal_append(s, "; the bridge was stopped");
        }
    }
    if (!lumaro_internal_ended(s)) {
        if (TerminateProcess((HANDLE)s->process, 1)) {
            WaitForSingleObject((HANDLE)s->process, LUMARO_INTERNAL_KILL_WAIT_MS);
            lumaro_internal_append(s, "; the bridge was ended");
        } else {
            lumaro_internal_fail(s, LUMARO_BRIDGE_SYSTEM_ERROR,
                                 "the bridge could not be ended: %s",
                                 lumaro_internal_describe("TerminateProcess", GetLastError(),
                                                          described));
        }
    }
    lumaro_internal_end_tool(s, bound);
    /* A recording that the closed tool finished is named all the same. */
    if (s->state != LUMARO_INTERNAL_STOPPED && (s->seen & LUMARO_INTERNAL_SEEN_STARTED)) {
        lumaro_internal_read_log(s);
    }
    if (s->process != NULL) {
        CloseHandle((HANDLE)s->process);
        s->process = NULL;
    }
    if (s->output != NULL) {
        CloseHandle((HANDLE)s->output);
        s->output = NULL;
    }
    if (s->tool_process != NULL) {
        CloseHandle((HANDLE)s->tool_process);
        s->tool_process = NULL;
    }
    s->window = NULL;
    s->state = LUMARO_INTERNAL_CLOSED;
    return s->result;
}

LUMARO_BRIDGE_API const char* lumaro_bridge_recording(const lumaro_bridge_session* s)
{
    return s->recording[0] != '\0' ? s->recording : NULL;
}

LUMARO_BRIDGE_API lumaro_bridge_result lumaro_bridge_post_stop(unsigned long bridge_process_id)
{
    HWND window = lumaro_internal_find_window(bridge_process_id, LUMARO_BRIDGE_WINDOW_NAME,
                                              LUMARO_BRIDGE_WINDOW_NAME);
    if (window == NULL) {
        return LUMARO_BRIDGE_PENDING;
    }
    return PostMessageA(window, LUMARO_BRIDGE_WM_STOP, 0, 0) ? LUMARO_BRIDGE_OK
                                                             : LUMARO_BRIDGE_SYSTEM_ERROR;
}

#ifdef __cplusplus
}
#endif
#endif /* LUMARO_BRIDGE_IMPLEMENTATION */
