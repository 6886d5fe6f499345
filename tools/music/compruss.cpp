// compruss.cpp -- the score of the presentation's module: one pattern per order, written as tables
//
// Time: speed 6 at 125 BPM, 0.12 s a row, four rows a beat, sixteen a bar, four bars an order.
// The pictures change on rows that are multiples of 4 (colour clears) and 8 (the flash), so the
// groove is an "oom-pah": kick and bass on every eighth row, snare and accordion on the rows
// between (4, 12, ...), with lighter kicks on those as well.
#include "music.h"

#include "arrange.h"
#include "synth.h"

#include <cstdio>

// Channels of the module.
enum {
    chKick, chSnare, chHat, chCrash, chBass, chPad, chPad2, chPad3, chTremolo, chLead, chLead2, chArpeggio,
    comprussChannels
};

// Instruments, numbered as in the file (1-based).
enum { insKick = 1, insSnare, insHat, insCrash, insBass, insBalalaika, insAccordion, insLead };

// Lowest notes of the chord parts.
const int padLowest = 53;       // E4
const int arpeggioLowest = 57;  // G#4
const int bassLowest = 29;      // E2

// Levels of the parts (volume column, 0 to 64), set by ear and by the render check.
const int leadVolume = 46;
const int doublingVolume = 30;
const int tremoloVolume = 34;
const int pluckedVolume = 44;

// ---- melodies (rows: 1 = a sixteenth, 4 = a beat) ----

static const char *themeA =  // A minor, over Am | Dm | E | Am
    "E5:2 A5:2 A5:2 B5:2 C6:4 B5:2 A5:2 | D6:4 C6:2 B5:2 A5:4 F5:4 | "
    "E5:2 G#5:2 B5:2 E6:2 D6:2 C6:2 B5:2 G#5:2 | A5:4 E5:4 A5:6 r:2";
static const char *themeB =  // over Dm | Am | E | Am, ending on a pickup into the next order
    "F5:2 A5:2 D6:4 C6:2 B5:2 A5:4 | C6:2 B5:2 A5:2 E5:2 A5:4 C6:4 | "
    "B5:2 G#5:2 E5:2 G#5:2 B5:2 D6:2 C6:2 B5:2 | A5:8 r:4 E5:4";
static const char *themeBFinal =  // the last bar lands on rows 48, 60 and 62 with the band
    "F5:2 A5:2 D6:4 C6:2 B5:2 A5:4 | C6:2 B5:2 A5:2 E5:2 A5:4 C6:4 | "
    "B5:2 G#5:2 E5:2 G#5:2 B5:2 D6:2 C6:2 B5:2 | A5:8 r:4 E5:2 A5:2";
static const char *swarmRiff1 =  // sixteenths over Am G | F E | Am G | F E
    "A5:1 E5:1 A5:1 C6:1 B5:2 A5:2 G5:1 D5:1 G5:1 B5:1 A5:2 G5:2 | "
    "F5:1 C5:1 F5:1 A5:1 G5:2 F5:2 E5:2 G#5:2 B5:4 | "
    "A5:1 E5:1 A5:1 C6:1 B5:2 A5:2 G5:1 D5:1 G5:1 B5:1 A5:2 G5:2 | "
    "F5:2 A5:2 C6:2 A5:2 E5:2 G#5:2 B5:2 E6:2";
static const char *swarmRiff2 =
    "A5:1 E5:1 A5:1 C6:1 B5:2 A5:2 G5:1 D5:1 G5:1 B5:1 A5:2 G5:2 | "
    "F5:1 C5:1 F5:1 A5:1 G5:2 F5:2 E5:2 G#5:2 B5:4 | "
    "A5:1 E5:1 A5:1 C6:1 B5:2 A5:2 G5:1 D5:1 G5:1 B5:1 A5:2 G5:2 | "
    "E6:2 D6:2 C6:2 B5:2 A5:4 G#5:4";
static const char *swarmTremolo = "A4:8 B4:8 | C5:8 B4:8 | A4:8 B4:8 | A4:8 G#4:8";
static const char *breakSong1 = "E5:8 A5:4 B5:4 | C6:8 A5:8 | G5:8 E5:4 G5:4 | B5:12 G#5:4";
static const char *breakSong2 = "A5:8 C6:4 E6:4 | D6:8 C6:4 A5:4 | F5:4 A5:4 D6:4 C6:4 | B5:12 r:4";
static const char *danceTune =  // over Am E | Am E | Dm Am | E Am
    "E5:2 A5:2 A5:2 B5:1 A5:1 G#5:2 E5:2 B5:4 | E5:2 A5:2 A5:2 B5:1 A5:1 G#5:2 B5:2 E6:4 | "
    "D6:2 C6:2 B5:2 A5:2 C6:2 B5:2 A5:2 E5:2 | B5:2 G#5:2 E5:2 G#5:2 A5:4 r:4";
