// state.cpp -- the GL layer's fixed-function state: capabilities, per-fragment tests, lighting, attribute stack
#include "layer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

State gl;                       // the whole current state
static GLenum lastError;        // the first error since glGetError last asked, GL_NO_ERROR for none
static const int ATTRIB_DEPTH = 16;  // glPushAttrib's depth, OpenGL's minimum

// What glPushAttrib saved: the state, and the parameters of the texture then bound, which
// GL_TEXTURE_BIT restores to that texture.
struct SavedAttrib {
    GLbitfield mask;
    State state;
    GLuint texture;
    GLenum minFilter, magFilter, wrapS, wrapT;
};
static std::vector<SavedAttrib> attribStack;

static void setDefaults() {
    State &s = gl;
    memset(&s, 0, sizeof s);
    s.caps[CAP_DITHER] = true;
    s.blendSrc = GL_ONE;
    s.blendDst = GL_ZERO;
    s.depthFunc = GL_LESS;
    s.depthMask = true;
    s.alphaFunc = GL_ALWAYS;
    s.shadeModel = GL_SMOOTH;
    s.polygonFront = s.polygonBack = GL_FILL;
    const float white[4] = {1, 1, 1, 1};
    memcpy(s.color, white, sizeof white);
    s.normal[2] = 1;
    s.rasterValid = true;
    memcpy(s.rasterColor, white, sizeof white);
    s.lightAmbient[3] = 1;
    memcpy(s.lightDiffuse, white, sizeof white);
    memcpy(s.lightSpecular, white, sizeof white);
    s.lightPosition[2] = 1;
    const float ambient[4] = {0.2f, 0.2f, 0.2f, 1}, diffuse[4] = {0.8f, 0.8f, 0.8f, 1};
    memcpy(s.materialAmbient, ambient, sizeof ambient);
    memcpy(s.materialDiffuse, diffuse, sizeof diffuse);
    s.materialSpecular[3] = 1;
    s.materialEmission[3] = 1;
    memcpy(s.lightModelAmbient, ambient, sizeof ambient);
    s.texEnvMode = GL_MODULATE;
    s.matrixMode = GL_MODELVIEW;
    s.unpackAlignment = s.packAlignment = 4;
}
static const bool defaultsSet = (setDefaults(), true);

void unimplemented(const char *call, const char *what, unsigned value) {
#ifndef NDEBUG
    fprintf(stderr, "GL layer: %s: %s 0x%04X is not implemented\n", call, what, value);
    fflush(stderr);
    abort();
#else
    static std::set<std::pair<const char *, unsigned>> warned;
    if (warned.insert({call, value}).second)
        fprintf(stderr, "GL layer: %s: %s 0x%04X is not implemented; ignored\n", call, what, value);
#endif
}

void setError(GLenum error) {
    if (lastError == GL_NO_ERROR)
        lastError = error;
}

GLenum glGetError(void) {
    GLenum error = lastError;
    lastError = GL_NO_ERROR;
    return error;
}

bool refusedInList(const char *call) {
    if (!compilingList())
        return false;
    unimplemented(call, "inside a display list, call", 0);
    return true;
}

static int capIndex(const char *call, GLenum cap) {
    switch (cap) {
    case GL_BLEND: return CAP_BLEND;
    case GL_DEPTH_TEST: return CAP_DEPTH_TEST;
    case GL_LIGHTING: return CAP_LIGHTING;
    case GL_LIGHT0: return CAP_LIGHT0;
    case GL_TEXTURE_2D: return CAP_TEXTURE_2D;
    case GL_ALPHA_TEST: return CAP_ALPHA_TEST;
    case GL_DITHER: return CAP_DITHER;
    case GL_CULL_FACE: return CAP_CULL_FACE;
    case GL_FOG: return CAP_FOG;
    case GL_TEXTURE_GEN_S: return CAP_TEXTURE_GEN_S;
    case GL_TEXTURE_GEN_T: return CAP_TEXTURE_GEN_T;
    case GL_NORMALIZE: return CAP_NORMALIZE;
    case GL_COLOR_MATERIAL: return CAP_COLOR_MATERIAL;
    case GL_SCISSOR_TEST: return CAP_SCISSOR_TEST;
    }
    unimplemented(call, "capability", cap);
    return -1;
}

