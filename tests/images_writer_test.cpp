// images_writer_test.cpp -- the TGA writer checked byte by byte and through ImageMagick, the rasteriser, the portraits' faces
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "pictures.h"
#include "raster.h"
#include "tgaformat.h"
#include "tgawriter.h"

namespace {

// A picture with long runs, single odd pixels and a gradient, so that every packet shape
// and every channel value range appears.
Picture testPicture(int width, int height) {
    Picture p;
    p.width = width;
    p.height = height;
    p.rgba.resize(size_t(width) * height * 4);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            uint8_t *px = &p.rgba[(size_t(y) * width + x) * 4];
            if (y % 3 == 0) {  // one colour for the whole row: runs that reach the row end
                px[0] = uint8_t(40 * y), px[1] = 200, px[2] = 7, px[3] = 255;
            } else if (y % 3 == 1) {  // every pixel different: raw packets
                px[0] = uint8_t(x * 7 + y), px[1] = uint8_t(255 - x * 3), px[2] = uint8_t(x * x), px[3] = uint8_t(x * 11);
            } else {  // short runs of two and three, then single pixels
                int group = x < width / 2 ? x / 3 : x;
                px[0] = uint8_t(group * 29), px[1] = uint8_t(group * 13 + y), px[2] = 255, px[3] = uint8_t(group * 5);
            }
        }
    }
    return p;
}

Picture flat(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    Picture p;
    p.width = width;
    p.height = height;
    for (int i = 0; i < width * height; i++)
        p.rgba.insert(p.rgba.end(), {r, g, b, a});
    return p;
}

