// tgawriter.h -- writes pictures as Truevision TGA files of the kinds the presentation reads
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A picture as drawn: 8-bit straight (not premultiplied) RGBA, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;  // width * height * 4 bytes
};

// How one picture is stored.
struct TgaKind {
    int imageType = 2;              // 2 truecolour, 3 greyscale, 10 run-length truecolour
    int bitsPerPixel = 24;          // 16, 24 or 32 for truecolour, 8 for greyscale
    bool topDown = false;           // store the top row first (descriptor bit 5)
    bool packetsCrossRows = false;  // let run-length packets run over row ends
    std::string imageId;            // up to 255 bytes after the header
};

// What a file of that kind holds, in its own precision: 1 (grey), 3 (RGB) or 4 (RGBA)
// channels of 0..maxValue each, top row first. 16-bit files keep 5 bits per channel.
struct StoredPixels {
    int width = 0;
    int height = 0;
    int channels = 0;
    int maxValue = 0;
    std::vector<uint8_t> values;  // width * height * channels
};

StoredPixels storedPixels(const Picture &picture, const TgaKind &kind);
std::vector<uint8_t> encodeTga(const Picture &picture, const TgaKind &kind);
// A netpbm PAM (P7) of the stored values, readable by common image tools.
std::vector<uint8_t> encodePam(const StoredPixels &stored);
bool writeFile(const std::string &path, const std::vector<uint8_t> &bytes);
