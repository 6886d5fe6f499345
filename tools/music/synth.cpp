// synth.cpp -- synthesises the instrument samples that both modules play
#include "synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

const int synthRate = 44100;  // samples per second
const int drumNote = 49;      // C-4

static const double twoPi = 6.283185307179586;

// A fixed generator, so that every run (and every machine) makes the same noise.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed) {}
    double next() {  // uniform in [-1, 1)
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return double(state) / 2147483648.0 - 1.0;
    }
};

// Scales to the given peak and rounds to 16 bits.
static std::vector<int16_t> toPcm(const std::vector<double> &wave, double peak) {
    double top = 1e-9;
    for (double v : wave)
        top = std::max(top, std::fabs(v));
    std::vector<int16_t> out(wave.size());
    for (size_t i = 0; i < wave.size(); i++)
        out[i] = int16_t(std::lround(wave[i] / top * peak * 32767.0));
    return out;
}

// Sets relative note and finetune so that XM notes sound at concert pitch, for a waveform that
// repeats every `period` samples when played at its own rate. In linear-frequency XM, note n
// plays at 8363 * 2^((n - 49 + transpose) / 12) samples per second.
static void transposeBy(XmSample &s, double transpose) {
    int rel = int(std::lround(transpose));
    s.relativeNote = int8_t(rel);
    s.finetune = int8_t(std::lround((transpose - rel) * 128.0));
}

static void tune(XmSample &s, double period) {
    transposeBy(s, 12.0 * std::log2(440.0 * period / 8363.0) - 9.0);
}

// The volume envelope, the point it holds at while the key is down, and the fade after key-off.
static void setRelease(XmInstrument &ins, std::vector<XmEnvelopePoint> envelope, int sustain, uint16_t fadeout) {
    ins.volumeEnvelope = std::move(envelope);
    ins.volumeSustain = sustain;
    ins.fadeout = fadeout;
}

static XmInstrument single(const char *name, XmSample sample) {
    XmInstrument ins;
    ins.name = name;
    sample.name = name;
    ins.samples.push_back(sample);
    return ins;  // keymap is all zeros: every note plays sample 0
}

// One-pole high-pass, enough to take the rumble out of noise.
static void highPass(std::vector<double> &x, double cutoff) {
    double a = 1.0 / (1.0 + twoPi * cutoff / synthRate);
    double prevIn = 0, prevOut = 0;
    for (double &v : x) {
        double out = a * (prevOut + v - prevIn);
        prevIn = v;
        prevOut = out;
        v = out;
    }
}

// A short rise at the start keeps one-shot samples from clicking.
static void softStart(std::vector<double> &x, int samples) {
    for (int i = 0; i < samples && i < int(x.size()); i++)
        x[i] *= double(i) / samples;
}

static void softEnd(std::vector<double> &x, int samples) {
    int n = int(x.size());
    for (int i = 0; i < samples && i < n; i++)
        x[n - 1 - i] *= double(i) / samples;
}

// Percussion: faded at both ends against clicks, and tuned so that C-4 plays the sample at its
// own rate.
static XmInstrument drum(const char *name, std::vector<double> &w, int fadeIn, int fadeOut,
                         double peak, uint8_t panning) {
    softStart(w, fadeIn);
    softEnd(w, fadeOut);
    XmSample s;
    s.data = toPcm(w, peak);
    s.panning = panning;
    transposeBy(s, 12.0 * std::log2(double(synthRate) / 8363.0));
    return single(name, s);
}

XmInstrument makeKick() {
    int n = synthRate * 35 / 100;
    std::vector<double> w(n);
    double phase = 0;
    Noise noise(0x1234567u);
    for (int i = 0; i < n; i++) {
        double t = double(i) / synthRate;
        double freq = 46.0 + 120.0 * std::exp(-t / 0.03);  // the pitch drop is the thump
        phase += twoPi * freq / synthRate;
        double body = std::sin(phase) * std::exp(-t / 0.22);
        double click = noise.next() * std::exp(-t / 0.002) * 0.35;
        w[i] = std::tanh(1.6 * body) + click;
    }
    return drum("kick", w, 20, 400, 0.95, XmSample().panning);
}

