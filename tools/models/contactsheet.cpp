// contactsheet.cpp -- renders every model through the presentation's reader and compilers
// into one picture: a lit view of each object, then the objects as their scenes draw them.
// Usage (under a display, e.g. xvfb-run): contactsheet DATADIR OUT.ppm
#include "lwo2.h"

#include <GL/glut.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int windowWidth = 640, windowHeight = 480;  // pixels; scene views use all of it
const int cellSize = 200;                         // pixels per model view
const int columns = 8;                            // model views per row of the sheet
const int sceneColumns = 5;                       // scene views (at half size) per row
const int labelHeight = 18;                       // pixels under each view for its name
const double pi = 3.14159265358979323846;

int emptyCells = 0;  // models that drew no pixel at all: the sheet run fails on any

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
                int sum = 0;
                for (int dy = 0; dy < shrink; dy++)
                    for (int dx = 0; dx < shrink; dx++) {
                        int sy = h - 1 - (row * shrink + dy);  // GL rows run bottom-up
                        sum += pixels[(size_t(sy) * w + col * shrink + dx) * 3 + c];
                    }
                int tx = x + col, ty = y + row;
                if (tx < sheetWidth && ty < sheetHeight)
                    sheet[(size_t(ty) * sheetWidth + tx) * 3 + c] =
                        (unsigned char)(sum / (shrink * shrink));
            }
}

void label(int w, const std::string &text) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, w, 0, labelHeight);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glColor3f(0.9f, 0.9f, 0.9f);
    glRasterPos2i(4, 5);
    for (char c : text) glutBitmapCharacter(GLUT_BITMAP_HELVETICA_12, c);
    glEnable(GL_DEPTH_TEST);
}

// One lit view of an object, fitted into a cell, turned a little to show its depth.
void drawCell(const Entry &e, int index) {
    LwoObject &o = *e.object;
    float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    for (unsigned int i = 0; i < o.pointCount; i++) {
        const float v[3] = {o.points[i].x, o.points[i].y, o.points[i].z};
        for (int k = 0; k < 3; k++) {
            if (i == 0 || v[k] < lo[k]) lo[k] = v[k];
            if (i == 0 || v[k] > hi[k]) hi[k] = v[k];
        }
    }
    double radius = 0.5 * std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]) +
                                    (hi[2] - lo[2]) * (hi[2] - lo[2]));
    if (radius <= 0) radius = 1;
    bool flat = hi[2] - lo[2] < 0.2 * radius;  // letters and emblems: turn them less
    glViewport(0, labelHeight, cellSize, cellSize);
    glClearColor(0.16f, 0.16f, 0.18f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(30, 1, 0.05, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    float light[4] = {-0.2f, 0.35f, 1.0f, 0};  // fronts bright, right-hand walls darker
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glTranslated(0, 0, -radius / std::sin(15 * pi / 180) * 1.02);
    glRotated(flat ? 8 : 18, 1, 0, 0);
    glRotated(flat ? -22 : -35, 0, 1, 0);
    glTranslated(-(lo[0] + hi[0]) / 2, -(lo[1] + hi[1]) / 2, -(lo[2] + hi[2]) / 2);
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
    label(cellSize, text);
    grab(cellSize, cellSize + labelHeight, 1, (index % columns) * cellSize,
         (index / columns) * (cellSize + labelHeight));
}

// The presentation's view: camera at z = 5 looking down -z, 45 degrees, 4:3, red clear.
void sceneView() {
    glViewport(0, labelHeight * 2, windowWidth, windowHeight - labelHeight * 2);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45, 4.0 / 3.0, 1.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 0, 5, 0, 0, 4, 0, 1, 0);
    glClearColor(0.8f, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

// The scenes' random draw, 0 to 1 in steps of 1/32767 (glibc's rand() reaches 2^31 - 1).
double randomDraw() { return (rand() % 32768) / 32767.0; }

int sceneIndex = 0;  // next free scene slot of the sheet
int sceneTop = 0;    // sheet row where the scene views start

void finishScene(const char *text) {
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glViewport(0, 0, windowWidth, labelHeight * 2);
    glClearColor(0.16f, 0.16f, 0.18f, 1);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, windowWidth, labelHeight * 2);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, windowWidth, 0, labelHeight * 2);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glColor3f(0.9f, 0.9f, 0.9f);
    glRasterPos2i(8, 12);
    for (const char *c = text; *c; c++) glutBitmapCharacter(GLUT_BITMAP_HELVETICA_18, *c);
    glEnable(GL_DEPTH_TEST);
    int w = windowWidth / 2, h = windowHeight / 2;
    grab(windowWidth, windowHeight, 2, (sceneIndex % sceneColumns) * w, sceneTop + (sceneIndex / sceneColumns) * h);
    sceneIndex++;
}

