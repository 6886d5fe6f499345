// layer.h -- the GL layer's shared state, and the draw path every GL file hands its work to
//
// The layer keeps all of OpenGL 1.1's state the presentation touches on the CPU. Drawing is
// turned into operations (a clear, a draw with everything it needs from the state, glyphs, a
// blit), which the draw path (draw.cpp) keeps in a log and sends to WebGL 2 when a frame ends,
// or holds back and prunes in still mode.
#pragma once
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <vector>

// A call, enum value or mode the layer does not implement: a debug build names it and aborts;
// a release build warns once per call and value and does nothing.
void unimplemented(const char *call, const char *what, unsigned value);
// True, after reporting it, for a call made while a display list is compiled: a list would
// keep the call, and the layer's lists keep only vertices and their attributes.
bool refusedInList(const char *call);
// Records a GL error for glGetError, as OpenGL would.
void setError(GLenum error);

// OpenGL clamps colours, clear values and reference values to [0, 1] where it takes them.
inline float clamp01(float x) {
    return x < 0 ? 0 : x > 1 ? 1 : x;
}

// column-major, as OpenGL's
struct Matrix {
    float m[16];
};
void multiply(Matrix &out, const Matrix &a, const Matrix &b);  // out = a * b
void transform(const Matrix &m, const float in[4], float out[4]);
void normalize3(float v[3]);  // to length 1; a zero vector stays as it is
const Matrix &modelview();
const Matrix &projection();
const Matrix &textureMatrix();
// bumped whenever the matrix changes, so derived matrices are computed only when needed
extern unsigned modelviewVersion, projectionVersion;

// One vertex as kept for a draw; glyph vertices use pos as window coordinates and tex as
// texel coordinates in the glyph atlas.
struct Vertex {
    float pos[3];
    float color[4];
    float normal[3];
    float tex[2];
};

// The capabilities glEnable knows; those marked unsupported may be disabled, never enabled.
enum Cap {
    CAP_BLEND,
    CAP_DEPTH_TEST,
    CAP_LIGHTING,
    CAP_LIGHT0,
    CAP_TEXTURE_2D,
    CAP_ALPHA_TEST,
    CAP_DITHER,  // on by default, and without effect at 8 bits per channel, as on Mesa
    CAP_CULL_FACE,  // unsupported
    CAP_FOG,  // unsupported
    CAP_TEXTURE_GEN_S,  // unsupported
    CAP_TEXTURE_GEN_T,  // unsupported
    CAP_NORMALIZE,  // unsupported
    CAP_COLOR_MATERIAL,  // unsupported
    CAP_SCISSOR_TEST,  // unsupported
    CAP_COUNT
};

// Everything glPushAttrib may save, and the rest of the layer's state.
struct State {
    bool caps[CAP_COUNT];
    GLenum blendSrc, blendDst;
    GLenum depthFunc;
    bool depthMask;
    GLenum alphaFunc;
    float alphaRef;
    GLenum shadeModel;
    GLenum polygonFront, polygonBack;
    float clearColor[4];
    int viewport[4];  // x, y, width, height
    // current values
    float color[4], normal[3], tex[2];
    float rasterPos[3];  // window x, y, z
    bool rasterValid;
    float rasterColor[4];
    // lighting: light 0 only, directional; position kept in eye coordinates
    float lightAmbient[4], lightDiffuse[4], lightSpecular[4], lightPosition[4];
    float materialAmbient[4], materialDiffuse[4], materialSpecular[4], materialEmission[4];
    float materialShininess;
    float lightModelAmbient[4];
    // texturing
    GLenum texEnvMode;
    float texEnvColor[4];
    GLuint boundTexture;
    // framebuffers
    GLuint drawFramebuffer, readFramebuffer, renderbuffer;
    GLenum matrixMode;
    int unpackAlignment, packAlignment;
};
extern State gl;

// A texture object: its WebGL texture and what the layer must know of it.
struct TextureObject {
    bool exists;
    uint32_t webgl;  // WebGL texture, 0 until an image is given
    bool hasImage, alpha;
    int width, height;
    GLenum minFilter, magFilter, wrapS, wrapT;
    GLuint attachedTo;  // the framebuffer whose colour it is, 0 for none
};
TextureObject *textureObject(GLuint name);  // null for a name never generated
// Whether texturing applies to a draw now: enabled, and the bound texture complete.
bool texturingOn();

