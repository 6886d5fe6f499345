// soundtable.h -- the position tables of a sound rendered ahead of time: the format, its writer, its checked reader and its lookups
//
// Where the music is played from audio rendered ahead of time (the web build), the engine
// cannot ask libopenmpt or mpg123 where it is: it looks the answer up instead. `websound`
// renders the module and the stream through the engine's pull back-end, frame by frame, and
// writes beside each rendered sound what the position queries answered at every heard frame.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a table answers for: the module (position words, order in the low 16 bits, row in
// the high 16) or the stream (the byte offset of the MPEG frame heard, then the file's length).
enum SoundKind { SOUND_MODULE = 1, SOUND_STREAM = 2 };

// From heard frame `frame` on (counted from the sound's start), the query answers `value`.
struct SoundChange {
    uint32_t frame;
    uint32_t value;
};

// Frames of the render kept as the alignment reference (29 ms): short, so that a shift by
// the period of a tone in it lowers the match clearly.
const int SOUND_REFERENCE_FRAMES = 1280;
// How far (frames) a decoder may shift the sound it decodes against the render: an MP3
// decoder that ignores the encoder's gapless tag adds its delay and the tag frame (2257
// frames with lame); AAC adds 2112. The search covers both with room to spare.
const int SOUND_MAX_SHIFT = 4800;

struct SoundTable {
    SoundKind kind = SOUND_MODULE;
    int rate = 0;                     // frames a second of the render; every frame count here is at it
    uint32_t frames = 0;              // frames of sound rendered
    uint32_t fileLength = 0;          // bytes of the stream's file; 0 for a module
    std::vector<SoundChange> changes; // the first at frame 0, frames rising
    std::vector<uint32_t> ends;       // module: frames from which one more pass has ended, rising
    uint32_t referenceFrame = 0;      // where the reference begins in the render
    std::vector<int16_t> reference;   // the render there, mono ((left + right) / 2)

    // The answer at heard frame `frame` (before the start: the answer at frame 0; past the
    // render: its last answer).
    uint32_t valueAt(int64_t frame) const;
    // Passes ended by heard frame `frame`.
    int endsAt(int64_t frame) const;
};

// The file: a 40-byte header, the changes (frame, value), the ends, the reference
// (16-bit samples); little-endian throughout, and nothing after the reference.
std::vector<uint8_t> writeSoundTable(const SoundTable &table);
// Reads and checks a table: "" when it is whole and consistent, else what is wrong (table
// is then empty). Never trusts the bytes: counts are checked against the size before anything
// is allocated.
std::string readSoundTable(const uint8_t *data, size_t size, SoundTable &table);

// Picks the reference from the render (interleaved stereo, `frames` frames at the table's
// rate): an early excerpt that matches itself nowhere else around it.
void takeReference(SoundTable &table, const int16_t *render, int64_t frames);

// Where a decoder put the render: decoded frame f + shift holds render frame f.
struct SoundAlignment {
    int shift = 0;
    double match = 0;  // normalised correlation at the shift, 1 for the same samples
};
// The decoded frames the alignment looks at, for a decoded sound of `decodedFrames` frames:
// `count` frames from `from`.
void alignmentSpan(const SoundTable &table, int64_t decodedFrames, int64_t &from, int &count);
// Finds the shift of decoded mono samples (`count` from decoded frame `from`, as
// alignmentSpan asks, -1 to 1) against the reference: "" and the alignment, or why the
// decoded sound is not the render (no clear match).
std::string alignDecoded(const SoundTable &table, const float *decoded, int64_t from, int count,
                         SoundAlignment &alignment);
