// music_render.cpp -- plays the shipped module and the farewell module through libopenmpt and measures them
#include "music.h"
#include "timeline.h"

#include <libopenmpt/libopenmpt.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const int rate = 44100;
const int chunk = 441;  // 10 ms: the resolution of every time measured here

struct Render {
    std::vector<float> left, right;
    std::vector<int> orderAt;     // order reported after each chunk
    std::vector<int> positionAt;  // positionKey reported after each chunk
    double endSeconds = -1;       // first time the module reports order 20 row 62
};

Render renderShipped() {
    std::ifstream in("data/compruss.xm", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    Render r;
    if (bytes.empty())
        return r;
    openmpt::module module(bytes.data(), bytes.size());
    module.set_repeat_count(0);
    std::vector<float> l(chunk), rr(chunk);
    size_t frames = 0;
    for (;;) {
        size_t n = module.read(rate, chunk, l.data(), rr.data());
        if (n == 0)
            break;
        r.left.insert(r.left.end(), l.begin(), l.begin() + n);
        r.right.insert(r.right.end(), rr.begin(), rr.begin() + n);
        frames += n;
        int order = module.get_current_order(), row = module.get_current_row();
        r.orderAt.push_back(order);
        r.positionAt.push_back(positionKey(order, row));
        // The position is that at the end of the chunk; the row began within it.
        if (r.endSeconds < 0 && order == TIMELINE_END_ORDER && row >= TIMELINE_END_ROW)
            r.endSeconds = (frames - n / 2.0) / rate;
    }
    return r;
}

const Render &shipped() {
    static Render r = renderShipped();
    return r;
}

double rms(const Render &r, size_t from, size_t to) {
    double sum = 0;
    to = std::min(to, r.left.size());
    if (to <= from)
        return 0;
    for (size_t i = from; i < to; i++)
        sum += r.left[i] * r.left[i] + r.right[i] * r.right[i];
    return std::sqrt(sum / (2.0 * (to - from)));
}

double db(double v) { return 20.0 * std::log10(std::max(v, 1e-9)); }

const double rowSeconds = 0.12;
const double timelineEnd = TIMELINE_ROWS * rowSeconds;

// The cue sheet's order table: when each order starts and which instrument carries its tune.
struct OrderCue {
    double start;
    std::string tune;
};
std::vector<OrderCue> orderCues() {
    std::ifstream in("data/CUES.md");
    std::vector<OrderCue> cues;
    std::string line;
    while (std::getline(in, line) && line.rfind("## farewell", 0) != 0) {
        int order = 0, minutes = 0;
        double seconds = 0;
        if (std::sscanf(line.c_str(), "| %d | %d:%lf |", &order, &minutes, &seconds) != 3 || order != int(cues.size()))
            continue;
        std::vector<std::string> cells;
        for (size_t at = 0; (at = line.find(" | ", at)) != std::string::npos; at += 3)
            cells.push_back(line.substr(at + 3, line.find(" | ", at + 3) - at - 3));
        cues.push_back({minutes * 60 + seconds, cells.size() > 3 ? cells[3] : ""});
    }
    return cues;
}

// A module with only one instrument's notes left: a cell belongs to the instrument last
// struck on its channel, so key-offs and effects stay with their notes.
XmModule solo(XmModule m, int instrument) {
    std::vector<int> current(m.channels, 0);
    for (uint8_t index : m.orders) {
        XmPattern &p = m.patterns[index];
        for (size_t i = 0; i < p.cells.size(); i++) {
            XmCell &c = p.cells[i];
            int ch = int(i % m.channels);
            if (c.instrument)
                current[ch] = c.instrument;
            if (current[ch] != instrument && c.effect != 0x0F)  // the tempo stays
                c = XmCell();
        }
    }
    return m;
}

double rmsOf(const std::vector<float> &pcm, double from, double to) {
    size_t a = size_t(from * rate) * 2, b = std::min(pcm.size(), size_t(to * rate) * 2);
    double sum = 0;
    for (size_t i = a; i < b; i++)
        sum += pcm[i] * pcm[i];
    return b > a ? std::sqrt(sum / (b - a)) : 0;
}

}  // namespace

