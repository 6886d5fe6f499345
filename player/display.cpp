// display.cpp -- the window on the X display: opened at the desktop's scale, fullscreen on the monitor it is on
//
// GLUT knows neither: it opens every window at the size asked for in pixels, and its
// fullscreen without a window manager is the whole X screen, which spans every monitor.
#include "player.h"
#include "desktop.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>

int scaleForDpi(double dpi, int screenWidth, int screenHeight) {
    // 96 dots per inch is a desktop at 1:1; a fractional scale (144 = 1.5) keeps the smaller
    // integer, so the window never outgrows what the desktop would make of it
    int scale = dpi > 0 ? int(std::floor(dpi / 96 + 0.01)) : 1;
    while (scale > 1 && (640 * scale > screenWidth || 480 * scale > screenHeight))
        scale--;
    return scale < 1 ? 1 : scale;
}

int desktopScale() {
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return 1;  // GLUT says why when it fails to open the display itself
    double dpi = 0;
    // the resources the desktop loaded into the server (xrdb), where Xft.dpi says its scale
    if (const char *resources = XResourceManagerString(display)) {
        XrmInitialize();
        XrmDatabase database = XrmGetStringDatabase(resources);
        char *type = nullptr;
        XrmValue value;
        if (database && XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
            dpi = atof(value.addr);
        if (database)
            XrmDestroyDatabase(database);
    }
    Screen *screen = DefaultScreenOfDisplay(display);
    int scale = scaleForDpi(dpi, WidthOfScreen(screen), HeightOfScreen(screen));
    XCloseDisplay(display);
    return scale;
}

static bool fillingMonitor;  // F11 made the window fill its monitor by moving and sizing it
static int savedX, savedY, savedWidth, savedHeight;  // the window's place before, in root pixels

// A window manager that follows the desktop conventions names its check window on the root;
// fullscreen is then its business, and it already keeps to the window's monitor.
static bool windowManagerRuns(Display *display, Window root) {
    Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None)
        return false;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    bool named = XGetWindowProperty(display, root, check, 0, 1, False, XA_WINDOW, &type, &format,
                                    &count, &after, &data) == Success &&
                 data && count == 1;
    if (data)
        XFree(data);
    return named;
}

static long overlap(int a, int aLength, int b, int bLength) {
    long length = long(std::min(a + aLength, b + bLength)) - std::max(a, b);
    return length > 0 ? length : 0;
}

// F11 without a window manager: fills the monitor that shows most of the window (RandR's
// monitor list), or puts the window back; false where a window manager or no RandR 1.5 leaves
// fullscreen to GLUT. Sets `entered` to whether the window now fills its monitor.
static bool toggleMonitorFullScreen(bool *entered) {
    Display *display = glXGetCurrentDisplay();
    Window window = glXGetCurrentDrawable();
    if (!display || !window)
        return false;
    if (fillingMonitor) {
        glutPositionWindow(savedX, savedY);
        glutReshapeWindow(savedWidth, savedHeight);
        fillingMonitor = false;
        *entered = false;
        return true;
    }
    Window root = DefaultRootWindow(display);
    int event, error, major = 0, minor = 0;
    if (windowManagerRuns(display, root) || !XRRQueryExtension(display, &event, &error) ||
        !XRRQueryVersion(display, &major, &minor) || major * 100 + minor < 105)
        return false;
    int count = 0;
    XRRMonitorInfo *monitors = XRRGetMonitors(display, root, True, &count);
    if (!monitors)
        return false;
    XWindowAttributes attributes;
    Window child;
    int x = 0, y = 0;
    XGetWindowAttributes(display, window, &attributes);
    XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child);
    // the monitor that shows most of the window; the primary one where none shows any
    int chosen = -1;
    long most = 0;
    for (int i = 0; i < count; i++) {
        const XRRMonitorInfo &m = monitors[i];
        long shown = overlap(x, attributes.width, m.x, m.width) * overlap(y, attributes.height, m.y, m.height);
        if (shown > most || (chosen < 0 && m.primary)) {
            chosen = i;
            most = std::max(most, shown);
        }
    }
    if (chosen < 0 && count > 0)
        chosen = 0;
    if (chosen >= 0) {
        savedX = x;
        savedY = y;
        savedWidth = attributes.width;
        savedHeight = attributes.height;
        glutPositionWindow(monitors[chosen].x, monitors[chosen].y);
        glutReshapeWindow(monitors[chosen].width, monitors[chosen].height);
        fillingMonitor = true;
        *entered = true;
    }
    XRRFreeMonitors(monitors);
    return chosen >= 0;
}

void toggleFullScreen() {
    // GLUT's fullscreen without a window manager is the whole X screen, across every
    // monitor; with one, GLUT_FULL_SCREEN still tells the state before the toggle (the
    // window manager answers later). The reshape that follows sizes the view and the picture.
    bool entered;
    if (!toggleMonitorFullScreen(&entered)) {
        entered = !glutGet(GLUT_FULL_SCREEN);
        glutFullScreenToggle();
    }
    glutSetCursor(entered ? GLUT_CURSOR_NONE : GLUT_CURSOR_INHERIT);
}

void openWindow(int *argc, char **argv) {
    glutInit(argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH | GLUT_RGBA);
    glutInitWindowPosition(0, 0);
    // on a scaled desktop (a 4K screen at 2x) the window and its status line scale with it
    textScale = desktopScale();
    glutInitWindowSize(640 * textScale, 480 * textScale);
    glutCreateWindow("vortazov");
    setWindowIdentity();
    initPacing();
    // closing the window is an exit like Escape, so recorded sync points are written
    glutCloseFunc(windowClosed);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
}
