// assets_lwo2_fuzz.cpp -- fuzz target for the LWO2 object reader
#include "assets_memfile.h"
#include "lwo2.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    silenceStdout();
    return 0;
}

// Reads the input as an object and walks it as the compilers and the letter drawer do,
// so that a count that disagrees with its array shows up as a bad access.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    LwoObject object(memoryFile(data, size));
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
