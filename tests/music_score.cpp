// music_score.cpp -- checks the score notation, the XM writer's output and the arrangement's accents
#include "endwords.h"
#include "music.h"
#include "score.h"
#include "xmwriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

// A small reader for what the writer produces, independent of it: header fields, unpacked
// patterns, sample headers and decoded sample data.
struct ReadSample {
    uint32_t loopStart = 0, loopLength = 0;  // in samples
    uint8_t type = 0;
    std::vector<int16_t> data;
};
struct ReadModule {
    bool ok = false;
    int orders = 0, channels = 0, patterns = 0, instruments = 0, speed = 0, bpm = 0;
    std::vector<int> orderTable;
    std::vector<std::vector<XmCell>> cells;  // per pattern, rows * channels
    std::vector<int> rows;
    std::vector<ReadSample> samples;
};

struct Cursor {
    const std::vector<uint8_t> &b;
    size_t pos = 0;
    bool bad = false;
    unsigned u8() {
        if (pos >= b.size()) { bad = true; return 0; }
        return b[pos++];
    }
    unsigned u16() { unsigned lo = u8(); return lo | u8() << 8; }
    uint32_t u32() { uint32_t lo = u16(); return lo | uint32_t(u16()) << 16; }
};

ReadModule readXm(const std::vector<uint8_t> &bytes) {
    ReadModule m;
    Cursor c{bytes};
    if (bytes.size() < 80 || std::string(bytes.begin(), bytes.begin() + 17) != "Extended Module: ")
        return m;
    c.pos = 58;
    if (c.u16() != 0x0104)
        return m;
    size_t headerStart = c.pos;
    uint32_t headerSize = c.u32();
    m.orders = c.u16();
    c.u16();  // restart
    m.channels = c.u16();
    m.patterns = c.u16();
    m.instruments = c.u16();
    c.u16();  // flags
    m.speed = c.u16();
    m.bpm = c.u16();
    for (int i = 0; i < m.orders; i++)
        m.orderTable.push_back(bytes[c.pos + i]);
    c.pos = headerStart + headerSize;
    for (int p = 0; p < m.patterns; p++) {
        size_t start = c.pos;
        uint32_t len = c.u32();
        c.u8();
        int rows = c.u16();
        unsigned packedSize = c.u16();
        c.pos = start + len;
        size_t end = c.pos + packedSize;
        std::vector<XmCell> cells;
        while (c.pos < end && !c.bad) {
            XmCell cell;
            unsigned first = c.u8();
            if (first & 0x80) {
                if (first & 1) cell.note = c.u8();
                if (first & 2) cell.instrument = c.u8();
                if (first & 4) cell.volume = c.u8();
                if (first & 8) cell.effect = c.u8();
                if (first & 16) cell.param = c.u8();
            } else {
                cell.note = first;
                cell.instrument = c.u8();
                cell.volume = c.u8();
                cell.effect = c.u8();
                cell.param = c.u8();
            }
            cells.push_back(cell);
        }
        if (int(cells.size()) != rows * m.channels)
            return m;
        m.cells.push_back(cells);
        m.rows.push_back(rows);
    }
    for (int i = 0; i < m.instruments; i++) {
        size_t start = c.pos;
        uint32_t size = c.u32();
        c.pos = start + 27;
        int sampleCount = c.u16();
        c.pos = start + size;
        std::vector<ReadSample> own(sampleCount);
        std::vector<uint32_t> lengths;
        for (int s = 0; s < sampleCount; s++) {
            lengths.push_back(c.u32() / 2);
            own[s].loopStart = c.u32() / 2;
            own[s].loopLength = c.u32() / 2;
            c.u8();
            c.u8();
            own[s].type = uint8_t(c.u8());
            c.pos += 3 + 22;
        }
        for (int s = 0; s < sampleCount; s++) {
            int16_t value = 0;
            for (uint32_t k = 0; k < lengths[s]; k++) {
                value = int16_t(value + int16_t(c.u16()));
                own[s].data.push_back(value);
            }
            m.samples.push_back(own[s]);
        }
    }
    m.ok = !c.bad && c.pos == bytes.size();
    return m;
}

std::vector<uint8_t> readFile(const char *path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool struck(const XmCell &c) { return c.note >= 1 && c.note <= 96; }

}  // namespace

