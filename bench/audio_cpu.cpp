// audio_cpu.cpp -- CPU time of the engine rendering a whole module against libopenmpt rendering it alone
//
// The engine renders through the pull back-end as fast as it can (its own chunk reads,
// position stamps, mixing); libopenmpt renders the same module offline in 1024-frame reads
// with the same settings. Three rounds each, interleaved; the best of each is compared.
//
// Usage: bench_audio_cpu   (module: data/compruss.xm if present, else a test module)
#include <libopenmpt/libopenmpt.hpp>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <vector>

#include "audio.h"
#include "audio_files.h"
#include "bass.h"

static double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Returns the CPU seconds and the frames rendered.
static double renderOffline(const std::vector<uint8_t> &bytes, int64_t &frames) {
    std::ostringstream log;
    openmpt::module m(bytes, log);
    m.ctl_set_integer("dither", 0);
    std::vector<int16_t> pcm(1024 * 2);
    frames = 0;
    double t = cpuSeconds();
    size_t n;
    while ((n = m.read_interleaved_stereo(44100, 1024, pcm.data())) > 0)
        frames += n;
    return cpuSeconds() - t;
}

static double renderEngine(const std::string &path, int64_t frames) {
    audioSelectBackend(AUDIO_PULL);
    BASS_Init(-1, 44100, 0, nullptr);
    HMUSIC music = BASS_MusicLoad(0, path.c_str(), 0, 0, 0);
    if (!music)
        return -1;
    BASS_Start();
    BASS_MusicPlay(music);
    std::vector<int16_t> pcm(4096 * 2);
    double t = cpuSeconds();
    for (int64_t f = 0; f < frames; f += 4096)
        audioPullTo(f + 4096, pcm.data());
    double spent = cpuSeconds() - t;
    BASS_Free();
    return spent;
}

int main() {
    std::string path = "data/compruss.xm";
    std::vector<uint8_t> bytes = readBytes(path);
    if (bytes.empty()) {
        bytes = makeTestModule(20);
        path = scratchDir() + "/cpu.xm";
        writeBytes(path, bytes);
    }
    double offline = 1e9, engine = 1e9;
    int64_t frames = 0;
    for (int round = 0; round < 3; round++) {
        offline = std::min(offline, renderOffline(bytes, frames));
        double e = renderEngine(path, frames);
        if (e < 0) {
            printf("cannot load %s\n", path.c_str());
            return 1;
        }
        engine = std::min(engine, e);
    }
    printf("module %s: %.1f s of sound\n", path.c_str(), frames / 44100.0);
    printf("libopenmpt offline: %.1f ms CPU (%.0fx real time)\n", 1000 * offline, frames / 44100.0 / offline);
    printf("engine, pull:       %.1f ms CPU (%.0fx real time)\n", 1000 * engine, frames / 44100.0 / engine);
    printf("engine / offline: %.2f\n", engine / offline);
    return 0;
}