std::filesystem::path scratchFolder() {
    auto folder = std::filesystem::temp_directory_path() / ("images_writer_test." + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    return folder;
}

std::vector<uint8_t> readAll(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What ImageMagick makes of a TGA file, turned the right way up: 16-bit RGBA samples.
std::vector<uint16_t> readWithImageMagick(const std::vector<uint8_t> &file) {
    auto folder = scratchFolder();
    auto tga = folder / "in.tga", raw = folder / "out.rgba";
    std::ofstream(tga, std::ios::binary).write(reinterpret_cast<const char *>(file.data()), file.size());
    std::string command = "convert '" + tga.string() + "' -auto-orient -depth 16 -endian MSB 'rgba:" + raw.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<uint8_t> bytes = readAll(raw);
    std::filesystem::remove_all(folder);
    std::vector<uint16_t> samples;
    // Big-endian as asked: left alone, a TGA source would hand its own little-endian order on.
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        samples.push_back(uint16_t(bytes[i] << 8 | bytes[i + 1]));
    return samples;
}

// The 16-bit samples the stored values stand for; RGB and grey come out opaque.
std::vector<uint16_t> expectedSamples(const StoredPixels &s) {
    std::vector<uint16_t> out;
    auto scale = [&](int v) { return uint16_t((v * 65535 + s.maxValue / 2) / s.maxValue); };
    for (int i = 0; i < s.width * s.height; i++) {
        const uint8_t *v = &s.values[size_t(i) * s.channels];
        if (s.channels == 1)
            out.insert(out.end(), {scale(v[0]), scale(v[0]), scale(v[0]), 65535});
        else
            out.insert(out.end(), {scale(v[0]), scale(v[1]), scale(v[2]), s.channels == 4 ? scale(v[3]) : uint16_t(65535)});
    }
    return out;
}

}  // namespace

TEST(TgaWriter, HeaderFields) {
    Picture p = flat(300, 2, 1, 2, 3, 4);
    TgaKind kind{TGA_TRUECOLOR_RLE, 32, true, false, "name"};
    std::vector<uint8_t> f = encodeTga(p, kind);
    ASSERT_GE(f.size(), size_t(TGA_HEADER_SIZE + 4));
    EXPECT_EQ(f[TGA_ID_LENGTH], 4);
    EXPECT_EQ(f[TGA_COLORMAP_TYPE], 0);
    EXPECT_EQ(f[TGA_IMAGE_TYPE], 10);
    EXPECT_EQ(f[TGA_WIDTH] | f[TGA_WIDTH + 1] << 8, 300);
    EXPECT_EQ(f[TGA_HEIGHT] | f[TGA_HEIGHT + 1] << 8, 2);
    EXPECT_EQ(f[TGA_DEPTH], 32);
    EXPECT_EQ(f[TGA_DESCRIPTOR], TGA_TOP_DOWN | 8);  // top-down, eight alpha bits
    EXPECT_EQ(std::string(f.begin() + TGA_HEADER_SIZE, f.begin() + TGA_HEADER_SIZE + 4), "name");
    // Colour-map fields and origin stay zero.
    for (int i = 3; i < TGA_WIDTH; i++)
        EXPECT_EQ(f[i], 0) << "offset " << i;

    std::vector<uint8_t> g = encodeTga(p, TgaKind{TGA_TRUECOLOR, 24, false, false, ""});
    EXPECT_EQ(g[TGA_ID_LENGTH], 0);
    EXPECT_EQ(g[TGA_DESCRIPTOR], 0);
    EXPECT_EQ(g.size(), size_t(TGA_HEADER_SIZE + 300 * 2 * 3));
    std::vector<uint8_t> grey = encodeTga(p, TgaKind{TGA_GRAYSCALE, 8, false, false, ""});
    EXPECT_EQ(grey[TGA_IMAGE_TYPE], 3);
    EXPECT_EQ(grey.size(), size_t(TGA_HEADER_SIZE + 300 * 2));
}

TEST(TgaWriter, PixelLayoutsAndRowOrder) {
    // Two rows: top red-ish, bottom blue-ish.
    Picture p = flat(1, 2, 0, 0, 0, 0);
    uint8_t top[4] = {0x30, 0x20, 0x10, 0x40}, bottom[4] = {0xFF, 0x80, 0x00, 0xFF};
    std::copy(top, top + 4, p.rgba.begin());
    std::copy(bottom, bottom + 4, p.rgba.begin() + 4);

    std::vector<uint8_t> f32 = encodeTga(p, TgaKind{TGA_TRUECOLOR, 32, false, false, ""});
    // Bottom-up: the bottom row comes first, as blue, green, red, alpha.
    EXPECT_EQ(std::vector<uint8_t>(f32.begin() + 18, f32.end()), (std::vector<uint8_t>{0x00, 0x80, 0xFF, 0xFF, 0x10, 0x20, 0x30, 0x40}));
    std::vector<uint8_t> f24 = encodeTga(p, TgaKind{TGA_TRUECOLOR, 24, true, false, ""});
    EXPECT_EQ(std::vector<uint8_t>(f24.begin() + 18, f24.end()), (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x00, 0x80, 0xFF}));
    // 16 bits: 0xFF -> 31, 0x80 -> 16, 0x00 -> 0, packed as 1 RRRRR GGGGG BBBBB, little-endian.
    std::vector<uint8_t> f16 = encodeTga(p, TgaKind{TGA_TRUECOLOR, 16, false, false, ""});
    unsigned word = f16[18] | f16[19] << 8;
    EXPECT_EQ(word, 0x8000u | 31u << 10 | 16u << 5 | 0u);
    // Grey keeps the level of a grey pixel exactly and weighs green most.
    Picture g = flat(3, 1, 0, 0, 0, 255);
    uint8_t levels[3][3] = {{77, 77, 77}, {255, 0, 0}, {0, 255, 0}};
    for (int i = 0; i < 3; i++)
        std::copy(levels[i], levels[i] + 3, g.rgba.begin() + i * 4);
    std::vector<uint8_t> f8 = encodeTga(g, TgaKind{TGA_GRAYSCALE, 8, false, false, ""});
    EXPECT_EQ(f8[18], 77);
    EXPECT_EQ(f8[19], 77);
    EXPECT_EQ(f8[20], 149);
}

