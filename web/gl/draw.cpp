// draw.cpp -- the GL layer's draw path: the log of operations, still mode, and WebGL 2 that draws them
//
// Every clear, draw, glyph run and blit becomes an operation that carries what it needs of the
// state, so it can be drawn later exactly as it would have been drawn now. Outside still mode
// the log goes to WebGL at the end of each frame (and before anything that must see its
// result). In still mode it is kept instead, and pruned: walking back from the end, an
// operation is dropped when nothing after it can show its effect. A framebuffer's colour stops
// mattering before a clear of its colour (or a blit over all of it), its depth before a clear
// of its depth; an operation that draws with the depth test on needs the depth before it, and
// one that samples or blits from another framebuffer needs that framebuffer's colour at that
// point. What is left, drawn in order, gives every framebuffer the pixels the whole run would
// have given it.
#include "layer.h"
#include "webglcalls.h"
#include <webgl.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <unordered_map>

static std::vector<Op> ops;           // the log, in the order the calls came
static std::vector<Vertex> vertices;  // the log's own vertices (immediate mode, glyphs)
static bool still;                    // still mode: the log is kept, not drawn
static size_t pruneAt = 4096;         // log length at which still mode prunes next
static size_t pruneVerticesAt = 1 << 18;  // or the log's vertex count at which it does

// WebGL objects of the draw path, made once the context exists
static bool ready;                   // webglInit has run
static unsigned glyphProgram;
static unsigned streamBuffer;        // the log's vertices, uploaded at each flush
static unsigned glyphAtlas;          // WebGL texture of the GLUT font's glyphs
static int maxTextureSize = 4096, maxRenderbufferSize = 4096;

// One variant of the main program: its uniform locations (-1 where the variant has none) and
// the values last set in it.
struct Program {
    unsigned id;
    int mvp, normalMatrix, texMatrix, sceneColor, diffuse, specular, lightDir, halfVector, shininess,
        envColor, alphaRef;
    bool known;       // `last` holds what was set
    DrawUniforms last;
};
static std::map<unsigned, Program> programs;  // by variantKey
static int glyphSize, glyphDepth, glyphColor, glyphAtlasU, glyphAlphaFunc, glyphAlphaRef;

// What WebGL has bound and set now, so a draw changes only what differs.
struct Bound {
    unsigned program, drawFramebuffer, readFramebuffer, texture, sampler, arrayBuffer;
    int viewport[4];
    int blend, depthTest, depthMask;  // -1: unknown
    GLenum blendSrc, blendDst, depthFunc;
    unsigned enabledArrays;  // attribute arrays on, by bit
};
static Bound bound;

static void forgetBound() {
    memset(&bound, 0, sizeof bound);
    bound.program = bound.drawFramebuffer = bound.readFramebuffer = bound.texture = bound.sampler =
        bound.arrayBuffer = ~0u;
    bound.blend = bound.depthTest = bound.depthMask = -1;
    bound.viewport[2] = -1;
    bound.enabledArrays = 0;
}

// The shaders are made per variant of the state (lighting, shading, texture function, alpha
// test), so a fragment runs only what its draw needs: a software renderer pays per fragment
// for every branch.
static const char *VERTEX_SHADER = R"(
precision highp float;
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec4 aColor;
layout(location = 2) in vec3 aNormal;
layout(location = 3) in vec2 aTex;
uniform mat4 uMvp;
#if LIGHTING
uniform mat3 uNormalMatrix;
uniform vec4 uSceneColor;
uniform vec3 uDiffuse, uSpecular, uLightDir, uHalf;
uniform float uShininess;
#endif
#if TEX_MODE
uniform mat4 uTexMatrix;
out vec4 vTex;
#endif
#if FLAT
flat out vec4 vColor;
#else
out vec4 vColor;
#endif
void main() {
    gl_Position = uMvp * vec4(aPos, 1.0);
#if LIGHTING
    // one directional light, the viewer at infinity, normals as transformed (not renormalised)
    vec3 n = uNormalMatrix * aNormal;
    float nl = dot(n, uLightDir);
    vec3 rgb = uSceneColor.rgb;
    if (nl > 0.0) {
        float nh = max(dot(n, uHalf), 0.0);
        float s = uShininess == 0.0 ? 1.0 : (nh > 0.0 ? pow(nh, uShininess) : 0.0);
        rgb += nl * uDiffuse + s * uSpecular;
    }
    vColor = clamp(vec4(rgb, uSceneColor.a), 0.0, 1.0);
#else
    vColor = clamp(aColor, 0.0, 1.0);
#endif
#if TEX_MODE
    vTex = uTexMatrix * vec4(aTex, 0.0, 1.0);
#endif
}
)";

