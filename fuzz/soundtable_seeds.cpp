// soundtable_seeds.cpp -- writes small position tables, a module's and a stream's, as fuzzing seeds
#include <cmath>
#include <cstdio>
#include <string>

#include "soundtable.h"

static bool writeSeed(const std::string &path, const SoundTable &table) {
    std::vector<uint8_t> bytes = writeSoundTable(table);
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: soundtable_seeds FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    // a decaying tone as the render both tables take their reference from
    std::vector<int16_t> render(2 * 4000);
    for (size_t i = 0; i < render.size() / 2; i++) {
        double v = 12000 * std::exp(-double(i) / 900) * std::sin(double(i) * double(i) / 4000.0);
        render[2 * i] = render[2 * i + 1] = int16_t(v);
    }
    SoundTable module;
    module.kind = SOUND_MODULE;
    module.rate = 44100;
    module.frames = 4000;
    module.changes = {{0, 0}, {65, 1u << 16}, {193, 2u << 16}, {1601, 1}, {3000, 0}};
    module.ends = {2950};
    takeReference(module, render.data(), 4000);
    SoundTable stream;
    stream.kind = SOUND_STREAM;
    stream.rate = 44100;
    stream.frames = 4000;
    stream.fileLength = 2000;
    stream.changes = {{0, 0}, {1, 417}, {1106, 835}, {2258, 1252}, {3410, 1670}, {3999, 2000}};
    takeReference(stream, render.data(), 4000);
    int written = writeSeed(folder + "/module.pos", module) + writeSeed(folder + "/stream.pos", stream);
    fprintf(stderr, "%d seeds written\n", written);
    return written == 2 ? 0 : 1;
}
