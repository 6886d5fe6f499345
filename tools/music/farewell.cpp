// farewell.cpp -- the end-part piece: a slow farewell song in D minor, one word of the end part per melody note
//
// Time: speed 19, four rows a beat, sixteen rows a bar. The song opens with a three-beat pickup,
// then twenty bars of tune and one last chord. The end part's table fixes five words: the
// first three (67145, 75556, 82505) and the last two (1143442, 1157339). The opening tempo,
// 219 BPM (69 beats a minute), is the one those first three words fall on: word 0 on the
// eleventh of the 19 ticks of its row (a delay), words 1 and 2 on beats 2 and 2.5. After that
// the tempo is ours: a little faster from the first full bar, pushed on in the second verse,
// and held back over the last bar so that the final chord, word 76, falls on its byte. The
// end part shows word 77 for one frame and then ends the program, so the song must have died
// away by then: word 77 is the silence after the last chord, not a note.
#include "music.h"

#include "arrange.h"
#include "synth.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

const int mp3TagBytes = 417;
const int mp3BytesPerSecond = 16000;
const int wordCount = 78;

enum { fwBass, fwPad, fwPad2, fwPad3, fwTremolo, fwLead, fwArpeggio, fwLowLead, fwEcho, fwTempo, farewellChannels };
enum { fwInsBass = 1, fwInsBalalaika, fwInsAccordion, fwInsLead };
static const int farewellPan[farewellChannels] = {128, -1, -1, -1, 72, 112, 188, 150, 212, -1};

const int farewellSpeed = 19;
const int farewellBpm = 219;   // the tempo the first three words fall on
const int tremoloTicks = 10;   // second pluck of each row: about 9 plucks a second
const int pickupRows = 12;     // three beats before the first full bar
const int rowsPerBar = 16;
const int tuneBars = 21;       // twenty bars of tune, then the last chord's bar
const int finalBar = 20;
const int padLowest = 53;       // E4: lowest note of the accordion chords
const int arpeggioLowest = 50;  // C#4
const int bassLowest = 27;      // D2
const uint8_t songVibrato = 0x33;  // 4xy on held notes: about four wobbles a second at these ticks

static int songRow(int bar, int row) { return pickupRows + bar * rowsPerBar + row; }

// Tempo from a row of the song on. The rows of the last bar slow down one by one; one row
// before it is tuned so that the final chord lands on its byte.
struct TempoChange {
    int row;  // row of the song, pickup included
    int bpm;
};
static const TempoChange farewellTempo[] = {
    {songRow(1, 0), 225},  {songRow(8, 0), 228},   {songRow(16, 0), 225},  {songRow(18, 15), 223},
    {songRow(19, 0), 212}, {songRow(19, 1), 205},  {songRow(19, 2), 198},  {songRow(19, 3), 191},
    {songRow(19, 4), 185}, {songRow(19, 5), 179},  {songRow(19, 6), 173},  {songRow(19, 7), 168},
    {songRow(19, 8), 163}, {songRow(19, 9), 158},  {songRow(19, 10), 154}, {songRow(19, 11), 150},
    {songRow(19, 12), 146}, {songRow(19, 13), 142}, {songRow(19, 14), 138}, {songRow(19, 15), 135},
};

// Word 0 to 76 is each note of this line; the words (player/endwords.inc) in the comments.
// Key words get the long notes and the strong beats; "the" is always a short pickup.
static const char *farewellTune =
    "r:5 A4:3@11 D5:2 E5:4 F5:2 | "  // the party of the
    "G5:8 F5:2 D5:6 | "              // year is over
    "C#5:2 E5:6 G5:2 E5:6 | "        // the samovar is cold
    "D5:2 F5:6 E5:2 D5:6 | "         // the strings are still
    "A5:6 G5:2 F5:8 | "              // thank you comrades
    "D5:2 F5:6 E5:2 D5:6 | "         // for dancing with us
    "G4:2 Bb4:2 D5:4 E5:8 | "        // through the long night
    "F5:2 D5:6 E5:2 F5:6 | "         // we raised our glasses
    "C5:2 F5:2 A5:8 G5:2 F5:2 | "    // to the harvest to the
    "E5:8 G5:2 F5:2 E5:4 | "         // dancers and the old
    "D5:8 F5:4 Bb5:4 | "             // songs soft snow
    "A5:4 G5:2 E5:2 F5:8 | "         // falls on the square
    "A5:2 D6:6 C6:2 A5:6 | "         // the red flags rest
    "Bb5:8 A5:4 G5:2 F5:2 | "        // goodbye until the next
    "E5:12 C#5:4 | "                 // plan now
    "D5:2 F5:6 E5:2 D5:6 | "         // we drift slowly away
    "D5:2 F5:2 Bb5:4 F5:8 | "        // on the wide river
    "G5:2 Bb5:10 A5:2 G5:2 | "       // of time look back
    "F5:4 A5:4 G5:2 F5:6 | "         // once more and wave
    "A4:2 C#5:2 G5:6 E5:6 | "        // as the wind fills
    "D5:2 r:14";                     // the: the last chord, let go at once