// OpenGL 1.1's texture functions for RGB and RGBA textures, then its alpha test.
static const char *FRAGMENT_SHADER = R"(
precision highp float;
#if FLAT
flat in vec4 vColor;
#else
in vec4 vColor;
#endif
#if TEX_MODE
in vec4 vTex;
uniform sampler2D uTexture;
uniform vec4 uEnvColor;
#endif
uniform float uAlphaRef;
out vec4 fragColor;
void main() {
    vec4 c = vColor;
#if TEX_MODE
    vec4 t = texture(uTexture, vTex.xy / vTex.w);
#if !TEX_ALPHA
    t.a = 1.0;
#endif
#if TEX_MODE == 1
    c = c * t;
#elif TEX_MODE == 2 && TEX_ALPHA
    c = t;
#elif TEX_MODE == 2
    c = vec4(t.rgb, c.a);
#elif TEX_MODE == 3
    c = vec4(mix(c.rgb, t.rgb, t.a), c.a);
#else
    c = vec4(mix(c.rgb, uEnvColor.rgb, t.rgb), c.a * t.a);
#endif
#endif
#if ALPHA_FUNC == 0
    discard;
#elif ALPHA_FUNC == 1
    if (!(c.a < uAlphaRef)) discard;
#elif ALPHA_FUNC == 2
    if (!(c.a == uAlphaRef)) discard;
#elif ALPHA_FUNC == 3
    if (!(c.a <= uAlphaRef)) discard;
#elif ALPHA_FUNC == 4
    if (!(c.a > uAlphaRef)) discard;
#elif ALPHA_FUNC == 5
    if (!(c.a != uAlphaRef)) discard;
#elif ALPHA_FUNC == 6
    if (!(c.a >= uAlphaRef)) discard;
#endif
    fragColor = c;
}
)";

// glBitmap's fragments: a lit texel of the atlas gives the raster colour, others nothing.
static const char *GLYPH_VERTEX_SHADER = R"(
precision highp float;
layout(location = 0) in vec3 aPos;
layout(location = 3) in vec2 aTex;
uniform vec2 uSize;
uniform float uDepth;
out vec2 vTexel;
void main() {
    gl_Position = vec4(aPos.xy / uSize * 2.0 - 1.0, uDepth * 2.0 - 1.0, 1.0);
    vTexel = aTex;
}
)";

static const char *GLYPH_FRAGMENT_SHADER = R"(
precision highp float;
in vec2 vTexel;
uniform sampler2D uAtlas;
uniform vec4 uColor;
uniform int uAlphaFunc;
uniform float uAlphaRef;
out vec4 fragColor;
void main() {
    if (texelFetch(uAtlas, ivec2(floor(vTexel)), 0).r < 0.5)
        discard;
    float a = uColor.a;
    bool passes = uAlphaFunc == 7 || (uAlphaFunc == 1 && a < uAlphaRef) || (uAlphaFunc == 2 && a == uAlphaRef) ||
                  (uAlphaFunc == 3 && a <= uAlphaRef) || (uAlphaFunc == 4 && a > uAlphaRef) ||
                  (uAlphaFunc == 5 && a != uAlphaRef) || (uAlphaFunc == 6 && a >= uAlphaRef);
    if (!passes)
        discard;
    fragColor = uColor;
}
)";

static unsigned compile(unsigned type, const char *source) {
    unsigned shader = emscripten_glCreateShader(type);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    int ok = 0;
    emscripten_glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        emscripten_glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        fprintf(stderr, "GL layer: a shader did not compile: %s\n", log);
    }
    return shader;
}

static unsigned link(const char *vertex, const char *fragment, const std::string &defines = "") {
    unsigned program = emscripten_glCreateProgram();
    std::string head = "#version 300 es\n" + defines;
    emscripten_glAttachShader(program, compile(WEBGL_VERTEX_SHADER, (head + vertex).c_str()));
    emscripten_glAttachShader(program, compile(GL_FRAGMENT_SHADER, (head + fragment).c_str()));
    emscripten_glLinkProgram(program);
    int ok = 0;
    emscripten_glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        emscripten_glGetProgramInfoLog(program, sizeof log, nullptr, log);
        fprintf(stderr, "GL layer: a program did not link: %s\n", log);
    }
    return program;
}

