// compruss.cpp -- the score of the presentation's module: one pattern per order, written as tables
//
// Time: speed 6 at 125 BPM, 0.12 s a row, four rows a beat, sixteen a bar, four bars an order.
// The pictures change on rows that are multiples of 4 (colour clears) and 8 (the flash), so the
// groove is an "oom-pah": kick and bass on every eighth row, snare and accordion on the rows
// between (4, 12, ...), with lighter kicks on those as well.
#include "music.h"

#include "arrange.h"
#include "synth.h"
#include "timeline.h"

#include <cstdio>
#include <string>

// Channels of the module, and where each sits in the stereo picture (0 left, 255 right): the
// drums and the bass in the middle, the two balalaika parts and the lead's echo spread out.
enum {
    chKick, chSnare, chHat, chCrash, chBass, chPad, chPad2, chPad3, chTremolo, chLead, chLead2, chArpeggio,
    chEcho, chSqueeze, comprussChannels
};
static const int channelPan[comprussChannels] = {128, 140, 200, 64, 128, -1, -1, -1, 60, 104, 176, 204, 224, 80};

// Instruments, numbered as in the file (1-based).
enum { insKick = 1, insSnare, insHat, insCrash, insBass, insBalalaika, insAccordion, insLead };

// Lowest notes of the chord parts.
const int padLowest = 53;       // E4
const int arpeggioLowest = 57;  // G#4
const int bassLowest = 29;      // E2

// Levels of the parts (volume column, 0 to 64), set by ear and by the render checks.
const int leadVolume = 44;
const int doublingVolume = 30;
const int echoVolume = 22;
const int tremoloVolume = 56;       // carrying the tune; under another tune it plays softer
const int counterVolume = 38;
const int pluckedVolume = 60;
const int squeezeVolume = 54;
const int echoRows = 3;             // the echo comes a dotted eighth later
const uint8_t leadVibrato = 0x63;   // 4xy on held lead notes: about 4.7 wobbles a second

// ---- melodies (rows: 1 = a sixteenth, 4 = a beat) ----

static const char *themeA =  // A minor, over Am | Dm | E | Am
    "E5:2 A5:2 A5:2 B5:2 C6:4 B5:2 A5:2 | D6:4 C6:2 B5:2 A5:4 F5:4 | "
    "E5:2 G#5:2 B5:2 E6:2 D6:2 C6:2 B5:2 G#5:2 | A5:4 E5:4 A5:6 r:2";
static const char *themeB =  // over Dm | Am | E | Am, ending on a pickup into the next order
    "F5:2 A5:2 D6:4 C6:2 B5:2 A5:4 | C6:2 B5:2 A5:2 E5:2 A5:4 C6:4 | "
    "B5:2 G#5:2 E5:2 G#5:2 B5:2 D6:2 C6:2 B5:2 | A5:8 r:4 E5:4";
static const char *themeBFinal =  // the last bar lands with the band on row 56 and rings out
    "F5:2 A5:2 D6:4 C6:2 B5:2 A5:4 | C6:2 B5:2 A5:2 E5:2 A5:4 C6:4 | "
    "B5:2 G#5:2 E5:2 G#5:2 B5:2 D6:2 C6:2 B5:2 | A5:4 r:2 E5:1 G#5:1 A5:8";
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
static const char *danceTremolo =  // the dance tune in long strokes, for the tremolo
    "E5:4 A5:4 G#5:4 B5:4 | E5:4 A5:4 B5:4 E6:4 | D6:4 B5:4 C6:4 A5:4 | B5:4 G#5:4 A5:8";
static const char *danceCounter =  // the accordion answers under the tremolo
    "C5:8 B4:8 | C5:8 D5:8 | F5:8 E5:8 | D5:8 C5:8";
static const char *spiral1 =  // chord tones rolling up and down, over Am F | Dm E | Am F | Dm E
    "A4:1 C5:1 E5:1 A5:1 C6:1 A5:1 E5:1 C5:1 F4:1 A4:1 C5:1 F5:1 A5:1 F5:1 C5:1 A4:1 | "
    "D5:1 F5:1 A5:1 D6:1 F6:1 D6:1 A5:1 F5:1 E5:1 G#5:1 B5:1 E6:1 G#6:1 E6:1 B5:1 G#5:1 | "
    "A5:1 C6:1 E6:1 A6:1 E6:1 C6:1 A5:1 E5:1 F5:1 A5:1 C6:1 F6:1 C6:1 A5:1 F5:1 C5:1 | "
    "D5:1 F5:1 A5:1 D6:1 A5:1 F5:1 D5:1 A4:1 E5:1 G#5:1 B5:1 E6:1 B5:1 G#5:1 E5:1 B4:1";