static const char *farewellChords =
    "Dm:16 | Gm:16 | A7:16 | Dm:16 | Dm:16 | Bb:16 | Gm:8 A:8 | Dm:16 | "
    "F:16 | C:16 | Bb:16 | C7:8 F:8 | Dm:16 | Gm:16 | A7:16 | Dm:16 | "
    "Bb:16 | Gm:16 | Dm:16 | A7:16 | Dm:16";
// A tremolo counter-line under the second verse and the third.
static const char *farewellTremolo =
    "r:16 | r:16 | r:16 | r:16 | r:16 | r:16 | r:16 | r:16 | "
    "A4:16 | G4:16 | F4:16 | E4:8 F4:8 | F4:16 | G4:16 | E4:16 | F4:16 | "
    "D4:16 | D4:16 | A4:16 | A4:8 C#5:8 | r:16";
static const char *pickupTremolo = "A4:12";

// The three verses, by bars: the first quiet, the second swelling, the third full.
struct Verse {
    int firstBar, bars;
    int lead, echo, chords;  // volumes, 0 for none
    bool swell;              // the chords grow through each bar
    const char *arpeggio;    // one bar of balalaika hits, "" for none
    const char *bass;        // one bar of bass hits
};
static const Verse verses[] = {
    {0, 8, 40, 0, 22, false, "", "o.......o......."},
    {8, 8, 44, 16, 24, true, "o.o.o.o.x.o.o.o.", "x.......o......."},
    {16, 4, 54, 20, 34, false, "x.o.x.o.x.o.x.o.", "X.......x......."},
};

// Positions the end part's table prescribes, by word.
struct FixedWord { int word; int position; };
static const FixedWord fixedWords[] = {{0, 67145}, {1, 75556}, {2, 82505}, {76, 1143442}, {77, 1157339}};

// The events of a line that start within bars [first, first + bars), moved to start at row 0.
template <typename Event>
static std::vector<Event> barsOf(const std::vector<Event> &line, int first, int bars) {
    std::vector<Event> out;
    for (Event e : line)
        if (e.row >= first * rowsPerBar && e.row < (first + bars) * rowsPerBar) {
            e.row -= first * rowsPerBar;
            out.push_back(e);
        }
    return out;
}

// Copies a pattern's cells into the song from `row` on.
static void place(XmPattern &song, const XmPattern &part, int row) {
    for (int r = 0; r < part.rows && row + r < song.rows; r++)
        for (int ch = 0; ch < farewellChannels; ch++) {
            const XmCell &c = part.cells[size_t(r) * farewellChannels + ch];
            XmCell &to = cellAt(song, farewellChannels, row + r, ch);
            if (c.note || c.instrument || c.volume || c.effect || c.param)
                to = c;
        }
}

