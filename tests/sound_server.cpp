// sound_server.cpp -- starts and stops a PulseAudio or PipeWire server of a test's own
#include "sound_server.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

const char *const SOUND_SERVER_SINK = "vortazov_null";

// The environment a server process runs in: every folder a server or a client library
// would look in lies inside the server's own folder, so nothing of the user's is read or
// written and two servers never share a socket, a lock or a cookie.
static void useOwnFolders(const std::string &dir) {
    setenv("HOME", dir.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir + "/runtime").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", (dir + "/runtime/pulse").c_str(), 1);
    setenv("PULSE_STATE_PATH", (dir + "/state/pulse").c_str(), 1);
    setenv("PIPEWIRE_RUNTIME_DIR", (dir + "/runtime").c_str(), 1);
    unsetenv("PULSE_SERVER");
    unsetenv("PULSE_COOKIE");
    // a session bus of the server's own (PipeWire's session manager needs one)
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir + "/bus").c_str(), 1);
    unsetenv("DISPLAY");  // no X11 modules, no D-Bus autolaunch
}

// Starts one of the server's programs with its output in DIR/NAME.log.
static pid_t spawn(const std::string &dir, const std::vector<std::string> &argv) {
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    // the server ends with whoever started it, even if that one is killed outright
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        _exit(127);
    useOwnFolders(dir);
    std::string log = dir + "/" + std::filesystem::path(argv[0]).filename().string() + ".log";
    FILE *out = fopen(log.c_str(), "a");
    if (out) {
        dup2(fileno(out), 1);
        dup2(fileno(out), 2);
    }
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    fprintf(stderr, "cannot run %s: %s\n", args[0], strerror(errno));
    _exit(127);
}

// True when a client could connect to the server's socket now.
static bool answers(const std::string &socketPath) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    bool ok = connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

// Runs pactl against the server; true when it succeeded.
static bool pactl(const SoundServer &server, const std::vector<std::string> &args) {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("PULSE_SERVER", server.address.c_str(), 1);
        std::string log = server.dir + "/pactl.log";
        FILE *out = fopen(log.c_str(), "a");
        if (out) {
            dup2(fileno(out), 1);
            dup2(fileno(out), 2);
        }
        std::vector<char *> argv = {const_cast<char *>("pactl")};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execvp("pactl", argv.data());
        _exit(127);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

static bool allAlive(const SoundServer &server) {
    for (pid_t pid : server.pids)
        if (waitpid(pid, nullptr, WNOHANG) != 0)
            return false;
    return true;
}

static void printLogs(const SoundServer &server) {
    for (const auto &entry : std::filesystem::directory_iterator(server.dir))
        if (entry.path().extension() == ".log") {
            std::cerr << "--- " << entry.path().filename().string() << "\n";
            std::ifstream in(entry.path());
            std::cerr << in.rdbuf() << "\n";
        }
}

static bool launch(SoundServer &server);

bool startSoundServer(SoundServer &server, const std::string &kind) {
    char name[] = "/tmp/vortazov-sound-XXXXXX";
    if (!mkdtemp(name)) {
        perror("mkdtemp");
        return false;
    }
    server = SoundServer();
    server.kind = kind;
    server.dir = name;
    for (const char *sub : {"/runtime", "/runtime/pulse", "/config", "/state", "/data"})
        std::filesystem::create_directories(server.dir + sub);
    std::filesystem::permissions(server.dir + "/runtime", std::filesystem::perms::owner_all);
    return launch(server);
}

// Starts the server's processes in its folder and waits until it answers.
static bool launch(SoundServer &server) {
    const std::string &kind = server.kind;
    std::string socketPath;
    std::string sink = std::string("sink_name=") + SOUND_SERVER_SINK;
    if (kind == "pulseaudio") {
        socketPath = server.dir + "/native";
        server.pids.push_back(spawn(server.dir, {
            "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
            "--system=no", "--disallow-exit", "--log-target=stderr", "-n",
            "-L", "module-null-sink " + sink + " rate=44100 channels=2",
            "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socketPath}));
    } else if (kind == "pipewire" || kind == "pipewire-44100") {
        // "pipewire-44100" runs the graph at 44100 Hz rather than the usual 48000, so that
        // nothing resamples on the way and a recording of the sink lines up sample for sample
        if (kind == "pipewire-44100") {
            std::string confDir = server.dir + "/config/pipewire/pipewire.conf.d";
            std::filesystem::create_directories(confDir);
            std::ofstream(confDir + "/rate.conf")
                << "context.properties = { default.clock.rate = 44100 default.clock.allowed-rates = [ 44100 ] }\n";
        }
        // pipewire-pulse listens on runtime/pulse/native; wireplumber, which links the
        // streams to the sink, leaves at once without a session bus
        socketPath = server.dir + "/runtime/pulse/native";
        server.pids.push_back(spawn(server.dir, {"dbus-daemon", "--session", "--nofork",
                                                 "--address=unix:path=" + server.dir + "/bus"}));
        for (int i = 0; i < 100 && !answers(server.dir + "/bus"); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        server.pids.push_back(spawn(server.dir, {"pipewire"}));
        for (int i = 0; i < 100 && !answers(server.dir + "/runtime/pipewire-0"); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        server.pids.push_back(spawn(server.dir, {"wireplumber"}));
        server.pids.push_back(spawn(server.dir, {"pipewire-pulse"}));
    } else {
        fprintf(stderr, "no such sound server: %s\n", kind.c_str());
        return false;
    }
    server.address = "unix:" + socketPath;
    server.pipewireRemote = server.dir + (kind == "pulseaudio" ? "/no-pipewire" : "/runtime/pipewire-0");
    bool up = false;
    for (int i = 0; i < 200 && !up && allAlive(server); i++) {
        up = answers(socketPath);
        if (!up)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // PipeWire has no sink without hardware: make one, as PulseAudio did from its command
    // line; being the only one, it becomes the default. It runs at the graph's rate, as a
    // card's sink does, so a client that opens at the sink's rate is not resampled.
    if (up && kind != "pulseaudio") {
        std::string rate = kind == "pipewire-44100" ? "rate=44100" : "rate=48000";
        up = pactl(server, {"load-module", "module-null-sink", sink, rate, "channels=2"});
    }
    if (up)
        up = pactl(server, {"info"});
    if (!up) {
        fprintf(stderr, "the %s server did not come up\n", kind.c_str());
        printLogs(server);
        stopSoundServer(server);
    }
    return up;
}

// Ends the server's processes by their pids, SIGTERM first, SIGKILL for any that linger.
static void endProcesses(SoundServer &server) {
    for (auto it = server.pids.rbegin(); it != server.pids.rend(); ++it)
        kill(*it, SIGTERM);
    for (pid_t pid : server.pids) {
        int status;
        for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (waitpid(pid, &status, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
    }
    server.pids.clear();
}

bool restartSoundServer(SoundServer &server) {
    endProcesses(server);
    return launch(server);
}

void stopSoundServer(SoundServer &server) {
    endProcesses(server);
    if (!server.dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(server.dir, ignored);
    }
    server.dir.clear();
}
