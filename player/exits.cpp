// exits.cpp -- the program's run from start-up to its end, and its way out when the display fails
#include "player.h"

#include <GL/freeglut.h>
#include <X11/Xlib.h>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// The display cannot be had or is gone: nothing can be drawn, and no GL or X call may be
// made. The recorded sync points are written and the audio engine's threads stopped, so the
// process ends with status 1 (a script can tell it from a normal end), never by an abort
// from a thread left running.
static void leaveWithoutDisplay() {
    // a shutdown already under way has written the table, or the watchdog is writing it
    stopShow();
    fflush(stdout);
    fflush(stderr);
    // freeglut and Xlib would go on to tidy a connection that no longer works
    _exit(1);
}

// freeglut's fatal errors: no display to open, no GLX on it, no visual of the kind asked for.
static void displayError(const char *format, va_list args) {
    fprintf(stderr, "vortazov: cannot use the display: ");
    vfprintf(stderr, format, args);
    const char *name = getenv("DISPLAY");
    fprintf(stderr, " (DISPLAY is %s%s%s)\n", name ? "\"" : "", name ? name : "not set", name ? "\"" : "");
    leaveWithoutDisplay();
}

// Xlib calls this when the connection to the X server breaks (the server ended, or the
// connection was closed by another client); it must not return.
static int displayLost(Display *display) {
    fprintf(stderr, "vortazov: lost the connection to the display %s\n", display ? DisplayString(display) : "");
    leaveWithoutDisplay();
    return 0;
}

int runDemo(int argc, char **argv) {
    catchQuitSignals();
    // A sound library that writes to a server's socket as the server goes away must not end
    // the show: the write fails and the audio engine falls back to its silent clock. (One
    // run of the end-to-end test ended with SIGPIPE when no server was there at all.)
    signal(SIGPIPE, SIG_IGN);
    glutInitErrorFunc(displayError);
    XSetIOErrorHandler(displayLost);
    startDemo(&argc, argv);
    glutMainLoop();
    // only a closed window gets here; every other exit leaves from its own callback
    shutdownDemo();
    return endStatus();
}
