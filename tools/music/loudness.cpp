// loudness.cpp -- integrated loudness as ITU-R BS.1770 measures it, so that the two pieces can be matched
#include "music.h"

#include <algorithm>
#include <cmath>

namespace {

// One biquad section, direct form I.
struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double step(double x) {
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// The K-weighting filter at 44100 Hz: the standard's head shelf and high pass, designed from
// their analogue prototypes (the standard lists coefficients for 48 kHz only).
void kWeighting(Biquad &shelf, Biquad &highPass) {
    const double rate = 44100, pi = 3.14159265358979323846;
    double f0 = 1681.974450955533, gain = 3.999843853973347, q = 0.7071752369554196;
    double k = std::tan(pi * f0 / rate);
    double vh = std::pow(10.0, gain / 20.0), vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    shelf = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
             2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    f0 = 38.13547087602444;
    q = 0.5003270373238773;
    k = std::tan(pi * f0 / rate);
    a0 = 1.0 + k / q + k * k;
    highPass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

double lufs(double meanSquare) { return -0.691 + 10.0 * std::log10(std::max(meanSquare, 1e-20)); }

}  // namespace

double integratedLoudness(const std::vector<float> &stereo) {
    // Mean square of the weighted signal, summed over both channels, in 100 ms steps.
    const size_t step = 4410, frames = stereo.size() / 2;
    std::vector<double> steps;
    Biquad shelf[2], high[2];
    for (int c = 0; c < 2; c++)
        kWeighting(shelf[c], high[c]);
    double sum = 0;
    for (size_t f = 0; f < frames; f++) {
        for (int c = 0; c < 2; c++) {
            double y = high[c].step(shelf[c].step(stereo[2 * f + c]));
            sum += y * y;
        }
        if ((f + 1) % step == 0) {
            steps.push_back(sum / step);
            sum = 0;
        }
    }
    // Blocks of 400 ms overlapping by three quarters; gated at -70 LUFS, then 10 LU under the
    // mean of what passed.
    std::vector<double> blocks;
    for (size_t i = 3; i < steps.size(); i++)
        blocks.push_back((steps[i - 3] + steps[i - 2] + steps[i - 1] + steps[i]) / 4);
    auto gatedMean = [&](double gate) {
        double total = 0;
        int count = 0;
        for (double b : blocks)
            if (lufs(b) > gate) {
                total += b;
                count++;
            }
        return count ? total / count : 0.0;
    };
    double relativeGate = lufs(gatedMean(-70.0)) - 10.0;
    return lufs(gatedMean(relativeGate));
}
