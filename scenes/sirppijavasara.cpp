// sirppijavasara.cpp -- ten faint stretched copies turning together, relaid every eighth row
#include "scenes.h"
#include "effects.h"
#include "scenestate.h"

#include <GL/gl.h>

// Placement of each copy, set by layoutSwarm.
float scaleX[SWARM_COPIES];   // stretch along x, 2.5 to 3.5
float scaleY[SWARM_COPIES];   // stretch along y, 2.5 to 3.5
float scaleZ[SWARM_COPIES];   // stretch along z, 2.5 to 3.5
float offsetX[SWARM_COPIES];  // -0.3 to 0.3, before the stretch
float offsetY[SWARM_COPIES];  // -0.2 to 0.2, before the stretch
float offsetZ[SWARM_COPIES];  // always 0.5, before the stretch

float sirppijavasaraSpin;     // degrees, each copy's own tilt: +10 or -10 by row
bool sirppijavasaraReseeded;  // true once this multiple-of-8 row has had its new layout

// New random placements for all copies; five draws per copy, in this order.
static void layoutSwarm() {
    for (int i = 0; i < SWARM_COPIES; i++) {
        scaleX[i] = float(3.5 - randomDraw());
        scaleY[i] = float(3.5 - randomDraw());
        scaleZ[i] = float(3.5 - randomDraw());
        offsetX[i] = float(0.3 - 0.6 * randomDraw());
        offsetY[i] = float(0.2 - 0.4 * randomDraw());
        offsetZ[i] = 0.5f;
    }
}

void initSirppijavasara() {
    layoutSwarm();
}

void sirppijavasaraScene(int, int row, float) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClear(GL_DEPTH_BUFFER_BIT);
    // between colour clears the faint copies pile up into trails
    if (row % 4 == 0)
        glClear(GL_COLOR_BUFFER_BIT);

    if (row % 4 == 0)
        sirppijavasaraSpin = 10.0f;
    else if (row % 2 == 0)
        sirppijavasaraSpin = -10.0f;

    // a new layout once per multiple-of-8 row, on the first frame that sees it
    if (row % 8 != 0) {
        sirppijavasaraReseeded = false;
    } else if (!sirppijavasaraReseeded) {
        layoutSwarm();
        sirppijavasaraReseeded = true;
    }

    glPushMatrix();
    glRotatef(float(frameCounter), 0, 0, 1);
    for (int i = 0; i < SWARM_COPIES; i++) {
        glPushMatrix();
        glScalef(scaleX[i], scaleY[i], scaleZ[i]);
        glTranslatef(offsetX[i], offsetY[i], offsetZ[i]);  // inside the stretch, so stretched too
        glRotatef(sirppijavasaraSpin, 0, 0, 1);
        glCallList(sirppijavasaraList);
        glPopMatrix();
    }
    glPopMatrix();
}
