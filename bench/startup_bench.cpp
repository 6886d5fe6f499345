// startup_bench.cpp -- time from process start to the first frame: the presentation against a
// bare freeglut program that opens the same window and swaps once, measured in one run.
//
// Run from the project root (where data/ lies), under a display:
//   xvfb-run -a build/bench/bench_startup
#include "audio.h"
#include "player.h"

#include <GL/freeglut.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;
static Clock::time_point started;  // when main began

static double millisecondsSinceStart() {
    return std::chrono::duration<double, std::milli>(Clock::now() - started).count();
}

static void reportAndExit() {
    fprintf(stderr, "%.3f\n", millisecondsSinceStart());
    _exit(0);  // skip the shutdown sequence: only the way in is measured
}

static void bareDisplay() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glutSwapBuffers();
    reportAndExit();
}

// Runs this program in one mode and reads the milliseconds it reports.
static double runChild(const char *self, const char *mode) {
    std::string command = std::string("'") + self + "' " + mode + " 2>&1 >/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char line[256];
    double ms = -1;
    while (fgets(line, sizeof line, pipe))
        ms = atof(line);
    pclose(pipe);
    return ms;
}

static double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int main(int argc, char **argv) {
    started = Clock::now();
    if (argc > 1 && strcmp(argv[1], "--demo") == 0) {
        frameFinished = reportAndExit;
        audioSelectBackend(AUDIO_SILENT);  // the same start-up on every machine, server or not
        startDemo(&argc, argv);
        glutMainLoop();
        return 1;
    }
    if (argc > 1 && strcmp(argv[1], "--bare") == 0) {
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH | GLUT_RGBA);
        glutInitWindowPosition(0, 0);
        glutInitWindowSize(640, 480);
        glutCreateWindow("vortazov");
        glutDisplayFunc(bareDisplay);
        glutMainLoop();
        return 1;
    }

    const int runs = 5;
    std::vector<double> demo, bare;
    for (int i = 0; i < runs; i++) {
        bare.push_back(runChild(argv[0], "--bare"));
        demo.push_back(runChild(argv[0], "--demo"));
    }
    double d = median(demo), b = median(bare);
    printf("start-up to first frame, median of %d runs\n", runs);
    printf("  bare freeglut window: %8.1f ms\n", b);
    printf("  presentation:         %8.1f ms\n", d);
    printf("  difference:           %8.1f ms (ratio %.2f)\n", d - b, b > 0 ? d / b : 0.0);
    return 0;
}
