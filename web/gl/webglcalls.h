// webglcalls.h -- the WebGL 2 calls the GL layer makes, under emscripten's own names for them
//
// emscripten offers every WebGL call as emscripten_glX beside glX, so the layer can define the
// glX names itself and still reach WebGL. Declared here with plain types rather than through
// emscripten's GLES headers, which would declare the layer's own names a second time.
#pragma once

extern "C" {
void emscripten_glActiveTexture(unsigned texture);
void emscripten_glAttachShader(unsigned program, unsigned shader);
void emscripten_glBindAttribLocation(unsigned program, unsigned index, const char *name);
void emscripten_glBindBuffer(unsigned target, unsigned buffer);
void emscripten_glBindFramebuffer(unsigned target, unsigned framebuffer);
void emscripten_glBindRenderbuffer(unsigned target, unsigned renderbuffer);
void emscripten_glBindSampler(unsigned unit, unsigned sampler);
void emscripten_glBindTexture(unsigned target, unsigned texture);
void emscripten_glBindVertexArray(unsigned array);
void emscripten_glBlendFunc(unsigned sfactor, unsigned dfactor);
void emscripten_glBlitFramebuffer(int srcX0, int srcY0, int srcX1, int srcY1, int dstX0, int dstY0,
                                  int dstX1, int dstY1, unsigned mask, unsigned filter);
void emscripten_glBufferData(unsigned target, long size, const void *data, unsigned usage);
void emscripten_glBufferSubData(unsigned target, long offset, long size, const void *data);
unsigned emscripten_glCheckFramebufferStatus(unsigned target);
void emscripten_glClear(unsigned mask);
void emscripten_glClearColor(float red, float green, float blue, float alpha);
void emscripten_glColorMask(unsigned char red, unsigned char green, unsigned char blue, unsigned char alpha);
void emscripten_glCompileShader(unsigned shader);
unsigned emscripten_glCreateProgram(void);
unsigned emscripten_glCreateShader(unsigned type);
void emscripten_glDeleteBuffers(int n, const unsigned *buffers);
void emscripten_glDeleteFramebuffers(int n, const unsigned *framebuffers);
void emscripten_glDeleteRenderbuffers(int n, const unsigned *renderbuffers);
void emscripten_glDeleteTextures(int n, const unsigned *textures);
void emscripten_glDepthFunc(unsigned func);
void emscripten_glDepthMask(unsigned char flag);
void emscripten_glDisable(unsigned cap);
void emscripten_glDisableVertexAttribArray(unsigned index);
void emscripten_glDrawArrays(unsigned mode, int first, int count);
void emscripten_glEnable(unsigned cap);
void emscripten_glEnableVertexAttribArray(unsigned index);
void emscripten_glFinish(void);
void emscripten_glFramebufferRenderbuffer(unsigned target, unsigned attachment, unsigned renderbuffertarget,
                                          unsigned renderbuffer);
void emscripten_glFramebufferTexture2D(unsigned target, unsigned attachment, unsigned textarget,
                                       unsigned texture, int level);
void emscripten_glGenBuffers(int n, unsigned *buffers);
void emscripten_glGenFramebuffers(int n, unsigned *framebuffers);
void emscripten_glGenRenderbuffers(int n, unsigned *renderbuffers);
void emscripten_glGenSamplers(int n, unsigned *samplers);
void emscripten_glGenTextures(int n, unsigned *textures);
void emscripten_glGenVertexArrays(int n, unsigned *arrays);
void emscripten_glGetIntegerv(unsigned pname, int *data);
void emscripten_glGetProgramInfoLog(unsigned program, int bufSize, int *length, char *infoLog);
void emscripten_glGetProgramiv(unsigned program, unsigned pname, int *params);
void emscripten_glGetShaderInfoLog(unsigned shader, int bufSize, int *length, char *infoLog);
void emscripten_glGetShaderiv(unsigned shader, unsigned pname, int *params);
int emscripten_glGetUniformLocation(unsigned program, const char *name);
void emscripten_glLinkProgram(unsigned program);
void emscripten_glPixelStorei(unsigned pname, int param);
void emscripten_glReadPixels(int x, int y, int width, int height, unsigned format, unsigned type, void *pixels);
void emscripten_glRenderbufferStorage(unsigned target, unsigned internalformat, int width, int height);
void emscripten_glSamplerParameteri(unsigned sampler, unsigned pname, int param);
void emscripten_glShaderSource(unsigned shader, int count, const char *const *string, const int *length);
void emscripten_glTexImage2D(unsigned target, int level, int internalformat, int width, int height,
                             int border, unsigned format, unsigned type, const void *pixels);
void emscripten_glUniform1f(int location, float v0);
void emscripten_glUniform1i(int location, int v0);
void emscripten_glUniform2f(int location, float v0, float v1);
void emscripten_glUniform3fv(int location, int count, const float *value);
void emscripten_glUniform4fv(int location, int count, const float *value);
void emscripten_glUniformMatrix3fv(int location, int count, unsigned char transpose, const float *value);
void emscripten_glUniformMatrix4fv(int location, int count, unsigned char transpose, const float *value);
void emscripten_glUseProgram(unsigned program);
void emscripten_glVertexAttrib4f(unsigned index, float x, float y, float z, float w);
void emscripten_glVertexAttribPointer(unsigned index, int size, unsigned type, unsigned char normalized,
                                      int stride, const void *pointer);
void emscripten_glViewport(int x, int y, int width, int height);
}

// WebGL 2 values the layer uses that neither OpenGL 1.1's header nor glext.h has
const unsigned WEBGL_ARRAY_BUFFER = 0x8892, WEBGL_STATIC_DRAW = 0x88E4, WEBGL_STREAM_DRAW = 0x88E0;
const unsigned WEBGL_FLOAT = 0x1406;
const unsigned WEBGL_VERTEX_SHADER = 0x8B31;
const unsigned WEBGL_R8 = 0x8229, WEBGL_RED = 0x1903;
