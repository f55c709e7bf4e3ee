// Pictures are encoded on worker threads and handed to the writer in slot order. The
// capture thread submits each slot as it is captured, any free worker encodes it, and
// the writer takes them back strictly in the order submitted, whichever was encoded
// first, so the file's samples keep to their slots. A slot without a picture of its own
// (a failed capture, one that did not change) passes through in its place unencoded.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "jpeg_baseline.h"

// Encodes one picture as EncodeBaselineJpeg does, which it is unless a test gives another.
typedef bool (*EncodePicture)(const BgrxImage& image, int quality, std::vector<uint8_t>* out);
// Gives a capture buffer back once its picture is encoded or left out.
typedef void (*ReleaseBuffer)(void* context, int buffer);

enum PictureState { PICTURE_WAITING, PICTURE_ENCODING, PICTURE_DONE };

struct PoolPicture {
    uint64_t slot;
    int buffer;      // the capture buffer holding its pixels; -1: it repeats the picture before
    PictureState state;
    bool encoded;    // false for a repeat, a picture the encoder refused or one left out
    std::vector<uint8_t> jpeg;
};

struct EncoderPool {
    BgrxImage image;                   // every picture's size and stride
    std::vector<const uint8_t*> pixels;   // each capture buffer's top row
    EncodePicture encode;
    ReleaseBuffer release;
    void* context;

    std::mutex lock;
    std::condition_variable changed;
    std::deque<PoolPicture> pictures;   // submitted and not yet taken by the writer, in order
    std::vector<std::vector<uint8_t>> spare;   // output the writer is done with, for reuse
    bool closed;       // nothing more comes
    bool leavingOut;   // the writer writes no more: pictures not yet begun are not encoded
    std::vector<std::thread> workers;
};

// Starts `workers` threads. `pixels` and `release` must stay valid until StopEncoders.
void StartEncoders(EncoderPool* pool, uint32_t workers, const BgrxImage& image,
                   const std::vector<const uint8_t*>& pixels, EncodePicture encode,
                   ReleaseBuffer release, void* context);
// Hands on a slot, in slot order; buffer -1 for one that repeats the picture before.
void SubmitPicture(EncoderPool* pool, uint64_t slot, int buffer);
// Nothing more will be submitted.
void CloseSubmissions(EncoderPool* pool);
// From now on pictures no worker has begun are given back unencoded.
void LeaveOutTheRest(EncoderPool* pool);
// The next slot in submission order, once it is done; false once submissions are closed
// and all taken. The output `picture` held before goes back for reuse.
bool TakePicture(EncoderPool* pool, PoolPicture* picture);
// Waits for the workers to end; submissions must be closed.
void StopEncoders(EncoderPool* pool);
