// textures.cpp -- the GL layer's texture objects, texture environment and pixel storage
#include "layer.h"
#include "webglcalls.h"

#include <cstring>

// A texture object as OpenGL makes it: no image yet, OpenGL's default filters and wrapping.
static const TextureObject NEW_TEXTURE = {true, 0, false, false, 0, 0, GL_NEAREST_MIPMAP_LINEAR, GL_LINEAR,
                                          GL_REPEAT, GL_REPEAT, 0};
static std::vector<TextureObject> textures(1, NEW_TEXTURE);  // by name; name 0 is the default texture

TextureObject *textureObject(GLuint name) {
    if (name >= textures.size() || !textures[name].exists)
        return nullptr;
    return &textures[name];
}

bool texturingOn() {
    if (!gl.caps[CAP_TEXTURE_2D])
        return false;
    const TextureObject *t = textureObject(gl.boundTexture);
    // only level 0 is ever given, so a mipmapping filter leaves the texture incomplete, and an
    // incomplete texture draws as if texturing were off
    return t && t->hasImage && t->webgl && (t->minFilter == GL_NEAREST || t->minFilter == GL_LINEAR);
}

void glGenTextures(GLsizei n, GLuint *names) {
    for (GLsizei i = 0; i < n; i++) {
        names[i] = GLuint(textures.size());
        textures.push_back(NEW_TEXTURE);
    }
}

void glDeleteTextures(GLsizei n, const GLuint *names) {
    for (GLsizei i = 0; i < n; i++) {
        TextureObject *t = names[i] ? textureObject(names[i]) : nullptr;
        if (!t)
            continue;
        if (t->webgl) {
            flushOps();  // a kept draw may sample it
            emscripten_glDeleteTextures(1, &t->webgl);
        }
        if (FramebufferObject *f = t->attachedTo ? framebufferObject(t->attachedTo) : nullptr)
            f->colourTexture = 0;
        *t = TextureObject{};
        if (gl.boundTexture == names[i])
            gl.boundTexture = 0;
    }
}

void glBindTexture(GLenum target, GLuint texture) {
    if (refusedInList("glBindTexture"))
        return;
    if (target != GL_TEXTURE_2D) {
        unimplemented("glBindTexture", "target", target);
        return;
    }
    if (!textureObject(texture)) {
        // OpenGL 1.1 makes a texture object of a name never generated when it is first bound
        if (texture >= textures.size())
            textures.resize(texture + 1);
        textures[texture] = NEW_TEXTURE;
    }
    gl.boundTexture = texture;
}

void glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const GLvoid *pixels) {
    if (refusedInList("glTexImage2D"))
        return;
    if (target != GL_TEXTURE_2D) {
        unimplemented("glTexImage2D", "target", target);
        return;
    }
    if (level != 0) {
        unimplemented("glTexImage2D", "mipmap level", unsigned(level));
        return;
    }
    bool alpha;
    switch (internalformat) {
    case 3: case GL_RGB: case GL_RGB8: alpha = false; break;
    case 4: case GL_RGBA: case GL_RGBA8: alpha = true; break;
    default:
        unimplemented("glTexImage2D", "internal format", unsigned(internalformat));
        return;
    }
    if ((format != GL_RGB && format != GL_RGBA) || type != GL_UNSIGNED_BYTE) {
        unimplemented("glTexImage2D", format != GL_RGB && format != GL_RGBA ? "format" : "type",
                      format != GL_RGB && format != GL_RGBA ? format : type);
        return;
    }
    if (width < 0 || height < 0 || border != 0 || width > webglMaxTextureSize() ||
        height > webglMaxTextureSize()) {
        setError(GL_INVALID_VALUE);
        return;
    }
    TextureObject *t = textureObject(gl.boundTexture);
    // a kept draw may sample the image this one replaces
    flushOps();
    if (!t->webgl)
        emscripten_glGenTextures(1, &t->webgl);
    webglBindTexture(t->webgl);
    emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, gl.unpackAlignment);
    // WebGL takes the 8-bit formats as sized internal formats, with the data's own layout
    emscripten_glTexImage2D(GL_TEXTURE_2D, 0, alpha ? GL_RGBA8 : GL_RGB8, width, height, 0, format,
                            GL_UNSIGNED_BYTE, pixels);
    t->hasImage = width > 0 && height > 0;
    t->alpha = alpha;
    t->width = width;
    t->height = height;
}

void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    if (refusedInList("glTexParameteri"))
        return;
    if (target != GL_TEXTURE_2D) {
        unimplemented("glTexParameteri", "target", target);
        return;
    }
    TextureObject *t = textureObject(gl.boundTexture);
    GLenum p = GLenum(param);
    switch (pname) {
    case GL_TEXTURE_MIN_FILTER:
        if (p == GL_NEAREST || p == GL_LINEAR || (p >= GL_NEAREST_MIPMAP_NEAREST && p <= GL_LINEAR_MIPMAP_LINEAR))
            t->minFilter = p;
        else
            setError(GL_INVALID_ENUM);
        return;
    case GL_TEXTURE_MAG_FILTER:
        if (p == GL_NEAREST || p == GL_LINEAR)
            t->magFilter = p;
        else
            setError(GL_INVALID_ENUM);
        return;
    case GL_TEXTURE_WRAP_S:
    case GL_TEXTURE_WRAP_T:
        if (p != GL_REPEAT && p != GL_CLAMP_TO_EDGE) {
            unimplemented("glTexParameteri", "wrap mode", p);
            return;
        }
        (pname == GL_TEXTURE_WRAP_S ? t->wrapS : t->wrapT) = p;
        return;
    }
    unimplemented("glTexParameteri", "parameter", pname);
}

static void envMode(const char *call, GLenum target, GLenum pname, GLenum mode) {
    if (refusedInList(call))
        return;
    if (target != GL_TEXTURE_ENV || pname != GL_TEXTURE_ENV_MODE) {
        unimplemented(call, target != GL_TEXTURE_ENV ? "target" : "parameter",
                      target != GL_TEXTURE_ENV ? target : pname);
        return;
    }
    if (mode != GL_MODULATE && mode != GL_REPLACE && mode != GL_DECAL && mode != GL_BLEND) {
        unimplemented(call, "mode", mode);
        return;
    }
    gl.texEnvMode = mode;
}

void glTexEnvi(GLenum target, GLenum pname, GLint param) {
    envMode("glTexEnvi", target, pname, GLenum(param));
}

void glTexEnvf(GLenum target, GLenum pname, GLfloat param) {
    envMode("glTexEnvf", target, pname, GLenum(param));
}

void glPixelStorei(GLenum pname, GLint param) {
    if (pname != GL_UNPACK_ALIGNMENT && pname != GL_PACK_ALIGNMENT) {
        unimplemented("glPixelStorei", "parameter", pname);
        return;
    }
    if (param != 1 && param != 2 && param != 4 && param != 8) {
        setError(GL_INVALID_VALUE);
        return;
    }
    (pname == GL_UNPACK_ALIGNMENT ? gl.unpackAlignment : gl.packAlignment) = param;
}