void webglInit() {
    glyphProgram = link(GLYPH_VERTEX_SHADER, GLYPH_FRAGMENT_SHADER);
    glyphSize = emscripten_glGetUniformLocation(glyphProgram, "uSize");
    glyphDepth = emscripten_glGetUniformLocation(glyphProgram, "uDepth");
    glyphColor = emscripten_glGetUniformLocation(glyphProgram, "uColor");
    glyphAtlasU = emscripten_glGetUniformLocation(glyphProgram, "uAtlas");
    glyphAlphaFunc = emscripten_glGetUniformLocation(glyphProgram, "uAlphaFunc");
    glyphAlphaRef = emscripten_glGetUniformLocation(glyphProgram, "uAlphaRef");
    emscripten_glUseProgram(glyphProgram);
    emscripten_glUniform1i(glyphAtlasU, 0);
    unsigned vao;
    emscripten_glGenVertexArrays(1, &vao);
    emscripten_glBindVertexArray(vao);
    emscripten_glGenBuffers(1, &streamBuffer);
    emscripten_glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    emscripten_glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxRenderbufferSize);
    forgetBound();
    ready = true;
}

int webglMaxTextureSize() {
    return maxTextureSize;
}

int webglMaxRenderbufferSize() {
    return maxRenderbufferSize;
}

uint32_t webglBuffer(const Vertex *data, size_t count) {
    unsigned buffer;
    emscripten_glGenBuffers(1, &buffer);
    emscripten_glBindBuffer(WEBGL_ARRAY_BUFFER, buffer);
    emscripten_glBufferData(WEBGL_ARRAY_BUFFER, long(count * sizeof(Vertex)), data, WEBGL_STATIC_DRAW);
    bound.arrayBuffer = ~0u;
    return buffer;
}

void webglDeleteBuffer(uint32_t buffer) {
    emscripten_glDeleteBuffers(1, &buffer);
    bound.arrayBuffer = ~0u;
}

void webglBindDrawFramebuffer(uint32_t webgl) {
    if (bound.drawFramebuffer != webgl) {
        emscripten_glBindFramebuffer(GL_DRAW_FRAMEBUFFER, webgl);
        bound.drawFramebuffer = webgl;
    }
}

void webglBindReadFramebuffer(uint32_t webgl) {
    if (bound.readFramebuffer != webgl) {
        emscripten_glBindFramebuffer(GL_READ_FRAMEBUFFER, webgl);
        bound.readFramebuffer = webgl;
    }
}

void webglBindTexture(uint32_t webgl) {
    if (bound.texture != webgl) {
        emscripten_glBindTexture(GL_TEXTURE_2D, webgl);
        bound.texture = webgl;
    }
}

void setGlyphAtlas(const unsigned char *texels, int width, int height) {
    emscripten_glGenTextures(1, &glyphAtlas);
    webglBindTexture(glyphAtlas);
    emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    emscripten_glTexImage2D(GL_TEXTURE_2D, 0, WEBGL_R8, width, height, 0, WEBGL_RED, GL_UNSIGNED_BYTE, texels);
}

std::vector<Vertex> &logVertices() {
    return vertices;
}

void fillFragmentState(Op &op) {
    op.target = gl.drawFramebuffer;
    memcpy(op.viewport, gl.viewport, sizeof op.viewport);
    op.blend = gl.caps[CAP_BLEND];
    op.blendSrc = gl.blendSrc;
    op.blendDst = gl.blendDst;
    op.depthTest = gl.caps[CAP_DEPTH_TEST];
    op.depthFunc = gl.depthFunc;
    op.depthMask = gl.depthMask;
}

// Glyph runs of one colour and state, drawn one after the other, become one operation.
static bool extendsGlyphRun(const Op &last, const Op &op) {
    return last.kind == OP_GLYPHS && op.kind == OP_GLYPHS && last.first + last.count == op.first &&
           last.target == op.target && last.blend == op.blend && last.blendSrc == op.blendSrc &&
           last.blendDst == op.blendDst && last.depthTest == op.depthTest && last.depthFunc == op.depthFunc &&
           last.depthMask == op.depthMask && last.u.alphaFunc == op.u.alphaFunc &&
           last.u.alphaRef == op.u.alphaRef && last.glyphDepth == op.glyphDepth &&
           memcmp(last.glyphColor, op.glyphColor, sizeof op.glyphColor) == 0;
}