static const char *spiral1 =  // chord tones rolling up and down, over Am F | Dm E | Am F | Dm E
    "A4:1 C5:1 E5:1 A5:1 C6:1 A5:1 E5:1 C5:1 F4:1 A4:1 C5:1 F5:1 A5:1 F5:1 C5:1 A4:1 | "
    "D5:1 F5:1 A5:1 D6:1 F6:1 D6:1 A5:1 F5:1 E5:1 G#5:1 B5:1 E6:1 G#6:1 E6:1 B5:1 G#5:1 | "
    "A5:1 C6:1 E6:1 A6:1 E6:1 C6:1 A5:1 E5:1 F5:1 A5:1 C6:1 F6:1 C6:1 A5:1 F5:1 C5:1 | "
    "D5:1 F5:1 A5:1 D6:1 A5:1 F5:1 D5:1 A4:1 E5:1 G#5:1 B5:1 E6:1 B5:1 G#5:1 E5:1 B4:1";
static const char *spiral2 =  // the other way round, then a chromatic climb into the climax
    "C6:1 A5:1 E5:1 C5:1 A4:1 C5:1 E5:1 A5:1 A5:1 F5:1 C5:1 A4:1 F4:1 A4:1 C5:1 F5:1 | "
    "F6:1 D6:1 A5:1 F5:1 D5:1 F5:1 A5:1 D6:1 G#6:1 E6:1 B5:1 G#5:1 E5:1 G#5:1 B5:1 E6:1 | "
    "A4:1 C5:1 E5:1 A5:1 C6:1 A5:1 E5:1 C5:1 F4:1 A4:1 C5:1 F5:1 A5:1 F5:1 C5:1 A4:1 | "
    "D5:1 D#5:1 E5:1 F5:1 F#5:1 G5:1 G#5:1 A5:1 A#5:1 B5:1 C6:1 C#6:1 D6:1 D#6:1 E6:2";
static const char *spiralPedal = "A4:16 | A4:8 G#4:8 | A4:16 | A4:8 G#4:8";
static const char *introTremolo1 = "E5:8 A4:8 | C5:8 E5:8 | D5:8 F5:8 | E5:12 B4:4";
static const char *introTremolo2 = "A5:8 E5:8 | F5:8 C5:8 | D5:4 F5:4 A5:8 | G#5:12 E5:4";
static const char *introLead = "E5:8 A5:8 | F5:8 D5:8 | E5:4 G#5:4 B5:8 | A5:12 r:4";

// ---- harmony ----

static const char *chordsThemeA = "Am:16 | Dm:16 | E:16 | Am:16";
static const char *chordsThemeB = "Dm:16 | Am:16 | E:16 | Am:16";
static const char *chordsSwarm = "Am:8 G:8 | F:8 E:8 | Am:8 G:8 | F:8 E:8";
static const char *chordsDance = "Am:8 E:8 | Am:8 E:8 | Dm:8 Am:8 | E:8 Am:8";
static const char *chordsSpiral = "Am:8 F:8 | Dm:8 E:8 | Am:8 F:8 | Dm:8 E:8";

// ---- rhythm (one bar, repeated; or four bars) ----

static const char *kickFour = "X...x...X...x...";     // loud on the flash rows, lighter on the clears
static const char *kickOom = "X.......X.......";
static const char *snarePah = "....X.......X...";
static const char *hatOff = "..x...x...x...x.";
static const char *hatBeat = "x...o...x...o...";
static const char *hatSixteenths = "xooooooxxooooooo";
static const char *padPah = "....x.......x...";
static const char *bassOom = "X.......X.......";
static const char *bassBeat = "X...x...X...x...";
static const char *arpEighths = "x.o.x.o.x.o.x.o.";
static const char *arpSixteenths = "xoooxoooxoooxooo";
static const char *crashTop = "X............... | ................ | ................ | ................";
static const char *crashHalves = "X............... | ................ | X............... | ................";