static const char *spiral2 =  // the other way round, then a climb that lifts the key a tone
    "C6:1 A5:1 E5:1 C5:1 A4:1 C5:1 E5:1 A5:1 A5:1 F5:1 C5:1 A4:1 F4:1 A4:1 C5:1 F5:1 | "
    "F6:1 D6:1 A5:1 F5:1 D5:1 F5:1 A5:1 D6:1 G#6:1 E6:1 B5:1 G#5:1 E5:1 G#5:1 B5:1 E6:1 | "
    "A4:1 C5:1 E5:1 A5:1 C6:1 A5:1 E5:1 C5:1 F4:1 A4:1 C5:1 F5:1 A5:1 F5:1 C5:1 A4:1 | "
    "D5:1 D#5:1 E5:1 F5:1 F#5:1 G5:1 G#5:1 A5:1 A#5:1 C#6:1 E6:1 F#6:1 E6:1 F#6:1 A#6:2";
static const char *spiralPedal = "A4:16 | A4:8 G#4:8 | A4:16 | A4:8 G#4:8";
static const char *spiralPedalLift = "A4:16 | A4:8 G#4:8 | A4:16 | A4:8 A#4:8";
static const char *climaxDescant =  // under theme A, the balalaika's own line
    "A4:8 B4:8 | C5:8 D5:8 | E5:8 D5:8 | C5:8 B4:4 E5:4";
static const char *climaxCounter =  // under theme B
    "F4:8 A4:8 | E4:8 A4:8 | G#4:8 B4:8 | A4:12 E4:4";
static const char *introTremolo1 = "E5:8 A4:8 | C5:8 E5:8 | D5:8 F5:8 | E5:12 B4:4";
static const char *introTremolo2 = "A5:8 E5:8 | F5:8 C5:8 | D5:4 F5:4 A5:8 | G#5:12 E5:4";
static const char *introLead = "E5:8 A5:8 | F5:8 D5:8 | E5:4 G#5:4 B5:8 | A5:12 r:4";

// ---- harmony ----

static const char *chordsThemeA = "Am:16 | Dm:16 | E:16 | Am:16";
static const char *chordsThemeB = "Dm:16 | Am:16 | E:16 | Am:16";
static const char *chordsSwarm = "Am:8 G:8 | F:8 E:8 | Am:8 G:8 | F:8 E:8";
static const char *chordsDance = "Am:8 E:8 | Am:8 E:8 | Dm:8 Am:8 | E:8 Am:8";
static const char *chordsSpiral = "Am:8 F:8 | Dm:8 E:8 | Am:8 F:8 | Dm:8 E:8";
static const char *chordsSpiralLift = "Am:8 F:8 | Dm:8 E:8 | Am:8 F:8 | Dm:8 F#7:8";

// ---- rhythm (one bar, repeated; or four bars) ----

static const char *kickFour = "X...x...X...x...";     // loud on the flash rows, lighter on the clears
static const char *kickOom = "X.......X.......";
static const char *snarePah = "....X.......X...";
static const char *snareDrive = "....X.......X..x";    // the climax pushes into each bar
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

// XM effects the finishing touches use.
const uint8_t effectExtended = 0x0E;
const uint8_t extRetrigger = 0x90;   // E9x: strike again every x ticks (a roll)
const uint8_t extNoteCut = 0xC0;     // ECx: silence the note after x ticks
const uint8_t volumeSlideDown = 0x60;  // volume column 6x: x softer on every tick but the first

