#include "avi_layout.h"

#include <string.h>

#define AVIF_HASINDEX 0x10
#define AVIIF_KEYFRAME 0x10
#define AVI_INDEX_OF_INDEXES 0
#define AVI_INDEX_OF_CHUNKS 1
// A standard index entry's size with this bit set is no key frame.
#define STD_INDEX_NOT_KEY 0x80000000u
#define MAIN_HEADER_BYTES 56
#define STREAM_HEADER_BYTES 56
#define FORMAT_BYTES 40
#define BITS_PER_PIXEL 24
#define MICROSECONDS 1000000u
#define VIDEO_CHUNK_ID "00dc"

namespace {

struct Writer {
    uint8_t* at;
};

void Put(Writer& w, const char* fourcc)
{
    memcpy(w.at, fourcc, 4);
    w.at += 4;
}

void Put32(Writer& w, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        *w.at++ = static_cast<uint8_t>(value >> (8 * i));
    }
}

void Put64(Writer& w, uint64_t value)
{
    Put32(w, static_cast<uint32_t>(value));
    Put32(w, static_cast<uint32_t>(value >> 32));
}

void Put16(Writer& w, uint16_t value)
{
    *w.at++ = static_cast<uint8_t>(value);
    *w.at++ = static_cast<uint8_t>(value >> 8);
}

void PutZeros(Writer& w, size_t bytes)
{
    memset(w.at, 0, bytes);
    w.at += bytes;
}

uint32_t Clamp32(uint64_t value)
{
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

// The super index: which standard indexes there are, in the room the head keeps for
// AVI_SUPER_INDEX_ENTRIES of them.
void PutSuperIndex(Writer& w, const AviProgress& progress)
{
    Put(w, "indx");
    Put32(w, static_cast<uint32_t>(AVI_SUPER_INDEX_BYTES - AVI_CHUNK_HEADER_BYTES));
    Put16(w, 4);                               // longs per entry
    *w.at++ = 0;                               // sub type: frames
    *w.at++ = AVI_INDEX_OF_INDEXES;
    Put32(w, progress.indexCount);
    Put(w, VIDEO_CHUNK_ID);
    PutZeros(w, 12);
    for (uint32_t i = 0; i < AVI_SUPER_INDEX_ENTRIES; ++i) {
        if (i < progress.indexCount) {
            Put64(w, progress.indexes[i].offset);
            Put32(w, progress.indexes[i].bytes);
            Put32(w, progress.indexes[i].frames);
        } else {
            PutZeros(w, 16);
        }
    }
}

} // namespace

uint64_t FrameChunkBytes(uint64_t dataBytes)
{
    return AVI_CHUNK_HEADER_BYTES + dataBytes + (dataBytes & 1);
}

