// assets_gl.cpp -- what the compiled display lists draw and what the textures upload
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "assets_fixtures.h"
#include "lwo2.h"
#include "tga.h"

namespace {

// One small window for the whole run: the lists and textures need a current context.
class GlWindow : public testing::Environment {
public:
    void SetUp() override {
        int argc = 1;
        char name[] = "assets_gl";
        char *argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(64, 64);
        glutCreateWindow("assets_gl");
        glViewport(0, 0, 64, 64);
    }
};

std::unique_ptr<LwoObject> objectFrom(const Bytes &b) {
    std::string path = writeFile(tempPath("gl.lwo"), b);
    testing::internal::CaptureStdout();
    std::unique_ptr<LwoObject> o(new LwoObject(path.c_str()));
    testing::internal::GetCapturedStdout();
    return o;
}

std::unique_ptr<LwoObject> triangle(const std::vector<float> &xyz) {
    return objectFrom(form(pointsChunk(xyz).raw(polygonsChunk({{0, 1, 2}}))));
}

// Calls the list and returns the normal and colour it leaves current.
void callAndRead(unsigned int list, float normal[3], float colour[4]) {
    glNormal3f(9, 9, 9);
    glColor4f(0.1f, 0.1f, 0.1f, 0.1f);
    glCallList(list);
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    glGetFloatv(GL_CURRENT_COLOR, colour);
}

// A triangle as feedback reports it: window x, y, z and colour of each vertex.
struct Fed {
    float v[3][7];
};

// Draws the list in feedback mode with identity matrices over the 64 x 64 viewport, so a
// point (x, y) lands at window ((x + 1) * 32, (y + 1) * 32).
std::vector<Fed> feedback(unsigned int list) {
    static float buffer[4096];
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glFeedbackBuffer(4096, GL_3D_COLOR, buffer);
    glRenderMode(GL_FEEDBACK);
    glCallList(list);
    int n = glRenderMode(GL_RENDER);
    std::vector<Fed> out;
    for (int i = 0; i < n;) {
        EXPECT_EQ(buffer[i], GL_POLYGON_TOKEN);
        EXPECT_EQ(buffer[i + 1], 3.0f);
        if (buffer[i] != GL_POLYGON_TOKEN || buffer[i + 1] != 3.0f)
            break;
        Fed f;
        for (int k = 0; k < 3; k++)
            for (int c = 0; c < 7; c++)
                f.v[k][c] = buffer[i + 2 + 7 * k + c];
        out.push_back(f);
        i += 2 + 21;
    }
    return out;
}

}  // namespace

TEST(GlMesh, LitNormalIsTheTrueFaceNormal) {
    struct Case {
        std::vector<float> points;
        float normal[3];
    } cases[] = {
        {{0, 0, 0, 1, 0, 0, 0, 0, 1}, {0, -1, 0}},
        {{0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1}},
        {{0, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 0, 0}},
        {{0, 0, 0, 3e-20f, 0, 0, 0, 3e-20f, 0}, {0, 0, 1}},  // tiny but not degenerate
        {{0, 0, 0, 1e30f, 0, 0, 0, 0, 1e30f}, {0, -1, 0}},   // huge
    };
    for (auto &c : cases) {
        auto o = triangle(c.points);
        float n[3], colour[4];
        callAndRead(o->compileLit(0.25f, 0.5f, 0.75f), n, colour);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(n[k], c.normal[k], 1e-6) << k;
        EXPECT_FLOAT_EQ(colour[0], 0.25f);
        EXPECT_FLOAT_EQ(colour[1], 0.5f);
        EXPECT_FLOAT_EQ(colour[2], 0.75f);
        EXPECT_FLOAT_EQ(colour[3], 1.0f);
    }
}

TEST(GlMesh, DegenerateFacesGetAUnitNormal) {
    float inf = INFINITY, nan = NAN;
    std::vector<std::vector<float>> degenerate = {
        {1, 1, 1, 1, 1, 1, 1, 1, 1},  // one point three times
        {0, 0, 0, 1, 1, 1, 2, 2, 2},  // on one line
        {0, 0, 0, inf, 0, 0, 0, 1, 0},
        {nan, 0, 0, 1, 0, 0, 0, 1, 0},
    };
    for (auto &points : degenerate) {
        auto o = triangle(points);
        float n[3], colour[4];
        callAndRead(o->compileLit(1, 1, 1), n, colour);
        for (int k = 0; k < 3; k++)
            EXPECT_TRUE(std::isfinite(n[k]));
        EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0, 1e-6);
    }
}

