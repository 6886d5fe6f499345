// caption.cpp -- the opening captions, spelled with the 3D letter font in time with the module
#include "scenes.h"
#include "effects.h"
#include "player.h"

#include <GL/gl.h>
#include <cmath>

struct CaptionEntry {
    float x;           // horizontal offset added to every letter position
    float y;           // vertical position of the caption
    int order;         // module position of the row
    int row;
    const char *text;  // the caption; null marks the terminating row
};

// Every fourth row of orders 0 to 3, then the count-in. The text between two positions is
// that of the later row, so the title is in the second row: it is what order 0 rows 0 to 3
// show (the first row's text shows only at the wrap, in the closing flurry). A leading space
// moves a text one letter slot to the right. Through order 3 the dancers' "hop" comes on
// every eighth row with the stabs, then the count-in on the hits of rows 57, 58 and 60.
static const CaptionEntry captionTable[67] = {
    {0, 0, 0, 0, "vortazov"},
    {0, 0, 0, 4, "vortazov"},
    {0, 0, 0, 8, ""},
    {0, 0, 0, 12, "comrades"},
    {0, 0, 0, 16, "listen"},
    {0, 0, 0, 20, "closely"},
    {0, 0, 0, 24, ""},
    {0, 0, 0, 28, ""},
    {0, 0, 0, 32, "the"},
    {0, 0, 0, 36, "five"},
    {0, 0, 0, 40, "year"},
    {0, 0, 0, 44, "plan"},
    {0, 0, 0, 48, "is"},
    {0, 0, 0, 52, "done"},
    {0, 0, 0, 56, "and"},
    {0, 0, 0, 60, "now"},
    {0, 0, 1, 0, "the"},
    {0, 0, 1, 4, "work"},
    {0, 0, 1, 8, "    ing"},
    {0, 0, 1, 12, "working"},
    {0, 0, 1, 16, "class"},
    {0, 0, 1, 20, "goes"},
    {0, 0, 1, 24, "to"},
    {0, 0, 1, 28, "the"},
    {0, 0, 1, 32, "party"},
    {0, 0, 1, 36, ""},
    {0, 0, 1, 40, "bring"},
    {0, 0, 1, 44, "your"},
    {0, 0, 1, 48, "samovar"},
    {0, 0, 1, 52, "your"},
    {0, 0, 1, 56, "bala"},
    {0, 0, 1, 60, "    laika"},
    {0, 0, 2, 0, "balalaika"},
    {0, 0, 2, 4, "and"},
    {0, 0, 2, 8, "your"},
    {0, 0, 2, 12, "best"},
    {0, 0, 2, 16, "boots"},
    {0, 0, 2, 20, ""},
    {0, 0, 2, 24, "tonight"},
    {0, 0, 2, 28, "we"},
    {0, 0, 2, 32, "dance"},
    {0, 0, 2, 36, "on"},
    {0, 0, 2, 40, "the"},
    {0, 0, 2, 44, "tractor"},
    {0, 0, 2, 48, "factory"},
    {0, 0, 2, 52, "roof"},
    {0, 0, 2, 56, ""},
    {0, 0, 2, 60, "ready"},
    {0, 0, 3, 0, "steady"},
    {0, 0, 3, 4, "hop"},
    {0, 0, 3, 8, ""},
    {0, 0, 3, 12, "hop"},
    {0, 0, 3, 16, ""},
    {0, 0, 3, 20, "hop"},
    {0, 0, 3, 24, ""},
    {0, 0, 3, 28, "hop"},
    {0, 0, 3, 32, ""},
    {0, 0, 3, 36, "hop"},
    {0, 0, 3, 40, ""},
    {0, 0, 3, 44, "hop"},
    {0, 0, 3, 48, ""},
    {0, 0, 3, 52, "hop"},
    {0, 0, 3, 57, ""},
    {0, 0, 3, 58, "odin"},
    {0, 0, 3, 60, "    dwa"},
    {0, 0, 3, 62, "       tri"},
    {0, 0, 3, 63, nullptr},
};

int captionIndex;  // current row of captionTable
int letterPhase;   // circle step of the next letter drawn; frameCounter at the frame's start

void drawLetter(int index) {
    // anything but a to z has no model: it draws nothing and takes no step on the circle
    if (index < 0 || index >= 26 || !letterModels[index])
        return;
    const LwoObject *model = letterModels[index];
    const float step = 3.14159 / 128;
    float theta = letterPhase * step;
    float dx = 0.5 * cos(theta);
    float dy = 0.5 * sin(theta);
    glBegin(GL_TRIANGLES);
    for (const LwoPolygon *p = model->polygons; p; p = p->next) {
        if (!model->isDrawable(p))
            continue;
        for (int k = 0; k < 3; k++) {
            const Vec3 &v = model->points[p->vertices[k]];
            glVertex3f(v.x + dx, v.y + dy, v.z);
        }
    }
    glEnd();
    letterPhase++;
}

void drawWord(const char *text, float x, float y) {
    float pen = -2.0f;
    for (int i = 0; text[i]; i++) {
        char c = text[i];
        // letters only: a space or any other character just moves the pen
        if (c >= 'a' && c <= 'z') {
            glPushMatrix();
            glTranslatef(pen + x, y, 0);
            double sway = 15 * sin(double(unsigned(i * 16 + frameCounter)) * 3.14159 / 64);
            glRotatef(float(sway), 0, 0, 1);
            double pulse = 0.15 * sin(double(unsigned(frameCounter + i * 8)) * 3.14159 / 64) + 0.85;
            glScalef(float(pulse), float(pulse), float(pulse));
            drawLetter(c - 'a');
            glPopMatrix();
        }
        pen += 0.45f;
    }
}

void captionScene(int order, int row, float) {
    glClear(GL_DEPTH_BUFFER_BIT);
    if (row % 4 == 0)
        glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(1, 1, 0, 0.15f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glShadeModel(GL_FLAT);

    // the caption at or behind the module's position gives way to the next one
    const CaptionEntry &current = captionTable[captionIndex];
    if (order * 256 + row >= current.order * 256 + current.row)
        captionIndex++;
    if (!captionTable[captionIndex].text)
        captionIndex = 0;

    letterPhase = frameCounter;
    const CaptionEntry &caption = captionTable[captionIndex];
    drawWord(caption.text, caption.x, caption.y);
}