void submitOp(const Op &op) {
    if (!ops.empty() && extendsGlyphRun(ops.back(), op)) {
        ops.back().count += op.count;
        return;
    }
    ops.push_back(op);
}

void bitmapGlyph(int atlasX, int atlasY, int width, int height, int left, int bottom, float advance) {
    if (!gl.rasterValid)
        return;  // an invalid raster position draws nothing and stays where it is
    if (texturingOn()) {
        unimplemented("glBitmap", "texturing of bitmaps, texture", gl.boundTexture);
        return;
    }
    // OpenGL places the bitmap at floor(raster position - origin); Mesa adds a small epsilon
    // first, so a position a rounding error below a whole pixel lands on that pixel
    const float epsilon = 0.0001f;
    float x0 = float(int(std::floor(gl.rasterPos[0] + epsilon)) + left);
    float y0 = float(int(std::floor(gl.rasterPos[1] + epsilon)) + bottom);
    if (width > 0 && height > 0) {
        Op op;
        memset(&op, 0, sizeof op);
        op.kind = OP_GLYPHS;
        fillFragmentState(op);
        op.u.alphaFunc = alphaTestIndex();
        op.u.alphaRef = gl.alphaRef;
        memcpy(op.glyphColor, gl.rasterColor, sizeof op.glyphColor);
        op.glyphDepth = gl.rasterPos[2];
        op.first = uint32_t(vertices.size());
        op.count = 6;
        float x1 = x0 + width, y1 = y0 + height;
        float s0 = float(atlasX), t0 = float(atlasY), s1 = s0 + width, t1 = t0 + height;
        const float corners[6][4] = {{x0, y0, s0, t0}, {x1, y0, s1, t0}, {x1, y1, s1, t1},
                                     {x0, y0, s0, t0}, {x1, y1, s1, t1}, {x0, y1, s0, t1}};
        for (const float *c : corners) {
            Vertex v;
            memset(&v, 0, sizeof v);
            v.pos[0] = c[0];
            v.pos[1] = c[1];
            v.tex[0] = c[2];
            v.tex[1] = c[3];
            vertices.push_back(v);
        }
        submitOp(op);
    }
    gl.rasterPos[0] += advance;
}

// ---- drawing the log with WebGL

static void useProgram(unsigned program) {
    if (bound.program != program) {
        emscripten_glUseProgram(program);
        bound.program = program;
    }
}

static void setViewport(const int v[4]) {
    if (memcmp(bound.viewport, v, sizeof bound.viewport) != 0) {
        emscripten_glViewport(v[0], v[1], v[2], v[3]);
        memcpy(bound.viewport, v, sizeof bound.viewport);
    }
}

static void setCap(int &now, bool want, unsigned cap) {
    if (now != int(want)) {
        (want ? emscripten_glEnable : emscripten_glDisable)(cap);
        now = want;
    }
}

static void setFragmentState(const Op &op) {
    setCap(bound.blend, op.blend, GL_BLEND);
    if (op.blend && (bound.blendSrc != op.blendSrc || bound.blendDst != op.blendDst)) {
        emscripten_glBlendFunc(op.blendSrc, op.blendDst);
        bound.blendSrc = op.blendSrc;
        bound.blendDst = op.blendDst;
    }
    setCap(bound.depthTest, op.depthTest, GL_DEPTH_TEST);
    if (op.depthTest && bound.depthFunc != op.depthFunc) {
        emscripten_glDepthFunc(op.depthFunc);
        bound.depthFunc = op.depthFunc;
    }
    if (bound.depthMask != int(op.depthMask)) {
        emscripten_glDepthMask(op.depthMask);
        bound.depthMask = op.depthMask;
    }
}

static unsigned webglFramebuffer(GLuint name) {
    const FramebufferObject *f = framebufferObject(name);
    return f ? f->webgl : 0;
}

