// caption.cpp -- the opening captions, spelled with the 3D letter font in time with the module
#include "scenes.h"
#include "effects.h"
#include "scenestate.h"
#include "timeline.h"

#include <GL/gl.h>
#include <cmath>

struct CaptionEntry {
    float x;           // horizontal offset added to every letter position
    float y;           // vertical position of the caption
    int order;         // module position of the row
    int row;
    const char *text;  // the caption; null marks the terminating row
};

// Every caption stands at x 0 and y 0: leading spaces place a text instead.
static constexpr CaptionEntry caption(int order, int row, const char *text) {
    return {0, 0, order, row, text};
}

// Every fourth row of orders 0 to 3, then the count-in. The text between two positions is
// that of the later row, so the title is in the second row: it is what order 0 rows 0 to 3
// show (the first row's text shows only at the wrap, in the closing flurry). A leading space
// moves a text one letter slot to the right. Through order 3 the dancers' "hop" comes on
// every eighth row with the stabs, then the count-in on the hits of rows 57, 58 and 60.
static const CaptionEntry captionTable[67] = {
    caption(0, 0, "vortazov"),
    caption(0, 4, "vortazov"),
    caption(0, 8, ""),
    caption(0, 12, "comrades"),
    caption(0, 16, "listen"),
    caption(0, 20, "closely"),
    caption(0, 24, ""),
    caption(0, 28, ""),
    caption(0, 32, "the"),
    caption(0, 36, "five"),
    caption(0, 40, "year"),
    caption(0, 44, "plan"),
    caption(0, 48, "is"),
    caption(0, 52, "done"),
    caption(0, 56, "and"),
    caption(0, 60, "now"),
    caption(1, 0, "the"),
    caption(1, 4, "work"),
    caption(1, 8, "    ing"),
    caption(1, 12, "working"),
    caption(1, 16, "class"),
    caption(1, 20, "goes"),
    caption(1, 24, "to"),
    caption(1, 28, "the"),
    caption(1, 32, "party"),
    caption(1, 36, ""),
    caption(1, 40, "bring"),
    caption(1, 44, "your"),
    caption(1, 48, "samovar"),
    caption(1, 52, "your"),
    caption(1, 56, "bala"),
    caption(1, 60, "    laika"),
    caption(2, 0, "balalaika"),
    caption(2, 4, "and"),
    caption(2, 8, "your"),
    caption(2, 12, "best"),
    caption(2, 16, "boots"),
    caption(2, 20, ""),
    caption(2, 24, "tonight"),
    caption(2, 28, "we"),
    caption(2, 32, "dance"),
    caption(2, 36, "on"),
    caption(2, 40, "the"),
    caption(2, 44, "tractor"),
    caption(2, 48, "factory"),
    caption(2, 52, "roof"),
    caption(2, 56, ""),
    caption(2, 60, "ready"),
    caption(3, 0, "steady"),
    caption(3, 4, "hop"),
    caption(3, 8, ""),
    caption(3, 12, "hop"),
    caption(3, 16, ""),
    caption(3, 20, "hop"),
    caption(3, 24, ""),
    caption(3, 28, "hop"),
    caption(3, 32, ""),
    caption(3, 36, "hop"),
    caption(3, 40, ""),
    caption(3, 44, "hop"),
    caption(3, 48, ""),
    caption(3, 52, "hop"),
    caption(3, 57, ""),
    caption(3, 58, "odin"),
    caption(3, 60, "    dwa"),
    caption(3, 62, "       tri"),
    caption(3, 63, nullptr),
};

static const float CAPTION_ALPHA = 0.15f;  // the captions' opacity

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

void beginWords(float alpha) {
    glColor4f(1, 1, 0, alpha);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glShadeModel(GL_FLAT);
    letterPhase = frameCounter;
}

void captionScene(int order, int row, float) {
    glClear(GL_DEPTH_BUFFER_BIT);
    if (row % 4 == 0)
        glClear(GL_COLOR_BUFFER_BIT);
    beginWords(CAPTION_ALPHA);

    // the caption at or behind the module's position gives way to the next one
    const CaptionEntry &current = captionTable[captionIndex];
    if (positionKey(order, row) >= positionKey(current.order, current.row))
        captionIndex++;
    if (!captionTable[captionIndex].text)
        captionIndex = 0;

    const CaptionEntry &caption = captionTable[captionIndex];
    drawWord(caption.text, caption.x, caption.y);
}