// The count-in: the groove stops dead after row 52, then three short stabs under "odin"
// (row 57), "dwa" (58) and "tri" (60), each choked so the next one stands out of silence, and
// a snare roll with the crash on rows 62 and 63 under the captions' closing flurry.
static void countIn(XmPattern &p) {
    for (int ch = 0; ch < comprussChannels; ch++) {
        XmCell &stop = cellAt(p, comprussChannels, 53, ch);
        stop.effect = effectExtended;
        stop.param = uint8_t(extNoteCut | 0);
        for (int row : {57, 58, 60}) {
            XmCell &c = cellAt(p, comprussChannels, row, ch);
            if (c.note >= 1 && c.note <= 96) {
                c.effect = effectExtended;
                c.param = uint8_t(extNoteCut | (row == 60 ? 3 : 2));
            }
        }
    }
    for (int row : {62, 63}) {
        XmCell &roll = cellAt(p, comprussChannels, row, chSnare);
        roll.effect = effectExtended;
        roll.param = uint8_t(extRetrigger | 2);
    }
}

// The last hit (row 56) fades to nothing on every channel before row 62, where the end part
// stops the module: a note still sounding there would be cut with a click. The echo's late
// notes would start up again out of the fade, so they go.
static void finale(XmPattern &p) {
    for (int row = 57; row < p.rows; row++)
        for (int ch = 0; ch < comprussChannels; ch++) {
            XmCell &c = cellAt(p, comprussChannels, row, ch);
            c = XmCell();
            if (row <= 61)
                c.volume = uint8_t(volumeSlideDown | 3);
        }
}

struct OrderScore {
    const char *scene;      // what the pictures do, for the cue sheet
    const char *music;      // what the music does, for the cue sheet
    const char *tune;       // the instrument that carries the tune, for the cue sheet and the checks
    int key;                // semitones above A minor
    int level;              // percent of every volume in the order
    const char *chords;
    const char *lead;       // melody of the lead, "" for none
    int leadTranspose;      // semitones
    int doubling;           // second lead voice this many semitones away, 0 for none
    bool echo;              // the lead's echo on its own channel
    const char *squeeze;    // accordion melody, "" for none
    const char *tremolo;    // balalaika melody, plucked on every row
    const char *plucked;    // balalaika melody, plucked once per note
    const char *arpeggio;   // balalaika arpeggio hits
    int padHold;            // held accordion chords at this volume, 0 for none
    bool padSwell;          // held chords grow through each chord
    const char *padStabs;   // accordion stabs (used when padHold is 0)
    const char *bass, *kick, *snare, *hat, *crash;
    void (*finish)(XmPattern &);  // a last touch to the pattern, or null
};

