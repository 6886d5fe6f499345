// glut.cpp -- the GLUT subset over the page's canvas: the WebGL 2 context, keys, size, the 60 Hz loop
#define GL_GLEXT_PROTOTYPES
#include <GL/freeglut.h>
#include <GL/glext.h>
#include <webgl.h>

#include "layer.h"
#include "ticks.h"

#include <emscripten.h>
#include <emscripten/eventloop.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static const char *const canvasSelector = "#canvas";  // the canvas the page draws the show on
static double startMs;                           // glutInit's moment, on performance.now()
static int initialWidth = 300, initialHeight = 300;  // glutInitWindowSize's, for a canvas without a layout size
static int width, height;                        // the drawing buffer's size now, pixels
static int askedWidth, askedHeight;              // the size last asked of the browser for it
static EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context;  // the show's WebGL 2 context, 0 before
// the program's callbacks, null until it gives them
static void (*displayCallback)();
static void (*idleCallback)();
static void (*keyboardCallback)(unsigned char, int, int);
static void (*specialCallback)(int, int, int);
static void (*reshapeCallback)(int, int);
static bool ignoreRepeat;    // held keys do not repeat their callbacks
static bool redisplay = true;  // the display callback is due (the window is new or resized)
static bool reshapeDue = true; // the reshape callback has not seen the size yet
static int mouseX, mouseY;     // the pointer's last place over the canvas, CSS pixels
static bool loopEntered;       // glutMainLoop was called: keys reach the program from then on
static bool leaveLoop;         // glutLeaveMainLoop was called: no frame runs any more

static TickGrid ticks;          // when frames are due

void glutInit(int *, char **) {
    startMs = emscripten_get_now();
}

void glutInitDisplayMode(unsigned int) {
    // the context always has RGBA colour and depth, and the page shows what a frame drew
}

void glutInitWindowSize(int w, int h) {
    initialWidth = w;
    initialHeight = h;
}

// The canvas's size in device pixels: its CSS box times devicePixelRatio, so the picture is
// crisp on a HiDPI screen; 0 x 0 while it has no layout.
EM_JS(void, canvasDevicePixels, (const char *selector, int *size), {
    var canvas = document.querySelector(UTF8ToString(selector));
    var box = canvas ? canvas.getBoundingClientRect() : {width : 0, height : 0};
    var ratio = window.devicePixelRatio || 1;
    HEAP32[size >> 2] = Math.round(box.width * ratio);
    HEAP32[(size >> 2) + 1] = Math.round(box.height * ratio);
});

EM_JS(void, reportMissing, (const char *reason), {
    if (typeof Module.onWebGLMissing == 'function')
        Module.onWebGLMissing(UTF8ToString(reason));
});

// A lost context takes every texture and list with it, and the show cannot go on: the page is
// told, as for a missing context, so it shows a message rather than a still canvas.
EM_JS(void, watchContextLoss, (const char *selector), {
    var canvas = document.querySelector(UTF8ToString(selector));
    canvas.addEventListener('webglcontextlost', function() {
        var reason = "the browser took WebGL away from the page (a driver reset, or too many pages using it); reload the page";
        console.error(reason);
        if (typeof Module.onWebGLMissing == 'function')
            Module.onWebGLMissing(reason);
    });
});

// Sizes the drawing buffer. A browser may give less than asked for (past its largest
// drawing buffer): the size is what it gave, so viewports and bitmaps land where they should.
static void resizeDrawingBuffer(int w, int h) {
    askedWidth = w;
    askedHeight = h;
    emscripten_set_canvas_element_size(canvasSelector, w, h);
    emscripten_webgl_get_drawing_buffer_size(context, &width, &height);
    setCanvasSize(width, height);
}

static EM_BOOL keyEvent(int type, const EmscriptenKeyboardEvent *e, void *);
static EM_BOOL mouseMoved(int, const EmscriptenMouseEvent *e, void *) {
    mouseX = int(e->targetX);
    mouseY = int(e->targetY);
    return EM_FALSE;
}

