// soundtable.cpp -- writes, reads and checks the position tables of a rendered sound, answers from them, aligns a decoded sound with its render
#include "soundtable.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

static const char MAGIC[4] = {'V', 'Z', 'S', 'T'};
static const uint32_t VERSION = 1;
static const size_t HEADER_BYTES = 40;
// Header offsets.
static const int AT_VERSION = 4;
static const int AT_KIND = 8;
static const int AT_RATE = 12;
static const int AT_FRAMES = 16;
static const int AT_FILE_LENGTH = 20;
static const int AT_CHANGES = 24;
static const int AT_ENDS = 28;
static const int AT_REFERENCE_FRAME = 32;
static const int AT_REFERENCE_COUNT = 36;
// The rates a render may have; anything else is not one of ours.
static const uint32_t MIN_RATE = 8000;
static const uint32_t MAX_RATE = 384000;
// A sample of the render counts as sound from this level on (1/256 of full scale, -48 dBFS).
static const int SOUND_LEVEL = 128;
// How well a decoded sound must match its render. MP3 keeps the waveform of noisy sound (the
// module opens on a drum) only roughly: lame at 160 kbit/s matched 0.95 there (0.93 at 128),
// 0.62 one frame off and at most 0.56 at any other shift.
static const double MIN_MATCH = 0.75;
// How clearly the best shift must beat any other more than a few frames away: a held tone
// matches again one period later, a little less well.
static const double MATCH_MARGIN = 0.15;
static const int NEAR_SHIFTS = 16;
// The reference is the first excerpt of the render (looked for every REFERENCE_STEP frames
// within its first REFERENCE_SEARCH_SECONDS) that matches itself elsewhere around it no better
// than DISTINCT_MATCH, else the most distinct of them: a held tone or a steady beat matches
// itself one period on, an attack does not.
static const int REFERENCE_STEP = 4096;
static const double REFERENCE_SEARCH_SECONDS = 10;
static const double DISTINCT_MATCH = 0.5;

uint32_t SoundTable::valueAt(int64_t frame) const {
    if (changes.empty())
        return 0;
    auto after = std::upper_bound(changes.begin(), changes.end(), frame,
                                  [](int64_t f, const SoundChange &c) { return f < int64_t(c.frame); });
    return after == changes.begin() ? changes.front().value : (after - 1)->value;
}

int SoundTable::endsAt(int64_t frame) const {
    return int(std::upper_bound(ends.begin(), ends.end(), frame,
                                [](int64_t f, uint32_t end) { return f < int64_t(end); }) -
               ends.begin());
}