LwoObject *find(const std::vector<Entry> &all, const char *name) {
    for (const Entry &e : all)
        if (e.name == name) return e.object;
    return nullptr;
}

// Orders 4 and 5: six nested samovars wobbling about (1,1,1), the balalaika on top.
// The balalaika alone as the samovar scene shakes it over the copies.
void balalaikaScene(const std::vector<Entry> &all) {
    sceneView();
    unsigned int list = find(all, "balalaika")->compileFlat(1, 1, 0, 5 / 6.0f * 0.5f);
    glPushMatrix();
    glRotatef(-6, 1, 1, 1);
    glScalef(3.75f, 3.75f, 3.75f);
    glTranslatef(0.1f, -0.05f, 0);
    glCallList(list);
    glPopMatrix();
    finishScene("balalaika alone (3.75, alpha 5/12)");
}

void samovarScene(const std::vector<Entry> &all, bool withBalalaika) {
    sceneView();
    unsigned int lists[6];
    for (int k = 0; k < 6; k++) lists[k] = find(all, "samovar")->compileFlat(1, 1, 0, k / 6.0f * 0.5f);
    unsigned int balalaika = find(all, "balalaika")->compileFlat(1, 1, 0, 5 / 6.0f * 0.5f);
    int frame = 40;
    float spin = 120;
    for (int k = 5; k >= 0; k--) {
        glPushMatrix();
        float s = k * 0.65f + 0.75f;
        glScalef(s, s, s);
        glRotatef(float(spin + 16 * std::cos((frame + 16 * k) * 3.14159 / 128)), 1, 1, 1);
        glCallList(lists[k]);
        glPopMatrix();
    }
    if (withBalalaika) {
        glPushMatrix();
        glRotatef(4, 1, 1, 1);
        glScalef(3.75f, 3.75f, 3.75f);
        glCallList(balalaika);
        glPopMatrix();
    }
    finishScene(withBalalaika ? "samovars (0.75 to 4) + balalaika (3.75), row 4" : "samovars (0.75 to 4), row 0");
}

// Orders 6 and 7: ten faint stretched emblems turning, piling up between colour clears.
void swarmScene(const std::vector<Entry> &all, int frames) {
    sceneView();
    unsigned int list = find(all, "sirppijavasara")->compileFlat(1, 1, 0, 0.05f);
    float sx[10], sy[10], sz[10], ox[10], oy[10];
    for (int i = 0; i < 10; i++) {
        sx[i] = float(3.5 - randomDraw());
        sy[i] = float(3.5 - randomDraw());
        sz[i] = float(3.5 - randomDraw());
        ox[i] = float(0.3 - 0.6 * randomDraw());
        oy[i] = float(0.2 - 0.4 * randomDraw());
    }
    for (int frame = 0; frame < frames; frame++) {  // 24 frames: about four rows between clears
        glClear(GL_DEPTH_BUFFER_BIT);
        float tilt = frame < 12 ? 10.0f : -10.0f;
        glPushMatrix();
        glRotatef(float(200 + frame), 0, 0, 1);
        for (int i = 0; i < 10; i++) {
            glPushMatrix();
            glScalef(sx[i], sy[i], sz[i]);
            glTranslatef(ox[i], oy[i], 0.5f);
            glRotatef(tilt, 0, 0, 1);
            glCallList(list);
            glPopMatrix();
        }
        glPopMatrix();
    }
    char text[80];
    std::snprintf(text, sizeof text, "sirppijavasara swarm (2.5 to 3.5), %d frame%s", frames,
                  frames > 1 ? "s" : "");
    finishScene(text);
}

// Orders 10 to 13: the rave intro, then dancers in their three poses.
void raveScene(const std::vector<Entry> &all) {
    sceneView();
    glDisable(GL_BLEND);
    unsigned int list = find(all, "rave")->compileFlat(1, 1, 0, 1);
    glPushMatrix();
    glScalef(2.5f, 2.5f, 2.5f);
    glRotatef(70, 0, 0, 1);
    glCallList(list);
    glPopMatrix();
    finishScene("rave intro, row 7 (scale 2.5, 70 degrees)");
}

