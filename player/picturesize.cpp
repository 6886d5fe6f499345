// picturesize.cpp -- draws the picture smaller than a large window when the renderer cannot fill it in time
//
// The scenes are fill-bound: on a software renderer a 1920 x 1080 window costs about seven
// times the pixels of 640 x 480 and the frames no longer fit in 1/60 s. The scenes' animation
// is per frame, so a slow frame slows the whole presentation down; a picture with fewer pixels,
// stretched to the window, keeps it at speed at the price of coarser pixels.
//
// The picture is the window's size divided by a number in quarter steps (1, 1.25, 1.5, ...):
// at a whole number each picture pixel is a square of whole window pixels, in between each
// window pixel shows the nearest picture pixel. Whole steps alone were too coarse: at
// 1920 x 1080 they stop at 960 x 540, where on llvmpipe with 2 cores the swarm and the
// portraits ran at 46 to 54 frames a second; at 854 x 480, the smallest picture allowed, they
// hold 60 (unpaced, 98 to 110). The stretch costs the same whatever the picture's size (4 to
// 6 ms a frame there, about half of the CPU time), and so does the scenes' work per vertex:
// only the filling of pixels shrinks with the picture.
//
// How the size is chosen: the paced loop reports how long each frame took from its start to
// its swap's return. Every half second (at least 5 frames, and only frames drawn at the size
// in force) the 90th percentile of those times is compared with the frame budget:
// - above 90 % of it while the frames also ran below 59.5 a second: the divisor grows to give
//   the area that would have taken 80 % of the budget, the time taken as proportional to the
//   area (the fixed part of a frame does not shrink, so the next look may shrink further), and
//   from the window's size to 1/1.5 at least;
// - the first step down from the window's size that neither cut that time by a tenth nor
//   raised the frame rate by a twentieth (nor reached 60) is taken back, and the picture stays
//   at the window's size for 10 s or until the next scene (a scene drawn straight to the
//   window at full size pays the stretch as a new cost; further steps down only ever shrink
//   the drawing);
// - otherwise, at a reduced size: one step up where the time, grown with the area, would stay
//   under 75 % of the budget, and once per scene after a second at this size, a step up to
//   try where it would stay within the budget (the stretch's cost does not grow with the
//   picture, so the area rule is cautious); never back up, for 10 s within the same scene, to
//   a size whose frames did not fit.
// The divisor is never so large that the picture has fewer than 640 x 480 pixels, so a window
// below 800 x 600 is never changed, nor is a picture a capture asked to be supersampled; a
// renderer that holds 60 a second (a display's vsync wait included) never shrinks it. A new
// window size starts again from the full size.
#include "player.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

using SizeClock = std::chrono::steady_clock;

static bool adaptivePictureSize = true;  // the live loop may shrink the picture
static const int MAX_TIMED = 64;  // frames kept for one decision
static double frameTimes[MAX_TIMED];  // milliseconds from a frame's start to its swap's return
static int framesTimed;               // frames measured at the size in force, up to MAX_TIMED
static int framesSkipped;             // frames after a change, not yet counted
static SizeClock::time_point timedSince;  // the first counted frame's end
static SizeClock::time_point sizedSince;  // when the size in force was set
static const int STEPS = 4;               // divisors are counted in steps of 1/STEPS
static int divisor = STEPS;               // in steps: the picture is the window's size times STEPS / divisor
static int sizedWidth, sizedHeight;       // the window the divisor is for
static double slowBeforeShrink;  // ms, the slow end of the frames before the last step down; 0 after any other change
static double rateBeforeShrink;  // frames a second before the last step down
static int divisorBeforeShrink;  // the divisor before the last step down
static SizeClock::time_point triedUntil;  // end of the wait at the window's size after a step down that did not pay
static int sceneNotPaid = -3;    // the scene that step down was taken back in
static int sceneTried = -2;      // the scene (sceneIndex, -2 for the end part) of the last step up to try
static int tooSlowDivisor;       // the last divisor whose frames did not fit in the budget
static int tooSlowScene = -3;    // the scene it was too slow in
static SizeClock::time_point tooSlowUntil;  // until then that scene does not go back up to it

static const double BUDGET_MS = 1000.0 / 60;

// The largest divisor, in steps, that keeps 640 x 480 or more pixels in both dimensions.
static int largestDivisor(int width, int height) {
    return std::max(STEPS, std::min(width * STEPS / 640, height * STEPS / 480));
}

float smallestPictureScale(int width, int height) {
    return float(STEPS) / largestDivisor(width, height);
}

