// assets_tga_fuzz.cpp -- fuzz target for the TGA image reader
#include <cstdio>
#include <cstdlib>

#include "tga.h"

// The reader's dumps and messages go nowhere while fuzzing.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (!freopen("/dev/null", "w", stdout))
        abort();
    return 0;
}

// Reads the input as an image and reads every pixel, as the texture upload does.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Pictures of one to sixteen million pixels are accepted but take milliseconds each
    // to clear, which slows the search a hundredfold; they run the same code as smaller
    // ones, so they are left out. Larger ones are refused before allocating and stay in.
    if (size >= 16) {
        uint64_t pixels = uint64_t(data[12] | data[13] << 8) * uint64_t(data[14] | data[15] << 8);
        if (pixels > (1u << 20) && pixels <= (16u << 20))
            return 0;
    }
    TgaImage image(data, size, "input");
    if (!image.pixels) {
        if (image.width || image.height)
            abort();
        return 0;
    }
    uint32_t sum = 0;
    for (size_t i = 0, n = size_t(image.width) * image.height; i < n; i++)
        sum += image.pixels[i];
    volatile uint32_t keep = sum;
    (void)keep;
    return 0;
}
