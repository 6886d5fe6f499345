// strokefont.cpp -- capital letters, digits and a few signs drawn as thick strokes
#include "strokefont.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

// Each glyph is a set of strokes on a grid 4 units wide and 6 tall, y down: points "x,y"
// separated by spaces, strokes by ";". A stroke of one point is a dot.
struct Glyph {
    char letter;
    const char *strokes;
};

static const Glyph glyphs[] = {
    {'A', "0,6 0,2 2,0 4,2 4,6; 0,4 4,4"},
    {'B', "0,0 0,6 3,6 4,5 4,4 3,3 0,3; 0,0 3,0 4,1 4,2 3,3"},
    {'C', "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5"},
    {'D', "0,0 0,6 2,6 4,4 4,2 2,0 0,0"},
    {'E', "4,0 0,0 0,6 4,6; 0,3 3,3"},
    {'F', "4,0 0,0 0,6; 0,3 3,3"},
    {'G', "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5 4,3 2,3"},
    {'H', "0,0 0,6; 4,0 4,6; 0,3 4,3"},
    {'I', "1,0 3,0; 2,0 2,6; 1,6 3,6"},
    {'J', "4,0 4,5 3,6 1,6 0,5"},
    {'K', "0,0 0,6; 4,0 0,4; 1,3 4,6"},
    {'L', "0,0 0,6 4,6"},
    {'M', "0,6 0,0 2,3 4,0 4,6"},
    {'N', "0,6 0,0 4,6 4,0"},
    {'O', "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0"},
    {'P', "0,6 0,0 3,0 4,1 4,2 3,3 0,3"},
    {'Q', "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0; 2,4 4,6"},
    {'R', "0,6 0,0 3,0 4,1 4,2 3,3 0,3; 2,3 4,6"},
    {'S', "4,1 3,0 1,0 0,1 0,2 1,3 3,3 4,4 4,5 3,6 1,6 0,5"},
    {'T', "0,0 4,0; 2,0 2,6"},
    {'U', "0,0 0,5 1,6 3,6 4,5 4,0"},
    {'V', "0,0 2,6 4,0"},
    {'W', "0,0 1,6 2,3 3,6 4,0"},
    {'X', "0,0 4,6; 4,0 0,6"},
    {'Y', "0,0 2,3 4,0; 2,3 2,6"},
    {'Z', "0,0 4,0 0,6 4,6"},
    {'0', "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0; 3,1 1,5"},
    {'1', "1,1 2,0 2,6; 1,6 3,6"},
    {'2', "0,1 1,0 3,0 4,1 4,2 0,6 4,6"},
    {'3', "0,1 1,0 3,0 4,1 4,2 3,3 4,4 4,5 3,6 1,6 0,5; 1,3 3,3"},
    {'4', "3,6 3,0 0,4 4,4"},
    {'5', "4,0 0,0 0,3 3,3 4,4 4,5 3,6 0,6"},
    {'6', "3,0 1,0 0,1 0,5 1,6 3,6 4,5 4,4 3,3 0,3"},
    {'7', "0,0 4,0 1,6"},
    {'8', "1,0 3,0 4,1 4,2 3,3 1,3 0,2 0,1 1,0; 1,3 0,4 0,5 1,6 3,6 4,5 4,4 3,3"},
    {'9', "4,3 1,3 0,2 0,1 1,0 3,0 4,1 4,5 3,6 1,6"},
    {'-', "1,3 3,3"},
    {'.', "2,6"},
    {',', "2,5 1,7"},
    {'!', "2,0 2,4; 2,6"},
    {'?', "0,1 1,0 3,0 4,1 4,2 2,3 2,4; 2,6"},
    {':', "2,2; 2,5"},
    {'%', "0,6 4,0; 0,0; 4,6"},
    {'/', "0,6 4,0"},
};

// Horizontal distance from one letter's left edge to the next, in grid units.
static const double ADVANCE = 6;
static const double GRID_HEIGHT = 6;

struct Segment {
    Point a, b;
};

static std::vector<Segment> segmentsOf(const char *strokes, double x, double y, double scale) {
    std::vector<Segment> out;
    std::vector<Point> stroke;
    auto finish = [&]() {
        if (stroke.size() == 1)
            out.push_back({stroke[0], stroke[0]});
        for (size_t i = 0; i + 1 < stroke.size(); i++)
            out.push_back({stroke[i], stroke[i + 1]});
        stroke.clear();
    };
    const char *p = strokes;
    while (*p) {
        if (*p == ';') {
            finish();
            p++;
            continue;
        }
        int gx, gy, used;
        if (sscanf(p, " %d,%d%n", &gx, &gy, &used) == 2) {
            stroke.push_back({x + gx * scale, y + gy * scale});
            p += used;
        } else {
            p++;
        }
    }
    finish();
    return out;
}

double strokeTextWidth(const std::string &text, double height) {
    if (text.empty())
        return 0;
    return (text.size() * ADVANCE - (ADVANCE - 4)) * height / GRID_HEIGHT;
}

Shape strokeText(const std::string &text, double x, double y, double height, double thickness) {
    double scale = height / GRID_HEIGHT;
    std::vector<Segment> segments;
    for (size_t i = 0; i < text.size(); i++) {
        for (const Glyph &g : glyphs) {
            if (g.letter != text[i])
                continue;
            std::vector<Segment> s = segmentsOf(g.strokes, x + i * ADVANCE * scale, y, scale);
            segments.insert(segments.end(), s.begin(), s.end());
        }
    }
    double left = x - thickness, right = x + strokeTextWidth(text, height) + thickness;
    double top = y - thickness, bottom = y + height * 7 / 6 + thickness;
    return [=](double px, double py) {
        // Far from the text the distance to its box is close enough and much cheaper.
        double outside = std::max(std::max(left - px, px - right), std::max(top - py, py - bottom));
        if (outside > 2)
            return outside;
        double best = 1e9;
        for (const Segment &s : segments) {
            double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y, length2 = dx * dx + dy * dy;
            double t = length2 > 0 ? ((px - s.a.x) * dx + (py - s.a.y) * dy) / length2 : 0;
            t = std::min(1.0, std::max(0.0, t));
            best = std::min(best, std::hypot(px - s.a.x - dx * t, py - s.a.y - dy * t));
        }
        return best - thickness / 2;
    };
}

Shape strokeTextCentred(const std::string &text, double cx, double cy, double height, double thickness) {
    return strokeText(text, cx - strokeTextWidth(text, height) / 2, cy - height / 2, height, thickness);
}
