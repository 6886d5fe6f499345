// harness.cpp -- draws every scene through the presentation's own code for a fixed script of frames, to compare the web build's pictures with the desktop's
//
// The same program is built natively (real OpenGL and freeglut, run under Xvfb) and with
// emscripten (the web build's GL layer, run in a browser). Each case runs one scene's render
// function for a scripted sequence of (order, row) frames, from the same seed of the same
// random generator, through the player's own picture (the framebuffer kept between clears, blit
// to the back buffer) with the status line on top, and reads back chosen frames. Natively the
// frames go to PPM files in the folder named on the command line; in the browser they are
// handed to the page (see run.py, which compares them).
//
// Modes (the first argument in the browser, from the page's query): compare (default), fps
// (each scene live on the 60 Hz loop, frames a second), still (still mode: the same frames
// drawn unseen then replayed, against drawn one by one; and the time of 14000 unseen frames).
#include "effects.h"
#include "player.h"
#include "scenes.h"
#include "scenestate.h"
#include "timeline.h"

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#include <webgl.h>
#endif

static const int WIDTH = 640, HEIGHT = 480;  // pixels, the window's size on both sides
static const int FRAMES_PER_ROW = 6;         // scripted frames per module row
static const char *STATUS = "FPS:60.00, POS: 12, ROW:6";  // the status line every frame shows

// One scripted run of a scene.
struct Case {
    const char *name;
    int scene;  // SceneTable row; -1 for the end part's words, -2 for a bare clear (a baseline)
    int order, row;  // the position of the first frame
    int frames;
    bool lit;  // F1 pressed before the first frame, F2 after the last
    int zoom;  // the status line's pixels per font pixel (a scaled desktop's)
};

static const Case cases[] = {
    {"bare", -2, 0, 0, 16, false, 1},
    {"captions", 0, 1, 8, 64, false, 1},
    {"samovar", 1, 4, 0, 64, false, 1},
    {"swarm", 2, 6, 4, 64, false, 1},
    {"portraits", 3, 8, 8, 64, false, 1},
    {"ripaska", 4, 12, 0, 64, false, 1},
    {"spiral", 5, 14, 4, 64, false, 1},
    {"missiles", 6, 16, 8, 64, false, 1},
    {"endpart", -1, 0, 0, 64, false, 1},
    {"ripaska-lit", 4, 12, 0, 40, true, 1},
    {"missiles-lit", 6, 16, 8, 40, true, 1},
    {"status-2x", 5, 15, 0, 16, false, 2},
};
static const int CASE_COUNT = sizeof cases / sizeof cases[0];

#ifdef __EMSCRIPTEN__
// what view.cpp calls on the page's platform, which the harness leaves out
void toggleFullScreen() {}
void requestScreenshot() {}
#endif

// The end part's drawing as endPart does it, with a colour clear every 24 frames.
static void endPartWords(int frame) {
    glClear(GL_DEPTH_BUFFER_BIT);
    if (frame % 24 == 0)
        glClear(GL_COLOR_BUFFER_BIT);
    beginWords(END_WORD_ALPHA);
    drawWord("comrades", 0.2f, 0.5f);
}

static void startCase(const Case &c) {
    srand(1);
    frameCounter = 1000;
    captionIndex = 0;
    textScale = c.zoom;
    if (c.lit)
        specialKeyPressed(GLUT_KEY_F1, 0, 0);
}

static void endCase(const Case &c) {
    textScale = 1;
    if (c.lit)
        specialKeyPressed(GLUT_KEY_F2, 0, 0);
}

// Frame f of a case: the scene at its scripted position, the picture shown, the status line.
static void drawFrame(const Case &c, int f) {
    int rows = c.row + f / FRAMES_PER_ROW;
    int order = c.order + rows / ORDER_ROWS, row = rows % ORDER_ROWS;
    bool keep = c.scene < 0 || SceneTable[c.scene].keepsPicture;
    pictureBegin(keep);
    if (c.scene == -2)
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    else if (c.scene == -1)
        endPartWords(f);
    else
        SceneTable[c.scene].render(order, row, f * 1000.0f / 60);
    pictureEnd();
    drawStatusLine(STATUS);
    frameCounter++;
}

static bool captured(const Case &c, int f) {
    return f == c.frames - 1 || f == c.frames * 5 / 8;
}

