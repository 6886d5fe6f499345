// ticks.cpp -- the 60 Hz grid of ticks the web build's main loop runs its frames on
//
// The animation was made for 60 frames a second, so frames follow a 60 Hz grid of ticks
// whatever the display's refresh: on a 120 or 144 Hz display a frame is shown for two or more
// refreshes. As the desktop's pacer does, a frame or two that come late are made up at once
// (the frame count drives the animation and must keep up with the music), and after a longer
// stall (a hidden tab) the grid starts afresh rather than catching up in a burst. On a display
// of about 60 Hz (57 to 63) every refresh runs one frame, as vsync gives on the desktop: a grid of exact
// 1/60 s against a 59.94 Hz refresh would now and then run two frames at one refresh and
// none at the next.
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
    // the band is wide for a refresh told by timestamps that jitter by a millisecond or two
    if (refresh >= 1000 / 63.0 && refresh <= 1000 / 57.0) {
        // one frame per refresh, as vsync gives; refreshes missed are made up, a stall is not
        int frames = gap > 0 ? int(gap / refresh + 0.5) : 1;
        if (frames < 1 || frames > CATCH_UP_TICKS)
            frames = 1;
        grid.next = now + refresh;
        return frames;
    }
    // a tick is due at the refresh nearest it: up to half a refresh early still counts (half
    // a tick while the refresh is not known yet)
    double margin = (refresh > 0 ? std::min(refresh, TICK_MS) : TICK_MS) / 2;
    if (grid.next == 0 || now - grid.next >= CATCH_UP_TICKS * TICK_MS)
        grid.next = now;  // the first frame, or after a stall
    int frames = 0;
    while (frames < CATCH_UP_TICKS && now >= grid.next - margin) {
        frames++;
        grid.next += TICK_MS;
    }
    return frames;
}

double nextRefresh(const TickGrid &grid) {
    double refresh = refreshMs(grid);
    return grid.lastFrame + (refresh > 0 ? refresh : TICK_MS);
}
