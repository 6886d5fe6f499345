// lwo2.cpp -- reads LightWave LWO2 object files into points and polygons
#include "lwo2.h"

#include <cstdio>
#include <cstring>

#include "loadfailures.h"
#include "lwo2format.h"
#include "wholefile.h"

// The file is read into memory whole and parsed through a Cursor. Every
// read is held to the cursor's end, which is narrowed to the chunk or sub-chunk being
// read, and gives zeros past it; so a truncated or lying file can make a reader see
// zeros, never bytes outside the file or another chunk.

LwoPolygon::LwoPolygon(int count) {
    vertexCount = count > 0 ? count : 0;
    if (vertexCount <= INLINE_VERTICES) {
        vertices = inlineVertices;
        for (int i = 0; i < INLINE_VERTICES; i++)
            inlineVertices[i] = 0;
    } else {
        vertices = new int[vertexCount]();
    }
    next = nullptr;
    prev = nullptr;
}

// Releasing a polygon releases the rest of the list. Done with a loop, not by letting
// each destructor delete its successor: a long list would otherwise recurse once per
// polygon and run out of stack.
LwoPolygon::~LwoPolygon() {
    if (vertices != inlineVertices)
        delete[] vertices;
    LwoPolygon *rest = next;
    next = nullptr;
    while (rest) {
        LwoPolygon *following = rest->next;
        rest->next = nullptr;
        delete rest;
        rest = following;
    }
}

LwoObject::LwoObject(const char *path)
    : pointCount(0), points(nullptr), polygonCount(0), polygons(nullptr) {
    read(path);
}

LwoObject::LwoObject(const unsigned char *data, size_t size, const char *name)
    : pointCount(0), points(nullptr), polygonCount(0), polygons(nullptr) {
    read(data, size, name);
}

// ---------------------------------------------------------------- reading primitives

int LwoObject::readID4(char *id, Cursor &in) {
    for (int i = 0; i < 4; i++)
        id[i] = in.pos < in.end ? char(in.data[in.pos++]) : 0;
    id[4] = 0;
    return 4;
}

// The block readers take all their values or none: a short read leaves zeros, moves to
// the end of what may be read and returns 0. This gives them the bytes of count values
// of width bytes each and moves past them, or null after a short read.
const unsigned char *LwoObject::takeValues(void *values, int count, int width, Cursor &in) {
    if (count <= 0)
        return nullptr;
    unsigned long bytes = (unsigned long)count * width;
    if (in.end - in.pos < bytes) {
        memset(values, 0, bytes);
        in.pos = in.end;
        return nullptr;
    }
    in.pos += bytes;
    return in.data + in.pos - bytes;
}

static inline unsigned int bigEndian32(const unsigned char *b) {
    return (unsigned int)b[0] << 24 | (unsigned int)b[1] << 16 | (unsigned int)b[2] << 8 | b[3];
}

int LwoObject::readU2(unsigned short *values, int count, Cursor &in) {
    const unsigned char *b = takeValues(values, count, 2, in);
    if (!b)
        return 0;
    for (int i = 0; i < count; i++, b += 2)
        values[i] = (unsigned short)(b[0] << 8 | b[1]);
    return 2 * count;
}

// The same words taken as signed: a short may be written through its unsigned twin.
int LwoObject::readI2(short *values, int count, Cursor &in) {
    return readU2(reinterpret_cast<unsigned short *>(values), count, in);
}

int LwoObject::readU4(unsigned int *values, int count, Cursor &in) {
    const unsigned char *b = takeValues(values, count, 4, in);
    if (!b)
        return 0;
    for (int i = 0; i < count; i++, b += 4)
        values[i] = bigEndian32(b);
    return 4 * count;
}

int LwoObject::readF4(float *values, int count, Cursor &in) {
    const unsigned char *b = takeValues(values, count, 4, in);
    if (!b)
        return 0;
    for (int i = 0; i < count; i++, b += 4) {
        unsigned int bits = bigEndian32(b);
        memcpy(&values[i], &bits, 4);
    }
    return 4 * count;
}

