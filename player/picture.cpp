// picture.cpp -- the program's own copy of the picture, kept between colour clears
//
// Several scenes clear the colour buffer only on some rows and let translucent drawing pile
// up into trails. GLX does not promise that the back buffer survives a swap (compositors and
// some drivers discard it), so the scenes draw into an off-screen framebuffer that belongs to
// us; each frame it is copied to the back buffer, and the status line goes on top of the copy.
// The copy costs a full-window blit, so a scene that clears the colour on every frame draws
// straight into the back buffer instead. Without framebuffer objects every scene does.
#include "player.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/freeglut.h>
#include <GL/glext.h>
#include <cstdio>

static PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
static PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
static PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
static PFNGLFRAMEBUFFERTEXTURE2DPROC framebufferTexture2D;
static PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
static PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
static PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
static PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
static PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
static PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
static PFNGLBLITFRAMEBUFFERPROC blitFramebuffer;

static bool pictureChecked;    // the entry points have been looked up
static bool pictureAvailable;  // framebuffer objects work here
static GLuint pictureFramebuffer;  // 0 until the first resize
static GLuint pictureColour;       // colour texture of the picture
static GLuint pictureDepth;        // depth renderbuffer of the picture
static int pictureWidth, pictureHeight;  // pixels
static bool pictureBound;    // this frame draws into the picture
static bool pictureStale;    // frames were drawn past the picture since it was last used

static bool lookUpEntryPoints() {
    genFramebuffers = (PFNGLGENFRAMEBUFFERSPROC)glutGetProcAddress("glGenFramebuffers");
    deleteFramebuffers = (PFNGLDELETEFRAMEBUFFERSPROC)glutGetProcAddress("glDeleteFramebuffers");
    bindFramebuffer = (PFNGLBINDFRAMEBUFFERPROC)glutGetProcAddress("glBindFramebuffer");
    framebufferTexture2D = (PFNGLFRAMEBUFFERTEXTURE2DPROC)glutGetProcAddress("glFramebufferTexture2D");
    genRenderbuffers = (PFNGLGENRENDERBUFFERSPROC)glutGetProcAddress("glGenRenderbuffers");
    deleteRenderbuffers = (PFNGLDELETERENDERBUFFERSPROC)glutGetProcAddress("glDeleteRenderbuffers");
    bindRenderbuffer = (PFNGLBINDRENDERBUFFERPROC)glutGetProcAddress("glBindRenderbuffer");
    renderbufferStorage = (PFNGLRENDERBUFFERSTORAGEPROC)glutGetProcAddress("glRenderbufferStorage");
    framebufferRenderbuffer =
        (PFNGLFRAMEBUFFERRENDERBUFFERPROC)glutGetProcAddress("glFramebufferRenderbuffer");
    checkFramebufferStatus =
        (PFNGLCHECKFRAMEBUFFERSTATUSPROC)glutGetProcAddress("glCheckFramebufferStatus");
    blitFramebuffer = (PFNGLBLITFRAMEBUFFERPROC)glutGetProcAddress("glBlitFramebuffer");
    return genFramebuffers && deleteFramebuffers && bindFramebuffer && framebufferTexture2D &&
           genRenderbuffers && deleteRenderbuffers && bindRenderbuffer && renderbufferStorage &&
           framebufferRenderbuffer && checkFramebufferStatus && blitFramebuffer;
}

void pictureResize(int width, int height) {
    if (!pictureChecked) {
        pictureChecked = true;
        pictureAvailable = lookUpEntryPoints();
        if (!pictureAvailable) {
            printf("no framebuffer objects: trails rely on the back buffer\n");
            fflush(stdout);
        }
    }
    if (!pictureAvailable || width <= 0 || height <= 0)
        return;
    if (pictureFramebuffer && width == pictureWidth && height == pictureHeight)
        return;

    // texture parameters and bindings below are ours to restore: the scenes rely on theirs
    GLint boundTexture;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);

    GLuint framebuffer, colour, depth;
    genFramebuffers(1, &framebuffer);
    glGenTextures(1, &colour);
    glBindTexture(GL_TEXTURE_2D, colour);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, boundTexture);
    genRenderbuffers(1, &depth);
    bindRenderbuffer(GL_RENDERBUFFER, depth);
    renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    bindRenderbuffer(GL_RENDERBUFFER, 0);
    bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    framebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
    framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    if (checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        printf("framebuffer incomplete: trails rely on the back buffer\n");
        fflush(stdout);
        bindFramebuffer(GL_FRAMEBUFFER, 0);
        deleteFramebuffers(1, &framebuffer);
        deleteRenderbuffers(1, &depth);
        glDeleteTextures(1, &colour);
        pictureAvailable = false;
        return;
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // a resize keeps what the picture showed, stretched to the new size
    if (pictureFramebuffer) {
        bindFramebuffer(GL_READ_FRAMEBUFFER, pictureFramebuffer);
        blitFramebuffer(0, 0, pictureWidth, pictureHeight, 0, 0, width, height,
                        GL_COLOR_BUFFER_BIT, GL_LINEAR);
        deleteFramebuffers(1, &pictureFramebuffer);
        deleteRenderbuffers(1, &pictureDepth);
        glDeleteTextures(1, &pictureColour);
    }
    bindFramebuffer(GL_FRAMEBUFFER, 0);
    pictureFramebuffer = framebuffer;
    pictureColour = colour;
    pictureDepth = depth;
    pictureWidth = width;
    pictureHeight = height;
}

void pictureBegin(bool keep) {
    pictureBound = keep && pictureFramebuffer;
    if (!pictureBound) {
        pictureStale = true;
        return;
    }
    bindFramebuffer(GL_FRAMEBUFFER, pictureFramebuffer);
    // After frames drawn straight to the screen the picture holds an older scene: start from
    // the clear colour, as the scene before did on every frame.
    if (pictureStale) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        pictureStale = false;
    }
}

void pictureEnd() {
    if (!pictureBound)
        return;
    bindFramebuffer(GL_READ_FRAMEBUFFER, pictureFramebuffer);
    bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    blitFramebuffer(0, 0, pictureWidth, pictureHeight, 0, 0, pictureWidth, pictureHeight,
                    GL_COLOR_BUFFER_BIT, GL_NEAREST);
    bindFramebuffer(GL_FRAMEBUFFER, 0);
}
