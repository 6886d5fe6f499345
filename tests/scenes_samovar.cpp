// scenes_samovar.cpp -- the samovar scene: copies by row, their wobble, the balalaika
#include "scenes_gl.h"
#include "effects.h"
#include "player.h"
#include "scenes.h"
#include "scenestate.h"

#include <cmath>

using Markers = std::vector<int>;

static std::vector<ListCall> samovarFrame(int row) {
    return captureCalls([&] { samovarScene(4, row, 0); });
}

// Copies from k = 5 down to `low`, then the balalaika when asked.
static Markers expected(int low, bool balalaika) {
    Markers m;
    for (int k = 5; k >= low; k--)
        m.push_back(SAMOVAR_MARKER + k);
    if (balalaika)
        m.push_back(BALALAIKA_MARKER + 5);
    return m;
}

TEST_F(SceneTest, SamovarCopiesAndBalalaikaFollowTheRow) {
    EXPECT_EQ(markersOf(samovarFrame(0)), expected(0, false));
    EXPECT_EQ(markersOf(samovarFrame(3)), expected(0, false));
    EXPECT_EQ(markersOf(samovarFrame(4)), expected(0, true));
    EXPECT_EQ(markersOf(samovarFrame(11)), expected(0, false));
    EXPECT_EQ(markersOf(samovarFrame(12)), expected(1, true));
    EXPECT_EQ(markersOf(samovarFrame(19)), expected(1, false));
    EXPECT_EQ(markersOf(samovarFrame(20)), expected(2, true));
    EXPECT_EQ(markersOf(samovarFrame(43)), expected(4, false));
    EXPECT_EQ(markersOf(samovarFrame(44)), expected(5, true));
    EXPECT_EQ(markersOf(samovarFrame(51)), expected(5, false));
    EXPECT_EQ(markersOf(samovarFrame(52)), expected(6, true));
    EXPECT_EQ(markersOf(samovarFrame(53)), expected(6, false));
    EXPECT_EQ(markersOf(samovarFrame(59)), expected(6, false));
    EXPECT_EQ(markersOf(samovarFrame(60)), expected(6, true));
    EXPECT_EQ(markersOf(samovarFrame(63)), expected(6, false));
}

TEST_F(SceneTest, SamovarCopiesWobbleAboutTheDiagonalWithTheirPhase) {
    frameCounter = 37;
    samovarSpin = 42;
    std::vector<ListCall> calls = samovarFrame(5);
    ASSERT_EQ(calls.size(), 6u);
    for (int n = 0; n < 6; n++) {
        int k = 5 - n;
        double s = k * 0.65 + 0.75;
        double angle = 42 + 16 * std::cos((37 + 16 * k) * 3.14159 / 128);
        Mat want = scale(s, s, s) * rotate(angle, 1, 1, 1);
        EXPECT_LT(matDiff(calls[n].modelview, want), 2e-3) << "copy " << k;
    }
    // the scene adds its own counter step and turns the base angle by 6 degrees
    EXPECT_EQ(frameCounter, 38);
    EXPECT_FLOAT_EQ(samovarSpin, 48);
}

TEST_F(SceneTest, SamovarCounterRisesByTwoPerFrameWithTheDriversStep) {
    frameCounter = 100;
    for (int frame = 0; frame < 10; frame++) {
        captureCalls([] { samovarScene(5, 30, 0); });
        frameCounter++;  // the frame driver's own step at the end of every frame
    }
    EXPECT_EQ(frameCounter, 120);
}

TEST_F(SceneTest, SamovarBalalaikaShakesWithThreeDrawsYFirst) {
    std::vector<double> u = drawsAfterSeed(1234, 4);
    std::vector<ListCall> calls = samovarFrame(60);
    ASSERT_EQ(markersOf(calls), expected(6, true));
    double x = 0.2 - 0.4 * u[2], y = 0.15 - 0.3 * u[1];
    Mat want = rotate(10 - 20 * u[0], 1, 1, 1) * scale(3.75, 3.75, 3.75) * translate(x, y, 0);
    EXPECT_LT(matDiff(calls[0].modelview, want), 2e-3);
    // exactly three draws: the next one is the fourth
    EXPECT_DOUBLE_EQ(randomDraw(), u[3]);
}

TEST_F(SceneTest, SamovarClearsEverythingAndLeavesBlendingOnAndShadingFlat) {
    EXPECT_TRUE(clearsColour([] { samovarScene(4, 1, 0); }));
    EXPECT_TRUE(clearsDepth([] { samovarScene(4, 1, 0); }));
    samovarScene(4, 2, 0);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    GLint src, dst, shade;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(shade, GL_FLAT);
}
