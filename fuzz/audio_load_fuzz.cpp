// audio_load_fuzz.cpp -- fuzz target for the audio engine's loaders: a module and a stream from memory
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "audio.h"
#include "bass.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    audioSelectBackend(AUDIO_PULL);
    BASS_Init(-1, 44100, 0, nullptr);
    return 0;
}

// Output frames rendered per load (0.37 s): enough for several rows and MPEG frames, few
// enough to keep the search fast.
static const int pulledFrames = 16384;

// Loads the input as a module and as a stream, as the player does with its files, and plays
// what loads through the pull back-end: the XM check, libopenmpt's loader and renderer,
// mpg123's parser and decoder and the engine's stamps all see it. The positions must stay
// inside what the engine promises.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    const char *bytes = reinterpret_cast<const char *>(data);
    std::vector<int16_t> pcm(4096 * 2);
    HMUSIC music = BASS_MusicLoad(1, bytes, 0, DWORD(size), BASS_LOOP);
    if (music) {
        BASS_MusicPlay(music);
        for (int done = 0; done < pulledFrames; done += 4096) {
            audioPullTo(audioRenderedFrames() + 4096, pcm.data());
            BASS_ChannelGetPosition(music);
        }
    } else if (audioLoadError()[0] == 0) {
        abort();  // a failure must say why
    }
    HSTREAM stream = BASS_StreamCreateFile(1, bytes, 0, DWORD(size), 0);
    if (stream) {
        DWORD length = BASS_StreamGetLength(stream);
        if (length != size)
            abort();
        BASS_StreamPlay(stream, 1, 0);
        DWORD previous = 0;
        for (int done = 0; done < pulledFrames; done += 4096) {
            audioPullTo(audioRenderedFrames() + 4096, pcm.data());
            DWORD position = BASS_StreamGetFilePosition(stream, 0);
            if (position < previous || position > length)
                abort();  // file positions rise and stay inside the file
            previous = position;
        }
        BASS_StreamFree(stream);
    }
    BASS_Stop();
    BASS_Start();
    return 0;
}
