#include "avi_writer.h"

#include <stdio.h>
#include <string.h>

#include "describe_error.h"
#include "recorder_logic.h"

static bool WriteWithWriteFile(HANDLE file, uint64_t offset, const void* data, size_t bytes)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    return WriteFile(file, data, static_cast<DWORD>(bytes), &written, &at) && written == bytes;
}

static bool WriteAt(const AviWriter* writer, uint64_t offset, const void* data, size_t bytes)
{
    return writer->write(writer->file, offset, data, bytes);
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

static bool InFirstSegment(const AviWriter* writer)
{
    return writer->fill.closedSegments == 0;
}

// The open segment's frame list type field, which its standard index counts from.
static uint64_t MoviBase(const AviWriter* writer)
{
    return InFirstSegment(writer) ? AVI_FIRST_MOVI_OFFSET : writer->fill.segmentStart + 20;
}

static bool WriteHead(AviWriter* writer, char* error, size_t size)
{
    AviProgress progress = {writer->fill.totalFrames,
                            writer->firstClosed ? writer->firstFrames
                                                : static_cast<uint32_t>(writer->fill.frames),
                            writer->firstClosed ? writer->firstMoviBytes : writer->fill.frameBytes,
                            writer->firstClosed,
                            writer->indexes.data(),
                            static_cast<uint32_t>(writer->indexes.size()),
                            writer->largestFrame};
    uint8_t head[AVI_HEAD_BYTES];
    FormatAviHead(writer->stream, progress, head);
    if (!WriteAt(writer, 0, head, sizeof head)) {
        DescribeLastError("WriteFile(recording head)", error, size);
        return false;
    }
    return true;
}

// A later segment's opening, for the bytes its frame list holds.
static bool WriteSegmentHead(AviWriter* writer, uint64_t moviBytes, char* error, size_t size)
{
    uint8_t head[AVI_SEGMENT_HEAD_BYTES];
    FormatAviSegmentHead(moviBytes, head);
    if (!WriteAt(writer, writer->fill.segmentStart, head, sizeof head)) {
        DescribeLastError("WriteFile(segment head)", error, size);
        return false;
    }
    return true;
}

// Puts the open segment's standard index (and in the first, the legacy index) after
// its frames, lists it in the super index in its running indexes' place and brings the
// heads up to date.
static bool CloseSegment(AviWriter* writer, char* error, size_t size)
{
    const bool first = InFirstSegment(writer);
    const uint32_t frames = static_cast<uint32_t>(writer->frames.size());
    // A later segment whose first write failed holds nothing (the failed write cut the
    // file where it would have begun): no index and no entry in the super index. The
    // heads still catch up, with a segment closed just before, whose own rewrite may be
    // what failed.
    if (!first && frames == 0) {
        return WriteHead(writer, error, size);
    }
    const uint64_t standardBytes = AviStandardIndexBytes(frames);
    std::vector<uint8_t> indexes(standardBytes + (first ? AviIndexBytes(frames) : 0));
    FormatAviStandardIndex(writer->frames.data(), frames, MoviBase(writer), indexes.data());
    if (first) {
        FormatAviIndex(writer->frames.data(), frames, indexes.data() + standardBytes);
    }
    if (!WriteAt(writer, writer->end, indexes.data(), indexes.size())) {
        DescribeLastError("WriteFile(index)", error, size);
        CutAt(writer->file, writer->end);
        return false;
    }
    const uint64_t moviBytes = writer->fill.frameBytes + standardBytes;
    if (!first && !WriteSegmentHead(writer, moviBytes, error, size)) {
        return false;
    }
    writer->indexes.resize(writer->fill.closedSegments);
    writer->indexes.push_back({writer->end, static_cast<uint32_t>(standardBytes), frames});
    if (first) {
        writer->firstClosed = true;
        writer->firstFrames = frames;
        writer->firstMoviBytes = moviBytes;
    }
    writer->end += indexes.size();
    writer->fill.segmentStart = writer->end;
    writer->fill.closedSegments = static_cast<uint32_t>(writer->indexes.size());
    writer->fill.frames = 0;
    writer->fill.frameBytes = 0;
    writer->fill.indexedFrames = 0;
    writer->fill.runningIndexes = 0;
    writer->frames.clear();
    return WriteHead(writer, error, size);
}

bool OpenAviWriter(AviWriter* writer, const char* path, int width, int height, uint32_t fps,
                   uint64_t segmentLimit, uint64_t fileLimit, WriteFileAt write, char* error,
                   size_t size)
{
    writer->write = write ? write : WriteWithWriteFile;
    writer->stream = {static_cast<uint32_t>(width), static_cast<uint32_t>(height), fps};
    writer->segmentLimit = segmentLimit;
    writer->fill = {0, 0, 0, 0, 0};
    writer->end = AVI_HEAD_BYTES;
    writer->firstFrames = 0;
    writer->firstMoviBytes = 0;
    writer->firstClosed = false;
    writer->indexes.clear();
    writer->frames.clear();
    writer->picture.clear();
    writer->largestFrame = 0;
    writer->endsInRepeat = false;
    snprintf(writer->folder, sizeof writer->folder, "%s", path);
    char* slash = strrchr(writer->folder, '\\');
    if (slash != nullptr) {
        slash[1] = '\0';
    } else {
        writer->folder[0] = '\0';
    }
    // The file system's own limit, where it has one (FAT's 4 GiB); unknown means none.
    char volume[MAX_PATH];
    char fileSystem[MAX_PATH];
    uint64_t systemLimit = UINT64_MAX;
    if (GetVolumePathNameA(path, volume, sizeof volume) &&
        GetVolumeInformationA(volume, nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                              sizeof fileSystem)) {
        systemLimit = FileSystemSizeLimit(fileSystem);
    }
    writer->fileLimit = fileLimit < systemLimit ? fileLimit : systemLimit;
    // Only the reserved file is opened, so a writer never makes a file by itself.
    writer->file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, TRUNCATE_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writer->file == INVALID_HANDLE_VALUE) {
        DescribeLastError("CreateFileA(recording)", error, size);
        writer->file = NULL;
        return false;
    }
    if (!WriteHead(writer, error, size)) {
        CloseHandle(writer->file);
        writer->file = NULL;
        return false;
    }
    return true;
}