TEST(MusicRender, TimelineEndsWhenTheCueSheetSays) {
    const Render &r = shipped();
    ASSERT_FALSE(r.left.empty()) << "data/compruss.xm missing or unplayable";
    std::ifstream in("data/CUES.md");
    std::string cues((std::istreambuf_iterator<char>(in)), {});
    size_t at = cues.find("order 20 row 62, ");
    ASSERT_NE(at, std::string::npos);
    int minutes = 0;
    double seconds = 0;
    ASSERT_EQ(std::sscanf(cues.c_str() + at, "order 20 row 62, %d:%lf", &minutes, &seconds), 2);
    double said = minutes * 60 + seconds;
    EXPECT_NEAR(said, timelineEnd, 0.005);
    EXPECT_NEAR(r.endSeconds, said, 0.011) << "libopenmpt reaches order 20 row 62 at " << r.endSeconds << " s";
    // The module must not stop before the timeline does.
    EXPECT_GT(r.left.size() / double(rate), timelineEnd + 0.1);
    // It only ever moves forward until it loops at its very end (reported as order 0 row 0):
    // the player reads a position behind the last one as the module wrapping round.
    size_t last = r.positionAt.size();
    while (last > 0 && r.positionAt[last - 1] == 0)
        last--;
    for (size_t i = 1; i < last; i++)
        ASSERT_GE(r.positionAt[i], r.positionAt[i - 1]) << "the module jumps back after " << i * chunk / double(rate) << " s";
    std::printf("order 20 row 62 at %.3f s, module %.3f s\n", r.endSeconds, r.left.size() / double(rate));
}

TEST(MusicRender, MixIsUnclippedEvenAndWide) {
    const Render &r = shipped();
    ASSERT_FALSE(r.left.empty());
    float peak = 0;
    for (size_t i = 0; i < r.left.size(); i++)
        peak = std::max({peak, std::fabs(r.left[i]), std::fabs(r.right[i])});
    std::printf("peak %.3f (%.2f dBFS)\n", peak, db(peak));
    EXPECT_LT(peak, 1.0f);

    // The scenes' sections, by order.
    const struct { const char *name; int first, last; } sections[] = {
        {"intro", 0, 3}, {"samovar", 4, 5}, {"swarm", 6, 7}, {"portraits", 8, 9},
        {"dance", 10, 13}, {"spiral", 14, 15}, {"climax", 16, 20}};
    size_t endFrame = size_t(timelineEnd * rate);
    double loudest = -1e9;
    std::vector<double> levels;
    for (const auto &s : sections) {
        size_t from = size_t(s.first * 64 * rowSeconds * rate);
        size_t to = std::min(endFrame, size_t((s.last + 1) * 64 * rowSeconds * rate));
        levels.push_back(db(rms(r, from, to)));
        loudest = std::max(loudest, levels.back());
    }
    for (size_t i = 0; i < levels.size(); i++) {
        std::printf("%-10s RMS %6.2f dBFS\n", sections[i].name, levels[i]);
        EXPECT_GT(levels[i], loudest - 10.0) << sections[i].name << " is too quiet";
    }

    // No gap of silence (below -60 dBFS) longer than a second before the timeline ends.
    const size_t block = rate / 20;
    double longest = 0, run = 0;
    for (size_t from = 0; from + block <= endFrame; from += block) {
        run = db(rms(r, from, from + block)) < -60.0 ? run + 0.05 : 0.0;
        longest = std::max(longest, run);
    }
    EXPECT_LE(longest, 1.0) << "silent for " << longest << " s";

    // Width: the side signal (L - R) against the mid (L + R) over the whole timeline.
    double side = 0, mid = 0;
    for (size_t i = 0; i < endFrame && i < r.left.size(); i++) {
        side += (r.left[i] - r.right[i]) * (r.left[i] - r.right[i]);
        mid += (r.left[i] + r.right[i]) * (r.left[i] + r.right[i]);
    }
    double width = 10 * std::log10(side / mid);
    std::printf("side/mid %.2f dB\n", width);
    EXPECT_GT(width, -12.0) << "the mix is close to mono";
}