XmModule composeFarewell() {
    const int totalRows = pickupRows + tuneBars * rowsPerBar;
    XmPattern song = emptyPattern(totalRows, farewellChannels);
    auto on = [](XmPattern &p, int channel, int instrument) { return Track{&p, farewellChannels, channel, instrument}; };

    XmPattern pickup = emptyPattern(pickupRows, farewellChannels);
    std::vector<ChordEvent> pickupChords = parseChords("Dm:12", pickupRows);
    writeHeldChords(on(pickup, fwPad, fwInsAccordion), 3, pickupChords, 18, padLowest, false);
    writeTremolo(on(pickup, fwTremolo, fwInsBalalaika), parseMelody(pickupTremolo, pickupRows), 22, tremoloTicks, 0);
    writeBass(on(pickup, fwBass, fwInsBass), pickupChords, parseHits("o...........", pickupRows), bassLowest);
    place(song, pickup, 0);

    std::vector<ChordEvent> chords = parseChords(farewellChords, rowsPerBar);
    std::vector<NoteEvent> melody = parseMelody(farewellTune, rowsPerBar);
    std::vector<NoteEvent> tremolo = parseMelody(farewellTremolo, rowsPerBar);
    for (const Verse &v : verses) {
        XmPattern part = emptyPattern(v.bars * rowsPerBar, farewellChannels);
        std::vector<NoteEvent> tune = barsOf(melody, v.firstBar, v.bars);
        std::vector<ChordEvent> harmony = barsOf(chords, v.firstBar, v.bars);
        Track lead = on(part, fwLead, fwInsLead);
        lead.vibrato = songVibrato;
        writeMelody(lead, tune, v.lead, 0);
        if (v.echo)
            writeEcho(on(part, fwEcho, fwInsLead), tune, v.echo, 0, 3);
        writeHeldChords(on(part, fwPad, fwInsAccordion), 3, harmony, v.chords, padLowest, v.swell);
        writeTremolo(on(part, fwTremolo, fwInsBalalaika), barsOf(tremolo, v.firstBar, v.bars), 20 + v.lead / 4,
                     tremoloTicks, 0);
        std::string hits;
        for (int b = 0; b < v.bars; b++)
            hits += v.arpeggio[0] ? v.arpeggio : "................";
        writeArpeggio(on(part, fwArpeggio, fwInsBalalaika), harmony, parseHits(hits, part.rows), arpeggioLowest);
        std::string bass;
        for (int b = 0; b < v.bars; b++)
            bass += v.bass;
        writeBass(on(part, fwBass, fwInsBass), harmony, parseHits(bass, part.rows), bassLowest);
        // The swell: the band under the tune comes in softly and grows over four bars.
        if (v.swell)
            for (int r = 0; r < part.rows; r++)
                for (int ch = 0; ch < farewellChannels; ch++) {
                    XmCell &c = cellAt(part, farewellChannels, r, ch);
                    int percent = std::min(100, 55 + 45 * r / (4 * rowsPerBar));
                    if (ch != fwLead && c.volume >= 0x10 && c.volume <= 0x50)
                        c.volume = volumeByte((c.volume - 0x10) * percent / 100);
                }
        if (v.firstBar == 16) {  // the last verse doubled an octave down, softly
            Track low = on(part, fwLowLead, fwInsLead);
            writeMelody(low, tune, 24, -12);
        }
        place(song, part, songRow(v.firstBar, 0));
    }

    // The last chord (word 76): the tune's note, the chord, the bass and a pluck, let go at once
    // and gone before the last word.
    XmPattern last = emptyPattern(rowsPerBar, farewellChannels);
    std::vector<ChordEvent> tonic = parseChords("Dm:16", rowsPerBar);
    writeMelody(on(last, fwLead, fwInsLead), barsOf(melody, finalBar, 1), 50, 0);
    writeHeldChords(on(last, fwPad, fwInsAccordion), 3, tonic, 30, padLowest, false);
    writeBass(on(last, fwBass, fwInsBass), tonic, parseHits("X...............", rowsPerBar), bassLowest);
    cellAt(last, farewellChannels, 0, fwArpeggio) = {62, fwInsBalalaika, volumeByte(44), 0, 0};  // D5
    for (int ch = 0; ch < farewellChannels; ch++) {
        for (int r = 1; r <= 2; r++)
            cellAt(last, farewellChannels, r, ch).volume = 0x63;  // three steps softer a tick
        cellAt(last, farewellChannels, 3, ch).note = keyOff;
    }
    place(song, last, songRow(finalBar, 0));
    // What the verses' tails left ringing into the last chord's bar stops with it.
    for (int ch : {fwEcho, fwLowLead, fwTremolo})
        cellAt(song, farewellChannels, songRow(finalBar, 0), ch).note = keyOff;

    for (const TempoChange &t : farewellTempo) {
        XmCell &c = cellAt(song, farewellChannels, t.row, fwTempo);
        c.effect = 0x0F;  // Fxx: 32 and over set the BPM
        c.param = uint8_t(t.bpm);
    }
    for (int ch = 0; ch < farewellChannels; ch++)
        if (farewellPan[ch] >= 0)
            panNotes(song, farewellChannels, ch, farewellPan[ch]);

    XmModule m;
    m.name = "farewell";
    m.channels = farewellChannels;
    m.speed = farewellSpeed;
    m.bpm = farewellBpm;
    // Patterns: the pickup alone, then four bars each, then what is left.
    int start = 0;
    int lengths[] = {pickupRows, 64, 64, 64, 64, 64, 16};
    for (int len : lengths) {
        XmPattern p = emptyPattern(len, farewellChannels);
        for (int r = 0; r < len; r++)
            for (int ch = 0; ch < farewellChannels; ch++)
                cellAt(p, farewellChannels, r, ch) = cellAt(song, farewellChannels, start + r, ch);
        m.orders.push_back(uint8_t(m.patterns.size()));
        m.patterns.push_back(p);
        start += len;
    }
    if (start != totalRows) {
        std::fprintf(stderr, "farewell: patterns hold %d rows, the song %d\n", start, totalRows);
        std::exit(1);
    }
    // Automatic vibrato advances per tick, and ticks here are 1.75 times as fast as in the
    // presentation's module: a slower rate gives the same 5 wobbles a second.
    XmInstrument lead = makeLead();
    lead.vibratoRate = 14;
    m.instruments = {makeBass(), makeBalalaika(), makeAccordion(), lead};
    return m;
}

