// makemodels.cpp -- writes every LWO2 object of the presentation: makemodels OUTDIR
#include "models.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::printf("usage: makemodels OUTDIR   (writes OUTDIR/3d/*.lwo and OUTDIR/3d/writer/*.lwo)\n");
        return 2;
    }
    GlyphSource font(letterFontPath);
    if (!font.ok()) return 1;
    std::filesystem::path out(argv[1]);
    std::error_code error;
    std::filesystem::create_directories(out / "3d" / "writer", error);
    if (error) {
        std::printf("%s: cannot create folders: %s\n", argv[1], error.message().c_str());
        return 1;
    }
    int failures = 0;
    for (const Model &m : buildAllModels(font)) {
        std::string path = (out / m.path).string();
        if (!writeLwo(path, toLwo(m))) {
            failures++;
            continue;
        }
        V3 lo, hi;
        bounds(m.mesh, lo, hi);
        std::printf("%-28s %5zu points %5zu triangles  size %.3f x %.3f x %.3f\n", m.path.c_str(),
                    m.mesh.points.size(), m.mesh.triangles.size(), hi.x - lo.x, hi.y - lo.y,
                    hi.z - lo.z);
    }
    return failures ? 1 : 0;
}
