// pace_bench.cpp -- the live loop per scene and in the end part, paced against unpaced in one run
//
// Each scene plays for a few seconds of real time from row 0 of its order, through the same
// pacedFrame the program's main loop calls; the span is cut into half-second turns that are
// alternately paced and unpaced, so both see the same rows. Paced turns give the frame rate
// (goal 60 +- 0.5), the frame intervals (p50, p99, max, from one swap's return to the next)
// and the drawing time (from the frame's clock read to its swap's return) at p99 as a share
// of the 16.7 ms budget; both kinds of turn give the CPU time of the whole process (every
// thread: llvmpipe's and the audio mixing) per second of presentation.
//
// Run from the project root (where data/ lies), under a display:
//   xvfb-run -a -s "-screen 0 1024x768x24" build/bench/bench_pace [seconds per scene]
// With "fullscreen" after the seconds, the window fills the screen and is paced throughout;
// each scene plays at the window's size, at the smallest picture allowed, then with the picture
// sized to what the renderer keeps up with, first from the window's size on, then on from the
// size that came to (the frame rates against each other):
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/bench_pace 6 fullscreen
// The module position comes from the audio engine's pull back-end playing the silent module
// of benchmodule.cpp, moved on in step with the wall clock before every frame.
#include "audio.h"
#include "benchmodule.h"
#include "effects.h"
#include "player.h"
#include "scenes.h"

#include <GL/freeglut.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

static const double TURN_SECONDS = 0.5;  // one paced or unpaced stretch
static const double BUDGET_MS = 1000.0 / 60;

struct SceneRun {
    const char *name;
    int tableRow;  // its SceneTable row, -1 for the end part
    int order;     // the order it is measured in
};

static Clock::time_point playStart;  // wall time at which the output is at playFrom
static int64_t playFrom;             // output frame heard at playStart
static Clock::time_point frameStart; // this frame's clock read
static bool fullscreenRun;           // every turn paced, each scene at a fixed and an adaptive size
static double cpuPerFrameMs;         // the last measure's CPU time per paced frame, every thread

// The frame driver's clock: the sound is moved on to the wall clock first, as a device would
// have played it, so the frame sees the position heard now.
static int benchClock() {
    frameStart = Clock::now();
    double seconds = std::chrono::duration<double>(frameStart - playStart).count();
    audioPullTo(playFrom + int64_t(seconds * AUDIO_RATE), nullptr);
    return glutGet(GLUT_ELAPSED_TIME);
}

static double processCpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

static double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

static double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * (v.size() - 1) + 0.5))];
}

static void ignoreEnd(int) {
}

// Frames are drawn by the bench's loop alone, never by an expose.
static void noDisplay() {
}

// CPU seconds per second of presentation, summed with each scene weighted by its seconds in
// the presentation: its rows in SceneTable at 0.12 s a row, the end part as long as its stream.
struct Totals {
    double seconds = 0, paced = 0, unpaced = 0;
};

static double secondsInPresentation(const SceneRun &run) {
    if (run.tableRow < 0)
        return (BASS_StreamGetLength(streamHandle) - 417) / 16000.0;  // 128 kbit/s after its tag frame
    const SceneEntry &from = SceneTable[run.tableRow], &to = SceneTable[run.tableRow + 1];
    int end = to.render ? rowsFromStart(to.order, to.row) : TIMELINE_ROWS;
    return (end - rowsFromStart(from.order, from.row)) * 0.12;
}

