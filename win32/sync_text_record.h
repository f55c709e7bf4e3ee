// Keeping a control's window text in step with its contents, for other processes.
#pragma once

#include <windows.h>

#define TEXT_RECORD_SIZE 64

// Other processes find a control by the window text the window manager records for
// it (what FindWindowExA matches); Wine's edit control leaves that record as it was
// when its contents change, so a tool writes the record itself after each change.
inline void SyncTextRecord(HWND control)
{
    char text[TEXT_RECORD_SIZE];
    GetWindowTextA(control, text, sizeof text);
    DefWindowProcA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}
