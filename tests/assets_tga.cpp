// assets_tga.cpp -- the TGA reader on hand-built files: every kind, packet and orientation
#include <gtest/gtest.h>

#include <memory>

#include "assets_fixtures.h"
#include "tga.h"

namespace {

struct Loaded {
    std::unique_ptr<TgaImage> image;
    std::string output;  // standard output: the greyscale notice
    std::string errors;  // standard error: the failures
    std::string path;
};

Loaded load(const Bytes &b, const std::string &name = "fixture.tga") {
    Loaded l;
    l.path = writeFile(tempPath(name), b);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    l.image.reset(new TgaImage(l.path.c_str()));
    fflush(stdout);
    l.errors = testing::internal::GetCapturedStderr();
    l.output = testing::internal::GetCapturedStdout();
    return l;
}

Loaded loadFixture(const std::string &name) {
    for (auto &f : tgaFixtures())
        if (f.first == name)
            return load(f.second, name);
    ADD_FAILURE() << "no fixture " << name;
    return Loaded();
}

// The pixel word at column x of row y, rows counted from the bottom (the GL order).
uint32_t at(const TgaImage &image, int x, int y) {
    return image.pixels[y * image.width + x];
}

void expectNoPixels(const Loaded &l) {
    EXPECT_EQ(l.image->pixels, nullptr);
    EXPECT_EQ(l.image->width, 0);
    EXPECT_EQ(l.image->height, 0);
}

}  // namespace

TEST(TgaKinds, TrueColour24) {
    Loaded l = loadFixture("rgb24.tga");
    ASSERT_NE(l.image->pixels, nullptr);
    EXPECT_EQ(l.image->width, 2);
    EXPECT_EQ(l.image->bytesPerPixel, 3);
    EXPECT_EQ(at(*l.image, 0, 0), 0xFF302010u);  // bytes 10 20 30: blue, green, red
    EXPECT_EQ(at(*l.image, 1, 1), 0xFF090807u);
    EXPECT_EQ(l.output, "");
}

TEST(TgaKinds, TrueColour16ExpandsFiveBitsToEight) {
    Loaded l = loadFixture("rgb16.tga");
    ASSERT_NE(l.image->pixels, nullptr);
    EXPECT_EQ(at(*l.image, 0, 0), 0xFFFFFFFFu);         // 0x7FFF: white, not 31 31 31
    EXPECT_EQ(at(*l.image, 1, 0), 0xFFAD0000u);         // red 21 becomes 173; bit 15 ignored
    EXPECT_EQ(l.image->bytesPerPixel, 2);
}

TEST(TgaKinds, TrueColour32KeepsAlphaInTheLowByte) {
    Loaded l = loadFixture("rgba32.tga");
    ASSERT_NE(l.image->pixels, nullptr);
    EXPECT_EQ(at(*l.image, 0, 0), 0x10203040u);
}

TEST(TgaKinds, GreyscalePrintsItsNoticeOnce) {
    Loaded l = loadFixture("grey8.tga");
    ASSERT_NE(l.image->pixels, nullptr);
    EXPECT_EQ(l.output, l.path + ": Reading grayscale tga\n");
    EXPECT_EQ(at(*l.image, 1, 0), 0xFF808080u);
    EXPECT_EQ(at(*l.image, 2, 0), 0xFFFFFFFFu);
}

TEST(TgaKinds, ImageIdIsSkipped) {
    Loaded l = loadFixture("id_field.tga");
    ASSERT_NE(l.image->pixels, nullptr);
    EXPECT_EQ(at(*l.image, 0, 0), 0xFF030201u);
}

// The same picture stored bottom-up, top-down and right-to-left comes out the same.
TEST(TgaOrientation, EveryOriginGivesTheSamePicture) {
    Loaded bottomUp = loadFixture("rgb24.tga");
    for (const char *name : {"rgb24_top_down.tga", "rgb24_right_left.tga"}) {
        Loaded other = loadFixture(name);
        ASSERT_NE(other.image->pixels, nullptr) << name;
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(other.image->pixels[i], bottomUp.image->pixels[i]) << name << " " << i;
    }
}

TEST(TgaPackets, RunsAndRawPacketsCrossRows) {
    Loaded l = loadFixture("rle32.tga");
    ASSERT_NE(l.image->pixels, nullptr);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(l.image->pixels[i], 0x10203040u) << i;  // run of 4 over a 3-wide row
    EXPECT_EQ(at(*l.image, 1, 1), 0x01020304u);
    EXPECT_EQ(at(*l.image, 2, 1), 0x05060708u);
    EXPECT_EQ(l.output, "");
}

