// letters.cpp -- the 3D letters a to z and extruded words, cut from a bold sans-serif font
#include "models.h"

#include <cmath>

const char *const letterFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

namespace {

// Letter geometry in world units. The caption pen moves 0.45 per letter, so the x-height
// is 0.4 (ascenders reach about 0.55) and no letter is wider than letterMaxWidth: the
// wide ones (m, w) are condensed rather than allowed to run into their neighbours.
const double letterXHeight = 0.4;
const double letterMaxWidth = 0.44;
const double letterDepth = 0.1;

// Height of the lowercase x in font units, measured from the glyph itself.
double fontXHeight(const GlyphSource &font) {
    GlyphOutline x = font.outline('x');
    double top = 0;
    for (const Contour &c : x.contours)
        for (const V2 &p : c) top = std::max(top, p.y);
    return top > 0 ? top : 1;
}

void inkRange(const std::vector<Contour> &contours, double &x0, double &x1) {
    x0 = 1e30;
    x1 = -1e30;
    for (const Contour &c : contours)
        for (const V2 &p : c) {
            x0 = std::min(x0, p.x);
            x1 = std::max(x1, p.x);
        }
}

LwoSurfaceDesc letterSurface() {
    LwoSurfaceDesc s;
    s.name = "Letter";
    s.red = 1.0f;
    s.green = 0.9f;
    s.blue = 0.1f;
    s.specular = 0.3f;
    return s;
}

}  // namespace

std::vector<Model> buildLetters(const GlyphSource &font) {
    std::vector<Model> letters;
    double xh = fontXHeight(font);
    double k = letterXHeight / xh;
    for (char c = 'a'; c <= 'z'; c++) {
        GlyphOutline g = font.outline(c);
        double x0, x1;
        inkRange(g.contours, x0, x1);
        double kx = std::min(k, letterMaxWidth / (x1 - x0));
        double mid = (x0 + x1) / 2;
        // Origin at the middle of the baseline-to-x-height box, horizontally at the ink's centre.
        for (Contour &contour : g.contours)
            for (V2 &p : contour) p = {(p.x - mid) * kx, (p.y - xh / 2) * k};
        Model m;
        m.path = std::string("3d/writer/") + c + ".lwo";
        m.mesh = extrude(g.contours, -letterDepth / 2, letterDepth / 2);
        m.surfaces.push_back(letterSurface());
        letters.push_back(m);
    }
    return letters;
}

Mesh buildWord(const GlyphSource &font, const std::string &word, double width, double depth) {
    double xh = fontXHeight(font);
    std::vector<Contour> all;
    double pen = 0;
    for (char c : word) {
        GlyphOutline g = font.outline(c);
        for (Contour contour : g.contours) {
            for (V2 &p : contour) p = {p.x + pen, p.y - xh / 2};
            all.push_back(contour);
        }
        pen += g.advance;
    }
    double x0, x1;
    inkRange(all, x0, x1);
    double k = width / (x1 - x0), mid = (x0 + x1) / 2;
    for (Contour &contour : all)
        for (V2 &p : contour) p = {(p.x - mid) * k, p.y * k};
    return extrude(all, -depth / 2, depth / 2);
}
