// native_live.cpp -- the desktop engine playing the module on the sound server, its heard frame logged against the wall clock: the reference run.sh measures the recording against
//
//   webaudio_native_live SECONDS MODULE   (prints "wall-ms heard-frame position-word" lines)
#include "audio.h"
#include "bass.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

static double wallMs() {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: webaudio_native_live SECONDS MODULE\n");
        return 2;
    }
    if (!BASS_Init(-1, AUDIO_RATE, 0, nullptr)) {
        fprintf(stderr, "no sound device\n");
        return 1;
    }
    HMUSIC music = BASS_MusicLoad(0, argv[2], 0, 0, BASS_LOOP);
    if (!music) {
        fprintf(stderr, "%s: %s\n", argv[2], audioLoadError());
        return 1;
    }
    BASS_Start();
    BASS_MusicPlay(music);
    double end = wallMs() + atof(argv[1]) * 1000;
    while (wallMs() < end) {
        double wall = wallMs();
        int64_t heard = audioHeardFrame();
        printf("%.3f %lld %u\n", wall, (long long)heard, BASS_ChannelGetPosition(music));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    BASS_Stop();
    BASS_Free();
    return 0;
}
