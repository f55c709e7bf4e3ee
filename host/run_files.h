// A run's files on disk: what -o points at, whether a recording is whole, its move to
// the asked place, whole or not at all, and the note of that move, through which the
// guard, or a later run, finishes it when bridge-host was ended first.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "output_plan.h"

// The notes lie beside the tool's log, one for each run, named after the run.
#define MOVE_NOTE_ENDING ".move"

// The path in full, a trailing backslash kept; the path itself when the system will not
// say.
std::wstring FullPath(const std::wstring& path);

// PlanOutput's lookup, on the disk.
PathKind KindOfPath(const std::string& path, void* context);

// Moves the recording to `to` (UTF-8): a folder ending in a backslash, made when it is
// missing and its parent is there, where the file keeps its name, or a file. Never
// over an existing file. Within a drive a rename; across drives a copy under a
// temporary name in the target folder, renamed when complete, so that nothing
// half-written carries the asked name. Returns where the file is: `from` when it could
// not be moved, with `error` saying why.
std::wstring MoveRecording(const std::wstring& from, const std::string& to, std::string& error);

struct HeldNote {
    HANDLE file;
    std::wstring path;
};

// Writes the run's note into the tool's working directory (`workDir`, ending in a
// backslash) and keeps it open for as long as the run goes on: a note held open belongs
// to a run still going, which no one else finishes.
bool WriteMoveNote(const std::wstring& workDir, const std::string& runName,
                   const MoveNote& note, HeldNote& held, std::string& error);

// The tool instance, once the bridge has found it.
void AddToolToMoveNote(const HeldNote& held, unsigned long toolId);

// The run has moved its recording, or has none: the note goes.
void DropMoveNote(HeldNote& held);

// Takes a note no one else holds; INVALID_HANDLE_VALUE when another holds it, or it is
// gone.
HANDLE HoldMoveNote(const std::wstring& path);

// Finishes the move a held note asks for, once its run's tool has ended: a recording
// the tool's log names and that is complete goes where the note says. Returns one
// sentence saying where the recording is, empty when there is none. The note goes,
// unless the recording stays where it was and `keepWhenLeft` (the guard keeps it, so that
// the next run names the file).
std::string FinishMove(HANDLE note, const std::wstring& path, bool keepWhenLeft);

// The notes of runs that ended before their move, in the tool's working directory: each
// move finished where it can be, and a sentence each on where the recording is.
std::vector<std::string> FinishLeftMoves(const std::wstring& workDir);
