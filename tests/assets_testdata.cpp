// assets_testdata.cpp -- the readers on real files from other tools, against their values
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "lwo2.h"
#include "tga.h"

// Expected values come from ../shared/testdata/manifest.json (the counts of each file's
// last PNTS and POLS chunks, the sub-chunks of its texture blocks, and sample pixels that
// Pillow and ImageMagick read from each image).

namespace {

const std::string root = "../shared/testdata/";

std::string captured(const std::function<void()> &work) {
    testing::internal::CaptureStdout();
    work();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// What the work reports on standard error: the readers' failures.
std::string failures(const std::function<void()> &work) {
    testing::internal::CaptureStderr();
    work();
    return testing::internal::GetCapturedStderr();
}

// A texture block as "HEADER:header sub-chunks:block sub-chunks".
const char *imapUv = "IMAP:CHAN,OPAC,ENAB,NEGA:TMAP,PROJ,AXIS,IMAG,WRAP,WRPW,WRPH,VMAP,AAST,PIXB";
const char *imapPlain = "IMAP:CHAN,OPAC,ENAB,NEGA:TMAP,PROJ,AXIS,IMAG,WRAP,WRPW,WRPH,AAST,PIXB";
const char *proc = "PROC:CHAN,OPAC,ENAB,NEGA:TMAP,AXIS,VALU,FUNC";

struct LwoCase {
    const char *file;
    unsigned int points;
    int polygons;
    const char *sizes;  // vertex count:polygons of the last POLS chunk
    std::vector<std::string> blocks;
};

const LwoCase lwoCases[] = {
    {"lwo2/hierarchy.lwo", 8, 6, "4:6", {}},
    {"lwo2/subdivision_ptch.lwo", 26, 24, "4:24", {}},
    {"lwo2/uvtest.lwo", 64, 16, "4:16", {imapUv, imapUv, imapUv, imapUv, imapUv, imapUv, imapUv, imapUv,
                                          imapUv, imapUv, imapUv, imapUv, imapUv, imapUv, imapUv, imapUv}},
    {"lwo2/ugly_vertex_colors.lwo", 1628, 1735, "3:288 4:1446 24:1", {imapPlain}},
    {"lwo2/super_cell_shader.lwo", 16, 12, "4:12", {"SHDR:ENAB:FUNC"}},
    {"lwo2/sphere_with_gradient.lwo", 266, 288, "3:48 4:240", {}},
    {"lwo2/earth_planar_z.lwo", 266, 288, "3:48 4:240", {imapPlain}},
    {"lwo2/concave_polygon.lwo", 64, 1, "66:1", {}},
    {"lwo2/box_2vc_1unused.lwo", 218, 195, "4:192 18:3", {imapUv}},
    {"lwo2/transparency.lwo", 274, 294, "3:48 4:246", {}},
    {"lwo2/bil_box4_uv_layers.lwo", 175, 89, "4:87 89:2", {imapUv}},
    {"lwo2/bil_ngon0_proc.lwo", 133, 1, "143:1", {proc, imapPlain, proc, imapPlain}},
    {"lwo2/bil_naming_box0_envl.lwo", 8, 6, "4:6", {imapUv}},
};

// Rebuilds the block structure from the dump: a header line (two tabs) opens a block,
// the three-tab lines right under it are its header sub-chunks, and the later two-tab
// lines are the block's own sub-chunks (the texture map's lines are left out).
std::vector<std::string> blocksFromDump(const std::string &dump) {
    std::vector<std::string> blocks;
    std::istringstream lines(dump);
    std::string line, head, body;
    bool inHeader = false;
    auto flush = [&] {
        if (!head.empty())
            blocks.push_back(head + ":" + body);
        head.clear();
        body.clear();
    };
    while (std::getline(lines, line)) {
        if (line.compare(0, 3, "\t\t[") == 0) {
            std::string id = line.substr(3, 4);
            if (id == "IMAP" || id == "PROC" || id == "GRAD" || id == "SHDR") {
                flush();
                head = id + ":";
                inHeader = true;
            } else {
                inHeader = false;
                body += (body.empty() ? "" : ",") + id;
            }
        } else if (line.compare(0, 4, "\t\t\t[") == 0) {
            if (inHeader)
                head += (head.back() == ':' ? "" : ",") + line.substr(4, 4);
        } else {
            ADD_FAILURE() << "unexpected line: " << line;
        }
    }
    flush();
    return blocks;
}

struct TgaSample {
    int x, y;  // display pixel, from the top-left corner
    int rgba[4];
};

struct TgaCase {
    const char *file;
    int width, height, depth;
    std::vector<TgaSample> samples;
};

const TgaCase tgaCases[] = {
    {"tga/tv_utc16.tga", 128, 128, 16, {{0, 127, {255, 0, 0, 255}},
      {127, 127, {255, 255, 255, 255}},
      {0, 0, {255, 0, 0, 255}},
      {64, 63, {255, 0, 0, 255}},
      {8, 127, {0, 255, 0, 255}}}},
    {"tga/tv_utc24.tga", 128, 128, 24, {{0, 127, {255, 0, 0, 255}},
      {127, 127, {255, 255, 255, 255}},
      {0, 0, {255, 0, 0, 255}},
      {64, 63, {255, 0, 0, 255}},
      {8, 127, {0, 255, 0, 255}}}},
    {"tga/tv_utc32.tga", 128, 128, 32, {{0, 127, {255, 0, 0, 0}},
      {127, 127, {255, 255, 255, 0}},
      {0, 0, {255, 0, 0, 0}},
      {64, 63, {255, 0, 0, 0}},
      {8, 127, {0, 255, 0, 0}}}},
    {"tga/tv_ubw8.tga", 128, 128, 8, {{0, 127, {76, 76, 76, 255}},
      {127, 127, {254, 254, 254, 255}},
      {0, 0, {76, 76, 76, 255}},
      {64, 63, {76, 76, 76, 255}},
      {8, 127, {149, 149, 149, 255}}}},
    {"tga/tv_ctc16.tga", 128, 128, 16, {{0, 127, {255, 0, 0, 255}},
      {127, 127, {255, 255, 255, 255}},
      {0, 0, {255, 0, 0, 255}},
      {64, 63, {255, 0, 0, 255}},
      {8, 127, {0, 255, 0, 255}}}},
    {"tga/tv_ctc24.tga", 128, 128, 24, {{0, 127, {255, 0, 0, 255}},
      {127, 127, {255, 255, 255, 255}},
      {0, 0, {255, 0, 0, 255}},
      {64, 63, {255, 0, 0, 255}},
      {8, 127, {0, 255, 0, 255}}}},
    {"tga/tv_ctc32.tga", 128, 128, 32, {{0, 127, {255, 0, 0, 0}},
      {127, 127, {255, 255, 255, 0}},
      {0, 0, {255, 0, 0, 0}},
      {64, 63, {255, 0, 0, 0}},
      {8, 127, {0, 255, 0, 0}}}},
    {"tga/go_rgb24_top_left.tga", 64, 64, 24, {{0, 0, {255, 255, 255, 255}},
      {63, 0, {255, 255, 255, 255}},
      {0, 63, {255, 255, 255, 255}},
      {32, 32, {12, 0, 255, 255}},
      {31, 16, {12, 0, 255, 255}}}},
    {"tga/go_rgb32_top_left_rle.tga", 64, 64, 32, {{0, 0, {255, 255, 255, 0}},
      {63, 0, {255, 255, 255, 0}},
      {0, 63, {255, 255, 255, 0}},
      {32, 32, {12, 0, 255, 255}},
      {31, 16, {12, 0, 255, 255}}}},
    {"tga/pil_200x32_rgba_tl_raw.tga", 200, 32, 32, {{0, 0, {9, 41, 4, 255}},
      {199, 0, {95, 154, 20, 255}},
      {0, 31, {8, 49, 3, 255}},
      {100, 16, {193, 71, 46, 51}},
      {1, 0, {9, 43, 4, 255}}}},
    {"tga/pil_200x32_rgba_bl_rle.tga", 200, 32, 32, {{0, 31, {8, 49, 3, 255}},
      {199, 31, {93, 130, 2, 255}},
      {0, 0, {9, 41, 4, 255}},
      {100, 15, {194, 71, 46, 52}},
      {1, 31, {7, 50, 3, 255}}}},
    {"tga/pil_200x32_l_tl_raw.tga", 200, 32, 8, {{0, 0, {0, 0, 0, 255}},
      {199, 0, {4, 4, 4, 255}},
      {0, 31, {2, 2, 2, 255}},
      {100, 16, {227, 227, 227, 255}},
      {150, 0, {255, 255, 255, 255}}}},
    {"tga/pil_tga_id_field.tga", 100, 100, 24, {{0, 99, {255, 255, 255, 255}},
      {99, 99, {255, 255, 255, 255}},
      {0, 0, {255, 255, 255, 255}},
      {50, 49, {255, 255, 255, 255}},
      {33, 43, {234, 234, 234, 255}}}},
    {"tga/pil_rgba16.tga", 2, 1, 16, {{0, 0, {172, 0, 255, 255}},
      {1, 0, {0, 255, 82, 255}}}},
    {"tga/irs_top_right.tga", 75, 70, 32, {{74, 0, {255, 255, 255, 0}},
      {0, 0, {255, 255, 255, 0}},
      {74, 69, {255, 255, 255, 0}},
      {37, 35, {75, 154, 191, 255}},
      {0, 4, {75, 151, 189, 14}}}},
};

}  // namespace

TEST(TestdataLwo2, CountsAndTextureBlocksMatchTheManifest) {
    for (const LwoCase &c : lwoCases) {
        std::unique_ptr<LwoObject> o;
        std::string dump = captured([&] { o.reset(new LwoObject((root + c.file).c_str())); });
        EXPECT_EQ(o->pointCount, c.points) << c.file;
        EXPECT_EQ(o->polygonCount, c.polygons) << c.file;
        std::map<int, int> sizes;
        int listed = 0;
        for (LwoPolygon *p = o->polygons; p; p = p->next, listed++) {
            sizes[p->vertexCount]++;
            for (int i = 0; i < p->vertexCount; i++)
                EXPECT_LT(unsigned(p->vertices[i]), o->pointCount) << c.file;
        }
        EXPECT_EQ(listed, c.polygons) << c.file;
        std::string histogram;
        for (auto &s : sizes)
            histogram += (histogram.empty() ? "" : " ") + std::to_string(s.first) + ":" +
                         std::to_string(s.second);
        EXPECT_EQ(histogram, c.sizes) << c.file;
        EXPECT_EQ(blocksFromDump(dump), c.blocks) << c.file << "\n" << dump;
    }
}

TEST(TestdataLwo2, OldFormatIsRefused) {
    for (const char *file : {"lwo2/lwob_concave_polygon.lwo", "lwo2/lwob_blue_cyl_tex.lwo"}) {
        std::unique_ptr<LwoObject> o;
        std::string out = failures([&] { o.reset(new LwoObject((root + file).c_str())); });
        EXPECT_EQ(out, root + file + ": not an LWO2 object (form type LWOB)\n");
        EXPECT_EQ(o->pointCount, 0u);
        EXPECT_EQ(o->polygons, nullptr);
    }
}

// Sample pixels in display coordinates; the store's first row is the picture's bottom
// row. 16-bit files may differ by one from Pillow, which rounds 5-bit values down where
// we repeat the top bits (21 gives 172 there, 173 here).
TEST(TestdataTga, AcceptedKindsDecodeToTheManifestPixels) {
    for (const TgaCase &c : tgaCases) {
        std::unique_ptr<TgaImage> image;
        captured([&] { image.reset(new TgaImage((root + c.file).c_str())); });
        ASSERT_NE(image->pixels, nullptr) << c.file;
        EXPECT_EQ(image->width, c.width) << c.file;
        EXPECT_EQ(image->height, c.height) << c.file;
        EXPECT_EQ(image->bitsPerPixel, c.depth) << c.file;
        for (const TgaSample &s : c.samples) {
            uint32_t w = image->pixels[(c.height - 1 - s.y) * c.width + s.x];
            int got[4];
            if (image->bytesPerPixel >= 4) {
                got[0] = (w >> 8) & 0xFF, got[1] = (w >> 16) & 0xFF, got[2] = w >> 24;
                got[3] = w & 0xFF;
            } else {
                got[0] = (w >> 16) & 0xFF, got[1] = (w >> 8) & 0xFF, got[2] = w & 0xFF;
                got[3] = w >> 24;
            }
            int slack = c.depth == 16 ? 1 : 0;
            for (int k = 0; k < 4; k++)
                EXPECT_NEAR(got[k], s.rgba[k], slack)
                    << c.file << " pixel (" << s.x << "," << s.y << ") channel " << k;
        }
    }
}

// The same picture stored top-down raw and bottom-up run-length: every pixel agrees.
TEST(TestdataTga, TwoOriginsOfOnePictureAgree) {
    std::unique_ptr<TgaImage> a, b;
    captured([&] {
        a.reset(new TgaImage((root + "tga/pil_200x32_rgba_tl_raw.tga").c_str()));
        b.reset(new TgaImage((root + "tga/pil_200x32_rgba_bl_rle.tga").c_str()));
    });
    ASSERT_NE(a->pixels, nullptr);
    ASSERT_NE(b->pixels, nullptr);
    int differ = 0;
    for (int i = 0; i < 200 * 32; i++)
        differ += a->pixels[i] != b->pixels[i];
    EXPECT_EQ(differ, 0);
}

TEST(TestdataTga, UnsupportedAndMalformedFilesLoadWithoutACrash) {
    const char *files[] = {"tga/tv_ucm8.tga", "tga/tv_ccm8.tga", "tga/tv_cbw8.tga",
                           "tga/go_rgb24_colormap.tga", "tga/go_mono16_top_left.tga",
                           "tga/pil_cross_scan_line.tga", "tga/pil_p_8_header_only.tga",
                           "tga/irs_slice_copy_length.tga"};
    for (const char *file : files) {
        std::unique_ptr<TgaImage> image;
        std::string out = failures([&] { image.reset(new TgaImage((root + file).c_str())); });
        EXPECT_EQ(image->pixels, nullptr) << file;
        EXPECT_EQ(out.compare(0, root.size() + strlen(file), root + file), 0) << out;
    }
    std::unique_ptr<TgaImage> overfull;
    std::string out = failures(
        [&] { overfull.reset(new TgaImage((root + "tga/irs_overfull_image.tga").c_str())); });
    EXPECT_NE(out.find("pixel data ends early"), std::string::npos) << out;
}
