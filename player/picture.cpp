// picture.cpp -- the program's own copy of the picture, kept between colour clears
//
// Several scenes clear the colour buffer only on some rows and let translucent drawing pile
// up into trails. GLX does not promise that the back buffer survives a swap (compositors and
// some drivers discard it), so the scenes draw into an off-screen framebuffer that belongs to
// us; each frame it is copied to the back buffer, and the status line goes on top of the copy.
// The copy costs a full-window blit, so a scene that clears the colour on every frame draws
// straight into the back buffer instead. Without framebuffer objects every scene does.
//
// The picture can also be drawn at another size than the window's and filtered to it on the
// copy: larger by an integer N for a capture's smooth edges (an exact N x N box filter, each
// window pixel the mean of the N x N picture pixels it covers, done by a small fragment shader:
// a linear blit would average only the 2 x 2 pixels around each sample point), smaller for a
// renderer that cannot fill the whole window in time: at 1/N of it each picture pixel becomes
// an N x N square, at other sizes it is stretched with the nearest picture pixel for each window
// pixel (a smooth stretch cost the swarm and the portraits 10 to 15 frames a second at 1080p on
// llvmpipe). Every scene then draws through the picture. The scenes draw no lines, points or
// bitmaps, so nothing of theirs depends on the pixel's size. A smaller picture is drawn to the
// window as one textured quad: on llvmpipe that took 5.7 ms a frame at 1920 x 1080 where a
// framebuffer blit took 8 to 10.
#include "player.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/freeglut.h>
#include <GL/glext.h>
#include <cmath>
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
static PFNGLCREATESHADERPROC createShader;
static PFNGLSHADERSOURCEPROC shaderSource;
static PFNGLCOMPILESHADERPROC compileShader;
static PFNGLGETSHADERIVPROC getShaderiv;
static PFNGLCREATEPROGRAMPROC createProgram;
static PFNGLATTACHSHADERPROC attachShader;
static PFNGLLINKPROGRAMPROC linkProgram;
static PFNGLGETPROGRAMIVPROC getProgramiv;
static PFNGLUSEPROGRAMPROC useProgram;
static PFNGLGETUNIFORMLOCATIONPROC getUniformLocation;
static PFNGLUNIFORM1IPROC uniform1i;
static PFNGLUNIFORM2FPROC uniform2f;

static bool pictureChecked;    // the entry points have been looked up
static bool pictureAvailable;  // framebuffer objects work here
static GLuint pictureFramebuffer;  // 0 until the first resize
static GLuint pictureColour;       // colour texture of the picture
static GLuint pictureDepth;        // depth renderbuffer of the picture
static int pictureWidth, pictureHeight;  // pixels
static bool pictureBound;    // this frame draws into the picture
static bool pictureStale;    // frames were drawn past the picture since it was last used
static float pictureScaleSet = 1;  // picture size over window size, as asked for
static int pictureWindowWidth, pictureWindowHeight;  // pixels: the window the picture is shown in
static bool shadersChecked;        // the shader entry points have been looked up
static bool shadersAvailable;      // GLSL programs can be built here
static const int MAX_BOX = 4;      // the largest supersampling factor the box filter takes
static GLuint boxPrograms[MAX_BOX + 1];  // box filter programs by factor, 0 until built
static bool boxFailed[MAX_BOX + 1];      // the program for this factor would not build

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

static bool lookUpShaderEntryPoints() {
    createShader = (PFNGLCREATESHADERPROC)glutGetProcAddress("glCreateShader");
    shaderSource = (PFNGLSHADERSOURCEPROC)glutGetProcAddress("glShaderSource");
    compileShader = (PFNGLCOMPILESHADERPROC)glutGetProcAddress("glCompileShader");
    getShaderiv = (PFNGLGETSHADERIVPROC)glutGetProcAddress("glGetShaderiv");
    createProgram = (PFNGLCREATEPROGRAMPROC)glutGetProcAddress("glCreateProgram");
    attachShader = (PFNGLATTACHSHADERPROC)glutGetProcAddress("glAttachShader");
    linkProgram = (PFNGLLINKPROGRAMPROC)glutGetProcAddress("glLinkProgram");
    getProgramiv = (PFNGLGETPROGRAMIVPROC)glutGetProcAddress("glGetProgramiv");
    useProgram = (PFNGLUSEPROGRAMPROC)glutGetProcAddress("glUseProgram");
    getUniformLocation = (PFNGLGETUNIFORMLOCATIONPROC)glutGetProcAddress("glGetUniformLocation");
    uniform1i = (PFNGLUNIFORM1IPROC)glutGetProcAddress("glUniform1i");
    uniform2f = (PFNGLUNIFORM2FPROC)glutGetProcAddress("glUniform2f");
    return createShader && shaderSource && compileShader && getShaderiv && createProgram &&
           attachShader && linkProgram && getProgramiv && useProgram && getUniformLocation &&
           uniform1i && uniform2f;
}

