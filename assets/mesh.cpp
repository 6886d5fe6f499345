// mesh.cpp -- compiles LWO2 objects into display lists, and releases them
#include <GL/gl.h>

#include <cmath>

#include "lwo2.h"

// The compilers' working vector: the two edges and the normal of one face at a time.
struct Vector {
    float x, y, z;

    Vector(float x, float y, float z) : x(x), y(y), z(z) {}

    float length() const { return std::sqrt(x * x + y * y + z * z); }

    void normalize() {
        float l = length();
        x /= l;
        y /= l;
        z /= l;
    }
};

// Scales v so that its largest component is 1 in size; false when v is zero or not
// finite. Scaling by a positive number keeps the direction.
static bool scaleToUnitMax(Vector &v) {
    float largest = std::fmax(std::fabs(v.x), std::fmax(std::fabs(v.y), std::fabs(v.z)));
    if (!(largest > 0) || !std::isfinite(largest))
        return false;
    v.x /= largest;
    v.y /= largest;
    v.z /= largest;
    return true;
}

// The unit normal of the face P0 P1 P2, pointing to the side from which the points run
// counter-clockwise: (P1 - P0) x (P2 - P0). Edges and normal are scaled before use, so
// that tiny or huge faces do not lose their normal to the float range. A face without
// area (coincident or collinear points) or with points that are not finite gets +z:
// a fixed unit normal rather than a division by zero.
static Vector faceNormal(const Vec3 &p0, const Vec3 &p1, const Vec3 &p2) {
    Vector e1(p1.x - p0.x, p1.y - p0.y, p1.z - p0.z);
    Vector e2(p2.x - p0.x, p2.y - p0.y, p2.z - p0.z);
    if (!scaleToUnitMax(e1) || !scaleToUnitMax(e2))
        return Vector(0, 0, 1);
    Vector n(e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x);
    if (!scaleToUnitMax(n))
        return Vector(0, 0, 1);
    n.normalize();
    return n;
}

bool LwoObject::isDrawable(const LwoPolygon *p) const {
    if (!p || p->vertexCount < 3)
        return false;
    for (int i = 0; i < 3; i++)
        if (p->vertices[i] < 0 || (unsigned int)p->vertices[i] >= pointCount)
            return false;
    return true;
}

unsigned int LwoObject::compileLit(float red, float green, float blue) {
    unsigned int list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    // the colour goes before the begin: Mesa drops attributes set inside a begin and end
    // with no vertex, and an empty object's list must still leave its colour current
    glColor3f(red, green, blue);
    glBegin(GL_TRIANGLES);
    for (LwoPolygon *p = polygons; p; p = p->next) {
        if (!isDrawable(p))
            continue;
        Vec3 p0 = points[p->vertices[0]];
        Vec3 p1 = points[p->vertices[1]];
        Vec3 p2 = points[p->vertices[2]];
        Vector n = faceNormal(p0, p1, p2);
        glNormal3f(n.x, n.y, n.z);
        glVertex3f(p0.x, p0.y, p0.z);
        glNormal3f(n.x, n.y, n.z);
        glVertex3f(p1.x, p1.y, p1.z);
        glNormal3f(n.x, n.y, n.z);
        glVertex3f(p2.x, p2.y, p2.z);
    }
    glEnd();
    glEndList();
    return list;
}

unsigned int LwoObject::compileFlat(float red, float green, float blue, float alpha) {
    unsigned int list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glColor4f(red, green, blue, alpha);
    glBegin(GL_TRIANGLES);
    for (LwoPolygon *p = polygons; p; p = p->next) {
        if (!isDrawable(p))
            continue;
        for (int i = 0; i < 3; i++) {
            const Vec3 &v = points[p->vertices[i]];
            glVertex3f(v.x, v.y, v.z);
        }
    }
    glEnd();
    glEndList();
    return list;
}

// Deleting the first polygon releases the whole list.
LwoObject::~LwoObject() {
    delete[] points;
    delete polygons;
}