// First three points of each polygon, in order; short polygons and polygons whose
// indices lie outside the points are left out.
TEST(GlMesh, FlatListDrawsTheDrawableTriangles) {
    auto o = objectFrom(form(pointsChunk({-0.5f, -0.5f, 0, 0.5f, -0.5f, 0, 0.5f, 0.5f, 0, -0.5f, 0.5f, 0})
                                 .raw(polygonsChunk({{0, 1, 2}, {0, 1}, {0, 2, 3, 1}, {0, 1, 4},
                                                     {0xFF0000, 1, 2}}))));
    std::vector<Fed> tris = feedback(o->compileFlat(1.0f, 0.5f, 0.0f, 0.25f));
    ASSERT_EQ(tris.size(), 2u);
    const float expected[2][3][2] = {{{16, 16}, {48, 16}, {48, 48}},
                                     {{16, 16}, {48, 48}, {16, 48}}};
    for (int t = 0; t < 2; t++)
        for (int k = 0; k < 3; k++) {
            EXPECT_FLOAT_EQ(tris[t].v[k][0], expected[t][k][0]);
            EXPECT_FLOAT_EQ(tris[t].v[k][1], expected[t][k][1]);
            EXPECT_FLOAT_EQ(tris[t].v[k][3], 1.0f);
            EXPECT_FLOAT_EQ(tris[t].v[k][4], 0.5f);
            EXPECT_FLOAT_EQ(tris[t].v[k][5], 0.0f);
            EXPECT_FLOAT_EQ(tris[t].v[k][6], 0.25f);
        }
    float n[3], colour[4];
    glNormal3f(0, 1, 0);
    glCallList(o->compileFlat(1, 1, 1, 1));
    glGetFloatv(GL_CURRENT_NORMAL, n);
    EXPECT_EQ(n[1], 1.0f);  // a flat list records no normal
    (void)colour;
}

TEST(GlMesh, EachCompileIsANewListAndEmptyObjectsDrawNothing) {
    auto o = triangle({0, 0, 0, 0.5f, 0, 0, 0, 0.5f, 0});
    unsigned int a = o->compileLit(1, 0, 0), b = o->compileLit(0, 1, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(feedback(a).size(), 1u);
    EXPECT_EQ(feedback(b)[0].v[0][4], 1.0f);  // green

    testing::internal::CaptureStdout();
    LwoObject missing("no/such/object.lwo");
    testing::internal::GetCapturedStdout();
    unsigned int empty = missing.compileFlat(0.2f, 0.4f, 0.6f, 0.8f);
    EXPECT_TRUE(feedback(empty).empty());
    float n[3], colour[4];
    callAndRead(empty, n, colour);
    EXPECT_FLOAT_EQ(colour[3], 0.8f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

namespace {

struct Uploaded {
    std::unique_ptr<Texture> texture;
    GLint width = 0, height = 0, format = 0;
    std::vector<unsigned char> texels;  // RGBA, first row first
};

Uploaded upload(const std::string &name) {
    Uploaded u;
    for (auto &f : tgaFixtures())
        if (f.first == name) {
            std::string path = writeFile(tempPath(name), f.second);
            testing::internal::CaptureStdout();
            u.texture.reset(new Texture(path.c_str()));
            testing::internal::GetCapturedStdout();
        }
    if (!u.texture || !u.texture->textureId)
        return u;
    glBindTexture(GL_TEXTURE_2D, u.texture->textureId);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &u.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &u.height);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &u.format);
    u.texels.resize(size_t(u.width) * u.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, u.texels.data());
    return u;
}

std::vector<unsigned char> rgba(std::initializer_list<int> v) {
    return std::vector<unsigned char>(v.begin(), v.end());
}

}  // namespace

TEST(GlTexture, TrueColourUploadsAsRgbBottomRowFirst) {
    for (const char *name : {"rgb24.tga", "rgb24_top_down.tga", "rgb24_right_left.tga"}) {
        Uploaded u = upload(name);
        ASSERT_NE(u.texture->textureId, 0u) << name;
        EXPECT_EQ(u.format, GL_RGB) << name;
        EXPECT_EQ(u.width, 2);
        EXPECT_EQ(u.height, 2);
        EXPECT_EQ(u.texels, rgba({0x30, 0x20, 0x10, 255, 3, 2, 1, 255,
                                  6, 5, 4, 255, 9, 8, 7, 255})) << name;
    }
}

TEST(GlTexture, AlphaSixteenBitAndGreyUploads) {
    Uploaded alpha = upload("rgba32.tga");
    EXPECT_EQ(alpha.format, GL_RGBA);
    EXPECT_EQ(alpha.texels, rgba({0x30, 0x20, 0x10, 0x40}));

    Uploaded rle = upload("rle32.tga");
    EXPECT_EQ(rle.format, GL_RGBA);
    EXPECT_EQ(std::vector<unsigned char>(rle.texels.end() - 4, rle.texels.end()),
              rgba({7, 6, 5, 8}));

    Uploaded sixteen = upload("rgb16.tga");
    EXPECT_EQ(sixteen.format, GL_RGB);
    EXPECT_EQ(sixteen.texels, rgba({255, 255, 255, 255, 173, 0, 0, 255}));

    Uploaded grey = upload("grey8.tga");
    EXPECT_EQ(grey.format, GL_RGB);
    EXPECT_EQ(grey.texels, rgba({0, 0, 0, 255, 128, 128, 128, 255, 255, 255, 255, 255}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(GlTexture, ImageWithoutPixelsUploadsNothing) {
    for (const char *name : {"colormapped.tga", "huge.tga"}) {
        Uploaded u = upload(name);
        ASSERT_TRUE(u.texture);
        EXPECT_EQ(u.texture->textureId, 0u);
        EXPECT_EQ(u.texture->bytes, nullptr);
    }
    testing::internal::CaptureStdout();
    Texture missing("data/textures/missing.tga");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(missing.textureId, 0u);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new GlWindow);
    return RUN_ALL_TESTS();
}