SongClock farewellClock() {
    SongClock clock;
    const int rows = pickupRows + tuneBars * rowsPerBar;
    int bpm = farewellBpm;
    double t = 0;
    for (int r = 0; r < rows; r++) {
        for (const TempoChange &c : farewellTempo)
            if (c.row == r)
                bpm = c.bpm;
        // libopenmpt counts a tick in whole samples, 2.5 / BPM seconds cut down to a whole
        // number (503 at 219 BPM, not 503.4): over the song the fraction would add up.
        double tick = std::floor(synthRate * 2.5 / bpm) / synthRate;
        clock.rowStart.push_back(t);
        clock.tick.push_back(tick);
        t += farewellSpeed * tick;
    }
    clock.rowStart.push_back(t);
    return clock;
}

// Onset of each melody note in module time (seconds from the start of the module).
static std::vector<WordCue> wordNotes(const SongClock &clock) {
    std::vector<WordCue> words;
    for (const NoteEvent &e : parseMelody(farewellTune, rowsPerBar)) {
        if (e.note == 0)
            continue;
        WordCue w{};
        w.note = e.note;
        w.bar = e.row / rowsPerBar;
        w.beat = (e.row % rowsPerBar + double(e.delay) / farewellSpeed) / 4.0;
        w.rows = e.rows;
        int row = pickupRows + e.row;
        w.seconds = clock.rowStart[row] + e.delay * clock.tick[row];
        words.push_back(w);
    }
    return words;
}

static double positionSeconds(int position) {
    return double(position - mp3TagBytes) / mp3BytesPerSecond;
}

double farewellLeadIn(const SongClock &clock) {
    // The first three words share the opening tempo: the silence before the song centres them
    // on their positions.
    std::vector<WordCue> words = wordNotes(clock);
    double sum = 0;
    for (int i = 0; i < 3; i++)
        sum += positionSeconds(fixedWords[i].position) - words.at(fixedWords[i].word).seconds;
    return std::round(sum / 3 * synthRate) / synthRate;  // whole samples of silence
}

std::vector<WordCue> farewellWords(const SongClock &clock, double leadInSeconds) {
    std::vector<WordCue> words = wordNotes(clock);
    if (int(words.size()) != wordCount - 1) {
        std::fprintf(stderr, "farewell: the tune has %d notes, the end part needs %d words on notes\n",
                     int(words.size()), wordCount - 1);
        std::exit(1);
    }
    for (WordCue &w : words) {
        w.seconds += leadInSeconds;
        w.position = int(std::lround(mp3TagBytes + mp3BytesPerSecond * w.seconds));
    }
    // The last word: the silence after the last chord.
    const FixedWord &end = fixedWords[sizeof fixedWords / sizeof fixedWords[0] - 1];
    WordCue silence{};
    silence.bar = -1;
    silence.seconds = positionSeconds(end.position);
    silence.position = end.position;
    words.push_back(silence);
    for (const FixedWord &f : fixedWords)
        words[f.word].fixedAt = f.position;
    return words;
}

