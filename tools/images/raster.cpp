// raster.cpp -- a small anti-aliased 2D rasteriser: signed-distance shapes painted onto a canvas
#include "raster.h"

#include <algorithm>
#include <cmath>

static const double PI = 3.14159265358979323846;

Colour rgb(double r, double g, double b, double a) { return Colour{r, g, b, a}; }
Colour grey(double level, double a) { return Colour{level, level, level, a}; }

Colour mix(Colour from, Colour to, double t) {
    return Colour{from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
                  from.b + (to.b - from.b) * t, from.a + (to.a - from.a) * t};
}

static double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

Shape circle(double cx, double cy, double radius) {
    return [=](double x, double y) { return std::hypot(x - cx, y - cy) - radius; };
}

// Distance estimate from the ellipse's implicit function divided by its gradient: exact on
// the edge, which is all the one-pixel anti-aliasing band needs.
Shape ellipse(double cx, double cy, double rx, double ry, double angleDegrees) {
    double c = std::cos(angleDegrees * PI / 180), s = std::sin(angleDegrees * PI / 180);
    return [=](double x, double y) {
        double dx = x - cx, dy = y - cy;
        double u = dx * c + dy * s, v = -dx * s + dy * c;
        double k0 = std::hypot(u / rx, v / ry);
        double k1 = std::hypot(u / (rx * rx), v / (ry * ry));
        if (k1 == 0)
            return -std::min(rx, ry);
        return k0 * (k0 - 1) / k1;
    };
}

Shape box(double cx, double cy, double halfWidth, double halfHeight, double corner, double angleDegrees) {
    double c = std::cos(angleDegrees * PI / 180), s = std::sin(angleDegrees * PI / 180);
    return [=](double x, double y) {
        double dx = x - cx, dy = y - cy;
        double u = std::fabs(dx * c + dy * s) - (halfWidth - corner);
        double v = std::fabs(-dx * s + dy * c) - (halfHeight - corner);
        double outside = std::hypot(std::max(u, 0.0), std::max(v, 0.0));
        return outside + std::min(std::max(u, v), 0.0) - corner;
    };
}

static double segmentDistance(double x, double y, Point a, Point b) {
    double px = x - a.x, py = y - a.y, bx = b.x - a.x, by = b.y - a.y;
    double length2 = bx * bx + by * by;
    double t = length2 > 0 ? clamp01((px * bx + py * by) / length2) : 0;
    return std::hypot(px - bx * t, py - by * t);
}

Shape line(double x0, double y0, double x1, double y1, double thickness) {
    Point a{x0, y0}, b{x1, y1};
    return [=](double x, double y) { return segmentDistance(x, y, a, b) - thickness / 2; };
}

Shape polyline(const std::vector<Point> &points, double thickness) {
    return [=](double x, double y) {
        double best = 1e9;
        for (size_t i = 0; i + 1 < points.size(); i++)
            best = std::min(best, segmentDistance(x, y, points[i], points[i + 1]));
        return best - thickness / 2;
    };
}

// Distance to the nearest edge, signed by the even-odd crossing rule.
Shape polygon(const std::vector<Point> &points) {
    return [=](double x, double y) {
        double best = 1e9;
        bool inside = false;
        size_t n = points.size();
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            Point a = points[j], b = points[i];
            best = std::min(best, segmentDistance(x, y, a, b));
            if ((b.y > y) != (a.y > y) && x < (a.x - b.x) * (y - b.y) / (a.y - b.y) + b.x)
                inside = !inside;
        }
        return inside ? -best : best;
    };
}

Shape halfPlane(double x0, double y0, double x1, double y1) {
    double dx = x1 - x0, dy = y1 - y0, length = std::hypot(dx, dy);
    return [=](double x, double y) { return ((x - x0) * dy - (y - y0) * dx) / length; };
}

