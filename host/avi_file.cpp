#include "avi_file.h"

#include <windows.h>

#include "code_page.h"
#include "describe_error.h"

static bool ReadFileBytes(void* context, uint64_t offset, void* into, uint32_t count)
{
    OVERLAPPED at;
    ZeroMemory(&at, sizeof at);
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    return ReadFile(static_cast<HANDLE>(context), into, count, &done, &at) && done == count;
}

bool ReadAviFile(const std::wstring& path, AviSummary& summary, std::string& error)
{
    std::string shown = Utf8FromWide(path);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        error = shown + " could not be read: " + DescribeFailure("CreateFileW", GetLastError());
        return false;
    }
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    AviSource source = {ReadFileBytes, file, static_cast<uint64_t>(size.QuadPart)};
    AviBlockCache cache;
    std::string problem;
    bool read = ReadAviSummary(CachedAviSource(cache, source), summary, problem);
    CloseHandle(file);
    if (!read) {
        error = shown + " is not readable as AVI: " + problem;
    } else if (!AviComplete(summary)) {
        error = shown + " was not closed properly: its index or frame count is missing";
    }
    return read && AviComplete(summary);
}