int adaptiveDivisor(int current, double slowMs, double framesPerSecond, int largest) {
    int next = current;
    // the first step down is at least to 1/1.5: a scene drawn straight to the window at its
    // size begins to pay for the stretch there, and smaller steps did not make up for it
    if (slowMs > 0.9 * BUDGET_MS && framesPerSecond < 59.5)
        next = std::max(current == STEPS ? STEPS * 3 / 2 : current + 1,
                        int(std::ceil(current * std::sqrt(slowMs / (0.8 * BUDGET_MS)))));
    else if (current > STEPS && slowMs * current * current / ((current - 1) * (current - 1)) < 0.75 * BUDGET_MS)
        next = current - 1;
    return std::max(STEPS, std::min(next, largest));
}

// Counting starts afresh; after a change of size, a couple of frames later.
static void startTiming(bool sizeChanged) {
    framesTimed = 0;
    framesSkipped = sizeChanged ? 0 : 2;
    timedSince = SizeClock::now();
    if (sizeChanged)
        sizedSince = timedSince;
}

// Back to the window's size, with nothing learnt about smaller ones.
static void startAtWindowSize() {
    if (divisor > STEPS)
        pictureSetScale(1);
    divisor = STEPS;
    slowBeforeShrink = 0;
    triedUntil = SizeClock::time_point();
    tooSlowUntil = SizeClock::time_point();
    startTiming(true);
}

void setAdaptivePictureSize(bool on) {
    adaptivePictureSize = on;
    startAtWindowSize();
}

void pictureFrameTimed(double seconds) {
    if (!adaptivePictureSize || pictureScale() > 1)
        return;
    if (windowWidth != sizedWidth || windowHeight != sizedHeight) {
        sizedWidth = windowWidth;
        sizedHeight = windowHeight;
        startAtWindowSize();
    }
    int largest = largestDivisor(windowWidth, windowHeight);
    if (largest == STEPS)
        return;
    // the first frames at a new size pay for the new picture
    if (framesSkipped < 2) {
        framesSkipped++;
        timedSince = SizeClock::now();
        return;
    }
    frameTimes[framesTimed % MAX_TIMED] = seconds * 1000;
    framesTimed++;
    SizeClock::time_point now = SizeClock::now();
    double span = std::chrono::duration<double>(now - timedSince).count();
    if (framesTimed < 5 || span < 0.5)
        return;

    int n = std::min(framesTimed, MAX_TIMED);
    double sorted[MAX_TIMED];
    std::copy(frameTimes, frameTimes + n, sorted);
    std::nth_element(sorted, sorted + n * 9 / 10, sorted + n);
    double slow = sorted[n * 9 / 10];
    int scene = endPartActive ? -2 : sceneIndex;
    int next;
    double rate = framesTimed / span;
    if (divisorBeforeShrink == STEPS && slowBeforeShrink > 0 && slow > 0.9 * slowBeforeShrink &&
        rate < 1.05 * rateBeforeShrink && rate < 59.5) {
        next = STEPS;
        triedUntil = now + std::chrono::seconds(10);
        sceneNotPaid = scene;
    } else {
        next = adaptiveDivisor(divisor, slow, rate, largest);
        if (now < triedUntil && scene == sceneNotPaid)
            next = std::min(next, divisor);
        double grown = slow * divisor * divisor / ((divisor - 1) * (divisor - 1));
        if (next == divisor && divisor > STEPS && scene != sceneTried && grown < BUDGET_MS &&
            now - sizedSince > std::chrono::seconds(1)) {
            next = divisor - 1;
            sceneTried = scene;
        }
        // a step up and back down every second would show as a stutter every second
        if (next < divisor && scene == tooSlowScene && now < tooSlowUntil)
            next = std::min(divisor, std::max(next, tooSlowDivisor + 1));
    }
    if (next > divisor) {
        tooSlowDivisor = divisor;
        tooSlowScene = scene;
        tooSlowUntil = now + std::chrono::seconds(10);
    }
    slowBeforeShrink = next > divisor ? slow : 0;
    rateBeforeShrink = rate;
    divisorBeforeShrink = divisor;
    startTiming(next != divisor);
    if (next == divisor)
        return;
    divisor = next;
    float scale = float(STEPS) / divisor;
    pictureSetScale(scale);
    if (pictureScale() != scale) {
        adaptivePictureSize = false;  // no picture of our own here: frames go straight to the window
        return;
    }
    printf("the picture is drawn at 1/%g of the %dx%d window\n", double(divisor) / STEPS, windowWidth,
           windowHeight);
    fflush(stdout);
}
