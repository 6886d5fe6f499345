// mp3encode.h -- whole-file writes and the one lame command line that the music tools encode MP3 with
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes size bytes to path; false, with a message naming the file, when it could not.
bool writeFile(const std::string &path, const void *data, size_t size);

// Quotes text as one word for the shell.
std::string shellQuote(const std::string &text);

// Encodes interleaved stereo 16-bit PCM at rate Hz into an MP3 at mp3Path, constant kbits
// kbit/s; false, with a message, when lame failed. The WAV handed to lame is mp3Path +
// ".wav.part" and is removed afterwards whatever happened.
bool encodeMp3(const std::vector<int16_t> &pcm, int rate, int kbits, const std::string &mp3Path);