// The module plays its orders straight through and loops only at its very end: the player
// takes a position earlier than the last one it saw as the module wrapping round.
static const OrderScore comprussScore[] = {
    // 0-3: intro under the captions; a caption every 4 rows, so every beat is marked.
    {"captions (the title alone on rows 0-3)",
     "intro: swelling accordion chords, balalaika tremolo tune, soft pulse on every beat", "balalaika", 0, 90,
     "Am:16 | Am:16 | Dm:16 | E:16", "", 0, 0, false, "", introTremolo1, "", "", 34, true, "",
     "x.......x.......", "x.......o.......", "", hatBeat, crashTop, nullptr},
    {"captions", "intro: bass and kick on every eighth row join, tremolo tune climbs", "balalaika", 0, 92,
     "Am:16 | F:16 | Dm:16 | E:16", "", 0, 0, false, "", introTremolo2, "", "", 34, true, "",
     bassOom, kickOom, "", hatBeat, "", nullptr},
    {"captions", "intro: the oom-pah starts (accordion on the 4s), lead previews the theme with its echo", "lead", 0,
     100, chordsThemeA, introLead, 0, 0, true, "", "", "", arpEighths, 0, false, padPah,
     bassOom, kickFour, "....o.......o...", hatOff, crashTop, nullptr},
    {"captions (hop, then odin, dwa, tri)",
     "intro: a stab and the crash on every eighth row under the chant, snare roll from row 48, dead stop "
     "after 52, choked stabs on rows 57, 58 and 60, a snare roll and crash on 62-63",
     "", 0, 100, "Am:16 | Dm:16 | E:16 | E:16", "", 0, 0, false, "", "", "",
     "xoooxoooxoooxooo | xoooxoooxoooxooo | xoooxoooxoooxooo | ................", 0, false,
     "X.......X....... | X.......X....... | X.......X....... | X...x....ox.X.X.",
     "X.......X....... | X.......X....... | X.......X....... | X...x....ox.X.X.",
     "X...x...X...x... | X...x...X...x... | X...x...X...x... | X...x....ox.X.XX",
     "....X.......X... | ....X.......X... | ....X.......X... | xxxxX....ox.X.XX",
     "..x...x...x...x. | ..x...x...x...x. | ..x...x...x...x. | ................",
     "X............... | x............... | x............... | ..........o.X.X.", countIn},
    // 4-7: the theme, then busier; held back a little so that the climax can rise above it.
    {"samovar", "theme A on the lead, echoed, over the full oom-pah; balalaika arpeggio in eighths", "lead", 0, 82,
     chordsThemeA, themeA, 0, 0, true, "", "", "", arpEighths, 0, false, padPah,
     bassOom, kickFour, snarePah, hatOff, crashTop, nullptr},
    {"samovar", "theme B, ends on a pickup", "lead", 0, 82, chordsThemeB, themeB, 0, 0, true, "", "", "", arpEighths, 0,
     false, padPah, bassOom, kickFour, snarePah, hatOff, crashTop, nullptr},
    {"swarm", "sixteenth-note riff doubled an octave down, balalaika tremolo counter-line, bass on every beat",
     "lead", 0, 82, chordsSwarm, swarmRiff1, 0, -12, false, "", swarmTremolo, "", "", 0, false, padPah,
     bassBeat, kickFour, "....X.......X.x.", hatSixteenths, crashHalves, nullptr},
    {"swarm", "riff again, falling ending", "lead", 0, 82, chordsSwarm, swarmRiff2, 0, -12, false, "", swarmTremolo,
     "", "", 0, false, padPah, bassBeat, kickFour, "....X.......X.x.", hatSixteenths, crashHalves, nullptr},
    // 8-9: the calm between.
    {"portraits", "break: swelling chords, balalaika tremolo song, kick only on the flash rows", "balalaika", 0, 86,
     "Am:16 | F:16 | C:16 | E:16", "", 0, 0, false, "", breakSong1, "", "o.o.o.o.o.o.o.o.", 28, true, "",
     bassOom, kickOom, "", "o...o...o...o...", crashTop, nullptr},
    {"portraits", "break, second half; the song rises and stops on E", "balalaika", 0, 86,
     "Am:16 | F:16 | Dm:16 | E:16", "", 0, 0, false, "", breakSong2, "", "o.o.o.o.o.o.o.o.", 28, true, "",
     bassOom, kickOom, "", "o...o...o...o...", "", nullptr},
    // 10-13: the dance adds one voice per order, as the dancers multiply. From order 11 to 15
    // the band is held back a little, so that the climax comes in a clear step louder.
    {"dancers (one)", "dance: the accordion plays the dance tune over kick, hats and bass; a snare build (rows 0-7)",
     "accordion", 0, 100, chordsDance, "", 0, 0, false, danceTune, "", "", "", 0, false, "",
     bassBeat, kickFour, "o.o.x.xX........ | ................ | ................ | ................", hatOff,
     crashTop, nullptr},
    {"dancers (two)", "dance: the balalaika takes the tune in tremolo, the accordion answers, snare on the 4s",
     "balalaika", 0, 88, chordsDance, "", 0, 0, false, danceCounter, danceTremolo, "", "", 0, false, "",
     bassBeat, kickFour, snarePah, hatOff, crashTop, nullptr},
    {"dancers (three)", "dance: balalaika and accordion play the tune together, accordion chords on the 4s",
     "balalaika", 0, 88, chordsDance, "", 0, 0, false, danceTune, "", danceTune, "", 0, false, padPah,
     bassBeat, kickFour, snarePah, hatOff, crashTop, nullptr},
    {"dancers (four)", "dance: + lead takes the tune an octave up", "lead", 0, 88, chordsDance, danceTune, 12, 0,
     false, "", "", danceTune, "", 0, false, padPah, bassBeat, kickFour, snarePah, hatSixteenths, crashTop, nullptr},
    // 14-15: dizzy.
    {"spiral", "spinning sixteenth arpeggios over swelling chords and a tremolo pedal", "lead", 0, 88,
     chordsSpiral, spiral1, 0, 0, false, "", spiralPedal, "", "", 36, true, "",
     bassOom, kickFour, snarePah, hatSixteenths, crashTop, nullptr},
    {"spiral", "arpeggios turn the other way, a chromatic climb onto F#7 and a snare roll lift the key into the climax",
     "lead", 0, 88, chordsSpiralLift, spiral2, 0, 0, false, "", spiralPedalLift, "", "", 36, true, "",
     bassOom, kickFour,
     "....X.......X... | ....X.......X... | ....X.......X... | ....X...xxxxXXXX",
     hatSixteenths, crashTop, nullptr},
    // 16-20: everything, a tone higher, in B minor.
    {"missile rain", "climax in B minor: theme A in octaves with its echo, balalaika in sixteenths, crash every two bars",
     "lead", 2, 100, chordsThemeA, themeA, 0, -12, true, "", "", "", arpSixteenths, 0, false, padPah,
     bassBeat, kickFour, snareDrive, hatSixteenths, crashHalves, nullptr},
    {"missile rain", "climax: theme B in octaves, a balalaika tremolo counter-line", "lead", 2, 100, chordsThemeB,
     themeB, 0, -12, true, "", climaxCounter, "", arpSixteenths, 0, false, padPah, bassBeat, kickFour,
     "....X.......X..x | ....X.......X..x | ....X.......X..x | ....X.......XXXX", hatSixteenths, crashHalves,
     nullptr},
    {"missile rain", "climax: the swarm riff returns, the accordion holds the chords", "lead", 2, 100, chordsSwarm,
     swarmRiff1, 0, -12, false, "", swarmTremolo, "", "", 30, false, "", bassBeat, kickFour, "....X.......X.xx",
     hatSixteenths, crashHalves, nullptr},
    {"missile rain", "climax: theme A over the balalaika's descant and the sixteenths", "lead", 2, 100, chordsThemeA,
     themeA, 0, -12, true, "", climaxDescant, "", arpSixteenths, 0, false, padPah,
     bassBeat, kickFour, snareDrive, hatSixteenths, crashHalves, nullptr},
    {"missile rain (ends at row 62)",
     "final: theme B; the last hits on rows 48, 52 and 56 ring out and are gone by row 62, where the end part starts",
     "lead", 2, 100, chordsThemeB, themeBFinal, 0, -12, true, "", "", "",
     "xoooxoooxoooxooo | xoooxoooxoooxooo | xoooxoooxoooxooo | X...............", 0, false,
     "....x.......x... | ....x.......x... | ....x.......x... | X...x...X.......",
     "X...x...X...x... | X...x...X...x... | X...x...X...x... | X...x...X.......",
     "X...x...X...x... | X...x...X...x... | X...x...X...x... | X...x...X.......",
     "....X.......X..x | ....X.......X..x | ....X.......X.xx | ....x.xxX.......",
     "xooooooxxooooooo | xooooooxxooooooo | xooooooxxooooooo | xoxoxoxo........",
     "X............... | ................ | X............... | X.......X.......", finale},
};

