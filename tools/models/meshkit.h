// meshkit.h -- closed triangle solids from simple parts: lathes, tubes, boxes and extruded outlines
#pragma once
#include <array>
#include <string>
#include <vector>

struct V3 {
    double x = 0, y = 0, z = 0;
    V3() = default;
    V3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
};
V3 operator+(V3 a, V3 b);
V3 operator-(V3 a, V3 b);
V3 operator*(V3 a, double s);
double dot(V3 a, V3 b);
V3 cross(V3 a, V3 b);
double length(V3 a);
V3 normalized(V3 a);

struct V2 {
    double x = 0, y = 0;
};
using Contour = std::vector<V2>;  // a closed 2D loop, last point not repeated

// A triangle soup with shared points. Every part builder returns a closed solid whose
// triangles are wound so that (p1 - p0) x (p2 - p0) points out of it.
struct Mesh {
    std::vector<V3> points;
    std::vector<std::array<int, 3>> triangles;
    std::vector<int> surfaces;  // surface index per triangle
    std::vector<V2> uvs;        // per point, filled only by mapUvPlanar

    int addPoint(V3 p);
    void addTriangle(int a, int b, int c, int surface = 0);
    // Appends another mesh; its surfaces are shifted by surfaceOffset.
    void append(const Mesh &other, int surfaceOffset = 0);
    // Sets every triangle to one surface.
    void setSurface(int surface);
};

// Transforms, keeping the winding outward (a mirror reverses every triangle).
void translate(Mesh &m, V3 d);
void scale(Mesh &m, V3 s);
void rotateY(Mesh &m, double degrees);
void flipWinding(Mesh &m);

// Signed volume; positive when the triangles of a closed mesh face outwards.
double signedVolume(const Mesh &m);
// Reverses the winding if the signed volume is negative.
void orientOutward(Mesh &m);

// Surface of revolution about the y axis; profile points are (radius, y) from bottom to
// top; a radius of 0 at either end closes the solid with a pole, otherwise a flat cap.
Mesh lathe(const std::vector<V2> &profile, int segments);
// Tube along a path with one radius per path point, capped at both ends.
Mesh tube(const std::vector<V3> &path, const std::vector<double> &radii, int segments);
// Ellipsoid centred at c with semi-axes r.
Mesh ellipsoid(V3 c, V3 r, int segments, int rings);
// Axis-aligned box.
Mesh box(V3 lo, V3 hi);
// Jointed limb: a tube through the joints, each joint and end rounded by a ball.
Mesh limbChain(const std::vector<V3> &joints, const std::vector<double> &radii, int segments);

// Merges points whose coordinates are equal as 32-bit floats (what the file stores), so
// that every point of the written object is at its own place.
void weldPoints(Mesh &m);

// Region bounded by contours (filled by the nonzero winding rule: overlapping loops of
// the same turning sense unite, loops of opposite sense cut holes) extruded from z0 to
// z1 > z0: front face at z1, back face at z0, walls in between. Triangles are written in
// the order front, walls, back, so that a translucent model drawn facing the viewer puts
// its front face into the depth buffer first.
Mesh extrude(const std::vector<Contour> &contours, double z0, double z1);

// UVs from x and y, the bounding rectangle of the points mapped onto 0..1.
void mapUvPlanar(Mesh &m);

// Contour helpers.
double signedArea(const Contour &c);
Contour reversed(const Contour &c);
Contour counterClockwise(const Contour &c);  // made to turn counter-clockwise
Contour circle(V2 centre, double radius, int segments);
Contour rectangle(V2 centre, double halfLength, double halfWidth, double degrees);
// Moves and scales contours so that their bounding box is centred at the origin and its
// larger side is `size` long.
void fitContours(std::vector<Contour> &contours, double size);

// The bounding box of a mesh.
void bounds(const Mesh &m, V3 &lo, V3 &hi);
// Moves the mesh so that its bounding box is centred at the origin (only the axes set).
void centre(Mesh &m, bool onX, bool onY, bool onZ);