void glEnable(GLenum cap) {
    if (refusedInList("glEnable"))
        return;
    int i = capIndex("glEnable", cap);
    if (i < 0)
        return;
    // the layer draws none of these; switching them off is what the program does with them
    if (i >= CAP_CULL_FACE) {
        unimplemented("glEnable", "capability", cap);
        return;
    }
    gl.caps[i] = true;
}

void glDisable(GLenum cap) {
    if (refusedInList("glDisable"))
        return;
    int i = capIndex("glDisable", cap);
    if (i >= 0)
        gl.caps[i] = false;
}

static bool blendFactor(GLenum f, bool source) {
    switch (f) {
    case GL_ZERO: case GL_ONE: case GL_SRC_ALPHA: case GL_ONE_MINUS_SRC_ALPHA:
    case GL_DST_ALPHA: case GL_ONE_MINUS_DST_ALPHA:
        return true;
    case GL_DST_COLOR: case GL_ONE_MINUS_DST_COLOR: case GL_SRC_ALPHA_SATURATE:
        return source;
    case GL_SRC_COLOR: case GL_ONE_MINUS_SRC_COLOR:
        return !source;
    }
    return false;
}

void glBlendFunc(GLenum sfactor, GLenum dfactor) {
    if (refusedInList("glBlendFunc"))
        return;
    if (!blendFactor(sfactor, true) || !blendFactor(dfactor, false)) {
        setError(GL_INVALID_ENUM);
        return;
    }
    gl.blendSrc = sfactor;
    gl.blendDst = dfactor;
}

void glDepthMask(GLboolean flag) {
    if (refusedInList("glDepthMask"))
        return;
    gl.depthMask = flag != GL_FALSE;
}

void glAlphaFunc(GLenum func, GLclampf ref) {
    if (refusedInList("glAlphaFunc"))
        return;
    if (func < GL_NEVER || func > GL_ALWAYS) {
        setError(GL_INVALID_ENUM);
        return;
    }
    gl.alphaFunc = func;
    gl.alphaRef = clamp01(ref);
}

void glShadeModel(GLenum mode) {
    if (refusedInList("glShadeModel"))
        return;
    if (mode != GL_FLAT && mode != GL_SMOOTH) {
        setError(GL_INVALID_ENUM);
        return;
    }
    gl.shadeModel = mode;
}

void glPolygonMode(GLenum face, GLenum mode) {
    if (refusedInList("glPolygonMode"))
        return;
    if (mode != GL_FILL) {
        unimplemented("glPolygonMode", "mode", mode);
        return;
    }
    if (face == GL_FRONT || face == GL_FRONT_AND_BACK)
        gl.polygonFront = mode;
    if (face == GL_BACK || face == GL_FRONT_AND_BACK)
        gl.polygonBack = mode;
    if (face != GL_FRONT && face != GL_BACK && face != GL_FRONT_AND_BACK)
        setError(GL_INVALID_ENUM);
}

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
    if (refusedInList("glClearColor"))
        return;
    const float c[4] = {red, green, blue, alpha};
    for (int i = 0; i < 4; i++)
        gl.clearColor[i] = clamp01(c[i]);
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    if (refusedInList("glViewport"))
        return;
    if (width < 0 || height < 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    gl.viewport[0] = x;
    gl.viewport[1] = y;
    gl.viewport[2] = width;
    gl.viewport[3] = height;
}

void glLightfv(GLenum light, GLenum pname, const GLfloat *params) {
    if (refusedInList("glLightfv"))
        return;
    if (light != GL_LIGHT0) {
        unimplemented("glLightfv", "light", light);
        return;
    }
    switch (pname) {
    case GL_AMBIENT: memcpy(gl.lightAmbient, params, 4 * sizeof(float)); break;
    case GL_DIFFUSE: memcpy(gl.lightDiffuse, params, 4 * sizeof(float)); break;
    case GL_SPECULAR: memcpy(gl.lightSpecular, params, 4 * sizeof(float)); break;
    case GL_POSITION:
        // kept in eye coordinates, through the modelview matrix of the moment
        if (params[3] != 0) {
            unimplemented("glLightfv", "a positional light, w", unsigned(params[3]));
            return;
        }
        transform(modelview(), params, gl.lightPosition);
        break;
    default:
        unimplemented("glLightfv", "parameter", pname);
    }
}