XmInstrument makeSnare() {
    int n = synthRate * 32 / 100;
    std::vector<double> tone(n), hiss(n);
    Noise noise(0x51ae5u);
    for (int i = 0; i < n; i++) {
        double t = double(i) / synthRate;
        tone[i] = 0.55 * std::sin(twoPi * 185.0 * t) * std::exp(-t / 0.07) +
                  0.3 * std::sin(twoPi * 330.0 * t) * std::exp(-t / 0.04);
        hiss[i] = noise.next() * std::exp(-t / 0.1);
    }
    highPass(hiss, 1500.0);
    // Driven a little: the crack stays, and the body behind it is heard against the kick.
    std::vector<double> w(n);
    for (int i = 0; i < n; i++)
        w[i] = std::tanh(1.8 * (tone[i] + 1.1 * hiss[i]));
    return drum("snare", w, 20, 400, 0.9, 120);
}

XmInstrument makeHat() {
    int n = synthRate * 9 / 100;
    std::vector<double> w(n);
    Noise noise(0xa7a7u);
    for (int i = 0; i < n; i++)
        w[i] = noise.next();
    highPass(w, 7000.0);
    highPass(w, 7000.0);
    for (int i = 0; i < n; i++)
        w[i] *= std::exp(-double(i) / synthRate / 0.022);
    return drum("hihat", w, 10, 200, 0.8, 160);
}

XmInstrument makeCrash() {
    int n = synthRate * 16 / 10;
    std::vector<double> w(n);
    Noise noise(0xc4a54u);
    // Noise ring-modulated by a few inharmonic partials gives the metal.
    const double partials[] = {513.0, 797.0, 1197.0, 1613.0};
    for (int i = 0; i < n; i++) {
        double t = double(i) / synthRate;
        double ring = 0;
        for (double f : partials)
            ring += std::sin(twoPi * f * t);
        w[i] = noise.next() * (0.8 + 0.2 * ring / 4.0);
    }
    highPass(w, 3000.0);
    highPass(w, 2000.0);
    for (int i = 0; i < n; i++) {
        double t = double(i) / synthRate;
        w[i] *= std::exp(-t / 0.45) * (0.6 + 0.4 * std::exp(-t / 0.05));
    }
    return drum("crash", w, 30, 2000, 0.85, 96);
}

// Sum of harmonics with random phases, `cycles` whole periods of `period` samples, so that the
// whole buffer loops without a seam.
static void addHarmonics(std::vector<double> &w, int cycles, double maxFreq, double gain,
                         double (*amplitude)(int), Noise &noise) {
    double len = double(w.size());
    double fundamental = cycles * synthRate / len;
    for (int h = 1; h * fundamental < maxFreq; h++) {
        double a = amplitude(h) * gain;
        double phase = (noise.next() + 1.0) * 3.14159265;
        for (size_t i = 0; i < w.size(); i++)
            w[i] += a * std::sin(twoPi * h * cycles * double(i) / len + phase);
    }
}

// Turns a seamless loop so that it begins at an upward zero crossing: a note then starts from
// silence instead of jumping to wherever the waveform happened to begin.
static void startAtZero(std::vector<double> &w) {
    size_t n = w.size(), best = 0;
    double bestValue = 1e9;
    for (size_t i = 0; i < n; i++) {
        double prev = w[(i + n - 1) % n];
        if (prev < 0 && w[i] >= 0 && w[i] < bestValue) {
            bestValue = w[i];
            best = i;
        }
    }
    std::rotate(w.begin(), w.begin() + best, w.end());
}

// A sustained tone: the whole buffer loops, started at its upward zero crossing.
static XmInstrument looped(const char *name, std::vector<double> &w, int period, uint8_t panning) {
    startAtZero(w);
    XmSample s;
    s.data = toPcm(w, 0.9);
    s.loop = XM_FORWARD_LOOP;
    s.loopStart = 0;
    s.loopLength = uint32_t(w.size());
    s.panning = panning;
    tune(s, period);
    return single(name, s);
}

XmInstrument makeBass() {
    // C2 with a period of 674 samples (65.43 Hz; the finetune takes the rest).
    const int period = 674, cycles = 4;
    std::vector<double> w(period * cycles, 0.0);
    Noise noise(0xba55u);
    addHarmonics(w, cycles, 3500.0, 1.0, [](int h) {
        double rolloff = 1.0 / (1.0 + (h / 6.0) * (h / 6.0));
        return rolloff / h * (h == 1 ? 1.4 : 1.0);
    }, noise);
    XmInstrument ins = looped("bass", w, period, XmSample().panning);
    setRelease(ins, {{0, 40}, {1, 64}, {8, 48}, {30, 38}, {120, 30}}, 4, 3000);
    return ins;
}

