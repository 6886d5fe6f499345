// check.cpp -- the web back-end driven from a check page: the pulled sequence, pulled samples, and a live run whose positions the page samples
#include "audio.h"
#include "bass.h"
#include "webaudio.h"

#include <emscripten.h>

#include <string>
#include <vector>

std::string pulledSequence(const char *module, const char *stream, int fps);

static const char *MODULE = "data/compruss.xm";
static const char *STREAM = "data/farewell.mp3";
static std::string text;             // the last text answer, kept for the page to read
static std::vector<int16_t> samples; // the last samples pulled
static HMUSIC music;                 // the module of the live run
static HSTREAM end;                  // the stream of the live run, once switched

extern "C" {

EMSCRIPTEN_KEEPALIVE const char *checkSequence() {
    text = pulledSequence(MODULE, STREAM, 60);
    return text.c_str();
}

// The module's samples [from, from + count) as the pull back-end gives them.
EMSCRIPTEN_KEEPALIVE const int16_t *checkSamples(double from, int count) {
    audioSelectBackend(AUDIO_PULL);
    BASS_Init(-1, AUDIO_RATE, 0, nullptr);
    HMUSIC m = BASS_MusicLoad(0, MODULE, 0, 0, BASS_LOOP);
    BASS_MusicPlay(m);
    audioPullTo(int64_t(from), nullptr);
    samples.assign(size_t(count) * 2, 0);
    audioPullTo(int64_t(from) + count, samples.data());
    BASS_Free();
    return samples.data();
}

// Starts the show's music live: from the start on WebAudio's clock (from < 0), or pulled to
// `from` seconds first and gone live there. 0 and the reason when the module cannot be had.
EMSCRIPTEN_KEEPALIVE int checkStart(double from) {
    BASS_Free();
    end = 0;
    audioSelectBackend(from < 0 ? AUDIO_DEVICE : AUDIO_PULL);
    BASS_Init(-1, AUDIO_RATE, 0, nullptr);
    music = BASS_MusicLoad(0, MODULE, 0, 0, BASS_LOOP);
    if (!music)
        return 0;
    BASS_Start();
    BASS_MusicPlay(music);
    if (from >= 0) {
        // every frame before the moment runs unseen, as the capture runs them
        for (int64_t k = 1; k * AUDIO_RATE / 60 <= int64_t(from * AUDIO_RATE); k++) {
            audioPullTo(k * AUDIO_RATE / 60, nullptr);
            DWORD word = BASS_ChannelGetPosition(music);
            if (!end && (((word & 0xFFFF) == 20 && (word >> 16) >= 62) || audioModuleEnds(music) > 0)) {
                BASS_Stop();
                end = BASS_StreamCreateFile(0, STREAM, 0, 0, 0);
                BASS_Start();
                BASS_StreamPlay(end, 1, 0);
            }
        }
        audioGoLive();
    }
    return 1;
}

// Loads `name` as the module on a pulled engine: "" or why it cannot be had.
EMSCRIPTEN_KEEPALIVE const char *checkLoad(const char *name) {
    BASS_Free();
    audioSelectBackend(AUDIO_PULL);
    BASS_Init(-1, AUDIO_RATE, 0, nullptr);
    HMUSIC m = BASS_MusicLoad(0, name, 0, 0, BASS_LOOP);
    text = m ? "" : audioLoadError();
    BASS_Free();
    return text.c_str();
}

EMSCRIPTEN_KEEPALIVE const char *checkError() {
    return audioLoadError();
}

EMSCRIPTEN_KEEPALIVE void checkLookahead(double seconds) {
    audioSetLookahead(seconds);
}

// One frame as the frame driver asks: "heard queried position ends stream-position"; the
// switch to the end part where the driver makes it.
EMSCRIPTEN_KEEPALIVE const char *checkFrame() {
    DWORD word = BASS_ChannelGetPosition(music);
    int ends = audioModuleEnds(music);
    if (!end && (((word & 0xFFFF) == 20 && (word >> 16) >= 62) || ends > 0)) {
        BASS_Stop();
        end = BASS_StreamCreateFile(0, STREAM, 0, 0, 0);
        BASS_Start();
        BASS_StreamPlay(end, 1, 0);
    }
    char line[128];
    snprintf(line, sizeof line, "%lld %lld %u %d %u", (long long)audioHeardFrame(), (long long)audioQueriedFrame(),
             word, ends, end ? BASS_StreamGetFilePosition(end, 0) : 0);
    text = line;
    return text.c_str();
}

EMSCRIPTEN_KEEPALIVE void checkStop() {
    BASS_Stop();
    BASS_Free();
}
}
