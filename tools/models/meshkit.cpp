// meshkit.cpp -- closed triangle solids from simple parts: lathes, tubes, boxes and extruded outlines
#include "meshkit.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <tuple>

#ifndef CALLBACK
#define CALLBACK
#endif

namespace {
const double pi = 3.14159265358979323846;
}

V3 operator+(V3 a, V3 b) { return V3(a.x + b.x, a.y + b.y, a.z + b.z); }
V3 operator-(V3 a, V3 b) { return V3(a.x - b.x, a.y - b.y, a.z - b.z); }
V3 operator*(V3 a, double s) { return V3(a.x * s, a.y * s, a.z * s); }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(V3 a, V3 b) { return V3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x); }
double length(V3 a) { return std::sqrt(dot(a, a)); }
V3 normalized(V3 a) {
    double l = length(a);
    return l > 0 ? a * (1.0 / l) : a;
}

int Mesh::addPoint(V3 p) {
    points.push_back(p);
    return int(points.size()) - 1;
}

void Mesh::addTriangle(int a, int b, int c, int surface) {
    triangles.push_back({a, b, c});
    surfaces.push_back(surface);
}

void Mesh::append(const Mesh &other, int surfaceOffset) {
    int base = int(points.size());
    points.insert(points.end(), other.points.begin(), other.points.end());
    for (size_t i = 0; i < other.triangles.size(); i++) {
        const std::array<int, 3> &t = other.triangles[i];
        addTriangle(t[0] + base, t[1] + base, t[2] + base, other.surfaces[i] + surfaceOffset);
    }
}

void Mesh::setSurface(int surface) {
    for (int &s : surfaces) s = surface;
}

void translate(Mesh &m, V3 d) {
    for (V3 &p : m.points) p = p + d;
}

void flipWinding(Mesh &m) {
    for (std::array<int, 3> &t : m.triangles) std::swap(t[1], t[2]);
}

void scale(Mesh &m, V3 s) {
    for (V3 &p : m.points) p = V3(p.x * s.x, p.y * s.y, p.z * s.z);
    if (s.x * s.y * s.z < 0) flipWinding(m);
}

void rotateY(Mesh &m, double degrees) {
    double c = std::cos(degrees * pi / 180), s = std::sin(degrees * pi / 180);
    for (V3 &p : m.points) p = V3(c * p.x + s * p.z, p.y, -s * p.x + c * p.z);
}

double signedVolume(const Mesh &m) {
    double v = 0;
    for (const std::array<int, 3> &t : m.triangles)
        v += dot(m.points[t[0]], cross(m.points[t[1]], m.points[t[2]]));
    return v / 6;
}

void orientOutward(Mesh &m) {
    if (signedVolume(m) < 0) flipWinding(m);
}

// Rings of `segments` points joined into quads, from the first ring to the last; a ring of
// one point is a pole. Open ends are capped with a fan around the given centre. The
// winding is then turned outward as a whole.
static Mesh joinRings(const std::vector<std::vector<int>> &rings, Mesh m, V3 startCentre,
                      V3 endCentre) {
    for (size_t i = 0; i + 1 < rings.size(); i++) {
        const std::vector<int> &r0 = rings[i], &r1 = rings[i + 1];
        size_t s = std::max(r0.size(), r1.size());
        for (size_t j = 0; j < s; j++) {
            size_t k = (j + 1) % s;
            if (r0.size() == 1) {
                m.addTriangle(r0[0], r1[k], r1[j]);
            } else if (r1.size() == 1) {
                m.addTriangle(r0[j], r0[k], r1[0]);
            } else {
                m.addTriangle(r0[j], r0[k], r1[k]);
                m.addTriangle(r0[j], r1[k], r1[j]);
            }
        }
    }
    if (rings.front().size() > 1) {
        const std::vector<int> &r = rings.front();
        int c = m.addPoint(startCentre);
        for (size_t j = 0; j < r.size(); j++) m.addTriangle(c, r[(j + 1) % r.size()], r[j]);
    }
    if (rings.back().size() > 1) {
        const std::vector<int> &r = rings.back();
        int c = m.addPoint(endCentre);
        for (size_t j = 0; j < r.size(); j++) m.addTriangle(c, r[j], r[(j + 1) % r.size()]);
    }
    orientOutward(m);
    return m;
}

