// samovar.cpp -- nested wobbling samovars that thin out as the rows pass, and a shaking balalaika
#include "scenes.h"
#include "effects.h"
#include "scenestate.h"

#include <GL/gl.h>
#include <cmath>

float samovarSpin;  // degrees, base angle of every copy; grows by 6 per frame of this scene

void samovarScene(int, int row, float) {
    glShadeModel(GL_SMOOTH);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    // Largest and most opaque first; from row 12 on the smallest copy drops out every 8 rows.
    // The division truncates toward zero, so rows 0 to 3 keep all six copies.
    int low = (row - 4) / 8;
    for (int k = SAMOVAR_COPIES - 1; k >= low && k >= 0; k--) {
        glPushMatrix();
        float s = k * 0.65f + 0.75f;
        glScalef(s, s, s);
        // each copy runs 16 counter steps behind the next larger one
        glRotatef(float(samovarSpin + 16 * cos((frameCounter + 16 * k) * 3.14159 / 128)), 1, 1, 1);
        glCallList(samovarLists[k]);
        glPopMatrix();
    }

    // The balalaika shakes on every frame of rows 4, 12, ..., 60; the remainder keeps the
    // dividend's sign, so rows 0 to 3 never match.
    if ((row - 4) % 8 == 0) {
        glPushMatrix();
        glRotatef(float(10 - 20 * randomDraw()), 1, 1, 1);
        glScalef(3.75f, 3.75f, 3.75f);
        double y = 0.15 - 0.3 * randomDraw();  // y is drawn before x
        double x = 0.2 - 0.4 * randomDraw();
        glTranslatef(float(x), float(y), 0);
        glCallList(balalaikaLists[5]);
        glPopMatrix();
    }

    glShadeModel(GL_FLAT);
    samovarSpin += 6.0f;
    // the wobble runs at twice the frame driver's pace while this scene is on
    frameCounter += 1;
}
