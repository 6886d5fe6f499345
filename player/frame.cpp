// frame.cpp -- the frame driver: walks the scene timeline by the module's order and row
#include "player.h"
#include "audio.h"
#include "desktop.h"
#include "effects.h"

#include <GL/freeglut.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
static void exitProgram(int status) {
    exit(status);
}
void (*endProgram)(int status) = exitProgram;

// The text broken into lines of at most `columns` characters, at spaces where it can be.
static std::vector<std::string> wrapText(const std::string &text, size_t columns) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = at + columns;
        if (end >= text.size()) {
            lines.push_back(text.substr(at));
            break;
        }
        size_t space = text.rfind(' ', end);
        if (space != std::string::npos && space > at)
            end = space;
        lines.push_back(text.substr(at, end - at));
        at = end;
        while (at < text.size() && text[at] == ' ')
            at++;
    }
    return lines;
}

// The music a part follows could not be played: rather than a blank picture for ever, the
// window says which file, why, and how to put it right, on a dark panel below the status line.
static void drawMusicNotice(const char *what, const char *consequence) {
    const int margin = 20, padding = 12, lineHeight = 16, glyphWidth = 8, statusBottom = 30;
    float width = windowWidth / float(textScale), height = windowHeight / float(textScale);
    size_t columns = size_t(std::max(16.0f, (width - 2 * (margin + padding)) / glyphWidth));
    std::string failure = musicFailure.empty() ? "the file could not be loaded" : musicFailure;
    std::string title = std::string(what) + " could not be played:";
    std::vector<std::string> paragraphs = {
        title, failure, "", consequence, "",
        "Put the presentation's own file there again (in the source tree tools/regenerate-data.sh "
        "writes it; an installed copy comes back when the package is installed again), then start "
        "vortazov again.",
        "", "Escape quits.",
    };
    std::vector<std::string> lines;
    size_t failureFirst = 0, failureEnd = 0;  // the lines of paragraph 1, the failure, which stand out
    for (size_t p = 0; p < paragraphs.size(); p++) {
        if (p == 1)
            failureFirst = lines.size();
        std::vector<std::string> wrapped = wrapText(paragraphs[p], columns);
        if (wrapped.empty())
            wrapped.push_back("");
        lines.insert(lines.end(), wrapped.begin(), wrapped.end());
        if (p == 1)
            failureEnd = lines.size();
    }
    float panelHeight = lines.size() * lineHeight + 2 * padding;
    float top = std::max(float(statusBottom), (height - panelHeight) / 2);

    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glPushMatrix();
    glLoadIdentity();
    beginOverlay();
    glColor3f(0.15f, 0.0f, 0.0f);
    glBegin(GL_QUADS);
    glVertex2f(margin, top);
    glVertex2f(width - margin, top);
    glVertex2f(width - margin, top + panelHeight);
    glVertex2f(margin, top + panelHeight);
    glEnd();
    for (size_t i = 0; i < lines.size(); i++) {
        if (i >= failureFirst && i < failureEnd)
            glColor3f(1.0f, 1.0f, 0.0f);
        else
            glColor3f(1.0f, 1.0f, 1.0f);
        drawString(margin + padding, top + padding + (i + 1) * lineHeight - 4, 0, GLUT_BITMAP_8_BY_13,
                   lines[i].c_str());
    }
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
    // Without the stream no word can be timed: the window says why until Escape, rather
    // than the show ending at once as if it had played out.
    if (!streamHandle) {
        pictureBegin(false);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        pictureEnd();
        drawMusicNotice("The end part's music", "The words follow the music, so none can be shown.");
        snprintf(statusText, sizeof statusText, "POS: 0 / 0");
        drawStatusLine(statusText);
        return true;
    }
    DWORD position = BASS_StreamGetFilePosition(streamHandle, 0);
    if (position >= BASS_StreamGetLength(streamHandle)) {
        shutdownDemo();
        endProgram(endStatus());
        return false;
    }
    pictureBegin(true);
    endPart(int(position));
    pictureEnd();
    snprintf(statusText, sizeof statusText, "POS: %d / %d", int(position),
             int(BASS_StreamGetLength(streamHandle)));
    drawStatusLine(statusText);
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
    if (!musicHandle)
        drawMusicNotice("The music", "The scenes follow the music, so none can be shown.");

    if (elapsedMs - fpsLastTime > 1000) {
        snprintf(statusText, sizeof statusText, "FPS:%4.2f, POS: %d, ROW:%d",
                 fpsFrames * 1000.0 / (elapsedMs - fpsLastTime), order, row);
        fpsLastTime = elapsedMs;
        fpsFrames = 0;
    }
    drawStatusLine(statusText);
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
        endProgram(endStatus());
        return;
    }
    if (key == ' ')
        recordSyncPoint();
}

void windowClosed() {
    shutdownDemo();
    endProgram(endStatus());
}