const int comprussOrders = int(sizeof comprussScore / sizeof comprussScore[0]);

static bool accordionPlays(const OrderScore &o) { return o.padHold > 0 || o.padStabs[0]; }

static XmPattern orderPattern(const OrderScore &o, const OrderScore *previous) {
    const int rows = 64;
    XmPattern p = emptyPattern(rows, comprussChannels);
    std::vector<ChordEvent> chords = parseChords(o.chords, 16);
    for (ChordEvent &c : chords)
        c.root = (c.root + o.key) % 12;
    auto track = [&](int channel, int instrument) { return Track{&p, comprussChannels, channel, instrument}; };

    // Parts that sustain must stop when the next order does not continue them.
    if (previous) {
        if (accordionPlays(*previous) && !accordionPlays(o))
            for (int v = 0; v < 3; v++)
                cellAt(p, comprussChannels, 0, chPad + v).note = keyOff;
        if (previous->lead[0] && !o.lead[0]) {
            cellAt(p, comprussChannels, 0, chLead).note = keyOff;
            cellAt(p, comprussChannels, 0, chLead2).note = keyOff;
        }
        if (previous->echo && !o.echo)
            cellAt(p, comprussChannels, echoRows, chEcho).note = keyOff;
        if (previous->squeeze[0] && !o.squeeze[0])
            cellAt(p, comprussChannels, 0, chSqueeze).note = keyOff;
        if (previous->bass[0] && !o.bass[0])
            cellAt(p, comprussChannels, 0, chBass).note = keyOff;
    }

    if (o.lead[0]) {
        std::vector<NoteEvent> lead = parseMelody(o.lead, 16);
        int transpose = o.leadTranspose + o.key;
        Track leadTrack = track(chLead, insLead);
        leadTrack.vibrato = leadVibrato;
        writeMelody(leadTrack, lead, leadVolume, transpose);
        if (o.doubling)
            writeMelody(track(chLead2, insLead), lead, doublingVolume, transpose + o.doubling);
        if (o.echo)
            writeEcho(track(chEcho, insLead), lead, echoVolume, transpose, echoRows);
    }
    if (o.squeeze[0])
        writeMelody(track(chSqueeze, insAccordion), parseMelody(o.squeeze, 16), squeezeVolume, o.key);
    if (o.tremolo[0])
        writeTremolo(track(chTremolo, insBalalaika), parseMelody(o.tremolo, 16),
                     std::string(o.tune) == "balalaika" ? tremoloVolume : counterVolume, 0, o.key);
    if (o.plucked[0])
        writeMelody(track(chTremolo, insBalalaika), parseMelody(o.plucked, 16), pluckedVolume, o.key);
    if (o.arpeggio[0])
        writeArpeggio(track(chArpeggio, insBalalaika), chords, parseHits(o.arpeggio, rows), arpeggioLowest);
    if (o.padHold > 0)
        writeHeldChords(track(chPad, insAccordion), 3, chords, o.padHold, padLowest, o.padSwell);
    else if (o.padStabs[0])
        writeStabs(track(chPad, insAccordion), 3, chords, parseHits(o.padStabs, rows), padLowest);
    if (o.bass[0])
        writeBass(track(chBass, insBass), chords, parseHits(o.bass, rows), bassLowest);
    writeHits(track(chKick, insKick), parseHits(o.kick, rows));
    writeHits(track(chSnare, insSnare), parseHits(o.snare, rows));
    writeHits(track(chHat, insHat), parseHits(o.hat, rows));
    writeHits(track(chCrash, insCrash), parseHits(o.crash, rows));

    if (o.finish)
        o.finish(p);
    for (int ch = 0; ch < comprussChannels; ch++)
        if (channelPan[ch] >= 0)
            panNotes(p, comprussChannels, ch, channelPan[ch]);
    if (o.level != 100)
        scaleVolumes(p, o.level);
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
    out += std::to_string(comprussChannels) + " channels, speed 6 at 125 BPM: 0.12 s a row, 4 rows a beat, 64 rows (7.68 s) an order, " +
           std::to_string(comprussOrders) + " orders, played straight through.\n";
    out += "The timeline ends at order " + std::to_string(TIMELINE_END_ORDER) + " row " +
           std::to_string(TIMELINE_END_ROW) + ", " + clock(TIMELINE_ROWS * rowSeconds) +
           " after the start; the module itself runs to " + clock(comprussOrders * ORDER_ROWS * rowSeconds) +
           " and then loops to order 0.\n\n";
    out += "Kick and bass fall on every row that is a multiple of 8 (the flash), the snare and the accordion\n"
           "on the rows 4 past them, so every colour clear (each 4th row) lands on a beat.\n"
           "Columns: the instrument that carries the tune, loud kick (volume 64) rows, snare rows, crash rows.\n\n";
    out += "| order | start | scene | music | tune | loud kick | snare | crash |\n";
    out += "|---|---|---|---|---|---|---|---|\n";
    for (int i = 0; i < comprussOrders; i++) {
        const OrderScore &o = comprussScore[i];
        out += "| " + std::to_string(i) + " | " + clock(i * 64 * rowSeconds) + " | " + o.scene + " | " + o.music +
               " | " + (o.tune[0] ? o.tune : "none") + " | " + markedRows(o.kick, 64) + " | " +
               markedRows(o.snare, 1) + " | " + markedRows(o.crash, 1) + " |\n";
    }
    out += "\nCount-in: order 3 rows 57, 58 and 60 (" + clock((3 * 64 + 57) * rowSeconds) + ", " +
           clock((3 * 64 + 58) * rowSeconds) + ", " + clock((3 * 64 + 60) * rowSeconds) +
           "): kick, snare, bass and an accordion stab, choked after a few ticks, under \"odin\", \"dwa\" and \"tri\";\n"
           "rows 53 to 56 are silent before them. Rows 62 and 63: a snare roll, kicks and the crash while the captions\n"
           "flicker through.\n";
    out += "The end: the last hit on order 20 row 56 fades out on every channel by row 62.\n";
    return out;
}