TEST(MusicNotation, PitchNamesFollowConcertOctaves) {
    EXPECT_EQ(noteNumber("C4"), 49);  // XM's C-4
    EXPECT_EQ(noteNumber("A4"), 58);
    EXPECT_EQ(noteNumber("C#5"), 62);
    EXPECT_EQ(noteNumber("Bb4"), 59);
    EXPECT_EQ(noteNumber("B#3"), 49);  // enharmonic of C4: the octave belongs to the letter
    EXPECT_EQ(noteNumber("Cb5"), 60);
    EXPECT_EQ(noteName(58), "A4");
    EXPECT_EQ(noteName(noteNumber("G#6")), "G#6");
}

TEST(MusicNotation, MelodyRowsAndDelays) {
    std::vector<NoteEvent> line = parseMelody("r:5 A4:3@11 D5:8 | E5:16", 16);
    ASSERT_EQ(line.size(), 4u);
    EXPECT_EQ(line[0].note, 0);
    EXPECT_EQ(line[1].row, 5);
    EXPECT_EQ(line[1].delay, 11);
    EXPECT_EQ(line[2].row, 8);
    EXPECT_EQ(line[3].row, 16);
    EXPECT_EQ(line[3].rows, 16);
}

TEST(MusicNotationDeathTest, MiscountedBarsAndBadTokensStopTheTool) {
    EXPECT_EXIT(parseMelody("A4:4 B4:4 | C5:16", 16), testing::ExitedWithCode(1), "bar ending at row 8 has 8 rows");
    EXPECT_EXIT(parseMelody("A4:16 | C5:8", 16), testing::ExitedWithCode(1), "last bar has 8 rows");
    EXPECT_EXIT(parseMelody("H4:16", 16), testing::ExitedWithCode(1), "bad pitch name");
    EXPECT_EXIT(parseChords("Asus:16", 16), testing::ExitedWithCode(1), "bad chord");
    EXPECT_EXIT(parseHits("X..?", 16), testing::ExitedWithCode(1), "bad hit mark");
    EXPECT_EXIT(parseHits("X..", 16), testing::ExitedWithCode(1), "does not fill");
}

TEST(MusicNotation, ChordsVoiceAboveTheLowestNote) {
    std::vector<ChordEvent> chords = parseChords("Am:8 E7:8", 16);
    ASSERT_EQ(chords.size(), 2u);
    EXPECT_EQ(voicing(chords[0], 53), (std::vector<int>{53, 58, 61}));  // from E4 up: E4 A4 C5
    EXPECT_EQ(&chordAt(chords, 9), &chords[1]);
    std::vector<int> hits = parseHits("X.o.", 8);
    EXPECT_EQ(hits, (std::vector<int>{64, 0, 30, 0, 64, 0, 30, 0}));
}

TEST(MusicModule, HeaderAndPatternsReadBack) {
    XmModule module = composeCompruss();
    std::vector<uint8_t> bytes = writeXm(module);
    ReadModule m = readXm(bytes);
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.orders, 21);
    EXPECT_GE(m.channels, 8);
    EXPECT_LE(m.channels, 16);
    EXPECT_EQ(m.speed, 6);
    EXPECT_EQ(m.bpm, 125);
    for (int p = 0; p < m.patterns; p++)
        EXPECT_EQ(m.rows[p], 64) << "pattern " << p;
    // Every cell written reads back the same (the packing drops nothing).
    for (int p = 0; p < m.patterns; p++)
        for (size_t i = 0; i < m.cells[p].size(); i++) {
            const XmCell &a = module.patterns[p].cells[i], &b = m.cells[p][i];
            ASSERT_TRUE(a.note == b.note && a.instrument == b.instrument && a.volume == b.volume &&
                        a.effect == b.effect && a.param == b.param)
                << "pattern " << p << " cell " << i;
        }
    // Delta-coded sample data decodes to what was synthesised.
    size_t s = 0;
    for (const XmInstrument &ins : module.instruments)
        for (const XmSample &sample : ins.samples) {
            ASSERT_LT(s, m.samples.size());
            EXPECT_EQ(m.samples[s].data, sample.data) << ins.name;
            EXPECT_EQ(m.samples[s].type & 0x10, 0x10) << "16-bit flag on " << ins.name;
            s++;
        }
}

TEST(MusicModule, TheCommittedModuleIsWhatTheScoreMakes) {
    std::vector<uint8_t> shipped = readFile("data/compruss.xm");
    ASSERT_FALSE(shipped.empty()) << "data/compruss.xm missing";
    EXPECT_TRUE(shipped == writeXm(composeCompruss())) << "regenerate with: cmake --build BUILD --target music-data";
}

