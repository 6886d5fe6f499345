// score.h -- reads the small text notation the scores are written in, and puts notes into patterns
//
// Melody lines: tokens "NOTE:ROWS" separated by spaces, bars separated by "|". NOTE is a pitch
// name with octave, A4 = 440 Hz ("C#5", "Bb4", "G#5"), or "r" for a rest; ROWS is how many
// pattern rows the note lasts. "@T" after the rows delays the note by T ticks within its first
// row. Every bar must add up to the bar length, so a miscounted bar is caught at once:
//   "E5:2 A5:2 A5:2 B5:2 C6:4 B5:2 A5:2 | ..."
// Chord lines: "SYMBOL:ROWS", SYMBOL a root and a quality: "Am", "E", "E7", "Dm", "Bdim".
// Hit lines: one character per row: X loud, x normal, o soft, . nothing ("|" and spaces are
// ignored). A line of one bar is repeated to fill the pattern.
#pragma once
#include "xmwriter.h"

#include <string>
#include <vector>

struct NoteEvent {
    int row;    // first row, from the start of the line
    int rows;   // length in rows
    int note;   // XM note number, 0 for a rest
    int delay;  // ticks into the first row
};

struct ChordEvent {
    int row;
    int rows;
    int root;                // pitch class, 0 = C
    std::vector<int> tones;  // semitones above the root, ascending
    std::string symbol;
};

// XM note number of a pitch name ("A4" is 58); exits with a message on a bad name.
int noteNumber(const std::string &name);
std::string noteName(int note);

std::vector<NoteEvent> parseMelody(const std::string &text, int rowsPerBar);
std::vector<ChordEvent> parseChords(const std::string &text, int rowsPerBar);
// Volume (0 to 64) for each of `rows` rows.
std::vector<int> parseHits(const std::string &text, int rows);

// The chord sounding at a row (the last one if the row is past the end).
const ChordEvent &chordAt(const std::vector<ChordEvent> &chords, int row);
// Chord tones as notes, the lowest at or above `lowest`.
std::vector<int> voicing(const ChordEvent &chord, int lowest);

// Pattern cells: row-major, `channels` cells per row.
XmCell &cellAt(XmPattern &pattern, int channels, int row, int channel);
XmPattern emptyPattern(int rows, int channels);

const uint8_t keyOff = 97;
inline uint8_t volumeByte(int volume) { return uint8_t(0x10 + (volume < 0 ? 0 : volume > 64 ? 64 : volume)); }