void dancerScene(const std::vector<Entry> &all, bool lit) {
    sceneView();
    glDisable(GL_BLEND);
    unsigned int still = find(all, "ripaska_still")->compileLit(1, 1, 0);
    unsigned int left = find(all, "ripaska_left")->compileLit(1, 1, 0);
    unsigned int right = find(all, "ripaska_right")->compileLit(1, 1, 0);
    if (lit) {
        float light[4] = {0, 0, 5, 0};
        glPushMatrix();
        glLoadIdentity();
        glLightfv(GL_LIGHT0, GL_POSITION, light);
        glPopMatrix();
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
    }
    const float x[4] = {-1, 1, -1, 1}, y[4] = {0, 0, -1.6f, -1.6f};
    const unsigned int pose[4] = {still, left, right, left};
    for (int i = 0; i < 4; i++) {
        glPushMatrix();
        glTranslatef(x[i], y[i], 0);
        if (i == 3)
            glScalef(6, 3, 6);  // the squash on the beat
        else
            glScalef(3, 3, 3);
        glRotatef(lit ? 30.0f : 15.0f, 0, 1, 0);
        glCallList(pose[i]);
        glPopMatrix();
    }
    glDisable(GL_LIGHTING);
    finishScene(lit ? "dancers, order 13, lighting on (F1)" : "dancers, order 13: still, left, right, left on the beat");
}

// Orders 14 and 15: five nested swinging spirals with trails.
void spiralScene(const std::vector<Entry> &all) {
    sceneView();
    unsigned int list = find(all, "spiral")->compileFlat(1, 1, 0, 0.35f);
    for (int frame = 100; frame < 104; frame++) {
        glClear(GL_DEPTH_BUFFER_BIT);
        for (int i = 0; i < 5; i++) {
            float s = i * 0.15f + 0.5f;
            glPushMatrix();
            glRotatef(float(360 * std::cos((frame + 4 * i) * 3.14159 / 90)), 0, 0, 1);
            glScalef(s, s, s);
            glCallList(list);
            glPopMatrix();
        }
    }
    finishScene("spirals (0.5 to 1.1), 4 frames");
}

// Orders 16 to 20: fifty faint missiles streaming at the camera, with trails.
void missileScene(const std::vector<Entry> &all) {
    sceneView();
    unsigned int list = find(all, "missile")->compileFlat(1, 1, 0, 0.15f);
    float mx[50], mz[50], travel[50];
    for (int i = 0; i < 50; i++) {
        mx[i] = float(2 - 4 * randomDraw());
        mz[i] = float(2 - 4 * randomDraw());
        travel[i] = float(7.5 - 15 * randomDraw());
    }
    float spin = 30;
    for (int frame = 0; frame < 12; frame++) {
        glClear(GL_DEPTH_BUFFER_BIT);
        glPushMatrix();
        glRotatef(spin, 0, 0, 1);
        for (int i = 0; i < 50; i++) {
            if (travel[i] >= 7.5f) {
                mx[i] = float(2 - 4 * randomDraw());
                mz[i] = float(2 - 4 * randomDraw());
                travel[i] = -7.5f;
            }
            glPushMatrix();
            glRotatef(90, 1, 0, 0);
            glRotatef(i + spin, 0, 0, 1);
            glTranslatef(mx[i], travel[i], mz[i]);
            glCallList(list);
            glPopMatrix();
            travel[i] += 0.05f;
        }
        glPopMatrix();
        spin += 0.5f;
    }
    finishScene("missiles, 12 frames");
}

// Orders 0 to 3: a caption in the letter drawer's way, with the flash of every 8th row.
void captionScene(const std::vector<Entry> &all, const char *text) {
    sceneView();
    LwoObject *flashObject = find(all, "fuckguidelines");
    unsigned int flash = flashObject->compileFlat(0.7f, 0, 0, 0.5f);
    for (int frameCounter = 300; frameCounter < 316; frameCounter++) {
        glClear(GL_DEPTH_BUFFER_BIT);
        glColor4f(1, 1, 0, 0.15f);
        int letterPhase = frameCounter;
        float pen = -2.0f;
        for (int i = 0; text[i]; i++, pen += 0.45f) {
            if (text[i] == ' ') continue;
            LwoObject *o = find(all, std::string(1, text[i]).c_str());
            glPushMatrix();
            glTranslatef(pen, 0, 0);
            glRotatef(float(15 * std::sin((unsigned(i * 16 + frameCounter)) * 3.14159 / 64)), 0, 0, 1);
            float s = float(0.15 * std::sin((unsigned(frameCounter + i * 8)) * 3.14159 / 64) + 0.85);
            glScalef(s, s, s);
            float step = float(3.14159 / 128);
            float dx = 0.5f * std::cos(letterPhase * step), dy = 0.5f * std::sin(letterPhase * step);
            glBegin(GL_TRIANGLES);
            for (LwoPolygon *p = o->polygons; p; p = p->next) {
                if (!o->isDrawable(p)) continue;
                for (int v = 0; v < 3; v++) {
                    const Vec3 &q = o->points[p->vertices[v]];
                    glVertex3f(q.x + dx, q.y + dy, q.z);
                }
            }
            glEnd();
            glPopMatrix();
            letterPhase++;
        }
    }
    glPushMatrix();
    glScalef(4.75f, 4.75f, 4.75f);
    glTranslatef(0.25f, 0.15f, 0.5f);
    glCallList(flash);
    glPopMatrix();
    finishScene("caption letters (16 frames) + flash (4.75)");
}