// Whether the drive holds everything up to the file's closed end, and the reserve.
static bool RoomFor(const AviWriter* writer, uint64_t closedEnd, char* error, size_t size)
{
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(writer->folder[0] ? writer->folder : nullptr, &available, nullptr,
                             nullptr)) {
        return true;   // unknown: the write itself will tell
    }
    if (available.QuadPart >= closedEnd - writer->end + AVI_DISK_RESERVE) {
        return true;
    }
    snprintf(error, size, "disk full: %llu bytes free on the recording's drive",
             static_cast<unsigned long long>(available.QuadPart));
    return false;
}

AviWrite WriteAviFrame(AviWriter* writer, const void* data, DWORD bytes, char* error,
                       size_t size)
{
    const uint32_t indexEvery = writer->stream.fps;
    const FramePlan plan =
        bytes > 0 ? PlanFrame(writer->fill, bytes, writer->segmentLimit, writer->fileLimit,
                              indexEvery)
                  : PlanRepeat(writer->fill, static_cast<uint32_t>(writer->picture.size()),
                               writer->segmentLimit, writer->fileLimit, indexEvery);
    if (plan.place == PLACE_AT_LIMIT) {
        snprintf(error, size, "the file reached its size limit");
        return AVI_AT_LIMIT;
    }
    if (!RoomFor(writer, plan.closedEnd, error, size)) {
        return AVI_FAILED;
    }
    if (plan.place == PLACE_IN_NEW_SEGMENT && !CloseSegment(writer, error, size)) {
        return AVI_FAILED;
    }
    writer->chunk.clear();
    const bool opening = writer->fill.frames == 0 && !InFirstSegment(writer);
    if (opening) {
        uint8_t head[AVI_SEGMENT_HEAD_BYTES];
        FormatAviSegmentHead(0, head);
        writer->chunk.assign(head, head + sizeof head);
    }
    writer->frames.push_back(
        {static_cast<uint32_t>(writer->end + writer->chunk.size() - MoviBase(writer)), bytes});
    uint8_t header[AVI_CHUNK_HEADER_BYTES];
    FormatFrameChunkHeader(bytes, header);
    writer->chunk.insert(writer->chunk.end(), header, header + sizeof header);
    writer->chunk.insert(writer->chunk.end(), static_cast<const uint8_t*>(data),
                         static_cast<const uint8_t*>(data) + bytes);
    if (bytes & 1) {
        writer->chunk.push_back(0);
    }
    // The running index goes out with the frame, so that it is never a write of its own
    // that could fail apart from the frame's.
    const uint64_t indexAt = writer->end + writer->chunk.size();
    const uint64_t indexBytes = plan.indexFrames > 0 ? AviStandardIndexBytes(plan.indexFrames) : 0;
    writer->chunk.resize(writer->chunk.size() + indexBytes);
    if (indexBytes > 0) {
        FormatAviStandardIndex(writer->frames.data() + plan.indexFrom, plan.indexFrames,
                               MoviBase(writer), writer->chunk.data() + indexAt - writer->end);
    }
    if (!WriteAt(writer, writer->end, writer->chunk.data(), writer->chunk.size())) {
        DescribeLastError("WriteFile(frame)", error, size);
        CutAt(writer->file, writer->end);
        writer->frames.pop_back();
        return AVI_FAILED;
    }
    writer->end += writer->chunk.size();
    writer->fill = FillAfter(writer->fill, {PLACE_IN_SEGMENT, plan.closedEnd, plan.indexFrom,
                                            plan.indexFrames}, bytes);
    writer->largestFrame = bytes > writer->largestFrame ? bytes : writer->largestFrame;
    if (bytes > 0) {
        writer->picture.assign(static_cast<const uint8_t*>(data),
                               static_cast<const uint8_t*>(data) + bytes);
    }
    writer->endsInRepeat = bytes == 0;
    // With a running index the heads catch up and list it, so an ended tool loses at
    // most the second since.
    if (indexBytes > 0) {
        // One of all the segment's frames takes the place of its running indexes before.
        writer->indexes.resize(writer->fill.closedSegments + writer->fill.runningIndexes - 1);
        writer->indexes.push_back(
            {indexAt, static_cast<uint32_t>(indexBytes), plan.indexFrames});
        if (!WriteHead(writer, error, size) ||
            (!InFirstSegment(writer) &&
             !WriteSegmentHead(writer, writer->fill.frameBytes, error, size))) {
            return AVI_FAILED;
        }
    }
    return AVI_WRITTEN;
}

std::vector<uint8_t> LastAviPicture(const AviWriter* writer)
{
    return writer->endsInRepeat ? writer->picture : std::vector<uint8_t>();
}

bool CloseAviWriter(AviWriter* writer, char* error, size_t size)
{
    if (writer->file == NULL) {
        return true;
    }
    bool ok = CloseSegment(writer, error, size);
    if (!ok) {
        // The frames stay; the head counts them, without an index.
        char ignored[ERROR_TEXT_SIZE];
        WriteHead(writer, ignored, sizeof ignored);
    }
    if (!CloseHandle(writer->file) && ok) {
        DescribeLastError("CloseHandle(recording)", error, size);
        ok = false;
    }
    writer->file = NULL;
    return ok;
}
