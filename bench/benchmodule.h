// benchmodule.h -- the scene benchmarks' start: a silent module as long as the timeline, on the
// audio engine's pull back-end, and the presentation's window
#pragma once
#include <cstdint>

// The module plays at speed 6 and 125 BPM, 0.12 s a row: order o row r starts at output frame
// rowsFromStart(o, r) * FRAMES_PER_ROW.
const int64_t FRAMES_PER_ROW = 5292;

// Loads the module into musicHandle (not yet playing) on the pull back-end, so a benchmark
// decides which position each frame sees, then opens the 640 x 480 window. False, after
// saying so, when the module could not be loaded.
bool startBenchPresentation(int *argc, char **argv);
