// audio_files.cpp -- small XM modules and MP3 streams made at test time, and an MP3 frame walker
#include "audio_files.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "xmwriter.h"

static const int channels = 4;  // channels of the test module

static XmCell &cell(XmPattern &pattern, int row, int channel) {
    return pattern.cells[row * channels + channel];
}

static XmPattern emptyPattern(int rows) {
    XmPattern p;
    p.rows = rows;
    p.cells.resize(rows * channels);
    return p;
}

// A pattern with a note every `step` rows on channel 0 and a bass note every 8 rows on 1.
static XmPattern notePattern(int rows, int step, int firstNote) {
    XmPattern p = emptyPattern(rows);
    for (int r = 0; r < rows; r += step) {
        cell(p, r, 0).note = firstNote + (r / step) % 12;
        cell(p, r, 0).instrument = 1;
    }
    for (int r = 0; r < rows; r += 8) {
        cell(p, r, 1).note = firstNote - 24;
        cell(p, r, 1).instrument = 1;
        cell(p, r, 1).volume = 0x10 + 40;
    }
    return p;
}

std::vector<uint8_t> makeTestModule(int passes) {
    XmModule m;
    m.name = "audio test";
    m.channels = channels;
    m.speed = 6;
    m.bpm = 125;

    // pattern 0: 16 rows at speed 6, tempo 125
    XmPattern p0 = notePattern(16, 2, 49);
    cell(p0, 0, 3).effect = 0x0F;
    cell(p0, 0, 3).param = 6;
    cell(p0, 0, 2).effect = 0x0F;
    cell(p0, 0, 2).param = 125;
    // pattern 1: 32 rows at speed 3
    XmPattern p1 = notePattern(32, 3, 52);
    cell(p1, 0, 3).effect = 0x0F;
    cell(p1, 0, 3).param = 3;
    // pattern 2: tempo 150, broken off after row 12
    XmPattern p2 = notePattern(16, 1, 45);
    cell(p2, 0, 3).effect = 0x0F;
    cell(p2, 0, 3).param = 150;
    cell(p2, 12, 3).effect = 0x0D;
    cell(p2, 12, 3).param = 0;
    // pattern 3: 8 rows at speed 4, tempo 125
    XmPattern p3 = notePattern(8, 1, 57);
    cell(p3, 0, 3).effect = 0x0F;
    cell(p3, 0, 3).param = 4;
    cell(p3, 0, 2).effect = 0x0F;
    cell(p3, 0, 2).param = 125;
    m.patterns = {p0, p1, p2, p3};
    for (int i = 0; i < passes; i++)
        for (uint8_t o : {0, 1, 2, 1, 3})
            m.orders.push_back(o);

    // one looped instrument: a 32-sample cycle with a few harmonics
    XmInstrument ins;
    ins.name = "tone";
    XmSample s;
    s.name = "tone";
    for (int i = 0; i < 32; i++) {
        double t = 2 * M_PI * i / 32;
        s.data.push_back(int16_t(12000 * std::sin(t) + 4000 * std::sin(3 * t) + 2000 * std::sin(5 * t)));
    }
    s.loop = XM_FORWARD_LOOP;
    s.loopStart = 0;
    s.loopLength = 32;
    s.relativeNote = 12;
    ins.samples.push_back(s);
    ins.volumeEnvelope = {{0, 64}, {8, 40}, {40, 0}};
    ins.fadeout = 512;
    m.instruments.push_back(ins);
    return writeXm(m);
}

bool writeBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

std::vector<uint8_t> readBytes(const std::string &path) {
    std::vector<uint8_t> bytes;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(f);
    return bytes;
}

static std::string scratch;  // the scratch directory, removed when the program ends

static void removeScratch() {
    std::filesystem::remove_all(scratch);
}

std::string scratchDir() {
    if (scratch.empty()) {
        char name[] = "/tmp/vortazov-audio-XXXXXX";
        if (!mkdtemp(name))
            return "/tmp";
        scratch = name;
        atexit(removeScratch);
    }
    return scratch;
}

static void putU16(std::vector<uint8_t> &out, unsigned v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

static void putU32(std::vector<uint8_t> &out, uint32_t v) {
    putU16(out, v & 0xFFFF);
    putU16(out, v >> 16);
}

std::string makeTestMp3(const std::string &name, double seconds) {
    const int rate = 44100;
    int frames = int(seconds * rate);
    std::vector<uint8_t> wav;
    for (char c : std::string("RIFF"))
        wav.push_back(c);
    putU32(wav, 36 + frames * 4);
    for (char c : std::string("WAVEfmt "))
        wav.push_back(c);
    putU32(wav, 16);
    putU16(wav, 1);  // PCM
    putU16(wav, 2);
    putU32(wav, rate);
    putU32(wav, rate * 4);
    putU16(wav, 4);
    putU16(wav, 16);
    for (char c : std::string("data"))
        wav.push_back(c);
    putU32(wav, frames * 4);
    double phase = 0;
    for (int i = 0; i < frames; i++) {
        double f = 220 + 660.0 * i / frames;  // a rising sweep: every frame differs
        phase += 2 * M_PI * f / rate;
        int16_t v = int16_t(10000 * std::sin(phase));
        putU16(wav, uint16_t(v));
        putU16(wav, uint16_t(int16_t(v / 2)));
    }
    std::string wavPath = scratchDir() + "/" + name + ".wav";
    std::string mp3Path = scratchDir() + "/" + name + ".mp3";
    if (!writeBytes(wavPath, wav))
        return "";
    std::string command = "lame --quiet -b 128 '" + wavPath + "' '" + mp3Path + "'";
    if (system(command.c_str()) != 0)
        return "";
    unlink(wavPath.c_str());
    return mp3Path;
}

// Bit rates in kbit/s of MPEG-1 layer III and of MPEG-2/2.5 layer III, by header index.
static const int bitrates[2][16] = {
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
static const int sampleRates[3] = {44100, 48000, 32000};

std::vector<Mp3Frame> walkMp3Frames(const std::vector<uint8_t> &file) {
    std::vector<Mp3Frame> frames;
    size_t pos = 0;
    if (file.size() >= 10 && file[0] == 'I' && file[1] == 'D' && file[2] == '3') {
        // syncsafe size: 7 bits per byte, plus the 10-byte header (and a footer if flagged)
        size_t size = (file[6] << 21) | (file[7] << 14) | (file[8] << 7) | file[9];
        pos = 10 + size + ((file[5] & 0x10) ? 10 : 0);
    }
    while (pos + 4 <= file.size()) {
        uint32_t h = (file[pos] << 24) | (file[pos + 1] << 16) | (file[pos + 2] << 8) | file[pos + 3];
        if ((h & 0xFFE00000u) != 0xFFE00000u)
            break;
        int version = (h >> 19) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
        int layer = (h >> 17) & 3;    // 1 layer III
        int bitrateIndex = (h >> 12) & 15;
        int rateIndex = (h >> 10) & 3;
        int padding = (h >> 9) & 1;
        if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
            break;
        bool mpeg1 = version == 3;
        int rate = sampleRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
        int samples = mpeg1 ? 1152 : 576;
        int bitrate = bitrates[mpeg1 ? 0 : 1][bitrateIndex] * 1000;
        uint32_t length = samples / 8 * bitrate / rate + padding;
        frames.push_back({uint32_t(pos), length, samples});
        pos += length;
    }
    return frames;
}
