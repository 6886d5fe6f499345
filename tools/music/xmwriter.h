// xmwriter.h -- writes extended modules (XM, FastTracker 2 format 1.04) from plain records
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct XmCell {
    uint8_t note = 0;        // 0 none, 1 (C-0) to 96 (B-7), 97 key off
    uint8_t instrument = 0;  // 0 none, 1 to 128
    uint8_t volume = 0;      // volume column byte: 0 none, 0x10 to 0x50 set volume 0 to 64
    uint8_t effect = 0;      // effect command
    uint8_t param = 0;       // effect parameter
};

struct XmPattern {
    int rows = 64;
    std::vector<XmCell> cells;  // rows * channels, row after row
};

struct XmEnvelopePoint {
    uint16_t x;  // tick
    uint16_t y;  // value, 0 to 64
};

enum XmLoop { XM_NO_LOOP = 0, XM_FORWARD_LOOP = 1, XM_PINGPONG_LOOP = 2 };

struct XmSample {
    std::string name;
    std::vector<int16_t> data;  // 16-bit mono; written delta-coded
    uint32_t loopStart = 0;     // in samples
    uint32_t loopLength = 0;    // in samples; 0 with XM_NO_LOOP
    XmLoop loop = XM_NO_LOOP;
    uint8_t volume = 64;
    int8_t finetune = 0;        // -128 to 127, 1/128 semitone
    uint8_t panning = 128;
    int8_t relativeNote = 0;    // semitones added to the played note
};

struct XmInstrument {
    std::string name;
    std::vector<XmSample> samples;
    uint8_t keymap[96] = {};              // sample number for each note
    std::vector<XmEnvelopePoint> volumeEnvelope;  // up to 12 points; empty for none
    int volumeSustain = -1;               // point index, -1 for none
    int volumeLoopStart = -1;             // point index, -1 for no loop
    int volumeLoopEnd = -1;
    uint16_t fadeout = 0;
    uint8_t vibratoType = 0;              // automatic vibrato: 0 sine, 1 square, 2 ramp down, 3 ramp up
    uint8_t vibratoSweep = 0;             // ticks until full depth
    uint8_t vibratoDepth = 0;             // 0 to 15
    uint8_t vibratoRate = 0;              // 0 to 63
};

struct XmModule {
    std::string name;
    std::string tracker = "vortazov tools";
    int channels = 8;     // even, 2 to 32
    int speed = 6;        // ticks per row
    int bpm = 125;
    int restart = 0;      // order to loop back to
    bool linearFrequencies = true;
    std::vector<uint8_t> orders;
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
};

// The whole file. Patterns are packed (a cell keeps only its non-zero fields).
std::vector<uint8_t> writeXm(const XmModule &module);

// A silent module of `orders` orders, all playing one empty 64-row pattern at speed 6 and
// 125 BPM: order o row r starts at output frame (o * 64 + r) * 5292 at 44100 Hz. Tests and
// benchmarks drive the frame driver through exact positions with it.
XmModule silentTimeline(int orders);