// The program that averages the `factor` x `factor` picture pixels under each window pixel; 0
// where GLSL is missing or the program does not build (the copy then falls back to a linear
// stretch).
static GLuint boxProgram(int factor) {
    if (!shadersChecked) {
        shadersChecked = true;
        shadersAvailable = lookUpShaderEntryPoints();
    }
    if (!shadersAvailable || factor < 2 || factor > MAX_BOX || boxFailed[factor])
        return 0;
    if (boxPrograms[factor])
        return boxPrograms[factor];
    // picture pixels are read at their centres with nearest filtering: exact 8-bit values,
    // summed in floating point and divided once
    char source[600];
    snprintf(source, sizeof source,
             "#version 110\n"
             "uniform sampler2D picture;\n"
             "uniform vec2 pictureSize;\n"
             "void main() {\n"
             "    vec2 corner = floor(gl_FragCoord.xy) * %d.0;\n"
             "    vec4 sum = vec4(0.0);\n"
             "    for (int y = 0; y < %d; y++)\n"
             "        for (int x = 0; x < %d; x++)\n"
             "            sum += texture2D(picture, (corner + vec2(x, y) + 0.5) / pictureSize);\n"
             "    gl_FragColor = sum / %d.0;\n"
             "}\n",
             factor, factor, factor, factor * factor);
    const char *text = source;
    GLuint shader = createShader(GL_FRAGMENT_SHADER);
    shaderSource(shader, 1, &text, nullptr);
    compileShader(shader);
    GLint compiled = 0, linked = 0;
    getShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    GLuint program = createProgram();
    attachShader(program, shader);
    if (compiled) {
        linkProgram(program);
        getProgramiv(program, GL_LINK_STATUS, &linked);
    }
    if (!linked) {
        printf("the %dx%d box filter did not build: the picture is filtered by a linear stretch\n",
               factor, factor);
        fflush(stdout);
        boxFailed[factor] = true;
        return 0;
    }
    boxPrograms[factor] = program;
    return program;
}

// The integer supersampling factor in force, 0 when the picture is not an integer multiple of
// the window.
static int boxFactor() {
    int factor = int(pictureScaleSet + 0.5f);
    if (factor < 2 || pictureWidth != factor * pictureWindowWidth ||
        pictureHeight != factor * pictureWindowHeight)
        return 0;
    return factor;
}

// The whole number N when the picture is 1/N of the window (rounded up, so N of its pixels
// cover the window), 0 otherwise.
static int replicationFactor() {
    int factor = int(1 / pictureScaleSet + 0.5f);
    if (pictureScaleSet >= 1 || std::fabs(pictureScaleSet * factor - 1) > 1e-4f)
        return 0;
    int overWidth = pictureWidth * factor - pictureWindowWidth;
    int overHeight = pictureHeight * factor - pictureWindowHeight;
    return overWidth >= 0 && overWidth < factor && overHeight >= 0 && overHeight < factor ? factor : 0;
}

// Draws the picture over the back buffer's lower left `width` x `height` pixels as one textured
// quad: through `program` when there is one, else as it is, sampled with `filter`.
static void drawPictureToWindow(GLuint program, GLint filter, int width, int height) {
    // everything set here is the scenes' state, put back below
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_TEXTURE_BIT |
                 GL_POLYGON_BIT | GL_VIEWPORT_BIT);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_FOG);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDepthMask(GL_FALSE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glViewport(0, 0, width, height);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, pictureColour);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    if (program) {
        useProgram(program);
        uniform1i(getUniformLocation(program, "picture"), 0);
        uniform2f(getUniformLocation(program, "pictureSize"), float(pictureWidth), float(pictureHeight));
    }
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    if (program)
        useProgram(0);
    glPopAttrib();
}

