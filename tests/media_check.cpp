#include "media_check.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>

#include "capture_session.h"
#include "process_harness.h"

namespace {
const int FRAME_TOLERANCE = 2;
const int COLOUR_TOLERANCE = 24;
const DWORD UNIX_WAIT_MS = 30000;
const char* const UNIX_TIMEOUT = "/usr/bin/timeout 20 ";

bool Near(int a, int b)
{
    return a - b <= COLOUR_TOLERANCE && b - a <= COLOUR_TOLERANCE;
}
} // namespace

std::string UnixPath(const std::string& path)
{
    typedef char*(CDECL * UnixFileName)(LPCWSTR);
    UnixFileName convert = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) {
        return "";
    }
    char full[MAX_PATH];
    GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, full, -1, wide, MAX_PATH);
    char* unixPath = convert(wide);
    if (unixPath == nullptr) {
        return "";
    }
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

// Runs a Unix command line natively through Wine. Wine starts Unix programs without
// a process handle or standard handles, so the output goes to a file that appears
// under its final name only when the command is done.
bool RunUnix(const std::string& folder, const std::string& command, std::string* output,
             bool mustSucceed)
{
    static int serial = 0;
    std::string result = folder + "\\unix_" + std::to_string(++serial) + ".txt";
    std::string unixResult = UnixPath(result);
    if (unixResult.empty()) {
        ADD_FAILURE() << "no Unix path for " << result << " (not running under Wine?)";
        return false;
    }
    std::string shell = "/bin/sh -c \"" + std::string(UNIX_TIMEOUT) + command + " > '" +
                        unixResult + ".part' 2>&1; echo exit=$? >> '" + unixResult +
                        ".part'; mv '" + unixResult + ".part' '" + unixResult + "'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &shell[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        ADD_FAILURE() << "CreateProcessA(/bin/sh) failed (error " << GetLastError() << ")";
        return false;
    }
    if (!WaitUntil([&] { return GetFileAttributesA(result.c_str()) != INVALID_FILE_ATTRIBUTES; },
                   UNIX_WAIT_MS)) {
        ADD_FAILURE() << "no result from: " << command;
        return false;
    }
    *output = ReadTextFile(result);
    DeleteFileA(result.c_str());
    if (output->find("exit=0") == std::string::npos) {
        if (mustSucceed) {
            ADD_FAILURE() << command << " failed:\n" << *output;
        }
        return false;
    }
    return true;
}

bool DecodesCleanly(const std::string& folder, const std::string& video, std::string* said)
{
    bool decoded = RunUnix(folder, "/usr/bin/ffmpeg -v error -i '" + UnixPath(video) + "' -f null -",
                           said, false);
    *said = said->substr(0, said->find("exit=0"));
    return decoded && said->empty();
}

void ExpectDecodesInFull(const std::string& folder, const std::string& video)
{
    std::string said;
    EXPECT_TRUE(DecodesCleanly(folder, video, &said)) << video << ": " << said;
}

std::map<std::string, std::string> Probe(const std::string& folder, const std::string& video)
{
    std::map<std::string, std::string> fields;
    std::string output;
    if (!RunUnix(folder,
                 "/usr/bin/ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                 "stream=codec_name,width,height,nb_frames,nb_read_frames,r_frame_rate,duration "
                 "-of default=noprint_wrappers=1 '" + UnixPath(video) + "'",
                 &output)) {
        return fields;
    }
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        std::string line = output.substr(start, end - start);
        size_t equals = line.find('=');
        if (equals != std::string::npos) {
            fields[line.substr(0, equals)] = line.substr(equals + 1);
        }
        start = end == std::string::npos ? output.size() : end + 1;
    }
    return fields;
}