// Where the balalaika or the accordion carries the tune, it must be heard as the tune: alone,
// it is within 8 dB of the loudest instrument alone. The snare's "pah" answers the kick's
// "oom" within 10 dB.
TEST(MusicRender, TheTuneCarriesOverTheBand) {
    std::vector<OrderCue> cues = orderCues();
    ASSERT_EQ(cues.size(), 21u) << "the cue sheet's order table";
    XmModule band = composeCompruss();
    std::vector<std::vector<float>> alone;
    for (size_t i = 0; i < band.instruments.size(); i++)
        alone.push_back(renderModule(writeXm(solo(band, int(i) + 1)), timelineEnd));
    auto level = [&](const std::string &name, double from, double to) {
        for (size_t i = 0; i < band.instruments.size(); i++)
            if (band.instruments[i].name == name)
                return db(rmsOf(alone[i], from, to));
        ADD_FAILURE() << "no instrument " << name;
        return -200.0;
    };
    int checked = 0;
    for (size_t o = 0; o < cues.size(); o++) {
        if (cues[o].tune != "balalaika" && cues[o].tune != "accordion")
            continue;
        double from = cues[o].start, to = o + 1 < cues.size() ? cues[o + 1].start : timelineEnd;
        double loudest = -200;
        std::string loudestName;
        for (const XmInstrument &ins : band.instruments)
            if (level(ins.name, from, to) > loudest) {
                loudest = level(ins.name, from, to);
                loudestName = ins.name;
            }
        double tune = level(cues[o].tune, from, to);
        std::printf("order %2zu: %s %.1f dB, loudest %s %.1f dB\n", o, cues[o].tune.c_str(), tune,
                    loudestName.c_str(), loudest);
        EXPECT_GE(tune, loudest - 8.0) << "order " << o << ": the " << cues[o].tune << " is buried";
        checked++;
    }
    EXPECT_GE(checked, 4) << "orders where the folk instruments carry the tune";
    double kick = level("kick", 0, timelineEnd), snare = level("snare", 0, timelineEnd);
    std::printf("kick %.1f dB, snare %.1f dB\n", kick, snare);
    EXPECT_GE(snare, kick - 10.0);
}

// The count-in lands where its captions appear: each hit of order 3 rows 57, 58 and 60 stands
// 10 dB above the two rows before it, and rows 62 and 63 are a burst, not a lull. At the end,
// nothing may still sound on order 20 row 62, where the end part stops the module.
TEST(MusicRender, CountInAndEndingLandCleanly) {
    const Render &r = shipped();
    ASSERT_FALSE(r.left.empty());
    auto at = [](int order, int row) { return size_t(rowsFromStart(order, row) * rowSeconds * rate); };
    const size_t onset = rate * 3 / 100;
    for (int row : {57, 58, 60}) {
        double hit = db(rms(r, at(3, row), at(3, row) + onset));
        double before = db(rms(r, at(3, row - 2), at(3, row)));
        std::printf("order 3 row %d: %.1f dB against %.1f dB before\n", row, hit, before);
        EXPECT_GE(hit - before, 10.0) << "the hit on order 3 row " << row;
    }
    double burst = db(rms(r, at(3, 62), at(4, 0)));
    double groove = db(rms(r, at(3, 0), at(3, 48)));
    std::printf("rows 62-63 %.1f dB, the groove %.1f dB\n", burst, groove);
    EXPECT_GE(burst, groove);
    size_t end = at(TIMELINE_END_ORDER, TIMELINE_END_ROW);
    double tail = db(rms(r, end - rate / 50, end + rate / 50));
    std::printf("around the timeline's end: %.1f dBFS\n", tail);
    EXPECT_LT(tail, -50.0) << "the module is still sounding when the end part stops it";
}

