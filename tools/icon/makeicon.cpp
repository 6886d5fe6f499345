// makeicon.cpp -- draws the program's icon from our own samovar model, through the
// presentation's reader and compiler: PNGs at the desktop's sizes and a scalable SVG.
// Usage (under a display, e.g. xvfb-run): makeicon MODEL.lwo OUTDIR
// writes OUTDIR/48x48/apps/vortazov.png, 128x128, 256x256 and OUTDIR/scalable/apps/vortazov.svg.
#include "lwo2.h"
#include "modelview.h"

#include <GL/glut.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const int renderSize = 768;             // pixels drawn; each icon is this shrunk by a whole factor
const int iconSizes[] = {48, 128, 256};  // the hicolor sizes we ship
const float background[3] = {0.8f, 0.0f, 0.0f};  // the presentation's clear colour
const double cornerShare = 0.18;       // corner radius of the rounded square, of its side
const double marginShare = 0.04;       // free border around the square, of the side

// Sets up the view that fits the model into the square, turned a little to show its depth.
void modelView(const LwoObject &o) {
    const float light[4] = {-0.3f, 0.4f, 1.0f, 0};
    frameModel(modelBox(o), 0.92, 12, -25, light);
}

// How much of the pixel at (x, y) (pixel units of a side-long square) the rounded square covers,
// from 4 x 4 samples, so that its edge is smooth at every size.
double squareCover(int x, int y, int side) {
    double margin = side * marginShare, r = side * cornerShare;
    double lo = margin + r, hi = side - margin - r;
    int inside = 0;
    for (int sy = 0; sy < 4; sy++)
        for (int sx = 0; sx < 4; sx++) {
            double px = x + (sx + 0.5) / 4, py = y + (sy + 0.5) / 4;
            double dx = std::max({lo - px, px - hi, 0.0}), dy = std::max({lo - py, py - hi, 0.0});
            if (px >= margin && px <= side - margin && py >= margin && py <= side - margin &&
                dx * dx + dy * dy <= r * r)
                inside++;
        }
    return inside / 16.0;
}

bool makeFolders(const std::string &path) {
    for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        mkdir(path.substr(0, end).c_str(), 0755);
        if (end == std::string::npos)
            break;
    }
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// Writes the picture in the back buffer, shrunk to `size`, as an RGBA PNG with rounded corners.
bool writePng(const std::vector<unsigned char> &rgb, int size, const std::string &path) {
    int shrink = renderSize / size;
    std::vector<unsigned char> icon(size_t(size) * size * 4);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            unsigned char *out = &icon[(size_t(y) * size + x) * 4];
            for (int c = 0; c < 3; c++)
                out[c] = boxAverage(rgb.data(), renderSize, renderSize, shrink, x, y, c);
            out[3] = (unsigned char)std::lround(255 * squareCover(x, y, size));
        }
    return stbi_write_png(path.c_str(), size, size, 4, icon.data(), size * 4) != 0;
}

// The same picture as vectors: the lit triangles, from GL feedback, back to front.
bool writeSvg(const LwoObject &o, unsigned int list, const std::string &path) {
    std::vector<GLfloat> buffer(size_t(o.polygonCount) * 40 + 1024);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    glCallList(list);
    int n = glRenderMode(GL_RENDER);
    if (n < 0)
        return false;
    struct Triangle {
        float depth;
        float x[3], y[3];
        float rgb[3];
    };
    std::vector<Triangle> triangles;
    const int vertexFloats = 3 + 4;  // window x, y, z, then the lit colour
    for (int i = 0; i < n;) {
        if (buffer[i] != GL_POLYGON_TOKEN) {
            i++;
            continue;
        }
        int count = int(buffer[i + 1]);
        const GLfloat *v = &buffer[i + 2];
        i += 2 + count * vertexFloats;
        if (count != 3)
            continue;
        Triangle t = {};
        for (int k = 0; k < 3; k++) {
            t.x[k] = v[k * vertexFloats];
            t.y[k] = renderSize - v[k * vertexFloats + 1];
            t.depth += v[k * vertexFloats + 2] / 3;
            for (int c = 0; c < 3; c++)
                t.rgb[c] += v[k * vertexFloats + 3 + c] / 3;
        }
        triangles.push_back(t);
    }
    std::sort(triangles.begin(), triangles.end(), [](const Triangle &a, const Triangle &b) { return a.depth > b.depth; });
    FILE *f = fopen(path.c_str(), "w");
    if (!f)
        return false;
    double margin = renderSize * marginShare, r = renderSize * cornerShare;
    fprintf(f, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 %d %d\">\n",
            renderSize, renderSize);
    fprintf(f, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" rx=\"%.1f\" fill=\"#%02x%02x%02x\"/>\n",
            margin, margin, renderSize - 2 * margin, renderSize - 2 * margin, r, int(background[0] * 255),
            int(background[1] * 255), int(background[2] * 255));
    for (const Triangle &t : triangles) {
        int c[3];
        for (int k = 0; k < 3; k++)
            c[k] = std::min(255, int(std::lround(t.rgb[k] * 255)));
        // a hairline of the same colour closes the seams between neighbours
        fprintf(f, "<path d=\"M%.1f %.1fL%.1f %.1fL%.1f %.1fz\" fill=\"#%02x%02x%02x\" stroke=\"#%02x%02x%02x\" stroke-width=\"0.8\"/>\n",
                t.x[0], t.y[0], t.x[1], t.y[1], t.x[2], t.y[2], c[0], c[1], c[2], c[0], c[1], c[2]);
    }
    fprintf(f, "</svg>\n");
    return fclose(f) == 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: makeicon MODEL.lwo OUTDIR\n");
        return 2;
    }
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(renderSize, renderSize);
    glutCreateWindow("icon");
    LwoObject model(argv[1]);
    if (model.polygonCount == 0) {
        fprintf(stderr, "%s: no polygons\n", argv[1]);
        return 1;
    }
    glViewport(0, 0, renderSize, renderSize);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glShadeModel(GL_SMOOTH);
    const GLfloat ambient[] = {0.35f, 0.35f, 0.35f, 1}, specular[] = {0.6f, 0.6f, 0.6f, 1}, shininess[] = {40};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialfv(GL_FRONT, GL_SHININESS, shininess);
    glClearColor(background[0], background[1], background[2], 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    modelView(model);
    glEnable(GL_LIGHTING);
    unsigned int list = model.compileLit(1.0f, 0.85f, 0.2f);
    glCallList(list);
    glFinish();
    std::vector<unsigned char> rgb(size_t(renderSize) * renderSize * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, renderSize, renderSize, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());

    std::string out = argv[2];
    bool ok = true;
    for (int size : iconSizes) {
        std::string folder = out + "/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
        ok = makeFolders(folder) && writePng(rgb, size, folder + "/vortazov.png") && ok;
    }
    ok = makeFolders(out + "/scalable/apps") && writeSvg(model, list, out + "/scalable/apps/vortazov.svg") && ok;
    if (!ok)
        fprintf(stderr, "makeicon: could not write the icons under %s\n", out.c_str());
    return ok ? 0 : 1;
}
