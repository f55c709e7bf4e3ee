// The bridge's main thread enters the DPI-unaware context before WinMain, as a process
// that declares no awareness runs on Windows; looked up at run time, so that the
// bridge imports nothing new.
#include <windows.h>

typedef DPI_AWARENESS_CONTEXT(WINAPI* SetThreadDpiAwarenessContextCall)(DPI_AWARENESS_CONTEXT);

static const SetThreadDpiAwarenessContextCall SET_CONTEXT =
    reinterpret_cast<SetThreadDpiAwarenessContextCall>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "SetThreadDpiAwarenessContext")));
static const bool g_unaware = SET_CONTEXT != nullptr && SET_CONTEXT(DPI_AWARENESS_CONTEXT_UNAWARE);
