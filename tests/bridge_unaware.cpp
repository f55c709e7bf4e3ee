// The bridge's main thread enters the DPI-unaware context before WinMain, as a process
// that declares no awareness runs on Windows. Loaded at run time: the bridge imports
// nothing new.
#include <windows.h>

typedef DPI_AWARENESS_CONTEXT(WINAPI* SetThreadDpiAwarenessContextCall)(DPI_AWARENESS_CONTEXT);

static bool EnterUnawareContext()
{
    HMODULE user32 = GetModuleHandleA("user32.dll");
    SetThreadDpiAwarenessContextCall set = reinterpret_cast<SetThreadDpiAwarenessContextCall>(
        reinterpret_cast<void*>(GetProcAddress(user32, "SetThreadDpiAwarenessContext")));
    return set != nullptr && set(DPI_AWARENESS_CONTEXT_UNAWARE) != NULL;
}

static const bool g_unaware = EnterUnawareContext();
