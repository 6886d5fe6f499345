// scenes_missiles.cpp -- the missile rain: initial draws, reset before drawing, the fan
#include "scenes_gl.h"
#include "effects.h"
#include "player.h"
#include "scenes.h"
#include "scenestate.h"

static std::vector<ListCall> missileFrame(int row) {
    return captureCalls([&] { missileScene(16, row, 0); });
}

static Mat missilePath(int i, float spin, float px, float travelNow, float pz) {
    return rotate(spin, 0, 0, 1) * rotate(90, 1, 0, 0) * rotate(i + spin, 0, 0, 1) *
           translate(px, travelNow, pz);
}

TEST_F(SceneTest, MissileInitialiserDrawsXThenZThenTravel) {
    if (!missileModel)
        missileModel = new LwoObject("../shared/testdata/lwo2/hierarchy.lwo");
    std::vector<double> u = drawsAfterSeed(31, 3 * MISSILE_COUNT);
    initMissiles();
    EXPECT_TRUE(glIsList(missileList));
    for (int i = 0; i < MISSILE_COUNT; i++) {
        EXPECT_EQ(missileX[i], float(2 - 4 * u[3 * i])) << "missile " << i;
        EXPECT_EQ(missileZ[i], float(2 - 4 * u[3 * i + 1])) << "missile " << i;
        EXPECT_EQ(missileTravel[i], float(7.5 - 15 * u[3 * i + 2])) << "missile " << i;
    }
    EXPECT_EQ(missileSpeed, 0.05f);
}

TEST_F(SceneTest, MissileAtTheEndIsResetBeforeDrawingWithTwoFreshDraws) {
    for (int i = 0; i < MISSILE_COUNT; i++) {
        missileX[i] = 1;
        missileZ[i] = -1;
        missileTravel[i] = 0;
    }
    missileTravel[3] = 7.5f;   // exactly at the end: reset
    missileTravel[7] = 7.49f;  // just short of it: drawn where it is
    missileTravel[9] = 9.0f;   // past it: reset
    missileSpin = 30;
    std::vector<double> u = drawsAfterSeed(555, 5);
    std::vector<ListCall> calls = missileFrame(1);
    ASSERT_EQ(calls.size(), size_t(MISSILE_COUNT));
    EXPECT_LT(matDiff(calls[3].modelview,
                      missilePath(3, 30, float(2 - 4 * u[0]), -7.5f, float(2 - 4 * u[1]))),
              2e-3);
    EXPECT_LT(matDiff(calls[7].modelview, missilePath(7, 30, 1, 7.49f, -1)), 2e-3);
    EXPECT_LT(matDiff(calls[9].modelview,
                      missilePath(9, 30, float(2 - 4 * u[2]), -7.5f, float(2 - 4 * u[3]))),
              2e-3);
    EXPECT_DOUBLE_EQ(randomDraw(), u[4]) << "not exactly two draws per reset";
    EXPECT_FLOAT_EQ(missileTravel[3], -7.45f);
    EXPECT_FLOAT_EQ(missileTravel[7], 7.54f);
    EXPECT_FLOAT_EQ(missileTravel[0], 0.05f);
    EXPECT_EQ(missileSpin, 30.5f);

    // the missile that stepped past the end comes back at the far end on the next frame
    u = drawsAfterSeed(556, 2);
    calls = missileFrame(2);
    EXPECT_LT(matDiff(calls[7].modelview,
                      missilePath(7, 30.5f, float(2 - 4 * u[0]), -7.5f, float(2 - 4 * u[1]))),
              2e-3);
}

TEST_F(SceneTest, FirstMissileFliesAlongTheViewAxisAtSpinZero) {
    missileSpin = 0;
    missileX[0] = 0.5f;
    missileZ[0] = 1.25f;
    missileTravel[0] = -3;
    missileX[1] = -0.5f;
    missileZ[1] = 0.75f;
    missileTravel[1] = 2;
    std::vector<ListCall> calls = missileFrame(5);
    ASSERT_FALSE(calls.empty());
    const Mat &m = calls[0].modelview;
    // the path axis (local y) points straight at the camera (+z)
    EXPECT_NEAR(m.m[4], 0, 1e-3);
    EXPECT_NEAR(m.m[5], 0, 1e-3);
    EXPECT_NEAR(m.m[6], 1, 1e-3);
    // sideways offset stays sideways; the cross offset becomes a drop
    EXPECT_NEAR(m.m[12], 0.5, 1e-3);
    EXPECT_NEAR(m.m[13], -1.25, 1e-3);
    EXPECT_NEAR(m.m[14], -3, 1e-3);
    // the next missile's path is turned one more degree
    EXPECT_LT(matDiff(calls[1].modelview, missilePath(1, 0, -0.5f, 2, 0.75f)), 2e-3);
}

TEST_F(SceneTest, MissilesClearColourOnlyEveryFourthRowAndLeaveBlendingOn) {
    for (int row = 0; row < 9; row++) {
        EXPECT_EQ(clearsColour([&] { missileScene(16, row, 0); }), row % 4 == 0) << "row " << row;
        EXPECT_TRUE(clearsDepth([&] { missileScene(16, row, 0); })) << "row " << row;
    }
    GLint depth;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
}
