// farewell.cpp -- the end-part piece: a slow farewell song in D minor, one word of the end part per melody note
//
// Time: speed 19 at 219 BPM, four rows a beat (69.2 beats a minute), sixteen rows a bar. The
// song opens with a three-beat pickup, then twenty bars of tune and a final bar. The end part's
// table fixes five words: the first three (67145, 75556, 82505) and the last two (1143442,
// 1157339). The tempo was chosen for them: with word 77 on the downbeat of the last bar, words
// 1, 2 and 76 fall on beat 2, beat 2.5 and beat 3 of their bars to within 2 ms, and word 0 on
// the eleventh of the 19 ticks of its row (a delay). A tick is 503 samples exactly at 44100 Hz.
#include "music.h"

#include "arrange.h"
#include "synth.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

const int mp3TagBytes = 417;
const int mp3BytesPerSecond = 16000;
const int wordCount = 78;

enum { fwBass, fwPad, fwPad2, fwPad3, fwTremolo, fwLead, fwArpeggio, fwLowLead, farewellChannels };
enum { fwInsBass = 1, fwInsBalalaika, fwInsAccordion, fwInsLead };

const int farewellSpeed = 19;
const int farewellBpm = 219;
const int tremoloTicks = 10;  // second pluck of each row: about 9 plucks a second
const int pickupRows = 12;  // three beats before the first full bar
const int rowsPerBar = 16;
const int tuneBars = 22;    // twenty bars of tune, the last word's bar, one bar of ring
const int padLowest = 53;       // E4: lowest note of the accordion chords
const int arpeggioLowest = 50;  // C#4
const int bassLowest = 27;      // D2

// Word 0 to 77 is each note of this line. Chords below, one per bar or half bar.
static const char *farewellTune =
    "r:5 A4:3@11 D5:2 E5:2 F5:4 | G5:6 F5:2 D5:4 Bb4:4 | A4:6 C#5:2 E5:4 G5:4 | F5:8 E5:4 D5:4 | "
    "A5:6 G5:2 F5:4 D5:4 | F5:6 E5:2 D5:4 Bb4:4 | G4:4 Bb4:4 D5:4 C#5:4 | D5:12 A4:4 | "
    "C5:4 F5:4 A5:4 G5:2 F5:2 | E5:4 G5:4 C6:8 | Bb5:4 A5:2 G5:2 F5:4 D5:4 | E5:4 G5:4 F5:8 | "
    "A5:4 D6:4 C6:2 Bb5:2 A5:4 | G5:4 Bb5:4 A5:2 G5:2 F5:4 | E5:4 G5:4 F5:2 E5:2 C#5:4 | D5:12 r:4 | "
    "F5:4 D5:4 Bb4:4 D5:4 | G5:4 Bb5:4 A5:4 G5:4 | F5:6 E5:2 D5:4 A4:4 | C#5:4 E5:4 G5:4 A4:4 | "
    "D5:16 | r:16";
static const char *farewellChords =
    "Dm:16 | Gm:16 | A7:16 | Dm:16 | Dm:16 | Bb:16 | Gm:8 A:8 | Dm:16 | "
    "F:16 | C:16 | Bb:16 | C7:8 F:8 | Dm:16 | Gm:16 | A7:16 | Dm:16 | "
    "Bb:16 | Gm:16 | Dm:16 | A7:16 | Dm:16 | Dm:16";
// A tremolo counter-line under the middle of the song, and the last chord's root.
static const char *farewellTremolo =
    "r:16 | r:16 | r:16 | r:16 | r:16 | r:16 | r:16 | r:16 | "
    "A4:16 | G4:16 | F4:16 | E4:8 F4:8 | F4:16 | G4:16 | E4:16 | F4:16 | "
    "r:16 | r:16 | r:16 | r:16 | D4:16 | r:16";
static const char *pickupTremolo = "A4:12";
static const char *arpeggioBar = "x.o.o.o.x.o.o.o.";
static const char *bassBar = "X.......x.......";