// A sampler object per set of texture parameters: the parameters a draw was made with hold
// when it is drawn, whatever was set on the texture since.
static unsigned sampler(GLenum minFilter, GLenum magFilter, GLenum wrapS, GLenum wrapT) {
    static std::map<std::tuple<GLenum, GLenum, GLenum, GLenum>, unsigned> samplers;
    auto key = std::make_tuple(minFilter, magFilter, wrapS, wrapT);
    auto found = samplers.find(key);
    if (found != samplers.end())
        return found->second;
    unsigned s;
    emscripten_glGenSamplers(1, &s);
    emscripten_glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, int(minFilter));
    emscripten_glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, int(magFilter));
    emscripten_glSamplerParameteri(s, GL_TEXTURE_WRAP_S, int(wrapS));
    emscripten_glSamplerParameteri(s, GL_TEXTURE_WRAP_T, int(wrapT));
    samplers[key] = s;
    return s;
}

static void bindSampler(unsigned s) {
    if (bound.sampler != s) {
        emscripten_glBindSampler(0, s);
        bound.sampler = s;
    }
}

// Points the four attributes at a buffer of Vertex records (once per buffer).
static void useVertexBuffer(unsigned buffer) {
    if (bound.arrayBuffer == buffer)
        return;
    emscripten_glBindBuffer(WEBGL_ARRAY_BUFFER, buffer);
    const int stride = sizeof(Vertex);
    emscripten_glVertexAttribPointer(0, 3, WEBGL_FLOAT, 0, stride, (void *)offsetof(Vertex, pos));
    emscripten_glVertexAttribPointer(1, 4, WEBGL_FLOAT, 0, stride, (void *)offsetof(Vertex, color));
    emscripten_glVertexAttribPointer(2, 3, WEBGL_FLOAT, 0, stride, (void *)offsetof(Vertex, normal));
    emscripten_glVertexAttribPointer(3, 2, WEBGL_FLOAT, 0, stride, (void *)offsetof(Vertex, tex));
    bound.arrayBuffer = buffer;
}

static void setArrays(unsigned enabled) {
    for (unsigned i = 0; i < 4; i++) {
        bool want = enabled & (1u << i), now = bound.enabledArrays & (1u << i);
        if (want != now)
            (want ? emscripten_glEnableVertexAttribArray : emscripten_glDisableVertexAttribArray)(i);
    }
    bound.enabledArrays = enabled;
}

static unsigned variantKey(const DrawUniforms &u) {
    return unsigned(u.lighting) | unsigned(u.flat) << 1 | unsigned(u.texMode) << 2 | unsigned(u.texAlpha) << 5 |
           unsigned(u.alphaFunc) << 6;
}

static Program &program(const DrawUniforms &u) {
    unsigned key = variantKey(u);
    auto found = programs.find(key);
    if (found != programs.end())
        return found->second;
    char defines[200];
    snprintf(defines, sizeof defines, "#define LIGHTING %d\n#define FLAT %d\n#define TEX_MODE %d\n#define TEX_ALPHA %d\n"
             "#define ALPHA_FUNC %d\n", u.lighting, u.flat, u.texMode, u.texAlpha, u.alphaFunc);
    Program p;
    memset(&p, 0, sizeof p);
    p.id = link(VERTEX_SHADER, FRAGMENT_SHADER, defines);
    auto at = [&p](const char *name) { return emscripten_glGetUniformLocation(p.id, name); };
    p.mvp = at("uMvp");
    p.normalMatrix = at("uNormalMatrix");
    p.texMatrix = at("uTexMatrix");
    p.sceneColor = at("uSceneColor");
    p.diffuse = at("uDiffuse");
    p.specular = at("uSpecular");
    p.lightDir = at("uLightDir");
    p.halfVector = at("uHalf");
    p.shininess = at("uShininess");
    p.envColor = at("uEnvColor");
    p.alphaRef = at("uAlphaRef");
    useProgram(p.id);
    emscripten_glUniform1i(at("uTexture"), 0);
    return programs[key] = p;
}

#define CHANGED(field) (!p.known || memcmp(&u.field, &p.last.field, sizeof u.field) != 0)

