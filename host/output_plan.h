// Where a finished recording goes (-o), decided from the text given and what the disk
// holds at that path and its parent, so that no answer is a file no player opens; and
// the note of a move still to be made, which lets the guard or a later run finish the
// move when bridge-host is ended first.
#pragma once

#include <stdint.h>

#include <string>

// What -o names when it is neither of these: a folder or a name ending in .avi.
#define RECORDING_ENDING ".avi"

enum PathKind { PATH_MISSING, PATH_FILE, PATH_FOLDER };

// What is at a full path (UTF-8; a trailing backslash may end a folder's path).
typedef PathKind (*PathLookup)(const std::string& path, void* context);

// `path` is -o as a full path, a trailing backslash kept. Accepted: an existing folder,
// or a path ending in a backslash whose parent folder exists (made at the move), where
// the file keeps the tool's name, or a new name ending in .avi in an existing folder.
// `to` is then the folder with its trailing backslash, or the file. Refused with one
// line saying what to write instead: an existing file (nothing is overwritten), a name
// without an extension that is no folder, another extension, a missing parent folder.
bool PlanOutput(const std::string& path, PathLookup lookup, void* context, std::string& to,
                std::string& error);

// A move still to be made: the asked place (PlanOutput's `to`), where the tool's log
// stood when the run began, and the tool instance, once known (0 until then).
struct MoveNote {
    std::string to;
    uint64_t logStart;
    unsigned long toolId;
};

// The note as its file holds it, one "key value" line each; the tool's line may come
// later, appended, and the last line of a key counts.
std::string MoveNoteText(const MoveNote& note);
std::string MoveNoteToolLine(unsigned long toolId);
bool ReadMoveNote(const std::string& text, MoveNote& note);
