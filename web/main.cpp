// main.cpp -- the presentation in a web page: start-up on the page's word, from the moment its address names
//
// The page calls main once the files are in place: with "--at SECONDS" when its address names
// a moment, and "--still" when that moment is to be drawn and held. Time before the moment
// runs as in the capture: frame k hears output frame k * rate / 60 and every earlier frame is
// drawn, unseen (the GL layer keeps only what the last clears left standing), so the frame
// shown is the one the show draws at that moment, trails and particles included. A live start
// goes on from there with the music the browser plays, once the page has had its click.
#include "audio.h"
#include "player.h"
#include "webaudio.h"

#include <GL/freeglut.h>
#include <webgl.h>

#include <emscripten.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const int FRAME_RATE = 60;  // frames a second the animation was made for
static int64_t startFrame;         // the frame the address names; 0 from the start
static bool holdStill;             // draw that frame and hold it, without sound
static int64_t unseenFrame;        // the frame being drawn while running up to startFrame
static bool showEnded;             // the show has ended: no frame runs any more
static int clockOffset;            // the page's clock from the moment on: GLUT's plus this, in ms
static int framesShown;            // frames the main loop has drawn since the start
static double startedMs;           // when the page started the show (its click), performance.now()
static double firstFrameMs = -1;   // the first frame's start after that, ms after it; -1 before

// The page's clock while running up to the moment: the frames' own, as the capture's.
static int unseenClock() {
    return int(unseenFrame * 1000 / FRAME_RATE);
}

// From the moment on the clock runs with the page's time, on from the frames' own.
static int pageClock() {
    return glutGet(GLUT_ELAPSED_TIME) + clockOffset;
}

// Every exit (the last word, the stream's end, Escape) comes here after shutdownDemo: the
// frames stop (the models and textures they draw are freed) and the page says so.
static void endShow(int status) {
    showEnded = true;
    glutLeaveMainLoop();
    EM_ASM({ if (Module.showEnded) Module.showEnded($0); }, status);
}

// Draws frames 0 up to (not including) `last` unseen, the music pulled as the capture pulls it.
// Returns false when the show ended on the way.
static bool runUnseen(int64_t last) {
    readClock = unseenClock;
    webglSetStill(1);
    int rate = audioOutputRate();
    for (unseenFrame = 0; unseenFrame < last && !showEnded; unseenFrame++) {
        displayFrame();
        audioPullTo((unseenFrame + 1) * rate / FRAME_RATE, nullptr);
    }
    webglSetStill(0);
    return !showEnded;
}

void openWindow(int *argc, char **argv) {
    glutInit(argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH | GLUT_RGBA);
    glutInitWindowSize(640, 480);
    // glutCreateWindow has told the page why (Module.onWebGLMissing)
    if (!glutCreateWindow("vortazov"))
        exit(1);
    // the status line keeps its pixels on a HiDPI screen, as the desktop keeps its scale
    double ratio = EM_ASM_DOUBLE({ return window.devicePixelRatio || 1; });
    textScale = ratio >= 2 ? int(ratio) : 1;
    // the first frames, unseen or not, need the view and the picture at the canvas's size
    reshapeView(glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
}

// The display and idle callback: the main loop runs it once per 60 Hz tick. The picture drawn
// now is seen at the display's next refresh, so the position queries answer for that moment,
// as the desktop's answer for the swap.
void pacedFrame() {
    double now = emscripten_get_now();
    if (framesShown++ == 0)
        firstFrameMs = now - startedMs;
    double ahead = (webglPresentMs() - now) / 1000;
    audioSetLookahead(ahead > 0 ? ahead : 0);
    displayFrame();
}

// F11 and the page's button: the page in fullscreen, the picture still letterboxed to 4:3.
void toggleFullScreen() {
    EM_ASM({ Module.toggleFullscreen(); });
}

int main(int argc, char **argv) {
    double seconds = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--at") == 0 && i + 1 < argc)
            seconds = atof(argv[++i]);
        else if (strcmp(argv[i], "--still") == 0)
            holdStill = true;
    }
    startFrame = std::isfinite(seconds) && seconds > 0 ? llround(seconds * FRAME_RATE) : 0;
    endProgram = endShow;
    // a moment is run up to on the pulled clock; the live music goes on from there
    if (startFrame > 0 || holdStill)
        audioSelectBackend(AUDIO_PULL);
    int glutArgc = 1;
    startDemo(&glutArgc, argv);
    if (holdStill && runUnseen(startFrame)) {
        // the moment itself, drawn and shown; no frame follows, so the browser keeps it
        readClock = unseenClock;
        displayFrame();
    }
    return 0;
}

extern "C" {

// The page's click, tap or key: the show begins, at the moment asked for.
EMSCRIPTEN_KEEPALIVE void webStart() {
    startedMs = emscripten_get_now();
    firstFrameMs = -1;
    if (startFrame > 0) {
        if (!runUnseen(startFrame))
            return;
        audioGoLive();
    }
    clockOffset = unseenClock() - glutGet(GLUT_ELAPSED_TIME);
    readClock = pageClock;
    glutMainLoop();
}

// What the show is at, for the page and its tests, as JSON: frames the main loop drew, how
// long after the click the first of them began (ms), the timeline row, whether the end part
// runs, the status line (the positions it reports), and the output frame heard now in seconds.
EMSCRIPTEN_KEEPALIVE const char *webStatus() {
    static char json[512];
    // the status line holds numbers and plain words only, nothing JSON must escape
    snprintf(json, sizeof json,
             "{\"frames\": %d, \"firstFrameMs\": %.1f, \"scene\": %d, \"endPart\": %s, \"ended\": %s, "
             "\"status\": \"%s\", \"heard\": %.4f}",
             framesShown, firstFrameMs, sceneIndex, endPartActive ? "true" : "false", showEnded ? "true" : "false",
             statusText, double(audioHeardFrame()) / audioOutputRate());
    return json;
}

// A tap on the picture is the SPACE of a touch screen.
EMSCRIPTEN_KEEPALIVE void webTap() {
    if (!showEnded)
        keyPressed(' ', 0, 0);
}

}  // extern "C"