// Sets what the variant uses and has not got already.
static void setMainUniforms(Program &p, const DrawUniforms &u) {
    if (CHANGED(mvp))
        emscripten_glUniformMatrix4fv(p.mvp, 1, 0, u.mvp);
    if (u.lighting) {
        if (CHANGED(normalMatrix))
            emscripten_glUniformMatrix3fv(p.normalMatrix, 1, 0, u.normalMatrix);
        if (CHANGED(sceneColor))
            emscripten_glUniform4fv(p.sceneColor, 1, u.sceneColor);
        if (CHANGED(diffuse))
            emscripten_glUniform3fv(p.diffuse, 1, u.diffuse);
        if (CHANGED(specular))
            emscripten_glUniform3fv(p.specular, 1, u.specular);
        if (CHANGED(lightDir))
            emscripten_glUniform3fv(p.lightDir, 1, u.lightDir);
        if (CHANGED(halfVector))
            emscripten_glUniform3fv(p.halfVector, 1, u.halfVector);
        if (CHANGED(shininess))
            emscripten_glUniform1f(p.shininess, u.shininess);
    }
    if (u.texMode != TEX_OFF) {
        if (CHANGED(texMatrix))
            emscripten_glUniformMatrix4fv(p.texMatrix, 1, 0, u.texMatrix);
        if (CHANGED(envColor))
            emscripten_glUniform4fv(p.envColor, 1, u.envColor);
    }
    if (CHANGED(alphaRef))
        emscripten_glUniform1f(p.alphaRef, u.alphaRef);
    p.last = u;
    p.known = true;
}

static void framebufferSize(GLuint name, int *width, int *height) {
    const FramebufferObject *f = framebufferObject(name);
    *width = f ? f->width : 0;
    *height = f ? f->height : 0;
}

static void drawOp(const Op &op) {
    switch (op.kind) {
    case OP_CLEAR:
        webglBindDrawFramebuffer(webglFramebuffer(op.target));
        if (bound.depthMask != int(op.depthMask)) {
            emscripten_glDepthMask(op.depthMask);
            bound.depthMask = op.depthMask;
        }
        emscripten_glClearColor(op.clearColor[0], op.clearColor[1], op.clearColor[2], op.clearColor[3]);
        emscripten_glClear(op.clearMask);
        break;
    case OP_DRAW: {
        webglBindDrawFramebuffer(webglFramebuffer(op.target));
        setViewport(op.viewport);
        setFragmentState(op);
        Program &p = program(op.u);
        useProgram(p.id);
        setMainUniforms(p, op.u);
        if (op.u.texMode != TEX_OFF) {
            webglBindTexture(op.texture);
            bindSampler(sampler(op.minFilter, op.magFilter, op.wrapS, op.wrapT));
        }
        useVertexBuffer(op.buffer ? op.buffer : streamBuffer);
        setArrays(1 | (op.constantMask & CONST_COLOR ? 0 : 2) | (op.constantMask & CONST_NORMAL ? 0 : 4) |
                  (op.constantMask & CONST_TEX ? 0 : 8));
        if (op.constantMask & CONST_COLOR)
            emscripten_glVertexAttrib4f(1, op.constColor[0], op.constColor[1], op.constColor[2], op.constColor[3]);
        if (op.constantMask & CONST_NORMAL)
            emscripten_glVertexAttrib4f(2, op.constNormal[0], op.constNormal[1], op.constNormal[2], 1);
        if (op.constantMask & CONST_TEX)
            emscripten_glVertexAttrib4f(3, op.constTex[0], op.constTex[1], 0, 1);
        emscripten_glDrawArrays(GL_TRIANGLES, int(op.first), int(op.count));
        break;
    }
    case OP_GLYPHS: {
        webglBindDrawFramebuffer(webglFramebuffer(op.target));
        int width, height;
        framebufferSize(op.target, &width, &height);
        // bitmaps are placed in window coordinates, outside the viewport's reach
        const int whole[4] = {0, 0, width, height};
        setViewport(whole);
        setFragmentState(op);
        useProgram(glyphProgram);
        emscripten_glUniform2f(glyphSize, float(width), float(height));
        emscripten_glUniform1f(glyphDepth, op.glyphDepth);
        emscripten_glUniform4fv(glyphColor, 1, op.glyphColor);
        emscripten_glUniform1i(glyphAlphaFunc, op.u.alphaFunc);
        emscripten_glUniform1f(glyphAlphaRef, op.u.alphaRef);
        webglBindTexture(glyphAtlas);
        bindSampler(sampler(GL_NEAREST, GL_NEAREST, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE));
        useVertexBuffer(streamBuffer);
        setArrays(1 | 8);
        emscripten_glDrawArrays(GL_TRIANGLES, int(op.first), int(op.count));
        break;
    }
    case OP_BLIT:
        webglBindReadFramebuffer(webglFramebuffer(op.blitSource));
        webglBindDrawFramebuffer(webglFramebuffer(op.target));
        emscripten_glBlitFramebuffer(op.src[0], op.src[1], op.src[2], op.src[3], op.dst[0], op.dst[1], op.dst[2],
                                     op.dst[3], GL_COLOR_BUFFER_BIT, op.filter);
        break;
    }
}

