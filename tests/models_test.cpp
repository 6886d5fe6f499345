// models_test.cpp -- the shipped LWO2 objects: regeneration, counts seen by assimp and by our
// reader, the texture-block dump, closed outward-facing solids, and sizes for their scenes
#include "lwo2.h"
#include "models.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Every model as the recipes build it: what the writer was asked to write.
const std::vector<Model> &intended() {
    static const std::vector<Model> models = [] {
        GlyphSource font(letterFontPath);
        return buildAllModels(font);
    }();
    return models;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a shell command and returns what it printed on standard output.
std::string run(const std::string &command) {
    std::string out;
    FILE *p = popen(command.c_str(), "r");
    if (!p) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
    return out;
}

std::string tempDir() {
    char pattern[] = "/tmp/models_test.XXXXXX";
    const char *dir = mkdtemp(pattern);
    return dir ? dir : "";
}

// The number after "Key:" in assimp's report, or -1.
long field(const std::string &report, const std::string &key) {
    size_t at = report.find("\n" + key + ":");
    if (at == std::string::npos) return -1;
    return std::strtol(report.c_str() + at + key.size() + 2, nullptr, 10);
}

int countLines(const std::string &text, const std::string &prefix) {
    int n = 0;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, prefix.size(), prefix) == 0) n++;
    return n;
}

bool hasImage(const Model &m) {
    for (const LwoSurfaceDesc &s : m.surfaces)
        if (!s.image.empty()) return true;
    return false;
}

std::string shipped(const Model &m) { return "data/" + m.path; }

TEST(Models, RegeneratingGivesTheCommittedFilesByteForByte) {
    std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    ASSERT_EQ(std::system((std::string(MAKEMODELS_PATH) + " " + dir + " > /dev/null").c_str()), 0);
    ASSERT_EQ(intended().size(), 37u);
    std::set<std::string> written;
    for (const Model &m : intended()) {
        std::string fresh = readFile(dir + "/" + m.path);
        ASSERT_FALSE(fresh.empty()) << m.path;
        EXPECT_EQ(fresh, readFile(shipped(m))) << m.path << " differs from its committed copy";
        written.insert(m.path);
    }
    // Nothing else lies in data/3d that the tool does not make.
    std::string listing = run("cd data && find 3d -name '*.lwo' | sort");
    std::istringstream in(listing);
    std::string line;
    int files = 0;
    while (std::getline(in, line)) {
        EXPECT_TRUE(written.count(line)) << line << " is not made by makemodels";
        files++;
    }
    EXPECT_EQ(files, 37);
    // Encoding twice in one run gives the same bytes too.
    EXPECT_EQ(encodeLwo(toLwo(intended()[0])), encodeLwo(toLwo(intended()[0])));
    std::system(("rm -rf " + dir).c_str());
}

TEST(Models, AssimpSeesTheIntendedPointsAndTriangles) {
    std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    for (const Model &m : intended()) {
        size_t points = m.mesh.points.size(), triangles = m.mesh.triangles.size();
        // Raw import: one face per stored polygon, three vertices each.
        std::string raw = run("assimp info " + shipped(m) + " -r 2>&1");
        EXPECT_EQ(field(raw, "Faces"), long(triangles)) << m.path << "\n" << raw;
        EXPECT_EQ(field(raw, "Vertices"), long(3 * triangles)) << m.path;
        EXPECT_NE(raw.find("Primitive Types:    triangles"), std::string::npos) << m.path;
        // Default import (triangulating, validating) also succeeds with the same faces.
        std::string full = run("assimp info " + shipped(m) + " 2>&1");
        EXPECT_EQ(field(full, "Faces"), long(triangles)) << m.path << "\n" << full;
        // The OBJ exporter writes each distinct position once: that is our point count,
        // since no two points of a model share a place.
        std::string obj = dir + "/model.obj";
        run("assimp export " + shipped(m) + " " + obj + " 2>&1");
        std::string text = readFile(obj);
        EXPECT_EQ(countLines(text, "v "), int(points)) << m.path;
        EXPECT_EQ(countLines(text, "f "), int(triangles)) << m.path;
        std::remove(obj.c_str());
    }
    std::system(("rm -rf " + dir).c_str());
}