void glMaterialfv(GLenum face, GLenum pname, const GLfloat *params) {
    if (refusedInList("glMaterialfv"))
        return;
    if (face != GL_FRONT && face != GL_BACK && face != GL_FRONT_AND_BACK) {
        setError(GL_INVALID_ENUM);
        return;
    }
    // the back material is lit only with two-sided lighting, which the layer leaves off
    if (face == GL_BACK)
        return;
    switch (pname) {
    case GL_AMBIENT: memcpy(gl.materialAmbient, params, 4 * sizeof(float)); break;
    case GL_DIFFUSE: memcpy(gl.materialDiffuse, params, 4 * sizeof(float)); break;
    case GL_SPECULAR: memcpy(gl.materialSpecular, params, 4 * sizeof(float)); break;
    case GL_EMISSION: memcpy(gl.materialEmission, params, 4 * sizeof(float)); break;
    case GL_SHININESS:
        if (params[0] < 0 || params[0] > 128) {
            setError(GL_INVALID_VALUE);
            return;
        }
        gl.materialShininess = params[0];
        break;
    default:
        unimplemented("glMaterialfv", "parameter", pname);
    }
}

void glPushAttrib(GLbitfield mask) {
    if (refusedInList("glPushAttrib"))
        return;
    const GLbitfield handled = GL_CURRENT_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT |
                               GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT | GL_VIEWPORT_BIT | GL_TEXTURE_BIT;
    if (mask & ~handled) {
        unimplemented("glPushAttrib", "attribute bits", mask & ~handled);
        return;
    }
    if (attribStack.size() >= ATTRIB_DEPTH) {
        setError(GL_STACK_OVERFLOW);
        return;
    }
    SavedAttrib saved{mask, gl, gl.boundTexture, 0, 0, 0, 0};
    if (const TextureObject *t = textureObject(gl.boundTexture)) {
        saved.minFilter = t->minFilter;
        saved.magFilter = t->magFilter;
        saved.wrapS = t->wrapS;
        saved.wrapT = t->wrapT;
    }
    attribStack.push_back(saved);
}

void glPopAttrib(void) {
    if (refusedInList("glPopAttrib"))
        return;
    if (attribStack.empty()) {
        setError(GL_STACK_UNDERFLOW);
        return;
    }
    const SavedAttrib &saved = attribStack.back();
    const State &s = saved.state;
    GLbitfield mask = saved.mask;
    if (mask & GL_CURRENT_BIT) {
        memcpy(gl.color, s.color, sizeof gl.color);
        memcpy(gl.normal, s.normal, sizeof gl.normal);
        memcpy(gl.tex, s.tex, sizeof gl.tex);
        memcpy(gl.rasterPos, s.rasterPos, sizeof gl.rasterPos);
        gl.rasterValid = s.rasterValid;
        memcpy(gl.rasterColor, s.rasterColor, sizeof gl.rasterColor);
    }
    if (mask & GL_ENABLE_BIT)
        memcpy(gl.caps, s.caps, sizeof gl.caps);
    if (mask & GL_COLOR_BUFFER_BIT) {
        gl.caps[CAP_ALPHA_TEST] = s.caps[CAP_ALPHA_TEST];
        gl.caps[CAP_BLEND] = s.caps[CAP_BLEND];
        gl.caps[CAP_DITHER] = s.caps[CAP_DITHER];
        gl.alphaFunc = s.alphaFunc;
        gl.alphaRef = s.alphaRef;
        gl.blendSrc = s.blendSrc;
        gl.blendDst = s.blendDst;
        memcpy(gl.clearColor, s.clearColor, sizeof gl.clearColor);
    }
    if (mask & GL_DEPTH_BUFFER_BIT) {
        gl.caps[CAP_DEPTH_TEST] = s.caps[CAP_DEPTH_TEST];
        gl.depthFunc = s.depthFunc;
        gl.depthMask = s.depthMask;
    }
    if (mask & GL_POLYGON_BIT) {
        gl.caps[CAP_CULL_FACE] = s.caps[CAP_CULL_FACE];
        gl.polygonFront = s.polygonFront;
        gl.polygonBack = s.polygonBack;
    }
    if (mask & GL_VIEWPORT_BIT)
        memcpy(gl.viewport, s.viewport, sizeof gl.viewport);
    if (mask & GL_TEXTURE_BIT) {
        gl.caps[CAP_TEXTURE_2D] = s.caps[CAP_TEXTURE_2D];
        gl.caps[CAP_TEXTURE_GEN_S] = s.caps[CAP_TEXTURE_GEN_S];
        gl.caps[CAP_TEXTURE_GEN_T] = s.caps[CAP_TEXTURE_GEN_T];
        gl.texEnvMode = s.texEnvMode;
        memcpy(gl.texEnvColor, s.texEnvColor, sizeof gl.texEnvColor);
        if (TextureObject *t = textureObject(saved.texture)) {
            t->minFilter = saved.minFilter;
            t->magFilter = saved.magFilter;
            t->wrapS = saved.wrapS;
            t->wrapT = saved.wrapT;
            gl.boundTexture = saved.texture;
        }
    }
    attribStack.pop_back();
}

