// startup.cpp -- start-up up to the main loop, and the one shutdown sequence every exit runs
#include "player.h"
#include "audio.h"
#include "desktop.h"
#include "effects.h"

#include <GL/freeglut.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

HMUSIC musicHandle;    // the module, 0 when it failed to load
HSTREAM streamHandle;  // the end-part stream, 0 until the switch or when it failed
volatile sig_atomic_t quitSignal;  // the signal that asked us to end, 0 until one did

static void quitRequested(int sig) {
    quitSignal = sig;
}

// Ctrl+C, kill and a closed terminal end the program the way Escape does, so the recorded
// sync points are written; the work is left to the frame loop, where it is safe.
void catchQuitSignals() {
    struct sigaction action = {};
    action.sa_handler = quitRequested;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &action, nullptr);
}

void endBySignal(int sig) {
    fflush(stdout);
    signal(sig, SIG_DFL);
    raise(sig);
    endProgram(128 + sig);  // only reached while the signal is blocked
}

void initSound() {
    printf("initializing BASS\n");
    if (!BASS_Init(-1, 44100, 0, 0)) {
        printf("Could not initialize default sound device!\n");
        fflush(stdout);
    }
    std::string module = dataPath("data/compruss.xm");
    musicHandle = BASS_MusicLoad(0, module.c_str(), 0, 0, BASS_LOOP);
    if (!musicHandle)
        reportMusicMissing(module.c_str());
    BASS_Start();
}

void reportMusicMissing(const char *path) {
    printf("Aw shit, couldn't load the muzak either!\n");
    printf("%s: %s\n", path, audioLoadError());
    fflush(stdout);
}

// Everything up to the main loop; the caller enters it.
void startDemo(int *argc, char **argv) {
    // without any data there is nothing to show: say so at once rather than open an empty window
    if (!requireDataFolder())
        exit(1);
    noteSyncTables();
    initSound();
    openWindow(argc, argv);
    initEffects();
    printf("Initializing GLUT ...\n");
    sceneIndex = -1;
    glutIgnoreKeyRepeat(1);
    glutKeyboardFunc(keyPressed);
    glutSpecialFunc(specialKeyPressed);
    glutDisplayFunc(pacedFrame);
    glutIdleFunc(pacedFrame);
    glutReshapeFunc(reshapeView);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    printf("Playing muzak...\n");
    BASS_MusicPlay(musicHandle);
    printf("Entering mainloop...\n");
    fflush(stdout);
}

void shutdownDemo() {
    static bool done;  // the window-close path may reach here twice
    if (done)
        return;
    done = true;
    writeSyncTable();
    BASS_Stop();
    BASS_Free();
    BASS_StreamFree(streamHandle);
    deinitEffects();
    releaseModels();
    releaseTextures();
    fflush(stdout);
}
