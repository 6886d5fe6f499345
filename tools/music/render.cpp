// render.cpp -- plays a module through libopenmpt into memory, for the end-part stream and the checks
#include "music.h"

#include <libopenmpt/libopenmpt.hpp>

#include <cstdio>
#include <cstdlib>

std::vector<float> renderModule(const std::vector<uint8_t> &file, double maxSeconds) {
    const int rate = 44100;
    std::vector<float> out;
    try {
        openmpt::module module(file.data(), file.size());
        module.set_repeat_count(0);  // to the song's end, never round again
        std::vector<float> chunk(2 * 1024);
        size_t limit = size_t(maxSeconds * rate);
        while (out.size() / 2 < limit) {
            size_t frames = module.read_interleaved_stereo(rate, 1024, chunk.data());
            if (frames == 0)
                break;
            out.insert(out.end(), chunk.begin(), chunk.begin() + 2 * frames);
        }
        if (out.size() / 2 > limit)
            out.resize(2 * limit);
    } catch (const openmpt::exception &e) {
        std::fprintf(stderr, "libopenmpt cannot play the module: %s\n", e.what());
        std::exit(1);
    }
    return out;
}