void glGetIntegerv(GLenum pname, GLint *params) {
    switch (pname) {
    case GL_VIEWPORT: memcpy(params, gl.viewport, sizeof gl.viewport); return;
    case GL_TEXTURE_BINDING_2D: params[0] = GLint(gl.boundTexture); return;
    case GL_FRAMEBUFFER_BINDING: params[0] = GLint(gl.drawFramebuffer); return;
    case GL_READ_FRAMEBUFFER_BINDING: params[0] = GLint(gl.readFramebuffer); return;
    case GL_RENDERBUFFER_BINDING: params[0] = GLint(gl.renderbuffer); return;
    case GL_MATRIX_MODE: params[0] = GLint(gl.matrixMode); return;
    case GL_PACK_ALIGNMENT: params[0] = gl.packAlignment; return;
    case GL_UNPACK_ALIGNMENT: params[0] = gl.unpackAlignment; return;
    case GL_MAX_TEXTURE_SIZE: params[0] = webglMaxTextureSize(); return;
    case GL_MAX_RENDERBUFFER_SIZE: params[0] = webglMaxRenderbufferSize(); return;
    }
    unimplemented("glGetIntegerv", "name", pname);
}

// The upper 3 x 3 of the modelview's inverse, transposed: what normals are transformed by.
// GL_NORMALIZE is off, so normals keep the length that gives them, as OpenGL 1.1 lights them.
static void normalMatrix(float out[9]) {
    static unsigned version = ~0u;
    static float cached[9];
    if (version != modelviewVersion) {
        const float *m = modelview().m;
        float a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9], g = m[2], h = m[6], i = m[10];
        float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
        float D = -(b * i - c * h), E = a * i - c * g, F = -(a * h - b * g);
        float G = b * f - c * e, H = -(a * f - c * d), I = a * e - b * d;
        float det = a * A + b * B + c * C;
        float s = det != 0 ? 1 / det : 0;
        // the inverse's transpose is the cofactor matrix over the determinant; stored column by column
        const float r[9] = {A * s, D * s, G * s, B * s, E * s, H * s, C * s, F * s, I * s};
        memcpy(cached, r, sizeof r);
        version = modelviewVersion;
    }
    memcpy(out, cached, sizeof cached);
}

