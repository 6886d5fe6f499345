// missiles.cpp -- fifty faint missiles streaming past the camera along a swinging fan of paths
#include "scenes.h"
#include "effects.h"
#include "scenestate.h"

#include <GL/gl.h>

// Missile i is entry i of all three arrays.
static float x[MISSILE_COUNT];       // sideways offset of the path, -2 to 2
static float z[MISSILE_COUNT];       // offset across the path, -2 to 2
static float travel[MISSILE_COUNT];  // position along the path, -7.5 (far) to 7.5 (near)
float (&missileX)[MISSILE_COUNT] = x;
float (&missileZ)[MISSILE_COUNT] = z;
float (&missileTravel)[MISSILE_COUNT] = travel;

float missileSpin;            // degrees, rolls the picture and swings the fan; +0.5 per frame
float missileSpeed = 0.05f;   // travel per missile per frame
unsigned int missileList;     // the missile model, faint yellow

void initMissiles() {
    missileList = missileModel->compileFlat(1, 1, 0, 0.15f);
    for (int i = 0; i < MISSILE_COUNT; i++) {
        x[i] = float(2 - 4 * randomDraw());
        z[i] = float(2 - 4 * randomDraw());
        travel[i] = float(7.5 - 15 * randomDraw());
    }
}

void missileScene(int, int row, float) {
    glClear(GL_DEPTH_BUFFER_BIT);
    // between colour clears the missiles leave trails
    if (row % 4 == 0)
        glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    glPushMatrix();
    glRotatef(missileSpin, 0, 0, 1);
    for (int i = 0; i < MISSILE_COUNT; i++) {
        // the reset comes before drawing, so no missile is ever drawn at the end of its path
        if (travel[i] >= 7.5f) {
            x[i] = float(2 - 4 * randomDraw());
            z[i] = float(2 - 4 * randomDraw());
            travel[i] = -7.5f;
        }
        glPushMatrix();
        glRotatef(90, 1, 0, 0);  // the path axis (local y) now points at the camera
        glRotatef(i + missileSpin, 0, 0, 1);  // one degree more per missile: the fan
        glTranslatef(x[i], travel[i], z[i]);
        glCallList(missileList);
        glPopMatrix();
        travel[i] += missileSpeed;
    }
    glPopMatrix();

    missileSpin += 0.5f;
}
