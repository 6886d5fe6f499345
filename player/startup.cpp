// startup.cpp -- start-up up to the main loop, and the one shutdown sequence every exit runs
#include "player.h"
#include "audio.h"
#include "desktop.h"
#include "effects.h"
#include "loadfailures.h"

#include <GL/freeglut.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

HMUSIC musicHandle;    // the module, 0 when it failed to load
HSTREAM streamHandle;  // the end-part stream, 0 until the switch or when it failed
std::string musicFailure;  // "FILE: WHY" of the music that could not be played, empty while all played
volatile sig_atomic_t quitSignal;  // the signal that asked us to end, 0 until one did
std::atomic<int> shutdownBy{SHUTDOWN_BY_NONE};  // who runs the shutdown, once one has begun it

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
    fflush(stdout);
    reportLoadFailure(path, audioLoadError());
    musicFailure = printableText(std::string(path) + ": " + audioLoadError());
}

int endStatus() {
    return loadFailures().empty() && !syncTableLost ? 0 : 1;
}

void reportUnloadedFiles() {
    std::vector<std::string> failed = loadFailures();
    if (failed.empty())
        return;
    std::string list;
    for (const std::string &file : failed)
        list += (list.empty() ? "" : ", ") + file;
    fprintf(stderr, "vortazov: could not load %s\n", printablePath(list).c_str());
    fflush(stderr);
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

bool claimShutdown(ShutdownBy by) {
    int none = SHUTDOWN_BY_NONE;
    return shutdownBy.compare_exchange_strong(none, by);
}

void awaitWatchdog() {
    while (shutdownBy == SHUTDOWN_BY_WATCHDOG)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

bool stopShow() {
    if (!claimShutdown(SHUTDOWN_BY_MAIN)) {
        awaitWatchdog();
        return false;
    }
    writeSyncTable();
    fflush(stdout);
    // before the sound stops, which may wait on a frozen server until the watchdog's deadline
    reportUnloadedFiles();
    BASS_Stop();
    BASS_Free();
    BASS_StreamFree(streamHandle);
    return true;
}

void shutdownDemo() {
    // the window-close path may reach here twice
    if (!stopShow())
        return;
    deinitEffects();
    releaseModels();
    releaseTextures();
}