// The pictures change on rows that are multiples of 4 and flash on multiples of 8: the music has
// to strike something there, and the loudest drums belong on the flash rows.
TEST(MusicModule, AccentsFallOnTheRowsThePicturesChangeOn) {
    XmModule module = composeCompruss();
    int ch = module.channels;
    for (int order = 0; order < int(module.orders.size()); order++) {
        const XmPattern &p = module.patterns[module.orders[order]];
        for (int row = 0; row < 64; row += 4) {
            if ((order == 3 && row == 56) || (order == 20 && row == 60))
                continue;  // the silence before the count-in; the last hit ringing out
            bool any = false;
            for (int c = 0; c < ch; c++)
                any = any || struck(p.cells[row * ch + c]);
            EXPECT_TRUE(any) << "nothing struck at order " << order << " row " << row;
        }
        // Loud kicks (full volume) only on the flash rows, or in the count-in.
        for (int row = 0; row < 64; row++) {
            const XmCell &kick = p.cells[row * ch + 0];
            if (struck(kick) && kick.volume == volumeByte(64) && row % 8 != 0) {
                EXPECT_TRUE(order == 3 && row >= 56)
                    << "loud kick off the flash rows at order " << order << " row " << row;
            }
        }
    }
    // The count-in: a hit under each of "odin", "dwa" and "tri" (rows 57, 58, 60) out of
    // silence, nothing struck between them, and the roll under the captions' flurry.
    const XmPattern &p3 = module.patterns[module.orders[3]];
    for (int row : {57, 58, 60, 62, 63})
        EXPECT_TRUE(struck(p3.cells[row * ch + 0])) << "kick at order 3 row " << row;
    for (int row : {53, 54, 55, 56, 59, 61})
        for (int c = 0; c < ch; c++)
            EXPECT_FALSE(struck(p3.cells[row * ch + c])) << "order 3 row " << row << " channel " << c;
    // The finale: nothing struck after row 56 of order 20.
    const XmPattern &p20 = module.patterns[module.orders[20]];
    for (int row = 57; row < 64; row++)
        for (int c = 0; c < ch; c++)
            EXPECT_FALSE(struck(p20.cells[row * ch + c])) << "order 20 row " << row << " channel " << c;
}

// The climax is new music, not a repeat: no pattern from order 14 on is a copy of an earlier
// one. And the module only moves forward: no position jumps and no pattern loops, which would
// take the position back.
TEST(MusicModule, TheClimaxIsNewAndThePositionOnlyMovesForward) {
    ReadModule m = readXm(writeXm(composeCompruss()));
    ASSERT_TRUE(m.ok);
    auto same = [&](int a, int b) {
        const std::vector<XmCell> &x = m.cells[m.orderTable[a]], &y = m.cells[m.orderTable[b]];
        if (x.size() != y.size())
            return false;
        for (size_t i = 0; i < x.size(); i++)
            if (x[i].note != y[i].note || x[i].instrument != y[i].instrument || x[i].volume != y[i].volume ||
                x[i].effect != y[i].effect || x[i].param != y[i].param)
                return false;
        return true;
    };
    for (int later = 14; later < m.orders; later++)
        for (int earlier = 0; earlier < later; earlier++)
            EXPECT_FALSE(same(later, earlier)) << "order " << later << " repeats order " << earlier;
    // Besides panning, the playing is shaped by effects: vibrato, volume slides (the chords'
    // swell, the fade at the end), and notes cut short or struck again (the count-in's stabs,
    // the rolls). Each kind counts only if it is used more than a few times.
    int vibrato = 0, slides = 0, cutsAndRolls = 0;
    for (const std::vector<XmCell> &cells : m.cells)
        for (const XmCell &c : cells) {
            EXPECT_NE(c.effect, 0x0B) << "position jump";
            EXPECT_FALSE(c.effect == 0x0E && (c.param & 0xF0) == 0x60) << "pattern loop";
            vibrato += c.effect == 0x04 || (c.volume >= 0xB0 && c.volume < 0xC0);
            slides += c.effect == 0x0A || (c.volume >= 0x60 && c.volume < 0xA0);
            cutsAndRolls += c.effect == 0x0E && ((c.param & 0xF0) == 0x90 || (c.param & 0xF0) == 0xC0);
        }
    std::printf("vibrato %d, volume slides %d, cuts and rolls %d\n", vibrato, slides, cutsAndRolls);
    EXPECT_GE((vibrato > 8) + (slides > 8) + (cutsAndRolls > 8), 2);
}

