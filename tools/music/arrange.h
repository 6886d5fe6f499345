// arrange.h -- turns parsed score lines into pattern cells: melodies, tremolo, arpeggios, chords, bass, drums
#pragma once
#include "score.h"

// Where a part goes: one channel of a pattern (or the first of several, for chords).
struct Track {
    XmPattern *pattern;
    int channels;  // channels of the module
    int channel;
    int instrument;
    uint8_t vibrato = 0;  // 4xy parameter for the held part of long melody notes, 0 for none
};

// A melody as written: each note struck once; a rest sends key-off so the release is heard.
// Notes are accented by where they fall (downbeats and long notes up, off-beats down), and
// notes of a beat or longer get the track's vibrato once they have spoken.
void writeMelody(Track track, const std::vector<NoteEvent> &line, int volume, int transpose);

// The melody again `delayRows` later, for an echo channel: what would run past the pattern's
// end is dropped.
void writeEcho(Track track, const std::vector<NoteEvent> &line, int volume, int transpose, int delayRows);

// A balalaika tremolo: every note re-plucked on every row it lasts, down-strokes louder than
// up-strokes. With retrigTicks > 0 each row is plucked again after that many ticks as well.
void writeTremolo(Track track, const std::vector<NoteEvent> &line, int volume, int retrigTicks, int transpose);

// Plucks walking up and down the chord at each hit: root, third, fifth, octave, fifth, third...
void writeArpeggio(Track track, const std::vector<ChordEvent> &chords, const std::vector<int> &hits, int lowest);

// Chords over `voices` channels from track.channel on. Held chords restrike at every chord
// change; stabs last two rows. Voices are panned apart so the chord is wide. A swelling held
// chord starts softer and grows by one step a row (the bellows opening).
void writeHeldChords(Track track, int voices, const std::vector<ChordEvent> &chords, int volume, int lowest,
                     bool swell);
void writeStabs(Track track, int voices, const std::vector<ChordEvent> &chords, const std::vector<int> &hits, int lowest);

// Bass on each hit: root and fifth in turn within one chord, held to the next hit.
void writeBass(Track track, const std::vector<ChordEvent> &chords, const std::vector<int> &hits, int lowest);

// One-shot percussion at its own pitch.
void writeHits(Track track, const std::vector<int> &hits);

// Pans every note struck on a channel that carries no other effect: notes reset the panning
// to the sample's own, so a channel keeps its place only if each note says it again.
void panNotes(XmPattern &pattern, int channels, int channel, int pan);

// Scales every set-volume of the volume column, to level a whole order up or down.
void scaleVolumes(XmPattern &pattern, int percent);
