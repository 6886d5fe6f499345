// scenes_swarm.cpp -- the sirppijavasara swarm: relayout once per eighth row, tilt, clears
#include "scenes_gl.h"
#include "effects.h"
#include "player.h"
#include "scenes.h"
#include "scenestate.h"

// The layout the next 50 draws give, in the documented order.
struct Layout {
    float sx[SWARM_COPIES], sy[SWARM_COPIES], sz[SWARM_COPIES], ox[SWARM_COPIES],
        oy[SWARM_COPIES];
};

static Layout predictLayout(unsigned seed) {
    std::vector<double> u = drawsAfterSeed(seed, 5 * SWARM_COPIES);
    Layout l;
    for (int i = 0; i < SWARM_COPIES; i++) {
        l.sx[i] = float(3.5 - u[5 * i]);
        l.sy[i] = float(3.5 - u[5 * i + 1]);
        l.sz[i] = float(3.5 - u[5 * i + 2]);
        l.ox[i] = float(0.3 - 0.6 * u[5 * i + 3]);
        l.oy[i] = float(0.2 - 0.4 * u[5 * i + 4]);
    }
    return l;
}

static void expectLayout(const Layout &l) {
    for (int i = 0; i < SWARM_COPIES; i++) {
        EXPECT_EQ(scaleX[i], l.sx[i]) << "copy " << i;
        EXPECT_EQ(scaleY[i], l.sy[i]) << "copy " << i;
        EXPECT_EQ(scaleZ[i], l.sz[i]) << "copy " << i;
        EXPECT_EQ(offsetX[i], l.ox[i]) << "copy " << i;
        EXPECT_EQ(offsetY[i], l.oy[i]) << "copy " << i;
        EXPECT_EQ(offsetZ[i], 0.5f) << "copy " << i;
    }
}

TEST_F(SceneTest, SwarmInitialiserLaysOutInDrawOrder) {
    Layout l = predictLayout(77);
    initSirppijavasara();
    expectLayout(l);
}

TEST_F(SceneTest, SwarmRelaysOnceOnEachMultipleOfEightRow) {
    sirppijavasaraReseeded = false;
    initSirppijavasara();

    // the first frame (row 0) replaces the initialiser's layout at once
    Layout first = predictLayout(5);
    sirppijavasaraScene(6, 0, 0);
    expectLayout(first);
    // further frames of row 0 and the rows up to 7 keep it and draw nothing
    srand(99);
    int next = randomValue();
    srand(99);
    for (int row : {0, 0, 1, 1, 2, 5, 7})
        sirppijavasaraScene(6, row, 0);
    expectLayout(first);
    EXPECT_EQ(randomValue(), next) << "a frame between relayouts drew random values";

    Layout second = predictLayout(6);
    sirppijavasaraScene(6, 8, 0);
    expectLayout(second);
    sirppijavasaraScene(6, 8, 0);
    expectLayout(second);

    // from the last row of order 6 to row 0 of order 7: a new layout again
    sirppijavasaraScene(6, 63, 0);
    Layout third = predictLayout(7);
    sirppijavasaraScene(7, 0, 0);
    expectLayout(third);
}

TEST_F(SceneTest, SwarmTiltFollowsTheRowAndOddRowsKeepIt) {
    const int rows[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 13};
    const float tilt[] = {10, 10, -10, -10, 10, 10, -10, -10, -10, -10, -10};
    for (int n = 0; n < 11; n++) {
        sirppijavasaraScene(6, rows[n], 0);
        EXPECT_EQ(sirppijavasaraSpin, tilt[n]) << "row " << rows[n];
    }
}

TEST_F(SceneTest, SwarmCopiesAreStretchedOffsetAndTiltedInsideTheCommonTurn) {
    sirppijavasaraScene(6, 8, 0);  // a fresh layout
    frameCounter = 123;
    std::vector<ListCall> calls = captureCalls([] { sirppijavasaraScene(6, 10, 0); });
    ASSERT_EQ(calls.size(), size_t(SWARM_COPIES));
    for (int i = 0; i < SWARM_COPIES; i++) {
        EXPECT_EQ(calls[i].marker, SWARM_MARKER);
        Mat want = rotate(123, 0, 0, 1) * scale(scaleX[i], scaleY[i], scaleZ[i]) *
                   translate(offsetX[i], offsetY[i], offsetZ[i]) * rotate(-10, 0, 0, 1);
        EXPECT_LT(matDiff(calls[i].modelview, want), 2e-3) << "copy " << i;
    }
}

TEST_F(SceneTest, SwarmClearsColourOnlyEveryFourthRowAndLeavesShadingAlone) {
    for (int row = 0; row < 9; row++) {
        EXPECT_EQ(clearsColour([&] { sirppijavasaraScene(6, row, 0); }), row % 4 == 0)
            << "row " << row;
        EXPECT_TRUE(clearsDepth([&] { sirppijavasaraScene(6, row, 0); })) << "row " << row;
    }
    glShadeModel(GL_SMOOTH);
    sirppijavasaraScene(6, 3, 0);
    GLint shade;
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    EXPECT_EQ(shade, GL_SMOOTH);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
}