TEST(Models, OurReaderSeesTheSameGeometryWithoutMismatchLines) {
    for (const Model &m : intended()) {
        testing::internal::CaptureStdout();
        LwoObject o(shipped(m).c_str());
        std::fflush(stdout);
        std::string out = testing::internal::GetCapturedStdout();
        ASSERT_EQ(o.pointCount, m.mesh.points.size()) << m.path;
        ASSERT_EQ(o.polygonCount, int(m.mesh.triangles.size())) << m.path;
        EXPECT_EQ(out.find("???"), std::string::npos) << m.path << "\n" << out;
        for (unsigned i = 0; i < o.pointCount; i++) {
            EXPECT_EQ(o.points[i].x, float(m.mesh.points[i].x)) << m.path;
            EXPECT_EQ(o.points[i].y, float(m.mesh.points[i].y)) << m.path;
            EXPECT_EQ(o.points[i].z, float(m.mesh.points[i].z)) << m.path;
        }
        int i = 0;
        for (LwoPolygon *p = o.polygons; p; p = p->next, i++) {
            ASSERT_EQ(p->vertexCount, 3) << m.path;
            for (int k = 0; k < 3; k++) EXPECT_EQ(p->vertices[k], m.mesh.triangles[i][k]) << m.path;
        }
        // The texture-block dump: one IMAP block header per image-mapped surface, with the
        // full texture map and the UV map's name.
        if (hasImage(m)) {
            EXPECT_EQ(countLines(out, "\t\t[IMAP] (50) "), 1) << m.path << "\n" << out;
            EXPECT_NE(out.find("\t\t\t[CHAN] (4) <COLR>\n"), std::string::npos) << m.path;
            EXPECT_NE(out.find("\t\t\t[OPAC] (8) <0> <1.000000> <0>\n"), std::string::npos);
            EXPECT_NE(out.find("\t\t\t[FALL] (16) <0> <0.000000,0.000000,0.000000> <0>\n"),
                      std::string::npos);
            EXPECT_NE(out.find("\t\t[PROJ] (2) <5>\n"), std::string::npos) << m.path;
            EXPECT_NE(out.find("\t\t[IMAG] (2) <1>\n"), std::string::npos) << m.path;
            EXPECT_NE(out.find("\t\t[WRAP] (4) <1, 1>\n"), std::string::npos) << m.path;
            EXPECT_NE(out.find("\t\t[VMAP] (6) <UVMap>\n"), std::string::npos) << m.path;
        } else {
            EXPECT_EQ(out, "") << m.path;
        }
    }
}

TEST(Models, AtLeastThreeObjectsCarryAnImageNamedFromOurData) {
    int textured = 0;
    for (const Model &m : intended())
        for (const LwoSurfaceDesc &s : m.surfaces)
            if (!s.image.empty()) {
                textured++;
                EXPECT_EQ(s.image.compare(0, 14, "data/textures/"), 0) << s.image;
                std::string bytes = readFile(shipped(m));
                EXPECT_NE(bytes.find("CLIP"), std::string::npos) << m.path;
                EXPECT_NE(bytes.find(s.image), std::string::npos) << m.path;
            }
    EXPECT_GE(textured, 3);
}

double triangleArea(const Mesh &m, const std::array<int, 3> &t) {
    return length(cross(m.points[t[1]] - m.points[t[0]], m.points[t[2]] - m.points[t[0]])) / 2;
}

// Solids are closed (every edge is met once in each direction) and each connected piece
// encloses a positive volume with (p1 - p0) x (p2 - p0); flat sheets face +z.
TEST(Models, SolidsAreClosedAndFaceOutwards) {
    for (const Model &m : intended()) {
        const Mesh &mesh = m.mesh;
        for (const std::array<int, 3> &t : mesh.triangles)
            EXPECT_GT(triangleArea(mesh, t), 1e-9) << m.path << ": a triangle without area";
        if (!m.solid) {
            for (const std::array<int, 3> &t : mesh.triangles) {
                V3 n = cross(mesh.points[t[1]] - mesh.points[t[0]], mesh.points[t[2]] - mesh.points[t[0]]);
                EXPECT_GT(n.z, 0) << m.path;
            }
            continue;
        }
        std::map<std::pair<int, int>, int> edges;
        for (const std::array<int, 3> &t : mesh.triangles)
            for (int k = 0; k < 3; k++) edges[{t[k], t[(k + 1) % 3]}]++;
        int open = 0;
        for (const auto &e : edges)
            if (edges.count({e.first.second, e.first.first}) == 0 ||
                edges.at({e.first.second, e.first.first}) != e.second)
                open++;
        EXPECT_EQ(open, 0) << m.path << ": edges without a matching opposite edge";
        // Connected pieces by shared points, then the signed volume of each.
        std::vector<int> parent(mesh.points.size());
        for (size_t i = 0; i < parent.size(); i++) parent[i] = int(i);
        auto root = [&](int i) {
            while (parent[i] != i) i = parent[i] = parent[parent[i]];
            return i;
        };
        for (const std::array<int, 3> &t : mesh.triangles) {
            parent[root(t[1])] = root(t[0]);
            parent[root(t[2])] = root(t[0]);
        }
        std::map<int, double> volume;
        for (const std::array<int, 3> &t : mesh.triangles)
            volume[root(t[0])] += dot(mesh.points[t[0]], cross(mesh.points[t[1]], mesh.points[t[2]])) / 6;
        for (const auto &piece : volume) EXPECT_GT(piece.second, 0) << m.path;
    }
}

