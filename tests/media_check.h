// Checks of recorded files for tests under Wine: ffprobe and ffmpeg run natively
// through Wine's start of Unix programs, and decoded frames are compared with the
// colour the target window painted.
#pragma once

#include <map>
#include <string>

// The Linux path of a Windows path; empty when not running under Wine.
std::string UnixPath(const std::string& path);

// Runs a Unix command line natively, its output collected through a file in the folder;
// false, and a test failure unless told otherwise, when it fails or gives no result in
// time.
bool RunUnix(const std::string& folder, const std::string& command, std::string* output,
             bool mustSucceed = true);

// Whether ffmpeg decodes the whole video and says nothing; what it said otherwise.
bool DecodesCleanly(const std::string& folder, const std::string& video, std::string* said);

// The same as a test expectation, for every recording a test leaves.
void ExpectDecodesInFull(const std::string& folder, const std::string& video);

// ffprobe's codec_name, width, height, nb_frames (the header's count of slots),
// nb_read_frames (the pictures its reader passes on), r_frame_rate and duration.
std::map<std::string, std::string> Probe(const std::string& folder, const std::string& video);

// Every frame of the video as RGB24 at its constant rate, one a slot, decoded in full
// by ffmpeg, which must report nothing wrong on the way; or its pictures alone, without
// the slots that repeat one.
std::string DecodeFrames(const std::string& folder, const std::string& video,
                         bool picturesAlone = false);

// Corners and centre of every frame show the colour (0xRRGGBB).
void ExpectSolidFrames(const std::string& frames, int width, int height, unsigned long rgb,
                       long frameCount);

// The file is Motion-JPEG at the tool's frame rate and the region's size, holds as many
// slots as the seconds recorded (within a small tolerance, and the time the tool took to
// answer the clicks that began and ended it), all showing the colour.
// Returns the pictures among them, the slots that are no repeat.
long ExpectRecording(const std::string& folder, const std::string& video, int width, int height,
                     double seconds, unsigned long rgb, double handling = 0);
