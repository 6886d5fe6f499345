// scenes_gl.cpp -- the scene tests' GL window, view, marker lists and feedback parser
#include "scenes_gl.h"
#include "scenestate.h"
#include "effects.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

std::string testProgram;  // argv[0], for tests that run the program again

void useTestView() {
    glViewport(0, 0, VIEW_PIXELS, VIEW_PIXELS);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-VIEW_HALF, VIEW_HALF, -VIEW_HALF, VIEW_HALF, -VIEW_HALF, VIEW_HALF);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

Mat identity() {
    Mat r{};
    r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1;
    return r;
}

Mat operator*(const Mat &a, const Mat &b) {
    Mat r{};
    for (int c = 0; c < 4; c++)
        for (int row = 0; row < 4; row++)
            for (int k = 0; k < 4; k++)
                r.m[c * 4 + row] += a.m[k * 4 + row] * b.m[c * 4 + k];
    return r;
}

Mat translate(double x, double y, double z) {
    Mat r = identity();
    r.m[12] = x;
    r.m[13] = y;
    r.m[14] = z;
    return r;
}

Mat scale(double x, double y, double z) {
    Mat r = identity();
    r.m[0] = x;
    r.m[5] = y;
    r.m[10] = z;
    return r;
}

Mat rotate(double degrees, double x, double y, double z) {
    double len = std::sqrt(x * x + y * y + z * z);
    x /= len;
    y /= len;
    z /= len;
    double a = degrees * M_PI / 180, c = std::cos(a), s = std::sin(a), t = 1 - c;
    Mat r = identity();
    r.m[0] = t * x * x + c;
    r.m[1] = t * x * y + s * z;
    r.m[2] = t * x * z - s * y;
    r.m[4] = t * x * y - s * z;
    r.m[5] = t * y * y + c;
    r.m[6] = t * y * z + s * x;
    r.m[8] = t * x * z + s * y;
    r.m[9] = t * y * z - s * x;
    r.m[10] = t * z * z + c;
    return r;
}

void transformPoint(const Mat &m, const double in[3], double out[3]) {
    for (int row = 0; row < 3; row++)
        out[row] = m.m[row] * in[0] + m.m[4 + row] * in[1] + m.m[8 + row] * in[2] + m.m[12 + row];
}

double matDiff(const Mat &a, const Mat &b) {
    double worst = 0;
    for (int i = 0; i < 16; i++)
        worst = std::fmax(worst, std::fabs(a.m[i] - b.m[i]));
    return worst;
}

// Window coordinates back to eye units under useTestView (depth range 0 to 1).
static FeedVertex readVertex(const float *f) {
    FeedVertex v;
    double unit = VIEW_PIXELS / (2 * VIEW_HALF);
    v.pos[0] = f[0] / unit - VIEW_HALF;
    v.pos[1] = f[1] / unit - VIEW_HALF;
    v.pos[2] = (0.5 - f[2]) * 2 * VIEW_HALF;
    std::memcpy(v.color, f + 3, sizeof v.color);
    std::memcpy(v.tex, f + 7, sizeof v.tex);
    return v;
}

std::vector<FeedItem> captureFeedback(const std::function<void()> &draw) {
    const int VERTEX_FLOATS = 11;  // GL_3D_COLOR_TEXTURE: x y z, r g b a, s t r q
    static std::vector<float> buffer(1 << 20);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    int used = glRenderMode(GL_RENDER);
    EXPECT_GE(used, 0) << "feedback buffer overflowed";

    std::vector<FeedItem> items;
    for (int i = 0; i < used;) {
        int token = int(buffer[i++]);
        FeedItem item{FeedItem::OTHER, 0, {}};
        int count = 0;
        switch (token) {
        case GL_PASS_THROUGH_TOKEN:
            item.kind = FeedItem::PASS;
            item.marker = buffer[i++];
            break;
        case GL_POINT_TOKEN:
            item.kind = FeedItem::POINT;
            count = 1;
            break;
        case GL_LINE_TOKEN:
        case GL_LINE_RESET_TOKEN:
            count = 2;
            break;
        case GL_POLYGON_TOKEN:
            item.kind = FeedItem::POLYGON;
            count = int(buffer[i++]);
            break;
        case GL_BITMAP_TOKEN:
        case GL_DRAW_PIXEL_TOKEN:
        case GL_COPY_PIXEL_TOKEN:
            count = 1;
            break;
        default:
            ADD_FAILURE() << "unknown feedback token " << token;
            return items;
        }
        for (int k = 0; k < count; k++, i += VERTEX_FLOATS)
            item.vertices.push_back(readVertex(&buffer[i]));
        items.push_back(item);
    }
    return items;
}