void FormatAviHead(const AviStreamInfo& stream, const AviProgress& progress,
                   uint8_t (&head)[AVI_HEAD_BYTES])
{
    const uint32_t imageBytes = Clamp32(static_cast<uint64_t>(stream.width) * stream.height * 3);
    // A tiny region's JPEG, with its tables, outgrows three bytes a pixel.
    const uint32_t bufferBytes = imageBytes > progress.largestFrame ? imageBytes
                                                                     : progress.largestFrame;
    const uint64_t indexBytes = progress.firstClosed ? AviIndexBytes(progress.firstFrames) : 0;
    // The frame list's size counts its type field; the form's counts its own type field
    // and everything after it.
    const uint64_t moviSize = 4 + progress.firstMoviBytes;
    const uint64_t riffSize = AVI_HEAD_BYTES - 8 + progress.firstMoviBytes + indexBytes;
    const uint32_t frames = Clamp32(progress.frames);

    Writer w = {head};
    Put(w, "RIFF");
    Put32(w, Clamp32(riffSize));
    Put(w, "AVI ");
    Put(w, "LIST");
    // The header list runs from its type field to the frame list's LIST.
    Put32(w, AVI_HEAD_BYTES - 12 - 8 - 12);
    Put(w, "hdrl");
    Put(w, "avih");
    Put32(w, MAIN_HEADER_BYTES);
    Put32(w, stream.fps > 0 ? MICROSECONDS / stream.fps : 0);
    Put32(w, 0);                               // max bytes per second: unknown
    Put32(w, 0);                               // padding granularity
    Put32(w, progress.firstClosed ? AVIF_HASINDEX : 0);
    Put32(w, progress.firstFrames);            // frames in the first segment
    Put32(w, 0);                               // initial frames
    Put32(w, 1);                               // streams
    Put32(w, bufferBytes);                     // suggested buffer size
    Put32(w, stream.width);
    Put32(w, stream.height);
    PutZeros(w, 16);
    Put(w, "LIST");
    Put32(w, static_cast<uint32_t>(4 + 8 + STREAM_HEADER_BYTES + 8 + FORMAT_BYTES +
                                   AVI_SUPER_INDEX_BYTES));
    Put(w, "strl");
    Put(w, "strh");
    Put32(w, STREAM_HEADER_BYTES);
    Put(w, "vids");
    Put(w, "MJPG");
    Put32(w, 0);                               // flags
    Put16(w, 0);                               // priority
    Put16(w, 0);                               // language
    Put32(w, 0);                               // initial frames
    Put32(w, 1);                               // scale
    Put32(w, stream.fps);                      // rate: frames per second
    Put32(w, 0);                               // start
    Put32(w, frames);                          // length: every segment's frames
    Put32(w, bufferBytes);                     // suggested buffer size
    Put32(w, UINT32_MAX);                      // quality: default
    Put32(w, 0);                               // sample size: varies
    Put16(w, 0);
    Put16(w, 0);
    Put16(w, static_cast<uint16_t>(stream.width));
    Put16(w, static_cast<uint16_t>(stream.height));
    Put(w, "strf");
    Put32(w, FORMAT_BYTES);
    Put32(w, FORMAT_BYTES);
    Put32(w, stream.width);
    Put32(w, stream.height);
    Put16(w, 1);                               // planes
    Put16(w, BITS_PER_PIXEL);
    Put(w, "MJPG");
    Put32(w, imageBytes);
    PutZeros(w, 16);
    PutSuperIndex(w, progress);
    Put(w, "LIST");
    Put32(w, 4 + 8 + AVI_EXTENDED_HEADER_BYTES);
    Put(w, "odml");
    Put(w, "dmlh");
    Put32(w, AVI_EXTENDED_HEADER_BYTES);
    Put32(w, frames);                          // total frames of the file
    PutZeros(w, AVI_EXTENDED_HEADER_BYTES - 4);
    Put(w, "LIST");
    Put32(w, Clamp32(moviSize));
    Put(w, "movi");
}

void FormatAviSegmentHead(uint64_t moviBytes, uint8_t (&head)[AVI_SEGMENT_HEAD_BYTES])
{
    Writer w = {head};
    Put(w, "RIFF");
    Put32(w, Clamp32(4 + 12 + moviBytes));
    Put(w, "AVIX");
    Put(w, "LIST");
    Put32(w, Clamp32(4 + moviBytes));
    Put(w, "movi");
}

void FormatFrameChunkHeader(uint32_t dataBytes, uint8_t (&header)[AVI_CHUNK_HEADER_BYTES])
{
    Writer w = {header};
    Put(w, VIDEO_CHUNK_ID);
    Put32(w, dataBytes);
}

uint64_t AviIndexBytes(uint64_t frames)
{
    return AVI_CHUNK_HEADER_BYTES + frames * AVI_INDEX_ENTRY_BYTES;
}

void FormatAviIndex(const AviFrameEntry* frames, uint32_t count, uint8_t* index)
{
    Writer w = {index};
    Put(w, "idx1");
    Put32(w, Clamp32(static_cast<uint64_t>(count) * AVI_INDEX_ENTRY_BYTES));
    for (uint32_t i = 0; i < count; ++i) {
        Put(w, VIDEO_CHUNK_ID);
        Put32(w, frames[i].bytes > 0 ? AVIIF_KEYFRAME : 0);
        Put32(w, frames[i].offset);
        Put32(w, frames[i].bytes);
    }
}

uint64_t AviStandardIndexBytes(uint64_t frames)
{
    return AVI_STD_INDEX_HEADER_BYTES + frames * AVI_STD_INDEX_ENTRY_BYTES;
}