static void readFrame(std::vector<unsigned char> &rgb) {
    rgb.resize(WIDTH * HEIGHT * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
}

#ifdef __EMSCRIPTEN__
// What the page's driver reads: window.harness.frames[name] (the RGB bytes of a frame, bottom
// row first, in base64), window.harness.notes, and window.harness.done.
EM_JS(void, harnessFrame, (const char *name, const unsigned char *rgb, int size), {
    window.harness = window.harness || {frames: {}, notes: []};
    var binary = "";
    var bytes = HEAPU8.subarray(rgb, rgb + size);
    for (var i = 0; i < size; i += 32768)
        binary += String.fromCharCode.apply(null, bytes.subarray(i, Math.min(i + 32768, size)));
    window.harness.frames[UTF8ToString(name)] = btoa(binary);
});

EM_JS(void, harnessNote, (const char *text), {
    window.harness = window.harness || {frames: {}, notes: []};
    window.harness.notes.push(UTF8ToString(text));
});

EM_JS(void, harnessDone, (void), {
    window.harness = window.harness || {frames: {}, notes: []};
    window.harness.done = true;
});

static void deliver(const std::string &name, const std::vector<unsigned char> &rgb) {
    harnessFrame(name.c_str(), rgb.data(), int(rgb.size()));
}

static void note(const std::string &text) {
    printf("%s\n", text.c_str());
    harnessNote(text.c_str());
}

static void finished() {
    harnessDone();
}
#else
static std::string outputFolder;  // where the native side writes its frames

static void deliver(const std::string &name, const std::vector<unsigned char> &rgb) {
    std::string path = outputFolder + "/" + name + ".ppm";
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) {
        perror(path.c_str());
        exit(1);
    }
    // PPM rows go top down
    fprintf(file, "P6\n%d %d\n255\n", WIDTH, HEIGHT);
    for (int y = HEIGHT - 1; y >= 0; y--)
        fwrite(&rgb[size_t(y) * WIDTH * 3], 1, WIDTH * 3, file);
    fclose(file);
}

static void note(const std::string &text) {
    printf("%s\n", text.c_str());
}

static void finished() {}
#endif

static void runComparison() {
    std::vector<unsigned char> rgb;
    for (const Case &c : cases) {
        startCase(c);
        for (int f = 0; f < c.frames; f++) {
            drawFrame(c, f);
            if (captured(c, f)) {
                readFrame(rgb);
                deliver(std::string(c.name) + "-" + std::to_string(f), rgb);
            }
            glutSwapBuffers();
        }
        endCase(c);
    }
}

#ifdef __EMSCRIPTEN__
// The scenes' own state, so a case can be run twice from the same start.
struct SceneSnapshot {
    float samovarSpin, sirppijavasaraSpin, ripaskaSpin, missileSpin, missileSpeed;
    bool sirppijavasaraReseeded;
    unsigned ripaskaPose;
    float swarm[6][SWARM_COPIES], portraitX[PORTRAIT_COUNT], missiles[3][MISSILE_COUNT];
};

static void snapshot(SceneSnapshot &s, bool restore) {
    auto copy = [restore](void *kept, void *live, size_t size) {
        memcpy(restore ? live : kept, restore ? kept : live, size);
    };
    copy(&s.samovarSpin, &samovarSpin, sizeof samovarSpin);
    copy(&s.sirppijavasaraSpin, &sirppijavasaraSpin, sizeof sirppijavasaraSpin);
    copy(&s.ripaskaSpin, &ripaskaSpin, sizeof ripaskaSpin);
    copy(&s.missileSpin, &missileSpin, sizeof missileSpin);
    copy(&s.missileSpeed, &missileSpeed, sizeof missileSpeed);
    copy(&s.sirppijavasaraReseeded, &sirppijavasaraReseeded, sizeof sirppijavasaraReseeded);
    copy(&s.ripaskaPose, &ripaskaPose, sizeof ripaskaPose);
    float *swarm[6] = {scaleX, scaleY, scaleZ, offsetX, offsetY, offsetZ};
    for (int i = 0; i < 6; i++)
        copy(s.swarm[i], swarm[i], sizeof s.swarm[i]);
    copy(s.portraitX, portraitX, sizeof s.portraitX);
    copy(s.missiles[0], missileX, sizeof s.missiles[0]);
    copy(s.missiles[1], missileZ, sizeof s.missiles[1]);
    copy(s.missiles[2], missileTravel, sizeof s.missiles[2]);
}

static double nowMs() {
    return emscripten_get_now();
}

