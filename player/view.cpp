// view.cpp -- the fixed camera and projection, the lighting and fullscreen keys, the 2D text overlay
#include "player.h"
#include "desktop.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

int windowWidth = 320;   // pixels, until the first reshape reports the real size
int windowHeight = 240;  // pixels
float aspectRatio = 320.0f / 240.0f;
const float cameraPosition[3] = {0.0f, 0.0f, 5.0f};    // the eye point
const float cameraDirection[3] = {0.0f, 0.0f, -1.0f};  // looked along; centre = eye + direction

void reshapeView(int width, int height) {
    if (height == 0)
        height = 1;
    windowWidth = width;
    windowHeight = height;
    aspectRatio = width * 1.0f / height;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glViewport(0, 0, width, height);
    gluPerspective(45.0, aspectRatio, 1.0, 1000.0);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(cameraPosition[0], cameraPosition[1], cameraPosition[2],
              cameraPosition[0] + cameraDirection[0], cameraPosition[1] + cameraDirection[1],
              cameraPosition[2] + cameraDirection[2], 0.0, 1.0, 0.0);

    // the picture kept between clears follows the window's size
    pictureResize(width, height);
}

void specialKeyPressed(int key, int, int) {
    if (key == GLUT_KEY_F1) {
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
    } else if (key == GLUT_KEY_F2) {
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT0);
    } else if (key == GLUT_KEY_F11) {
        // GLUT_FULL_SCREEN still tells the state before the toggle: the window manager
        // answers later, and the reshape that follows sizes the view and the picture
        bool leaving = glutGet(GLUT_FULL_SCREEN);
        glutFullScreenToggle();
        glutSetCursor(leaving ? GLUT_CURSOR_INHERIT : GLUT_CURSOR_NONE);
    } else if (key == GLUT_KEY_F12) {
        requestScreenshot();
    }
}

void beginOverlay() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, windowWidth, 0, windowHeight);
    // window pixels with (0, 0) at the top-left corner, y growing downwards
    glScalef(1, -1, 1);
    glTranslatef(0, -windowHeight, 0);
    glMatrixMode(GL_MODELVIEW);
}

void endOverlay() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void drawString(float x, float y, int spacing, void *font, const char *text) {
    int pen = int(x);
    for (const char *c = text; *c; c++) {
        // the raster position is set anew per character so the spacing applies between every pair
        glRasterPos2f(pen, y);
        glutBitmapCharacter(font, (unsigned char)*c);
        pen += glutBitmapWidth(font, (unsigned char)*c) + spacing;
    }
}