struct OrderScore {
    const char *scene;      // what the pictures do, for the cue sheet
    const char *music;      // what the music does, for the cue sheet
    const char *chords;
    const char *lead;       // melody of the lead, "" for none
    int leadTranspose;      // semitones
    int doubling;           // second lead voice this many semitones away, 0 for none
    const char *tremolo;    // balalaika melody, plucked on every row
    const char *plucked;    // balalaika melody, plucked once per note
    const char *arpeggio;   // balalaika arpeggio hits
    int padHold;            // held accordion chords at this volume, 0 for none
    const char *padStabs;   // accordion stabs (used when padHold is 0)
    const char *bass, *kick, *snare, *hat, *crash;
};

static const OrderScore comprussScore[] = {
    // 0-3: intro under the captions; a caption every 4 rows, so every beat is marked.
    {"captions", "intro: held accordion chords, balalaika tremolo tune, soft pulse on every beat",
     "Am:16 | Am:16 | Dm:16 | E:16", "", 0, 0, introTremolo1, "", "", 40, "",
     "x.......x.......", "x.......o.......", "", hatBeat, crashTop},
    {"captions", "intro: bass and kick on every eighth row join, tremolo tune climbs",
     "Am:16 | F:16 | Dm:16 | E:16", "", 0, 0, introTremolo2, "", "", 40, "",
     bassOom, kickOom, "", hatBeat, ""},
    {"captions", "intro: the oom-pah starts (accordion on the 4s), lead previews the theme",
     chordsThemeA, introLead, 0, 0, "", "", arpEighths, 0, padPah,
     bassOom, kickFour, "....o.......o...", hatOff, crashTop},
    {"captions (odin, dwa, tri)",
     "intro: full groove, snare roll from row 48, break at 56, three hits on rows 58, 60, 62",
     "Am:16 | Dm:16 | E:16 | E:16", "", 0, 0, "", "",
     "xoooxoooxoooxooo | xoooxoooxoooxooo | xoooxoooxoooxooo | ................", 0,
     "....x.......x... | ....x.......x... | ....x.......x... | ..........X.X.X.",
     "X.......X....... | X.......X....... | X.......X....... | ..........X.X.X.",
     "X...x...X...x... | X...x...X...x... | X...x...X...x... | X...x.....X.X.X.",
     "....X.......X... | ....X.......X... | ....X.......X... | ooxxxXXX..X.X.X.",
     "..x...x...x...x. | ..x...x...x...x. | ..x...x...x...x. | ................",
     "X............... | ................ | ................ | ..........x.x.X."},
    // 4-5: the theme.
    {"samovar", "theme A on the lead over the full oom-pah; balalaika arpeggio in eighths",
     chordsThemeA, themeA, 0, 0, "", "", arpEighths, 0, padPah,
     bassOom, kickFour, snarePah, hatOff, crashTop},
    {"samovar", "theme B, ends on a pickup", chordsThemeB, themeB, 0, 0, "", "", arpEighths, 0, padPah,
     bassOom, kickFour, snarePah, hatOff, crashTop},
    // 6-7: busier.
    {"swarm", "sixteenth-note riff doubled an octave down, balalaika tremolo counter-line, bass on every beat",
     chordsSwarm, swarmRiff1, 0, -12, swarmTremolo, "", "", 0, padPah,
     bassBeat, kickFour, "....X.......X.x.", hatSixteenths, crashHalves},
    {"swarm", "riff again, falling ending", chordsSwarm, swarmRiff2, 0, -12, swarmTremolo, "", "", 0, padPah,
     bassBeat, kickFour, "....X.......X.x.", hatSixteenths, crashHalves},
    // 8-9: the calm between.
    {"portraits", "break: held chords, balalaika tremolo song, kick only on the flash rows",
     "Am:16 | F:16 | C:16 | E:16", "", 0, 0, breakSong1, "", "o.o.o.o.o.o.o.o.", 44, "",
     bassOom, kickOom, "", "o...o...o...o...", crashTop},
    {"portraits", "break, second half; the song rises and stops on E", "Am:16 | F:16 | Dm:16 | E:16", "", 0, 0,
     breakSong2, "", "o.o.o.o.o.o.o.o.", 44, "", bassOom, kickOom, "", "o...o...o...o...", ""},
    // 10-13: the dance adds one voice per order, as the dancers multiply.
    {"dancers (one)", "dance: kick, hats and bass alone; a snare build under the growing figure (rows 0-7)",
     chordsDance, "", 0, 0, "", "", "", 0, "",
     bassBeat, kickFour, "o.o.x.xX........ | ................ | ................ | ................", hatOff,
     crashTop},
    {"dancers (two)", "dance: + accordion on the 4s and snare", chordsDance, "", 0, 0, "", "", "", 0, padPah,
     bassBeat, kickFour, snarePah, hatOff, crashTop},
    {"dancers (three)", "dance: + balalaika plays the dance tune", chordsDance, "", 0, 0, "", danceTune, "", 0, padPah,
     bassBeat, kickFour, snarePah, hatOff, crashTop},
    {"dancers (four)", "dance: + lead takes the tune an octave up", chordsDance, danceTune, 12, 0, "", danceTune, "",
     0, padPah, bassBeat, kickFour, snarePah, hatSixteenths, crashTop},
    // 14-15: dizzy.
    {"spiral", "spinning sixteenth arpeggios over held chords and a tremolo pedal",
     chordsSpiral, spiral1, 0, 0, spiralPedal, "", "", 40, "",
     bassOom, kickFour, snarePah, hatSixteenths, crashTop},
    {"spiral", "arpeggios turn the other way, chromatic climb and snare roll into the climax",
     chordsSpiral, spiral2, 0, 0, spiralPedal, "", "", 40, "",
     bassOom, kickFour,
     "....X.......X... | ....X.......X... | ....X.......X... | ....X...xxxxXXXX",
     hatSixteenths, crashTop},
    // 16-20: everything.
    {"missile rain", "climax: theme A in octaves, balalaika in sixteenths, crash every two bars",
     chordsThemeA, themeA, 0, -12, "", "", arpSixteenths, 0, padPah,
     bassBeat, kickFour, snarePah, hatSixteenths, crashHalves},
    {"missile rain", "climax: theme B in octaves", chordsThemeB, themeB, 0, -12, "", "", arpSixteenths, 0, padPah,
     bassBeat, kickFour, "....X.......X... | ....X.......X... | ....X.......X... | ....X.......XXXX",
     hatSixteenths, crashHalves},
    {"missile rain", "climax: the swarm riff returns", chordsSwarm, swarmRiff1, 0, -12, swarmTremolo, "", "", 0,
     padPah, bassBeat, kickFour, "....X.......X.x.", hatSixteenths, crashHalves},
    {"missile rain", "climax: theme A", chordsThemeA, themeA, 0, -12, "", "", arpSixteenths, 0, padPah,
     bassBeat, kickFour, snarePah, hatSixteenths, crashHalves},
    {"missile rain (ends at row 62)", "final: theme B; last bar hits on rows 48, 56, 60 and 62 (a light kick on 52), the end part starts on 62",
     chordsThemeB, themeBFinal, 0, -12, "", "",
     "xoooxoooxoooxooo | xoooxoooxoooxooo | xoooxoooxoooxooo | X...............", 0,
     "....x.......x... | ....x.......x... | ....x.......x... | X.......X...X.X.",
     "X...x...X...x... | X...x...X...x... | X...x...X...x... | X.......X...X.X.",
     "X...x...X...x... | X...x...X...x... | X...x...X...x... | X...x...X...X.X.",
     "....X.......X... | ....X.......X... | ....X.......X.xx | ........X...X.X.",
     "xooooooxxooooooo | xooooooxxooooooo | xooooooxxooooooo | ................",
     "X............... | ................ | X............... | X...........x.X."},
};