// Prints the scene's row and returns its paced frame rate (in a fullscreen run the caller prints).
static double measure(const SceneRun &run, double seconds, Totals &all) {
    if (run.tableRow >= 0) {
        sceneIndex = run.tableRow;
        playFrom = int64_t(rowsFromStart(run.order, 0)) * FRAMES_PER_ROW;
    } else {
        // the end part from 4 s into the stream, just before its first word
        BASS_Stop();
        streamHandle = BASS_StreamCreateFile(0, "data/farewell.mp3", 0, 0, 0);
        if (!streamHandle) {
            printf("%-16s data/farewell.mp3 did not load\n", run.name);
            return 0;
        }
        BASS_Start();
        BASS_StreamPlay(streamHandle, 1, 0);
        endPartActive = true;
        endscrollIndex = -1;
        playFrom = audioRenderedFrames() + 4 * AUDIO_RATE;
    }
    audioPullTo(playFrom, nullptr);

    std::vector<double> intervals, drawing;
    double cpu[2] = {0, 0}, wall[2] = {0, 0};  // [unpaced, paced]
    int unpacedFrames = 0;
    playStart = Clock::now();
    int turns = std::max(2, int(seconds / TURN_SECONDS + 0.5));
    Clock::time_point lastShown{};
    for (int turn = 0; turn < turns; turn++) {
        bool paced = fullscreenRun || turn % 2 == 0;
        // A fullscreen run is paced throughout, as the program's loop is: one grid of ticks
        // from the first frame to the last, every interval counted.
        if (turn == 0 || !fullscreenRun) {
            setPacing(paced);
            lastShown = Clock::time_point();
        }
        Clock::time_point begin = Clock::now();
        double cpuBegin = processCpuSeconds();
        while (Clock::now() - begin < std::chrono::duration<double>(TURN_SECONDS)) {
            pacedFrame();
            Clock::time_point shown = Clock::now();
            glutMainLoopEvent();
            if (!paced) {
                unpacedFrames++;
                continue;
            }
            drawing.push_back(milliseconds(shown - frameStart));
            if (lastShown != Clock::time_point())
                intervals.push_back(milliseconds(shown - lastShown));
            lastShown = shown;
        }
        cpu[paced] += processCpuSeconds() - cpuBegin;
        wall[paced] += std::chrono::duration<double>(Clock::now() - begin).count();
    }
    if (run.tableRow >= 0 && sceneIndex != run.tableRow)
        printf("warning: the timeline moved to row %d during %s\n", sceneIndex, run.name);

    double meanInterval = 0;
    for (double i : intervals)
        meanInterval += i / intervals.size();
    double fps = meanInterval > 0 ? 1000 / meanInterval : 0;
    cpuPerFrameMs = drawing.empty() ? 0 : cpu[1] * 1000 / drawing.size();
    if (fullscreenRun)
        return fps;
    double pacedCpu = cpu[1] / wall[1], unpacedCpu = cpu[0] / wall[0];
    printf("%-16s %7.2f %7.2f %7.2f %7.2f %7.2f %8.2f %8.2f %8.2f %7.1f\n", run.name, fps,
           percentile(intervals, 0.5), percentile(intervals, 0.99),
           intervals.empty() ? 0 : *std::max_element(intervals.begin(), intervals.end()),
           percentile(drawing, 0.99) / BUDGET_MS, pacedCpu, unpacedCpu, pacedCpu / unpacedCpu,
           unpacedFrames / wall[0]);
    double weight = secondsInPresentation(run);
    all.seconds += weight;
    all.paced += weight * pacedCpu;
    all.unpaced += weight * unpacedCpu;
    return fps;
}

