// ticks.h -- the 60 Hz grid of ticks the web build's main loop runs its frames on
#pragma once

const int TICK_REFRESHES = 32;  // animation frames whose spacing is kept

struct TickGrid {
    double next = 0;            // earliest start of the next frame, ms; 0 before the first
    double lastFrame = 0;       // the previous animation frame's moment, ms; 0 before it
    double refreshes[TICK_REFRESHES] = {};  // the latest spacings of animation frames, ms
    int refreshCount = 0;
};

// How many frames to run at the animation frame of moment `now` (ms, steadily increasing):
// one per tick due, where a tick is due half a display refresh before its time; up to three
// when frames came late, none after a longer stall, which starts the grid afresh with one.
int framesDue(TickGrid &grid, double now);
// When the frames run at the latest animation frame reach the screen: its next refresh (ms,
// on the same clock), as the spacing of the browser's animation frames tells it.
double nextRefresh(const TickGrid &grid);