// The flash of every eighth row alone, at its size and place range.
void flashScene(const std::vector<Entry> &all) {
    sceneView();
    unsigned int flash = find(all, "fuckguidelines")->compileFlat(0.7f, 0, 0, 0.5f);
    const float x[3] = {-0.4f, 0.0f, 0.4f}, y[3] = {-0.3f, 0.1f, 0.3f};
    for (int i = 0; i < 3; i++) {
        glPushMatrix();
        glScalef(4.75f, 4.75f, 4.75f);
        glTranslatef(x[i], y[i], 0.5f);
        glCallList(flash);
        glPopMatrix();
    }
    finishScene("flash (4.75) at three of its random places");
}

// The alphabet at caption size, opaque, three rows on the caption pen.
void alphabetScene(const std::vector<Entry> &all) {
    sceneView();
    glDisable(GL_BLEND);
    const char *lines[3] = {"abcdefghi", "jklmnopqr", "stuvwxyz"};
    for (int line = 0; line < 3; line++) {
        float pen = -2.0f;
        for (const char *c = lines[line]; *c; c++, pen += 0.45f) {
            LwoObject *o = find(all, std::string(1, *c).c_str());
            glPushMatrix();
            glTranslatef(pen + 0.2f, 1.0f - line * 0.85f, 0);
            unsigned int list = o->compileFlat(1, 1, 0, 1);
            glCallList(list);
            glPopMatrix();
        }
    }
    finishScene("letters a to z at caption size (pen 0.45)");
}

}  // namespace

int main(int argc, char **argv) {
    glutInit(&argc, argv);
    if (argc != 3) {
        std::printf("usage: contactsheet DATADIR OUT.ppm\n");
        return 2;
    }
    std::string data = argv[1];
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(windowWidth, windowHeight);
    glutCreateWindow("contact sheet");

    const char *named[] = {"samovar", "balalaika", "sirppijavasara", "missile", "ripaska_left",
                           "ripaska_right", "ripaska_still", "rave", "spiral", "fuckguidelines",
                           "gowest"};
    std::vector<Entry> all;
    for (const char *n : named) {
        std::string path = data + "/3d/" + n + ".lwo";
        all.push_back({n, new LwoObject(path.c_str())});
    }
    for (char c = 'a'; c <= 'z'; c++) {
        std::string path = data + "/3d/writer/" + c + ".lwo";
        all.push_back({std::string(1, c), new LwoObject(path.c_str())});
    }

    int modelRows = (int(all.size()) + columns - 1) / columns;
    sceneTop = modelRows * (cellSize + labelHeight);
    const int scenes = 14;
    sheetWidth = columns * cellSize;
    sheetHeight = sceneTop + (scenes + sceneColumns - 1) / sceneColumns * (windowHeight / 2);
    sheet.assign(size_t(sheetWidth) * sheetHeight * 3, 40);

    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);  // the sheet shows each list's colour under the light
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glShadeModel(GL_FLAT);
    for (size_t i = 0; i < all.size(); i++) drawCell(all[i], int(i));

    // The scenes run with the presentation's own state: no colour material.
    glDisable(GL_COLOR_MATERIAL);
    float specular[4] = {1, 1, 1, 1}, shininess[1] = {50};
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialfv(GL_FRONT, GL_SHININESS, shininess);
    captionScene(all, "working");
    captionScene(all, "       tri");
    alphabetScene(all);
    flashScene(all);
    samovarScene(all, false);
    samovarScene(all, true);
    balalaikaScene(all);
    swarmScene(all, 1);
    swarmScene(all, 24);
    raveScene(all);
    dancerScene(all, false);
    dancerScene(all, true);
    spiralScene(all);
    missileScene(all);

    FILE *f = std::fopen(argv[2], "wb");
    if (!f) {
        std::printf("%s: cannot create file\n", argv[2]);
        return 1;
    }
    std::fprintf(f, "P6\n%d %d\n255\n", sheetWidth, sheetHeight);
    std::fwrite(sheet.data(), 1, sheet.size(), f);
    std::fclose(f);
    for (Entry &e : all) delete e.object;
    return emptyCells ? 1 : 0;
}