unsigned int markerList(int marker) {
    unsigned int list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glPassThrough(GLfloat(marker));
    glBegin(GL_POINTS);
    glVertex3f(0, 0, 0);
    glVertex3f(1, 0, 0);
    glVertex3f(0, 1, 0);
    glVertex3f(0, 0, 1);
    glEnd();
    glEndList();
    return list;
}

std::vector<ListCall> captureCalls(const std::function<void()> &draw) {
    std::vector<FeedItem> items = captureFeedback(draw);
    std::vector<ListCall> calls;
    for (size_t i = 0; i < items.size(); i++) {
        if (items[i].kind != FeedItem::PASS)
            continue;
        // the four points follow their marker; a clipped point would leave a gap
        if (i + 4 >= items.size() || items[i + 1].kind != FeedItem::POINT ||
            items[i + 2].kind != FeedItem::POINT || items[i + 3].kind != FeedItem::POINT ||
            items[i + 4].kind != FeedItem::POINT) {
            ADD_FAILURE() << "marker " << items[i].marker << " without its four points";
            continue;
        }
        const double *o = items[i + 1].vertices[0].pos;
        Mat m = identity();
        for (int axis = 0; axis < 3; axis++)
            for (int row = 0; row < 3; row++)
                m.m[axis * 4 + row] = items[i + 2 + axis].vertices[0].pos[row] - o[row];
        for (int row = 0; row < 3; row++)
            m.m[12 + row] = o[row];
        calls.push_back({int(items[i].marker), m});
    }
    return calls;
}

std::vector<int> markersOf(const std::vector<ListCall> &calls) {
    std::vector<int> markers;
    for (const ListCall &c : calls)
        markers.push_back(c.marker);
    return markers;
}

static bool clears(bool colour, const std::function<void()> &draw) {
    const int corner = 2;  // pixel near the view's lower left corner, where no test draws
    if (colour) {
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0, 1, 0, 1);
    } else {
        glClearDepth(0.25);
        glClear(GL_DEPTH_BUFFER_BIT);
        glClearDepth(1.0);
    }
    draw();
    glFinish();
    bool cleared;
    if (colour) {
        unsigned char pixel[4];
        glReadPixels(corner, corner, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
        EXPECT_TRUE((pixel[1] == 255 && pixel[2] == 0) || (pixel[1] == 0 && pixel[2] == 255))
            << "corner pixel neither clear value: " << int(pixel[0]) << " " << int(pixel[1])
            << " " << int(pixel[2]);
        cleared = pixel[1] == 255;
    } else {
        float depth;
        glReadPixels(corner, corner, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        cleared = depth > 0.9f;
    }
    glClearColor(0, 0, 0, 1);
    return cleared;
}

bool clearsColour(const std::function<void()> &draw) {
    return clears(true, draw);
}

bool clearsDepth(const std::function<void()> &draw) {
    return clears(false, draw);
}

std::vector<double> drawsAfterSeed(unsigned seed, int count) {
    srand(seed);
    std::vector<double> draws;
    for (int i = 0; i < count; i++)
        draws.push_back(randomDraw());
    srand(seed);
    return draws;
}

void SceneTest::SetUp() {
    static bool made;
    static unsigned int samovar[6], balalaika[6], swarm, rave, spiral, missile, left, right,
        still, flash;
    if (!made) {
        for (int k = 0; k < 6; k++) {
            samovar[k] = markerList(SAMOVAR_MARKER + k);
            balalaika[k] = markerList(BALALAIKA_MARKER + k);
        }
        swarm = markerList(SWARM_MARKER);
        rave = markerList(RAVE_MARKER);
        spiral = markerList(SPIRAL_MARKER);
        missile = markerList(MISSILE_MARKER);
        left = markerList(LEFT_MARKER);
        right = markerList(RIGHT_MARKER);
        still = markerList(STILL_MARKER);
        flash = markerList(FLASH_MARKER);
        made = true;
    }
    for (int k = 0; k < 6; k++) {
        samovarLists[k] = samovar[k];
        balalaikaLists[k] = balalaika[k];
    }
    sirppijavasaraList = swarm;
    raveList = rave;
    spiralList = spiral;
    missileList = missile;
    ripaskaLeftList = left;
    ripaskaRightList = right;
    ripaskaStillList = still;
    flashList = flash;

    useTestView();
    glShadeModel(GL_SMOOTH);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 1);
    glColor4f(1, 1, 1, 1);
}

// Draw-sequence mode (defined by the determinism test): prints what the scenes drew.
int printSceneDraws();

int main(int argc, char **argv) {
    testProgram = argv[0];
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH | GLUT_RGBA);
    glutInitWindowSize(640, 480);
    glutCreateWindow("scene tests");
    glEnable(GL_DEPTH_TEST);
    if (argc > 1 && std::strcmp(argv[1], "--print-draws") == 0)
        return printSceneDraws();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
