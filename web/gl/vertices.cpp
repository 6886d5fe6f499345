// vertices.cpp -- the GL layer's immediate mode, display lists and raster position
//
// Primitives are kept as triangles. A quad v0 v1 v2 v3 becomes (v0 v1 v3) and (v1 v2 v3): both
// end on v3, the vertex OpenGL 1.1 takes a flat-shaded quad's colour from, and WebGL 2's flat
// varyings take the last vertex of each triangle.
#include "layer.h"

#include <cstring>
#include <map>

// A display list: its commands in order, its vertices in one WebGL buffer.
enum ListCommandKind { LIST_COLOR, LIST_NORMAL, LIST_TEX, LIST_DRAW, LIST_CALL };
struct ListCommand {
    ListCommandKind kind;
    float value[4];
    uint32_t first, count;  // LIST_DRAW: vertices in the list's buffer
    unsigned inherited;     // LIST_DRAW: attributes the list never set before these vertices
    GLuint list;            // LIST_CALL
};
struct DisplayList {
    std::vector<ListCommand> commands;
    uint32_t buffer;  // WebGL buffer, 0 when the list has no vertices
};
static std::map<GLuint, DisplayList> lists;
static GLuint nextListName = 1;
static const int MAX_LIST_NESTING = 64;  // OpenGL's minimum
static int callDepth;                    // lists being executed, one inside the other

static GLuint compiling;              // the list being compiled, 0 for none
static DisplayList compiled;          // its commands so far
static std::vector<Vertex> compiledVertices;  // and its vertices
static float listColor[4], listNormal[3], listTex[2];  // the attributes as the list has set them
static unsigned listSet;  // attributes the list has set so far (CONST_* bits)

static bool inBegin;                 // between glBegin and glEnd
static GLenum beginMode;             // GL_TRIANGLES or GL_QUADS
static std::vector<Vertex> pending;  // vertices of the primitive not yet complete
static std::vector<Vertex> batch;    // triangles of this glBegin, when compiling
static unsigned batchInherited;      // attributes the list had not set for the batch's vertices
static unsigned setInBatch;          // attributes set between glBegin and glEnd while compiling
static size_t beginStart;            // where this glBegin's vertices start in the log's vertices

bool compilingList() {
    return compiling != 0;
}

void glBegin(GLenum mode) {
    if (inBegin) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    if (mode != GL_TRIANGLES && mode != GL_QUADS) {
        unimplemented("glBegin", "primitive", mode);
        return;
    }
    inBegin = true;
    beginMode = mode;
    pending.clear();
    batch.clear();
    batchInherited = ~0u;
    setInBatch = 0;
    beginStart = logVertices().size();
}

// The triangles of one complete primitive, into where this glBegin's vertices go.
static void emitPrimitive(std::vector<Vertex> &out) {
    if (beginMode == GL_TRIANGLES) {
        out.insert(out.end(), pending.begin(), pending.end());
    } else {
        const Vertex &v0 = pending[0], &v1 = pending[1], &v2 = pending[2], &v3 = pending[3];
        for (const Vertex *v : {&v0, &v1, &v3, &v1, &v2, &v3})
            out.push_back(*v);
    }
    pending.clear();
}

static void vertex(float x, float y, float z) {
    if (!inBegin)
        return;  // undefined in OpenGL; nothing to draw
    Vertex v;
    v.pos[0] = x;
    v.pos[1] = y;
    v.pos[2] = z;
    if (compiling) {
        unsigned inherited = ~listSet & (CONST_COLOR | CONST_NORMAL | CONST_TEX);
        if (batchInherited == ~0u)
            batchInherited = inherited;
        else if (batchInherited != inherited)
            unimplemented("glVertex", "a display list setting an attribute partway through a primitive, attributes",
                          batchInherited ^ inherited);
        memcpy(v.color, listColor, sizeof v.color);
        memcpy(v.normal, listNormal, sizeof v.normal);
        memcpy(v.tex, listTex, sizeof v.tex);
    } else {
        memcpy(v.color, gl.color, sizeof v.color);
        memcpy(v.normal, gl.normal, sizeof v.normal);
        memcpy(v.tex, gl.tex, sizeof v.tex);
    }
    pending.push_back(v);
    if (pending.size() == (beginMode == GL_QUADS ? 4u : 3u))
        emitPrimitive(compiling ? batch : logVertices());
}

