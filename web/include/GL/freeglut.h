// freeglut.h -- the GLUT subset the web build offers over the page's canvas
//
// The calls and values are GLUT's; what they mean in a browser tab is written beside each one
// that differs. The web build's own calls (still mode, the frame's end) are in webgl.h.
#pragma once
#include <GL/gl.h>
#include <GL/glu.h>

#define GLUT_RGB 0x0000
#define GLUT_RGBA 0x0000
#define GLUT_SINGLE 0x0000
#define GLUT_DOUBLE 0x0002
#define GLUT_DEPTH 0x0010

#define GLUT_KEY_F1 0x0001
#define GLUT_KEY_F2 0x0002
#define GLUT_KEY_F3 0x0003
#define GLUT_KEY_F4 0x0004
#define GLUT_KEY_F5 0x0005
#define GLUT_KEY_F6 0x0006
#define GLUT_KEY_F7 0x0007
#define GLUT_KEY_F8 0x0008
#define GLUT_KEY_F9 0x0009
#define GLUT_KEY_F10 0x000A
#define GLUT_KEY_F11 0x000B
#define GLUT_KEY_F12 0x000C
#define GLUT_KEY_LEFT 0x0064
#define GLUT_KEY_UP 0x0065
#define GLUT_KEY_RIGHT 0x0066
#define GLUT_KEY_DOWN 0x0067
#define GLUT_KEY_PAGE_UP 0x0068
#define GLUT_KEY_PAGE_DOWN 0x0069
#define GLUT_KEY_HOME 0x006A
#define GLUT_KEY_END 0x006B
#define GLUT_KEY_INSERT 0x006C

#define GLUT_WINDOW_WIDTH 0x0066
#define GLUT_WINDOW_HEIGHT 0x0067
#define GLUT_ELAPSED_TIME 0x02BC

// a token, as freeglut's own header has it on some systems; the only font the web build has
#define GLUT_BITMAP_8_BY_13 ((void *)0x0003)

#ifdef __cplusplus
extern "C" {
#endif

void glutInit(int *argcp, char **argv);
void glutInitDisplayMode(unsigned int mode);
void glutInitWindowSize(int width, int height);  // the canvas's size until it has a layout size
// Makes the WebGL 2 context on the page's canvas, #canvas. Returns 1, or 0 where WebGL 2 cannot
// be had: the reason is then on standard error and the page's Module.onWebGLMissing (when it
// has one) is called with it.
int glutCreateWindow(const char *title);
void glutDisplayFunc(void (*callback)(void));
void glutIdleFunc(void (*callback)(void));
void glutKeyboardFunc(void (*callback)(unsigned char key, int x, int y));
void glutSpecialFunc(void (*callback)(int key, int x, int y));
void glutReshapeFunc(void (*callback)(int width, int height));
void glutIgnoreKeyRepeat(int ignore);
int glutGet(GLenum query);
// Ends the frame: what was drawn goes to WebGL, and the browser shows it when the callback
// returns (in still mode nothing goes to WebGL; see webgl.h).
void glutSwapBuffers(void);
// Never returns. Frames follow a 60 Hz grid on requestAnimationFrame: each tick runs the idle
// callback, or the display callback where a redisplay is posted or there is no idle callback.
// The keyboard callbacks are called only while it runs: a key pressed before is the page's.
void glutMainLoop(void);
// Ends what glutMainLoop began: no callback runs after the one that calls it (glutMainLoop
// itself has returned to the browser long before, so nothing returns here).
void glutLeaveMainLoop(void);
// The framebuffer-object entry points of glext.h by name; null for anything else.
void *glutGetProcAddress(const char *name);
void glutBitmapCharacter(void *font, int character);
int glutBitmapWidth(void *font, int character);

#ifdef __cplusplus
}
#endif