int LwoObject::readVec12(float *values, int count, Cursor &in) {
    return readF4(values, 3 * count, in);
}

// An index below 0xFF00 takes two bytes; a larger one is marked by a first byte of 0xFF
// and takes four, the marker not being part of the value. Shared by readVX and the
// polygon reader's inner loop, where it is worth inlining.
static inline int decodeVX(const unsigned char *data, unsigned long &pos, unsigned long end,
                           int *index) {
    if (end - pos >= 4) {
        const unsigned char *b = data + pos;
        if (b[0] == 0xFF) {
            *index = b[1] << 16 | b[2] << 8 | b[3];
            pos += 4;
            return 4;
        }
        *index = b[0] << 8 | b[1];
        pos += 2;
        return 2;
    }
    unsigned char b[4];
    for (int i = 0; i < 4; i++)
        b[i] = pos + i < end ? data[pos + i] : 0;
    int taken = b[0] == 0xFF ? 4 : 2;
    *index = taken == 4 ? b[1] << 16 | b[2] << 8 | b[3] : b[0] << 8 | b[1];
    pos = pos + taken < end ? pos + taken : end;
    return taken;
}

int LwoObject::readVX(int *index, Cursor &in) {
    return decodeVX(in.data, in.pos, in.end, index);
}

// Consumes the whole string, its terminator and the pad byte that keeps it even, but
// stores no more than size - 1 characters: a longer name is cut, not overrun.
int LwoObject::readS0(char *text, int size, Cursor &in) {
    int count = 0;
    int stored = 0;
    while (in.pos < in.end) {
        unsigned char c = in.data[in.pos++];
        count++;
        if (c == 0)
            break;
        if (stored < size - 1)
            text[stored++] = char(c);
    }
    text[stored] = 0;
    if (count & 1) {
        skipBytes(1, in);
        count++;
    }
    return count;
}

int LwoObject::readBytes(unsigned char *buffer, int n, Cursor &in) {
    if (n <= 0)
        return 0;
    unsigned long have = in.end - in.pos;
    unsigned long take = (unsigned long)n < have ? (unsigned long)n : have;
    memcpy(buffer, in.data + in.pos, take);
    in.pos += take;
    return int(take);
}

int LwoObject::skipBytes(int n, Cursor &in) {
    if (n > 0) {
        unsigned long have = in.end - in.pos;
        in.pos += (unsigned long)n < have ? (unsigned long)n : have;
    }
    return n;
}

// ---------------------------------------------------------------- geometry chunks

unsigned int LwoObject::readPoints(unsigned int length, Cursor &in) {
    (void)length;  // the cursor already ends at the chunk's end or the file's
    unsigned long count = (in.end - in.pos) / 12;
    Vec3 *newPoints = nullptr;
    int consumed = 0;
    if (count > 0) {
        float *values = new float[3 * count];
        consumed = readVec12(values, int(count), in);
        newPoints = new Vec3[count];
        for (unsigned long i = 0; i < count; i++) {
            newPoints[i].x = values[3 * i];
            newPoints[i].y = values[3 * i + 1];
            newPoints[i].z = values[3 * i + 2];
        }
        delete[] values;
    }
    delete[] points;
    points = newPoints;
    pointCount = (unsigned int)count;
    return (unsigned int)consumed;
}

