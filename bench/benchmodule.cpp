// benchmodule.cpp -- the scene benchmarks' silent timeline module and window
#include "benchmodule.h"
#include "audio.h"
#include "player.h"
#include "xmwriter.h"

#include <GL/freeglut.h>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

bool startBenchPresentation(int *argc, char **argv) {
    // 22 orders of one silent 64-row pattern: the timeline and a little more
    std::vector<uint8_t> bytes = writeXm(silentTimeline(22));
    char path[] = "/tmp/vortazov-bench-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) {
        perror("bench module");
        exit(1);
    }
    close(fd);
    audioSelectBackend(AUDIO_PULL);
    BASS_Init(-1, 44100, 0, 0);
    musicHandle = BASS_MusicLoad(0, path, 0, 0, 0);
    unlink(path);
    if (!musicHandle) {
        printf("could not load the bench module\n");
        return false;
    }
    BASS_Start();
    glutInit(argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH | GLUT_RGBA);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(640, 480);
    glutCreateWindow("vortazov");
    return true;
}
