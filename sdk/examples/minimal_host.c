/* minimal_host: records one window through the bridge for some seconds, printing the
   bridge's status lines, with the single-file client lumaro_bridge.h.

       minimal_host TITLE [SECONDS] [TOOL_FOLDER] [BRIDGE]

   TITLE        the exact title of the window to record
   SECONDS      how long to record (default 5)
   TOOL_FOLDER  the folder holding LUMARO_VideoTool.exe (default rec\tool\, as in the
                package); the recording lands in its ..\..\recordings\
   BRIDGE       the bridge program (default LUMARO_ScreenRecBridge.exe)
   Relative paths are taken from the current folder, so in the unpacked package
   `minimal_host "Bridge Demo Chart" 3` records the demo window into recordings\.
   Exit code 0 when the tool saved a recording as asked (its path is printed), 1 when
   something failed (one line on standard error says what), 2 for bad arguments.

   Build: gcc -std=c99 -I.. minimal_host.c -o minimal_host.exe (MinGW-w64), or
          cl /I.. minimal_host.c (MSVC). */
#define LUMARO_BRIDGE_IMPLEMENTATION
#include "lumaro_bridge.h"

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static void print_line(const char* line, void* context)
{
    (void)context;
    printf("%s\n", line);
    fflush(stdout);
}

/* The bridge starts the tool from the folder as it is given, so it must be absolute. */
static int absolute(const char* path, char* full, DWORD size)
{
    DWORD length = GetFullPathNameA(path, size, full, NULL);
    return length > 0 && length < size;
}

int main(int argc, char** argv)
{
    char folder[MAX_PATH];
    char bridge[MAX_PATH];
    unsigned long seconds = argc > 2 ? strtoul(argv[2], NULL, 10) : 5;
    lumaro_bridge_session session;
    if (argc < 2 || argc > 5 || seconds == 0 || seconds > 86400) {
        fprintf(stderr, "usage: minimal_host TITLE [SECONDS] [TOOL_FOLDER] [BRIDGE]\n");
        return 2;
    }
    if (!absolute(argc > 3 ? argv[3] : "rec\\tool\\", folder, sizeof folder - 1) ||
        !absolute(argc > 4 ? argv[4] : LUMARO_BRIDGE_EXE, bridge, sizeof bridge)) {
        fprintf(stderr, "minimal_host: a path is too long\n");
        return 2;
    }
    if (lumaro_bridge_folder_lacks_end(folder)) {
        size_t length = strlen(folder);
        folder[length] = LUMARO_BRIDGE_FOLDER_END;
        folder[length + 1] = '\0';
    }
    lumaro_bridge_init(&session, print_line, NULL);
    if (lumaro_bridge_open(&session, bridge, argv[1], folder, LUMARO_BRIDGE_READY_TIMEOUT_MS) ==
            LUMARO_BRIDGE_OK &&
        lumaro_bridge_start(&session, LUMARO_BRIDGE_START_TIMEOUT_MS) == LUMARO_BRIDGE_OK &&
        lumaro_bridge_poll(&session, seconds * 1000) == LUMARO_BRIDGE_OK) {
        lumaro_bridge_stop(&session, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
    }
    lumaro_bridge_close(&session, LUMARO_BRIDGE_STOP_TIMEOUT_MS);
    if (session.result != LUMARO_BRIDGE_OK) {
        fprintf(stderr, "minimal_host: %s\n", session.error);
        return 1;
    }
    if (lumaro_bridge_recording(&session) != NULL) {
        printf("recorded into %s\n", lumaro_bridge_recording(&session));
    } else {
        snprintf(bridge, sizeof bridge, "%s" LUMARO_BRIDGE_RECORDINGS_FROM_TOOL_FOLDER, folder);
        absolute(bridge, folder, sizeof folder);
        printf("recorded into %s\n", folder);
    }
    return 0;
}
