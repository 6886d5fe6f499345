// scenes_portraits.cpp -- the portrait scroller: scroll and wrap, squares, textures, state
#include "scenes_gl.h"
#include "effects.h"
#include "player.h"
#include "scenes.h"
#include "scenestate.h"

#include <cmath>

// One drawn square: its four corners as feedback returns them, in drawing order.
struct Square {
    std::vector<FeedVertex> corners;
};

// Feedback splits quads into polygons; this joins them back into squares of four distinct
// texture corners, in the order drawn.
static std::vector<Square> captureSquares(int row) {
    std::vector<FeedItem> items = captureFeedback([&] { portraitScene(8, row, 0); });
    std::vector<Square> squares;
    Square current;
    for (const FeedItem &item : items) {
        if (item.kind != FeedItem::POLYGON)
            continue;
        for (const FeedVertex &v : item.vertices) {
            bool seen = false;
            for (const FeedVertex &c : current.corners)
                seen = seen || (c.tex[0] == v.tex[0] && c.tex[1] == v.tex[1]);
            if (!seen)
                current.corners.push_back(v);
        }
        if (current.corners.size() == 4) {
            squares.push_back(current);
            current = Square();
        }
    }
    EXPECT_TRUE(current.corners.empty()) << "a square with fewer than four corners";
    return squares;
}

// Where corner (s, t) of square i should land for the given position and counter.
static void expectSquare(const Square &sq, int i, float position, int counter) {
    double phase = (counter + 32 * i) * 3.14159 / 128;
    double s = 8 + std::cos(phase);
    Mat m = translate(position, -2, 0) * rotate(32 * std::sin(phase), 0, 0, 1) * scale(s, s, 1);
    ASSERT_EQ(sq.corners.size(), 4u);
    for (const FeedVertex &v : sq.corners) {
        double local[3] = {v.tex[0] - 0.5, v.tex[1] - 0.5, 0.001 * i}, want[3];
        transformPoint(m, local, want);
        for (int a = 0; a < 3; a++)
            EXPECT_NEAR(v.pos[a], want[a], 2e-3) << "square " << i << " axis " << a;
        EXPECT_EQ(v.color[0], 1.0f);
        EXPECT_EQ(v.color[1], 0.0f);
        EXPECT_EQ(v.color[2], 0.0f);
        EXPECT_EQ(v.color[3], 0.5f);
    }
}

class PortraitTest : public SceneTest {
protected:
    unsigned int names[6];  // test textures standing in for portraits 1 to 6
    void SetUp() override {
        SceneTest::SetUp();
        Texture **bank[6] = {&portrait1Texture, &portrait2Texture, &portrait3Texture,
                             &portrait4Texture, &portrait5Texture, &portrait6Texture};
        glGenTextures(6, names);
        for (int n = 0; n < 6; n++) {
            if (!*bank[n])
                *bank[n] = new Texture("tests/no-such-portrait.tga");
            (*bank[n])->textureId = names[n];
            // one texel, grey level by portrait number: 0.1 for portrait 1 to 0.6 for 6
            unsigned char grey = (unsigned char)(25.5 * (n + 1) + 0.5);
            unsigned char texel[3] = {grey, grey, grey};
            glBindTexture(GL_TEXTURE_2D, names[n]);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, texel);
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        initPortraits();
    }
    void TearDown() override {
        glDeleteTextures(6, names);
    }
};

TEST_F(PortraitTest, InitialiserPlacesSquaresAndOrdersPortraits) {
    const float place[6] = {-8, -5, -2, 1, 4, 7};
    // portrait 5 first, then 6, then 4 down to 1
    const unsigned int order[6] = {names[4], names[5], names[3], names[2], names[1], names[0]};
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(portraitX[i], place[i]) << "square " << i;
        EXPECT_EQ(portraitTextures[i], order[i]) << "square " << i;
    }
}

TEST_F(PortraitTest, FirstSquareIsDrawnAtMinusEightThenWrapsToEleven) {
    frameCounter = 50;
    std::vector<Square> first = captureSquares(0);
    ASSERT_EQ(first.size(), 6u);
    const float place[6] = {-8, -5, -2, 1, 4, 7};
    for (int i = 0; i < 6; i++)
        expectSquare(first[i], i, place[i], 50);
    EXPECT_EQ(portraitX[0], 11.0f);
    EXPECT_FLOAT_EQ(portraitX[1], -5.05f);

    frameCounter = 51;
    std::vector<Square> second = captureSquares(1);
    ASSERT_EQ(second.size(), 6u);
    expectSquare(second[0], 0, 11.0f, 51);
    expectSquare(second[5], 5, 6.95f, 51);
}

TEST_F(PortraitTest, WrapNeedsStrictlyBelowMinusEight) {
    portraitX[2] = -7.95f;  // steps to exactly -8.0
    captureSquares(2);
    EXPECT_EQ(portraitX[2], -8.0f);
    std::vector<Square> next = captureSquares(2);
    ASSERT_EQ(next.size(), 6u);
    expectSquare(next[2], 2, -8.0f, frameCounter);
    EXPECT_EQ(portraitX[2], 11.0f);
}

TEST_F(PortraitTest, EachSquareShowsItsPortraitAsARedNegative) {
    // squares far enough apart that each centre shows only its own square
    const float place[6] = {-20, -12, -4, 4, 12, 20};
    for (int i = 0; i < 6; i++)
        portraitX[i] = place[i];
    glClearColor(0, 0, 0, 1);
    portraitScene(8, 0, 0);
    glFinish();
    // texture grey levels in drawing order (portraits 5, 6, 4, 3, 2, 1)
    const int portrait[6] = {5, 6, 4, 3, 2, 1};
    double unit = VIEW_PIXELS / (2 * VIEW_HALF);
    for (int i = 0; i < 6; i++) {
        unsigned char pixel[4];
        int px = int((place[i] + VIEW_HALF) * unit), py = int((-2 + VIEW_HALF) * unit);
        glReadPixels(px, py, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
        // blend mode with a black environment: red (1 - texel), alpha 0.5, over black
        double grey = (unsigned char)(25.5 * portrait[i] + 0.5) / 255.0;
        EXPECT_NEAR(pixel[0], 255 * 0.5 * (1 - grey), 2.0) << "square " << i;
        EXPECT_EQ(pixel[1], 0) << "square " << i;
        EXPECT_EQ(pixel[2], 0) << "square " << i;
    }
}

TEST_F(PortraitTest, LeavesFlatUntexturedUnblendedWithBlendEnvironment) {
    glShadeModel(GL_SMOOTH);
    portraitScene(8, 3, 0);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLint shade, mode;
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    EXPECT_EQ(shade, GL_FLAT);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_BLEND);
    float envColour[4], colour[4];
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, envColour);
    glGetFloatv(GL_CURRENT_COLOR, colour);
    for (int c = 0; c < 4; c++)
        EXPECT_EQ(envColour[c], 0.0f);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[1], 0.0f);
    EXPECT_EQ(colour[2], 0.0f);
    EXPECT_EQ(colour[3], 0.5f);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

TEST_F(PortraitTest, ClearsColourOnlyEveryFourthRow) {
    for (int row = 0; row < 9; row++) {
        EXPECT_EQ(clearsColour([&] { portraitScene(8, row, 0); }), row % 4 == 0) << "row " << row;
        EXPECT_TRUE(clearsDepth([&] { portraitScene(8, row, 0); })) << "row " << row;
    }
}