const int comprussOrders = int(sizeof comprussScore / sizeof comprussScore[0]);

static XmPattern orderPattern(const OrderScore &o, const OrderScore *previous) {
    const int rows = 64;
    XmPattern p = emptyPattern(rows, comprussChannels);
    std::vector<ChordEvent> chords = parseChords(o.chords, 16);
    auto track = [&](int channel, int instrument) { return Track{&p, comprussChannels, channel, instrument}; };

    // Parts that sustain must stop when the next order does not continue them.
    if (previous) {
        bool padBefore = previous->padHold > 0 || previous->padStabs[0];
        bool padNow = o.padHold > 0 || o.padStabs[0];
        if (padBefore && !padNow)
            for (int v = 0; v < 3; v++)
                cellAt(p, comprussChannels, 0, chPad + v).note = keyOff;
        if (previous->lead[0] && !o.lead[0]) {
            cellAt(p, comprussChannels, 0, chLead).note = keyOff;
            cellAt(p, comprussChannels, 0, chLead2).note = keyOff;
        }
        if (previous->bass[0] && !o.bass[0])
            cellAt(p, comprussChannels, 0, chBass).note = keyOff;
    }

    if (o.lead[0]) {
        std::vector<NoteEvent> lead = parseMelody(o.lead, 16);
        writeMelody(track(chLead, insLead), lead, leadVolume, o.leadTranspose);
        if (o.doubling)
            writeMelody(track(chLead2, insLead), lead, doublingVolume, o.leadTranspose + o.doubling);
    }
    if (o.tremolo[0])
        writeTremolo(track(chTremolo, insBalalaika), parseMelody(o.tremolo, 16), tremoloVolume, 0);
    if (o.plucked[0])
        writeMelody(track(chTremolo, insBalalaika), parseMelody(o.plucked, 16), pluckedVolume, 0);
    if (o.arpeggio[0])
        writeArpeggio(track(chArpeggio, insBalalaika), chords, parseHits(o.arpeggio, rows), arpeggioLowest);
    if (o.padHold > 0)
        writeHeldChords(track(chPad, insAccordion), 3, chords, o.padHold, padLowest);
    else if (o.padStabs[0])
        writeStabs(track(chPad, insAccordion), 3, chords, parseHits(o.padStabs, rows), padLowest);
    if (o.bass[0])
        writeBass(track(chBass, insBass), chords, parseHits(o.bass, rows), bassLowest);
    writeHits(track(chKick, insKick), parseHits(o.kick, rows));
    writeHits(track(chSnare, insSnare), parseHits(o.snare, rows));
    writeHits(track(chHat, insHat), parseHits(o.hat, rows));
    writeHits(track(chCrash, insCrash), parseHits(o.crash, rows));
    return p;
}

