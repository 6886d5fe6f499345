// modelview.h -- frames one of our models in a square view and reads it back, for the tools that picture them
#pragma once
#include "lwo2.h"

#include <GL/glu.h>
#include <cmath>
#include <cstddef>

// The box around a model's points, and half its diagonal (1 for a model without extent).
struct ModelBox {
    float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    double radius = 1;
};

inline ModelBox modelBox(const LwoObject &o) {
    ModelBox box;
    for (unsigned int i = 0; i < o.pointCount; i++) {
        const float v[3] = {o.points[i].x, o.points[i].y, o.points[i].z};
        for (int k = 0; k < 3; k++) {
            if (i == 0 || v[k] < box.lo[k]) box.lo[k] = v[k];
            if (i == 0 || v[k] > box.hi[k]) box.hi[k] = v[k];
        }
    }
    float dx = box.hi[0] - box.lo[0], dy = box.hi[1] - box.lo[1], dz = box.hi[2] - box.lo[2];
    double radius = 0.5 * std::sqrt(dx * dx + dy * dy + dz * dz);
    box.radius = radius > 0 ? radius : 1;
    return box;
}

// A 30-degree view whose sphere around the box just fits at `distance` 1 (farther above 1),
// the light fixed to the eye, the model tilted `tilt` degrees about x and turned `turn` about y
// around the box's centre.
inline void frameModel(const ModelBox &box, double distance, double tilt, double turn, const float light[4]) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(30, 1, 0.05, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glTranslated(0, 0, -box.radius / std::sin(15 * M_PI / 180) * distance);
    glRotated(tilt, 1, 0, 0);
    glRotated(turn, 0, 1, 0);
    glTranslated(-(box.lo[0] + box.hi[0]) / 2, -(box.lo[1] + box.hi[1]) / 2, -(box.lo[2] + box.hi[2]) / 2);
}

// One channel of the output pixel (x, y), top row first, of an RGB image read back from GL
// (`width` x `height`, bottom row first), shrunk by averaging `shrink` x `shrink` blocks.
inline unsigned char boxAverage(const unsigned char *rgb, int width, int height, int shrink, int x, int y,
                                int c) {
    int sum = 0;
    for (int dy = 0; dy < shrink; dy++)
        for (int dx = 0; dx < shrink; dx++) {
            int sy = height - 1 - (y * shrink + dy);  // GL rows run bottom-up
            sum += rgb[(size_t(sy) * width + x * shrink + dx) * 3 + c];
        }
    return (unsigned char)(sum / (shrink * shrink));
}
