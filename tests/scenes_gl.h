// scenes_gl.h -- what the scene tests see of GL: a fixed view, marker lists, feedback capture
#pragma once
#include <GL/gl.h>
#include <functional>
#include <string>
#include <vector>

extern std::string testProgram;  // argv[0], for tests that run the program again

// The view every scene test draws under: an orthographic box of +-VIEW_HALF units on all
// axes, shown on a VIEW_PIXELS square viewport, with the identity modelview.
const double VIEW_HALF = 25.0;
const int VIEW_PIXELS = 400;
void useTestView();

// A 4 x 4 matrix, column-major like GL's, in double precision.
struct Mat {
    double m[16];
};
Mat identity();
Mat operator*(const Mat &a, const Mat &b);
Mat translate(double x, double y, double z);
Mat scale(double x, double y, double z);
Mat rotate(double degrees, double x, double y, double z);  // as glRotate: axis normalised
void transformPoint(const Mat &m, const double in[3], double out[3]);

// One vertex as feedback mode returns it, mapped back to the view's eye units.
struct FeedVertex {
    double pos[3];
    float color[4];
    float tex[4];
};
// One feedback item: a pass-through marker, a point or a polygon.
struct FeedItem {
    enum Kind { PASS, POINT, POLYGON, OTHER } kind;
    float marker;
    std::vector<FeedVertex> vertices;
};
std::vector<FeedItem> captureFeedback(const std::function<void()> &draw);

// A display list that passes `marker` through and draws the points (0,0,0), (1,0,0),
// (0,1,0) and (0,0,1), so its feedback shows the whole modelview it was called under.
unsigned int markerList(int marker);

// One call of a marker list, with the modelview that was current (its affine part).
struct ListCall {
    int marker;
    Mat modelview;
};
std::vector<ListCall> captureCalls(const std::function<void()> &draw);
std::vector<int> markersOf(const std::vector<ListCall> &calls);

// Largest difference between two matrices' entries.
double matDiff(const Mat &a, const Mat &b);

// Whether `draw` clears the colour (or depth) buffer: the buffer is filled with one value,
// the clear value set to another, and a corner pixel read back afterwards.
bool clearsColour(const std::function<void()> &draw);
bool clearsDepth(const std::function<void()> &draw);

// The next `count` random draws after srand(seed); the generator is left reseeded with
// `seed`, so the code under test draws these same values.
std::vector<double> drawsAfterSeed(unsigned seed, int count);

// Markers of the lists the fixture installs in place of the scenes' models.
const int SAMOVAR_MARKER = 100;    // + list index
const int BALALAIKA_MARKER = 200;  // + list index
const int SWARM_MARKER = 300;
const int RAVE_MARKER = 400;
const int SPIRAL_MARKER = 500;
const int MISSILE_MARKER = 600;
const int LEFT_MARKER = 701, RIGHT_MARKER = 702, STILL_MARKER = 703;
const int FLASH_MARKER = 800;

// Every scene test starts from the test view, the set-up's GL state, and marker lists in
// every list global the scenes call.
#include <gtest/gtest.h>
class SceneTest : public ::testing::Test {
protected:
    void SetUp() override;
};
