// matrix.cpp -- the GL layer's matrix stacks and the GLU calls that build on them
//
// The arithmetic follows Mesa's in single precision (rotations from sines and cosines taken in
// double, GLU's look-at in float), so the web build places vertices where the desktop does to
// the last bits that can matter for a pixel.
#include "layer.h"
#include <GL/glu.h>

#include <cmath>
#include <cstring>

static const int MODELVIEW_DEPTH = 32, PROJECTION_DEPTH = 32, TEXTURE_DEPTH = 10;  // Mesa's depths
static std::vector<Matrix> stacks[3];  // modelview, projection, texture; the top is current
unsigned modelviewVersion, projectionVersion;  // bumped on every change of the top

static const Matrix IDENTITY = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

static std::vector<Matrix> &stack(int which) {
    if (stacks[which].empty())
        stacks[which].push_back(IDENTITY);
    return stacks[which];
}

static int current() {
    return gl.matrixMode == GL_PROJECTION ? 1 : gl.matrixMode == GL_TEXTURE ? 2 : 0;
}

const Matrix &modelview() {
    return stack(0).back();
}
const Matrix &projection() {
    return stack(1).back();
}
const Matrix &textureMatrix() {
    return stack(2).back();
}

static Matrix &top() {
    return stack(current()).back();
}

static void changed() {
    if (current() == 0)
        modelviewVersion++;
    else if (current() == 1)
        projectionVersion++;
}

void multiply(Matrix &out, const Matrix &a, const Matrix &b) {
    Matrix r;
    for (int col = 0; col < 4; col++)
        for (int row = 0; row < 4; row++)
            r.m[col * 4 + row] = a.m[row] * b.m[col * 4] + a.m[4 + row] * b.m[col * 4 + 1] +
                                 a.m[8 + row] * b.m[col * 4 + 2] + a.m[12 + row] * b.m[col * 4 + 3];
    out = r;
}

void transform(const Matrix &m, const float in[4], float out[4]) {
    float r[4];
    for (int row = 0; row < 4; row++)
        r[row] = m.m[row] * in[0] + m.m[4 + row] * in[1] + m.m[8 + row] * in[2] + m.m[12 + row] * in[3];
    memcpy(out, r, sizeof r);
}

static void multiplyTop(const Matrix &m) {
    multiply(top(), top(), m);
    changed();
}

void glMatrixMode(GLenum mode) {
    if (refusedInList("glMatrixMode"))
        return;
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION && mode != GL_TEXTURE) {
        setError(GL_INVALID_ENUM);
        return;
    }
    gl.matrixMode = mode;
}

void glPushMatrix(void) {
    if (refusedInList("glPushMatrix"))
        return;
    const int depth[3] = {MODELVIEW_DEPTH, PROJECTION_DEPTH, TEXTURE_DEPTH};
    std::vector<Matrix> &s = stack(current());
    if (int(s.size()) >= depth[current()]) {
        setError(GL_STACK_OVERFLOW);
        return;
    }
    s.push_back(s.back());
}

void glPopMatrix(void) {
    if (refusedInList("glPopMatrix"))
        return;
    std::vector<Matrix> &s = stack(current());
    if (s.size() <= 1) {
        setError(GL_STACK_UNDERFLOW);
        return;
    }
    s.pop_back();
    changed();
}

