// The ways to ask bridge-host for its one stop: Ctrl+C, Ctrl+Break, Enter, closing the
// console, a close request, logoff and shutdown. Before the recording began the run
// ends at once; after it the recording is stopped and kept.
#pragma once

#include <windows.h>

#include <string>

// Listens for each of them (Enter only untilEnter) and turns QuickEdit off.
bool ListenForStops(bool untilEnter, std::string& error);

// Set once any of them has been used.
HANDLE StopRequest();

// The run has stopped, cleaned up and said how it went: a close, logoff or shutdown,
// after which Windows ends the process, waits for this (briefly) before it returns.
void RunFinished();

void RestoreQuickEdit();
