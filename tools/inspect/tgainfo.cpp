// tgainfo.cpp -- shows what the image reader makes of TGA files, without the presentation
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tga.h"

// Prints the RGBA of display pixel (x, y), counted from the top-left corner as image
// viewers count, from a store whose first row is the picture's bottom row.
static void printPixel(const TgaImage &image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) {
        printf("pixel (%d,%d) outside the image\n", x, y);
        return;
    }
    uint32_t w = image.pixels[(size_t)(image.height - 1 - y) * image.width + x];
    int r, g, b, a;
    if (image.bytesPerPixel >= 4) {
        r = (w >> 8) & 0xFF, g = (w >> 16) & 0xFF, b = w >> 24, a = w & 0xFF;
    } else {
        r = (w >> 16) & 0xFF, g = (w >> 8) & 0xFF, b = w & 0xFF, a = w >> 24;
    }
    printf("pixel (%d,%d) %d %d %d %d\n", x, y, r, g, b, a);
}

int main(int argc, char **argv) {
    int wanted[64][2];
    int pixelCount = 0;
    int first = 1;
    while (first < argc && strcmp(argv[first], "-p") == 0 && first + 1 < argc) {
        if (pixelCount < 64 && sscanf(argv[first + 1], "%d,%d", &wanted[pixelCount][0],
                                      &wanted[pixelCount][1]) == 2)
            pixelCount++;
        first += 2;
    }
    if (first >= argc) {
        printf("usage: tgainfo [-p X,Y]... FILE...\n"
               "  X,Y: a display pixel to print, counted from the top-left corner\n");
        return 2;
    }
    int failures = 0;
    for (int i = first; i < argc; i++) {
        printf("== %s\n", argv[i]);
        fflush(stdout);
        TgaImage image(argv[i]);
        printf("size %d x %d\nbits per pixel %d\nbytes per pixel %d\n", image.width,
               image.height, image.bitsPerPixel, image.bytesPerPixel);
        if (!image.pixels) {
            printf("no pixels\n");
            failures++;
            continue;
        }
        printPixel(image, 0, 0);
        printPixel(image, image.width - 1, 0);
        printPixel(image, 0, image.height - 1);
        printPixel(image, image.width - 1, image.height - 1);
        for (int k = 0; k < pixelCount; k++)
            printPixel(image, wanted[k][0], wanted[k][1]);
    }
    return failures ? 1 : 0;
}
