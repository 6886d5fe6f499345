// scenes_ripaska.cpp -- the dancers: rave intro, poses by row, line-ups by order, spin
#include "scenes_gl.h"
#include "effects.h"
#include "player.h"
#include "scenes.h"
#include "scenestate.h"

using Markers = std::vector<int>;

static std::vector<ListCall> dancerFrame(int order, int row) {
    return captureCalls([&] { ripaskaScene(order, row, 0); });
}

TEST_F(SceneTest, RipaskaInitialiserCompilesThreePosesAndStartsRight) {
    LwoObject **models[3] = {&ripaskaLeftModel, &ripaskaRightModel, &ripaskaStillModel};
    for (LwoObject **m : models)
        if (!*m)
            *m = new LwoObject("../shared/testdata/lwo2/hierarchy.lwo");
    initRipaska();
    EXPECT_TRUE(glIsList(ripaskaLeftList));
    EXPECT_TRUE(glIsList(ripaskaRightList));
    EXPECT_TRUE(glIsList(ripaskaStillList));
    // compiled left, right, still, one new list each
    EXPECT_LT(ripaskaLeftList, ripaskaRightList);
    EXPECT_LT(ripaskaRightList, ripaskaStillList);
    EXPECT_EQ(ripaskaPose, ripaskaRightList);
}

TEST_F(SceneTest, RipaskaIntroDrawsOnlyTheGrowingRave) {
    ripaskaPose = ripaskaRightList;
    for (int row = 0; row < 8; row++) {
        std::vector<ListCall> calls = dancerFrame(10, row);
        ASSERT_EQ(markersOf(calls), Markers{RAVE_MARKER}) << "row " << row;
        double s = (row + 1) * 0.25 + 0.5;
        EXPECT_LT(matDiff(calls[0].modelview, scale(s, s, s) * rotate(10 * row, 0, 0, 1)), 2e-3)
            << "row " << row;
    }
    // row 7: scale 2.5, turned 70 degrees
    std::vector<ListCall> last = dancerFrame(10, 7);
    EXPECT_LT(matDiff(last[0].modelview, scale(2.5, 2.5, 2.5) * rotate(70, 0, 0, 1)), 2e-3);
    EXPECT_EQ(ripaskaPose, ripaskaRightList) << "the intro changed the pose";
}

TEST_F(SceneTest, RipaskaSpinRunsThroughTheIntroIntoTheFirstDancer) {
    ripaskaSpin = 0;
    for (int row = 0; row < 8; row++)
        for (int frame = 0; frame < 3; frame++)
            ripaskaScene(10, row, 0);
    EXPECT_FLOAT_EQ(ripaskaSpin, 36);
    std::vector<ListCall> calls = dancerFrame(10, 8);
    ASSERT_EQ(markersOf(calls), Markers{STILL_MARKER});
    Mat want = translate(0, -0.8, 0) * scale(6, 3, 6) * rotate(36, 0, 1, 0);
    EXPECT_LT(matDiff(calls[0].modelview, want), 2e-3);
    EXPECT_FLOAT_EQ(ripaskaSpin, 37.5);
}

TEST_F(SceneTest, RipaskaPoseChangesOnEvenRowsAndOddRowsKeepIt) {
    const int rows[] = {8, 9, 10, 11, 12, 13, 14, 15, 16, 20, 9, 18, 5, 24, 3};
    const int pose[] = {STILL_MARKER, STILL_MARKER, RIGHT_MARKER, RIGHT_MARKER, LEFT_MARKER,
                        LEFT_MARKER,  RIGHT_MARKER, RIGHT_MARKER, STILL_MARKER, LEFT_MARKER,
                        LEFT_MARKER,  RIGHT_MARKER, RIGHT_MARKER, STILL_MARKER, STILL_MARKER};
    for (int n = 0; n < 15; n++) {
        std::vector<ListCall> calls = dancerFrame(11, rows[n]);
        EXPECT_EQ(markersOf(calls), Markers(2, pose[n])) << "row " << rows[n];
    }
}

TEST_F(SceneTest, RipaskaLineUpFollowsTheOrder) {
    struct Case {
        int order, row;
        std::vector<std::pair<double, double>> places;
        double sx, sy, sz;
    };
    const Case cases[] = {
        {10, 12, {{0, -0.8}}, 6, 3, 6},
        {10, 13, {{0, -0.8}}, 3, 3, 3},
        {11, 20, {{-1, -0.8}, {1, -0.8}}, 6, 3, 6},
        {11, 5, {{-1, -0.8}, {1, -0.8}}, 3, 3, 3},
        {12, 0, {{-1.5, -0.8}, {0, -0.8}, {1.5, -0.8}}, 6, 3, 6},
        {12, 5, {{-1.5, -0.8}, {0, -0.8}, {1.5, -0.8}}, 3, 3, 3},
        {13, 4, {{-1, 0}, {1, 0}, {-1, -1.6}, {1, -1.6}}, 6, 3, 6},
        {13, 5, {{-1, 0}, {1, 0}, {-1, -1.6}, {1, -1.6}}, 3, 3, 6},  // depth 6 off the beat
        {13, 0, {{-1, 0}, {1, 0}, {-1, -1.6}, {1, -1.6}}, 6, 3, 6},  // row 0 of 13: no intro
    };
    for (const Case &c : cases) {
        ripaskaSpin = 20;
        std::vector<ListCall> calls = dancerFrame(c.order, c.row);
        ASSERT_EQ(calls.size(), c.places.size()) << "order " << c.order << " row " << c.row;
        for (size_t d = 0; d < calls.size(); d++) {
            Mat want = translate(c.places[d].first, c.places[d].second, 0) *
                       scale(c.sx, c.sy, c.sz) * rotate(20, 0, 1, 0);
            EXPECT_LT(matDiff(calls[d].modelview, want), 2e-3)
                << "order " << c.order << " row " << c.row << " dancer " << d;
        }
    }
    // order 13 row 5 after row 4: four dancers in the left pose
    dancerFrame(13, 4);
    EXPECT_EQ(markersOf(dancerFrame(13, 5)), Markers(4, LEFT_MARKER));
    // outside orders 10 to 13 nothing is drawn
    EXPECT_TRUE(dancerFrame(14, 2).empty());
}

TEST_F(SceneTest, RipaskaClearsAndLeavesMatrixAndStateAsFound) {
    EXPECT_TRUE(clearsColour([] { ripaskaScene(12, 3, 0); }));
    EXPECT_TRUE(clearsDepth([] { ripaskaScene(12, 3, 0); }));
    glLoadMatrixd(translate(1, 2, 3).m);
    for (int order : {10, 11, 12, 13})
        for (int row : {0, 4, 5})
            ripaskaScene(order, row, 0);
    GLint depth;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    double m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    Mat after;
    std::copy(m, m + 16, after.m);
    EXPECT_LT(matDiff(after, translate(1, 2, 3)), 1e-6);
    // dancers draw opaque: the scene turns no blending or texturing on
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    glLoadIdentity();
}
