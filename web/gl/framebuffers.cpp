// framebuffers.cpp -- the GL layer's framebuffer and renderbuffer objects, clears, blits and reads
//
// Framebuffer 0 is the canvas. A framebuffer's attachments go to WebGL at once; what is drawn
// into it goes through the draw path as operations.
#include "layer.h"
#include "webglcalls.h"

#include <cstring>

struct RenderbufferObject {
    bool exists;
    uint32_t webgl;
    int width, height;
};
static std::vector<FramebufferObject> framebuffers(1, FramebufferObject{true, 0, 0, 0, 0, 0});
static std::vector<RenderbufferObject> renderbuffers(1);  // name 0 is no renderbuffer

FramebufferObject *framebufferObject(GLuint name) {
    if (name >= framebuffers.size() || !framebuffers[name].exists)
        return nullptr;
    return &framebuffers[name];
}

static RenderbufferObject *renderbufferObject(GLuint name) {
    if (name == 0 || name >= renderbuffers.size() || !renderbuffers[name].exists)
        return nullptr;
    return &renderbuffers[name];
}

void setCanvasSize(int width, int height) {
    framebuffers[0].width = width;
    framebuffers[0].height = height;
}

void glGenFramebuffers(GLsizei n, GLuint *names) {
    for (GLsizei i = 0; i < n; i++) {
        names[i] = GLuint(framebuffers.size());
        FramebufferObject f{true, 0, 0, 0, 0, 0};
        emscripten_glGenFramebuffers(1, &f.webgl);
        framebuffers.push_back(f);
    }
}

void glDeleteFramebuffers(GLsizei n, const GLuint *names) {
    for (GLsizei i = 0; i < n; i++) {
        FramebufferObject *f = names[i] ? framebufferObject(names[i]) : nullptr;
        if (!f)
            continue;
        flushOps();  // kept operations may draw into it or read it
        if (TextureObject *t = textureObject(f->colourTexture))
            if (t->attachedTo == names[i])
                t->attachedTo = 0;
        emscripten_glDeleteFramebuffers(1, &f->webgl);
        *f = FramebufferObject{};
        if (gl.drawFramebuffer == names[i])
            gl.drawFramebuffer = 0;
        if (gl.readFramebuffer == names[i])
            gl.readFramebuffer = 0;
    }
}

void glBindFramebuffer(GLenum target, GLuint framebuffer) {
    if (target != GL_FRAMEBUFFER && target != GL_READ_FRAMEBUFFER && target != GL_DRAW_FRAMEBUFFER) {
        setError(GL_INVALID_ENUM);
        return;
    }
    if (!framebufferObject(framebuffer)) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    if (target != GL_READ_FRAMEBUFFER)
        gl.drawFramebuffer = framebuffer;
    if (target != GL_DRAW_FRAMEBUFFER)
        gl.readFramebuffer = framebuffer;
}

// The framebuffer a call's target names: GL_FRAMEBUFFER is the draw framebuffer.
static GLuint boundTo(GLenum target) {
    return target == GL_READ_FRAMEBUFFER ? gl.readFramebuffer : gl.drawFramebuffer;
}

// A framebuffer's size: the size its attachments share (the smallest, where they differ).
static void updateSize(FramebufferObject &f) {
    const TextureObject *t = f.colourTexture ? textureObject(f.colourTexture) : nullptr;
    const RenderbufferObject *r = renderbufferObject(f.depthRenderbuffer);
    f.width = f.height = 0;
    if (t && r) {
        f.width = t->width < r->width ? t->width : r->width;
        f.height = t->height < r->height ? t->height : r->height;
    } else if (t) {
        f.width = t->width;
        f.height = t->height;
    } else if (r) {
        f.width = r->width;
        f.height = r->height;
    }
}

void glFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget, GLuint texture, GLint level) {
    GLuint name = boundTo(target);
    FramebufferObject *f = framebufferObject(name);
    if (!f || name == 0) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    if (attachment != GL_COLOR_ATTACHMENT0 || textarget != GL_TEXTURE_2D || level != 0) {
        unimplemented("glFramebufferTexture2D", attachment != GL_COLOR_ATTACHMENT0 ? "attachment" : "texture target or level",
                      attachment != GL_COLOR_ATTACHMENT0 ? attachment : textarget);
        return;
    }
    TextureObject *t = texture ? textureObject(texture) : nullptr;
    if (texture && !t) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    flushOps();  // kept operations draw into what is attached now
    if (TextureObject *old = textureObject(f->colourTexture))
        if (old->attachedTo == name)
            old->attachedTo = 0;
    webglBindDrawFramebuffer(f->webgl);
    emscripten_glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t ? t->webgl : 0, 0);
    f->colourTexture = texture;
    if (t)
        t->attachedTo = name;
    updateSize(*f);
}

void glGenRenderbuffers(GLsizei n, GLuint *names) {
    for (GLsizei i = 0; i < n; i++) {
        names[i] = GLuint(renderbuffers.size());
        RenderbufferObject r{true, 0, 0, 0};
        emscripten_glGenRenderbuffers(1, &r.webgl);
        renderbuffers.push_back(r);
    }
}

void glDeleteRenderbuffers(GLsizei n, const GLuint *names) {
    for (GLsizei i = 0; i < n; i++) {
        RenderbufferObject *r = renderbufferObject(names[i]);
        if (!r)
            continue;
        flushOps();
        for (FramebufferObject &f : framebuffers)
            if (f.exists && f.depthRenderbuffer == names[i])
                f.depthRenderbuffer = 0;
        emscripten_glDeleteRenderbuffers(1, &r->webgl);
        *r = RenderbufferObject{};
        if (gl.renderbuffer == names[i])
            gl.renderbuffer = 0;
    }
}