// A loop whose end does not meet its start clicks at every pass; a sample that starts or ends
// away from zero clicks at every note.
TEST(MusicModule, LoopedSamplesCloseWithoutAStep) {
    for (const XmModule &module : {composeCompruss(), composeFarewell()})
        for (const XmInstrument &ins : module.instruments)
            for (const XmSample &s : ins.samples) {
                // A note starts from silence: its first value may be no bigger a step than the
                // waveform takes anyway, or the note starts with a click.
                int largestStep = 0;
                for (size_t i = 1; i < s.data.size(); i++)
                    largestStep = std::max(largestStep, std::abs(s.data[i] - s.data[i - 1]));
                EXPECT_LE(std::abs(s.data.front()), largestStep) << ins.name << " starts with a step";
                if (s.loop == XM_NO_LOOP) {
                    // One-shots must die away, not stop dead.
                    EXPECT_LT(std::abs(s.data.back()), 64) << ins.name;
                    continue;
                }
                ASSERT_LE(s.loopStart + s.loopLength, s.data.size()) << ins.name;
                int largest = 0;
                for (uint32_t i = s.loopStart + 1; i < s.loopStart + s.loopLength; i++)
                    largest = std::max(largest, std::abs(s.data[i] - s.data[i - 1]));
                int seam = std::abs(s.data[s.loopStart] - s.data[s.loopStart + s.loopLength - 1]);
                EXPECT_LE(seam, largest) << ins.name << ": the loop's seam is a step";
            }
}

// The end part's table, as the player holds it.
static const endScrolltext endWords[] = {
#include "endwords.inc"
};

// The prescribed words land on their positions, the player's table holds the song's
// positions, and a function word never gets a long note: "the" is a pickup, not a held note.
TEST(MusicFarewell, WordsLandOnTheirPrescribedPositionsAndFitTheirNotes) {
    SongClock clock = farewellClock();
    double leadIn = farewellLeadIn(clock);
    std::vector<WordCue> words = farewellWords(clock, leadIn);
    ASSERT_EQ(int(words.size()), wordCount);
    ASSERT_EQ(sizeof endWords / sizeof endWords[0], words.size());
    EXPECT_GT(leadIn, 0.0);
    const int prescribed[][2] = {{0, 67145}, {1, 75556}, {2, 82505}, {76, 1143442}, {77, 1157339}};
    for (const auto &p : prescribed) {
        EXPECT_EQ(words[p[0]].fixedAt, p[1]);
        EXPECT_NEAR(words[p[0]].position, p[1], 16000 * 0.005) << "word " << p[0] << " more than 5 ms off";
    }
    for (size_t i = 0; i < words.size(); i++) {
        EXPECT_EQ(endWords[i].position, words[i].fixedAt ? words[i].fixedAt : words[i].position) << "word " << i;
        if (i > 0) {
            EXPECT_GT(words[i].position, words[i - 1].position) << "word " << i;
        }
        if (std::string(endWords[i].text) == "the") {
            EXPECT_LE(words[i].rows, 3) << "\"the\" held for " << words[i].rows << " rows, word " << i;
        }
    }
    // The last word comes with the silence after the last chord; every other word is a note.
    EXPECT_EQ(words.back().note, 0);
    for (size_t i = 0; i + 1 < words.size(); i++)
        EXPECT_NE(words[i].note, 0) << "word " << i;
}

TEST(MusicFarewell, CueSheetCarriesTheWordTable) {
    std::ifstream in("data/CUES.md");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(text.empty());
    SongClock clock = farewellClock();
    std::vector<WordCue> words = farewellWords(clock, farewellLeadIn(clock));
    size_t from = text.find("endScrolltext endscrollText[] = {");
    ASSERT_NE(from, std::string::npos);
    for (size_t i = 0; i < words.size(); i++) {
        char row[128];
        std::snprintf(row, sizeof row, "{0.0f, 0.0f, %d,\t\t\"%s\"}", words[i].fixedAt ? words[i].fixedAt : words[i].position,
                      endWords[i].text);
        size_t at = text.find(row, from);
        ASSERT_NE(at, std::string::npos) << row;
        from = at + 1;
    }
    EXPECT_NE(text.find("order 20 row 62, 2:41.04"), std::string::npos);
}
