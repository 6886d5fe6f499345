// lwo2writer.h -- writes triangle meshes as LWO2 object files, byte for byte the same every run
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One surface: the TAGS name and the SURF properties that the file carries.
struct LwoSurfaceDesc {
    std::string name;
    float red = 1, green = 1, blue = 0;  // base colour, 0 to 1
    float diffuse = 1.0f;                // diffuse level, 0 to 1
    float specular = 0.2f;               // specular level, 0 to 1
    float smoothingAngle = 0.0f;         // radians; 0 means faceted
    bool doubleSided = false;            // SIDE 3 instead of 1
    std::string image;                   // CLIP image path for an image texture block; empty for none
};

struct LwoTriangleDesc {
    uint32_t a, b, c;  // point indices; (b - a) x (c - a) points out of the solid
    uint16_t surface;  // index into LwoMeshDesc::surfaces
};

struct LwoMeshDesc {
    std::vector<float> points;            // x, y, z per point
    std::vector<LwoTriangleDesc> triangles;
    std::vector<LwoSurfaceDesc> surfaces;
    std::vector<float> uvs;               // u, v per point when a surface has an image; else empty
};

// The whole file in memory; an empty vector when the mesh cannot be written
// (no surfaces, an index out of range, or a chunk that would overflow its length field).
std::vector<uint8_t> encodeLwo(const LwoMeshDesc &mesh);

// Writes encodeLwo's bytes to path; false (after a message naming the file) on failure.
bool writeLwo(const std::string &path, const LwoMeshDesc &mesh);