static void compareSizes(const std::vector<SceneRun> &runs, double seconds) {
    printf("\n%dx%d fullscreen, %.1f s per scene, paced: the picture at the window's size, at the "
           "smallest size allowed, then adaptive from the window's size on, and on from the size "
           "it came to (settled)\n", windowWidth, windowHeight, seconds);
    printf("%-16s %9s %9s %9s %9s %7s %11s %9s %9s\n", "", "fixed", "smallest", "adaptive",
           "settled", "ratio", "picture", "CPU ms", "CPU ms");
    printf("%-16s %9s %9s %9s %9s %7s %11s %9s %9s\n", "scene", "fps", "fps", "fps", "fps", "",
           "at the end", "fixed", "settled");
    Totals unused;
    for (const SceneRun &run : runs) {
        setAdaptivePictureSize(false);
        // llvmpipe compiles code for each new combination of GL state the first time it is
        // drawn: a second of the scene first, so that the first measure does not pay for it
        measure(run, 1, unused);
        double fixed = measure(run, seconds, unused), fixedCpu = cpuPerFrameMs;
        // what the adaptive size could reach at best: the smallest picture from the start
        pictureSetScale(smallestPictureScale(windowWidth, windowHeight));
        double small = measure(run, seconds, unused);
        setAdaptivePictureSize(true);
        pictureSetScale(1);
        double adaptive = measure(run, seconds, unused);
        double settled = measure(run, seconds, unused), settledCpu = cpuPerFrameMs;
        int width, height;
        pictureSize(&width, &height);
        char size[32];
        snprintf(size, sizeof size, "%dx%d", width, height);
        printf("%-16s %9.2f %9.2f %9.2f %9.2f %7.3f %11s %9.2f %9.2f\n", run.name, fixed, small,
               adaptive, settled, fixed > 0 ? settled / fixed : 0, size, fixedCpu, settledCpu);
        fflush(stdout);
    }
}

int main(int argc, char **argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 6;
    if (seconds <= 0 || seconds > 7)  // a scene's order lasts 7.68 s
        seconds = 6;
    fullscreenRun = argc > 2 && std::string(argv[2]) == "fullscreen";

    if (!startBenchPresentation(&argc, argv))
        return 1;
    glutDisplayFunc(noDisplay);
    initPacing();
    initEffects();
    reshapeView(640, 480);
    if (fullscreenRun) {
        glutReshapeFunc(reshapeView);
        glutFullScreen();
    }
    // the first reshape from the window system must not come in the middle of a turn
    for (int i = 0; i < 20 || (fullscreenRun && i < 400 &&
                               windowWidth != glutGet(GLUT_SCREEN_WIDTH)); i++) {
        glutMainLoopEvent();
        usleep(5000);
    }
    BASS_MusicPlay(musicHandle);
    readClock = benchClock;
    endProgram = ignoreEnd;
    if (!samovarModel || samovarModel->polygonCount == 0)
        printf("note: the models did not load (run from the project root with data/ built); "
               "the scenes draw nothing but their clears\n");

    // each scene in the order it shows itself in, then the end part
    std::vector<SceneRun> runs;
    for (int i = 0; SceneTable[i].render; i++)
        runs.push_back({SceneTable[i].name, i, SceneTable[i].showOrder});
    runs.push_back({"end part", -1, 0});
    if (fullscreenRun) {
        compareSizes(runs, seconds);
        _exit(0);
    }
    printf("\n%.1f s per scene in turns of %.1f s, paced and unpaced alternately; vsync %s\n", seconds,
           TURN_SECONDS, pacingVsync() ? "on" : "not offered");
    printf("%-16s %7s %7s %7s %7s %7s %8s %8s %8s %7s\n", "", "paced", "p50", "p99", "max", "draw",
           "CPU s/s", "CPU s/s", "CPU", "unpaced");
    printf("%-16s %7s %7s %7s %7s %7s %8s %8s %8s %7s\n", "scene", "fps", "ms", "ms", "ms", "p99/16.7",
           "paced", "unpaced", "ratio", "fps");
    Totals all;
    for (const SceneRun &run : runs)
        measure(run, seconds, all);
    double paced = all.paced / all.seconds, unpaced = all.unpaced / all.seconds;
    printf("the whole presentation (%.0f s, each scene by its share): CPU %.3f s per second paced, "
           "%.3f unpaced: ratio %.3f (goal under 0.333)\n",
           all.seconds, paced, unpaced, paced / unpaced);
    fflush(stdout);
    _exit(0);  // the shutdown sequence is not what is measured
}