static std::vector<XmInstrument> allInstruments() {
    return {makeKick(), makeSnare(), makeHat(), makeCrash(), makeBass(), makeBalalaika(), makeAccordion(), makeLead()};
}

XmModule composeCompruss() {
    XmModule m;
    m.name = "compruss";
    m.channels = comprussChannels;
    m.speed = 6;
    m.bpm = 125;
    m.restart = 0;
    for (int i = 0; i < comprussOrders; i++) {
        m.patterns.push_back(orderPattern(comprussScore[i], i > 0 ? &comprussScore[i - 1] : nullptr));
        m.orders.push_back(uint8_t(i));
    }
    m.instruments = allInstruments();
    return m;
}

// Rows of a hit line that carry a mark, as "0 8 16 ..." (or "none").
static std::string markedRows(const char *hits, int minimum) {
    std::vector<int> v = parseHits(hits, 64);
    std::string out;
    for (int r = 0; r < 64; r++)
        if (v[r] >= minimum)
            out += (out.empty() ? "" : " ") + std::to_string(r);
    return out.empty() ? "none" : out;
}

static std::string clock(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%05.2f", int(seconds / 60), seconds - 60 * int(seconds / 60));
    return text;
}

std::string comprussCues() {
    const double rowSeconds = 6 * 2.5 / 125;
    std::string out;
    out += "## compruss.xm\n\n";
    out += "12 channels, speed 6 at 125 BPM: 0.12 s a row, 4 rows a beat, 64 rows (7.68 s) an order, " +
           std::to_string(comprussOrders) + " orders.\n";
    out += "The timeline ends at order 20 row 62, " + clock((20 * 64 + 62) * rowSeconds) +
           " after the start; the module itself runs to " + clock(comprussOrders * 64 * rowSeconds) +
           " and then loops to order 0.\n\n";
    out += "Kick and bass fall on every row that is a multiple of 8 (the flash), the snare and the accordion\n"
           "on the rows 4 past them, so every colour clear (each 4th row) lands on a beat.\n"
           "Columns: loud kick (volume 64) rows, snare rows, crash rows.\n\n";
    out += "| order | start | scene | music | loud kick | snare | crash |\n";
    out += "|---|---|---|---|---|---|---|\n";
    for (int i = 0; i < comprussOrders; i++) {
        const OrderScore &o = comprussScore[i];
        out += "| " + std::to_string(i) + " | " + clock(i * 64 * rowSeconds) + " | " + o.scene + " | " + o.music +
               " | " + markedRows(o.kick, 64) + " | " + markedRows(o.snare, 1) + " | " + markedRows(o.crash, 1) +
               " |\n";
    }
    out += "\nCount-in: order 3 rows 58, 60 and 62 (" + clock((3 * 64 + 58) * rowSeconds) + ", " +
           clock((3 * 64 + 60) * rowSeconds) + ", " + clock((3 * 64 + 62) * rowSeconds) +
           "): kick, snare, accordion stab and crash together, under \"odin\", \"dwa\" and \"tri\".\n";
    out += "On rows 56 and 57 of order 3 only the bass sounds, a breath before the count.\n";
    return out;
}