TEST(TgaWriter, RunLengthPackets) {
    // 300 equal pixels in one row: runs of 128, 128 and 44 pixels (headers 0xFF 0xFF 0xAB).
    std::vector<uint8_t> f = encodeTga(flat(300, 1, 9, 8, 7, 255), TgaKind{TGA_TRUECOLOR_RLE, 24, false, false, ""});
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 18, f.end()),
              (std::vector<uint8_t>{0xFF, 7, 8, 9, 0xFF, 7, 8, 9, 0xAB, 7, 8, 9}));

    // 130 pixels, no two neighbours equal: a raw packet of 128 (0x7F), then one of 2 (0x01).
    Picture alternating = flat(130, 1, 0, 0, 0, 255);
    for (int x = 0; x < 130; x++)
        alternating.rgba[x * 4] = uint8_t(x % 2 ? 200 : 100);
    std::vector<uint8_t> a = encodeTga(alternating, TgaKind{TGA_TRUECOLOR_RLE, 32, false, false, ""});
    ASSERT_EQ(a.size(), size_t(18 + 1 + 128 * 4 + 1 + 2 * 4));
    EXPECT_EQ(a[18], 0x7F);
    EXPECT_EQ(a[18 + 1 + 128 * 4], 0x01);

    // A lone pixel between runs is a raw packet of one (0x00); a pair is a run of two (0x81).
    Picture mixed = flat(4, 1, 5, 5, 5, 255);
    mixed.rgba[0] = 200;
    std::vector<uint8_t> m = encodeTga(mixed, TgaKind{TGA_TRUECOLOR_RLE, 16, false, false, ""});
    ASSERT_EQ(m.size(), size_t(18 + 3 + 3));
    EXPECT_EQ(m[18], 0x00);
    EXPECT_EQ(m[21], 0x82);

    // Three rows of 100 equal pixels: kept within rows, three runs of 100; over row ends,
    // runs of 128, 128 and 44.
    Picture rows = flat(100, 3, 1, 1, 1, 255);
    std::vector<uint8_t> within = encodeTga(rows, TgaKind{TGA_TRUECOLOR_RLE, 24, false, false, ""});
    std::vector<uint8_t> across = encodeTga(rows, TgaKind{TGA_TRUECOLOR_RLE, 24, false, true, ""});
    EXPECT_EQ(within.size(), size_t(18 + 3 * 4));
    EXPECT_EQ(within[18], 0x80 | 99);
    EXPECT_EQ(across.size(), size_t(18 + 3 * 4));
    EXPECT_EQ(across[18], 0xFF);
    EXPECT_EQ(across[26], 0x80 | 43);
}

// Every kind the presentation reads, both row orders, packets within and across rows:
// ImageMagick must read back exactly the values the writer meant to store.
TEST(TgaWriter, ImageMagickReadsEveryKind) {
    struct Case {
        int type, bits;
    } cases[] = {{TGA_TRUECOLOR, 16}, {TGA_TRUECOLOR, 24}, {TGA_TRUECOLOR, 32}, {TGA_GRAYSCALE, 8},
                 {TGA_TRUECOLOR_RLE, 16}, {TGA_TRUECOLOR_RLE, 24}, {TGA_TRUECOLOR_RLE, 32}};
    Picture p = testPicture(150, 7);  // wider than a packet, an odd number of rows
    for (const Case &c : cases) {
        for (int topDown = 0; topDown < 2; topDown++) {
            for (int cross = 0; cross < 2; cross++) {
                TgaKind kind{c.type, c.bits, topDown == 1, cross == 1, cross ? "an image ID" : ""};
                SCOPED_TRACE("type " + std::to_string(c.type) + ", " + std::to_string(c.bits) + " bits, top-down " +
                             std::to_string(topDown) + ", across rows " + std::to_string(cross));
                std::vector<uint16_t> read = readWithImageMagick(encodeTga(p, kind));
                std::vector<uint16_t> expected = expectedSamples(storedPixels(p, kind));
                ASSERT_EQ(read.size(), expected.size());
                size_t first = std::mismatch(read.begin(), read.end(), expected.begin()).first - read.begin();
                EXPECT_EQ(first, read.size()) << "first difference at sample " << first << ": " << read[first]
                                              << " != " << expected[first];
            }
        }
    }
}

TEST(TgaWriter, PamOfStoredValues) {
    Picture p = flat(2, 1, 255, 128, 0, 10);
    StoredPixels s = storedPixels(p, TgaKind{TGA_TRUECOLOR, 16, false, false, ""});
    std::vector<uint8_t> pam = encodePam(s);
    std::string text(pam.begin(), pam.end());
    EXPECT_EQ(text.rfind("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 31\nTUPLTYPE RGB\nENDHDR\n", 0), 0u);
    EXPECT_EQ(std::vector<uint8_t>(pam.end() - 6, pam.end()), (std::vector<uint8_t>{31, 16, 0, 31, 16, 0}));
}

