// contactsheet.cpp -- one picture of every model: a lit view of each object through the
// presentation's reader and compiler, then the scenes as the presentation draws them.
// Usage (under a display, e.g. xvfb-run, from the folder that holds data/): contactsheet OUT.ppm
//
// The scene views are frames of the presentation itself: its start-up, frame driver and
// scenes run on the audio engine's pull back-end, as the capture runs them, and the module is
// played up to each moment worth a picture.
#include "audio.h"
#include "effects.h"
#include "modelview.h"
#include "player.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int frameWidth = 640, frameHeight = 480;    // pixels; scene views use the whole frame
const int cellSize = 200;                         // pixels per model view
const int columns = 8;                            // model views per row of the sheet
const int sceneColumns = 5;                       // scene views (at half size) per row
const int labelHeight = 18;                       // pixels under each view for its name

int emptyCells = 0;      // models that drew no pixel at all: the sheet run fails on any
std::string sceneLabel;  // the label of the scene view being drawn

// The sheet being assembled, RGB rows from the top.
int sheetWidth = 0, sheetHeight = 0;
std::vector<unsigned char> sheet;

struct Entry {
    std::string name;
    LwoObject *object;
};

// Copies a w x h block of the back buffer (from its lower left corner) into the sheet,
// shrinking by `shrink` (1 or 2, averaging) and placing its top left at (x, y).
void grab(int w, int h, int shrink, int x, int y) {
    std::vector<unsigned char> pixels(size_t(w) * h * 3);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    for (int row = 0; row < h / shrink; row++)
        for (int col = 0; col < w / shrink; col++)
            for (int c = 0; c < 3; c++) {
                int tx = x + col, ty = y + row;
                if (tx < sheetWidth && ty < sheetHeight)
                    sheet[(size_t(ty) * sheetWidth + tx) * 3 + c] =
                        boxAverage(pixels.data(), w, h, shrink, col, row, c);
            }
}

// A label in the lower `h` pixels of the current viewport, `w` pixels wide.
void label(int w, int h, void *font, const char *text) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, w, 0, h);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glColor3f(0.9f, 0.9f, 0.9f);
    glRasterPos2i(h / 4, h / 3);
    for (const char *c = text; *c; c++)
        glutBitmapCharacter(font, *c);
    glEnable(GL_DEPTH_TEST);
}

