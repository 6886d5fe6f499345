// slow_start.cpp -- the presentation with its first two frames slowed to 250 ms, as on a loaded machine
//
// The program is the real one (runDemo) with a frame hook: the first two frames sleep before
// their swap, and the frame that switches to the end part prints the module position the
// switch came at, so a test can tell a timeline that ended before its time.
#include "player.h"

#include <cstdio>
#include <unistd.h>

static int slowFrames = 2;  // frames still to be slowed
static bool reported;       // the switch has been printed

static void slowFirstFrames() {
    if (slowFrames > 0 && slowFrames--)
        usleep(250000);
    if (endPartActive && !reported) {
        reported = true;
        DWORD word = BASS_ChannelGetPosition(musicHandle);
        printf("end part began at order %u row %u\n", word & 0xFFFF, word >> 16);
        fflush(stdout);
    }
}

int main(int argc, char **argv) {
    frameFinished = slowFirstFrames;
    return runDemo(argc, argv);
}