std::string farewellCues(const std::vector<WordCue> &words, const std::vector<std::string> &texts,
                         double leadInSeconds, double songSeconds, double streamSeconds) {
    char line[1024];
    std::string out = "## farewell.mp3\n\n";
    // The tempo map in words, from the table: the changes before the last bar, then its slowing.
    std::string tempo;
    const TempoChange *slowing = nullptr;
    for (const TempoChange &t : farewellTempo) {
        if (t.row >= songRow(finalBar - 1, 0)) {
            slowing = slowing ? slowing : &t;
            continue;
        }
        int bar = (t.row - pickupRows) / rowsPerBar, row = (t.row - pickupRows) % rowsPerBar;
        tempo += ", " + std::to_string(t.bpm) + " from bar " + std::to_string(bar) +
                 (row ? " row " + std::to_string(row) : std::string());
    }
    const TempoChange &last = farewellTempo[sizeof farewellTempo / sizeof farewellTempo[0] - 1];
    std::snprintf(line, sizeof line,
                  "A slow song in D minor, speed %d, %d channels: lead with an echo, accordion chords, balalaika\n"
                  "arpeggio and tremolo, bass. Tempo: %d BPM for the pickup (69 beats a minute, a row is a sixteenth)%s;\n"
                  "the last bar slows from %d to %d. The first verse is quiet, the second swells, the third is full.\n"
                  "Rendered through libopenmpt at 44100 Hz after %.4f s of silence and faded to silence by %.2f s, the\n"
                  "last word's time; %.2f s long, encoded by lame at 128 kbit/s CBR: byte = %d + %d x seconds.\n\n",
                  farewellSpeed, farewellChannels, farewellBpm, tempo.c_str(), slowing ? slowing->bpm : last.bpm,
                  last.bpm, leadInSeconds, songSeconds, streamSeconds, mp3TagBytes, mp3BytesPerSecond);
    out += line;
    out += "Each word of the end part is one note of the tune, but the last: the program ends one frame after\n"
           "it appears, so it comes with the silence after the last chord. Bars count from the first full bar\n"
           "(after a three-beat pickup); beats from 0; a note's length is in sixteenths. Where the end part's\n"
           "table prescribes a position, the table keeps it and the note lies within a few milliseconds of it.\n\n";
    out += "| word | text | bar | beat | note | length | seconds | position | prescribed |\n"
           "|---|---|---|---|---|---|---|---|---|\n";
    for (size_t i = 0; i < words.size(); i++) {
        const WordCue &w = words[i];
        std::string text = i < texts.size() ? texts[i] : "";
        if (w.note)
            std::snprintf(line, sizeof line, "| %d | %s | %d | %.3f | %s | %d | %.3f | %d | %s |\n", int(i),
                          text.c_str(), w.bar, w.beat, noteName(w.note).c_str(), w.rows, w.seconds, w.position,
                          w.fixedAt ? std::to_string(w.fixedAt).c_str() : "");
        else
            std::snprintf(line, sizeof line, "| %d | %s | | | silence | | %.3f | %d | %s |\n", int(i), text.c_str(),
                          w.seconds, w.position, w.fixedAt ? std::to_string(w.fixedAt).c_str() : "");
        out += line;
    }
    out += "\nThe table for the end part, as player/endwords.inc holds it:\n\n```c\nendScrolltext endscrollText[] = {\n";
    for (size_t i = 0; i < words.size(); i++) {
        const WordCue &w = words[i];
        std::string text = i < texts.size() ? texts[i] : "";
        if (w.note)
            std::snprintf(line, sizeof line, "\t{0.0f, 0.0f, %d,\t\t\"%s\"},\t/* %2d: bar %2d beat %.2f %s */\n",
                          w.fixedAt ? w.fixedAt : w.position, text.c_str(), int(i), w.bar, w.beat,
                          noteName(w.note).c_str());
        else
            std::snprintf(line, sizeof line, "\t{0.0f, 0.0f, %d,\t\t\"%s\"},\t/* %2d: the silence after the song */\n",
                          w.fixedAt ? w.fixedAt : w.position, text.c_str(), int(i));
        out += line;
    }
    out += "};\n```\n";
    return out;
}
