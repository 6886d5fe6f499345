// capture.h -- the capture's video writer: frames and sound in, an .mp4 or .mkv (or PNGs) out
#pragma once
#include <cstdint>
#include <string>

// Starts a capture into `output`. The extension picks the codecs: ".mp4" for H.264 and AAC,
// ".mkv" for FFV1 and FLAC (both lossless). Without ffmpeg on the PATH the frames go to
// numbered PNG files and the sound to "audio.wav" in a folder named after the output without
// its extension. Returns false (after saying why on standard error) when nothing can be written.
bool captureOpen(const std::string &output, int width, int height, int fps);
// Bytes of disk a capture of `seconds` of a presentation of `wholeSeconds` into `output` needs
// at its peak, as captureOpen would write it: the video and sound parts and, beside them, the
// finished file. An estimate from the size, the length and the codec, with a margin for the
// densest stretch of that length (the scenes differ in what they take).
int64_t captureSpaceNeeded(const std::string &output, int width, int height, int fps, double seconds,
                           double wholeSeconds);
// Bytes free for this user on the file system that would hold `output`; -1 when unknown.
int64_t captureFreeSpace(const std::string &output);
// One frame as OpenGL reads it: width * height pixels of 4 bytes (blue, green, red, unused),
// bottom row first. It is written in the background: the pixels must stay as they are until
// the next call or captureClose returns. False when a frame could not be written (ffmpeg
// ended, or the disk refused a PNG): the capture should stop.
bool captureAddFrame(const uint8_t *bgrx);
// `frames` stereo frames of interleaved 16-bit samples at 44100 Hz.
void captureAddSound(const int16_t *samples, int64_t frames);
// Closes the files and muxes the video; says on standard error what was written. Returns
// false when nothing was captured, or the video could not be completed (the parts written
// so far are kept then).
bool captureClose();
int64_t captureFramesWritten();

// Writes one frame as captureAddFrame takes it to a PNG file at `path`; false when it could
// not be written.
bool captureWritePicture(const std::string &path, const uint8_t *bgrx, int width, int height);