void FormatAviStandardIndex(const AviFrameEntry* frames, uint32_t count, uint64_t base,
                            uint8_t* index)
{
    Writer w = {index};
    Put(w, "ix00");
    Put32(w, Clamp32(AviStandardIndexBytes(count) - AVI_CHUNK_HEADER_BYTES));
    Put16(w, 2);                               // longs per entry
    *w.at++ = 0;                               // sub type
    *w.at++ = AVI_INDEX_OF_CHUNKS;
    Put32(w, count);
    Put(w, VIDEO_CHUNK_ID);
    Put64(w, base);
    Put32(w, 0);
    for (uint32_t i = 0; i < count; ++i) {
        Put32(w, frames[i].offset + static_cast<uint32_t>(AVI_CHUNK_HEADER_BYTES));
        Put32(w, frames[i].bytes > 0 ? frames[i].bytes : STD_INDEX_NOT_KEY);
    }
}

uint64_t AviSegmentBytes(bool first, uint64_t frames, uint64_t frameBytes)
{
    return (first ? AVI_HEAD_BYTES + AviIndexBytes(frames) : AVI_SEGMENT_HEAD_BYTES) +
           frameBytes + AviStandardIndexBytes(frames);
}

FramePlan PlanFrame(const AviFill& fill, uint32_t dataBytes, uint64_t segmentLimit,
                    uint64_t fileLimit, uint32_t indexEvery)
{
    const FramePlan atLimit = {PLACE_AT_LIMIT, 0};
    // The headers count frames in 32 bits.
    if (fill.totalFrames >= UINT32_MAX || fill.segmentStart > fileLimit) {
        return atLimit;
    }
    const bool due = indexEvery > 0 && (fill.totalFrames + 1) % indexEvery == 0;
    const bool first = fill.closedSegments == 0;
    const uint64_t chunk = FrameChunkBytes(dataBytes);
    if (fill.frames < AVI_SEGMENT_FRAMES) {
        const uint64_t frames = fill.frames + 1;
        const bool room = fill.closedSegments + fill.runningIndexes < AVI_SUPER_INDEX_ENTRIES;
        const uint64_t from = room ? fill.indexedFrames : 0;
        const uint64_t index = due ? AviStandardIndexBytes(frames - from) : 0;
        const uint64_t here = AviSegmentBytes(first, frames, fill.frameBytes + chunk + index);
        if (here <= segmentLimit && here <= fileLimit - fill.segmentStart) {
            return {PLACE_IN_SEGMENT, fill.segmentStart + here, static_cast<uint32_t>(from),
                    due ? static_cast<uint32_t>(frames - from) : 0};
        }
    }
    // A new segment takes the open one's place in the super index and one more.
    const uint64_t next = fill.segmentStart + AviSegmentBytes(first, fill.frames, fill.frameBytes);
    const uint64_t fresh =
        AviSegmentBytes(false, 1, chunk + (due ? AviStandardIndexBytes(1) : 0));
    if (fill.frames > 0 && fill.closedSegments + 2 <= AVI_SUPER_INDEX_ENTRIES &&
        fresh <= segmentLimit && next <= fileLimit && fresh <= fileLimit - next) {
        return {PLACE_IN_NEW_SEGMENT, next + fresh, 0, due ? 1u : 0u};
    }
    return atLimit;
}

AviFill FillAfter(const AviFill& fill, const FramePlan& plan, uint32_t dataBytes)
{
    AviFill after = fill;
    if (plan.place == PLACE_IN_NEW_SEGMENT) {
        after.segmentStart +=
            AviSegmentBytes(fill.closedSegments == 0, fill.frames, fill.frameBytes);
        after.closedSegments += 1;
        after.frames = 0;
        after.frameBytes = 0;
        after.indexedFrames = 0;
        after.runningIndexes = 0;
    }
    after.frames += 1;
    after.frameBytes += FrameChunkBytes(dataBytes);
    after.totalFrames += 1;
    if (plan.indexFrames > 0) {
        after.frameBytes += AviStandardIndexBytes(plan.indexFrames);
        after.indexedFrames = after.frames;
        after.runningIndexes = plan.indexFrom == 0 ? 1 : after.runningIndexes + 1;
    }
    return after;
}

FramePlan PlanRepeat(const AviFill& fill, uint32_t pictureBytes, uint64_t segmentLimit,
                     uint64_t fileLimit, uint32_t indexEvery)
{
    const FramePlan plan = PlanFrame(fill, 0, segmentLimit, fileLimit, indexEvery);
    if (pictureBytes == 0 || plan.place == PLACE_AT_LIMIT ||
        PlanFrame(FillAfter(fill, plan, 0), pictureBytes, segmentLimit, fileLimit, indexEvery)
                .place != PLACE_AT_LIMIT) {
        return plan;
    }
    return {PLACE_AT_LIMIT, 0};
}
