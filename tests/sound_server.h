// sound_server.h -- a real sound server of a test's own, in a temporary folder, with a null sink as its default sink
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

// One running server. Its clients find it through `address` (the value for PULSE_SERVER):
// a native-protocol socket inside `dir`, so servers of tests that run side by side never
// meet. The server reads no user configuration and never exits while idle; its processes
// end with the process that started them, whatever way that one ends.
struct SoundServer {
    std::string kind;         // "pulseaudio" (its sink at 44100 Hz), or "pipewire" (with wireplumber
                              // and pipewire-pulse; graph and sink at 48000 Hz), or "pipewire-44100"
                              // (graph and sink at 44100 Hz)
    std::string dir;          // temporary folder: runtime and state folders, socket, logs
    std::string address;      // "unix:DIR/..."
    std::string pipewireRemote;  // the value for PIPEWIRE_REMOTE: PipeWire's own socket, or for
                                 // PulseAudio a path where nothing listens, so that a native
                                 // PipeWire client reaches no other server (the desktop's)
    std::vector<pid_t> pids;  // the server's processes, last started last
};

// The sink every server makes and sets as default; its monitor is SINK ".monitor".
extern const char *const SOUND_SERVER_SINK;

// Starts a server of that kind and waits until it answers; false (with a message on
// standard error, the server's log included) when it does not within ten seconds.
bool startSoundServer(SoundServer &server, const std::string &kind);
// Ends the server's processes and starts them again on the same address, as a desktop
// restarting its sound service does; false when it does not come back.
bool restartSoundServer(SoundServer &server);
// Stops the server's processes by their pids, waits for them and removes its folder.
void stopSoundServer(SoundServer &server);