// The picture's size for a window, at the scale asked for, within what the renderer allows.
static void scaledSize(int width, int height, int *scaledWidth, int *scaledHeight) {
    GLint largest = 0, largestBuffer = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largestBuffer);
    if (largestBuffer > 0 && largestBuffer < largest)
        largest = largestBuffer;
    float scale = pictureScaleSet;
    if (largest > 0 && (width * scale > largest || height * scale > largest)) {
        float fits = float(largest) / (width > height ? width : height);
        // a supersampling factor stays an integer, so the box filter still applies
        scale = scale >= 2 ? float(int(fits)) : fits;
        if (scale < 1)
            scale = 1;
        printf("a %dx%d window cannot be drawn at %g times its size here: at %g instead\n", width,
               height, pictureScaleSet, scale);
        fflush(stdout);
        pictureScaleSet = scale;
    }
    // a picture smaller than the window rounds up: stretched, it must cover the window
    float round = scale < 1 ? 0.999f : 0.5f;
    *scaledWidth = int(width * scale + round);
    *scaledHeight = int(height * scale + round);
    if (*scaledWidth < 1)
        *scaledWidth = 1;
    if (*scaledHeight < 1)
        *scaledHeight = 1;
}

// An RGBA texture read pixel by pixel. The binding is ours to restore: the scenes rely on theirs.
static GLuint newColourTexture(int width, int height) {
    GLint boundTexture;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);
    GLuint texture;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, boundTexture);
    return texture;
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
    pictureWindowWidth = width;
    pictureWindowHeight = height;
    scaledSize(width, height, &width, &height);
    if (pictureFramebuffer && width == pictureWidth && height == pictureHeight)
        return;

    GLuint framebuffer, colour = newColourTexture(width, height), depth;
    genFramebuffers(1, &framebuffer);
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

void pictureSetScale(float scale) {
    if (!(scale > 0))
        scale = 1;
    pictureScaleSet = scale;
    if (pictureFramebuffer)
        pictureResize(pictureWindowWidth, pictureWindowHeight);
}

float pictureScale() {
    return pictureChecked && !pictureAvailable ? 1 : pictureScaleSet;
}

void pictureSize(int *width, int *height) {
    bool own = pictureFramebuffer != 0;
    *width = own ? pictureWidth : windowWidth;
    *height = own ? pictureHeight : windowHeight;
}

static bool pictureIsWindowSized() {
    return pictureWidth == pictureWindowWidth && pictureHeight == pictureWindowHeight;
}

void pictureBegin(bool keep) {
    bool sameSize = pictureIsWindowSized();
    // a picture of another size than the window's is the only way to the screen
    pictureBound = pictureFramebuffer && (keep || !sameSize);
    if (!pictureBound) {
        pictureStale = true;
        return;
    }
    bindFramebuffer(GL_FRAMEBUFFER, pictureFramebuffer);
    if (!sameSize)
        glViewport(0, 0, pictureWidth, pictureHeight);
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
    int factor = boxFactor(), replicated = replicationFactor();
    GLuint program = factor ? boxProgram(factor) : 0;
    bool sameSize = pictureIsWindowSized();
    bindFramebuffer(GL_FRAMEBUFFER, 0);
    if (program) {
        drawPictureToWindow(program, GL_NEAREST, pictureWindowWidth, pictureWindowHeight);
    } else if (replicated) {
        // the last row and column of squares may reach past the window's edge
        drawPictureToWindow(0, GL_NEAREST, pictureWidth * replicated, pictureHeight * replicated);
    } else if (!sameSize) {
        GLint filter = pictureWidth > pictureWindowWidth ? GL_LINEAR : GL_NEAREST;
        drawPictureToWindow(0, filter, pictureWindowWidth, pictureWindowHeight);
    } else {
        bindFramebuffer(GL_READ_FRAMEBUFFER, pictureFramebuffer);
        blitFramebuffer(0, 0, pictureWidth, pictureHeight, 0, 0, pictureWidth, pictureHeight,
                        GL_COLOR_BUFFER_BIT, GL_NEAREST);
        bindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    glViewport(0, 0, pictureWindowWidth, pictureWindowHeight);
}

GLuint pictureRenderTexture(int width, int height, void (*draw)(int width, int height)) {
    if (!pictureAvailable)
        return 0;
    GLint boundFramebuffer;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &boundFramebuffer);
    GLuint texture = newColourTexture(width, height), framebuffer;
    genFramebuffers(1, &framebuffer);
    bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    framebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    if (checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
        glPushAttrib(GL_VIEWPORT_BIT | GL_COLOR_BUFFER_BIT);
        glViewport(0, 0, width, height);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        draw(width, height);
        glPopAttrib();
    } else {
        glDeleteTextures(1, &texture);
        texture = 0;
    }
    bindFramebuffer(GL_FRAMEBUFFER, boundFramebuffer);
    deleteFramebuffers(1, &framebuffer);
    return texture;
}
