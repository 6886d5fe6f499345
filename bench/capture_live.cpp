// capture_live.cpp -- the presentation live, as vortazov runs it but unpaced, counting frames over a span of music
//
// Usage: capture_live SECONDS   (from the project root). Prints "live: N frames in S s: F frames
// per second" for the frames drawn from the first frame until SECONDS of GLUT time later,
// then ends. The capture benchmark sets this against vortazov-capture drawing the same span.
#include "audio.h"
#include "player.h"

#include <GL/freeglut.h>
#include <cstdio>
#include <cstdlib>

static int spanMs;          // how long to count, in GLUT milliseconds
static int firstFrameMs = -1;  // GLUT time of the first frame
static long frames;         // frames finished since the first

static void countFrame() {
    int now = glutGet(GLUT_ELAPSED_TIME);
    if (firstFrameMs < 0)
        firstFrameMs = now;
    frames++;
    if (now - firstFrameMs >= spanMs) {
        double seconds = (now - firstFrameMs) / 1000.0;
        fprintf(stderr, "live: %ld frames in %.2f s: %.2f frames per second\n", frames, seconds,
                frames / seconds);
        shutdownDemo();
        exit(0);
    }
}

int main(int argc, char **argv) {
    spanMs = argc > 1 ? int(atof(argv[1]) * 1000) : 20000;
    int glutArgc = 1;
    audioSelectBackend(AUDIO_SILENT);  // the live presentation's timing, without a sound server
    startDemo(&glutArgc, argv);
    // the capture is set against the live loop drawing as fast as it can, not at 60 a second
    setPacing(false);
    frameFinished = countFrame;
    glutMainLoop();
    shutdownDemo();
    return 0;
}
