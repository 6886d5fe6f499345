// web_ticks.cpp -- the web main loop's 60 Hz grid on displays of several rates, with late frames and stalls
#include "ticks.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>
#include <vector>

// Frames run at each of `seconds` worth of animation frames of a display at `hz`, each moment
// off by up to `jitter` ms either way.
static std::vector<int> run(TickGrid &grid, double &now, double hz, double seconds, double jitter) {
    std::vector<int> frames;
    double start = now;
    for (int k = 1; now < start + seconds * 1000; k++) {
        now = start + k * 1000 / hz + jitter * (rand() / double(RAND_MAX) * 2 - 1);
        frames.push_back(framesDue(grid, now));
    }
    return frames;
}

static int total(const std::vector<int> &frames, size_t from = 0) {
    int sum = 0;
    for (size_t i = from; i < frames.size(); i++)
        sum += frames[i];
    return sum;
}

TEST(WebTicks, SixtyFramesASecondOnAnyRefreshRate) {
    srand(7);
    for (double hz : {120.0, 144.0, 75.0, 165.0}) {
        TickGrid grid;
        double now = 1000;
        std::vector<int> frames = run(grid, now, hz, 60, 0.8);
        // after the first refreshes have been measured: 60 a second, never two at one refresh
        int counted = total(frames, 60);
        double seconds = (frames.size() - 60) / hz;
        EXPECT_NEAR(counted / seconds, 60, 0.2) << hz << " Hz";
        int longest = 0, shown = 0;  // refreshes a frame stays on screen
        for (size_t i = 60; i < frames.size(); i++) {
            EXPECT_LE(frames[i], 1) << hz << " Hz, refresh " << i;
            shown = frames[i] ? 1 : shown + 1;
            longest = std::max(longest, shown);
        }
        EXPECT_LE(longest, int(std::ceil(hz / 60))) << hz << " Hz: a frame held too long";
    }
}

TEST(WebTicks, AboutSixtyHertzRunsOneFramePerRefresh) {
    srand(8);
    for (double hz : {60.0, 59.94, 60.3}) {
        TickGrid grid;
        double now = 1000;
        std::vector<int> frames = run(grid, now, hz, 120, 2.0);
        for (size_t i = 0; i < frames.size(); i++)
            ASSERT_EQ(frames[i], 1) << hz << " Hz, refresh " << i;
    }
}

TEST(WebTicks, LateFramesAreMadeUpAndAStallStartsAfresh) {
    srand(9);
    for (double hz : {60.0, 144.0}) {
        TickGrid grid;
        double now = 1000;
        std::vector<int> before = run(grid, now, hz, 5, 0.3);
        // one animation frame comes 2 ticks late: the frames missed are run at once
        now += 3 * 1000.0 / 60;
        EXPECT_EQ(framesDue(grid, now), 3) << hz << " Hz";
        std::vector<int> after = run(grid, now, hz, 5, 0.3);
        EXPECT_NEAR(total(before) + 3 + total(after), 60 * 10 + 3, 3) << hz << " Hz";
        // a hidden tab: a second without animation frames, then one frame and on as before
        now += 1000;
        EXPECT_EQ(framesDue(grid, now), 1) << hz << " Hz";
        std::vector<int> resumed = run(grid, now, hz, 5, 0.3);
        EXPECT_NEAR(total(resumed), 300, 2) << hz << " Hz";
    }
}
