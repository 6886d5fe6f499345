// makeimages.cpp -- draws every image the presentation loads and writes them as TGA files
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "pictures.h"
#include "tgaformat.h"
#include "tgawriter.h"

struct ImageEntry {
    const char *path;  // below the output folder, "/" separated
    int size;          // width and height in pixels
    void (*draw)(Canvas &canvas);
    TgaKind kind;
};

// Between them the files cover every kind the reader decodes: truecolour at 16, 24 and
// 32 bits, raw and run-length, 8-bit greyscale, top-down rows, an image ID, and
// run-length packets both kept within rows and running over row ends.
static const ImageEntry images[] = {
    {"particle.tga", 64, drawParticle, {TGA_TRUECOLOR_RLE, 32, false, true, ""}},
    {"textures/picture1.tga", 256, drawPoster1, {TGA_TRUECOLOR, 24, false, false, "poster: tractor at sunrise"}},
    {"textures/picture2.tga", 256, drawPoster2, {TGA_TRUECOLOR_RLE, 24, false, true, ""}},
    {"textures/kaavio1.tga", 256, drawBarChart, {TGA_GRAYSCALE, 8, false, false, ""}},
    {"textures/kaavio2.tga", 256, drawFlowChart, {TGA_TRUECOLOR, 16, true, false, ""}},
    {"textures/portrait1.tga", 256, drawPortrait1, {TGA_TRUECOLOR, 24, false, false, "portrait 1: worker in a flat cap"}},
    {"textures/portrait2.tga", 256, drawPortrait2, {TGA_TRUECOLOR_RLE, 24, false, false, ""}},
    {"textures/portrait3.tga", 256, drawPortrait3, {TGA_TRUECOLOR, 32, false, false, ""}},
    {"textures/portrait4.tga", 256, drawPortrait4, {TGA_TRUECOLOR_RLE, 32, true, false, ""}},
    {"textures/portrait5.tga", 256, drawPortrait5, {TGA_TRUECOLOR, 16, false, false, ""}},
    {"textures/portrait6.tga", 256, drawPortrait6, {TGA_TRUECOLOR_RLE, 16, false, false, ""}},
};

int main(int argc, char **argv) {
    // --intended writes, instead of each TGA file, a PAM of the values the file is meant
    // to hold, for checking the files with other programs.
    bool intended = argc == 3 && strcmp(argv[1], "--intended") == 0;
    if (argc != 2 && !intended) {
        printf("usage: makeimages [--intended] OUTDIR\n");
        return 2;
    }
    std::string folder = argv[argc - 1];
    std::error_code error;
    std::filesystem::create_directories(folder + "/textures", error);
    if (error) {
        printf("cannot create %s/textures: %s\n", folder.c_str(), error.message().c_str());
        return 1;
    }

    for (const ImageEntry &image : images) {
        Canvas canvas(image.size, image.size);
        image.draw(canvas);
        Picture picture = canvas.picture();
        std::string path = folder + "/" + image.path;
        bool ok;
        if (intended) {
            path.replace(path.size() - 4, 4, ".pam");
            ok = writeFile(path, encodePam(storedPixels(picture, image.kind)));
        } else {
            ok = writeFile(path, encodeTga(picture, image.kind));
        }
        if (!ok)
            return 1;
        printf("%s\n", path.c_str());
    }
    return 0;
}