int glutCreateWindow(const char *) {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    // the window's alpha is never shown on the desktop; a canvas would blend it with the page
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_FALSE;
    context = emscripten_webgl_create_context(canvasSelector, &attributes);
    if (context <= 0) {
        bool canvas = EM_ASM_INT({ return document.querySelector(UTF8ToString($0)) ? 1 : 0; }, canvasSelector);
        std::string reason = canvas ? "this browser cannot draw WebGL 2 here (it is missing, switched off or blocked)"
                                    : std::string("the page has no canvas ") + canvasSelector;
        fprintf(stderr, "%s\n", reason.c_str());
        reportMissing(reason.c_str());
        return 0;
    }
    emscripten_webgl_make_context_current(context);
    webglInit();
    int size[2];
    canvasDevicePixels(canvasSelector, size);
    resizeDrawingBuffer(size[0] > 0 ? size[0] : initialWidth, size[1] > 0 ? size[1] : initialHeight);
    watchContextLoss(canvasSelector);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, keyEvent);
    emscripten_set_mousemove_callback(canvasSelector, nullptr, EM_FALSE, mouseMoved);
    return 1;
}

void glutDisplayFunc(void (*callback)(void)) {
    displayCallback = callback;
}

void glutIdleFunc(void (*callback)(void)) {
    idleCallback = callback;
}

void glutKeyboardFunc(void (*callback)(unsigned char, int, int)) {
    keyboardCallback = callback;
}

void glutSpecialFunc(void (*callback)(int, int, int)) {
    specialCallback = callback;
}

void glutReshapeFunc(void (*callback)(int, int)) {
    reshapeCallback = callback;
    reshapeDue = true;
}

void glutIgnoreKeyRepeat(int ignore) {
    ignoreRepeat = ignore != 0;
}

int glutGet(GLenum query) {
    switch (query) {
    case GLUT_ELAPSED_TIME: return int(emscripten_get_now() - startMs);
    case GLUT_WINDOW_WIDTH: return width;
    case GLUT_WINDOW_HEIGHT: return height;
    }
    unimplemented("glutGet", "query", query);
    return -1;
}

void glutSwapBuffers(void) {
    webglFrameEnd();
}

// The keys the browser would otherwise take for itself (help, search, fullscreen, developer
// tools, scrolling), held back from it when the show is given them.
static bool keptFromBrowser(const char *key) {
    for (const char *k : {"Escape", " ", "F1", "F2", "F11", "F12"})
        if (strcmp(key, k) == 0)
            return true;
    return false;
}

static int specialKey(const char *key) {
    if (key[0] == 'F' && key[1] >= '1' && key[1] <= '9') {
        int n = atoi(key + 1);
        if (n >= 1 && n <= 12)
            return GLUT_KEY_F1 + n - 1;
    }
    static const struct {
        const char *name;
        int glut;
    } keys[] = {{"ArrowLeft", GLUT_KEY_LEFT}, {"ArrowUp", GLUT_KEY_UP},       {"ArrowRight", GLUT_KEY_RIGHT},
                {"ArrowDown", GLUT_KEY_DOWN}, {"PageUp", GLUT_KEY_PAGE_UP},  {"PageDown", GLUT_KEY_PAGE_DOWN},
                {"Home", GLUT_KEY_HOME},      {"End", GLUT_KEY_END},         {"Insert", GLUT_KEY_INSERT}};
    for (const auto &k : keys)
        if (strcmp(key, k.name) == 0)
            return k.glut;
    return 0;
}

// The ASCII code GLUT's keyboard callback gets, 0 for a key it does not report there.
static int asciiKey(const char *key) {
    if (strcmp(key, "Escape") == 0) return 27;
    if (strcmp(key, "Enter") == 0) return 13;
    if (strcmp(key, "Backspace") == 0) return 8;
    if (strcmp(key, "Tab") == 0) return 9;
    if (strcmp(key, "Delete") == 0) return 127;
    if (key[0] > 0 && key[0] < 127 && key[1] == 0) return key[0];
    return 0;
}

