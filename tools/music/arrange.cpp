// arrange.cpp -- turns parsed score lines into pattern cells: melodies, tremolo, arpeggios, chords, bass, drums
#include "arrange.h"

// XM effect commands used here.
const uint8_t effectVibrato = 0x04;   // 4xy: vibrato at speed x, depth y
const uint8_t effectPanning = 0x08;   // 8xx: set panning
const uint8_t effectExtended = 0x0E;  // Exy: x selects the command
const uint8_t extRetrigger = 0x90;    // E9x: strike again every x ticks
const uint8_t extNoteDelay = 0xD0;    // EDx: start the note x ticks into the row
const uint8_t volumeFineUp = 0x90;    // volume column 9x: x louder, once a row

static int rowsOf(const Track &t) { return t.pattern->rows; }

static XmCell &cell(const Track &t, int row, int channelOffset = 0) {
    return cellAt(*t.pattern, t.channels, row, t.channel + channelOffset);
}

// Strikes a note with the track's instrument at the given volume.
static XmCell &strike(const Track &t, int row, int note, int volume, int channelOffset = 0) {
    XmCell &c = cell(t, row, channelOffset);
    c.note = uint8_t(note);
    c.instrument = uint8_t(t.instrument);
    c.volume = volumeByte(volume);
    return c;
}

// A player leans on the bar's downbeat and on long notes and passes lightly over the
// notes between the beats.
static int accented(int volume, const NoteEvent &e) {
    int accent = e.row % 16 == 0 ? 6 : e.row % 4 == 0 ? 2 : e.row % 2 == 0 ? -4 : -8;
    if (e.rows >= 6)
        accent += 3;
    return volume + accent * volume / 46;
}

void writeMelody(Track track, const std::vector<NoteEvent> &line, int volume, int transpose) {
    for (const NoteEvent &e : line) {
        if (e.row >= rowsOf(track))
            break;
        if (e.note == 0) {
            cell(track, e.row).note = keyOff;
            continue;
        }
        XmCell &c = strike(track, e.row, e.note + transpose, accented(volume, e));
        if (e.delay > 0) {
            c.effect = effectExtended;
            c.param = uint8_t(extNoteDelay | e.delay);
        }
        // Vibrato only after the note has spoken: a wobble on the attack sounds out of tune.
        if (track.vibrato && e.rows >= 4)
            for (int r = e.row + 2; r < e.row + e.rows && r < rowsOf(track); r++) {
                XmCell &held = cell(track, r);
                if (held.note == 0 && held.effect == 0) {
                    held.effect = effectVibrato;
                    held.param = track.vibrato;
                }
            }
    }
}

void writeEcho(Track track, const std::vector<NoteEvent> &line, int volume, int transpose, int delayRows) {
    std::vector<NoteEvent> later;
    for (NoteEvent e : line) {
        e.row += delayRows;
        if (e.row < rowsOf(track))
            later.push_back(e);
    }
    writeMelody(track, later, volume, transpose);
}

void writeTremolo(Track track, const std::vector<NoteEvent> &line, int volume, int retrigTicks, int transpose) {
    for (const NoteEvent &e : line) {
        for (int r = e.row; r < e.row + e.rows && r < rowsOf(track); r++) {
            if (e.note == 0) {
                if (r == e.row)
                    cell(track, r).note = keyOff;
                continue;
            }
            bool down = (r - e.row) % 2 == 0;
            XmCell &c = strike(track, r, e.note + transpose, down ? volume : volume * 3 / 4);
            if (retrigTicks > 0) {
                c.effect = effectExtended;
                c.param = uint8_t(extRetrigger | retrigTicks);
            }
        }
    }
}

// Three voices from a chord: a seventh chord drops its fifth.
static std::vector<int> chordVoices(const ChordEvent &chord, int voices, int lowest) {
    ChordEvent reduced = chord;
    if (int(reduced.tones.size()) > voices && reduced.tones.size() > 2)
        reduced.tones.erase(reduced.tones.begin() + 2);
    std::vector<int> notes = voicing(reduced, lowest);
    notes.resize(voices, notes.back());
    return notes;
}

// The chord's root in the octave that starts at `lowest`.
static int rootFrom(const ChordEvent &chord, int lowest) {
    return lowest + ((chord.root - (lowest - 1)) % 12 + 12) % 12;
}

