// glyphs.cpp -- outlines of font glyphs as flattened contours, read with FreeType
#include "glyphs.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cmath>
#include <cstdio>

namespace {

// Longest straight piece a curve is cut into, in font units (2048 to the em): coarse
// enough to keep a letter at a few hundred triangles, fine enough to look round at the
// size the letters are drawn.
const double curveStep = 140.0;

struct Flattener {
    std::vector<Contour> contours;
    V2 pen;
};

V2 toV2(const FT_Vector *v) { return {double(v->x), double(v->y)}; }

void addPoint(Flattener *f, V2 p) {
    Contour &c = f->contours.back();
    if (!c.empty() && c.back().x == p.x && c.back().y == p.y) return;
    c.push_back(p);
    f->pen = p;
}

int curvePieces(double controlLength) {
    int n = int(std::ceil(controlLength / curveStep));
    return std::max(2, std::min(n, 8));
}

int moveTo(const FT_Vector *to, void *user) {
    Flattener *f = static_cast<Flattener *>(user);
    f->contours.emplace_back();
    addPoint(f, toV2(to));
    return 0;
}

int lineTo(const FT_Vector *to, void *user) {
    addPoint(static_cast<Flattener *>(user), toV2(to));
    return 0;
}

int conicTo(const FT_Vector *control, const FT_Vector *to, void *user) {
    Flattener *f = static_cast<Flattener *>(user);
    V2 a = f->pen, b = toV2(control), c = toV2(to);
    double len = std::hypot(b.x - a.x, b.y - a.y) + std::hypot(c.x - b.x, c.y - b.y);
    int n = curvePieces(len);
    for (int i = 1; i <= n; i++) {
        double t = double(i) / n, u = 1 - t;
        addPoint(f, {u * u * a.x + 2 * u * t * b.x + t * t * c.x,
                     u * u * a.y + 2 * u * t * b.y + t * t * c.y});
    }
    return 0;
}

int cubicTo(const FT_Vector *c1, const FT_Vector *c2, const FT_Vector *to, void *user) {
    Flattener *f = static_cast<Flattener *>(user);
    V2 a = f->pen, b = toV2(c1), c = toV2(c2), d = toV2(to);
    double len = std::hypot(b.x - a.x, b.y - a.y) + std::hypot(c.x - b.x, c.y - b.y) +
                 std::hypot(d.x - c.x, d.y - c.y);
    int n = curvePieces(len);
    for (int i = 1; i <= n; i++) {
        double t = double(i) / n, u = 1 - t;
        addPoint(f, {u * u * u * a.x + 3 * u * u * t * b.x + 3 * u * t * t * c.x + t * t * t * d.x,
                     u * u * u * a.y + 3 * u * u * t * b.y + 3 * u * t * t * c.y + t * t * t * d.y});
    }
    return 0;
}

}  // namespace

GlyphSource::GlyphSource(const std::string &path) {
    FT_Library lib;
    if (FT_Init_FreeType(&lib)) {
        std::printf("FreeType cannot start\n");
        return;
    }
    library = lib;
    FT_Face f;
    if (FT_New_Face(lib, path.c_str(), 0, &f)) {
        std::printf("%s: cannot open font\n", path.c_str());
        return;
    }
    face = f;
}

GlyphSource::~GlyphSource() {
    if (face) FT_Done_Face(static_cast<FT_Face>(face));
    if (library) FT_Done_FreeType(static_cast<FT_Library>(library));
}

GlyphOutline GlyphSource::outline(char c) const {
    GlyphOutline g;
    if (!face) return g;
    FT_Face f = static_cast<FT_Face>(face);
    // Unscaled and unhinted: the outline exactly as designed, in font units.
    if (FT_Load_Char(f, FT_ULong(uint8_t(c)), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING)) return g;
    if (f->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return g;
    FT_Outline_Funcs funcs = {moveTo, lineTo, conicTo, cubicTo, 0, 0};
    Flattener flat;
    if (FT_Outline_Decompose(&f->glyph->outline, &funcs, &flat)) return g;
    for (Contour &k : flat.contours) {
        // The outline closes itself; a repeated first point would make a zero-length wall.
        while (k.size() > 1 && k.back().x == k.front().x && k.back().y == k.front().y) k.pop_back();
        if (k.size() >= 3) g.contours.push_back(k);
    }
    g.advance = double(f->glyph->advance.x);
    g.found = true;
    return g;
}
