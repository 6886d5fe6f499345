// pace.cpp -- holds the live frame loop to 60 frames a second: vsync where offered, a steady clock on top
//
// Every scene animates per frame and lets translucent drawing pile up between colour clears;
// both were tuned for a loop of about 60 frames a second. Drawn as fast as the machine goes,
// the spiral fills in to a disc and the letters smear, and on a 144 Hz display everything
// runs 2.4 times too fast. So the frame function stays as it is and this file decides when
// it may run: the swap waits for the display where the context lets us ask for that, and a
// frame never starts before its tick on the steady clock, one tick every 1/60 s.
#include "player.h"
#include "audio.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

using PaceClock = std::chrono::steady_clock;

typedef void (*SwapIntervalExt)(Display *, GLXDrawable, int);
typedef int (*SwapIntervalMesa)(unsigned int);
typedef int (*SwapIntervalSgi)(int);
typedef Bool (*GetMscRate)(Display *, GLXDrawable, int32_t *, int32_t *);

static bool pacingLookedUp;             // the swap-control entry points have been looked for
static SwapIntervalExt swapIntervalExt;  // GLX_EXT_swap_control, null when not offered
static SwapIntervalMesa swapIntervalMesa;  // GLX_MESA_swap_control, null when not offered
static SwapIntervalSgi swapIntervalSgi;  // GLX_SGI_swap_control (cannot switch vsync off)
static double displayHz;                 // the display's refresh rate, 0 when no one says
static bool pacingOn = true;             // frames are held to their ticks
static bool vsyncOn;                     // the swap waits for the display's refresh
static PaceClock::duration tickPeriod;   // time between two ticks
static PaceClock::time_point nextTick;   // earliest start of the next frame, zero before the first
static const int CATCH_UP_TICKS = 3;     // later than this a frame starts afresh on a new grid
bool lookAheadToSwap = true;             // position queries answer for the moment of the swap
static const int DELAY_FRAMES = 16;      // frames whose query-to-swap time is kept
static double frameDelays[DELAY_FRAMES]; // seconds from a frame's start (its position query) to its swap
static int delaysKept;                   // frames measured so far, up to DELAY_FRAMES

// The GLX extensions of the window's screen, as the context can use them (the client's own
// list also names extensions the server side does not give this context).
static bool offered(const char *extensions, const char *name) {
    size_t length = strlen(name);
    for (const char *at = extensions; (at = strstr(at, name)); at += length) {
        bool starts = at == extensions || at[-1] == ' ';
        if (starts && (at[length] == ' ' || at[length] == 0))
            return true;
    }
    return false;
}

static void lookUpSwapControl() {
    pacingLookedUp = true;
    Display *display = glXGetCurrentDisplay();
    GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable)
        return;
    const char *extensions = glXQueryExtensionsString(display, DefaultScreen(display));
    if (!extensions)
        return;
    auto entry = [](const char *name) { return glXGetProcAddress((const GLubyte *)name); };
    if (offered(extensions, "GLX_EXT_swap_control"))
        swapIntervalExt = (SwapIntervalExt)entry("glXSwapIntervalEXT");
    if (offered(extensions, "GLX_MESA_swap_control"))
        swapIntervalMesa = (SwapIntervalMesa)entry("glXSwapIntervalMESA");
    if (offered(extensions, "GLX_SGI_swap_control"))
        swapIntervalSgi = (SwapIntervalSgi)entry("glXSwapIntervalSGI");
    GetMscRate mscRate = nullptr;
    if (offered(extensions, "GLX_OML_sync_control"))
        mscRate = (GetMscRate)entry("glXGetMscRateOML");
    int32_t numerator = 0, denominator = 0;
    if (mscRate && mscRate(display, drawable, &numerator, &denominator) && denominator > 0)
        displayHz = double(numerator) / denominator;
}

// Asks for a swap interval of 1 (vsync) or 0 through whichever extension the context offers.
static bool setSwapInterval(int interval) {
    Display *display = glXGetCurrentDisplay();
    GLXDrawable drawable = glXGetCurrentDrawable();
    if (swapIntervalExt && display && drawable) {
        swapIntervalExt(display, drawable, interval);
        return true;
    }
    if (swapIntervalMesa)
        return swapIntervalMesa(unsigned(interval)) == 0;
    // the SGI extension knows no interval 0: there vsync stays on once it is on
    if (swapIntervalSgi && interval > 0)
        return swapIntervalSgi(interval) == 0;
    return false;
}

void setPacing(bool paced) {
    if (!pacingLookedUp)
        lookUpSwapControl();
    pacingOn = paced;
    bool accepted = setSwapInterval(paced ? 1 : 0);
    vsyncOn = paced && accepted;
    // On a display that refreshes at about 60 Hz vsync alone paces: ticks a little shorter
    // than its refresh never hold a frame back (which could push it past a refresh and show
    // the one before twice) and still cap the rate should the driver ignore the interval.
    // Elsewhere (faster displays, no vsync, a rate no one reports) the ticks hold 60.
    double seconds = 1.0 / 60;
    if (vsyncOn && displayHz >= 59.5 && displayHz <= 60.5)
        seconds = 0.995 / displayHz;
    tickPeriod = std::chrono::duration_cast<PaceClock::duration>(std::chrono::duration<double>(seconds));
    nextTick = PaceClock::time_point();
    delaysKept = 0;
    audioSetLookahead(0);
}

// A frame shows the music of its position query, and it is seen only once it is swapped,
// a drawing time later (more with vsync, which waits for the display). The position queries
// therefore answer for that moment: the median time from start to swap of the last frames,
// so a single slow frame does not move it.
static void noteFrameDelay(double seconds) {
    frameDelays[delaysKept % DELAY_FRAMES] = seconds;
    delaysKept++;
    int n = std::min(delaysKept, DELAY_FRAMES);
    double sorted[DELAY_FRAMES];
    std::copy(frameDelays, frameDelays + n, sorted);
    std::nth_element(sorted, sorted + n / 2, sorted + n);
    audioSetLookahead(lookAheadToSwap ? sorted[n / 2] : 0);
}

void initPacing() {
    setPacing(true);
}

bool pacingVsync() {
    return vsyncOn;
}

void pacedFrame() {
    if (pacingOn) {
        PaceClock::time_point now = PaceClock::now();
        if (nextTick == PaceClock::time_point())
            nextTick = now;
        if (now < nextTick)
            std::this_thread::sleep_until(nextTick);
        else if (now - nextTick >= CATCH_UP_TICKS * tickPeriod)
            nextTick = now;  // a stall: start afresh rather than catch up in a burst
        // Ticks stay on one grid, so the time a sleep oversleeps is made up by the next one,
        // and so is a frame or two that came late (a busy machine, llvmpipe compiling for a
        // new state): the next frames start at once, and the count of frames, which drives
        // every animation, keeps up with the music.
        nextTick += tickPeriod;
    }
    PaceClock::time_point began = PaceClock::now();
    displayFrame();
    if (pacingOn) {
        double seconds = std::chrono::duration<double>(PaceClock::now() - began).count();
        noteFrameDelay(seconds);
        pictureFrameTimed(seconds);
    }
}