struct Box {
    V3 lo, hi;
    double width() const { return hi.x - lo.x; }
    double height() const { return hi.y - lo.y; }
    double depth() const { return hi.z - lo.z; }
};

Box boxOf(const std::string &path) {
    for (const Model &m : intended())
        if (m.path == path) {
            Box b;
            bounds(m.mesh, b.lo, b.hi);
            return b;
        }
    ADD_FAILURE() << path << " not built";
    return Box();
}

const Model &model(const std::string &path) {
    for (const Model &m : intended())
        if (m.path == path) return m;
    static Model none;
    ADD_FAILURE() << path << " not built";
    return none;
}

TEST(Models, LettersFitTheCaptionPen) {
    for (char c = 'a'; c <= 'z'; c++) {
        std::string path = std::string("3d/writer/") + c + ".lwo";
        Box b = boxOf(path);
        EXPECT_LE(b.width(), 0.45) << path;  // the pen moves 0.45 per letter
        EXPECT_NEAR(b.lo.x + b.hi.x, 0, 1e-6) << path;
        EXPECT_NEAR(b.depth(), 0.1, 1e-6) << path;
        EXPECT_LE(model(path).mesh.triangles.size(), 400u) << path;
        // The x-height box runs from -0.2 to 0.2: every letter covers it, ascenders and
        // descenders reach about 0.15 beyond.
        EXPECT_LE(b.lo.y, -0.19) << path;
        EXPECT_GE(b.hi.y, 0.19) << path;
        EXPECT_GE(b.lo.y, -0.37) << path;
        EXPECT_LE(b.hi.y, 0.37) << path;
    }
    EXPECT_NEAR(boxOf("3d/writer/x.lwo").height(), 0.4, 1e-6);
    EXPECT_GT(boxOf("3d/writer/l.lwo").hi.y, 0.3);   // ascender
    EXPECT_LT(boxOf("3d/writer/p.lwo").lo.y, -0.3);  // descender
}

TEST(Models, NamedObjectsAreSizedForTheirScenes) {
    EXPECT_NEAR(boxOf("3d/samovar.lwo").height(), 1.0, 0.02);
    EXPECT_NEAR(boxOf("3d/balalaika.lwo").height(), 1.0, 0.02);
    Box emblem = boxOf("3d/sirppijavasara.lwo");
    EXPECT_NEAR(std::max(emblem.width(), emblem.height()), 1.0, 0.02);
    Box missile = boxOf("3d/missile.lwo");
    EXPECT_NEAR(missile.height(), 0.6, 0.01);
    EXPECT_GT(missile.height(), 2 * std::max(missile.width(), missile.depth()));
    // The nose is the single highest point, on the axis.
    for (const V3 &p : model("3d/missile.lwo").mesh.points)
        if (p.y == missile.hi.y) {
            EXPECT_NEAR(p.x, 0, 1e-9);
            EXPECT_NEAR(p.z, 0, 1e-9);
        }
    for (const char *pose : {"left", "right", "still"}) {
        Box d = boxOf(std::string("3d/ripaska_") + pose + ".lwo");
        EXPECT_NEAR(d.lo.y, 0, 0.01) << pose;
        EXPECT_GT(d.height(), 0.35) << pose;
        EXPECT_LT(d.height(), 0.55) << pose;
    }
    // Kicking left means reaching out to +x (the dancer faces +z), right to -x.
    EXPECT_GT(boxOf("3d/ripaska_left.lwo").hi.x, 0.2);
    EXPECT_LT(boxOf("3d/ripaska_right.lwo").lo.x, -0.2);
    EXPECT_NEAR(boxOf("3d/rave.lwo").width(), 1.0, 0.01);
    Box spiral = boxOf("3d/spiral.lwo");
    EXPECT_NEAR(spiral.width(), 3.0, 0.15);
    EXPECT_EQ(spiral.depth(), 0);
    Box flash = boxOf("3d/fuckguidelines.lwo");
    EXPECT_NEAR(std::max(flash.width(), flash.height()), 0.42, 0.01);
    // The west arrow's tip is its leftmost point, on its axis.
    for (const V3 &p : model("3d/gowest.lwo").mesh.points)
        if (p.x == boxOf("3d/gowest.lwo").lo.x) {
            EXPECT_NEAR(p.y, 0, 1e-9);
        }
    for (const Model &m : intended()) EXPECT_LE(m.mesh.triangles.size(), 3000u) << m.path;
}