// One lit view of an object, fitted into a cell, turned a little to show its depth.
void drawCell(const Entry &e, int index) {
    LwoObject &o = *e.object;
    ModelBox box = modelBox(o);
    bool flat = box.hi[2] - box.lo[2] < 0.2 * box.radius;  // letters and emblems: turn them less
    glViewport(0, labelHeight, cellSize, cellSize);
    glClearColor(0.16f, 0.16f, 0.18f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const float light[4] = {-0.2f, 0.35f, 1.0f, 0};  // fronts bright, right-hand walls darker
    frameModel(box, 1.02, flat ? 8 : 18, flat ? -22 : -35, light);
    glEnable(GL_LIGHTING);
    unsigned int list = o.compileLit(1.0f, 0.85f, 0.2f);
    glCallList(list);
    glDisable(GL_LIGHTING);
    glFinish();
    std::vector<unsigned char> pixels(size_t(cellSize) * cellSize * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, labelHeight, cellSize, cellSize, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    int drawn = 0;
    for (size_t i = 0; i < pixels.size(); i += 3)
        if (pixels[i] > 100) drawn++;  // the background's red is about 41
    if (drawn < cellSize * cellSize / 100) {
        std::printf("%s: only %d pixels drawn\n", e.name.c_str(), drawn);
        emptyCells++;
    }
    glViewport(0, 0, cellSize, labelHeight);
    char text[128];
    std::snprintf(text, sizeof text, "%s  %d tris", e.name.c_str(), o.polygonCount);
    label(cellSize, labelHeight, GLUT_BITMAP_HELVETICA_12, text);
    grab(cellSize, cellSize + labelHeight, 1, (index % columns) * cellSize,
         (index / columns) * (cellSize + labelHeight));
}

// A moment of the presentation worth a picture.
struct Moment {
    int order, row;  // module position of the frame pictured
    std::string label;
    bool lit;        // with lighting on, as F1 turns it on
};

const int STEP = AUDIO_RATE / 60;  // sound frames between two drawn frames: 60 a second
const int LEAD_ROWS = 2;           // rows drawn before a moment, so trails and state build up

bool grabNext = false;  // the frame being drawn is the moment's picture
int sceneSlot = 0;      // next free scene slot of the sheet
int sceneTop = 0;       // sheet row where the scene views start

int zeroClock() {
    return 0;  // the frame rate is never shown: the status line stays empty
}

void noDisplay() {
}

void keepRunning(int) {
}

// The frame driver's hook, with the finished frame in the back buffer: the moment's label
// goes over its bottom strip, and the frame into the sheet at half size.
void grabFrame() {
    if (!grabNext)
        return;
    grabNext = false;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glViewport(0, 0, frameWidth, labelHeight * 2);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, frameWidth, labelHeight * 2);
    glClearColor(0.16f, 0.16f, 0.18f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    label(frameWidth, labelHeight * 2, GLUT_BITMAP_HELVETICA_18, sceneLabel.c_str());
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    grab(frameWidth, frameHeight, 2, (sceneSlot % sceneColumns) * frameWidth / 2,
         sceneTop + (sceneSlot / sceneColumns) * frameHeight / 2);
    sceneSlot++;
}

// Rows the module has played from its start.
int currentRows() {
    ModulePosition p = decodePosition(BASS_ChannelGetPosition(musicHandle));
    return rowsFromStart(p.order, p.row);
}

// Plays on, 1/60 s at a time, until `done` holds, drawing a frame at every step where `draw`
// holds.
// False when ten minutes of sound went by first (a module or stream that did not load).
template <typename Draw, typename Done>
bool playUntil(Draw draw, Done done) {
    while (!done()) {
        if (audioRenderedFrames() > 600 * AUDIO_RATE)
            return false;
        audioPullTo(audioRenderedFrames() + STEP, nullptr);
        if (draw())
            displayFrame();
    }
    return true;
}

// The next frame, labelled, into the sheet.
void pictureFrame(const std::string &text) {
    sceneLabel = text;
    grabNext = true;
    displayFrame();
}

void pictureMoment(const Moment &m) {
    int at = rowsFromStart(m.order, m.row);
    if (m.lit)
        specialKeyPressed(GLUT_KEY_F1, 0, 0);
    char text[128];
    snprintf(text, sizeof text, "%s, order %d row %d", m.label.c_str(), m.order, m.row);
    if (playUntil([&] { return currentRows() >= at - LEAD_ROWS; }, [&] { return currentRows() >= at; }))
        pictureFrame(text);
    if (m.lit)
        specialKeyPressed(GLUT_KEY_F2, 0, 0);
}

// Every scene at the moment SceneTable shows it, the rave model of the dancers' intro, the
// dancers lit (their lists carry normals), then the end part's second word.
void pictureScenes() {
    if (!musicHandle)
        return;  // start-up has said why; no view, and the sheet fails
    std::vector<Moment> moments;
    for (int i = 0; SceneTable[i].render; i++)
        moments.push_back({SceneTable[i].showOrder, SceneTable[i].showRow, SceneTable[i].name, false});
    moments.push_back({10, 7, "ripaska intro", false});
    moments.push_back({13, 5, "ripaska, lighting on (F1)", true});
    std::sort(moments.begin(), moments.end(), [](const Moment &a, const Moment &b) {
        return positionKey(a.order, a.row) < positionKey(b.order, b.row);
    });
    for (const Moment &m : moments)
        pictureMoment(m);

    // the frame driver switches to the end part at the timeline's end; the end part follows
    // the stream's position
    auto stream = [] { return int(BASS_StreamGetFilePosition(streamHandle, 0)); };
    int word = endscrollText[1].position;
    if (playUntil([] { return currentRows() >= TIMELINE_ROWS - 1; }, [] { return endPartActive; }) &&
        playUntil([&] { return stream() >= word; }, [&] { return stream() >= word + 6000; }))
        pictureFrame(std::string("end part, \"") + endscrollText[1].text + "\"");
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::printf("usage: contactsheet OUT.ppm (from the folder that holds data/)\n");
        return 2;
    }
    const char *output = argv[1];
    // the presentation's start-up on the pull back-end: time is ours, as in the capture
    int glutArgc = 1;
    char *glutArgv[] = {argv[0], nullptr};
    audioSelectBackend(AUDIO_PULL);
    startDemo(&glutArgc, glutArgv);
    glutDisplayFunc(noDisplay);
    glutIdleFunc(nullptr);
    setPacing(false);
    readClock = zeroClock;
    endProgram = keepRunning;
    frameFinished = grabFrame;
    while (windowWidth != frameWidth || windowHeight != frameHeight)
        glutMainLoopEvent();  // the first reshape sizes the view and the picture

    // the model bank as the effect set-up loaded it
    std::vector<Entry> all;
    for (int i = 0; i < 11; i++) {
        std::string name = namedModelPaths[i];
        name = name.substr(name.rfind('/') + 1);
        all.push_back({name.substr(0, name.rfind('.')), *namedModels[i]});
    }
    for (int i = 0; i < 26; i++)
        all.push_back({std::string(1, char('a' + i)), letterModels[i]});

    int modelRows = (int(all.size()) + columns - 1) / columns;
    sceneTop = modelRows * (cellSize + labelHeight);
    const int sceneViews = 10;
    sheetWidth = columns * cellSize;
    sheetHeight = sceneTop + (sceneViews + sceneColumns - 1) / sceneColumns * (frameHeight / 2);
    sheet.assign(size_t(sheetWidth) * sheetHeight * 3, 40);

    pictureScenes();

    // the lit views last: they set GL state of their own
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);  // the sheet shows each list's colour under the light
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glShadeModel(GL_FLAT);
    for (size_t i = 0; i < all.size(); i++)
        drawCell(all[i], int(i));

    FILE *f = std::fopen(output, "wb");
    if (!f) {
        std::printf("%s: cannot create file\n", output);
        return 1;
    }
    std::fprintf(f, "P6\n%d %d\n255\n", sheetWidth, sheetHeight);
    std::fwrite(sheet.data(), 1, sheet.size(), f);
    std::fclose(f);
    if (sceneSlot != sceneViews)
        std::printf("%d scene views drawn, %d expected\n", sceneSlot, sceneViews);
    shutdownDemo();
    return emptyCells || sceneSlot != sceneViews ? 1 : 0;
}
