#include "run_files.h"

#include "avi_file.h"
#include "code_page.h"
#include "describe_error.h"
#include "stand_in_tool.h"
#include "tool_log.h"

std::wstring FullPath(const std::wstring& path)
{
    DWORD length = GetFullPathNameW(path.c_str(), 0, NULL, NULL);
    std::wstring full(length, L'\0');
    if (length == 0 || GetFullPathNameW(path.c_str(), length, &full[0], NULL) >= length) {
        return path;
    }
    full.resize(length - 1);
    return full;
}

PathKind KindOfPath(const std::string& path, void*)
{
    std::wstring wide = WideFromUtf8(path);
    // A file's path with a backslash after it is nothing; a drive's root keeps its own.
    if (wide.size() > 3 && (wide.back() == L'\\' || wide.back() == L'/')) {
        wide.pop_back();
    }
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return PATH_MISSING;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PATH_FOLDER : PATH_FILE;
}

// Across drives: a copy under a name of its own in the target folder, flushed, then
// renamed; the original goes only once the copy carries the name.
static bool CopyWhole(const std::wstring& from, const std::wstring& folder,
                      const std::wstring& to, std::string& error)
{
    wchar_t part[MAX_PATH];
    if (GetTempFileNameW(folder.c_str(), L"rec", 0, part) == 0) {
        error = DescribeFailure("GetTempFileNameW", GetLastError());
        return false;
    }
    HANDLE copy = INVALID_HANDLE_VALUE;
    bool copied = CopyFileW(from.c_str(), part, FALSE) != FALSE;
    if (!copied) {
        error = DescribeFailure("CopyFileW", GetLastError());
    } else {
        copy = CreateFileW(part, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        copied = copy != INVALID_HANDLE_VALUE && FlushFileBuffers(copy);
        if (!copied) {
            error = DescribeFailure("FlushFileBuffers", GetLastError());
        }
    }
    if (copy != INVALID_HANDLE_VALUE) {
        CloseHandle(copy);
    }
    if (copied && !MoveFileExW(part, to.c_str(), MOVEFILE_WRITE_THROUGH)) {
        error = DescribeFailure("MoveFileExW", GetLastError());
        copied = false;
    }
    if (!copied) {
        DeleteFileW(part);
        return false;
    }
    DeleteFileW(from.c_str());
    return true;
}

std::wstring MoveRecording(const std::wstring& from, const std::string& to, std::string& error)
{
    std::wstring target = WideFromUtf8(to);
    if (!target.empty() && (target.back() == L'\\' || target.back() == L'/')) {
        target += from.substr(from.find_last_of(L"\\/") + 1);
    }
    if (lstrcmpiW(FullPath(target).c_str(), FullPath(from).c_str()) == 0) {
        return from;
    }
    std::wstring folder = target.substr(0, target.find_last_of(L"\\/") + 1);
    CreateDirectoryW(folder.c_str(), NULL);
    // Within a drive the rename is whole by itself, and it never replaces a file.
    bool moved = MoveFileExW(from.c_str(), target.c_str(), 0) != FALSE;
    DWORD code = moved ? 0 : GetLastError();
    std::string why;
    if (!moved && code == ERROR_NOT_SAME_DEVICE) {
        moved = CopyWhole(from, folder, target, why);
    } else if (!moved) {
        why = DescribeFailure("MoveFileExW", code);
    }
    if (!moved) {
        error = "moving it to " + Utf8FromWide(target) + ": " + why;
        return from;
    }
    return target;
}

static std::wstring InRecordings(const std::wstring& workDir, const std::wstring& name)
{
    return workDir + WideFromAnsi(RECORDINGS_FOLDER "\\") + name;
}

static bool WriteAll(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, NULL) &&
           written == text.size() && FlushFileBuffers(file);
}