Shape unite(Shape a, Shape b) {
    return [=](double x, double y) { return std::min(a(x, y), b(x, y)); };
}
Shape intersect(Shape a, Shape b) {
    return [=](double x, double y) { return std::max(a(x, y), b(x, y)); };
}
Shape subtract(Shape a, Shape b) {
    return [=](double x, double y) { return std::max(a(x, y), -b(x, y)); };
}
Shape outline(Shape a, double thickness) {
    return [=](double x, double y) { return std::fabs(a(x, y)) - thickness / 2; };
}
Shape grow(Shape a, double by) {
    return [=](double x, double y) { return a(x, y) - by; };
}

Paint solid(Colour c) {
    return [=](double, double) { return c; };
}

Paint linear(Point from, Colour c0, Point to, Colour c1) {
    double dx = to.x - from.x, dy = to.y - from.y, length2 = dx * dx + dy * dy;
    return [=](double x, double y) { return mix(c0, c1, clamp01(((x - from.x) * dx + (y - from.y) * dy) / length2)); };
}

Paint radial(Point centre, double radius, Colour inner, Colour outer) {
    return [=](double x, double y) { return mix(inner, outer, clamp01(std::hypot(x - centre.x, y - centre.y) / radius)); };
}

Canvas::Canvas(int width, int height) : width(width), height(height), data(size_t(width) * height * 4, 0.0) {}

void Canvas::clear(Colour colour) {
    for (size_t i = 0; i < data.size(); i += 4) {
        data[i] = colour.r * colour.a;
        data[i + 1] = colour.g * colour.a;
        data[i + 2] = colour.b * colour.a;
        data[i + 3] = colour.a;
    }
}

void Canvas::fill(const Shape &shape, Colour colour) { fill(shape, solid(colour)); }

void Canvas::setView(double scale, Point from, Point to) {
    viewScale = scale;
    viewFrom = from;
    viewTo = to;
}

Point Canvas::toPixel(Point d) const {
    return {(d.x - viewFrom.x) * viewScale + viewTo.x, (d.y - viewFrom.y) * viewScale + viewTo.y};
}

void Canvas::fill(const Shape &shape, const Paint &paint) {
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            double px = (x + 0.5 - viewTo.x) / viewScale + viewFrom.x, py = (y + 0.5 - viewTo.y) / viewScale + viewFrom.y;
            // Box-filter coverage of a straight edge crossing the pixel; distances are in
            // drawing units, the pixel's width is in pixels.
            double coverage = clamp01(0.5 - shape(px, py) * viewScale);
            if (coverage <= 0)
                continue;
            Colour c = paint(px, py);
            double alpha = clamp01(c.a) * coverage;
            double *d = &data[(size_t(y) * width + x) * 4];
            d[0] = c.r * alpha + d[0] * (1 - alpha);
            d[1] = c.g * alpha + d[1] * (1 - alpha);
            d[2] = c.b * alpha + d[2] * (1 - alpha);
            d[3] = alpha + d[3] * (1 - alpha);
        }
    }
}

void Canvas::mask(const Shape &shape) {
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            double px = (x + 0.5 - viewTo.x) / viewScale + viewFrom.x, py = (y + 0.5 - viewTo.y) / viewScale + viewFrom.y;
            double coverage = clamp01(0.5 - shape(px, py) * viewScale);
            double *d = &data[(size_t(y) * width + x) * 4];
            for (int c = 0; c < 4; c++)
                d[c] *= coverage;
        }
    }
}

static uint8_t toByte(double v) { return uint8_t(std::floor(clamp01(v) * 255 + 0.5)); }

Picture Canvas::picture() const {
    Picture p;
    p.width = width;
    p.height = height;
    p.rgba.resize(size_t(width) * height * 4);
    for (size_t i = 0; i < p.rgba.size(); i += 4) {
        double a = data[i + 3];
        for (int c = 0; c < 3; c++)
            p.rgba[i + c] = a > 0 ? toByte(data[i + c] / a) : 0;
        p.rgba[i + 3] = toByte(a);
    }
    return p;
}