unsigned int LwoObject::readPolygons(unsigned int length, Cursor &in) {
    char type[5];
    unsigned int consumed = readID4(type, in);  // FACE, PTCH and the rest read alike
    LwoPolygon *first = nullptr;
    LwoPolygon *last = nullptr;
    int count = 0;
    while (consumed < length && in.pos < in.end) {
        unsigned short word;
        int taken = readU2(&word, 1, in);
        if (taken == 0)
            break;  // one byte left: no polygon fits
        consumed += taken;
        // the top six bits are flags that nothing here uses
        LwoPolygon *polygon = new LwoPolygon(word & 0x3FF);
        if (last) {
            last->next = polygon;
            polygon->prev = last;
        } else {
            first = polygon;
        }
        last = polygon;
        count++;
        for (int i = 0; i < polygon->vertexCount; i++)
            consumed += decodeVX(in.data, in.pos, in.end, &polygon->vertices[i]);
    }
    // An empty chunk keeps the earlier list, and its count with it.
    if (first) {
        delete polygons;
        polygons = first;
        polygonCount = count;
    }
    if (consumed != length) {
        printf("%s: ??? %d != %d\n", in.name, int(consumed), int(length));
        fflush(stdout);
    }
    return consumed;
}

// Tags are read through and dropped: nothing in memory uses surfaces or parts.
unsigned int LwoObject::readPolygonTags(unsigned int length, Cursor &in) {
    char type[5];
    unsigned int consumed = readID4(type, in);
    while (consumed < length && in.pos < in.end) {
        int polygon;
        unsigned short tag;
        consumed += readVX(&polygon, in);
        consumed += readU2(&tag, 1, in);
    }
    if (consumed != length) {
        printf("%s: ??? %d != %d\n", in.name, int(consumed), int(length));
        fflush(stdout);
    }
    return consumed;
}

// ---------------------------------------------------------------- the chunk loop

void LwoObject::clear() {
    delete[] points;
    points = nullptr;
    pointCount = 0;
    delete polygons;
    polygons = nullptr;
    polygonCount = 0;
}

bool LwoObject::read(const char *path) {
    std::vector<uint8_t> bytes;
    if (readAssetFile(path, bytes))
        return read(bytes.data(), bytes.size(), path);
    clear();
    return false;
}

bool LwoObject::read(const unsigned char *data, size_t size, const char *name) {
    clear();
    Cursor in = {name, data, size, 0};

    char id[5];
    readID4(id, in);
    if (lwoId(id) != ID_FORM) {
        reportLoadFailure(name, "not an LWO2 object (no FORM header)");
        return false;
    }
    unsigned int formLength = 0;
    readU4(&formLength, 1, in);  // not counted: the form length counts from the type on
    unsigned long consumed = readID4(id, in);
    if (lwoId(id) != ID_LWO2) {
        reportLoadFailure(name, "not an LWO2 object (form type " + printableText(std::string(id, 4)) + ")");
        return false;
    }

    unsigned long formEnd = 8 + (unsigned long)formLength;
    bool complete = formEnd <= size;
    if (!complete) {
        reportLoadFailure(name, "file ends early (" + std::to_string(size) + " of " +
                                    std::to_string(formEnd) + " bytes)");
        formEnd = size;
    }
    in.end = formEnd;

    // The count and the position move together: after every chunk both are set to the
    // chunk's declared end, plus the pad byte that IFF puts after odd-length data, so a
    // reader that takes more or less than its chunk cannot shift the chunks after it.
    while (consumed < formLength && formEnd - in.pos >= 8) {
        consumed += readID4(id, in);
        unsigned int length = 0;
        consumed += readU4(&length, 1, in);
        unsigned long start = in.pos;
        unsigned long dataEnd = start + length;
        unsigned long next = dataEnd + (length & 1);
        in.end = dataEnd < formEnd ? dataEnd : formEnd;

        switch (lwoId(id)) {
        case ID_PNTS: readPoints(length, in); break;
        case ID_POLS: readPolygons(length, in); break;
        case ID_PTAG: readPolygonTags(length, in); break;
        case ID_SURF: readSurface(length, in); break;
        default: break;  // LAYR, BBOX, VMAP, TAGS, CLIP, ENVL, ...: skipped unread
        }

        consumed += length + (length & 1);
        in.end = formEnd;
        in.pos = next < formEnd ? next : formEnd;
    }
    return complete;
}