bool WriteMoveNote(const std::wstring& workDir, const std::string& runName,
                   const MoveNote& note, HeldNote& held, std::string& error)
{
    CreateDirectoryW(InRecordings(workDir, L"").c_str(), NULL);
    held.path = InRecordings(workDir, WideFromUtf8(runName + MOVE_NOTE_ENDING));
    held.file = CreateFileW(held.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW,
                            0, NULL);
    if (held.file == INVALID_HANDLE_VALUE ||
        !WriteAll(held.file, MoveNoteText(note))) {
        error = "could not write " + Utf8FromWide(held.path) + ": " +
                DescribeFailure(held.file == INVALID_HANDLE_VALUE ? "CreateFileW" : "WriteFile",
                                GetLastError());
        DropMoveNote(held);
        return false;
    }
    return true;
}

void AddToolToMoveNote(const HeldNote& held, unsigned long toolId)
{
    if (held.file != INVALID_HANDLE_VALUE) {
        WriteAll(held.file, MoveNoteToolLine(toolId));
    }
}

void DropMoveNote(HeldNote& held)
{
    if (held.file != INVALID_HANDLE_VALUE) {
        CloseHandle(held.file);
        DeleteFileW(held.path.c_str());
        held.file = INVALID_HANDLE_VALUE;
    }
}

HANDLE HoldMoveNote(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
}

static std::string ReadFrom(HANDLE file, uint64_t offset)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    LARGE_INTEGER size;
    std::string text;
    // A log that shrank was begun anew meanwhile.
    if (GetFileSizeEx(file, &size) && size.QuadPart >= at.QuadPart) {
        SetFilePointerEx(file, at, NULL, FILE_BEGIN);
    }
    char bytes[4096];
    DWORD count = 0;
    while (ReadFile(file, bytes, sizeof bytes, &count, NULL) && count > 0) {
        text.append(bytes, count);
    }
    return text;
}

// Where the recording of the note's run is, moved where it can be; `left`: it stays.
static std::string FinishNotedMove(const MoveNote& note, const std::wstring& workDir, bool& left)
{
    left = false;
    HANDLE log = CreateFileW((workDir + WideFromAnsi(RECORDER_LOG)).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                             OPEN_EXISTING, 0, NULL);
    if (note.toolId == 0 || log == INVALID_HANDLE_VALUE) {
        if (log != INVALID_HANDLE_VALUE) {
            CloseHandle(log);
        }
        return ""; // the run ended before its tool could record
    }
    ToolOutcome tool = ReadToolOutcome(ReadFrom(log, note.logStart), note.toolId);
    CloseHandle(log);
    std::wstring from = FullPath(workDir + WideFromAnsi(tool.path));
    if (tool.path.empty() || GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return ""; // no recording, or moved already
    }
    AviSummary summary;
    std::string error;
    left = true;
    if (!ReadAviFile(from, summary, error)) {
        return "a run ended from outside left an incomplete recording: " + error;
    }
    std::wstring at = MoveRecording(from, note.to, error);
    left = !error.empty();
    return left ? "the recording of a run ended from outside stays at " + Utf8FromWide(at) +
                      ": " + error
                : "the recording of a run ended from outside was moved to " +
                      Utf8FromWide(at);
}

std::string FinishMove(HANDLE note, const std::wstring& path, bool keepWhenLeft)
{
    if (note == INVALID_HANDLE_VALUE) {
        return "";
    }
    std::string said;
    bool left = false;
    MoveNote noted;
    if (ReadMoveNote(ReadFrom(note, 0), noted)) {
        std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
        said = FinishNotedMove(noted, FullPath(folder + L"..\\"), left);
    }
    CloseHandle(note);
    if (!(left && keepWhenLeft)) {
        DeleteFileW(path.c_str());
    }
    return said;
}

std::vector<std::string> FinishLeftMoves(const std::wstring& workDir)
{
    std::vector<std::string> said;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(InRecordings(workDir, WideFromAnsi("*" MOVE_NOTE_ENDING)).c_str(),
                                   &found);
    if (search == INVALID_HANDLE_VALUE) {
        return said;
    }
    do {
        std::wstring path = InRecordings(workDir, found.cFileName);
        std::string sentence = FinishMove(HoldMoveNote(path), path, false);
        if (!sentence.empty()) {
            said.push_back(sentence);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return said;
}
