// lwo2info.cpp -- shows what the object reader makes of LWO2 files, without the presentation
#include <cstdio>
#include <map>

#include "lwo2.h"

// For each file: the reader's own output (the texture-block dump, and its failures on standard
// error), then the counts it kept, the polygon sizes, the polygons the compilers would skip, and
// the bounding box of the points.
int main(int argc, char **argv) {
    if (argc < 2) {
        printf("usage: lwo2info FILE...\n");
        return 2;
    }
    int failures = 0;
    for (int i = 1; i < argc; i++) {
        printf("== %s\n", argv[i]);
        fflush(stdout);
        LwoObject object(argv[i]);
        std::map<int, int> sizes;  // vertex count -> polygons
        int listed = 0, skipped = 0;
        for (LwoPolygon *p = object.polygons; p; p = p->next) {
            sizes[p->vertexCount]++;
            listed++;
            if (!object.isDrawable(p))
                skipped++;
        }
        printf("points %u\npolygons %d\n", object.pointCount, object.polygonCount);
        printf("polygon sizes");
        for (auto &s : sizes)
            printf(" %d:%d", s.first, s.second);
        printf("\nskipped by the compilers %d\n", skipped);
        if (object.pointCount) {
            Vec3 lo = object.points[0], hi = object.points[0];
            for (unsigned int k = 1; k < object.pointCount; k++) {
                const Vec3 &v = object.points[k];
                lo.x = v.x < lo.x ? v.x : lo.x;
                lo.y = v.y < lo.y ? v.y : lo.y;
                lo.z = v.z < lo.z ? v.z : lo.z;
                hi.x = v.x > hi.x ? v.x : hi.x;
                hi.y = v.y > hi.y ? v.y : hi.y;
                hi.z = v.z > hi.z ? v.z : hi.z;
            }
            printf("bounds (%g, %g, %g) to (%g, %g, %g)\n", lo.x, lo.y, lo.z, hi.x, hi.y, hi.z);
        }
        if (listed != object.polygonCount) {
            printf("list holds %d polygons, count says %d\n", listed, object.polygonCount);
            failures++;
        }
        if (object.pointCount == 0 && object.polygonCount == 0)
            failures++;
    }
    return failures ? 1 : 0;
}
