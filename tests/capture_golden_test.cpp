// capture_golden_test.cpp -- captured frames of the real presentation against reference pictures
//
// One capture of the real data at 10 frames per second; the title, one frame per scene (a
// second and a half into it) and one of the end part are compared with the PNGs in
// tests/golden. A change that alters a scene's look fails here until the references are
// renewed on purpose:
//     CAPTURE_RENEW_GOLDEN=1 xvfb-run -a capture_golden_test    (from the project root)
// then look at the new pictures before committing them.
#include "capture_media.h"
#include "player.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

static const int FPS = 10;
static const int WIDTH = 640, HEIGHT = 480;
// A pixel counts as changed when a channel moves by more than this; rasterisers may differ
// in edge coverage and rounding, so a few such pixels are allowed.
static const int PIXEL_TOLERANCE = 48;
static const double CHANGED_SHARE = 0.005;

struct GoldenFrame {
    std::string name;  // tests/golden/NAME.png
    int64_t frame;     // frame index in the capture
};

// Seconds from the module's start to an order and row, as libopenmpt counts them.
static double rowTime(const std::vector<uint8_t> &module, int order, int row) {
    openmpt::module m(module);
    return m.set_position_order_row(order, row);
}

TEST(Golden, OneFramePerSceneMatchesItsReference) {
    std::vector<uint8_t> module;
    {
        std::string text = readFileText("data/compruss.xm");
        module.assign(text.begin(), text.end());
    }
    ASSERT_FALSE(module.empty()) << "run from the project root, with the data in data/";

    // the title, alone, early in order 0 rows 0 to 3
    std::vector<GoldenFrame> golden = {{"title", llround((rowTime(module, 0, 2) + 0.06) * FPS)}};
    for (int i = 0; SceneTable[i].render; i++) {
        double t = rowTime(module, SceneTable[i].order, SceneTable[i].row) + 1.5;
        golden.push_back({"scene" + std::to_string(i), llround(t * FPS)});
    }
    // six seconds into the end part the first words have been shown
    double endPart = rowTime(module, TIMELINE_END_ORDER, TIMELINE_END_ROW) + 6.0;
    golden.push_back({"endpart", llround(endPart * FPS)});

    char dir[] = "/tmp/vortazov-golden-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    std::string work = dir;
    char here[4096];
    ASSERT_TRUE(getcwd(here, sizeof here));
    std::string root = here;
    // the capture runs in the project root (for data/) and writes into the scratch folder
    char from[32], to[32];
    snprintf(from, sizeof from, "%.3f", double(golden.front().frame) / FPS);
    snprintf(to, sizeof to, "%.3f", double(golden.back().frame + 1) / FPS);
    // the references are the live window's look: one sample per pixel
    std::string arguments = "'" + work + "/golden.mkv' --fps " + std::to_string(FPS) + " --supersample 1 --from " +
                            from + " --to " + to;
    ASSERT_EQ(0, runProgram(CAPTURE_PROGRAM, root, arguments, work + "/golden"))
        << readFileText(work + "/golden.err");

    std::vector<std::vector<uint8_t>> frames = decodeFrames(work + "/golden.mkv", WIDTH, HEIGHT);
    int64_t first = golden.front().frame;
    ASSERT_EQ(size_t(golden.back().frame + 1 - first), frames.size());

    bool renew = getenv("CAPTURE_RENEW_GOLDEN") != nullptr;
    for (const GoldenFrame &g : golden) {
        const std::vector<uint8_t> &captured = frames[size_t(g.frame - first)];
        std::string reference = root + "/tests/golden/" + g.name + ".png";
        if (renew) {
            EXPECT_TRUE(writePicture(reference, captured, WIDTH, HEIGHT)) << reference;
            printf("renewed %s from frame %lld\n", reference.c_str(), (long long)g.frame);
            continue;
        }
        std::vector<std::vector<uint8_t>> expected = decodeFrames(reference, WIDTH, HEIGHT);
        ASSERT_EQ(1u, expected.size()) << "no reference " << reference
                                       << " (make it with CAPTURE_RENEW_GOLDEN=1)";
        size_t changed = 0;
        for (size_t p = 0; p < captured.size(); p += 3) {
            int worst = 0;
            for (int c = 0; c < 3; c++)
                worst = std::max(worst, std::abs(int(captured[p + c]) - int(expected[0][p + c])));
            changed += worst > PIXEL_TOLERANCE;
        }
        double share = double(changed) / (WIDTH * HEIGHT);
        std::string saved = work + "/" + g.name + "-captured.png";
        if (share > CHANGED_SHARE)
            writePicture(saved, captured, WIDTH, HEIGHT);
        EXPECT_LE(share, CHANGED_SHARE) << g.name << " (frame " << g.frame << "): " << changed
                                        << " pixels differ from " << reference << "; captured: " << saved;
    }
    // the scratch folder stays for a look when something differed
    if (!HasFailure()) {
        std::string remove = "rm -rf '" + work + "'";
        EXPECT_EQ(0, system(remove.c_str()));
    }
}
