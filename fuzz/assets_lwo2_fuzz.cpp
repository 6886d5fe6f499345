// assets_lwo2_fuzz.cpp -- fuzz target for the LWO2 object reader
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "lwo2.h"

// The reader's dumps and messages go nowhere while fuzzing.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (!freopen("/dev/null", "w", stdout))
        abort();
    return 0;
}

// Reads the input as an object and walks it as the compilers and the letter drawer do,
// so that a count that disagrees with its array shows up as a bad access.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    LwoObject object(data, size, "input");
    float sum = 0;
    for (unsigned int i = 0; i < object.pointCount; i++)
        sum += object.points[i].x;
    int listed = 0;
    for (LwoPolygon *p = object.polygons; p; p = p->next, listed++) {
        for (int i = 0; i < p->vertexCount; i++)
            sum += float(p->vertices[i]);
        if (object.isDrawable(p))
            for (int i = 0; i < 3; i++)
                sum += object.points[p->vertices[i]].y;
    }
    if (listed != object.polygonCount || (object.points == nullptr) != (object.pointCount == 0))
        abort();
    volatile float keep = sum;
    (void)keep;
    return 0;
}
