// audio_files.h -- small XM modules and MP3 streams made at test time, and an MP3 frame walker
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A module from our XM writer with speed and tempo changes and a pattern break, about
// 6.7 seconds per pass; `passes` repeats its order list.
std::vector<uint8_t> makeTestModule(int passes = 1);

// Writes bytes to a file; false when it could not.
bool writeBytes(const std::string &path, const std::vector<uint8_t> &bytes);
std::vector<uint8_t> readBytes(const std::string &path);

// A scratch directory for one test program, created on first use.
std::string scratchDir();

// Synthesises `seconds` of a 44100 Hz stereo tone sweep into a WAV file and encodes it with
// lame at 128 kbit/s CBR. Returns the MP3's path, or "" when lame failed.
std::string makeTestMp3(const std::string &name, double seconds);

// Byte offsets of the MPEG audio frames in an MP3 file, found by walking frame headers from
// the first one after any ID3v2 tag; each header's length leads to the next.
struct Mp3Frame {
    uint32_t offset;  // bytes from the start of the file
    uint32_t length;  // bytes
    int samples;      // PCM frames it codes (1152 for MPEG-1 layer III)
};
std::vector<Mp3Frame> walkMp3Frames(const std::vector<uint8_t> &file);