Mesh lathe(const std::vector<V2> &profile, int segments) {
    Mesh m;
    std::vector<std::vector<int>> rings;
    for (const V2 &p : profile) {
        std::vector<int> ring;
        if (p.x <= 0) {
            ring.push_back(m.addPoint(V3(0, p.y, 0)));
        } else {
            for (int j = 0; j < segments; j++) {
                double a = 2 * pi * j / segments;
                ring.push_back(m.addPoint(V3(p.x * std::cos(a), p.y, p.x * std::sin(a))));
            }
        }
        rings.push_back(ring);
    }
    return joinRings(rings, m, V3(0, profile.front().y, 0), V3(0, profile.back().y, 0));
}

// Rings around a path, oriented by parallel transport so that the tube does not twist.
static std::vector<std::vector<int>> pathRings(Mesh &m, const std::vector<V3> &path,
                                               const std::vector<double> &radii, int segments) {
    size_t n = path.size();
    std::vector<std::vector<int>> rings;
    V3 normal;
    for (size_t i = 0; i < n; i++) {
        V3 ahead = path[std::min(i + 1, n - 1)], behind = path[i > 0 ? i - 1 : 0];
        V3 t = normalized(ahead - behind);
        if (i == 0) {
            V3 guess = std::fabs(t.y) < 0.9 ? V3(0, 1, 0) : V3(1, 0, 0);
            normal = normalized(cross(cross(t, guess), t));
        } else {
            normal = normalized(normal - t * dot(normal, t));
        }
        V3 binormal = cross(t, normal);
        std::vector<int> ring;
        for (int j = 0; j < segments; j++) {
            double a = 2 * pi * j / segments;
            V3 d = normal * std::cos(a) + binormal * std::sin(a);
            ring.push_back(m.addPoint(path[i] + d * radii[i]));
        }
        rings.push_back(ring);
    }
    return rings;
}

Mesh tube(const std::vector<V3> &path, const std::vector<double> &radii, int segments) {
    Mesh m;
    std::vector<std::vector<int>> rings = pathRings(m, path, radii, segments);
    return joinRings(rings, m, path.front(), path.back());
}

Mesh ellipsoid(V3 c, V3 r, int segments, int rings) {
    std::vector<V2> profile;
    for (int i = 0; i <= rings; i++) {
        double a = -pi / 2 + pi * i / rings;
        double radius = (i == 0 || i == rings) ? 0 : std::cos(a);
        profile.push_back({radius, std::sin(a)});
    }
    Mesh m = lathe(profile, segments);
    scale(m, r);
    translate(m, c);
    return m;
}

Mesh box(V3 lo, V3 hi) {
    Mesh m;
    for (int i = 0; i < 8; i++)
        m.addPoint(V3(i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z));
    // Each face as two triangles, wound outward (checked by orientOutward below).
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto &f : faces) {
        m.addTriangle(f[0], f[1], f[2]);
        m.addTriangle(f[0], f[2], f[3]);
    }
    orientOutward(m);
    return m;
}

Mesh limbChain(const std::vector<V3> &joints, const std::vector<double> &radii, int segments) {
    Mesh m = tube(joints, radii, segments);
    for (size_t i = 0; i < joints.size(); i++)
        m.append(ellipsoid(joints[i], V3(radii[i], radii[i], radii[i]), segments, segments / 2));
    return m;
}

void weldPoints(Mesh &m) {
    std::map<std::tuple<float, float, float>, int> seen;
    std::vector<int> newIndex(m.points.size());
    std::vector<V3> kept;
    std::vector<V2> keptUvs;  // planar UVs follow from the position, so merged points agree
    for (size_t i = 0; i < m.points.size(); i++) {
        const V3 &p = m.points[i];
        auto key = std::make_tuple(float(p.x), float(p.y), float(p.z));
        auto it = seen.find(key);
        if (it == seen.end()) {
            newIndex[i] = int(kept.size());
            seen[key] = newIndex[i];
            kept.push_back(p);
            if (!m.uvs.empty()) keptUvs.push_back(m.uvs[i]);
        } else {
            newIndex[i] = it->second;
        }
    }
    for (std::array<int, 3> &t : m.triangles)
        for (int &v : t) v = newIndex[v];
    m.points = kept;
    m.uvs = keptUvs;
}