// The flash rows (multiples of 8) and the clears (multiples of 4) should be heard: sound
// rises sharply at those row starts, and more than it does at the rows between.
TEST(MusicRender, BeatsLandOnTheRowsThatChangeThePicture) {
    const Render &r = shipped();
    ASSERT_FALSE(r.left.empty());
    const size_t window = rate * 4 / 100;
    double rise[3] = {0, 0, 0};  // on multiples of 8, other multiples of 4, odd rows
    int count[3] = {0, 0, 0};
    for (int row = 4 * 64; row < 20 * 64 + 62; row++) {  // the scenes after the captions
        size_t at = size_t(row * rowSeconds * rate);
        double gain = db(rms(r, at, at + window)) - db(rms(r, at - window, at));
        int kind = row % 8 == 0 ? 0 : row % 4 == 0 ? 1 : row % 2 == 1 ? 2 : -1;
        if (kind >= 0) {
            rise[kind] += gain;
            count[kind]++;
        }
    }
    for (int k = 0; k < 3; k++)
        rise[k] /= count[k];
    std::printf("mean rise: flash rows %.2f dB, clear rows %.2f dB, odd rows %.2f dB\n", rise[0], rise[1], rise[2]);
    EXPECT_GT(rise[0], 3.0);
    EXPECT_GT(rise[1], 1.5);
    EXPECT_GT(rise[0], rise[2] + 2.0);
    EXPECT_GT(rise[1], rise[2] + 1.0);
}

// The word positions are computed from the score with the tick length libopenmpt uses: check
// that assumption against where libopenmpt actually starts each row of the farewell module.
TEST(MusicRender, FarewellRowsStartWhereTheWordTableAssumes) {
    std::vector<uint8_t> file = writeXm(composeFarewell());
    openmpt::module module(file.data(), file.size());
    module.set_repeat_count(0);
    const SongClock clock = farewellClock();
    const int step = 16;  // frames per read: rows are located to within 0.4 ms
    std::vector<float> l(step), r(step);
    size_t frames = 0;
    int lastOrder = 0, lastRow = 0, rowIndex = 0, checked = 0;
    double worst = 0;
    for (;;) {
        size_t n = module.read(rate, step, l.data(), r.data());
        if (n == 0)
            break;
        frames += n;
        int order = module.get_current_order(), row = module.get_current_row();
        if ((order != lastOrder || row != lastRow) && !(order == 0 && row == 0)) {
            rowIndex++;
            ASSERT_LT(size_t(rowIndex), clock.rowStart.size());
            double seen = (frames - n / 2.0) / rate;
            worst = std::max(worst, std::fabs(seen - clock.rowStart[rowIndex]));
            checked++;
        }
        lastOrder = order;
        lastRow = row;
    }
    std::printf("%d rows checked, worst %.2f ms from the assumed time\n", checked, worst * 1000);
    EXPECT_GT(checked, 300);
    EXPECT_LT(worst, 0.001);
}