std::string DecodeFrames(const std::string& folder, const std::string& video,
                         bool picturesAlone)
{
    std::string raw = folder + "\\frames.rgb";
    std::string output;
    if (!RunUnix(folder, "/usr/bin/ffmpeg -v error -i '" + UnixPath(video) +
                             (picturesAlone ? "' -fps_mode passthrough" : "'") +
                             " -f rawvideo -pix_fmt rgb24 -y '" + UnixPath(raw) + "'",
                 &output)) {
        return "";
    }
    EXPECT_EQ(output.substr(0, output.find("exit=")), "") << "decoding " << video;
    std::string frames = ReadTextFile(raw);
    DeleteFileA(raw.c_str());
    return frames;
}

// Corners and centre of every frame show the colour, so an offset or a wrong size
// (which would bring in the black desktop around the target) fails.
void ExpectSolidFrames(const std::string& frames, int width, int height, unsigned long rgb,
                       long frameCount)
{
    size_t frameBytes = static_cast<size_t>(width) * height * 3;
    ASSERT_EQ(frames.size(), frameBytes * frameCount);
    const int points[][2] = {{1, 1}, {width - 2, 1}, {1, height - 2}, {width - 2, height - 2},
                             {width / 2, height / 2}};
    long badFrames = 0;
    for (long f = 0; f < frameCount; ++f) {
        bool good = true;
        for (const auto& point : points) {
            size_t at = f * frameBytes + (static_cast<size_t>(point[1]) * width + point[0]) * 3;
            int r = static_cast<unsigned char>(frames[at]);
            int g = static_cast<unsigned char>(frames[at + 1]);
            int b = static_cast<unsigned char>(frames[at + 2]);
            if (good && !(Near(r, (rgb >> 16) & 0xff) && Near(g, (rgb >> 8) & 0xff) &&
                          Near(b, rgb & 0xff))) {
                good = false;
                if (badFrames == 0) {
                    ADD_FAILURE() << "frame " << f << " at " << point[0] << "," << point[1]
                                  << " is " << r << " " << g << " " << b << ", not " << std::hex
                                  << rgb;
                }
            }
        }
        badFrames += good ? 0 : 1;
    }
    EXPECT_EQ(badFrames, 0) << "of " << frameCount << " frames";
}

// The file's timeline holds a slot for each frame period recorded (within the
// tolerance; the tool began and ended somewhere within the `handling` its clicks took to
// be answered), at the region's size, every one showing the colour. ffmpeg's AVI reader
// passes over the empty chunks of repeated slots and moves its timestamps on by them,
// so it reads fewer pictures than slots; its constant-rate decode repeats each picture
// across them, one frame a slot, as a player shows them.
long ExpectRecording(const std::string& folder, const std::string& video, int width, int height,
                     double seconds, unsigned long rgb, double handling)
{
    std::map<std::string, std::string> probe = Probe(folder, video);
    EXPECT_EQ(probe["codec_name"], "mjpeg");
    EXPECT_EQ(probe["width"], std::to_string(width));
    EXPECT_EQ(probe["height"], std::to_string(height));
    EXPECT_EQ(probe["r_frame_rate"], std::to_string(DEFAULT_FPS) + "/1");
    long slots = atol(probe["nb_frames"].c_str());
    long pictures = atol(probe["nb_read_frames"].c_str());
    EXPECT_GT(pictures, 0) << "a recording without a picture";
    EXPECT_LE(pictures, slots);
    EXPECT_NEAR(atof(probe["duration"].c_str()), static_cast<double>(slots) / DEFAULT_FPS, 0.001);
    double expected = seconds * DEFAULT_FPS + 1;
    EXPECT_GE(slots, expected - FRAME_TOLERANCE) << "after " << seconds << " s";
    EXPECT_LE(slots, expected + handling * DEFAULT_FPS + FRAME_TOLERANCE)
        << "after " << seconds << " s and " << handling << " s for the clicks";
    if (pictures > 0) {
        ExpectSolidFrames(DecodeFrames(folder, video), width, height, rgb, slots);
    }
    return pictures;
}
