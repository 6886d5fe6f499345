// ticks.cpp -- the 60 Hz grid of ticks the web build's main loop runs its frames on
//
// The animation was made for 60 frames a second, so frames follow a 60 Hz grid of ticks
// whatever the display's refresh: on a 120 or 144 Hz display a frame is shown for two or more
// refreshes. As the desktop's pacer does, a frame or two that come late are made up at once
// (the frame count drives the animation and must keep up with the music), and after a longer
// stall (a hidden tab) the grid starts afresh rather than catching up in a burst. On a display
// of about 60 Hz (57 to 63) the ticks follow its refresh, so every refresh runs one frame, as
// vsync gives on the desktop: a grid of exact 1/60 s against a 59.94 Hz refresh would now and
// then run two frames at one refresh and none at the next.
#include "ticks.h"

#include <algorithm>

static const double TICK_MS = 1000.0 / 60;
static const int CATCH_UP_TICKS = 3;  // later than this a frame starts afresh on a new grid

// The time between the display's refreshes: the median spacing of the latest animation
// frames, 0 until there are enough of them.
static double refreshMs(const TickGrid &grid) {
    int n = std::min(grid.refreshCount, TICK_REFRESHES);
    if (n < 8)
        return 0;
    double sorted[TICK_REFRESHES];
    std::copy(grid.refreshes, grid.refreshes + n, sorted);
    std::nth_element(sorted, sorted + n / 2, sorted + n);
    return sorted[n / 2];
}

int framesDue(TickGrid &grid, double now) {
    double gap = grid.lastFrame > 0 ? now - grid.lastFrame : 0;
    if (gap > 0)
        grid.refreshes[grid.refreshCount++ % TICK_REFRESHES] = gap;
    grid.lastFrame = now;
    double refresh = refreshMs(grid);
    // about 60 Hz (a wide band, for a refresh told by timestamps that jitter): the ticks are the
    // display's own refreshes
    bool sixtyHz = refresh >= 1000 / 63.0 && refresh <= 1000 / 57.0;
    double tick = sixtyHz ? refresh : TICK_MS;
    // a tick is due at the refresh nearest it: up to half a refresh early still counts (half
    // a tick while the refresh is not known yet)
    double margin = (refresh > 0 ? std::min(refresh, tick) : tick) / 2;
    if (grid.next == 0 || now - grid.next >= CATCH_UP_TICKS * tick)
        grid.next = now;  // the first frame, or after a stall
    int frames = 0;
    while (frames < CATCH_UP_TICKS && now >= grid.next - margin) {
        frames++;
        grid.next += tick;
    }
    // Ticks of the display's measured refresh would drift from its real one by the error of the
    // measure: they are drawn a tenth of the way towards the moment this frame came at.
    if (sixtyHz && frames > 0)
        grid.next += 0.1 * (now + tick - grid.next);
    return frames;
}

double nextRefresh(const TickGrid &grid) {
    double refresh = refreshMs(grid);
    return grid.lastFrame + (refresh > 0 ? refresh : TICK_MS);
}
