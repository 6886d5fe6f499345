// picturesize.cpp -- draws the picture smaller than a large window when the renderer cannot fill it in time
//
// The scenes are fill-bound: on a software renderer a 1920 x 1080 window costs about seven
// times the pixels of 640 x 480 and the frames no longer fit in 1/60 s. The scenes' animation
// is per frame, so a slow frame slows the whole presentation down; a picture with fewer pixels,
// stretched to the window, keeps it at speed at the price of coarser pixels.
//
// The picture is the window's size divided by a whole number, each of its pixels shown as a
// square of whole window pixels: on llvmpipe a stretch by pixel replication costs little more
// than the same-size copy every kept picture already pays (CPU per frame at 1920 x 1080:
// copy 12 ms, replication 15 ms, a linear stretch 23 ms, which ate what the smaller picture
// saved in every scene but the two heaviest).
//
// How the size is chosen: the paced loop reports how long each frame took from its start to
// its swap's return. Every half second (at least 5 frames, and only frames drawn at the size
// in force) the 90th percentile of those times is compared with the frame budget:
// - above 90 % of it while the frames also ran below 59.5 a second: the divisor grows to give
//   the area that would have taken 80 % of the budget, the time taken as proportional to the
//   area (the fixed part of a frame does not shrink, so the next look may shrink further);
// - a step down that neither cut that time by a tenth nor raised the frame rate by a twentieth
//   (nor reached 60) is taken back, and the size stays at least as large for 10 s (a scene
//   drawn straight to the window at full size pays the stretch as a new cost);
// - otherwise, at a reduced size: one step up where the time, grown with the area, would stay
//   under 75 % of the budget, and once per scene after a second at this size, a step up to
//   try where it would stay under twice the budget (the stretch's cost does not grow with the
//   picture, so the area rule is cautious).
// The divisor is never so large that the picture has fewer than 640 x 480 pixels, so a window
// of 640 x 480 to 1279 x 959 is never changed, nor is a picture a capture asked to be
// supersampled; a renderer that holds 60 a second (a display's vsync wait included) never
// shrinks it. A new window size starts again from the full size.
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
static int divisor = 1;                   // the picture is the window's size divided by this
static int sizedWidth, sizedHeight;       // the window the divisor is for
static double slowBeforeShrink;  // ms, the slow end of the frames before the last step down; 0 after any other change
static double rateBeforeShrink;  // frames a second before the last step down
static int divisorBeforeShrink;  // the divisor before the last step down
static int largestTried;         // the largest divisor allowed until triedUntil
static SizeClock::time_point triedUntil;  // end of the wait after a step down that did not pay
static int sceneTried = -2;      // the scene (sceneIndex, -2 for the end part) of the last step up to try

static const double BUDGET_MS = 1000.0 / 60;

// The largest divisor that keeps 640 x 480 or more pixels in both dimensions.
static int largestDivisor(int width, int height) {
    return std::max(1, std::min(width / 640, height / 480));
}

int adaptiveDivisor(int current, double slowMs, double framesPerSecond, int largest) {
    int next = current;
    if (slowMs > 0.9 * BUDGET_MS && framesPerSecond < 59.5)
        next = std::max(current + 1, int(std::ceil(current * std::sqrt(slowMs / (0.8 * BUDGET_MS)))));
    else if (current > 1 && slowMs * current * current / ((current - 1) * (current - 1)) < 0.75 * BUDGET_MS)
        next = current - 1;
    return std::max(1, std::min(next, largest));
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
    if (divisor > 1)
        pictureSetScale(1);
    divisor = 1;
    slowBeforeShrink = 0;
    triedUntil = SizeClock::time_point();
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
    if (largest == 1)
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
    if (slowBeforeShrink > 0 && slow > 0.9 * slowBeforeShrink && rate < 1.05 * rateBeforeShrink &&
        rate < 59.5) {
        next = divisorBeforeShrink;
        largestTried = divisorBeforeShrink;
        triedUntil = now + std::chrono::seconds(10);
    } else {
        next = adaptiveDivisor(divisor, slow, rate, largest);
        if (now < triedUntil)
            next = std::min(next, std::max(largestTried, divisor));
        double grown = slow * divisor * divisor / ((divisor - 1) * (divisor - 1));
        if (next == divisor && divisor > 1 && scene != sceneTried && grown < 2 * BUDGET_MS &&
            now - sizedSince > std::chrono::seconds(1)) {
            next = divisor - 1;
            sceneTried = scene;
        }
    }
    slowBeforeShrink = next > divisor ? slow : 0;
    rateBeforeShrink = rate;
    divisorBeforeShrink = divisor;
    startTiming(next != divisor);
    if (next == divisor)
        return;
    divisor = next;
    float scale = 1.0f / divisor;
    pictureSetScale(scale);
    if (pictureScale() != scale) {
        adaptivePictureSize = false;  // no picture of our own here: frames go straight to the window
        return;
    }
    printf("the picture is drawn at 1/%d of the %dx%d window\n", divisor, windowWidth, windowHeight);
    fflush(stdout);
}
