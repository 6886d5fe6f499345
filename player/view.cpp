// view.cpp -- the fixed camera and projection, the lighting and fullscreen keys, the 2D text overlay
#include "player.h"
#include "desktop.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

int textScale = 1;        // the status line's pixels per font pixel
int windowWidth = 320;   // pixels, until the first reshape reports the real size
int windowHeight = 240;  // pixels
float aspectRatio = 320.0f / 240.0f;
const float cameraPosition[3] = {0.0f, 0.0f, 5.0f};    // the eye point
const float cameraDirection[3] = {0.0f, 0.0f, -1.0f};  // looked along; centre = eye + direction

// Bitmap glyphs cannot be zoomed, so for a scaled status line the font's printable characters
// are drawn once into a texture, one cell each, and shown as textured squares of whole pixels.
static const int CELL_WIDTH = 10, CELL_HEIGHT = 16;  // texture pixels per character cell
static const int ORIGIN_X = 1, ORIGIN_Y = 3;  // the glyph's raster position within its cell
static const int FIRST_GLYPH = 32, GLYPH_COUNT = 95;  // the printable ASCII characters
static void *atlasFont;          // the font drawn into the atlas, null until tried
static GLuint glyphAtlas;        // the atlas texture, 0 where it could not be made

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
        toggleFullScreen();
    } else if (key == GLUT_KEY_F12) {
        requestScreenshot();
    }
}

void beginOverlay() {
    float width = windowWidth / float(textScale), height = windowHeight / float(textScale);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, width, 0, height);
    // window pixels (textScale of them a unit) with (0, 0) at the top-left corner, y downwards
    glScalef(1, -1, 1);
    glTranslatef(0, -height, 0);
    glMatrixMode(GL_MODELVIEW);
}

void drawStatusLine(const char *text) {
    // The status line sits over the picture: the depth test, which the scenes keep on, must
    // not hide it behind the scene's depth (or behind a depth buffer never cleared).
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    glColor3f(0, 0, 0);
    glPushMatrix();
    glLoadIdentity();
    beginOverlay();
    drawString(10.0f, 10.0f, 2, GLUT_BITMAP_8_BY_13, text);
    glPopMatrix();
    endOverlay();
    glPopAttrib();
}

void endOverlay() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

static void drawGlyphAtlas(int width, int height) {
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, width, 0, height);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor4f(1, 1, 1, 1);
    for (int i = 0; i < GLYPH_COUNT; i++) {
        glRasterPos2i(i * CELL_WIDTH + ORIGIN_X, ORIGIN_Y);
        glutBitmapCharacter(atlasFont, FIRST_GLYPH + i);
    }
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

// The text with every glyph zoomed to textScale, laid out as drawString lays it out.
static void drawZoomedString(float x, float y, int spacing, const char *text) {
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, glyphAtlas);
    // the glyph's white takes the current colour; its transparent cell leaves the picture
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    const float cellShare = 1.0f / GLYPH_COUNT;
    int pen = int(x);
    glBegin(GL_QUADS);
    for (const char *c = text; *c; c++) {
        int glyph = (unsigned char)*c - FIRST_GLYPH;
        if (glyph >= 0 && glyph < GLYPH_COUNT) {
            // overlay y grows downwards, the texture's upwards
            float left = pen - ORIGIN_X, bottom = y + ORIGIN_Y;
            glTexCoord2f(glyph * cellShare, 0);
            glVertex2f(left, bottom);
            glTexCoord2f((glyph + 1) * cellShare, 0);
            glVertex2f(left + CELL_WIDTH, bottom);
            glTexCoord2f((glyph + 1) * cellShare, 1);
            glVertex2f(left + CELL_WIDTH, bottom - CELL_HEIGHT);
            glTexCoord2f(glyph * cellShare, 1);
            glVertex2f(left, bottom - CELL_HEIGHT);
        }
        pen += glutBitmapWidth(atlasFont, (unsigned char)*c) + spacing;
    }
    glEnd();
    glPopAttrib();
}

void drawString(float x, float y, int spacing, void *font, const char *text) {
    if (textScale > 1 && !atlasFont) {
        atlasFont = font;
        glyphAtlas = pictureRenderTexture(GLYPH_COUNT * CELL_WIDTH, CELL_HEIGHT, drawGlyphAtlas);
    }
    if (textScale > 1 && glyphAtlas && font == atlasFont) {
        drawZoomedString(x, y, spacing, text);
        return;
    }
    int pen = int(x);
    for (const char *c = text; *c; c++) {
        // the raster position is set anew per character so the spacing applies between every pair
        glRasterPos2f(pen, y);
        glutBitmapCharacter(font, (unsigned char)*c);
        pen += glutBitmapWidth(font, (unsigned char)*c) + spacing;
    }
}
