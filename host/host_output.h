// bridge-host's standard output and error, written by a thread of their own: a console
// held in selection mode or a pipe that nobody reads stalls only the writing, never the
// recording or its stop. Texts are UTF-8: a console gets them as Unicode, a file or a
// pipe as UTF-8 bytes with CR LF line ends, so that every character of a path reaches a
// program that reads bridge-host's output.
#pragma once

#include <windows.h>

#include <string>

// Starts the writer; without it (it could not start) every text is written at once.
void StartOutput();

// Whether standard output is a console, where progress is redrawn in place.
bool OutputIsConsole();

// Queues text for standard output.
void Say(const std::string& text);

// Queues progress for standard output, replacing progress that is still waiting: a
// stalled console then holds one progress text, not one per redraw.
void SayProgress(const std::string& text);

// Queues one line for standard error, led by "bridge-host: ".
void Complain(const std::string& line);

// Waits up to the bound until everything queued has been written; false when some of
// it could not be (the process may end then, dropping it).
bool FinishOutput(DWORD timeoutMs);
