// assets_fixtures.h -- builds small LWO2 and TGA files byte by byte for the reader tests
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A growing byte string with big- and little-endian writers.
struct Bytes {
    std::string s;

    Bytes &u8(unsigned v) { s.push_back(char(v & 0xFF)); return *this; }
    Bytes &be16(unsigned v) { return u8(v >> 8).u8(v); }
    Bytes &be32(uint32_t v) { return be16(v >> 16).be16(v); }
    Bytes &le16(unsigned v) { return u8(v).u8(v >> 8); }
    Bytes &f4(float f);
    Bytes &id(const char *four) { s.append(four, 4); return *this; }
    Bytes &raw(const std::string &b) { s += b; return *this; }
    Bytes &raw(const Bytes &b) { s += b.s; return *this; }
    Bytes &vx(uint32_t index);           // 2 bytes below 0xFF00, else FF and 3 bytes
    Bytes &s0(const std::string &text);  // text, terminator, pad to even
    size_t size() const { return s.size(); }
    const unsigned char *data() const { return reinterpret_cast<const unsigned char *>(s.data()); }
};

// LWO2 framing: a chunk has a 4-byte length, a sub-chunk a 2-byte one. The declared
// length is the data's unless given; odd data gets its pad byte when pad is true.
Bytes chunk(const char *id, const Bytes &data, long declared = -1, bool pad = true);
Bytes subChunk(const char *id, const Bytes &data, long declared = -1);
Bytes form(const Bytes &chunks, const char *type = "LWO2", long declared = -1);

// Common pieces: a PNTS chunk of the given coordinates (x, y, z each), a FACE POLS chunk
// of the given polygons (point indices each).
Bytes pointsChunk(const std::vector<float> &xyz);
Bytes polygonsChunk(const std::vector<std::vector<int>> &polygons, const char *type = "FACE");
// A SURF chunk: names, then the given sub-chunks.
Bytes surfChunk(const Bytes &subChunks, const std::string &name = "Default");

// A TGA file: the 18-byte header, an image ID of idLength bytes, then pixel data.
Bytes tgaFile(int type, int width, int height, int depth, int descriptor, const Bytes &data,
              int idLength = 0, int colormapType = 0);

// Writes bytes to a file; returns the path.
std::string writeFile(const std::string &path, const Bytes &b);

// True when every line of a reader's output begins with "name: ", apart from the lines
// of the texture-block dump, which are indented by tabs.
bool namesEveryMessage(const std::string &output, const std::string &name);

// A path for a fixture file in a folder of this process's own under the temporary folder,
// so that test runs at the same time do not share files; the folder goes at exit.
std::string tempPath(const std::string &name);

// The named fixtures the tests use, also written out as fuzzing seeds.
std::vector<std::pair<std::string, Bytes>> lwoFixtures();
std::vector<std::pair<std::string, Bytes>> tgaFixtures();