// Positions the end part's table prescribes, by word.
struct FixedWord { int word; int position; };
static const FixedWord fixedWords[] = {{0, 67145}, {1, 75556}, {2, 82505}, {76, 1143442}, {77, 1157339}};

// A hit line of `bars` bars from one bar, with bars from `silentFrom` on left empty.
static std::string hitBars(const char *bar, int bars, int silentFrom) {
    std::string out;
    for (int i = 0; i < bars; i++)
        out += i < silentFrom ? std::string(bar) : std::string(rowsPerBar, '.');
    return out;
}

XmModule composeFarewell() {
    const int totalRows = pickupRows + tuneBars * rowsPerBar;
    XmPattern song = emptyPattern(totalRows, farewellChannels);
    // The tune and its parts start after the pickup; the pickup has its own short lines.
    XmPattern pickup = emptyPattern(pickupRows, farewellChannels);
    XmPattern tune = emptyPattern(tuneBars * rowsPerBar, farewellChannels);
    auto on = [](XmPattern &p, int channel, int instrument) { return Track{&p, farewellChannels, channel, instrument}; };

    std::vector<ChordEvent> pickupChords = parseChords("Dm:12", pickupRows);
    writeHeldChords(on(pickup, fwPad, fwInsAccordion), 3, pickupChords, 24, padLowest);
    writeTremolo(on(pickup, fwTremolo, fwInsBalalaika), parseMelody(pickupTremolo, pickupRows), 26, tremoloTicks);
    writeBass(on(pickup, fwBass, fwInsBass), pickupChords, parseHits("X...........", pickupRows), bassLowest);

    std::vector<ChordEvent> chords = parseChords(farewellChords, rowsPerBar);
    std::vector<NoteEvent> melody = parseMelody(farewellTune, rowsPerBar);
    writeMelody(on(tune, fwLead, fwInsLead), melody, 50, 0);
    // The last verse (bars 16 to 19) is doubled an octave down, softly.
    std::vector<NoteEvent> lastVerse;
    for (const NoteEvent &e : melody)
        if (e.row >= 16 * rowsPerBar && e.row < 20 * rowsPerBar)
            lastVerse.push_back(e);
    lastVerse.push_back({20 * rowsPerBar, 1, 0, 0});
    writeMelody(on(tune, fwLowLead, fwInsLead), lastVerse, 24, -12);
    writeHeldChords(on(tune, fwPad, fwInsAccordion), 3, chords, 26, padLowest);
    writeTremolo(on(tune, fwTremolo, fwInsBalalaika), parseMelody(farewellTremolo, rowsPerBar), 30, tremoloTicks);
    writeArpeggio(on(tune, fwArpeggio, fwInsBalalaika), chords,
                  parseHits(hitBars(arpeggioBar, tuneBars, 20), tune.rows), arpeggioLowest);
    cellAt(tune, farewellChannels, 20 * rowsPerBar, fwArpeggio) = {62, fwInsBalalaika, volumeByte(40), 0, 0};  // D5
    writeBass(on(tune, fwBass, fwInsBass), chords, parseHits(hitBars(bassBar, tuneBars, 21), tune.rows), bassLowest);
    // The final bar rings into a release.
    for (int ch : {fwBass, fwPad, fwPad2, fwPad3})
        cellAt(tune, farewellChannels, 21 * rowsPerBar, ch).note = keyOff;

    for (int r = 0; r < totalRows; r++)
        for (int ch = 0; ch < farewellChannels; ch++)
            cellAt(song, farewellChannels, r, ch) =
                r < pickupRows ? cellAt(pickup, farewellChannels, r, ch) : cellAt(tune, farewellChannels, r - pickupRows, ch);

    XmModule m;
    m.name = "farewell";
    m.channels = farewellChannels;
    m.speed = farewellSpeed;
    m.bpm = farewellBpm;
    // Patterns: the pickup alone, then four bars each, then what is left.
    int start = 0;
    int lengths[] = {pickupRows, 64, 64, 64, 64, 64, 32};
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

// Onset of each melody note in module time (seconds from the start of the module).
static std::vector<WordCue> wordNotes(double tickSeconds) {
    std::vector<WordCue> words;
    for (const NoteEvent &e : parseMelody(farewellTune, rowsPerBar)) {
        if (e.note == 0)
            continue;
        WordCue w{};
        w.note = e.note;
        w.bar = e.row / rowsPerBar;
        w.beat = (e.row % rowsPerBar + double(e.delay) / farewellSpeed) / 4.0;
        w.seconds = ((pickupRows + e.row) * farewellSpeed + e.delay) * tickSeconds;
        words.push_back(w);
    }
    return words;
}

static double positionSeconds(int position) {
    return double(position - mp3TagBytes) / mp3BytesPerSecond;
}

double farewellLeadIn(double tickSeconds) {
    std::vector<WordCue> words = wordNotes(tickSeconds);
    const FixedWord &last = fixedWords[sizeof fixedWords / sizeof fixedWords[0] - 1];
    double lead = positionSeconds(last.position) - words.at(last.word).seconds;
    return std::round(lead * synthRate) / synthRate;  // whole samples of silence
}

std::vector<WordCue> farewellWords(double tickSeconds, double leadInSeconds) {
    std::vector<WordCue> words = wordNotes(tickSeconds);
    if (int(words.size()) != wordCount) {
        std::fprintf(stderr, "farewell: the tune has %d notes, the end part needs %d words\n", int(words.size()), wordCount);
        std::exit(1);
    }
    for (WordCue &w : words) {
        w.seconds += leadInSeconds;
        w.position = int(std::lround(mp3TagBytes + mp3BytesPerSecond * w.seconds));
    }
    for (const FixedWord &f : fixedWords)
        words[f.word].fixedAt = f.position;
    return words;
}

std::string farewellCues(const std::vector<WordCue> &words, double leadInSeconds, double streamSeconds) {
    char line[1024];
    std::string out = "## farewell.mp3\n\n";
    std::snprintf(line, sizeof line,
                  "A slow song in D minor, speed %d at %d BPM (69.2 beats a minute, a row is a sixteenth), "
                  "8 channels: lead, accordion chords, balalaika arpeggio and tremolo, bass.\n"
                  "Rendered through libopenmpt at 44100 Hz after %.4f s of silence, %.2f s long, encoded "
                  "by lame at 128 kbit/s CBR: byte = %d + %d x seconds.\n\n",
                  farewellSpeed, farewellBpm, leadInSeconds, streamSeconds, mp3TagBytes, mp3BytesPerSecond);
    out += line;
    out += "Each word of the end part is one note of the tune. Bars count from the first full bar (after a\n"
           "three-beat pickup); beats from 0. Where the end part's table prescribes a position, the table\n"
           "keeps it and the note lies within a few milliseconds of it.\n\n";
    out += "| word | bar | beat | note | seconds | position | prescribed |\n|---|---|---|---|---|---|---|\n";
    for (size_t i = 0; i < words.size(); i++) {
        const WordCue &w = words[i];
        std::snprintf(line, sizeof line, "| %d | %d | %.3f | %s | %.3f | %d | %s |\n", int(i), w.bar, w.beat,
                      noteName(w.note).c_str(), w.seconds, w.position,
                      w.fixedAt ? std::to_string(w.fixedAt).c_str() : "");
        out += line;
    }
    out += "\nThe table for the end part (texts to be filled in):\n\n```c\nendScrolltext endscrollText[] = {\n";
    for (size_t i = 0; i < words.size(); i++) {
        const WordCue &w = words[i];
        std::snprintf(line, sizeof line, "\t{0.0f, 0.0f, %d,\t\t\"\"},\t/* %2d: bar %2d beat %.2f %s */\n",
                      w.fixedAt ? w.fixedAt : w.position, int(i), w.bar, w.beat, noteName(w.note).c_str());
        out += line;
    }
    out += "};\n```\n";
    return out;
}

double farewellTickSeconds() {
    // libopenmpt counts a tick in whole samples, 2.5 / BPM seconds cut down to a whole number
    // (503 at 219 BPM, not 503.4): over the 72 s of words the fraction would add up to 60 ms.
    return std::floor(synthRate * 2.5 / farewellBpm) / synthRate;
}