void glBindRenderbuffer(GLenum target, GLuint renderbuffer) {
    if (target != GL_RENDERBUFFER) {
        setError(GL_INVALID_ENUM);
        return;
    }
    if (renderbuffer && !renderbufferObject(renderbuffer)) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    gl.renderbuffer = renderbuffer;
}

void glRenderbufferStorage(GLenum target, GLenum internalformat, GLsizei width, GLsizei height) {
    RenderbufferObject *r = renderbufferObject(gl.renderbuffer);
    if (target != GL_RENDERBUFFER || !r) {
        setError(target != GL_RENDERBUFFER ? GL_INVALID_ENUM : GL_INVALID_OPERATION);
        return;
    }
    if (internalformat != GL_DEPTH_COMPONENT24) {
        unimplemented("glRenderbufferStorage", "internal format", internalformat);
        return;
    }
    if (width < 0 || height < 0 || width > webglMaxRenderbufferSize() || height > webglMaxRenderbufferSize()) {
        setError(GL_INVALID_VALUE);
        return;
    }
    flushOps();
    emscripten_glBindRenderbuffer(GL_RENDERBUFFER, r->webgl);
    emscripten_glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    emscripten_glBindRenderbuffer(GL_RENDERBUFFER, 0);
    r->width = width;
    r->height = height;
    for (FramebufferObject &f : framebuffers)
        if (f.exists && f.depthRenderbuffer == gl.renderbuffer)
            updateSize(f);
}

void glFramebufferRenderbuffer(GLenum target, GLenum attachment, GLenum renderbuffertarget, GLuint renderbuffer) {
    GLuint name = boundTo(target);
    FramebufferObject *f = framebufferObject(name);
    if (!f || name == 0 || renderbuffertarget != GL_RENDERBUFFER || (renderbuffer && !renderbufferObject(renderbuffer))) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    if (attachment != GL_DEPTH_ATTACHMENT) {
        unimplemented("glFramebufferRenderbuffer", "attachment", attachment);
        return;
    }
    flushOps();
    webglBindDrawFramebuffer(f->webgl);
    emscripten_glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                         renderbuffer ? renderbufferObject(renderbuffer)->webgl : 0);
    f->depthRenderbuffer = renderbuffer;
    updateSize(*f);
}

GLenum glCheckFramebufferStatus(GLenum target) {
    GLuint name = boundTo(target);
    if (name == 0)
        return GL_FRAMEBUFFER_COMPLETE;
    webglBindDrawFramebuffer(framebufferObject(name)->webgl);
    return emscripten_glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER);
}

void glBlitFramebuffer(GLint srcX0, GLint srcY0, GLint srcX1, GLint srcY1, GLint dstX0, GLint dstY0,
                       GLint dstX1, GLint dstY1, GLbitfield mask, GLenum filter) {
    if (mask != GL_COLOR_BUFFER_BIT) {
        unimplemented("glBlitFramebuffer", "buffer bits", mask);
        return;
    }
    if (filter != GL_NEAREST && filter != GL_LINEAR) {
        setError(GL_INVALID_ENUM);
        return;
    }
    Op op;
    memset(&op, 0, sizeof op);
    op.kind = OP_BLIT;
    fillFragmentState(op);
    op.blitSource = gl.readFramebuffer;
    op.sourceFramebuffer = gl.readFramebuffer;
    op.readsSource = true;
    const int src[4] = {srcX0, srcY0, srcX1, srcY1}, dst[4] = {dstX0, dstY0, dstX1, dstY1};
    memcpy(op.src, src, sizeof src);
    memcpy(op.dst, dst, sizeof dst);
    op.filter = filter;
    submitOp(op);
}

void glClear(GLbitfield mask) {
    if (refusedInList("glClear"))
        return;
    if (mask & ~GLbitfield(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)) {
        unimplemented("glClear", "buffer bits", mask);
        return;
    }
    Op op;
    memset(&op, 0, sizeof op);
    op.kind = OP_CLEAR;
    fillFragmentState(op);
    op.clearMask = mask;
    memcpy(op.clearColor, gl.clearColor, sizeof op.clearColor);
    submitOp(op);
}

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid *pixels) {
    if ((format != GL_RGBA && format != GL_RGB) || type != GL_UNSIGNED_BYTE) {
        unimplemented("glReadPixels", format != GL_RGBA && format != GL_RGB ? "format" : "type",
                      format != GL_RGBA && format != GL_RGB ? format : type);
        return;
    }
    if (width <= 0 || height <= 0)
        return;
    flushOps();
    webglBindReadFramebuffer(framebufferObject(gl.readFramebuffer)->webgl);
    // WebGL always reads RGBA; rows are then laid out as the pack alignment asks
    std::vector<unsigned char> rgba(size_t(width) * height * 4);
    emscripten_glPixelStorei(GL_PACK_ALIGNMENT, 4);
    emscripten_glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    int channels = format == GL_RGBA ? 4 : 3;
    size_t rowBytes = size_t(width) * channels;
    size_t stride = (rowBytes + gl.packAlignment - 1) / gl.packAlignment * gl.packAlignment;
    unsigned char *out = static_cast<unsigned char *>(pixels);
    for (GLsizei row = 0; row < height; row++)
        for (GLsizei col = 0; col < width; col++)
            memcpy(out + row * stride + col * channels, &rgba[(size_t(row) * width + col) * 4], channels);
}

void glFinish(void) {
    flushOps();
    emscripten_glFinish();
}
