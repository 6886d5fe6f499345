// with_sound_server.cpp -- runs a command against a sound server of its own, then stops the server
//
// Usage: with_sound_server pulseaudio|pipewire|pipewire-44100 COMMAND [ARGS...]
// The command alone gets PULSE_SERVER, the server's address, PIPEWIRE_REMOTE (PipeWire's
// socket, or for PulseAudio one where nothing listens) and SOUND_SERVER_KIND, the first
// argument. The server is stopped by its pids when the command ends, also when it fails or
// this program is told to stop. The command also gets SOUND_SERVER_CONTROL, this program's
// pid, to which a test sends SIGUSR1 to freeze the server (SIGSTOP), SIGUSR2 to thaw it, and
// SIGWINCH to end it and start it again on the same address.
// Exits with the command's status (128 + the signal when a signal ended it).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sound_server.h"

static volatile sig_atomic_t child;  // the command's pid, 0 until it runs
static volatile sig_atomic_t asked;  // the control signal received last, 0 when done

// A stop request (ctest's timeout, Ctrl+C) goes to the command; its end stops the server.
static void forward(int signal) {
    if (child > 0)
        kill(child, signal);
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s pulseaudio|pipewire|pipewire-44100 COMMAND [ARGS...]\n", argv[0]);
        return 2;
    }
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = forward;
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &action, nullptr);
    action.sa_handler = [](int signal) { asked = signal; };
    for (int s : {SIGUSR1, SIGUSR2, SIGWINCH})
        sigaction(s, &action, nullptr);

    SoundServer server;
    if (!startSoundServer(server, argv[1]))
        return 1;
    pid_t pid = fork();
    if (pid == 0) {
        setenv("PULSE_SERVER", server.address.c_str(), 1);
        setenv("PIPEWIRE_REMOTE", server.pipewireRemote.c_str(), 1);
        setenv("SOUND_SERVER_KIND", argv[1], 1);
        setenv("SOUND_SERVER_CONTROL", std::to_string(getppid()).c_str(), 1);
        execvp(argv[2], argv + 2);
        fprintf(stderr, "cannot run %s: %s\n", argv[2], strerror(errno));
        _exit(127);
    }
    child = pid;
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        int signal = asked;
        asked = 0;
        if (signal == SIGWINCH && !restartSoundServer(server))
            fprintf(stderr, "the sound server did not come back\n");
        for (pid_t p : server.pids)
            if (signal == SIGUSR1 || signal == SIGUSR2)
                kill(p, signal == SIGUSR1 ? SIGSTOP : SIGCONT);
    }
    stopSoundServer(server);
    if (pid < 0)
        return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
