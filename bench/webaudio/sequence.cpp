// sequence.cpp -- the show's positions on the pulled clock, frame by frame as the frame driver asks for them: the same source built against the desktop engine and the web back-end
#include "audio.h"
#include "bass.h"

#include <cstdio>
#include <string>

// Runs the show's audio as the frame driver and the capture do at `fps` frames a second:
// each frame asks the module's position and ends, switches to the end part at the
// timeline's end (order 20 row 62, or a pass ended), then asks the stream's position until
// it has played out; the sound of the frame's span is pulled after it. One line a frame:
// "frame position ends stream-position". Returns the lines, or the load error.
std::string pulledSequence(const char *module, const char *stream, int fps) {
    audioSelectBackend(AUDIO_PULL);
    BASS_Init(-1, AUDIO_RATE, 0, nullptr);
    HMUSIC music = BASS_MusicLoad(0, module, 0, 0, BASS_LOOP);
    if (!music)
        return std::string("error: ") + module + ": " + audioLoadError();
    BASS_Start();
    BASS_MusicPlay(music);
    HSTREAM end = 0;
    std::string lines;
    for (long k = 0;; k++) {
        DWORD word = BASS_ChannelGetPosition(music);
        int ends = audioModuleEnds(music);
        DWORD position = 0;
        if (!end && (((word & 0xFFFF) == 20 && (word >> 16) >= 62) || ends > 0)) {
            BASS_Stop();
            end = BASS_StreamCreateFile(0, stream, 0, 0, 0);
            if (!end)
                return std::string("error: ") + stream + ": " + audioLoadError();
            BASS_Start();
            BASS_StreamPlay(end, 1, 0);
        } else if (end) {
            position = BASS_StreamGetFilePosition(end, 0);
        }
        char line[96];
        snprintf(line, sizeof line, "%ld %u %d %u\n", k, word, ends, position);
        lines += line;
        if (end && position >= BASS_StreamGetLength(end))
            break;
        audioPullTo((k + 1) * AUDIO_RATE / fps, nullptr);
    }
    BASS_Free();
    return lines;
}

#ifndef __EMSCRIPTEN__
#include <cstdlib>
#include <vector>

int main(int argc, char **argv) {
    if (argc == 5 && std::string(argv[1]) == "--samples") {
        // the module's samples [FROM, FROM + COUNT) as raw 16-bit stereo
        audioSelectBackend(AUDIO_PULL);
        BASS_Init(-1, AUDIO_RATE, 0, nullptr);
        HMUSIC m = BASS_MusicLoad(0, argv[2], 0, 0, BASS_LOOP);
        BASS_MusicPlay(m);
        int64_t from = atoll(argv[3]), count = atoll(argv[4]);
        std::vector<int16_t> pcm(size_t(count) * 2);
        audioPullTo(from, nullptr);
        audioPullTo(from + count, pcm.data());
        fwrite(pcm.data(), 2, pcm.size(), stdout);
        return m == 0;
    }
    if (argc != 3) {
        fprintf(stderr, "usage: sequence MODULE STREAM | sequence --samples MODULE FROM COUNT\n");
        return 2;
    }
    std::string lines = pulledSequence(argv[1], argv[2], 60);
    fputs(lines.c_str(), stdout);
    return lines.compare(0, 6, "error:") == 0;
}
#endif