void glLoadIdentity(void) {
    if (refusedInList("glLoadIdentity"))
        return;
    top() = IDENTITY;
    changed();
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    if (refusedInList("glRotatef"))
        return;
    float s = float(std::sin(angle * M_PI / 180.0)), c = float(std::cos(angle * M_PI / 180.0));
    Matrix r = IDENTITY;
    float *m = r.m;  // m[col * 4 + row]
    if (x == 0 && y == 0 && z != 0) {
        m[0] = c;
        m[5] = c;
        m[4] = z < 0 ? s : -s;
        m[1] = z < 0 ? -s : s;
    } else if (x == 0 && y != 0 && z == 0) {
        m[0] = c;
        m[10] = c;
        m[8] = y < 0 ? -s : s;
        m[2] = y < 0 ? s : -s;
    } else if (x != 0 && y == 0 && z == 0) {
        m[5] = c;
        m[10] = c;
        m[9] = x < 0 ? s : -s;
        m[6] = x < 0 ? -s : s;
    } else {
        float length = std::sqrt(x * x + y * y + z * z);
        if (length <= 1.0e-4f)
            return;  // no axis: no rotation
        x /= length;
        y /= length;
        z /= length;
        float xx = x * x, yy = y * y, zz = z * z, xy = x * y, yz = y * z, zx = z * x;
        float xs = x * s, ys = y * s, zs = z * s, one_c = 1 - c;
        m[0] = one_c * xx + c;
        m[4] = one_c * xy - zs;
        m[8] = one_c * zx + ys;
        m[1] = one_c * xy + zs;
        m[5] = one_c * yy + c;
        m[9] = one_c * yz - xs;
        m[2] = one_c * zx - ys;
        m[6] = one_c * yz + xs;
        m[10] = one_c * zz + c;
    }
    multiplyTop(r);
}

void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    if (refusedInList("glScalef"))
        return;
    float *m = top().m;
    for (int i = 0; i < 4; i++) {
        m[i] *= x;
        m[4 + i] *= y;
        m[8 + i] *= z;
    }
    changed();
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    if (refusedInList("glTranslatef"))
        return;
    float *m = top().m;
    for (int i = 0; i < 4; i++)
        m[12 + i] = m[i] * x + m[4 + i] * y + m[8 + i] * z + m[12 + i];
    changed();
}

static void multiplyDoubles(const double d[16]) {
    Matrix m;
    for (int i = 0; i < 16; i++)
        m.m[i] = float(d[i]);
    multiplyTop(m);
}

static void ortho(float left, float right, float bottom, float top, float zNear, float zFar) {
    Matrix m = IDENTITY;
    m.m[0] = 2 / (right - left);
    m.m[12] = -(right + left) / (right - left);
    m.m[5] = 2 / (top - bottom);
    m.m[13] = -(top + bottom) / (top - bottom);
    m.m[10] = -2 / (zFar - zNear);
    m.m[14] = -(zFar + zNear) / (zFar - zNear);
    multiplyTop(m);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    if (refusedInList("gluPerspective"))
        return;
    double radians = fovy / 2 * M_PI / 180, deltaZ = zFar - zNear, sine = std::sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0)
        return;
    double cotangent = std::cos(radians) / sine;
    double m[16] = {cotangent / aspect, 0, 0, 0, 0, cotangent, 0, 0,
                    0, 0, -(zFar + zNear) / deltaZ, -1, 0, 0, -2 * zNear * zFar / deltaZ, 0};
    multiplyDoubles(m);
}

void normalize3(float v[3]) {
    float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0)
        for (int i = 0; i < 3; i++)
            v[i] /= length;
}

static void cross(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
               GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
    if (refusedInList("gluLookAt"))
        return;
    float forward[3] = {float(centerX - eyeX), float(centerY - eyeY), float(centerZ - eyeZ)};
    float up[3] = {float(upX), float(upY), float(upZ)}, side[3];
    normalize3(forward);
    cross(forward, up, side);
    normalize3(side);
    cross(side, forward, up);
    Matrix m = IDENTITY;
    m.m[0] = side[0];
    m.m[4] = side[1];
    m.m[8] = side[2];
    m.m[1] = up[0];
    m.m[5] = up[1];
    m.m[9] = up[2];
    m.m[2] = -forward[0];
    m.m[6] = -forward[1];
    m.m[10] = -forward[2];
    multiplyTop(m);
    glTranslatef(float(-eyeX), float(-eyeY), float(-eyeZ));
}

void gluOrtho2D(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top) {
    if (refusedInList("gluOrtho2D"))
        return;
    ortho(float(left), float(right), float(bottom), float(top), -1, 1);
}
