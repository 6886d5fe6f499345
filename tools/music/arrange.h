// arrange.h -- turns parsed score lines into pattern cells: melodies, tremolo, arpeggios, chords, bass, drums
#pragma once
#include "score.h"

// Where a part goes: one channel of a pattern (or the first of several, for chords).
struct Track {
    XmPattern *pattern;
    int channels;  // channels of the module
    int channel;
    int instrument;
};

// A melody as written: each note struck once; a rest sends key-off so the release is heard.
void writeMelody(Track track, const std::vector<NoteEvent> &line, int volume, int transpose);

// A balalaika tremolo: every note re-plucked on every row it lasts, down-strokes louder than
// up-strokes. With retrigTicks > 0 each row is plucked again after that many ticks as well.
void writeTremolo(Track track, const std::vector<NoteEvent> &line, int volume, int retrigTicks);

// Plucks walking up and down the chord at each hit: root, third, fifth, octave, fifth, third...
void writeArpeggio(Track track, const std::vector<ChordEvent> &chords, const std::vector<int> &hits, int lowest);

// Chords over `voices` channels from track.channel on. Held chords restrike at every chord
// change; stabs last two rows. Voices are panned apart so the chord is wide.
void writeHeldChords(Track track, int voices, const std::vector<ChordEvent> &chords, int volume, int lowest);
void writeStabs(Track track, int voices, const std::vector<ChordEvent> &chords, const std::vector<int> &hits, int lowest);

// Bass on each hit: root and fifth in turn within one chord, held to the next hit.
void writeBass(Track track, const std::vector<ChordEvent> &chords, const std::vector<int> &hits, int lowest);

// One-shot percussion at its own pitch.
void writeHits(Track track, const std::vector<int> &hits);