namespace {

// What the GLU tessellator hands back: triangles, or boundary loops.
struct TessOutput {
    std::deque<std::array<double, 3>> extra;  // vertices made at crossings; deque keeps addresses
    std::vector<std::array<double, 3>> current;
    std::vector<std::vector<std::array<double, 3>>> pieces;  // triangles or loops
    bool boundary = false;
};

void CALLBACK tessBegin(GLenum, void *data) {
    static_cast<TessOutput *>(data)->current.clear();
}
void CALLBACK tessVertex(void *vertex, void *data) {
    TessOutput *out = static_cast<TessOutput *>(data);
    out->current.push_back(*static_cast<std::array<double, 3> *>(vertex));
    if (!out->boundary && out->current.size() == 3) {
        out->pieces.push_back(out->current);
        out->current.clear();
    }
}
void CALLBACK tessEnd(void *data) {
    TessOutput *out = static_cast<TessOutput *>(data);
    if (out->boundary) out->pieces.push_back(out->current);
}
// Registering an edge-flag callback makes the tessellator emit separate triangles only.
void CALLBACK tessEdgeFlag(GLboolean, void *) {}
void CALLBACK tessCombine(GLdouble coords[3], void *[4], GLfloat[4], void **result, void *data) {
    TessOutput *out = static_cast<TessOutput *>(data);
    out->extra.push_back({coords[0], coords[1], coords[2]});
    *result = &out->extra.back();
}

std::vector<std::vector<std::array<double, 3>>> tessellate(const std::vector<Contour> &contours,
                                                           bool boundary) {
    TessOutput out;
    out.boundary = boundary;
    std::vector<std::vector<std::array<double, 3>>> input;
    for (const Contour &c : contours) {
        std::vector<std::array<double, 3>> loop;
        for (const V2 &p : c) loop.push_back({p.x, p.y, 0});
        input.push_back(loop);
    }
    GLUtesselator *tess = gluNewTess();
    gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<_GLUfuncptr>(tessBegin));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(tessVertex));
    gluTessCallback(tess, GLU_TESS_END_DATA, reinterpret_cast<_GLUfuncptr>(tessEnd));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(tessCombine));
    if (!boundary)
        gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<_GLUfuncptr>(tessEdgeFlag));
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
    gluTessProperty(tess, GLU_TESS_BOUNDARY_ONLY, boundary ? GL_TRUE : GL_FALSE);
    gluTessNormal(tess, 0, 0, 1);
    gluTessBeginPolygon(tess, &out);
    for (std::vector<std::array<double, 3>> &loop : input) {
        gluTessBeginContour(tess);
        for (std::array<double, 3> &p : loop) gluTessVertex(tess, p.data(), p.data());
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
    gluDeleteTess(tess);
    return out.pieces;
}

// Points keyed by their exact coordinates, so that faces and walls share them.
struct PointIndex {
    Mesh &mesh;
    std::map<std::tuple<double, double, double>, int> seen;
    explicit PointIndex(Mesh &m) : mesh(m) {}
    int at(double x, double y, double z) {
        auto key = std::make_tuple(x, y, z);
        auto it = seen.find(key);
        if (it != seen.end()) return it->second;
        int i = mesh.addPoint(V3(x, y, z));
        seen[key] = i;
        return i;
    }
};

double cross2(const std::array<double, 3> &a, const std::array<double, 3> &b,
              const std::array<double, 3> &c) {
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

// The tessellator joins pieces of a region along straight runs without sharing the points
// that lie on them (a T-junction: one side has the edge a-b, the other a-p and p-b). Split
// every triangle edge at such points, so that faces and walls meet edge to edge and the
// extruded solid is closed.
std::vector<std::vector<std::array<double, 3>>> splitTJunctions(
    std::vector<std::vector<std::array<double, 3>>> tris) {
    std::vector<std::array<double, 3>> corners;
    for (const std::vector<std::array<double, 3>> &t : tris) corners.insert(corners.end(), t.begin(), t.end());
    std::vector<std::vector<std::array<double, 3>>> done;
    while (!tris.empty()) {
        std::vector<std::array<double, 3>> t = tris.back();
        tris.pop_back();
        bool split = false;
        for (int k = 0; k < 3 && !split; k++) {
            const std::array<double, 3> &a = t[k], &b = t[(k + 1) % 3], &c = t[(k + 2) % 3];
            double dx = b[0] - a[0], dy = b[1] - a[1], len2 = dx * dx + dy * dy;
            if (len2 == 0) continue;
            for (const std::array<double, 3> &p : corners) {
                double px = p[0] - a[0], py = p[1] - a[1];
                double along = (px * dx + py * dy) / len2;
                double off = std::fabs(px * dy - py * dx) / std::sqrt(len2);
                if (along > 1e-9 && along < 1 - 1e-9 && off < 1e-9) {
                    tris.push_back({a, p, c});
                    tris.push_back({p, b, c});
                    split = true;
                    break;
                }
            }
        }
        if (!split) done.push_back(t);
    }
    std::reverse(done.begin(), done.end());
    return done;
}

// Triangles of the region at height z, facing +z or -z.
void addFace(PointIndex &index, const std::vector<std::vector<std::array<double, 3>>> &tris,
             double z, bool up) {
    for (const std::vector<std::array<double, 3>> &t : tris) {
        double area = cross2(t[0], t[1], t[2]);
        if (area == 0) continue;  // a sliver with no normal would only add noise
        int a = index.at(t[0][0], t[0][1], z);
        int b = index.at(t[1][0], t[1][1], z);
        int c = index.at(t[2][0], t[2][1], z);
        if ((area > 0) == up)
            index.mesh.addTriangle(a, b, c);
        else
            index.mesh.addTriangle(a, c, b);
    }
}

}  // namespace