void flushOps() {
    if (ops.empty() || !ready) {
        ops.clear();
        vertices.clear();
        return;
    }
    if (!vertices.empty()) {
        // new storage each time: writing over what the last frame may still be drawing from
        // would make WebGL wait for it
        emscripten_glBindBuffer(WEBGL_ARRAY_BUFFER, streamBuffer);
        emscripten_glBufferData(WEBGL_ARRAY_BUFFER, long(vertices.size() * sizeof(Vertex)), vertices.data(),
                                WEBGL_STREAM_DRAW);
        bound.arrayBuffer = ~0u;
    }
    for (const Op &op : ops)
        drawOp(op);
    ops.clear();
    vertices.clear();
}

// ---- still mode

// Whether a blit writes every pixel of its target.
static bool coversTarget(const Op &op) {
    int width, height;
    framebufferSize(op.target, &width, &height);
    int x0 = op.dst[0] < op.dst[2] ? op.dst[0] : op.dst[2], x1 = op.dst[0] < op.dst[2] ? op.dst[2] : op.dst[0];
    int y0 = op.dst[1] < op.dst[3] ? op.dst[1] : op.dst[3], y1 = op.dst[1] < op.dst[3] ? op.dst[3] : op.dst[1];
    return width > 0 && height > 0 && x0 <= 0 && y0 <= 0 && x1 >= width && y1 >= height;
}

// Drops the operations nothing after them can show: see the top of this file.
static void prune() {
    struct Need {
        bool colour = true, depth = true;  // what is there now still matters at the log's end
    };
    std::unordered_map<GLuint, Need> need;
    std::vector<char> keep(ops.size());
    for (size_t i = ops.size(); i-- > 0;) {
        const Op &op = ops[i];
        Need &n = need[op.target];
        switch (op.kind) {
        case OP_CLEAR: {
            bool colour = op.clearMask & GL_COLOR_BUFFER_BIT;
            bool depth = (op.clearMask & GL_DEPTH_BUFFER_BIT) && op.depthMask;
            keep[i] = (colour && n.colour) || (depth && n.depth);
            if (colour)
                n.colour = false;
            if (depth)
                n.depth = false;
            break;
        }
        case OP_DRAW:
        case OP_GLYPHS:
            keep[i] = n.colour || (op.depthTest && op.depthMask && n.depth);
            if (keep[i] && op.depthTest)
                n.depth = true;
            break;
        case OP_BLIT:
            keep[i] = n.colour;
            if (keep[i] && coversTarget(op))
                n.colour = false;
            break;
        }
        if (keep[i] && op.readsSource)
            need[op.sourceFramebuffer].colour = true;
    }
    std::vector<Op> kept;
    std::vector<Vertex> keptVertices;
    for (size_t i = 0; i < ops.size(); i++) {
        if (!keep[i])
            continue;
        Op op = ops[i];
        bool ownVertices = (op.kind == OP_DRAW && op.buffer == 0) || op.kind == OP_GLYPHS;
        if (ownVertices) {
            uint32_t first = uint32_t(keptVertices.size());
            keptVertices.insert(keptVertices.end(), vertices.begin() + op.first,
                                vertices.begin() + op.first + op.count);
            op.first = first;
        }
        kept.push_back(op);
    }
    ops.swap(kept);
    vertices.swap(keptVertices);
    pruneAt = ops.size() * 2 + 4096;
    pruneVerticesAt = vertices.size() * 2 + (1 << 18);
}

void webglSetStill(int on) {
    if (still && !on) {
        prune();
        still = false;
        flushOps();
    }
    still = on != 0;
}

void webglFrameEnd(void) {
    if (!still)
        flushOps();
    else if (ops.size() >= pruneAt || vertices.size() >= pruneVerticesAt)
        prune();
}