// The writer's own edge cases: long indices, a rejected mesh, even chunk lengths.
TEST(LwoWriter, IndicesAbove0xFF00TakeFourBytesAndReadBack) {
    Model big;
    big.path = "big.lwo";
    big.surfaces.push_back(LwoSurfaceDesc());
    big.surfaces[0].name = "Default";
    for (int i = 0; i < 0x10100; i++) big.mesh.addPoint(V3(i * 0.001, (i % 7) * 0.01, 0));
    big.mesh.addTriangle(0, 1, 0x100FF);
    big.mesh.addTriangle(0xFF00, 0xFEFF, 5);
    std::string dir = tempDir();
    std::string path = dir + "/big.lwo";
    ASSERT_TRUE(writeLwo(path, toLwo(big)));
    testing::internal::CaptureStdout();
    LwoObject o(path.c_str());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "");
    ASSERT_EQ(o.pointCount, 0x10100u);
    ASSERT_EQ(o.polygonCount, 2);
    EXPECT_EQ(o.polygons->vertices[2], 0x100FF);
    EXPECT_EQ(o.polygons->next->vertices[0], 0xFF00);
    EXPECT_EQ(o.polygons->next->vertices[1], 0xFEFF);
    std::string raw = run("assimp info " + path + " -r 2>&1");
    EXPECT_EQ(field(raw, "Faces"), 2);
    std::system(("rm -rf " + dir).c_str());
}

TEST(LwoWriter, RejectsMeshesItCannotWriteFaithfully) {
    LwoMeshDesc mesh;
    mesh.points = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    mesh.triangles.push_back({0, 1, 2, 0});
    EXPECT_TRUE(encodeLwo(mesh).empty());  // no surface to tag the triangle with
    mesh.surfaces.push_back(LwoSurfaceDesc());
    EXPECT_FALSE(encodeLwo(mesh).empty());
    mesh.triangles.push_back({0, 1, 3, 0});
    EXPECT_TRUE(encodeLwo(mesh).empty());  // point 3 does not exist
    mesh.triangles.pop_back();
    mesh.surfaces[0].image = "data/textures/portrait1.tga";
    EXPECT_TRUE(encodeLwo(mesh).empty());  // an image needs a UV per point
}

TEST(LwoWriter, EveryChunkHasAnEvenLengthAndTheFormAddsUp) {
    for (const Model &m : intended()) {
        std::string bytes = readFile(shipped(m));
        ASSERT_GE(bytes.size(), 12u);
        auto u4 = [&](size_t at) {
            return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
                   uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
        };
        EXPECT_EQ(bytes.substr(0, 4), "FORM");
        EXPECT_EQ(u4(4) + 8, bytes.size()) << m.path;
        EXPECT_EQ(bytes.substr(8, 4), "LWO2");
        std::vector<std::string> order;
        size_t at = 12;
        while (at + 8 <= bytes.size()) {
            uint32_t len = u4(at + 4);
            EXPECT_EQ(len % 2, 0u) << m.path << " " << bytes.substr(at, 4);
            order.push_back(bytes.substr(at, 4));
            at += 8 + len;
        }
        EXPECT_EQ(at, bytes.size()) << m.path;
        std::vector<std::string> expected = {"TAGS", "LAYR", "PNTS", "BBOX"};
        if (hasImage(m)) expected.push_back("VMAP");
        for (const char *id : {"POLS", "PTAG"}) expected.push_back(id);
        if (hasImage(m)) expected.push_back("CLIP");
        for (size_t i = 0; i < m.surfaces.size(); i++) expected.push_back("SURF");
        EXPECT_EQ(order, expected) << m.path;
    }
}

}  // namespace
