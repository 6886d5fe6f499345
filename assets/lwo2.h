// lwo2.h -- LightWave LWO2 objects in memory: points, polygons and their display lists
#pragma once
#include <cstddef>

#include "vec3.h"

// One polygon of an object: point indices in file order, linked to its neighbours.
class LwoPolygon {
public:
    int vertexCount;   // 0 to 1023: the low 10 bits of the polygon's count word
    int *vertices;     // vertexCount point indices, not checked against the object's points
    LwoPolygon *next;  // next polygon in file order, null for the last
    LwoPolygon *prev;  // previous polygon in file order, null for the first

    explicit LwoPolygon(int count);
    ~LwoPolygon();  // releases vertices and the rest of the list through next

private:
    LwoPolygon(const LwoPolygon &) = delete;
    LwoPolygon &operator=(const LwoPolygon &) = delete;

    // Triangles and quads keep their indices here instead of in an allocation of their
    // own: models have thousands of them, and the allocations were most of the loading.
    static const int INLINE_VERTICES = 4;
    int inlineVertices[INLINE_VERTICES];
};

// A model read from one LWO2 file, or from its bytes in memory. A file that cannot be read
// or is not an LWO2 object leaves an empty object (both counts 0, both pointers null); that,
// and a file that ends early, is named once on standard error with the reason
// (reportLoadFailure). Bytes read from memory are named by the name the caller gives.
class LwoObject {
public:
    unsigned int pointCount;  // entries in points
    Vec3 *points;             // the last PNTS chunk's points, null if none
    int polygonCount;         // polygons in the list
    LwoPolygon *polygons;     // the last non-empty POLS chunk's polygons, null if none

    explicit LwoObject(const char *path);
    LwoObject(const unsigned char *data, size_t size, const char *name);
    ~LwoObject();

    // Reads the file or the bytes; true when the header was accepted and the chunk loop
    // ran to the end of the form.
    bool read(const char *path);
    bool read(const unsigned char *data, size_t size, const char *name);

    // Display lists of the object's triangles (the first three points of every polygon
    // whose indices lie inside points); one new list per call.
    unsigned int compileLit(float red, float green, float blue);
    unsigned int compileFlat(float red, float green, float blue, float alpha);

    // True when polygon p can be drawn as a triangle: three indices, all below pointCount.
    bool isDrawable(const LwoPolygon *p) const;

private:
    LwoObject(const LwoObject &) = delete;
    LwoObject &operator=(const LwoObject &) = delete;
    void clear();  // releases everything read and leaves the object empty

    // The file in memory and a read position that cannot leave it: reads stop at end
    // (the end of the file, chunk or sub-chunk being read) and give zeros past it.
    struct Cursor {
        const char *name;  // the file's name, for messages
        const unsigned char *data;
        unsigned long end;  // first byte that may not be read
        unsigned long pos;  // next byte to read, never above end
    };

    // One sub-chunk of a SURF chunk or below: its header, and the bounds the reads of
    // its fields are held to.
    struct SubChunk {
        char id[5];
        unsigned short length;   // declared data length
        unsigned int start;      // the reader's count just after the header
        unsigned long outerEnd;  // the enclosing reader's bound, restored afterwards
        unsigned long end;       // the declared end of the data, within outerEnd
    };
    static unsigned int beginSubChunk(SubChunk &sub, unsigned int consumed, Cursor &in);
    static unsigned int endSubChunk(const SubChunk &sub, Cursor &in);

    // chunk readers; each returns the bytes it consumed
    unsigned int readPoints(unsigned int length, Cursor &in);
    unsigned int readPolygons(unsigned int length, Cursor &in);
    static unsigned int readPolygonTags(unsigned int length, Cursor &in);
    static unsigned int readSurface(unsigned int length, Cursor &in);
    static unsigned int readBlock(unsigned int length, Cursor &in);
    static unsigned int readBlockHeader(unsigned int length, Cursor &in);
    static unsigned int readTextureMap(unsigned int length, Cursor &in);
    // reads and prints one sub-chunk's fields; false for an id it does not know
    typedef bool (*FieldPrinter)(const SubChunk &sub, Cursor &in);
    static unsigned int printSubChunks(unsigned int consumed, unsigned int length, const char *indent,
                                       FieldPrinter field, Cursor &in);
    static void printText(Cursor &in);
    static void printU2(Cursor &in);
    static void printVecVX(Cursor &in);

    // big-endian reading primitives; each returns the bytes it consumed
    static const unsigned char *takeValues(void *values, int count, int width, Cursor &in);
    static int readID4(char *id, Cursor &in);
    static int readU2(unsigned short *values, int count, Cursor &in);
    static int readI2(short *values, int count, Cursor &in);
    static int readU4(unsigned int *values, int count, Cursor &in);
    static int readF4(float *values, int count, Cursor &in);
    static int readVec12(float *values, int count, Cursor &in);
    static int readVX(int *index, Cursor &in);
    static int readS0(char *text, int size, Cursor &in);
    static int readBytes(unsigned char *buffer, int n, Cursor &in);
    static int skipBytes(int n, Cursor &in);
};