XmInstrument makeBalalaika() {
    // Karplus-Strong: a noise burst circulating in a delay line through a two-point average.
    // The average delays by half a sample, so the period is length + 0.5.
    const int length = 168;
    const int n = synthRate * 9 / 10;
    Noise noise(0xba1a1a1u);
    std::vector<double> line(length);
    for (int i = 0; i < length; i++)
        line[i] = noise.next();
    // Plucking near the bridge: a comb notch at the fifth harmonic thins the body, and the
    // sharp edge of the burst gives the metal-string twang.
    // A plectrum is not a hammer: a gentle low-pass on the burst keeps the attack bright
    // without the crack of raw white noise.
    std::vector<double> pluck(length);
    for (int i = 0; i < length; i++)
        pluck[i] = 0.5 * line[i] + 0.25 * (line[(i + length - 1) % length] + line[(i + 1) % length]);
    for (int i = 0; i < length; i++)
        line[i] = pluck[i] - 0.6 * pluck[(i + length - length / 5) % length];
    std::vector<double> w(n);
    int pos = 0;
    double prev = line[length - 1];
    for (int i = 0; i < n; i++) {
        double cur = line[pos];
        double out = 0.4993 * (cur + prev);  // slightly lossy: the string dies in about a second
        prev = cur;
        line[pos] = out;
        w[i] = cur;
        pos = (pos + 1) % length;
    }
    highPass(w, 120.0);
    // Metal strings ring on: a soft limit lowers the pluck's first peak against the ringing
    // body, so that the instrument carries a tune instead of ticking.
    double top = 1e-9;
    for (double v : w)
        top = std::max(top, std::fabs(v));
    for (double &v : w)
        v = std::tanh(3.0 * v / top);
    softStart(w, 40);
    softEnd(w, 3000);
    XmSample s;
    s.data = toPcm(w, 0.9);
    s.panning = 60;
    tune(s, length + 0.5);
    XmInstrument ins = single("balalaika", s);
    // The string dies away by itself; the envelope only turns key-off (a rest) into a short
    // fade instead of a cut, which would click on a string still ringing.
    setRelease(ins, {{0, 64}, {8, 64}}, 1, 6000);
    return ins;
}

XmInstrument makeAccordion() {
    // Four reeds per key as on a musette accordion: one at pitch, one 18 cents flat, one 18
    // cents sharp (their beating is the shimmer, 2.7 and 5.5 times a second at C4) and one an
    // octave below. The loop holds 96, 95, 97 and 48 cycles of C4 (period 168 samples), so
    // every partial closes on itself.
    const int period = 168, cycles = 96;
    std::vector<double> w(period * cycles, 0.0);
    Noise noise(0xacc0u);
    auto reed = [](int h) {
        // A reed's buzz: strong low harmonics with a gentle bump around the fourth.
        double bump = 1.0 + 0.8 * std::exp(-(h - 4.0) * (h - 4.0) / 6.0);
        return bump / h;
    };
    addHarmonics(w, cycles, 9000.0, 1.0, reed, noise);
    addHarmonics(w, cycles - 1, 9000.0, 0.6, reed, noise);
    addHarmonics(w, cycles + 1, 9000.0, 0.6, reed, noise);
    addHarmonics(w, cycles / 2, 4000.0, 0.45, reed, noise);
    XmInstrument ins = looped("accordion", w, period, XmSample().panning);
    setRelease(ins, {{0, 0}, {5, 60}, {14, 52}}, 2, 2500);  // the bellows take a moment to speak
    return ins;
}

XmInstrument makeLead() {
    // A clarinet-like reed at C5 (period 84, 525 Hz): odd harmonics strong, even ones faint.
    const int period = 84, cycles = 16;
    std::vector<double> w(period * cycles, 0.0);
    Noise noise(0x1eadu);
    addHarmonics(w, cycles, 8000.0, 1.0, [](int h) {
        double a = (h % 2 == 1 ? 1.0 : 0.25) / h;
        return h == 3 ? a * 1.6 : a;
    }, noise);
    XmInstrument ins = looped("lead", w, period, 112);
    setRelease(ins, {{0, 0}, {2, 64}, {16, 50}}, 2, 2000);  // quick to speak: the tunes run in eighths
    ins.vibratoType = 0;
    ins.vibratoSweep = 24;  // the vibrato blooms on held notes only
    ins.vibratoDepth = 4;
    ins.vibratoRate = 12;
    return ins;
}
