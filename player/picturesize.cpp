// picturesize.cpp -- draws the picture smaller than a large window when the renderer cannot fill it in time
//
// The scenes are fill-bound: on a software renderer a 1920 x 1080 window costs about seven
// times the pixels of 640 x 480 and the frames no longer fit in 1/60 s. The scenes' animation
// is per frame, so a slow frame slows the whole presentation down; a picture with fewer pixels,
// stretched to the window, keeps it at speed at the price of softer edges.
//
// How the size is chosen: the paced loop reports how long each frame took from its start to
// its swap's return. Every half second (at least 10 frames, and only frames drawn at the size
// in force) the 90th percentile of those times is compared with the frame budget:
// - above 90 % of it while the frames also ran below 59.5 a second: the picture shrinks to the
//   area that would have taken 80 % of the budget, the time taken as proportional to the area
//   (the fixed part of a frame does not shrink, so the next look may shrink further);
// - below 75 % of it, once grown by one step, at a smaller size than the window's: one step up;
// - a step down that did not cut that time by a tenth is taken back, and the size stays at
//   least as large for 10 s: stretching the picture to the window costs a full-window pass
//   (about twice a same-size copy on a software renderer), which can eat what the smaller
//   picture saves, most of all in scenes that draw straight to the window at full size.
// Sizes are steps of 0.9 in each dimension (0.81 in area) from the window's down to the first
// that is not smaller than 640 x 480 in either dimension, so the two thresholds leave a band in
// which the size stays put. A window that is not larger than 640 x 480 is never changed, nor is
// a picture a capture asked to be supersampled; a renderer that holds 60 a second (a display's
// vsync wait included) never shrinks it. A new window size starts again from the full size.
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
static int sizeStep;                      // the size in force: 0.9 to this power of the window's
static int sizedWidth, sizedHeight;       // the window the steps are for
static double slowBeforeShrink;  // ms, the slow end of the frames before the last step down; 0 after any other change
static int stepBeforeShrink;     // the step before the last step down
static int deepestTried = 1000;  // the deepest step allowed until triedUntil
static SizeClock::time_point triedUntil;  // end of the wait after a step down that did not pay

static const double STEP = 0.9;           // one step in each dimension
static const double BUDGET_MS = 1000.0 / 60;

// The smallest scale the window allows: 640 x 480 or more in both dimensions.
static float smallestScale(int width, int height) {
    return std::max(640.0f / width, 480.0f / height);
}

static int stepFor(double scale) {
    return int(std::floor(std::log(scale) / std::log(STEP) + 1e-6));
}

int adaptiveStep(int step, double slowMs, double framesPerSecond, float smallest) {
    if (smallest >= 1)
        return 0;
    int deepest = stepFor(smallest);
    double scale = std::pow(STEP, step);
    if (slowMs > 0.9 * BUDGET_MS && framesPerSecond < 59.5) {
        double area = scale * scale * 0.8 * BUDGET_MS / slowMs;
        step = std::max(step + 1, stepFor(std::sqrt(area)));
    } else if (step > 0 && slowMs / (STEP * STEP) < 0.75 * BUDGET_MS) {
        step--;
    }
    return std::min(step, deepest);
}

// Counting starts afresh; after a change of size, a couple of frames later.
static void startTiming(bool sizeChanged) {
    framesTimed = 0;
    framesSkipped = sizeChanged ? 0 : 2;
    timedSince = SizeClock::now();
}

// Back to the window's size, with nothing learnt about smaller ones.
static void startAtWindowSize() {
    if (sizeStep > 0)
        pictureSetScale(1);
    sizeStep = 0;
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
    if (smallestScale(windowWidth, windowHeight) >= 1)
        return;
    // the first frames at a new size pay for the new picture
    if (framesSkipped < 2) {
        framesSkipped++;
        timedSince = SizeClock::now();
        return;
    }
    frameTimes[framesTimed % MAX_TIMED] = seconds * 1000;
    framesTimed++;
    double span = std::chrono::duration<double>(SizeClock::now() - timedSince).count();
    if (framesTimed < 10 || span < 0.5)
        return;

    int n = std::min(framesTimed, MAX_TIMED);
    double sorted[MAX_TIMED];
    std::copy(frameTimes, frameTimes + n, sorted);
    std::nth_element(sorted, sorted + n * 9 / 10, sorted + n);
    double slow = sorted[n * 9 / 10];
    SizeClock::time_point now = SizeClock::now();
    int step;
    if (slowBeforeShrink > 0 && slow > 0.9 * slowBeforeShrink) {
        step = stepBeforeShrink;
        deepestTried = stepBeforeShrink;
        triedUntil = now + std::chrono::seconds(10);
    } else {
        step = adaptiveStep(sizeStep, slow, framesTimed / span, smallestScale(windowWidth, windowHeight));
        if (now < triedUntil)
            step = std::min(step, std::max(deepestTried, sizeStep));
    }
    slowBeforeShrink = step > sizeStep ? slow : 0;
    stepBeforeShrink = sizeStep;
    startTiming(step != sizeStep);
    if (step == sizeStep)
        return;
    sizeStep = step;
    pictureSetScale(float(std::pow(STEP, step)));
    printf("the picture is drawn at %dx%d for the %dx%d window\n",
           int(windowWidth * pictureScale() + 0.5f), int(windowHeight * pictureScale() + 0.5f),
           windowWidth, windowHeight);
    fflush(stdout);
}
