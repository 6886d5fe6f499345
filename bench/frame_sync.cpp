// frame_sync.cpp -- is the music a paced frame shows the music heard when it is swapped?
//
// Plays the presentation from its start with the real data, through the paced loop the
// program runs, into a PulseAudio server of its own (its null sink stands for the speaker),
// until the end part begins or the given seconds have passed. Every frame it notes the
// frame the engine's position queries answer for when the frame driver asks (through the
// frame driver's clock hook, which runs right before that query) and the frame heard right
// after the swap. Turns of two seconds alternate between the lookahead to the swap and none,
// so both see the same scenes. Prints per kind of turn:
//   - shown - heard at swap, ms: mean, p95 of the size, max of the size;
//   - row change first seen: from the moment a row starts sounding to the swap of the first
//     frame that shows it, ms: mean, p95, max (the row starts from libopenmpt's own render).
//
// Run from the project root (where data/ lies), under a display:
//   xvfb-run -a -s "-screen 0 1024x768x24" build/bench/bench_frame_sync [SECONDS]
#include "audio.h"
#include "player.h"
#include "sound_server.h"

#include <GL/freeglut.h>
#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

using Clock = std::chrono::steady_clock;

static const double TURN_SECONDS = 2.0;

struct FrameRecord {
    bool corrected;     // the lookahead to the swap was on
    uint32_t word;      // the module position the frame drew
    int64_t shown;      // the output frame that position answered for
    int64_t heardSwap;  // the output frame heard right after the swap
};

static std::vector<FrameRecord> records;
static FrameRecord current;
static int64_t moduleStart;                 // output frame where the module's frame 0 plays
static Clock::time_point runStart;
static double runSeconds = 1e9;
static std::vector<uint32_t> rowStart;      // per positionKey: first module frame
static SoundServer server;

static uint32_t keyOf(uint32_t word) {
    ModulePosition p = decodePosition(word);
    return uint32_t(positionKey(p.order, p.row));
}

// Where each row starts in libopenmpt's render, from reads of 16 frames (0.36 ms).
static void findRowStarts(const std::vector<uint8_t> &bytes, double seconds) {
    std::ostringstream log;
    openmpt::module m(bytes, log);
    rowStart.assign(1 << 24, UINT32_MAX);
    int16_t pcm[32];
    int64_t total = int64_t(seconds * 44100);
    uint32_t last = UINT32_MAX;
    for (int64_t f = 0; f < total && m.read_interleaved_stereo(44100, 16, pcm) == 16; f += 16) {
        uint32_t key = uint32_t(positionKey(m.get_current_order(), m.get_current_row()));
        if (key != last && key < rowStart.size() && rowStart[key] == UINT32_MAX)
            rowStart[key] = uint32_t(f);
        last = key;
    }
}

// Runs right before the frame driver's position query.
static int benchClock() {
    current.word = BASS_ChannelGetPosition(musicHandle);
    current.shown = audioQueriedFrame();
    return glutGet(GLUT_ELAPSED_TIME);
}

static void report();

static void benchFrame() {
    double since = std::chrono::duration<double>(Clock::now() - runStart).count();
    lookAheadToSwap = int(since / TURN_SECONDS) % 2 == 0;
    current.corrected = lookAheadToSwap;
    current.word = 0xFFFFFFFF;
    pacedFrame();
    current.heardSwap = audioHeardFrame();
    if (current.word != 0xFFFFFFFF && !endPartActive)
        records.push_back(current);
    if (endPartActive || since > runSeconds) {
        report();
        shutdownDemo();
        stopSoundServer(server);
        exit(0);
    }
}

static double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * (v.size() - 1) + 0.5))];
}

static double mean(const std::vector<double> &v) {
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? NAN : sum / v.size();
}

static void report() {
    printf("%zu frames from order 0 row 0 on\n", records.size());
    for (bool corrected : {false, true}) {
        std::vector<double> error, size, firstSeen;
        uint32_t previous = 0xFFFFFFFF;
        for (const FrameRecord &r : records) {
            if (r.corrected != corrected) {
                previous = r.word;
                continue;
            }
            double e = (r.shown - r.heardSwap) / 44.1;
            error.push_back(e);
            size.push_back(std::fabs(e));
            uint32_t key = keyOf(r.word);
            if (r.word != previous && previous != 0xFFFFFFFF && rowStart[key] != UINT32_MAX)
                firstSeen.push_back((r.heardSwap - moduleStart - int64_t(rowStart[key])) / 44.1);
            previous = r.word;
        }
        printf("%-24s shown - heard at swap ms: mean %+6.2f, |p95| %5.2f, |max| %6.2f | row change first seen "
               "ms: mean %6.2f, p95 %6.2f, max %6.2f (%zu rows)\n",
               corrected ? "lookahead to the swap" : "no lookahead", mean(error), percentile(size, 0.95),
               percentile(size, 1.0), mean(firstSeen), percentile(firstSeen, 0.95), percentile(firstSeen, 1.0),
               firstSeen.size());
    }
    fflush(stdout);
}

int main(int argc, char **argv) {
    if (argc > 1)
        runSeconds = atof(argv[1]);
    std::ifstream in("data/compruss.xm", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        fprintf(stderr, "run from the project root: data/compruss.xm is missing\n");
        return 1;
    }
    findRowStarts(bytes, std::min(runSeconds, 200.0) + 5);
    if (!startSoundServer(server, "pulseaudio"))
        return 1;
    setenv("PULSE_SERVER", server.address.c_str(), 1);
    setenv("PIPEWIRE_REMOTE", server.pipewireRemote.c_str(), 1);
    audioSelectBackend(AUDIO_DEVICE);
    int glutArgc = 1;
    char *glutArgv[] = {argv[0], nullptr};
    startDemo(&glutArgc, glutArgv);
    if (strcmp(audioOutputName(), "pulse") != 0) {
        fprintf(stderr, "the engine did not open cubeb's pulse back-end (%s)\n", audioOutputName());
        return 1;
    }
    // the module again from its start, between two reads that show no render ran meanwhile,
    // so its frame 0 is known exactly
    for (;;) {
        int64_t before = audioRenderedFrames();
        BASS_MusicPlay(musicHandle);
        moduleStart = audioRenderedFrames();
        if (before == moduleStart)
            break;
    }
    readClock = benchClock;
    glutDisplayFunc(benchFrame);
    glutIdleFunc(benchFrame);
    runStart = Clock::now();
    glutMainLoop();
    return 0;
}
