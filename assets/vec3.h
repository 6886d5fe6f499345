// vec3.h -- a point: three floats, no arithmetic (each use writes its arithmetic out)
#pragma once

struct Vec3 {
    float x, y, z;
    Vec3() : x(0), y(0), z(0) {}
};
