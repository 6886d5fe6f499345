// pictures.cpp -- the particle glow, the two posters and the two diagrams
#include <cmath>
#include <string>

#include "pictures.h"
#include "strokefont.h"

static const double PI = 3.14159265358979323846;

// The whole canvas, for paints that shape themselves.
static Shape everywhere(const Canvas &canvas) {
    return box(canvas.width / 2.0, canvas.height / 2.0, canvas.width, canvas.height);
}

// A triangular arrow head at (x, y) pointing along the angle.
static Shape arrowHead(double x, double y, double angleDegrees, double length, double width) {
    double a = angleDegrees * PI / 180, c = std::cos(a), s = std::sin(a);
    Point tip{x, y};
    Point base{x - c * length, y - s * length};
    return polygon({tip, {base.x - s * width / 2, base.y + c * width / 2}, {base.x + s * width / 2, base.y - c * width / 2}});
}

// A five-pointed star; the first point straight up.
static Shape star(double cx, double cy, double outer, double inner, double turnDegrees = 0) {
    std::vector<Point> points;
    for (int i = 0; i < 10; i++) {
        double a = (turnDegrees - 90 + 36 * i) * PI / 180;
        double r = i % 2 == 0 ? outer : inner;
        points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return polygon(points);
}

void drawParticle(Canvas &canvas) {
    double centre = canvas.width / 2.0;
    double radius = centre - 1;
    Colour core = rgb(1.0, 1.0, 0.95), rim = rgb(1.0, 0.55, 0.15);
    canvas.fill(everywhere(canvas), [=](double x, double y) {
        double t = std::hypot(x - centre, y - centre) / radius;
        if (t >= 1)
            return rgb(rim.r, rim.g, rim.b, 0);
        // A soft halo that reaches zero at the rim, with a brighter, tighter core.
        double halo = (1 - t * t) * (1 - t * t);
        double hot = std::exp(-t * t * 18);
        Colour c = mix(rim, core, std::min(1.0, hot * 1.5 + halo * 0.2));
        c.a = std::min(1.0, halo * 0.75 + hot * 0.5);
        return c;
    });
}

void drawPoster1(Canvas &canvas) {
    Colour cream = rgb(0.96, 0.90, 0.74), red = rgb(0.80, 0.10, 0.08), dark = rgb(0.13, 0.10, 0.10);
    Colour yellow = rgb(0.98, 0.76, 0.12), field1 = rgb(0.55, 0.42, 0.16), field2 = rgb(0.70, 0.55, 0.20);
    canvas.clear(cream);
    // The sun on the horizon with alternating rays.
    double sx = 150, sy = 150;
    for (int i = 0; i < 18; i++) {
        double a0 = (180 + i * 10) * PI / 180, a1 = (185 + i * 10) * PI / 180;
        canvas.fill(polygon({{sx, sy}, {sx + 300 * std::cos(a0), sy + 300 * std::sin(a0)}, {sx + 300 * std::cos(a1), sy + 300 * std::sin(a1)}}),
                    mix(cream, yellow, 0.55));
    }
    canvas.fill(circle(sx, sy, 52), yellow);
    canvas.fill(outline(circle(sx, sy, 60), 3), red);
    // Ploughed field: furrows converging toward the horizon.
    canvas.fill(box(128, 203, 130, 53), field1);
    for (int i = -8; i <= 14; i++) {
        double top = 128 + i * 10, bottom = 128 + i * 42;
        canvas.fill(polygon({{top, 150}, {top + 5, 150}, {bottom + 21, 256}, {bottom, 256}}), field2);
    }
    // The tractor: body, bonnet, cab, exhaust, wheels.
    Shape body = unite(box(76, 160, 38, 13, 3), box(58, 136, 18, 17, 3));
    canvas.fill(body, red);
    canvas.fill(box(58, 134, 11, 9, 2), cream);  // cab window
    canvas.fill(line(98, 146, 98, 124, 5), dark);
    canvas.fill(circle(98, 118, 4), grey(0.5, 0.8));
    canvas.fill(circle(104, 108, 6), grey(0.6, 0.6));
    canvas.fill(circle(46, 176, 24), dark);
    canvas.fill(circle(46, 176, 11), yellow);
    canvas.fill(circle(104, 182, 15), dark);
    canvas.fill(circle(104, 182, 6), yellow);
    for (int i = 0; i < 12; i++) {
        double a = i * 30 * PI / 180;
        canvas.fill(circle(46 + 23 * std::cos(a), 176 + 23 * std::sin(a), 3.5), dark);
    }
    // Banner across the top with a star and the slogan.
    canvas.fill(box(128, 22, 128, 22), red);
    canvas.fill(star(24, 22, 15, 6), yellow);
    canvas.fill(strokeText("PLOUGH THE", 50, 7, 12, 2.6), cream);
    canvas.fill(strokeText("NEW FIELDS", 50, 25, 12, 2.6), cream);
    canvas.fill(outline(box(128, 128, 124, 124, 2), 4), dark);
}

void drawPoster2(Canvas &canvas) {
    Colour night = rgb(0.05, 0.07, 0.22), dusk = rgb(0.22, 0.12, 0.38), red = rgb(0.85, 0.12, 0.10);
    Colour white = rgb(0.97, 0.96, 0.92), flame = rgb(1.0, 0.72, 0.15), ring = rgb(0.85, 0.70, 0.45);
    canvas.fill(everywhere(canvas), linear({0, 0}, night, {0, 256}, dusk));
    // Stars: a fixed pseudo-random scatter (a linear congruential sequence).
    unsigned seed = 12345;
    for (int i = 0; i < 70; i++) {
        seed = seed * 1103515245u + 12345u;
        double x = (seed >> 8) % 256;
        seed = seed * 1103515245u + 12345u;
        double y = (seed >> 8) % 256;
        seed = seed * 1103515245u + 12345u;
        double r = 0.6 + ((seed >> 8) % 100) / 100.0;
        canvas.fill(circle(x, y, r), white);
    }
    // A ringed planet behind, lit from the left.
    Shape planet = circle(196, 70, 34);
    canvas.fill(planet, linear({162, 50}, rgb(0.95, 0.55, 0.35), {230, 90}, rgb(0.35, 0.12, 0.18)));
    Shape ringBack = subtract(ellipse(196, 70, 58, 12, -18), ellipse(196, 70, 44, 7, -18));
    canvas.fill(intersect(ringBack, halfPlane(140, 88, 252, 52)), ring);
    canvas.fill(subtract(ringBack, unite(planet, halfPlane(140, 88, 252, 52))), ring);
    // The rocket, climbing to the upper right.
    double angle = -50;
    double c = std::cos(angle * PI / 180), s = std::sin(angle * PI / 180);
    auto at = [&](double along, double across) { return Point{106 + c * along - s * across, 140 + s * along + c * across}; };
    std::vector<Point> flamePoints = {at(-48, -12), at(-100, 0), at(-48, 12)};
    canvas.fill(polygon(flamePoints), flame);
    canvas.fill(polygon({at(-48, -7), at(-80, 0), at(-48, 7)}), white);
    canvas.fill(polygon({at(-40, -16), at(-58, -32), at(-50, -14)}), red);
    canvas.fill(polygon({at(-40, 16), at(-58, 32), at(-50, 14)}), red);
    Point tip = at(70, 0);
    canvas.fill(unite(box(at(0, 0).x, at(0, 0).y, 50, 16, 6, angle), ellipse(at(36, 0).x, at(36, 0).y, 36, 16, angle)),
                linear(at(0, -16), white, at(0, 16), rgb(0.55, 0.58, 0.65)));
    canvas.fill(intersect(circle(tip.x, tip.y, 30), ellipse(at(36, 0).x, at(36, 0).y, 36, 16, angle)), red);
    canvas.fill(circle(at(10, 0).x, at(10, 0).y, 8), rgb(0.15, 0.25, 0.45));
    canvas.fill(outline(circle(at(10, 0).x, at(10, 0).y, 8), 3), red);
    // A red star and a band along the bottom with the caption.
    canvas.fill(star(40, 44, 26, 10, 8), red);
    canvas.fill(box(128, 234, 128, 22), red);
    canvas.fill(strokeTextCentred("TO THE STARS", 128, 228, 14, 3), white);
    canvas.fill(strokeTextCentred("JOIN THE ROCKET CLUB", 128, 246, 7, 1.6), white);
}

void drawBarChart(Canvas &canvas) {
    double left = 36, right = 240, top = 34, bottom = 214;
    canvas.clear(grey(1.0));
    canvas.fill(strokeTextCentred("OUTPUT PER YEAR", 128, 14, 9, 1.8), grey(0.1));
    // Grid and axes.
    for (int i = 1; i <= 4; i++) {
        double y = bottom - i * (bottom - top) / 4;
        canvas.fill(line(left, y, right, y, 1), grey(0.80));
        canvas.fill(line(left - 6, y, left, y, 2), grey(0.1));
        std::string label = std::to_string(i * 25);
        canvas.fill(strokeText(label, left - 10 - strokeTextWidth(label, 7), y - 3.5, 7, 1.4), grey(0.3));
    }
    // Six bars: each year a little taller, shaded from light to dark, one hatched.
    const double values[6] = {0.32, 0.45, 0.41, 0.62, 0.78, 0.93};
    double slot = (right - left) / 6;
    std::vector<Point> trend;
    for (int i = 0; i < 6; i++) {
        double cx = left + slot * (i + 0.5), height = values[i] * (bottom - top);
        Shape bar = box(cx, bottom - height / 2, slot * 0.32, height / 2);
        canvas.fill(bar, grey(0.75 - i * 0.11));
        if (i == 3) {
            for (int k = -20; k < 20; k++)
                canvas.fill(intersect(bar, line(cx - 40, bottom - k * 8, cx + 40, bottom - k * 8 - 80, 2)), grey(1.0));
        }
        canvas.fill(outline(bar, 1.5), grey(0.05));
        canvas.fill(strokeTextCentred(std::to_string(i + 1), cx, bottom + 13, 8, 1.6), grey(0.3));
        trend.push_back({cx, bottom - height - 14});
    }
    canvas.fill(polyline(trend, 2.5), grey(0.0));
    for (const Point &p : trend) {
        canvas.fill(circle(p.x, p.y, 4.5), grey(0.0));
        canvas.fill(circle(p.x, p.y, 2), grey(1.0));
    }
    canvas.fill(arrowHead(trend.back().x + 14, trend.back().y - 10, -35, 12, 10), grey(0.0));
    canvas.fill(line(left, top - 6, left, bottom, 2.5), grey(0.0));
    canvas.fill(line(left, bottom, right + 6, bottom, 2.5), grey(0.0));
    canvas.fill(arrowHead(left, top - 12, -90, 9, 8), grey(0.0));
    canvas.fill(arrowHead(right + 12, bottom, 0, 9, 8), grey(0.0));
    canvas.fill(outline(box(128, 128, 126, 126), 2), grey(0.3));
}

// A flow-chart box with its label.
static void flowBox(Canvas &canvas, Shape shape, double cx, double cy, const char *label, Colour fill) {
    canvas.fill(shape, fill);
    canvas.fill(outline(shape, 2), rgb(0.1, 0.1, 0.15));
    canvas.fill(strokeTextCentred(label, cx, cy, 9, 1.8), rgb(0.1, 0.1, 0.15));
}

static void arrow(Canvas &canvas, std::vector<Point> path) {
    Colour ink = rgb(0.1, 0.1, 0.15);
    Point a = path[path.size() - 2], b = path.back();
    double angle = std::atan2(b.y - a.y, b.x - a.x) * 180 / PI;
    double length = std::hypot(b.x - a.x, b.y - a.y);
    path.back() = Point{b.x - (b.x - a.x) / length * 6, b.y - (b.y - a.y) / length * 6};
    canvas.fill(polyline(path, 2), ink);
    canvas.fill(arrowHead(b.x, b.y, angle, 9, 8), ink);
}

void drawFlowChart(Canvas &canvas) {
    Colour paper = rgb(0.95, 0.95, 0.90), blue = rgb(0.55, 0.72, 0.95), yellow = rgb(0.98, 0.85, 0.35);
    Colour green = rgb(0.45, 0.80, 0.45), red = rgb(0.95, 0.45, 0.40);
    canvas.clear(paper);
    for (int i = 16; i < 256; i += 16) {
        canvas.fill(line(i, 0, i, 256, 1), rgb(0.85, 0.88, 0.95));
        canvas.fill(line(0, i, 256, i, 1), rgb(0.85, 0.88, 0.95));
    }
    // start -> step -> decision -> (yes) step -> end, (no) loops back to the first step.
    flowBox(canvas, ellipse(100, 24, 40, 14), 100, 24, "START", green);
    arrow(canvas, {{100, 38}, {100, 58}});
    flowBox(canvas, box(100, 76, 46, 18, 4), 100, 76, "LOAD", blue);
    arrow(canvas, {{100, 94}, {100, 112}});
    flowBox(canvas, polygon({{100, 112}, {146, 140}, {100, 168}, {54, 140}}), 100, 140, "READY?", yellow);
    arrow(canvas, {{100, 168}, {100, 188}});
    flowBox(canvas, box(100, 204, 46, 16, 4), 100, 204, "DRAW", blue);
    arrow(canvas, {{146, 204}, {186, 204}, {186, 224}, {190, 224}});
    flowBox(canvas, ellipse(214, 234, 28, 12), 214, 234, "END", red);
    arrow(canvas, {{146, 140}, {200, 140}, {200, 76}, {146, 76}});
    // The decision's two exits.
    canvas.fill(strokeText("YES", 106, 172, 7, 1.5), rgb(0.1, 0.45, 0.1));
    canvas.fill(strokeText("NO", 154, 128, 7, 1.5), rgb(0.7, 0.1, 0.1));
    canvas.fill(outline(box(128, 128, 126, 126, 3), 2), rgb(0.3, 0.3, 0.4));
}