// End to end: play the farewell's melody alone and find where each note's sound rises
// fastest; every word must sit at the start of its note.
TEST(MusicRender, EveryWordStartsANoteOfTheTune) {
    XmModule song = composeFarewell();
    // The tune is the channel with the most notes of the lead instrument.
    int leadIns = 0;
    for (size_t i = 0; i < song.instruments.size(); i++)
        if (song.instruments[i].name == "lead")
            leadIns = int(i) + 1;
    std::vector<int> notes(song.channels, 0);
    for (const XmPattern &p : song.patterns)
        for (size_t i = 0; i < p.cells.size(); i++)
            if (p.cells[i].instrument == leadIns && p.cells[i].note >= 1 && p.cells[i].note <= 96)
                notes[i % song.channels]++;
    int tune = int(std::max_element(notes.begin(), notes.end()) - notes.begin());
    EXPECT_EQ(notes[tune], wordCount - 1);  // the last word is the silence after the song
    for (XmPattern &p : song.patterns)
        for (size_t i = 0; i < p.cells.size(); i++)
            if (int(i % song.channels) != tune && p.cells[i].effect != 0x0F)  // the tempo stays
                p.cells[i] = XmCell();
    std::vector<float> pcm = renderModule(writeXm(song), 80.0);
    ASSERT_FALSE(pcm.empty());

    // Loudness in 1 ms steps.
    const double step = rate / 1000.0;
    std::vector<double> level;
    for (size_t k = 0; size_t((k + 1) * step) * 2 <= pcm.size(); k++) {
        double sum = 0;
        size_t a = size_t(k * step), b = size_t((k + 1) * step);
        for (size_t i = a; i < b; i++)
            sum += pcm[2 * i] * pcm[2 * i] + pcm[2 * i + 1] * pcm[2 * i + 1];
        level.push_back(db(std::sqrt(sum / (2.0 * (b - a)))));
    }
    SongClock clock = farewellClock();
    double leadIn = farewellLeadIn(clock);
    std::vector<WordCue> words = farewellWords(clock, leadIn);
    int earliest = 1000, latest = -1000;
    for (size_t w = 0; w + 1 < words.size(); w++) {
        int at = int(std::lround((words[w].seconds - leadIn) * 1000));
        ASSERT_GT(at, 40);
        ASSERT_LT(at + 63, int(level.size()));
        int best = at - 40;
        for (int k = at - 40; k < at + 60; k++)
            if (level[k + 3] - level[k] > level[best + 3] - level[best])
                best = k;
        earliest = std::min(earliest, best - at);
        latest = std::max(latest, best - at);
        EXPECT_GE(best - at, 0) << "word " << w << ": the note rises " << at - best << " ms before the word";
        EXPECT_LE(best - at, 20) << "word " << w << ": the note rises " << best - at << " ms after the word";
    }
    std::printf("notes rise fastest %d to %d ms after their words\n", earliest, latest);
}

// The tuning fields are computed from each waveform's period: play an A on every melodic
// instrument and measure its pitch.
TEST(MusicRender, InstrumentsAreInTune) {
    XmModule band = composeCompruss();
    const struct { const char *name; int note; double hz, cents; } checks[] = {
        {"bass", 34, 110.0, 5.0}, {"accordion", 58, 440.0, 5.0}, {"lead", 70, 880.0, 5.0}, {"balalaika", 58, 440.0, 15.0}};
    for (const auto &check : checks) {
        XmModule m;
        m.channels = 2;
        for (const XmInstrument &ins : band.instruments)
            if (ins.name == check.name)
                m.instruments.push_back(ins);
        ASSERT_EQ(m.instruments.size(), 1u) << check.name;
        XmPattern p;
        p.rows = 64;
        p.cells.assign(64 * 2, XmCell());
        p.cells[0] = {uint8_t(check.note), 1, 0x50, 0, 0};
        m.patterns.push_back(p);
        m.orders.push_back(0);
        std::vector<float> pcm = renderModule(writeXm(m), 1.0);
        std::vector<double> x;
        for (size_t i = rate * 3 / 10; i < size_t(rate * 8 / 10) && 2 * i + 1 < pcm.size(); i++)
            x.push_back(pcm[2 * i] + pcm[2 * i + 1]);
        ASSERT_GT(x.size(), size_t(rate / 4)) << check.name;
        // Autocorrelation within two semitones of the expected period; a parabola through the
        // best lag and its neighbours gives the fraction.
        auto corr = [&](int lag) {
            double s = 0;
            for (size_t i = 0; i + lag < x.size(); i++)
                s += x[i] * x[i + lag];
            return s / (x.size() - lag);
        };
        int lo = int(rate / (check.hz * 1.13)), hi = int(rate / (check.hz / 1.13));
        int best = lo;
        for (int lag = lo; lag <= hi; lag++)
            if (corr(lag) > corr(best))
                best = lag;
        double a = corr(best - 1), b = corr(best), c = corr(best + 1);
        double lag = best + 0.5 * (a - c) / (a - 2 * b + c);
        double cents = 1200.0 * std::log2(rate / lag / check.hz);
        std::printf("%-10s %7.2f Hz, %+.1f cents\n", check.name, rate / lag, cents);
        EXPECT_LT(std::fabs(cents), check.cents) << check.name;
    }
}
