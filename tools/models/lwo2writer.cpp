// lwo2writer.cpp -- writes triangle meshes as LWO2 object files, byte for byte the same every run
#include "lwo2writer.h"

#include "lwo2format.h"

#include <cstdio>
#include <cstring>

namespace {

// Name of the texture-coordinate map that image blocks refer to.
const char *const lwoUvMapName = "UVMap";

// Big-endian output with chunks whose length fields are patched when the chunk ends.
// Every chunk we write has an even length, so no pad bytes are ever needed; the
// presentation's reader takes lengths as stored and would not skip one.
struct ByteWriter {
    std::vector<uint8_t> bytes;
    std::vector<size_t> openChunks;   // offsets of the length fields of open chunks
    std::vector<int> openSizes;       // 4 for top-level chunks, 2 for sub-chunks
    bool overflow = false;            // a sub-chunk outgrew its 16-bit length

    void u1(uint8_t v) { bytes.push_back(v); }
    void u2(uint16_t v) { u1(uint8_t(v >> 8)); u1(uint8_t(v)); }
    void u4(uint32_t v) { u2(uint16_t(v >> 16)); u2(uint16_t(v)); }
    void f4(float v) {
        uint32_t w;
        std::memcpy(&w, &v, 4);
        u4(w);
    }
    void id(uint32_t v) { u4(v); }
    void vec12(float x, float y, float z) { f4(x); f4(y); f4(z); }
    // Variable-length index: two bytes below 0xFF00, else 0xFF and three bytes.
    void vx(uint32_t v) {
        if (v < 0xFF00) {
            u2(uint16_t(v));
        } else {
            u1(0xFF);
            u1(uint8_t(v >> 16));
            u2(uint16_t(v));
        }
    }
    // NUL-terminated string padded to an even length.
    void s0(const std::string &s) {
        for (char c : s) u1(uint8_t(c));
        u1(0);
        if ((s.size() + 1) % 2) u1(0);
    }
    void begin(uint32_t chunkId, int sizeBytes) {
        id(chunkId);
        openChunks.push_back(bytes.size());
        openSizes.push_back(sizeBytes);
        if (sizeBytes == 4) u4(0); else u2(0);
    }
    void end() {
        size_t at = openChunks.back();
        int sizeBytes = openSizes.back();
        openChunks.pop_back();
        openSizes.pop_back();
        size_t length = bytes.size() - at - sizeBytes;
        if (sizeBytes == 2 && length > 0xFFFF) overflow = true;
        for (int i = 0; i < sizeBytes; i++)
            bytes[at + i] = uint8_t(length >> (8 * (sizeBytes - 1 - i)));
    }
};

// The image index of each surface (1-based CLIP index, 0 for none) and the list of images.
void collectImages(const LwoMeshDesc &mesh, std::vector<std::string> &images,
                   std::vector<uint32_t> &clipOfSurface) {
    for (const LwoSurfaceDesc &s : mesh.surfaces) {
        uint32_t clip = 0;
        if (!s.image.empty()) {
            for (size_t i = 0; i < images.size(); i++)
                if (images[i] == s.image) clip = uint32_t(i + 1);
            if (clip == 0) {
                images.push_back(s.image);
                clip = uint32_t(images.size());
            }
        }
        clipOfSurface.push_back(clip);
    }
}

// An image-mapped colour layer using the mesh's UV map.
void writeImageBlock(ByteWriter &w, uint32_t clip) {
    w.begin(ID_BLOK, 2);
    w.begin(ID_IMAP, 2);
    w.s0("\x80");  // ordinal: the only layer of the channel
    w.begin(ID_CHAN, 2); w.id(ID_COLR); w.end();
    w.begin(ID_OPAC, 2); w.u2(0); w.f4(1.0f); w.vx(0); w.end();  // normal blending, fully opaque
    w.begin(ID_ENAB, 2); w.u2(1); w.end();
    w.begin(ID_NEGA, 2); w.u2(0); w.end();
    w.begin(ID_AXIS, 2); w.u2(1); w.end();
    w.end();
    w.begin(ID_TMAP, 2);
    w.begin(ID_CNTR, 2); w.vec12(0, 0, 0); w.vx(0); w.end();
    w.begin(ID_SIZE, 2); w.vec12(1, 1, 1); w.vx(0); w.end();
    w.begin(ID_ROTA, 2); w.vec12(0, 0, 0); w.vx(0); w.end();
    w.begin(ID_FALL, 2); w.u2(0); w.vec12(0, 0, 0); w.vx(0); w.end();
    w.begin(ID_OREF, 2); w.s0("(none)"); w.end();
    w.begin(ID_CSYS, 2); w.u2(0); w.end();  // object coordinates
    w.end();
    w.begin(ID_PROJ, 2); w.u2(5); w.end();  // 5: UV map
    w.begin(ID_AXIS, 2); w.u2(2); w.end();  // z, used only by the planar fall-back
    w.begin(ID_IMAG, 2); w.vx(clip); w.end();
    w.begin(ID_WRAP, 2); w.u2(1); w.u2(1); w.end();  // repeat in both directions
    w.begin(ID_WRPW, 2); w.f4(1.0f); w.vx(0); w.end();
    w.begin(ID_WRPH, 2); w.f4(1.0f); w.vx(0); w.end();
    w.begin(ID_AAST, 2); w.u2(1); w.f4(1.0f); w.end();
    w.begin(ID_PIXB, 2); w.u2(1); w.end();
    w.begin(ID_VMAP, 2); w.s0(lwoUvMapName); w.end();
    w.end();
}

}  // namespace

