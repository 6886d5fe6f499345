// tgawriter.cpp -- writes pictures as Truevision TGA files of the kinds the presentation reads
#include "tgawriter.h"

#include <cstdio>
#include <cstring>

#include "tgaformat.h"

// Channel precision of a 16-bit pixel (A1R5G5B5).
static const int FIVE_BIT_MAX = 31;
// Longest run or raw packet a packet header can count.
static const int MAX_PACKET = 128;

static int toFiveBits(int value) {
    return (value * FIVE_BIT_MAX + 127) / 255;  // nearest of the 32 levels
}

// Weights sum to 256 so that a grey drawing (red = green = blue) keeps its exact levels.
static int toGrey(int red, int green, int blue) {
    return (77 * red + 150 * green + 29 * blue + 128) >> 8;
}

StoredPixels storedPixels(const Picture &picture, const TgaKind &kind) {
    StoredPixels stored;
    stored.width = picture.width;
    stored.height = picture.height;
    if (kind.imageType == TGA_GRAYSCALE)
        stored.channels = 1;
    else
        stored.channels = kind.bitsPerPixel == 32 ? 4 : 3;
    stored.maxValue = kind.bitsPerPixel == 16 ? FIVE_BIT_MAX : 255;
    size_t count = size_t(picture.width) * picture.height;
    stored.values.resize(count * stored.channels);
    for (size_t i = 0; i < count; i++) {
        const uint8_t *p = &picture.rgba[i * 4];
        uint8_t *out = &stored.values[i * stored.channels];
        if (stored.channels == 1) {
            out[0] = uint8_t(toGrey(p[0], p[1], p[2]));
            continue;
        }
        for (int c = 0; c < stored.channels; c++)
            out[c] = uint8_t(stored.maxValue == 255 ? p[c] : toFiveBits(p[c]));
    }
    return stored;
}

// One pixel as the file stores it: little-endian A1R5G5B5, BGR, BGRA or one grey byte.
static void packPixel(const uint8_t *value, int bitsPerPixel, uint8_t *out) {
    switch (bitsPerPixel) {
    case 8:
        out[0] = value[0];
        break;
    case 16: {
        // Bit 15 set: readers that take it for alpha see an opaque pixel.
        unsigned word = 0x8000u | unsigned(value[0]) << 10 | unsigned(value[1]) << 5 | value[2];
        out[0] = uint8_t(word);
        out[1] = uint8_t(word >> 8);
        break;
    }
    case 24:
        out[0] = value[2];
        out[1] = value[1];
        out[2] = value[0];
        break;
    case 32:
        out[0] = value[2];
        out[1] = value[1];
        out[2] = value[0];
        out[3] = value[3];
        break;
    }
}

// Packets for count pixels of size bytes each: a run where two or more neighbours are
// equal, raw packets in between; neither longer than 128 pixels.
static void encodePackets(const uint8_t *pixels, int count, int size, std::vector<uint8_t> &out) {
    auto same = [&](int a, int b) { return memcmp(pixels + a * size, pixels + b * size, size) == 0; };
    int i = 0;
    while (i < count) {
        int run = 1;
        while (i + run < count && run < MAX_PACKET && same(i, i + run))
            run++;
        if (run >= 2) {
            out.push_back(uint8_t(0x80 | (run - 1)));
            out.insert(out.end(), pixels + i * size, pixels + (i + 1) * size);
            i += run;
            continue;
        }
        int end = i + 1;
        while (end < count && end - i < MAX_PACKET && !(end + 1 < count && same(end, end + 1)))
            end++;
        out.push_back(uint8_t(end - i - 1));
        out.insert(out.end(), pixels + i * size, pixels + end * size);
        i = end;
    }
}

std::vector<uint8_t> encodeTga(const Picture &picture, const TgaKind &kind) {
    StoredPixels stored = storedPixels(picture, kind);
    int size = kind.bitsPerPixel / 8;
    size_t idLength = kind.imageId.size() > 255 ? 255 : kind.imageId.size();

    std::vector<uint8_t> out(TGA_HEADER_SIZE, 0);
    out[TGA_ID_LENGTH] = uint8_t(idLength);
    out[TGA_COLORMAP_TYPE] = 0;
    out[TGA_IMAGE_TYPE] = uint8_t(kind.imageType);
    out[TGA_WIDTH] = uint8_t(picture.width);
    out[TGA_WIDTH + 1] = uint8_t(picture.width >> 8);
    out[TGA_HEIGHT] = uint8_t(picture.height);
    out[TGA_HEIGHT + 1] = uint8_t(picture.height >> 8);
    out[TGA_DEPTH] = uint8_t(kind.bitsPerPixel);
    // Low four bits: alpha bits per pixel. A 16-bit pixel's top bit carries no alpha here.
    out[TGA_DESCRIPTOR] = uint8_t((kind.bitsPerPixel == 32 ? 8 : 0) | (kind.topDown ? TGA_TOP_DOWN : 0));
    for (size_t i = 0; i < idLength; i++)
        out.push_back(uint8_t(kind.imageId[i]));

    // Rows in file order, packed.
    std::vector<uint8_t> packed(size_t(picture.width) * picture.height * size);
    for (int row = 0; row < picture.height; row++) {
        int source = kind.topDown ? row : picture.height - 1 - row;
        for (int x = 0; x < picture.width; x++) {
            size_t index = size_t(source) * picture.width + x;
            packPixel(&stored.values[index * stored.channels], kind.bitsPerPixel,
                      &packed[(size_t(row) * picture.width + x) * size]);
        }
    }

    if (kind.imageType != TGA_TRUECOLOR_RLE) {
        out.insert(out.end(), packed.begin(), packed.end());
    } else if (kind.packetsCrossRows) {
        encodePackets(packed.data(), picture.width * picture.height, size, out);
    } else {
        for (int row = 0; row < picture.height; row++)
            encodePackets(&packed[size_t(row) * picture.width * size], picture.width, size, out);
    }
    return out;
}

std::vector<uint8_t> encodePam(const StoredPixels &stored) {
    const char *tuple = stored.channels == 1 ? "GRAYSCALE" : stored.channels == 3 ? "RGB" : "RGB_ALPHA";
    char header[160];
    int length = snprintf(header, sizeof header, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL %d\nTUPLTYPE %s\nENDHDR\n",
                          stored.width, stored.height, stored.channels, stored.maxValue, tuple);
    std::vector<uint8_t> out(header, header + length);
    out.insert(out.end(), stored.values.begin(), stored.values.end());
    return out;
}

bool writeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) {
        printf("cannot write %s\n", path.c_str());
        return false;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = fclose(file) == 0 && ok;
    if (!ok)
        printf("write failed: %s\n", path.c_str());
    return ok;
}