void glVertex2f(GLfloat x, GLfloat y) {
    vertex(x, y, 0);
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    vertex(x, y, z);
}

// A draw of `count` vertices: the log's own from `first`, or a list's buffer's.
static void submitDraw(uint32_t buffer, uint32_t first, uint32_t count, unsigned constantMask) {
    Op op;
    memset(&op, 0, sizeof op);
    op.kind = OP_DRAW;
    fillFragmentState(op);
    drawUniforms(op.u);
    op.buffer = buffer;
    op.first = first;
    op.count = count;
    op.constantMask = constantMask;
    memcpy(op.constColor, gl.color, sizeof op.constColor);
    memcpy(op.constNormal, gl.normal, sizeof op.constNormal);
    memcpy(op.constTex, gl.tex, sizeof op.constTex);
    if (op.u.texMode != TEX_OFF) {
        const TextureObject *t = textureObject(gl.boundTexture);
        op.texture = t->webgl;
        op.minFilter = t->minFilter;
        op.magFilter = t->magFilter;
        op.wrapS = t->wrapS;
        op.wrapT = t->wrapT;
        // a texture drawn into by a framebuffer shows what that framebuffer holds at this point
        op.sourceFramebuffer = t->attachedTo;
        op.readsSource = t->attachedTo != 0;
    }
    submitOp(op);
}

static void listCommand(ListCommandKind kind, const float *value, int n) {
    ListCommand c;
    memset(&c, 0, sizeof c);
    c.kind = kind;
    memcpy(c.value, value, n * sizeof(float));
    compiled.commands.push_back(c);
}

void glEnd(void) {
    if (!inBegin) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    inBegin = false;
    pending.clear();  // an incomplete primitive draws nothing
    if (compiling) {
        if (!batch.empty()) {
            ListCommand c;
            memset(&c, 0, sizeof c);
            c.kind = LIST_DRAW;
            c.first = uint32_t(compiledVertices.size());
            c.count = uint32_t(batch.size());
            c.inherited = batchInherited;
            compiled.commands.push_back(c);
            compiledVertices.insert(compiledVertices.end(), batch.begin(), batch.end());
        }
        // what was set between glBegin and glEnd stays current after the list
        if (setInBatch & CONST_COLOR)
            listCommand(LIST_COLOR, listColor, 4);
        if (setInBatch & CONST_NORMAL)
            listCommand(LIST_NORMAL, listNormal, 3);
        if (setInBatch & CONST_TEX)
            listCommand(LIST_TEX, listTex, 2);
        return;
    }
    size_t end = logVertices().size();
    if (end > beginStart)
        submitDraw(0, uint32_t(beginStart), uint32_t(end - beginStart), 0);
}

// An attribute call: the current value, or the list's while compiling.
static void attribute(unsigned bit, float *current, float *inList, const float *value, int n) {
    if (!compiling) {
        memcpy(current, value, n * sizeof(float));
        return;
    }
    memcpy(inList, value, n * sizeof(float));
    listSet |= bit;
    if (inBegin)
        setInBatch |= bit;
    else
        listCommand(bit == CONST_COLOR ? LIST_COLOR : bit == CONST_NORMAL ? LIST_NORMAL : LIST_TEX, value, n);
}

void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
    const float c[4] = {red, green, blue, alpha};
    attribute(CONST_COLOR, gl.color, listColor, c, 4);
}

void glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
    glColor4f(red, green, blue, 1);
}

