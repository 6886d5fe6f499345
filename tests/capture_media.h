// capture_media.h -- reads captured videos back through ffmpeg and ffprobe for the capture tests
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct MediaInfo {
    std::string videoCodec, audioCodec;
    std::string frameRate;    // as ffprobe gives it, "10/1"
    int width = 0, height = 0;
    long long frames = -1;    // video frames counted by decoding
    double audioSeconds = 0;  // decoded sound, in seconds at 44100 Hz
    std::string videoProfile;  // as ffprobe names it, "High"
    // the video's colour tags: matrix, primaries, transfer, range ("unknown" when untagged)
    std::string colorSpace, colorPrimaries, colorTransfer, colorRange;
    int audioRate = 0;         // Hz, as stored
};

MediaInfo probe(const std::string &file);
// The first sound track decoded to 44100 Hz stereo 16-bit samples, interleaved.
std::vector<int16_t> decodeSound(const std::string &file);
// Every video frame decoded to RGB, top row first; `filter` (such as a scale with the matrix
// a player would use) comes before the conversion to RGB.
std::vector<std::vector<uint8_t>> decodeFrames(const std::string &file, int width, int height,
                                               const std::string &filter = "");
// The MD5 of each video frame as RGB (ffmpeg's framemd5), for a video or an image.
std::vector<std::string> frameHashes(const std::string &file);
// Mean absolute difference of two equally sized pictures, per channel value (0 to 255).
double meanDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b);

// Runs `program` with `arguments` in `directory` (after `environment`, such as "PATH=/x");
// standard output and error go to `name`.out and `name`.err there. Returns the exit status.
int runProgram(const std::string &program, const std::string &directory, const std::string &arguments,
               const std::string &name, const std::string &environment = "");
// Writes an RGB picture as a PNG through ffmpeg. False when that failed.
bool writePicture(const std::string &file, const std::vector<uint8_t> &rgb, int width, int height);

std::string readFileText(const std::string &file);
bool writeFileBytes(const std::string &file, const std::vector<uint8_t> &bytes);
