// The bytes of the tool's AVI files: one Motion-JPEG video stream in OpenDML (AVI 2.0)
// form, so that a recording has no length limit but the disk. The file is a chain of
// RIFF segments: the first, RIFF 'AVI ', holds the head (headers, the super index and
// the extended header) and the first frames; each later one, RIFF 'AVIX', holds more.
// Every segment's frame list ends in its standard index ('ix00'), which the super index
// in the head lists; the first segment also ends in the legacy 'idx1' for old readers.
// The head has one fixed size, so the writer puts it down first and writes it again in
// place as frames come; a file whose writer was ended early still opens, with the
// frames written before its last head. A slot whose picture did not change is an empty
// chunk, not a key frame, as common writers write a dropped frame. Pure byte layout,
// no platform calls.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Segments a file can have: the super index's fixed room in the head.
#define AVI_SUPER_INDEX_ENTRIES 1024u
#define AVI_CHUNK_HEADER_BYTES 8ull
#define AVI_INDEX_ENTRY_BYTES 16ull
#define AVI_STD_INDEX_HEADER_BYTES 32ull
#define AVI_STD_INDEX_ENTRY_BYTES 8ull
#define AVI_SUPER_INDEX_BYTES (AVI_STD_INDEX_HEADER_BYTES + 16ull * AVI_SUPER_INDEX_ENTRIES)
#define AVI_EXTENDED_HEADER_BYTES 248u
// RIFF and hdrl, avih, strl with strh, strf and indx, odml with dmlh, and the frame
// list's opening.
#define AVI_HEAD_BYTES (12 + 12 + 64 + 12 + 64 + 48 + AVI_SUPER_INDEX_BYTES + 12 + 8 + \
                        AVI_EXTENDED_HEADER_BYTES + 12)
// A later segment's RIFF 'AVIX' and its frame list's opening.
#define AVI_SEGMENT_HEAD_BYTES 24ull
// Where the first segment's frame list type field ('movi') sits.
#define AVI_FIRST_MOVI_OFFSET (AVI_HEAD_BYTES - 4ull)

struct AviStreamInfo {
    uint32_t width;
    uint32_t height;
    uint32_t fps;
};

// One closed segment as the super index lists it: where its standard index chunk
// starts, that chunk's bytes, and the frames it indexes.
struct AviSuperIndexEntry {
    uint64_t offset;
    uint32_t bytes;
    uint32_t frames;
};

// How far the file has come: all frames written, the first segment's frames and the
// bytes its frame list holds after its type field (frame chunks, and once the segment
// is closed its standard index), whether the first segment is closed (its legacy
// index follows), the closed segments, and the largest frame's data so far, which the
// buffer size the headers suggest must hold.
struct AviProgress {
    uint64_t frames;
    uint32_t firstFrames;
    uint64_t firstMoviBytes;
    bool firstClosed;
    const AviSuperIndexEntry* segments;
    uint32_t segmentCount;
    uint32_t largestFrame;
};

// The file's head for that progress.
void FormatAviHead(const AviStreamInfo& stream, const AviProgress& progress,
                   uint8_t (&head)[AVI_HEAD_BYTES]);

// A later segment's opening: its RIFF and frame list headers, given the bytes its frame
// list holds after its type field.
void FormatAviSegmentHead(uint64_t moviBytes, uint8_t (&head)[AVI_SEGMENT_HEAD_BYTES]);

// A frame's chunk header; the data follows, then one zero byte when its size is odd.
// A size of 0 is a slot that repeats the picture before it.
void FormatFrameChunkHeader(uint32_t dataBytes, uint8_t (&header)[AVI_CHUNK_HEADER_BYTES]);

// File bytes one frame of dataBytes takes in the frame list.
uint64_t FrameChunkBytes(uint64_t dataBytes);

// Bytes of the legacy index for that many frames, and the index itself: one entry a
// frame, each with its chunk's offset from the frame list's type field and its data
// size. index holds AviIndexBytes(frames) bytes.
uint64_t AviIndexBytes(uint64_t frames);
void FormatAviIndex(const uint32_t* frameSizes, uint32_t frames, uint8_t* index);

// Bytes of a segment's standard index for that many frames, and the index itself:
// each entry holds its chunk data's offset from `base`, the file offset of the
// segment's frame list type field, whose first chunk follows it. index holds
// AviStandardIndexBytes(frames) bytes.
uint64_t AviStandardIndexBytes(uint64_t frames);
void FormatAviStandardIndex(const uint32_t* frameSizes, uint32_t frames, uint64_t base,
                            uint8_t* index);

// Bytes a segment takes once closed, with that many frames whose chunks take frameBytes.
uint64_t AviSegmentBytes(bool first, uint64_t frames, uint64_t frameBytes);

// Where the next frame goes, given the open segment: into it, into a new segment after
// it is closed, or nowhere, because the segment limit, the file size limit or the
// super index's room is reached. closedEnd: the file's size once it is closed with
// that frame in it.
enum FramePlace { PLACE_IN_SEGMENT, PLACE_IN_NEW_SEGMENT, PLACE_AT_LIMIT };

struct AviFill {
    uint64_t segmentStart;   // file offset of the open segment
    uint32_t closedSegments;
    uint64_t frames;         // in the open segment
    uint64_t frameBytes;     // its frame chunks
    uint64_t totalFrames;
};

struct FramePlan {
    FramePlace place;
    uint64_t closedEnd;
};

// fileLimit: the most bytes the file may hold (UINT64_MAX for no limit).
FramePlan PlanFrame(const AviFill& fill, uint32_t dataBytes, uint64_t segmentLimit,
                    uint64_t fileLimit);

// A repeat's plan, at the limit also when the last picture, of pictureBytes (0: none
// yet), would not fit after it: a file that reaches its limit can still end in a picture.
FramePlan PlanRepeat(const AviFill& fill, uint32_t pictureBytes, uint64_t segmentLimit,
                     uint64_t fileLimit);

// The fill once a frame of dataBytes has gone where its plan put it (not PLACE_AT_LIMIT).
AviFill FillAfter(const AviFill& fill, FramePlace place, uint32_t dataBytes);
