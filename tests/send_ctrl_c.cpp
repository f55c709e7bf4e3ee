// Presses Ctrl+C in the console of another process, as its user would: the process must
// have a console of its own and a process group of its own (CREATE_NEW_CONSOLE,
// CREATE_NEW_PROCESS_GROUP), so that the press reaches it alone.
//   send_ctrl_c PROCESS_ID
// Exit code 0 when the press was delivered, 1 with the reason otherwise.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    DWORD processId = argc == 2 ? strtoul(argv[1], nullptr, 10) : 0;
    if (processId == 0) {
        fprintf(stderr, "usage: send_ctrl_c PROCESS_ID\n");
        return 1;
    }
    FreeConsole();
    if (!AttachConsole(processId) || !SetConsoleCtrlHandler(nullptr, TRUE) ||
        !GenerateConsoleCtrlEvent(CTRL_C_EVENT, processId)) {
        fprintf(stderr, "send_ctrl_c: error %lu\n", GetLastError());
        return 1;
    }
    return 0;
}
