// spiral.cpp -- five nested translucent spirals swinging up to a full turn either way
#include "scenes.h"
#include "effects.h"

#include <GL/gl.h>
#include <cmath>

const int SPIRAL_COPIES = 5;

void spiralScene(int, int row, float) {
    glShadeModel(GL_SMOOTH);
    glClear(GL_DEPTH_BUFFER_BIT);
    // between colour clears the swinging copies leave trails
    if (row % 4 == 0)
        glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    for (int i = 0; i < SPIRAL_COPIES; i++) {
        float s = i * 0.15f + 0.5f;
        glPushMatrix();
        // a 180-step swing; each larger copy runs 4 steps ahead
        glRotatef(float(360 * cos((frameCounter + 4 * i) * 3.14159 / 90)), 0, 0, 1);
        glScalef(s, s, s);
        glCallList(spiralList);
        glPopMatrix();
    }

    glShadeModel(GL_FLAT);
}
