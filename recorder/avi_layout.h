// The bytes of the tool's AVI files: a RIFF 'AVI ' form with one Motion-JPEG video
// stream, every frame a key frame. The head (RIFF header, header list, the frame list's
// opening) has one fixed size, so the writer puts it down first and writes it again in
// place as frames come; a file whose writer was ended early still opens, with the
// frames written before its last head. Pure byte layout, no platform calls.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define AVI_HEAD_BYTES 224
#define AVI_CHUNK_HEADER_BYTES 8ull
#define AVI_INDEX_ENTRY_BYTES 16ull

struct AviStreamInfo {
    uint32_t width;
    uint32_t height;
    uint32_t fps;
};

// How far the file has come: frames written, the bytes their chunks take (headers and
// padding included), and whether the index follows them.
struct AviProgress {
    uint32_t frames;
    uint64_t frameBytes;
    bool indexed;
};

// The file's head for that progress.
void FormatAviHead(const AviStreamInfo& stream, const AviProgress& progress,
                   uint8_t (&head)[AVI_HEAD_BYTES]);

// A frame's chunk header; the data follows, then one zero byte when its size is odd.
void FormatFrameChunkHeader(uint32_t dataBytes, uint8_t (&header)[AVI_CHUNK_HEADER_BYTES]);

// Bytes of the index chunk for that many frames.
uint64_t AviIndexBytes(uint64_t frames);

// The index chunk that follows the frames: one entry a frame, each with its chunk's
// offset from the frame list's type field and its data size. index holds
// AviIndexBytes(frames) bytes.
void FormatAviIndex(const uint32_t* frameSizes, uint32_t frames, uint8_t* index);

// File bytes one frame of dataBytes takes in the frame list.
uint64_t FrameChunkBytes(uint64_t dataBytes);