// still: each scene's frames drawn unseen and replayed must give the pixels of drawing each
// frame; then 14000 unseen frames of each scene, timed.
static void runStill() {
    std::vector<unsigned char> drawn, replayed;
    SceneSnapshot start;
    for (const Case &scripted : cases) {
        // long enough for the kept operations to be pruned several times on the way
        Case c = scripted;
        c.frames = 600;
        snapshot(start, false);
        startCase(c);
        for (int f = 0; f < c.frames; f++) {
            drawFrame(c, f);
            glutSwapBuffers();
        }
        readFrame(drawn);
        endCase(c);
        snapshot(start, true);
        startCase(c);
        webglSetStill(1);
        for (int f = 0; f < c.frames; f++) {
            drawFrame(c, f);
            glutSwapBuffers();
        }
        webglSetStill(0);
        readFrame(replayed);
        endCase(c);
        size_t differing = 0;
        for (size_t i = 0; i < drawn.size(); i++)
            differing += drawn[i] != replayed[i];
        note(std::string("still ") + c.name + ": " + std::to_string(differing) + " bytes differ from drawing every frame");
    }
    const int UNSEEN = 14000;
    for (const Case &c : cases) {
        if (c.lit)
            continue;
        Case longRun = c;
        longRun.frames = UNSEEN;
        startCase(longRun);
        double began = nowMs();
        webglSetStill(1);
        for (int f = 0; f < UNSEEN; f++) {
            drawFrame(longRun, f);
            glutSwapBuffers();
        }
        double unseen = nowMs();
        webglSetStill(0);
        readFrame(replayed);
        double shown = nowMs();
        endCase(longRun);
        char text[200];
        snprintf(text, sizeof text, "still %s: %d unseen frames %.0f ms, replay and read %.0f ms", c.name, UNSEEN,
                 unseen - began, shown - unseen);
        note(text);
    }
}

// fps [CASE]: each case's scene (or the one named) live on the GLUT loop for a few seconds; frames a second as paced, and
// the time to draw a frame when nothing waits (frames back to back, the last one read).
static const double FPS_SECONDS = 4;
static int fpsCase, fpsFrame;
static std::string fpsOnly;  // the one case to measure, empty for all
static double fpsStart;

static void fpsDisplay() {
    while (fpsCase < CASE_COUNT && !fpsOnly.empty() && fpsOnly != cases[fpsCase].name)
        fpsCase++;
    if (fpsCase >= CASE_COUNT) {
        finished();
        return;
    }
    const Case &c = cases[fpsCase];
    double now = nowMs();
    if (fpsFrame == 0) {
        startCase(c);
        fpsStart = now;
    }
    Case looping = c;
    looping.frames = 1 << 30;
    drawFrame(looping, fpsFrame++);
    glutSwapBuffers();
    if (now - fpsStart >= FPS_SECONDS * 1000) {
        double paced = (fpsFrame - 1) * 1000.0 / (now - fpsStart);
        // unpaced: chunks of 30 frames back to back, each made to finish by reading a pixel;
        // on a machine shared with other work the fastest chunk is the steadiest figure
        const int CHUNKS = 8, CHUNK_FRAMES = 30;
        double chunks[CHUNKS];
        for (int k = 0; k < CHUNKS; k++) {
            double began = nowMs();
            for (int i = 0; i < CHUNK_FRAMES; i++) {
                drawFrame(looping, fpsFrame++);
                glutSwapBuffers();
            }
            unsigned char pixel[4];
            glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
            chunks[k] = (nowMs() - began) / CHUNK_FRAMES;
        }
        std::sort(chunks, chunks + CHUNKS);
        double drawMs = chunks[0], medianMs = chunks[CHUNKS / 2];
        endCase(c);
        char text[200];
        snprintf(text, sizeof text,
                 "fps %s: %.2f frames a second on the 60 Hz loop; back to back %.2f ms a frame at best (%.0f a "
                 "second), %.2f ms median",
                 c.name, paced, drawMs, 1000 / drawMs, medianMs);
        note(text);
        fpsCase++;
        fpsFrame = 0;
    }
}
#endif

int main(int argc, char **argv) {
    std::string mode = "compare";
#ifdef __EMSCRIPTEN__
    if (argc > 1)
        mode = argv[1];
    if (argc > 2)
        fpsOnly = argv[2];
#else
    if (argc != 2) {
        fprintf(stderr, "usage: webgl_harness OUTPUT_FOLDER (under a display: xvfb-run -a -s '-screen 0 1024x768x24')\n");
        return 2;
    }
    outputFolder = argv[1];
#endif
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH | GLUT_RGBA);
    glutInitWindowSize(WIDTH, HEIGHT);
    if (!glutCreateWindow("webgl harness"))
        return 1;
    initEffects();
    reshapeView(WIDTH, HEIGHT);
    if (mode == "compare") {
        runComparison();
        note("compare: done");
        finished();
#ifdef __EMSCRIPTEN__
    } else if (mode == "still") {
        runStill();
        finished();
    } else if (mode == "fps") {
        glutDisplayFunc(fpsDisplay);
        glutMainLoop();
#endif
    } else {
        fprintf(stderr, "unknown mode %s\n", mode.c_str());
        return 2;
    }
    return 0;
}
