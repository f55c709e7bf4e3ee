// The bytes of the tool's AVI files: one Motion-JPEG video stream in OpenDML (AVI 2.0)
// form, so that a recording has no length limit but the disk. The file is a chain of
// RIFF segments: the first, RIFF 'AVI ', holds the head (headers, the super index and
// the extended header) and the first frames; each later one, RIFF 'AVIX', holds more.
// Every segment's frame list ends in its standard index ('ix00'), which the super index
// in the head lists; the first segment also ends in the legacy 'idx1' for old readers.
// While a segment is open, about once a second a frame carries a running standard
// index after it, of the frames since the one before, and the super index lists those
// too; when the segment closes, its one closing index takes their place there. The head
// has one fixed size, so the writer puts it down first and writes it again in place as
// frames come; a file whose writer was ended early still opens, with the frames written
// before its last head, and players that follow only the indexes find them too. A slot
// whose picture did not change is an empty chunk, not a key frame, as common writers
// write a dropped frame. Pure byte layout, no platform calls.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Segments a file can have: the super index's fixed room in the head.
#define AVI_SUPER_INDEX_ENTRIES 1024u
// Frames a segment holds at most, about 18 minutes at 15 a second: what bounds the
// running indexes' cost in a still recording, whose segments would otherwise stay open
// for days. 1024 segments of it hold about 13 days.
#define AVI_SEGMENT_FRAMES 16384u
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

// A standard index as the super index lists it: where its chunk starts, that chunk's
// bytes, and the frames it indexes.
struct AviSuperIndexEntry {
    uint64_t offset;
    uint32_t bytes;
    uint32_t frames;
};

// How far the file has come: all frames written, the first segment's frames and the
// bytes its frame list holds after its type field (frame chunks, and once the segment
// is closed its standard index), whether the first segment is closed (its legacy
// index follows), the standard indexes (each closed segment's, then the open one's
// running ones), and the largest frame's data so far, which the buffer size the headers
// suggest must hold.
struct AviProgress {
    uint64_t frames;
    uint32_t firstFrames;
    uint64_t firstMoviBytes;
    bool firstClosed;
    const AviSuperIndexEntry* indexes;
    uint32_t indexCount;
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

// A frame in its segment: its chunk's offset from the segment's frame list type field,
// and its data size.
struct AviFrameEntry {
    uint32_t offset;
    uint32_t bytes;
};

// Bytes of the legacy index for that many frames, and the index itself: one entry a
// frame, each with its chunk's offset and its data size. index holds
// AviIndexBytes(frames) bytes.
uint64_t AviIndexBytes(uint64_t frames);
void FormatAviIndex(const AviFrameEntry* frames, uint32_t count, uint8_t* index);

// Bytes of a standard index for that many frames, and the index itself: each entry
// holds its chunk data's offset from `base`, the file offset of the segment's frame
// list type field. index holds AviStandardIndexBytes(frames) bytes.
uint64_t AviStandardIndexBytes(uint64_t frames);
void FormatAviStandardIndex(const AviFrameEntry* frames, uint32_t count, uint64_t base,
                            uint8_t* index);

// Bytes a segment takes once closed, with that many frames whose chunks take frameBytes.
uint64_t AviSegmentBytes(bool first, uint64_t frames, uint64_t frameBytes);

// Where the next frame goes, given the open segment: into it, into a new segment after
// it is closed, or nowhere, because the segment limit, the file size limit or the
// super index's room is reached. A segment is full at AVI_SEGMENT_FRAMES frames too.
// closedEnd: the file's size once it is closed with that frame in it.
enum FramePlace { PLACE_IN_SEGMENT, PLACE_IN_NEW_SEGMENT, PLACE_AT_LIMIT };

struct AviFill {
    uint64_t segmentStart;     // file offset of the open segment
    uint32_t closedSegments;
    uint64_t frames;           // in the open segment
    uint64_t frameBytes;       // its frame list's chunks: frames and running indexes
    uint64_t totalFrames;
    uint64_t indexedFrames = 0;    // the open segment's frames in its running indexes
    uint32_t runningIndexes = 0;   // the super index's entries they take
};

// Every indexEvery-th frame of the file carries a running index after its chunk: of
// the open segment's frames from indexFrom on, itself included (indexFrames of them;
// 0: none). It holds the frames since the segment's last running index, and the closing
// index folds them into one entry: one index of the whole segment rewritten each second
// would cost a still segment's 16384 frames about 70 MB of dead indexes. Only when the
// super index has no room for another entry (in a still segment after some 17 minutes,
// in a moving one near the file's end) does it hold all the segment's frames, at most
// 128 KiB, and take the place of the ones before.
struct FramePlan {
    FramePlace place;
    uint64_t closedEnd;
    uint32_t indexFrom = 0;
    uint32_t indexFrames = 0;
};

// fileLimit: the most bytes the file may hold (UINT64_MAX for no limit); indexEvery:
// frames from one running index to the next (0: none).
FramePlan PlanFrame(const AviFill& fill, uint32_t dataBytes, uint64_t segmentLimit,
                    uint64_t fileLimit, uint32_t indexEvery);

// A repeat's plan, at the limit also when the last picture, of pictureBytes (0: none
// yet), would not fit after it: a file that reaches its limit can still end in a picture.
FramePlan PlanRepeat(const AviFill& fill, uint32_t pictureBytes, uint64_t segmentLimit,
                     uint64_t fileLimit, uint32_t indexEvery);

// The fill once a frame of dataBytes, and its running index, have gone where the plan
// put them (not PLACE_AT_LIMIT).
AviFill FillAfter(const AviFill& fill, const FramePlan& plan, uint32_t dataBytes);