static void putU32(std::vector<uint8_t> &out, uint32_t v) {
    for (int i = 0; i < 4; i++)
        out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> writeSoundTable(const SoundTable &t) {
    std::vector<uint8_t> out(MAGIC, MAGIC + 4);
    putU32(out, VERSION);
    putU32(out, uint32_t(t.kind));
    putU32(out, uint32_t(t.rate));
    putU32(out, t.frames);
    putU32(out, t.fileLength);
    putU32(out, uint32_t(t.changes.size()));
    putU32(out, uint32_t(t.ends.size()));
    putU32(out, t.referenceFrame);
    putU32(out, uint32_t(t.reference.size()));
    for (const SoundChange &c : t.changes) {
        putU32(out, c.frame);
        putU32(out, c.value);
    }
    for (uint32_t e : t.ends)
        putU32(out, e);
    for (int16_t s : t.reference) {
        out.push_back(uint8_t(uint16_t(s)));
        out.push_back(uint8_t(uint16_t(s) >> 8));
    }
    return out;
}

// Reads little-endian words from the table's bytes; past the end it gives 0 (the sizes are
// checked before anything is read, so that never happens in a table that passed).
struct TableCursor {
    const uint8_t *data;
    size_t size;
    size_t at = 0;

    uint32_t u32() {
        if (at + 4 > size) {
            at = size;
            return 0;
        }
        uint32_t v = uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
                     uint32_t(data[at + 3]) << 24;
        at += 4;
        return v;
    }
    int16_t i16() {
        if (at + 2 > size) {
            at = size;
            return 0;
        }
        uint16_t v = uint16_t(data[at] | data[at + 1] << 8);
        at += 2;
        return int16_t(v);
    }
};

static uint32_t headerWord(const uint8_t *data, int at) {
    TableCursor c{data, HEADER_BYTES, size_t(at)};
    return c.u32();
}

// Checks what the header and the entries say against each other: "" or what is wrong.
static std::string checkTable(const SoundTable &t) {
    if (t.changes.empty() || t.changes.front().frame != 0)
        return "its answers do not begin at the sound's start";
    for (size_t i = 0; i < t.changes.size(); i++) {
        const SoundChange &c = t.changes[i];
        if (i > 0 && c.frame <= t.changes[i - 1].frame)
            return "its answers are out of order";
        if (c.frame > t.frames)
            return "an answer lies past the sound's end";
        if (t.kind == SOUND_MODULE && (c.value >> 16) >= 256)
            return "a row number past 255";
        if (t.kind == SOUND_STREAM && (c.value > t.fileLength || (i > 0 && c.value <= t.changes[i - 1].value)))
            return "a file position out of order or past the file's length";
    }
    if (t.kind == SOUND_STREAM && t.changes.back().value != t.fileLength)
        return "the stream does not play out to the file's length";
    for (size_t i = 0; i < t.ends.size(); i++) {
        if ((i > 0 && t.ends[i] <= t.ends[i - 1]) || t.ends[i] > t.frames)
            return "its ends are out of order or past the sound's end";
    }
    if (uint64_t(t.referenceFrame) + t.reference.size() > t.frames)
        return "the reference lies past the sound's end";
    return "";
}

std::string readSoundTable(const uint8_t *data, size_t size, SoundTable &table) {
    table = SoundTable();
    if (size < HEADER_BYTES || memcmp(data, MAGIC, 4) != 0)
        return "not a sound position table";
    if (headerWord(data, AT_VERSION) != VERSION)
        return "a sound position table of another version (" + std::to_string(headerWord(data, AT_VERSION)) + ")";
    uint32_t kind = headerWord(data, AT_KIND);
    uint32_t rate = headerWord(data, AT_RATE);
    uint32_t frames = headerWord(data, AT_FRAMES);
    uint32_t fileLength = headerWord(data, AT_FILE_LENGTH);
    uint32_t changes = headerWord(data, AT_CHANGES);
    uint32_t ends = headerWord(data, AT_ENDS);
    uint32_t referenceFrame = headerWord(data, AT_REFERENCE_FRAME);
    uint32_t referenceCount = headerWord(data, AT_REFERENCE_COUNT);
    if (kind != SOUND_MODULE && kind != SOUND_STREAM)
        return "an unknown kind of sound (" + std::to_string(kind) + ")";
    if (rate < MIN_RATE || rate > MAX_RATE || frames == 0)
        return "a bad rate or length in its header";
    if ((kind == SOUND_STREAM) != (fileLength > 0) || (kind == SOUND_STREAM && ends > 0))
        return "a header that mixes a module's fields with a stream's";
    uint64_t expected = HEADER_BYTES + uint64_t(changes) * 8 + uint64_t(ends) * 4 + uint64_t(referenceCount) * 2;
    if (size < expected)
        return "truncated (" + std::to_string(size) + " of " + std::to_string(expected) + " bytes)";
    if (size > expected)
        return "longer than its header says (" + std::to_string(size) + " bytes, " + std::to_string(expected) +
               " expected)";
    SoundTable t;
    t.kind = SoundKind(kind);
    t.rate = int(rate);
    t.frames = frames;
    t.fileLength = fileLength;
    t.referenceFrame = referenceFrame;
    TableCursor cursor{data, size, HEADER_BYTES};
    t.changes.resize(changes);
    for (SoundChange &c : t.changes) {
        c.frame = cursor.u32();
        c.value = cursor.u32();
    }
    t.ends.resize(ends);
    for (uint32_t &e : t.ends)
        e = cursor.u32();
    t.reference.resize(referenceCount);
    for (int16_t &s : t.reference)
        s = cursor.i16();
    std::string why = checkTable(t);
    if (!why.empty())
        return "a broken sound position table: " + why;
    table = std::move(t);
    return "";
}

// The normalised correlation of `ref` with x[o .. o + n) for every offset o from `first` to
// `last` (x must hold them all): 1 where x is ref scaled up or down.
template <class Sample>
static std::vector<double> matchCurve(const std::vector<double> &ref, const Sample *x, int64_t first, int64_t last) {
    size_t n = ref.size();
    double refEnergy = 0;
    for (double r : ref)
        refEnergy += r * r;
    std::vector<double> curve;
    double windowEnergy = 0;
    for (size_t i = 0; i < n; i++)
        windowEnergy += double(x[first + int64_t(i)]) * x[first + int64_t(i)];
    for (int64_t o = first; o <= last; o++) {
        if (o > first)  // the window slides on by one frame
            windowEnergy += double(x[o + int64_t(n) - 1]) * x[o + int64_t(n) - 1] - double(x[o - 1]) * x[o - 1];
        double dot = 0;
        for (size_t i = 0; i < n; i++)
            dot += ref[i] * x[o + int64_t(i)];
        double energy = refEnergy * std::max(windowEnergy, 0.0);
        curve.push_back(energy > 1e-18 ? dot / std::sqrt(energy) : 0.0);
    }
    return curve;
}

// The best of a curve, and the best of the rest more than NEAR_SHIFTS away from it.
static void bestAndRival(const std::vector<double> &curve, size_t &best, double &rival, size_t &rivalAt) {
    best = size_t(std::max_element(curve.begin(), curve.end()) - curve.begin());
    rival = -1;
    rivalAt = best;
    for (size_t i = 0; i < curve.size(); i++) {
        if (std::llabs(int64_t(i) - int64_t(best)) > NEAR_SHIFTS && curve[i] > rival) {
            rival = curve[i];
            rivalAt = i;
        }
    }
}

void takeReference(SoundTable &table, const int16_t *render, int64_t frames) {
    std::vector<double> mono(static_cast<size_t>(frames));
    for (int64_t i = 0; i < frames; i++)
        mono[size_t(i)] = (render[2 * i] + render[2 * i + 1]) / 2 / 32768.0;
    int n = SOUND_REFERENCE_FRAMES;
    table.referenceFrame = 0;
    double lowest = 2;
    int64_t stop = std::min<int64_t>(frames, int64_t(REFERENCE_SEARCH_SECONDS * table.rate));
    for (int64_t begin = 0; begin + n <= stop; begin += REFERENCE_STEP) {
        double level = 0;
        for (int i = 0; i < n; i++)
            level = std::max(level, std::abs(mono[size_t(begin + i)]));
        if (level < SOUND_LEVEL / 32768.0)
            continue;  // silence aligns with anything
        // the excerpt against the render around it: how well it matches elsewhere
        std::vector<double> ref(mono.begin() + begin, mono.begin() + begin + n);
        int64_t first = std::max<int64_t>(0, begin - SOUND_MAX_SHIFT);
        int64_t last = std::min<int64_t>(frames - n, begin + SOUND_MAX_SHIFT);
        size_t best, rivalAt;
        double rival;
        bestAndRival(matchCurve(ref, mono.data(), first, last), best, rival, rivalAt);
        if (rival < lowest) {
            lowest = rival;
            table.referenceFrame = uint32_t(begin);
        }
        if (rival < DISTINCT_MATCH)
            break;
    }
    int64_t count = std::min<int64_t>(n, frames - table.referenceFrame);
    table.reference.resize(size_t(count));
    for (int64_t i = 0; i < count; i++)
        table.reference[size_t(i)] = int16_t(std::lround(std::clamp(mono[size_t(table.referenceFrame + i)] * 32768.0,
                                                                   -32768.0, 32767.0)));
}

void alignmentSpan(const SoundTable &table, int64_t decodedFrames, int64_t &from, int &count) {
    from = std::max<int64_t>(0, int64_t(table.referenceFrame) - SOUND_MAX_SHIFT);
    int64_t to = int64_t(table.referenceFrame) + int64_t(table.reference.size()) + SOUND_MAX_SHIFT;
    to = std::max(from, std::min(to, decodedFrames));
    count = int(to - from);
}

std::string alignDecoded(const SoundTable &table, const float *decoded, int64_t from, int count,
                         SoundAlignment &alignment) {
    alignment = SoundAlignment();
    int n = int(table.reference.size());
    std::vector<double> ref(static_cast<size_t>(n));
    double refEnergy = 0;
    for (int i = 0; i < n; i++) {
        ref[size_t(i)] = table.reference[size_t(i)] / 32768.0;
        refEnergy += ref[size_t(i)] * ref[size_t(i)];
    }
    if (refEnergy < 1e-9)
        return "";  // a silent render matches anything at any shift
    // shifts whose window lies inside what was given
    int64_t lowest = std::max<int64_t>(-SOUND_MAX_SHIFT, from - int64_t(table.referenceFrame));
    int64_t highest = std::min<int64_t>(SOUND_MAX_SHIFT, from + count - n - int64_t(table.referenceFrame));
    if (lowest > highest)
        return "the decoded sound is too short (" + std::to_string(from + count) + " frames)";
    int64_t first = int64_t(table.referenceFrame) + lowest - from;
    std::vector<double> curve = matchCurve(ref, decoded, first, first + highest - lowest);
    size_t best, rivalAt;
    double rival;
    bestAndRival(curve, best, rival, rivalAt);
    alignment.shift = int(lowest + int64_t(best));
    alignment.match = curve[best];
    char text[160];
    if (curve[best] < MIN_MATCH) {
        snprintf(text, sizeof text, "the decoded sound does not match its render (best match %.3f at shift %d)",
                 curve[best], alignment.shift);
        return text;
    }
    if (rival > curve[best] - MATCH_MARGIN) {
        snprintf(text, sizeof text, "the decoded sound matches its render at two shifts (%d: %.3f, %lld: %.3f)",
                 alignment.shift, curve[best], (long long)(lowest + int64_t(rivalAt)), rival);
        return text;
    }
    return "";
}
