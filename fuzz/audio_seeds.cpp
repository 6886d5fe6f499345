// audio_seeds.cpp -- writes the audio tests' module and streams out as fuzzing seeds
#include <cstdio>
#include <string>

#include "audio_files.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: audio_seeds FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    int written = 0;
    written += writeBytes(folder + "/test.xm", makeTestModule(1));
    for (double seconds : {0.2, 1.0}) {
        std::string mp3 = makeTestMp3("seed", seconds);
        if (mp3.empty()) {
            fprintf(stderr, "lame failed\n");
            return 1;
        }
        written += writeBytes(folder + "/sweep" + std::to_string(int(seconds * 1000)) + "ms.mp3", readBytes(mp3));
    }
    fprintf(stderr, "%d seeds written\n", written);
    return written == 3 ? 0 : 1;
}
