// frame.cpp -- the frame driver: walks the scene timeline by the module's order and row
#include "player.h"
#include "audio.h"
#include "desktop.h"
#include "effects.h"

#include <GL/freeglut.h>
#include <cstdio>
#include <cstdlib>

int sceneIndex = -1;        // current SceneTable row, -1 until the first row begins
bool endPartActive;         // true from the switch to the end part on
int elapsedMs;              // GLUT's elapsed milliseconds, read once per frame
int fpsFrames;              // frames since the last frame-rate update
int fpsLastTime;            // elapsedMs of the last frame-rate update
char statusText[256];       // the status line, empty until the first frame-rate update

static int glutClock() {
    return glutGet(GLUT_ELAPSED_TIME);
}

int (*readClock)() = glutClock;
void (*frameFinished)() = nullptr;
static void swapWindow() {
    glutSwapBuffers();
}
void (*presentFrame)() = swapWindow;
// A sync table that could only be printed ends the program with status 1, so whatever started
// it learns of the loss.
static void exitProgram(int status) {
    exit(status == 0 && syncTableLost ? 1 : status);
}
void (*endProgram)(int status) = exitProgram;

static void drawStatusLine() {
    // The status line sits over the picture: the depth test, which the scenes keep on, must
    // not hide it behind the scene's depth (or behind a depth buffer never cleared).
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    glColor3f(0, 0, 0);
    glPushMatrix();
    glLoadIdentity();
    beginOverlay();
    drawString(10.0f, 10.0f, 2, GLUT_BITMAP_8_BY_13, statusText);
    glPopMatrix();
    endOverlay();
    glPopAttrib();
}

static void drawFlash() {
    glPushMatrix();
    glScalef(4.75f, 4.75f, 4.75f);
    int r1 = randomValue();
    int r2 = randomValue();
    glTranslatef(0.4 - r2 / 32767.0 * 0.8, 0.3 - r1 / 32767.0 * 0.6, 0.5);
    glCallList(flashList);
    glPopMatrix();
}

// The timeline is over: stop the module, start the stream; the end part draws from now on.
static void switchToEndPart() {
    endPartActive = true;
    BASS_Stop();
    std::string stream = dataPath("data/farewell.mp3");
    streamHandle = BASS_StreamCreateFile(0, stream.c_str(), 0, 0, BASS_LOOP);
    if (!streamHandle)
        reportMusicMissing(stream.c_str());
    BASS_Start();
    BASS_StreamPlay(streamHandle, 1, BASS_LOOP);
}

// Returns false when the stream has played out and the program ends.
static bool endPartFrame() {
    DWORD position = BASS_StreamGetFilePosition(streamHandle, 0);
    if (position >= BASS_StreamGetLength(streamHandle)) {
        shutdownDemo();
        endProgram(0);
        return false;
    }
    pictureBegin(true);
    endPart(int(position));
    pictureEnd();
    snprintf(statusText, sizeof statusText, "POS: %d / %d", int(position),
             int(BASS_StreamGetLength(streamHandle)));
    drawStatusLine();
    return true;
}

static void timelineFrame() {
    ModulePosition position = decodePosition(BASS_ChannelGetPosition(musicHandle));
    int order = position.order;
    int row = position.row;
    bool known = position.known;
    int key = positionKey(order, row);

    // advance by at most one row per frame, once the module is at or past the next row's
    // start: a frame that misses a row's exact start must not hold the old scene for good;
    // the terminating row has no row after it
    if (known && (sceneIndex < 0 || SceneTable[sceneIndex].render)) {
        const SceneEntry &next = SceneTable[sceneIndex + 1];
        if (key >= positionKey(next.order, next.row))
            sceneIndex++;
    }

    bool ended = known && order == TIMELINE_END_ORDER && row >= TIMELINE_END_ROW;
    if (sceneIndex >= 0 && !SceneTable[sceneIndex].render)
        ended = true;
    // The module went past its end between two frames (a slow machine, a low capture rate):
    // the engine knows, so the narrow window of the end test cannot be missed and the module
    // is not played again.
    if (known && audioModuleEnds(musicHandle) > 0)
        ended = true;

    pictureBegin(ended || sceneIndex < 0 || SceneTable[sceneIndex].keepsPicture);
    if (ended)
        switchToEndPart();  // no scene in the frame of the switch
    else if (sceneIndex >= 0)
        SceneTable[sceneIndex].render(order, row, float(elapsedMs));
    if (row % 8 == 0)
        drawFlash();
    pictureEnd();

    if (elapsedMs - fpsLastTime > 1000) {
        snprintf(statusText, sizeof statusText, "FPS:%4.2f, POS: %d, ROW:%d",
                 fpsFrames * 1000.0 / (elapsedMs - fpsLastTime), order, row);
        fpsLastTime = elapsedMs;
        fpsFrames = 0;
    }
    drawStatusLine();
}

void displayFrame() {
    if (quitSignal) {
        shutdownDemo();
        endBySignal(quitSignal);
        return;
    }
    elapsedMs = readClock();
    if (endPartActive) {
        if (!endPartFrame())
            return;  // nothing of this frame is drawn
    } else {
        timelineFrame();
    }

    // count the frame
    fpsFrames++;
    saveScreenshotIfAsked(windowWidth, windowHeight);
    if (frameFinished)
        frameFinished();
    if (presentFrame)
        presentFrame();
    frameCounter++;
}

void keyPressed(unsigned char key, int, int) {
    if (key == 27) {
        shutdownDemo();
        endProgram(0);
        return;
    }
    if (key == ' ')
        recordSyncPoint();
}

void windowClosed() {
    shutdownDemo();
    endProgram(0);
}