static EM_BOOL keyEvent(int, const EmscriptenKeyboardEvent *e, void *) {
    // Before the loop the page waits for the key that starts the show, which must not also
    // reach the program (Escape would end it at once); after it the show is over.
    if (!loopEntered || leaveLoop)
        return EM_FALSE;
    if (e->ctrlKey || e->altKey || e->metaKey)
        return EM_FALSE;  // the browser's and the system's shortcuts stay theirs
    if (e->repeat && ignoreRepeat)
        return keptFromBrowser(e->key) ? EM_TRUE : EM_FALSE;
    int special = specialKey(e->key), ascii = special ? 0 : asciiKey(e->key);
    // called within the key's own event, so a callback may enter fullscreen
    if (special && specialCallback)
        specialCallback(special, mouseX, mouseY);
    else if (ascii && keyboardCallback)
        keyboardCallback((unsigned char)ascii, mouseX, mouseY);
    else
        return EM_FALSE;
    return keptFromBrowser(e->key) ? EM_TRUE : EM_FALSE;
}

// A new size of the canvas's box: the drawing buffer follows it, then the reshape callback.
static void followCanvasSize() {
    int size[2];
    canvasDevicePixels(canvasSelector, size);
    if (size[0] > 0 && size[1] > 0 && (size[0] != askedWidth || size[1] != askedHeight)) {
        resizeDrawingBuffer(size[0], size[1]);
        reshapeDue = true;
    }
    if (reshapeDue && reshapeCallback) {
        reshapeDue = false;
        reshapeCallback(width, height);
        redisplay = true;
    }
}

static void runFrame() {
    if (displayCallback && (redisplay || !idleCallback)) {
        redisplay = false;
        displayCallback();
    } else if (idleCallback) {
        idleCallback();
    }
}

// `time` is the animation frame's own timestamp, which follows the display's refresh more
// closely than the moment the callback runs.
static EM_BOOL animationFrame(double time, void *) {
    if (leaveLoop)
        return EM_FALSE;
    followCanvasSize();
    // a frame may leave the loop: the program has freed what the frames after it would draw
    for (int frames = framesDue(ticks, time); frames > 0 && !leaveLoop; frames--)
        runFrame();
    return leaveLoop ? EM_FALSE : EM_TRUE;
}

extern "C" double webglPresentMs(void) {
    return nextRefresh(ticks);
}

void glutMainLoop(void) {
    loopEntered = true;
    // requestAnimationFrame drives the loop; main() returns to the browser here for good
    emscripten_request_animation_frame_loop(animationFrame, nullptr);
    emscripten_unwind_to_js_event_loop();
}

void glutLeaveMainLoop(void) {
    leaveLoop = true;
}

// the framebuffer-object entry points of glext.h
void *glutGetProcAddress(const char *name) {
    static const struct {
        const char *name;
        void *entry;
    } entries[] = {
        {"glGenFramebuffers", (void *)glGenFramebuffers},
        {"glDeleteFramebuffers", (void *)glDeleteFramebuffers},
        {"glBindFramebuffer", (void *)glBindFramebuffer},
        {"glFramebufferTexture2D", (void *)glFramebufferTexture2D},
        {"glGenRenderbuffers", (void *)glGenRenderbuffers},
        {"glDeleteRenderbuffers", (void *)glDeleteRenderbuffers},
        {"glBindRenderbuffer", (void *)glBindRenderbuffer},
        {"glRenderbufferStorage", (void *)glRenderbufferStorage},
        {"glFramebufferRenderbuffer", (void *)glFramebufferRenderbuffer},
        {"glCheckFramebufferStatus", (void *)glCheckFramebufferStatus},
        {"glBlitFramebuffer", (void *)glBlitFramebuffer},
    };
    for (const auto &e : entries)
        if (strcmp(name, e.name) == 0)
            return e.entry;
    return nullptr;
}
