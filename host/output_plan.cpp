#include "output_plan.h"

#include <stdlib.h>

#include "shown_text.h"

static bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The name's extension with its dot, lower case; empty without one. A leading dot
// starts a name, not an extension.
static std::string Extension(const std::string& name)
{
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return "";
    }
    std::string extension = name.substr(dot);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

bool PlanOutput(const std::string& path, PathLookup lookup, void* context, std::string& to,
                std::string& error)
{
    size_t end = path.size();
    while (end > 0 && IsSeparator(path[end - 1])) {
        --end;
    }
    bool folderAsked = end < path.size();
    std::string bare = path.substr(0, end);
    size_t cut = bare.find_last_of("\\/");
    std::string parent = cut == std::string::npos ? "" : bare.substr(0, cut + 1);
    std::string name = bare.substr(parent.size());
    std::string shown = "--output " + Shown(path);
    PathKind kind = lookup(path, context);
    if (kind == PATH_FOLDER) {
        to = folderAsked ? path : path + "\\";
        return true;
    }
    if (kind == PATH_FILE) {
        error = shown + " exists, and bridge-host never overwrites a file: give a new name "
                        "ending in " RECORDING_ENDING ", or a folder";
        return false;
    }
    bool parentThere = !parent.empty() && lookup(parent, context) == PATH_FOLDER;
    std::string extension = Extension(name);
    if (folderAsked) {
        if (!parentThere) {
            error = shown + ": there is no folder " + Shown(parent) + " to make it in";
            return false;
        }
        to = path;
        return true;
    }
    if (extension.empty()) {
        error = shown + " is no folder: for a new folder write " + Shown(bare) +
                "\\ (with the backslash), for a file " + Shown(bare) + RECORDING_ENDING;
        return false;
    }
    if (extension != RECORDING_ENDING) {
        error = shown + ": the recording is Motion-JPEG AVI, so its name ends in " RECORDING_ENDING
                        ": write " +
                Shown(bare.substr(0, bare.size() - extension.size())) + RECORDING_ENDING;
        return false;
    }
    if (!parentThere) {
        error = shown + ": there is no folder " + Shown(parent);
        return false;
    }
    to = path;
    return true;
}

#define NOTE_TO "to "
#define NOTE_LOG "log "
#define NOTE_TOOL "tool "

std::string MoveNoteText(const MoveNote& note)
{
    std::string text = NOTE_TO + note.to + "\n" NOTE_LOG + std::to_string(note.logStart) + "\n";
    return note.toolId == 0 ? text : text + MoveNoteToolLine(note.toolId);
}

std::string MoveNoteToolLine(unsigned long toolId)
{
    return NOTE_TOOL + std::to_string(toolId) + "\n";
}

// A decimal number filling the text; false for anything else.
static bool ReadNumber(const std::string& text, unsigned long long& value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    char* end = nullptr;
    value = strtoull(text.c_str(), &end, 10);
    return *end == '\0';
}

bool ReadMoveNote(const std::string& text, MoveNote& note)
{
    note = MoveNote{"", 0, 0};
    bool log = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            break; // a line cut short by the writer's end was never written
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        unsigned long long value = 0;
        if (line.compare(0, sizeof NOTE_TO - 1, NOTE_TO) == 0) {
            note.to = line.substr(sizeof NOTE_TO - 1);
        } else if (line.compare(0, sizeof NOTE_LOG - 1, NOTE_LOG) == 0 &&
                   ReadNumber(line.substr(sizeof NOTE_LOG - 1), value)) {
            note.logStart = value;
            log = true;
        } else if (line.compare(0, sizeof NOTE_TOOL - 1, NOTE_TOOL) == 0 &&
                   ReadNumber(line.substr(sizeof NOTE_TOOL - 1), value) && value <= 0xFFFFFFFFu) {
            note.toolId = static_cast<unsigned long>(value);
        } else {
            return false;
        }
    }
    return !note.to.empty() && log;
}