struct FramebufferObject {
    bool exists;
    uint32_t webgl;
    GLuint colourTexture;  // texture name, 0 for none
    GLuint depthRenderbuffer;
    int width, height;  // of its attachments, 0 x 0 without
};
FramebufferObject *framebufferObject(GLuint name);  // name 0 is the canvas
void setCanvasSize(int width, int height);  // the drawing buffer's size, from the GLUT layer

// The operations the draw path keeps and sends.
enum OpKind { OP_CLEAR, OP_DRAW, OP_GLYPHS, OP_BLIT };
// Texturing in a draw: off, or the environment mode.
enum TexMode { TEX_OFF, TEX_MODULATE, TEX_REPLACE, TEX_DECAL, TEX_BLEND };

// What the vertex and fragment shaders take for one draw.
struct DrawUniforms {
    float mvp[16];
    float normalMatrix[9];
    float texMatrix[16];
    float sceneColor[4];  // emission and ambient terms; alpha is the material's diffuse alpha
    float diffuse[3], specular[3], lightDir[3], halfVector[3];
    float shininess;
    int lighting, flat, texMode, texAlpha;
    float envColor[4];
    int alphaFunc;  // index of the comparison, GL_NEVER + n; ALWAYS when the test is off
    float alphaRef;
};

struct Op {
    OpKind kind;
    GLuint target;  // framebuffer drawn into
    int viewport[4];
    // per-fragment state
    bool blend, depthTest, depthMask;
    GLenum blendSrc, blendDst, depthFunc;
    // OP_CLEAR
    GLbitfield clearMask;
    float clearColor[4];
    // OP_DRAW and OP_GLYPHS: vertices from a list's buffer (buffer != 0) or the log's own
    uint32_t buffer;
    uint32_t first, count;
    unsigned constantMask;  // attributes taken from constants below instead of the vertices
    float constColor[4], constNormal[3], constTex[2];
    uint32_t texture;  // WebGL texture sampled, 0 for none
    GLenum minFilter, magFilter, wrapS, wrapT;
    DrawUniforms u;
    // OP_GLYPHS: the raster colour and depth
    float glyphColor[4], glyphDepth;
    // OP_BLIT
    GLuint blitSource;
    int src[4], dst[4];
    GLenum filter;
    // what the op reads beyond its target: a framebuffer whose colour it samples or blits
    GLuint sourceFramebuffer;
    bool readsSource;
};
enum { CONST_COLOR = 1, CONST_NORMAL = 2, CONST_TEX = 4 };

// The draw path (draw.cpp).
void fillFragmentState(Op &op);  // target, viewport and per-fragment state from gl
std::vector<Vertex> &logVertices();  // where a draw's own vertices go before submitOp
void submitOp(const Op &op);
// Sends everything kept to WebGL: before a resource a kept op may use changes, before a read.
void flushOps();
void drawUniforms(DrawUniforms &u);  // the shaders' inputs from the current state
int alphaTestIndex();  // the alpha test's comparison as DrawUniforms::alphaFunc holds it
void litColor(const float normal[3], float out[4]);  // GL's lighting of one vertex, on the CPU

// WebGL access for the resource files (draw.cpp).
void webglInit();  // by the GLUT layer, once the WebGL 2 context is current
uint32_t webglBuffer(const Vertex *vertices, size_t count);  // a static vertex buffer
void webglDeleteBuffer(uint32_t buffer);
void webglBindDrawFramebuffer(uint32_t webgl);
void webglBindTexture(uint32_t webgl);
void webglBindReadFramebuffer(uint32_t webgl);
int webglMaxTextureSize();
int webglMaxRenderbufferSize();
// The glyph atlas the GLUT layer's font is drawn from: one byte per texel, 0 or 255.
void setGlyphAtlas(const unsigned char *texels, int width, int height);
// Draws a glyph of the atlas as glBitmap would at the raster position: the atlas box at
// (atlasX, atlasY) of width x height texels, its lower left corner `left` and `bottom` pixels
// from the raster position; then moves the raster position on by `advance`.
void bitmapGlyph(int atlasX, int atlasY, int width, int height, int left, int bottom, float advance);

// Display lists (vertices.cpp): whether a list is being compiled now.
bool compilingList();