TEST(Raster, CoverageMatchesArea) {
    // Anti-aliased coverage should add up to the shapes' true areas.
    auto area = [](const Shape &shape) {
        Canvas c(64, 64);
        c.fill(shape, rgb(1, 1, 1));
        Picture p = c.picture();
        double sum = 0;
        for (size_t i = 3; i < p.rgba.size(); i += 4)
            sum += p.rgba[i] / 255.0;
        return sum;
    };
    EXPECT_NEAR(area(circle(32, 32, 20)), 3.14159265 * 400, 4);
    EXPECT_NEAR(area(ellipse(32, 32, 25, 10, 30)), 3.14159265 * 250, 4);
    EXPECT_NEAR(area(box(32.3, 31.7, 20, 10, 0, 0)), 800, 1);
    EXPECT_NEAR(area(polygon({{10, 10}, {50, 10}, {10, 50}})), 800, 2);
    EXPECT_NEAR(area(line(10, 20, 50, 20, 4)), 40 * 4 + 3.14159265 * 4, 2);
    EXPECT_NEAR(area(subtract(circle(32, 32, 20), circle(32, 32, 10))), 3.14159265 * 300, 4);
}

TEST(Raster, CompositesOverAndMasks) {
    Canvas c(4, 4);
    c.clear(rgb(1, 0, 0));
    c.fill(box(2, 2, 4, 4), rgb(0, 0, 1, 0.5));
    c.mask(box(1, 2, 1, 4));  // keep the left two columns
    Picture p = c.picture();
    // Half blue over red, opaque; outside the mask fully transparent.
    EXPECT_EQ(p.rgba[0], 128);
    EXPECT_EQ(p.rgba[2], 128);
    EXPECT_EQ(p.rgba[3], 255);
    EXPECT_EQ(p.rgba[3 * 4 + 3], 0);
}

// The portrait scroller draws square i (portrait 5, 6, 4, 3, 2, 1 in that order) at x from
// 3i - 8, 0.05 further left each frame and back at 11 below -8, 2 units below the view axis,
// rocking by 32 sin(phase) degrees and 8 + cos(phase) units wide, phase = (frame + 32 i)
// pi / 128. The camera (45 degrees high, 4:3, 5 units away) sees |x| < 2.76, |y| < 2.07 of
// that plane, only the upper half of each picture. Whenever a face's centre passes through
// the window, its eyes and its mouth must lie within the window's height: a face drawn
// lower would be in the picture but never on screen.
TEST(Portraits, FacesSitInTheBandTheScrollerShows) {
    const int portraitOfSquare[6] = {5, 6, 4, 3, 2, 1};
    const double halfHeight = 5 * std::tan(22.5 * 3.14159265 / 180), halfWidth = halfHeight * 4 / 3;
    const double margin = 0.15;  // a feature at the very edge is cut in half
    for (int square = 0; square < 6; square++) {
        FaceMarks face = portraitFace(portraitOfSquare[square]);
        Point centre = {(face.leftEye.x + face.rightEye.x + 2 * face.mouth.x) / 4,
                        (face.leftEye.y + face.rightEye.y + 2 * face.mouth.y) / 4};
        double x = 3 * square - 8;
        int passFrames = 0, inBand = 0, whole = 0;
        for (int frame = 0; frame < 3 * 380; frame++) {
            double phase = (frame + 32 * square) * 3.14159 / 128;
            double turn = 32 * std::sin(phase) * 3.14159265 / 180, size = 8 + std::cos(phase);
            auto world = [&](Point p) {
                // texture coordinates: t grows upwards, the picture's top row is t = 1
                double u = (p.x / 256 - 0.5) * size, v = (0.5 - p.y / 256) * size;
                return Point{x + u * std::cos(turn) - v * std::sin(turn), -2 + u * std::sin(turn) + v * std::cos(turn)};
            };
            if (std::fabs(world(centre).x) < halfWidth - margin) {
                passFrames++;
                bool high = true, wide = true;
                for (Point p : {face.leftEye, face.rightEye, face.mouth}) {
                    high = high && std::fabs(world(p).y) < halfHeight - margin;
                    wide = wide && std::fabs(world(p).x) < halfWidth - margin;
                }
                inBand += high;
                whole += high && wide;
            }
            x -= 0.05;
            if (x < -8)
                x = 11;
        }
        std::printf("portrait %d: %d frames passing; eyes and mouth within the height in %.0f%%, wholly in the "
                    "window in %.0f%%\n",
                    portraitOfSquare[square], passFrames, 100.0 * inBand / passFrames, 100.0 * whole / passFrames);
        EXPECT_GE(inBand, passFrames * 9 / 10) << "portrait " << portraitOfSquare[square];
    }
}
