#include "avi_layout.h"

#include <string.h>

#define AVIF_HASINDEX 0x10
#define AVIIF_KEYFRAME 0x10
#define MAIN_HEADER_BYTES 56
#define STREAM_HEADER_BYTES 56
#define FORMAT_BYTES 40
#define BITS_PER_PIXEL 24
#define MICROSECONDS 1000000u

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

void Put16(Writer& w, uint16_t value)
{
    *w.at++ = static_cast<uint8_t>(value);
    *w.at++ = static_cast<uint8_t>(value >> 8);
}

uint32_t Clamp32(uint64_t value)
{
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
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
    const uint64_t indexBytes =
        progress.indexed ? AVI_CHUNK_HEADER_BYTES + progress.frames * AVI_INDEX_ENTRY_BYTES : 0;
    // The frame list's size counts its type field; the form's counts its own type field
    // and everything after it.
    const uint64_t moviSize = 4 + progress.frameBytes;
    const uint64_t riffSize = AVI_HEAD_BYTES - 8 + progress.frameBytes + indexBytes;

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
    Put32(w, progress.indexed ? AVIF_HASINDEX : 0);
    Put32(w, progress.frames);
    Put32(w, 0);                               // initial frames
    Put32(w, 1);                               // streams
    Put32(w, imageBytes);                      // suggested buffer size
    Put32(w, stream.width);
    Put32(w, stream.height);
    for (int i = 0; i < 4; ++i) {
        Put32(w, 0);
    }
    Put(w, "LIST");
    Put32(w, 4 + 8 + STREAM_HEADER_BYTES + 8 + FORMAT_BYTES);
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
    Put32(w, progress.frames);                 // length
    Put32(w, imageBytes);                      // suggested buffer size
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
    for (int i = 0; i < 4; ++i) {
        Put32(w, 0);
    }
    Put(w, "LIST");
    Put32(w, Clamp32(moviSize));
    Put(w, "movi");
}

void FormatFrameChunkHeader(uint32_t dataBytes, uint8_t (&header)[AVI_CHUNK_HEADER_BYTES])
{
    Writer w = {header};
    Put(w, "00dc");
    Put32(w, dataBytes);
}

uint64_t AviIndexBytes(uint64_t frames)
{
    return AVI_CHUNK_HEADER_BYTES + frames * AVI_INDEX_ENTRY_BYTES;
}

void FormatAviIndex(const uint32_t* frameSizes, uint32_t frames, uint8_t* index)
{
    Writer w = {index};
    Put(w, "idx1");
    Put32(w, Clamp32(static_cast<uint64_t>(frames) * AVI_INDEX_ENTRY_BYTES));
    uint64_t offset = 4;   // the first chunk follows the frame list's type field
    for (uint32_t i = 0; i < frames; ++i) {
        Put(w, "00dc");
        Put32(w, AVIIF_KEYFRAME);
        Put32(w, Clamp32(offset));
        Put32(w, frameSizes[i]);
        offset += FrameChunkBytes(frameSizes[i]);
    }
}
