// quit.cpp -- Ctrl+C, kill and a hang-up end the program: by the frame loop, or by a watchdog when the main thread is stuck
//
// The handler only notes the signal; the next frame runs the shutdown on the main thread, as
// Escape does. A main thread that never gets to its next frame (a read that waits for ever, an X
// server that stopped answering) would leave the signal unanswered, so a watchdog thread, woken
// by the handler, takes over after a grace period: it writes the sync points recorded so far
// and ends the process with the signal, within two seconds of it.
#include "player.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <semaphore.h>
#include <thread>
#include <unistd.h>

static sem_t quitWake;  // posted by the handler: a quit signal came
// The main thread's time to begin its own shutdown, and the moment the process ends whatever
// it is doing; seconds from the signal. The main thread begins within a frame; its shutdown
// may then wait on a frozen sound server, never for more than a second.
static const double GRACE_SECONDS = 1.0;
static const double DEADLINE_SECONDS = 1.8;
static std::atomic<bool> rescued;  // the watchdog's helper has written what it could

static void quitRequested(int sig) {
    quitSignal = sig;
    sem_post(&quitWake);  // safe in a handler, unlike a mutex or a condition variable
}

// Writes what a shutdown would keep. On a thread of its own: it may block behind the stuck main
// thread (both writing to a full pipe on standard output or error), and the watchdog must not.
static void rescue(int sig) {
    writeSyncTable();
    fprintf(stderr, "vortazov: the program did not answer %s within %.0f s; ending it\n", strsignal(sig),
            GRACE_SECONDS);
    reportUnloadedFiles();
    fflush(stdout);
    rescued = true;
}

static void watch() {
    while (sem_wait(&quitWake) != 0) {
    }
    auto signalled = std::chrono::steady_clock::now();
    int sig = quitSignal;
    std::this_thread::sleep_for(std::chrono::duration<double>(GRACE_SECONDS));
    // the main thread is still at its frame (or stuck before it) unless it has begun to shut down
    if (claimShutdown(SHUTDOWN_BY_WATCHDOG))
        std::thread(rescue, sig).detach();
    auto deadline = signalled + std::chrono::duration<double>(DEADLINE_SECONDS);
    while (!rescued && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    signal(sig, SIG_DFL);
    kill(getpid(), sig);
    // only while every thread blocks the signal
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    _exit(128 + sig);
}

void catchQuitSignals() {
    sem_init(&quitWake, 0, 0);
    std::thread(watch).detach();
    struct sigaction action = {};
    action.sa_handler = quitRequested;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &action, nullptr);
}