std::vector<uint8_t> encodeLwo(const LwoMeshDesc &mesh) {
    size_t pointCount = mesh.points.size() / 3;
    if (mesh.surfaces.empty() || mesh.surfaces.size() > 0xFFFF || pointCount > 0xFFFFFF)
        return {};
    for (const LwoTriangleDesc &t : mesh.triangles)
        if (t.a >= pointCount || t.b >= pointCount || t.c >= pointCount ||
            t.surface >= mesh.surfaces.size())
            return {};
    std::vector<std::string> images;
    std::vector<uint32_t> clipOfSurface;
    collectImages(mesh, images, clipOfSurface);
    bool mapped = !images.empty();
    if (mapped && mesh.uvs.size() != pointCount * 2) return {};

    ByteWriter w;
    w.begin(ID_FORM, 4);
    w.id(ID_LWO2);

    w.begin(ID_TAGS, 4);
    for (const LwoSurfaceDesc &s : mesh.surfaces) w.s0(s.name);
    w.end();

    w.begin(ID_LAYR, 4);
    w.u2(0);  // layer number
    w.u2(0);  // flags: visible
    w.vec12(0, 0, 0);  // pivot
    w.s0("");
    w.end();

    w.begin(ID_PNTS, 4);
    for (float v : mesh.points) w.f4(v);
    w.end();

    float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    for (size_t i = 0; i < pointCount; i++)
        for (int k = 0; k < 3; k++) {
            float v = mesh.points[i * 3 + k];
            if (i == 0 || v < lo[k]) lo[k] = v;
            if (i == 0 || v > hi[k]) hi[k] = v;
        }
    w.begin(ID_BBOX, 4);
    w.vec12(lo[0], lo[1], lo[2]);
    w.vec12(hi[0], hi[1], hi[2]);
    w.end();

    if (mapped) {
        w.begin(ID_VMAP, 4);
        w.id(ID_TXUV);
        w.u2(2);
        w.s0(lwoUvMapName);
        for (size_t i = 0; i < pointCount; i++) {
            w.vx(uint32_t(i));
            w.f4(mesh.uvs[i * 2]);
            w.f4(mesh.uvs[i * 2 + 1]);
        }
        w.end();
    }

    w.begin(ID_POLS, 4);
    w.id(ID_FACE);
    for (const LwoTriangleDesc &t : mesh.triangles) {
        w.u2(3);
        w.vx(t.a);
        w.vx(t.b);
        w.vx(t.c);
    }
    w.end();

    w.begin(ID_PTAG, 4);
    w.id(ID_SURF);
    for (size_t i = 0; i < mesh.triangles.size(); i++) {
        w.vx(uint32_t(i));
        w.u2(mesh.triangles[i].surface);
    }
    w.end();

    for (size_t i = 0; i < images.size(); i++) {
        w.begin(ID_CLIP, 4);
        w.u4(uint32_t(i + 1));
        w.begin(ID_STIL, 2);
        w.s0(images[i]);
        w.end();
        w.end();
    }

    for (size_t i = 0; i < mesh.surfaces.size(); i++) {
        const LwoSurfaceDesc &s = mesh.surfaces[i];
        w.begin(ID_SURF, 4);
        w.s0(s.name);
        w.s0("");  // no source surface
        w.begin(ID_COLR, 2); w.vec12(s.red, s.green, s.blue); w.vx(0); w.end();
        w.begin(ID_DIFF, 2); w.f4(s.diffuse); w.vx(0); w.end();
        w.begin(ID_SPEC, 2); w.f4(s.specular); w.vx(0); w.end();
        w.begin(ID_SMAN, 2); w.f4(s.smoothingAngle); w.end();
        w.begin(ID_SIDE, 2); w.u2(s.doubleSided ? 3 : 1); w.end();
        if (clipOfSurface[i]) writeImageBlock(w, clipOfSurface[i]);
        w.end();
    }

    w.end();
    if (w.overflow) return {};
    return w.bytes;
}

bool writeLwo(const std::string &path, const LwoMeshDesc &mesh) {
    std::vector<uint8_t> bytes = encodeLwo(mesh);
    if (bytes.empty()) {
        std::printf("%s: mesh cannot be written as LWO2\n", path.c_str());
        return false;
    }
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::printf("%s: cannot create file\n", path.c_str());
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::printf("%s: write failed\n", path.c_str());
    return ok;
}
