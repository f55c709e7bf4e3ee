#include "avi_writer.h"

#include <stdio.h>
#include <string.h>

#include "describe_error.h"

static bool WriteAt(HANDLE file, uint64_t offset, const void* data, size_t bytes)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    return WriteFile(file, data, static_cast<DWORD>(bytes), &written, &at) && written == bytes;
}

// Cuts a write that failed part way, so the file ends after its last whole chunk.
static void CutAt(HANDLE file, uint64_t end)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(end);
    if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
        SetEndOfFile(file);
    }
}

static bool WriteHead(AviWriter* writer, bool indexed)
{
    uint8_t head[AVI_HEAD_BYTES];
    AviProgress progress = {static_cast<uint32_t>(writer->frames), writer->dataBytes, indexed};
    FormatAviHead(writer->stream, progress, head);
    return WriteAt(writer->file, 0, head, sizeof head);
}

static uint64_t EndOfFrames(const AviWriter* writer)
{
    return AVI_HEAD_BYTES + writer->dataBytes;
}

bool OpenAviWriter(AviWriter* writer, const char* path, int width, int height, uint32_t fps,
                   char* error, size_t size)
{
    writer->stream = {static_cast<uint32_t>(width), static_cast<uint32_t>(height), fps};
    writer->frames = 0;
    writer->dataBytes = 0;
    writer->frameSizes.clear();
    snprintf(writer->folder, sizeof writer->folder, "%s", path);
    char* slash = strrchr(writer->folder, '\\');
    if (slash != nullptr) {
        slash[1] = '\0';
    } else {
        writer->folder[0] = '\0';
    }
    writer->file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writer->file == INVALID_HANDLE_VALUE) {
        DescribeLastError("CreateFileA(recording)", error, size);
        writer->file = NULL;
        return false;
    }
    if (!WriteHead(writer, false)) {
        DescribeLastError("WriteFile(recording head)", error, size);
        CloseHandle(writer->file);
        writer->file = NULL;
        return false;
    }
    return true;
}

// Whether the drive holds the frame, the whole index after it and the reserve.
static bool RoomFor(const AviWriter* writer, DWORD bytes, char* error, size_t size)
{
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(writer->folder[0] ? writer->folder : nullptr, &available, nullptr,
                             nullptr)) {
        return true;   // unknown: the write itself will tell
    }
    uint64_t needed =
        FrameChunkBytes(bytes) + AviIndexBytes(writer->frames + 1ull) + AVI_DISK_RESERVE;
    if (available.QuadPart >= needed) {
        return true;
    }
    snprintf(error, size, "disk full: %llu bytes free on the recording's drive",
             static_cast<unsigned long long>(available.QuadPart));
    return false;
}

bool WriteAviFrame(AviWriter* writer, const void* data, DWORD bytes, char* error, size_t size)
{
    if (!RoomFor(writer, bytes, error, size)) {
        return false;
    }
    uint8_t header[AVI_CHUNK_HEADER_BYTES];
    FormatFrameChunkHeader(bytes, header);
    writer->chunk.assign(header, header + sizeof header);
    writer->chunk.insert(writer->chunk.end(), static_cast<const uint8_t*>(data),
                         static_cast<const uint8_t*>(data) + bytes);
    if (bytes & 1) {
        writer->chunk.push_back(0);
    }
    if (!WriteAt(writer->file, EndOfFrames(writer), writer->chunk.data(), writer->chunk.size())) {
        DescribeLastError("WriteFile(frame)", error, size);
        CutAt(writer->file, EndOfFrames(writer));
        return false;
    }
    ++writer->frames;
    writer->dataBytes += writer->chunk.size();
    writer->frameSizes.push_back(bytes);
    // About once a second the head catches up, so an ended tool loses at most that.
    if (writer->stream.fps > 0 && writer->frames % writer->stream.fps == 0 &&
        !WriteHead(writer, false)) {
        DescribeLastError("WriteFile(recording head)", error, size);
        return false;
    }
    return true;
}

bool CloseAviWriter(AviWriter* writer, char* error, size_t size)
{
    if (writer->file == NULL) {
        return true;
    }
    const uint32_t frames = static_cast<uint32_t>(writer->frameSizes.size());
    std::vector<uint8_t> index(AviIndexBytes(frames));
    FormatAviIndex(writer->frameSizes.data(), frames, index.data());
    bool indexed = WriteAt(writer->file, EndOfFrames(writer), index.data(), index.size());
    bool ok = indexed;
    if (!indexed) {
        DescribeLastError("WriteFile(index)", error, size);
        CutAt(writer->file, EndOfFrames(writer));
    }
    if (!WriteHead(writer, indexed) && ok) {
        DescribeLastError("WriteFile(recording head)", error, size);
        ok = false;
    }
    if (!CloseHandle(writer->file) && ok) {
        DescribeLastError("CloseHandle(recording)", error, size);
        ok = false;
    }
    writer->file = NULL;
    return ok;
}
