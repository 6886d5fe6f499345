// window.cpp -- the window's class and icon, so that a desktop matches it to its menu entry
#include "desktop.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <stb_image.h>

#include <vector>

// The 48-pixel icon's PNG bytes, embedded at build time from packaging/icons.
static const unsigned char iconPng[] = {
#include "window_icon.inc"
};

// freeglut sets no WM_CLASS (desktops then cannot tie the window to vortazov.desktop) and no
// icon. The current GLX drawable is the GLUT window's own X window.
void setWindowIdentity() {
    Display *display = glXGetCurrentDisplay();
    Window window = glXGetCurrentDrawable();
    if (!display || !window)
        return;
    char name[] = "vortazov";
    XClassHint hint = {name, name};
    XSetClassHint(display, window, &hint);

    int width, height, channels;
    unsigned char *pixels = stbi_load_from_memory(iconPng, sizeof iconPng, &width, &height, &channels, 4);
    if (pixels) {
        // _NET_WM_ICON: width, height, then ARGB pixels, each in a long as Xlib wants for format 32
        std::vector<unsigned long> icon = {(unsigned long)width, (unsigned long)height};
        for (int i = 0; i < width * height; i++) {
            const unsigned char *p = pixels + i * 4;
            icon.push_back((unsigned long)p[3] << 24 | p[0] << 16 | p[1] << 8 | p[2]);
        }
        stbi_image_free(pixels);
        Atom property = XInternAtom(display, "_NET_WM_ICON", False);
        XChangeProperty(display, window, property, XA_CARDINAL, 32, PropModeReplace,
                        (const unsigned char *)icon.data(), int(icon.size()));
    }
    XFlush(display);
}
