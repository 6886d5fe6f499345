// font.cpp -- GLUT's 8 x 13 bitmap font in the browser, drawn from a texture of our own
//
// The glyphs are freeglut's own, as tools/webfont read them back from the desktop; each is
// drawn as glBitmap would draw it, at the raster position, in the raster colour, and moves the
// raster position on by its advance.
#include <GL/freeglut.h>

#include <cstdint>
#include <vector>

#include "font8x13.inc"
#include "layer.h"

static const int ATLAS_COLUMNS = 16;  // glyphs per row of the atlas; 16 rows hold all 256
static bool atlasMade;                // the atlas texture exists

// The atlas: character c in column c % 16, row c / 16, each glyph's bottom row first.
static void makeAtlas() {
    int width = ATLAS_COLUMNS * GLYPH_WIDTH, height = 256 / ATLAS_COLUMNS * GLYPH_HEIGHT;
    std::vector<unsigned char> texels(size_t(width) * height);
    for (int c = 0; c < 256; c++) {
        int x0 = c % ATLAS_COLUMNS * GLYPH_WIDTH, y0 = c / ATLAS_COLUMNS * GLYPH_HEIGHT;
        for (int y = 0; y < GLYPH_HEIGHT; y++)
            for (int x = 0; x < GLYPH_WIDTH; x++)
                if (glyphs8x13[c].rows[y] & (0x8000u >> x))
                    texels[size_t(y0 + y) * width + x0 + x] = 255;
    }
    setGlyphAtlas(texels.data(), width, height);
    atlasMade = true;
}

static bool knownFont(const char *call, void *font) {
    if (font == GLUT_BITMAP_8_BY_13)
        return true;
    unimplemented(call, "font", unsigned(reinterpret_cast<uintptr_t>(font)));
    return false;
}

void glutBitmapCharacter(void *font, int character) {
    // as freeglut: only characters 1 to 255 draw
    if (!knownFont("glutBitmapCharacter", font) || character < 1 || character > 255)
        return;
    if (!atlasMade)
        makeAtlas();
    int x0 = character % ATLAS_COLUMNS * GLYPH_WIDTH, y0 = character / ATLAS_COLUMNS * GLYPH_HEIGHT;
    bitmapGlyph(x0, y0, GLYPH_WIDTH, GLYPH_HEIGHT, GLYPH_LEFT, GLYPH_BOTTOM, float(glyphs8x13[character].advance));
}

int glutBitmapWidth(void *font, int character) {
    if (!knownFont("glutBitmapWidth", font) || character < 1 || character > 255)
        return 0;
    return glyphs8x13[character].advance;
}