Mesh extrude(const std::vector<Contour> &contours, double z0, double z1) {
    Mesh m;
    PointIndex index(m);
    std::vector<std::vector<std::array<double, 3>>> tris = splitTJunctions(tessellate(contours, false));
    // Boundary loops come back with the inside on their left (outer loops counter-clockwise).
    std::vector<std::vector<std::array<double, 3>>> loops = tessellate(contours, true);
    addFace(index, tris, z1, true);
    for (const std::vector<std::array<double, 3>> &loop : loops) {
        for (size_t i = 0; i < loop.size(); i++) {
            const std::array<double, 3> &p = loop[i], &q = loop[(i + 1) % loop.size()];
            int a0 = index.at(p[0], p[1], z0), b0 = index.at(q[0], q[1], z0);
            int a1 = index.at(p[0], p[1], z1), b1 = index.at(q[0], q[1], z1);
            m.addTriangle(a0, b0, b1);
            m.addTriangle(a0, b1, a1);
        }
    }
    addFace(index, tris, z0, false);
    return m;
}

void bounds(const Mesh &m, V3 &lo, V3 &hi) {
    lo = hi = m.points.empty() ? V3() : m.points[0];
    for (const V3 &p : m.points) {
        lo = V3(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
        hi = V3(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    }
}

void centre(Mesh &m, bool onX, bool onY, bool onZ) {
    V3 lo, hi;
    bounds(m, lo, hi);
    V3 mid = (lo + hi) * 0.5;
    translate(m, V3(onX ? -mid.x : 0, onY ? -mid.y : 0, onZ ? -mid.z : 0));
}

void mapUvPlanar(Mesh &m) {
    V3 lo, hi;
    bounds(m, lo, hi);
    double w = hi.x > lo.x ? hi.x - lo.x : 1, h = hi.y > lo.y ? hi.y - lo.y : 1;
    m.uvs.clear();
    for (const V3 &p : m.points) m.uvs.push_back({(p.x - lo.x) / w, (p.y - lo.y) / h});
}

double signedArea(const Contour &c) {
    double a = 0;
    for (size_t i = 0; i < c.size(); i++) {
        const V2 &p = c[i], &q = c[(i + 1) % c.size()];
        a += p.x * q.y - q.x * p.y;
    }
    return a / 2;
}

Contour reversed(const Contour &c) { return Contour(c.rbegin(), c.rend()); }

Contour counterClockwise(const Contour &c) { return signedArea(c) < 0 ? reversed(c) : c; }

Contour circle(V2 centre, double radius, int segments) {
    Contour c;
    for (int i = 0; i < segments; i++) {
        double a = 2 * pi * i / segments;
        c.push_back({centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)});
    }
    return c;
}

Contour rectangle(V2 centre, double halfLength, double halfWidth, double degrees) {
    double c = std::cos(degrees * pi / 180), s = std::sin(degrees * pi / 180);
    const double corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    Contour r;
    for (const auto &k : corners) {
        double x = k[0] * halfLength, y = k[1] * halfWidth;
        r.push_back({centre.x + c * x - s * y, centre.y + s * x + c * y});
    }
    return r;
}

void fitContours(std::vector<Contour> &contours, double size) {
    double x0 = 1e30, y0 = 1e30, x1 = -1e30, y1 = -1e30;
    for (const Contour &c : contours)
        for (const V2 &p : c) {
            x0 = std::min(x0, p.x); y0 = std::min(y0, p.y);
            x1 = std::max(x1, p.x); y1 = std::max(y1, p.y);
        }
    double k = size / std::max(x1 - x0, y1 - y0);
    double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    for (Contour &c : contours)
        for (V2 &p : c) p = {(p.x - cx) * k, (p.y - cy) * k};
}
