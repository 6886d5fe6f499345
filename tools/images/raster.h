// raster.h -- a small anti-aliased 2D rasteriser: signed-distance shapes painted onto a canvas
#pragma once
#include <functional>
#include <vector>

#include "tgawriter.h"

struct Colour {
    double r, g, b, a;
};

Colour rgb(double r, double g, double b, double a = 1.0);
Colour grey(double level, double a = 1.0);
Colour mix(Colour from, Colour to, double t);

struct Point {
    double x, y;
};

// Signed distance in pixels from a point to a shape's edge, negative inside. Coordinates
// are pixels, origin at the top-left corner, y down; pixel centres sit at +0.5.
typedef std::function<double(double x, double y)> Shape;
// The colour to paint at a point (a gradient or a constant).
typedef std::function<Colour(double x, double y)> Paint;

Shape circle(double cx, double cy, double radius);
Shape ellipse(double cx, double cy, double rx, double ry, double angleDegrees = 0);
Shape box(double cx, double cy, double halfWidth, double halfHeight, double corner = 0,
          double angleDegrees = 0);
Shape line(double x0, double y0, double x1, double y1, double thickness);
Shape polyline(const std::vector<Point> &points, double thickness);
Shape polygon(const std::vector<Point> &points);
Shape halfPlane(double x0, double y0, double x1, double y1);  // inside: left of the directed line
Shape unite(Shape a, Shape b);
Shape intersect(Shape a, Shape b);
Shape subtract(Shape a, Shape b);
Shape outline(Shape a, double thickness);  // a band of that width centred on the edge
Shape grow(Shape a, double by);

Paint solid(Colour c);
Paint linear(Point from, Colour c0, Point to, Colour c1);
Paint radial(Point centre, double radius, Colour inner, Colour outer);

// Straight-alpha colours composited "over", kept premultiplied in double precision.
class Canvas {
public:
    Canvas(int width, int height);
    void fill(const Shape &shape, Colour colour);
    void fill(const Shape &shape, const Paint &paint);
    void clear(Colour colour);
    // Keeps only what lies inside the shape, with an anti-aliased edge; the rest turns transparent.
    void mask(const Shape &shape);
    // Shapes and paints from now on are given in drawing coordinates: the drawing's point `from`
    // lands on pixel `to`, and drawing units are `scale` pixels. A picture composed for one
    // frame can so be moved and resized as a whole. Clearing is not affected.
    void setView(double scale, Point from, Point to);
    void resetView() { setView(1, {0, 0}, {0, 0}); }
    Point toPixel(Point drawing) const;
    // Rounds each channel to 8 bits; transparent pixels come out black.
    Picture picture() const;

    int width, height;

private:
    std::vector<double> data;  // premultiplied RGBA per pixel, top row first
    double viewScale = 1;      // pixels per drawing unit
    Point viewFrom = {0, 0}, viewTo = {0, 0};
};
