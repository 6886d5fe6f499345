// webfont.cpp -- draws freeglut's 8 x 13 bitmap font and writes its glyphs as a table for the web build
//
// The browser has no GLUT fonts, so the web build's status line draws these glyphs from a
// texture of its own. Each glyph is drawn here by freeglut at an integer raster position and
// read back, so the table holds exactly the pixels the desktop shows, placed as the desktop
// places them: relative to the raster position, with the advance glutBitmapWidth gives.
#include <GL/freeglut.h>
#include <cstdio>
#include <cstring>

static const int WINDOW = 64;          // pixels, the square window glyphs are drawn into
static const int RASTER = 24;          // the raster position's x and y within it
static const int FIRST = 1, LAST = 255;  // the characters glutBitmapCharacter draws

static unsigned char pixels[LAST + 1][WINDOW][WINDOW];  // lit pixels by character, row, column

static void drawGlyphs() {
    glViewport(0, 0, WINDOW, WINDOW);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, WINDOW, 0, WINDOW, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    static unsigned char rgb[WINDOW * WINDOW * 3];
    for (int c = FIRST; c <= LAST; c++) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 1, 1);
        glRasterPos2i(RASTER, RASTER);
        glutBitmapCharacter(GLUT_BITMAP_8_BY_13, c);
        glReadPixels(0, 0, WINDOW, WINDOW, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        for (int y = 0; y < WINDOW; y++)
            for (int x = 0; x < WINDOW; x++)
                pixels[c][y][x] = rgb[(y * WINDOW + x) * 3] > 127;
    }
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: webfont OUTPUT.inc (under a display, e.g. xvfb-run -a)\n");
        return 2;
    }
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_SINGLE);
    glutInitWindowSize(WINDOW, WINDOW);
    glutCreateWindow("webfont");
    drawGlyphs();

    // the box every glyph fits in, relative to the raster position
    int left = WINDOW, right = -1, bottom = WINDOW, top = -1;
    for (int c = FIRST; c <= LAST; c++)
        for (int y = 0; y < WINDOW; y++)
            for (int x = 0; x < WINDOW; x++)
                if (pixels[c][y][x]) {
                    left = x < left ? x : left;
                    right = x > right ? x : right;
                    bottom = y < bottom ? y : bottom;
                    top = y > top ? y : top;
                }
    if (right < 0 || right - left + 1 > 16) {
        fprintf(stderr, "webfont: the glyphs drawn are not the 8 x 13 font (box %d to %d)\n", left, right);
        return 1;
    }
    // a glyph touching the window's edge may have been cut off
    if (left == 0 || bottom == 0 || right == WINDOW - 1 || top == WINDOW - 1) {
        fprintf(stderr, "webfont: a glyph reaches the edge of the window\n");
        return 1;
    }

    FILE *out = fopen(argv[1], "w");
    if (!out) {
        perror(argv[1]);
        return 1;
    }
    fprintf(out, "// font8x13.inc -- GLUT's 8 x 13 bitmap font as freeglut draws it; written by tools/webfont\n");
    fprintf(out, "// (xvfb-run -a build/tools/webfont/webfont web/glut/font8x13.inc), do not edit.\n");
    fprintf(out, "// A glyph's box starts %d pixels right and %d pixels up from the raster position;\n",
            left - RASTER, bottom - RASTER);
    fprintf(out, "// each row is one 16-bit word, bottom row first, bit 15 the box's left column.\n");
    fprintf(out, "const int GLYPH_LEFT = %d, GLYPH_BOTTOM = %d;\n", left - RASTER, bottom - RASTER);
    fprintf(out, "const int GLYPH_WIDTH = %d, GLYPH_HEIGHT = %d;\n", right - left + 1, top - bottom + 1);
    fprintf(out, "const struct { int advance; unsigned short rows[%d]; } glyphs8x13[256] = {\n",
            top - bottom + 1);
    fprintf(out, "    {0, {0}},  // character 0 draws nothing\n");
    for (int c = FIRST; c <= LAST; c++) {
        fprintf(out, "    {%d, {", glutBitmapWidth(GLUT_BITMAP_8_BY_13, c));
        for (int y = bottom; y <= top; y++) {
            unsigned word = 0;
            for (int x = left; x <= right; x++)
                if (pixels[c][y][x])
                    word |= 0x8000u >> (x - left);
            fprintf(out, "%s0x%04x", y == bottom ? "" : ", ", word);
        }
        fprintf(out, "}},  // %d\n", c);
    }
    fprintf(out, "};\n");
    if (fclose(out) != 0) {
        perror(argv[1]);
        return 1;
    }
    return 0;
}
