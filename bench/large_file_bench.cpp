// Writes a recording of more than 4 GiB through the tool's own AVI writer, of synthetic
// 1920x1080 frames (a few different JPEG pictures in turn, every fifth slot a repeat),
// then reads it back with the host's completeness check. Run by large_file.sh, which
// has ffprobe and ffmpeg read the file and removes it.
//   large_file_bench PATH
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "avi_file.h"
#include "avi_writer.h"
#include "capture_session.h"
#include "code_page.h"
#include "describe_error.h"
#include "jpeg_baseline.h"
#include "recorder_logic.h"

#define WIDTH 1920
#define HEIGHT 1080
#define PICTURES 4
#define REPEAT_EVERY 5
#define TARGET_BYTES (4ull * 1024 * 1024 * 1024 + 256ull * 1024 * 1024)

static double Now()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

// Noise over colour bands: big pictures, as the busiest screen would give.
static std::vector<uint8_t> Picture(unsigned seed)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(WIDTH) * HEIGHT * 4);
    unsigned state = seed * 2654435761u + 1;
    for (size_t i = 0; i < pixels.size(); ++i) {
        state = state * 1103515245u + 12345u;
        pixels[i] = static_cast<uint8_t>((state >> 16) ^ (i / 4 % WIDTH / 8 * (seed + 1)));
    }
    std::vector<uint8_t> jpeg;
    const BgrxImage image = {pixels.data(), WIDTH * 4, WIDTH, HEIGHT};
    EncodeBaselineJpeg(image, JPEG_QUALITY, &jpeg);
    return jpeg;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: large_file_bench PATH\n");
        return 2;
    }
    const char* path = argv[1];
    std::vector<uint8_t> pictures[PICTURES];
    for (unsigned i = 0; i < PICTURES; ++i) {
        pictures[i] = Picture(i);
    }
    HANDLE created = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "CreateFileA(%s) failed: error %lu\n", path, GetLastError());
        return 1;
    }
    CloseHandle(created);
    AviWriter writer;
    char error[ERROR_TEXT_SIZE];
    if (!OpenAviWriter(&writer, path, WIDTH, HEIGHT, DEFAULT_FPS, AVI_SEGMENT_LIMIT, UINT64_MAX,
                       nullptr, error, sizeof error)) {
        fprintf(stderr, "%s\n", error);
        return 1;
    }
    const double began = Now();
    uint64_t pictured = 0;
    for (uint64_t slot = 0; writer.end < TARGET_BYTES; ++slot) {
        const bool repeat = slot % REPEAT_EVERY == REPEAT_EVERY - 1;
        const std::vector<uint8_t>& jpeg = pictures[slot % PICTURES];
        if (WriteAviFrame(&writer, jpeg.data(), repeat ? 0 : static_cast<DWORD>(jpeg.size()),
                          error, sizeof error) != AVI_WRITTEN) {
            fprintf(stderr, "frame %llu: %s\n", static_cast<unsigned long long>(slot), error);
            return 1;
        }
        pictured += repeat ? 0 : 1;
    }
    if (!CloseAviWriter(&writer, error, sizeof error)) {
        fprintf(stderr, "%s\n", error);
        return 1;
    }
    const double written = Now() - began;

    AviSummary summary;
    std::string problem;
    const double checking = Now();
    const bool complete = ReadAviFile(WideFromAnsi(path), summary, problem);
    const double checked = Now() - checking;
    const uint64_t bytes = writer.end;   // where the closed file ends
    printf("written bytes %llu frames %llu pictures %llu seconds %.2f segments %u "
           "write_s %.1f mb_per_s %.0f\n",
           static_cast<unsigned long long>(bytes),
           static_cast<unsigned long long>(writer.fill.totalFrames),
           static_cast<unsigned long long>(pictured),
           static_cast<double>(writer.fill.totalFrames) / DEFAULT_FPS, summary.segments, written,
           bytes / written / 1e6);
    printf("host_check complete %s frames %llu indexed %llu seconds %.2f check_s %.1f%s%s\n",
           complete ? "yes" : "no",
           static_cast<unsigned long long>(summary.frames),
           static_cast<unsigned long long>(summary.indexFrames), summary.seconds, checked,
           complete ? "" : " ", problem.c_str());
    return complete ? 0 : 1;
}