void glNormal3f(GLfloat nx, GLfloat ny, GLfloat nz) {
    const float n[3] = {nx, ny, nz};
    attribute(CONST_NORMAL, gl.normal, listNormal, n, 3);
}

void glTexCoord2f(GLfloat s, GLfloat t) {
    const float c[2] = {s, t};
    attribute(CONST_TEX, gl.tex, listTex, c, 2);
}

GLuint glGenLists(GLsizei range) {
    if (range < 0) {
        setError(GL_INVALID_VALUE);
        return 0;
    }
    if (range == 0)
        return 0;
    GLuint first = nextListName;
    nextListName += GLuint(range);
    return first;
}

void glNewList(GLuint list, GLenum mode) {
    if (list == 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    if (compiling || inBegin) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    if (mode != GL_COMPILE) {
        unimplemented("glNewList", "mode", mode);
        return;
    }
    compiling = list;
    compiled = DisplayList{{}, 0};
    compiledVertices.clear();
    listSet = 0;
}

void glEndList(void) {
    if (!compiling || inBegin) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    compiled.buffer = compiledVertices.empty() ? 0 : webglBuffer(compiledVertices.data(), compiledVertices.size());
    auto old = lists.find(compiling);
    if (old != lists.end() && old->second.buffer) {
        // a kept draw may still use the old buffer
        flushOps();
        webglDeleteBuffer(old->second.buffer);
    }
    lists[compiling] = compiled;
    compiled = DisplayList{{}, 0};
    compiledVertices.clear();
    compiling = 0;
}

void glCallList(GLuint list) {
    if (compiling) {
        ListCommand c;
        memset(&c, 0, sizeof c);
        c.kind = LIST_CALL;
        c.list = list;
        compiled.commands.push_back(c);
        return;
    }
    auto found = lists.find(list);
    if (found == lists.end() || callDepth >= MAX_LIST_NESTING)
        return;
    callDepth++;
    const DisplayList &l = found->second;
    for (const ListCommand &c : l.commands) {
        switch (c.kind) {
        case LIST_COLOR: memcpy(gl.color, c.value, sizeof gl.color); break;
        case LIST_NORMAL: memcpy(gl.normal, c.value, sizeof gl.normal); break;
        case LIST_TEX: memcpy(gl.tex, c.value, sizeof gl.tex); break;
        case LIST_DRAW: submitDraw(l.buffer, c.first, c.count, c.inherited); break;
        case LIST_CALL: glCallList(c.list); break;
        }
    }
    callDepth--;
}

// The raster position: (x, y, 0, 1) through both matrices and the viewport, valid while inside
// the view volume; its colour lit as a vertex would be.
static void rasterPos(float x, float y) {
    if (refusedInList("glRasterPos"))
        return;
    const float object[4] = {x, y, 0, 1};
    float eye[4], clip[4];
    transform(modelview(), object, eye);
    transform(projection(), eye, clip);
    float w = clip[3];
    gl.rasterValid = w > 0 && clip[0] >= -w && clip[0] <= w && clip[1] >= -w && clip[1] <= w &&
                     clip[2] >= -w && clip[2] <= w;
    if (!gl.rasterValid)
        return;
    const int *v = gl.viewport;
    gl.rasterPos[0] = v[0] + (clip[0] / w + 1) * v[2] / 2;
    gl.rasterPos[1] = v[1] + (clip[1] / w + 1) * v[3] / 2;
    gl.rasterPos[2] = (clip[2] / w + 1) / 2;
    if (gl.caps[CAP_LIGHTING]) {
        litColor(gl.normal, gl.rasterColor);
    } else {
        for (int i = 0; i < 4; i++)
            gl.rasterColor[i] = clamp01(gl.color[i]);
    }
}

void glRasterPos2f(GLfloat x, GLfloat y) {
    rasterPos(x, y);
}

void glRasterPos2i(GLint x, GLint y) {
    rasterPos(float(x), float(y));
}
