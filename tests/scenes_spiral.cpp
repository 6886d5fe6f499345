// scenes_spiral.cpp -- the spiral: five copies, their swing, clears and state left behind
#include "scenes_gl.h"
#include "effects.h"
#include "player.h"
#include "scenes.h"
#include "scenestate.h"

#include <cmath>

static std::vector<ListCall> spiralFrame(int row) {
    return captureCalls([&] { spiralScene(14, row, 0); });
}

TEST_F(SceneTest, SpiralFiveCopiesSwingByTheCounter) {
    for (int counter : {0, 37, 1000}) {
        frameCounter = counter;
        std::vector<ListCall> calls = spiralFrame(1);
        ASSERT_EQ(markersOf(calls), std::vector<int>(5, SPIRAL_MARKER));
        for (int i = 0; i < 5; i++) {
            double s = 0.5 + 0.15 * i;
            double angle = 360 * std::cos((counter + 4 * i) * 3.14159 / 90);
            Mat want = rotate(angle, 0, 0, 1) * scale(s, s, s);
            EXPECT_LT(matDiff(calls[i].modelview, want), 2e-3) << "counter " << counter << " copy " << i;
        }
    }
    EXPECT_EQ(frameCounter, 1000) << "the spiral moved the counter";
}

TEST_F(SceneTest, SpiralCopyIsUnrotatedWhenItsStepIsAMultipleOf180) {
    // copy 1 at counter 176 and copy 4 at counter 344: a full turn
    frameCounter = 176;
    std::vector<ListCall> calls = spiralFrame(2);
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_LT(matDiff(calls[1].modelview, scale(0.65, 0.65, 0.65)), 1e-4);
    frameCounter = 344;
    calls = spiralFrame(2);
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_LT(matDiff(calls[4].modelview, scale(1.1, 1.1, 1.1)), 1e-4);
    // half way (90 steps) the swing is at the other extreme, again a full turn
    frameCounter = 90;
    calls = spiralFrame(2);
    EXPECT_LT(matDiff(calls[0].modelview, scale(0.5, 0.5, 0.5)), 1e-4);
    // a quarter of the way it passes zero
    frameCounter = 45;
    calls = spiralFrame(2);
    EXPECT_LT(matDiff(calls[0].modelview, scale(0.5, 0.5, 0.5)), 1e-3);
}

TEST_F(SceneTest, SpiralClearsColourOnlyEveryFourthRowAndLeavesBlendFlat) {
    for (int row = 0; row < 9; row++) {
        EXPECT_EQ(clearsColour([&] { spiralScene(14, row, 0); }), row % 4 == 0) << "row " << row;
        EXPECT_TRUE(clearsDepth([&] { spiralScene(14, row, 0); })) << "row " << row;
    }
    glShadeModel(GL_SMOOTH);
    spiralScene(15, 7, 0);
    GLint shade, src, dst;
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(shade, GL_FLAT);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
}
