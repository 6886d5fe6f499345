// webgl.h -- the web build's own calls beside GL and GLUT: still mode, the frame's end
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Still mode, for running many frames unseen (a link to a moment of the show). While it is on,
// state changes apply as usual but nothing is drawn: draws and clears are kept per framebuffer
// back to where its whole contents were last replaced (its colour cleared or overwritten whole,
// its depth cleared before it was next tested), and turning it off draws what was kept, so the
// pixels come out as if every frame had been drawn.
void webglSetStill(int on);

// The end of a frame (glutSwapBuffers calls it): outside still mode what was drawn goes to
// WebGL now; in still mode what is kept is pruned.
void webglFrameEnd(void);

// The moment (performance.now(), ms) the frame being drawn now is expected on the screen: the
// display's next refresh after the current animation frame.
double webglPresentMs(void);

#ifdef __cplusplus
}
#endif