// Strikes one note on every hit, chosen by `pick` from the chord in force and the hit's place
// among that chord's hits (counted from 0 again at each new chord).
template <class Pick>
static void walkChords(Track track, const std::vector<ChordEvent> &chords, const std::vector<int> &hits, Pick pick) {
    const ChordEvent *current = nullptr;
    int step = 0;
    for (int r = 0; r < rowsOf(track) && r < int(hits.size()); r++) {
        if (hits[r] == 0)
            continue;
        const ChordEvent &chord = chordAt(chords, r);
        if (&chord != current) {
            current = &chord;
            step = 0;
        }
        strike(track, r, pick(chord, step), hits[r]);
        step++;
    }
}

void writeArpeggio(Track track, const std::vector<ChordEvent> &chords, const std::vector<int> &hits, int lowest) {
    static const int walk[6] = {0, 1, 2, 3, 2, 1};
    walkChords(track, chords, hits, [&](const ChordEvent &chord, int step) {
        std::vector<int> notes = chordVoices(chord, 3, lowest);
        notes.push_back(rootFrom(chord, lowest) + 12);
        return notes[walk[step % 6]];
    });
}

static uint8_t voicePan(int voice, int voices) {
    return uint8_t(voices <= 1 ? 128 : 40 + voice * 176 / (voices - 1));
}

// One voice of a chord on its own channel, panned by its place in the chord.
static void strikeVoice(const Track &track, int row, const std::vector<int> &notes, int voice, int voices,
                        int volume) {
    XmCell &c = strike(track, row, notes[voice], volume, voice);
    c.effect = effectPanning;
    c.param = voicePan(voice, voices);
}

void writeHeldChords(Track track, int voices, const std::vector<ChordEvent> &chords, int volume, int lowest,
                     bool swell) {
    for (const ChordEvent &chord : chords) {
        if (chord.row >= rowsOf(track))
            break;
        std::vector<int> notes = chordVoices(chord, voices, lowest);
        for (int v = 0; v < voices; v++) {
            strikeVoice(track, chord.row, notes, v, voices, swell ? volume * 3 / 5 : volume);
            if (!swell)
                continue;
            for (int r = chord.row + 1; r < chord.row + chord.rows && r < rowsOf(track); r++)
                if ((r - chord.row) * 5 <= volume * 2)  // up to the full volume, then held
                    cell(track, r, v).volume = uint8_t(volumeFineUp | 1);
        }
    }
}

void writeStabs(Track track, int voices, const std::vector<ChordEvent> &chords, const std::vector<int> &hits, int lowest) {
    int rows = rowsOf(track);
    for (int r = 0; r < rows && r < int(hits.size()); r++) {
        if (hits[r] == 0)
            continue;
        std::vector<int> notes = chordVoices(chordAt(chords, r), voices, lowest);
        for (int v = 0; v < voices; v++) {
            strikeVoice(track, r, notes, v, voices, hits[r]);
            if (r + 2 < rows && hits[r + 1] == 0 && hits[r + 2] == 0)
                cell(track, r + 2, v).note = keyOff;
        }
    }
}

void writeBass(Track track, const std::vector<ChordEvent> &chords, const std::vector<int> &hits, int lowest) {
    walkChords(track, chords, hits, [&](const ChordEvent &chord, int step) {
        int root = rootFrom(chord, lowest);
        int fifth = root + 7 <= lowest + 14 ? root + 7 : root - 5;
        return step % 2 == 0 ? root : fifth;
    });
}

void writeHits(Track track, const std::vector<int> &hits) {
    for (int r = 0; r < rowsOf(track) && r < int(hits.size()); r++) {
        if (hits[r] == 0)
            continue;
        strike(track, r, 49, hits[r]);  // C-4: the sample's own pitch
    }
}

void panNotes(XmPattern &pattern, int channels, int channel, int pan) {
    for (int r = 0; r < pattern.rows; r++) {
        XmCell &c = cellAt(pattern, channels, r, channel);
        if (c.note >= 1 && c.note <= 96 && c.effect == 0 && c.param == 0) {
            c.effect = effectPanning;
            c.param = uint8_t(pan);
        }
    }
}

void scaleVolumes(XmPattern &pattern, int percent) {
    for (XmCell &c : pattern.cells)
        if (c.volume >= 0x10 && c.volume <= 0x50)
            c.volume = volumeByte(((c.volume - 0x10) * percent + 50) / 100);
}
