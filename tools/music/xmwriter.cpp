// xmwriter.cpp -- writes extended modules (XM, FastTracker 2 format 1.04) from plain records
#include "xmwriter.h"

#include <algorithm>
#include <cstring>

static void putU8(std::vector<uint8_t> &out, unsigned value) {
    out.push_back(uint8_t(value));
}

static void putU16(std::vector<uint8_t> &out, unsigned value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

static void putU32(std::vector<uint8_t> &out, uint32_t value) {
    for (int i = 0; i < 4; i++)
        out.push_back(uint8_t(value >> (8 * i)));
}

// Fixed-size text field, padded with zeros (or with spaces where trackers expect them).
static void putText(std::vector<uint8_t> &out, const std::string &text, size_t size, char pad) {
    for (size_t i = 0; i < size; i++)
        out.push_back(i < text.size() ? uint8_t(text[i]) : uint8_t(pad));
}

static void putPattern(std::vector<uint8_t> &out, const XmPattern &pattern, int channels) {
    std::vector<uint8_t> packed;
    for (int i = 0; i < pattern.rows * channels; i++) {
        XmCell cell;
        if (size_t(i) < pattern.cells.size())
            cell = pattern.cells[i];
        uint8_t mask = 0x80;
        if (cell.note) mask |= 0x01;
        if (cell.instrument) mask |= 0x02;
        if (cell.volume) mask |= 0x04;
        if (cell.effect) mask |= 0x08;
        if (cell.param) mask |= 0x10;
        // A cell with all five fields is shorter unpacked.
        if (mask == 0x9F) {
            packed.insert(packed.end(), {cell.note, cell.instrument, cell.volume, cell.effect, cell.param});
            continue;
        }
        packed.push_back(mask);
        if (cell.note) packed.push_back(cell.note);
        if (cell.instrument) packed.push_back(cell.instrument);
        if (cell.volume) packed.push_back(cell.volume);
        if (cell.effect) packed.push_back(cell.effect);
        if (cell.param) packed.push_back(cell.param);
    }
    putU32(out, 9);  // pattern header length
    putU8(out, 0);   // packing type
    putU16(out, pattern.rows);
    putU16(out, packed.size());
    out.insert(out.end(), packed.begin(), packed.end());
}

static void putInstrument(std::vector<uint8_t> &out, const XmInstrument &ins) {
    const uint32_t headerSize = 263;  // what FastTracker 2 writes, reserved bytes included
    size_t start = out.size();
    putU32(out, headerSize);
    putText(out, ins.name, 22, 0);
    putU8(out, 0);  // instrument type
    putU16(out, ins.samples.size());
    if (ins.samples.empty()) {
        // Without samples the header ends here; its size field says 29.
        out[start] = 29;
        return;
    }
    putU32(out, 40);  // sample header size
    for (int i = 0; i < 96; i++)
        putU8(out, ins.keymap[i]);
    size_t points = std::min<size_t>(ins.volumeEnvelope.size(), 12);
    for (size_t i = 0; i < 12; i++) {
        putU16(out, i < points ? ins.volumeEnvelope[i].x : 0);
        putU16(out, i < points ? ins.volumeEnvelope[i].y : 0);
    }
    for (int i = 0; i < 12; i++) {  // panning envelope, unused
        putU16(out, 0);
        putU16(out, 0);
    }
    putU8(out, points);
    putU8(out, 0);
    putU8(out, ins.volumeSustain < 0 ? 0 : ins.volumeSustain);
    putU8(out, ins.volumeLoopStart < 0 ? 0 : ins.volumeLoopStart);
    putU8(out, ins.volumeLoopEnd < 0 ? 0 : ins.volumeLoopEnd);
    putU8(out, 0);  // panning sustain, loop start, loop end
    putU8(out, 0);
    putU8(out, 0);
    unsigned volumeType = 0;
    if (points > 0) volumeType |= 1;
    if (points > 0 && ins.volumeSustain >= 0) volumeType |= 2;
    if (points > 0 && ins.volumeLoopStart >= 0) volumeType |= 4;
    putU8(out, volumeType);
    putU8(out, 0);  // panning type
    putU8(out, ins.vibratoType);
    putU8(out, ins.vibratoSweep);
    putU8(out, ins.vibratoDepth);
    putU8(out, ins.vibratoRate);
    putU16(out, ins.fadeout);
    while (out.size() < start + headerSize)
        putU8(out, 0);

    for (const XmSample &s : ins.samples) {
        uint32_t loopLength = s.loop == XM_NO_LOOP ? 0 : s.loopLength;
        putU32(out, s.data.size() * 2);  // lengths are in bytes
        putU32(out, s.loopStart * 2);
        putU32(out, loopLength * 2);
        putU8(out, s.volume);
        putU8(out, uint8_t(s.finetune));
        putU8(out, (loopLength ? s.loop : 0) | 0x10);  // 0x10: 16-bit data
        putU8(out, s.panning);
        putU8(out, uint8_t(s.relativeNote));
        putU8(out, 0);
        putText(out, s.name, 22, 0);
    }
    for (const XmSample &s : ins.samples) {
        int16_t previous = 0;
        for (int16_t value : s.data) {
            putU16(out, uint16_t(int16_t(value - previous)));
            previous = value;
        }
    }
}

std::vector<uint8_t> writeXm(const XmModule &module) {
    std::vector<uint8_t> out;
    putText(out, "Extended Module: ", 17, 0);
    putText(out, module.name, 20, ' ');
    putU8(out, 0x1A);
    putText(out, module.tracker, 20, ' ');
    putU16(out, 0x0104);
    putU32(out, 276);  // header size from this field on: 20 bytes of fields and 256 orders
    putU16(out, module.orders.size());
    putU16(out, module.restart);
    putU16(out, module.channels);
    putU16(out, module.patterns.size());
    putU16(out, module.instruments.size());
    putU16(out, module.linearFrequencies ? 1 : 0);
    putU16(out, module.speed);
    putU16(out, module.bpm);
    for (int i = 0; i < 256; i++)
        putU8(out, size_t(i) < module.orders.size() ? module.orders[i] : 0);
    for (const XmPattern &p : module.patterns)
        putPattern(out, p, module.channels);
    for (const XmInstrument &ins : module.instruments)
        putInstrument(out, ins);
    return out;
}

XmModule silentTimeline(int orders) {
    XmModule m;
    m.name = "timeline";
    m.channels = 2;
    XmPattern p;
    p.rows = 64;
    p.cells.resize(64 * 2);
    m.patterns.push_back(p);
    m.orders.assign(orders, 0);
    return m;
}