TEST(TgaPackets, Raw128AndHeaderByteLimits) {
    Loaded l = loadFixture("rle16_raw_128.tga");  // 0x7F: a raw packet of 128 fills 16 x 8
    ASSERT_NE(l.image->pixels, nullptr);
    EXPECT_EQ(at(*l.image, 15, 7), 0xFF0018FFu);  // value 127: green 3 -> 24, blue 31 -> 255
    EXPECT_EQ(l.output, "");

    // 0x80 is a run of one, 0x00 a raw packet of one
    Loaded ones = load(tgaFile(10, 2, 1, 24, 0, Bytes().u8(0x80).u8(1).u8(1).u8(1)
                                                      .u8(0x00).u8(2).u8(2).u8(2)));
    EXPECT_EQ(ones.image->pixels[0], 0xFF010101u);
    EXPECT_EQ(ones.image->pixels[1], 0xFF020202u);
}

// A run longer than the store stops at its end, and the footer that follows is never
// taken for packets.
TEST(TgaPackets, DecodingStopsAtTheEndOfTheStore) {
    Loaded l = loadFixture("rle24_overrun_footer.tga");
    ASSERT_NE(l.image->pixels, nullptr);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(l.image->pixels[i], 0xFF030201u) << i;
    EXPECT_EQ(l.output, "");
}

TEST(TgaPackets, ShortDataIsReportedAndTheRestLeftBlack) {
    Loaded rle = loadFixture("rle24_truncated.tga");
    ASSERT_NE(rle.image->pixels, nullptr);
    EXPECT_EQ(rle.errors, rle.path + ": pixel data ends early (3 of 16 pixels)\n");
    EXPECT_EQ(rle.image->pixels[2], 0xFF030201u);
    EXPECT_EQ(rle.image->pixels[3], 0u);

    Loaded raw = loadFixture("raw24_truncated.tga");
    ASSERT_NE(raw.image->pixels, nullptr);
    EXPECT_EQ(raw.errors, raw.path + ": pixel data ends early (1 of 16 pixels)\n");

    Loaded bare = loadFixture("header_only.tga");
    EXPECT_EQ(bare.errors, bare.path + ": pixel data ends early (0 of 64 pixels)\n");
}

TEST(TgaRefused, UnsupportedKindsLeaveNoPixelsAndSaySo) {
    struct Case {
        const char *name;
        const char *message;
    } cases[] = {
        {"colormapped.tga", "colour-mapped images are not supported (type 1, 2 x 2, 8 bits per pixel)"},
        {"type11.tga", "this kind of image is not supported (type 11, 2 x 2, 8 bits per pixel)"},
        {"depth15.tga", "this kind of image is not supported (type 2, 2 x 2, 15 bits per pixel)"},
        {"huge.tga", "the image is too large (type 2, 65535 x 65535, 32 bits per pixel)"},
        {"zero_width.tga", "the image has no pixels (type 2, 0 x 5, 24 bits per pixel)"},
    };
    for (auto &c : cases) {
        Loaded l = loadFixture(c.name);
        expectNoPixels(l);
        EXPECT_EQ(l.errors, l.path + ": " + c.message + "\n");
    }
    // a header whose type byte no TGA file has, colour map or not
    Loaded random = load(tgaFile(87, 2, 2, 8, 0, Bytes().u8(0), 0, 1), "type87.tga");
    expectNoPixels(random);
    EXPECT_EQ(random.errors, random.path + ": not a TGA image type (type 87, 2 x 2, 8 bits per pixel)\n");
}

TEST(TgaRefused, MissingAndShortFiles) {
    testing::internal::CaptureStderr();
    TgaImage missing("data/textures/nothing.tga");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "data/textures/nothing.tga: No such file or directory\n");
    EXPECT_EQ(missing.pixels, nullptr);

    Loaded shortFile = load(Bytes().u8(0).u8(0).u8(2), "short.tga");
    expectNoPixels(shortFile);
    EXPECT_EQ(shortFile.errors,
              shortFile.path + ": not a TGA image (3 bytes, too short for the header)\n");
}

// Every prefix of every accepted fixture, read straight from memory, loads without a
// fault, and every message names the name the caller gave.
TEST(TgaRefused, EveryTruncationLoads) {
    for (auto &f : tgaFixtures()) {
        for (size_t n = 0; n < f.second.size() && n < 400; n++) {
            testing::internal::CaptureStdout();
            testing::internal::CaptureStderr();
            TgaImage image(f.second.data(), n, "prefix.tga");
            fflush(stdout);
            std::string output = testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout();
            EXPECT_TRUE(namesEveryMessage(output, "prefix.tga")) << output;
            EXPECT_EQ(image.pixels == nullptr, image.width == 0);
        }
    }
}