// The lighting terms of one light and the material, as OpenGL 1.1 sums them per vertex.
static void lightTerms(DrawUniforms &u) {
    bool light = gl.caps[CAP_LIGHT0];
    for (int i = 0; i < 3; i++) {
        u.sceneColor[i] = gl.materialEmission[i] + gl.lightModelAmbient[i] * gl.materialAmbient[i] +
                          (light ? gl.lightAmbient[i] * gl.materialAmbient[i] : 0);
        u.diffuse[i] = light ? gl.lightDiffuse[i] * gl.materialDiffuse[i] : 0;
        u.specular[i] = light ? gl.lightSpecular[i] * gl.materialSpecular[i] : 0;
        u.lightDir[i] = gl.lightPosition[i];
    }
    u.sceneColor[3] = gl.materialDiffuse[3];
    // a directional light with the viewer at infinity: the half vector is fixed per draw
    normalize3(u.lightDir);
    u.halfVector[0] = u.lightDir[0];
    u.halfVector[1] = u.lightDir[1];
    u.halfVector[2] = u.lightDir[2] + 1;
    normalize3(u.halfVector);
    u.shininess = gl.materialShininess;
}

void drawUniforms(DrawUniforms &u) {
    static unsigned mvVersion = ~0u, pVersion = ~0u;
    static Matrix mvp;
    if (mvVersion != modelviewVersion || pVersion != projectionVersion) {
        multiply(mvp, projection(), modelview());
        mvVersion = modelviewVersion;
        pVersion = projectionVersion;
    }
    memcpy(u.mvp, mvp.m, sizeof u.mvp);
    u.lighting = gl.caps[CAP_LIGHTING];
    if (u.lighting) {
        normalMatrix(u.normalMatrix);
        lightTerms(u);
    } else {
        memset(u.normalMatrix, 0, sizeof u.normalMatrix);
        memset(u.sceneColor, 0, sizeof u.sceneColor);
        memset(u.diffuse, 0, sizeof u.diffuse);
        memset(u.specular, 0, sizeof u.specular);
        memset(u.lightDir, 0, sizeof u.lightDir);
        memset(u.halfVector, 0, sizeof u.halfVector);
        u.shininess = 0;
    }
    u.flat = gl.shadeModel == GL_FLAT;
    u.texMode = TEX_OFF;
    u.texAlpha = 0;
    memset(u.texMatrix, 0, sizeof u.texMatrix);
    memset(u.envColor, 0, sizeof u.envColor);
    if (texturingOn()) {
        switch (gl.texEnvMode) {
        case GL_MODULATE: u.texMode = TEX_MODULATE; break;
        case GL_REPLACE: u.texMode = TEX_REPLACE; break;
        case GL_DECAL: u.texMode = TEX_DECAL; break;
        case GL_BLEND: u.texMode = TEX_BLEND; break;
        }
        u.texAlpha = textureObject(gl.boundTexture)->alpha;
        memcpy(u.texMatrix, textureMatrix().m, sizeof u.texMatrix);
        memcpy(u.envColor, gl.texEnvColor, sizeof u.envColor);
    }
    u.alphaFunc = alphaTestIndex();
    u.alphaRef = gl.alphaRef;
}

int alphaTestIndex() {
    return int((gl.caps[CAP_ALPHA_TEST] ? gl.alphaFunc : GL_ALWAYS) - GL_NEVER);
}

void litColor(const float normal[3], float out[4]) {
    DrawUniforms u;
    float m[9];
    normalMatrix(m);
    lightTerms(u);
    float n[3];
    for (int i = 0; i < 3; i++)
        n[i] = m[i] * normal[0] + m[3 + i] * normal[1] + m[6 + i] * normal[2];
    float nl = n[0] * u.lightDir[0] + n[1] * u.lightDir[1] + n[2] * u.lightDir[2];
    float nh = n[0] * u.halfVector[0] + n[1] * u.halfVector[1] + n[2] * u.halfVector[2];
    float spec = 0;
    if (nl > 0)
        spec = u.shininess == 0 ? 1 : nh > 0 ? std::pow(nh, u.shininess) : 0;
    for (int i = 0; i < 3; i++)
        out[i] = clamp01(u.sceneColor[i] + (nl > 0 ? nl * u.diffuse[i] + spec * u.specular[i] : 0));
    out[3] = clamp01(u.sceneColor[3]);
}
