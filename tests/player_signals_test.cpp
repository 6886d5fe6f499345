// player_signals_test.cpp -- Ctrl+C, kill and a hang-up end the real program the way Escape does, stuck or not
//
// Runs the real vortazov under the Xvfb that ctest starts, in a scratch working directory whose
// module reaches the end of the timeline in under a second (twenty one-row orders, then one of
// 64 rows, at 9.8 ms a row), so the end part begins at once; the stream, models and images are
// the project's. SPACE is pressed three times in the end part, then the signal is sent. The same
// on an X server of the test's own that is then stopped, and with a stream that cannot be read.
#include "xmwriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

static std::string workDir;  // the program's working directory

static std::string readText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The positions of a sync table's records, in order.
static std::vector<long> tablePositions(const std::string &text) {
    std::regex record("\t\\{0\\.0f, 0\\.0f, ([0-9]+),\t\t\"\"\\}");
    std::vector<long> positions;
    for (std::sregex_iterator m(text.begin(), text.end(), record), end; m != end; ++m)
        positions.push_back(std::stol((*m)[1]));
    return positions;
}

static XmModule quickTimeline() {
    XmModule m;
    m.name = "quick timeline";
    m.channels = 2;
    m.speed = 1;
    m.bpm = 255;
    XmPattern one;
    one.rows = 1;
    one.cells.resize(2);
    XmPattern last;
    last.rows = 64;
    last.cells.resize(64 * 2);
    m.patterns = {one, last};
    m.orders.assign(20, 0);
    m.orders.push_back(1);
    return m;
}

// Starts the program in `dir`, its standard output and error into `out` and `err` there, on the
// X display `display` (null: the one ctest started), with no sound server to reach (neither
// PulseAudio nor PipeWire: a desktop's own server must not be met).
static pid_t startPlayer(const std::string &dir, const char *display = nullptr) {
    pid_t pid = fork();
    if (pid == 0) {
        if (display)
            setenv("DISPLAY", display, 1);
        setenv("PULSE_SERVER", ("unix:" + dir + "/no-server").c_str(), 1);
        setenv("PIPEWIRE_REMOTE", (dir + "/no-server").c_str(), 1);
        if (chdir(dir.c_str()) != 0 || !freopen("out", "w", stdout) || !freopen("err", "w", stderr))
            _exit(127);
        execl(PLAYER_PROGRAM, PLAYER_PROGRAM, (char *)nullptr);
        _exit(127);
    }
    return pid;
}

// Waits until the program in `dir` has entered its main loop and the quick timeline has
// handed over to the end part.
static void waitForEndPart(const std::string &dir) {
    for (int i = 0; i < 300 && readText(dir + "/out").find("Entering mainloop") == std::string::npos; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
}

// Waits up to `seconds` for the child to end; true with its status when it did.
static bool waitFor(pid_t pid, double seconds, int *status) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(pid, status, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Waits up to `seconds` for the child to end; true with its status when it did. One that did
// not is killed and reaped, so no test leaves a program behind.
static bool endsWithin(pid_t pid, double seconds, int *status) {
    if (waitFor(pid, seconds, status))
        return true;
    kill(pid, SIGKILL);
    waitpid(pid, status, 0);
    return false;
}

class Signals : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() {
        char here[4096];
        ASSERT_TRUE(getcwd(here, sizeof here));
        char dir[] = "/tmp/vortazov-signals-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        workDir = dir;
        ASSERT_EQ(0, mkdir((workDir + "/data").c_str(), 0777));
        std::vector<uint8_t> module = writeXm(quickTimeline());
        FILE *f = fopen((workDir + "/data/compruss.xm").c_str(), "wb");
        ASSERT_TRUE(f);
        fwrite(module.data(), 1, module.size(), f);
        fclose(f);
        for (const char *name : {"farewell.mp3", "3d", "textures", "particle.tga"}) {
            std::string real = std::string(here) + "/data/" + name;
            ASSERT_EQ(0, symlink(real.c_str(), (workDir + "/data/" + name).c_str())) << real;
        }
    }
    static void TearDownTestSuite() {
        std::string remove = "rm -rf '" + workDir + "'";
        EXPECT_EQ(0, system(remove.c_str()));
    }
};

TEST_P(Signals, EndTheProgramLikeEscapeAndKeepTheSyncPoints) {
    int sig = GetParam();
    std::string table = workDir + "/endpart.snc", out = workDir + "/out";
    remove(table.c_str());
    pid_t pid = startPlayer(workDir);
    ASSERT_GT(pid, 0);
    // the timeline ends 0.8 s after the start; then three presses in the end part
    waitForEndPart(workDir);
    EXPECT_EQ(0, system("xdotool mousemove 320 240 key space sleep 0.2 key space sleep 0.2 key space"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    ASSERT_EQ(0, kill(pid, sig));
    auto sent = std::chrono::steady_clock::now();
    int status = 0;
    bool ended = endsWithin(pid, 5, &status);
    ASSERT_TRUE(ended) << strsignal(sig) << " did not end the program";
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    EXPECT_LT(seconds, 1.0) << "the shutdown should come within a frame or so";
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(sig, WTERMSIG(status)) << "ends as the signal would have";

    std::string text = readText(table);
    std::vector<long> positions = tablePositions(text);
    ASSERT_EQ(3u, positions.size()) << "endpart.snc:\n" << text << "\nstandard output:\n" << readText(out);
    EXPECT_EQ(0u, text.find("endScrolltext endscrollText[] = {\n \n"));
    EXPECT_EQ(text.size() - 3, text.rfind("\n};"));
    EXPECT_GT(positions[0], 0);
    EXPECT_LT(positions[0], positions[1]);
    EXPECT_LT(positions[1], positions[2]);
}

// Started from a launcher, the working directory may be read-only and standard output go
// nowhere: the table then lands in $XDG_STATE_HOME/vortazov, and standard error says so.
class Launcher : public Signals {};

TEST_F(Launcher, AReadOnlyFolderAndNoOutputStillKeepTheSyncPoints) {
    std::string state = workDir + "/state", err = workDir + "/err", key = workDir + "/xauthority";
    ASSERT_EQ(0, mkdir(state.c_str(), 0777));
    ASSERT_EQ(0, chmod(state.c_str(), 0777));
    // root writes anywhere, so the program then runs as nobody, with a copy of the display's key
    bool root = geteuid() == 0;
    const char *display = getenv("XAUTHORITY");
    if (root && display) {
        std::string copy = "cp '" + std::string(display) + "' '" + key + "' && chmod 644 '" + key + "'";
        ASSERT_EQ(0, system(copy.c_str()));
    }
    ASSERT_EQ(0, chmod(workDir.c_str(), 0555));
    pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        if (root && display)
            setenv("XAUTHORITY", key.c_str(), 1);
        if (!freopen("/dev/null", "w", stdout) || !freopen(err.c_str(), "w", stderr))
            _exit(127);
        if (root && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(127);
        if (chdir(workDir.c_str()) != 0)
            _exit(127);
        execl(PLAYER_PROGRAM, PLAYER_PROGRAM, (char *)nullptr);
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 300 && system("xdotool search --name '^vortazov$' >/dev/null 2>&1") != 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(0, system("xdotool mousemove 320 240 key space sleep 0.2 key space sleep 0.2 key Escape"));
    int status = 0;
    bool ended = endsWithin(pid, 5, &status);
    chmod(workDir.c_str(), 0755);
    ASSERT_TRUE(ended) << "Escape did not end the program";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    std::string table = state + "/vortazov/endpart.snc";
    EXPECT_EQ(2u, tablePositions(readText(table)).size()) << readText(err);
    EXPECT_NE(std::string::npos, readText(err).find("the sync table is in " + table)) << readText(err);
    EXPECT_NE(0, access((workDir + "/endpart.snc").c_str(), F_OK));
}

// An X server that stops answering (stopped here, as one that another client holds or a debugger
// halts) keeps the main thread waiting on it for ever; a signal still ends the program within
// two seconds, as that signal, with the sync points recorded so far written.
class FrozenDisplay : public Signals {};

TEST_F(FrozenDisplay, ASignalStillEndsTheProgramWithTheTableWritten) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    pid_t xserver = fork();
    if (xserver == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp",
               (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);
    ASSERT_GT(xserver, 0);
    // the number, then a line end in a write of its own: a server whose second write finds the
    // pipe closed dies of it
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    std::string display = ":" + number;
    std::string table = workDir + "/endpart.snc";
    remove(table.c_str());

    pid_t pid = startPlayer(workDir, display.c_str());
    ASSERT_GT(pid, 0);
    waitForEndPart(workDir);
    std::string keys = "DISPLAY=" + display + " xdotool mousemove 320 240 key space sleep 0.2 key space sleep 0.2 key space";
    EXPECT_EQ(0, system(keys.c_str()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(xserver, SIGSTOP);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // the program is waiting on it by now

    ASSERT_EQ(0, kill(pid, SIGTERM));
    auto sent = std::chrono::steady_clock::now();
    int status = 0;
    bool ended = endsWithin(pid, 10, &status);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    kill(xserver, SIGCONT);
    kill(xserver, SIGTERM);
    waitpid(xserver, nullptr, 0);
    ASSERT_TRUE(ended) << "SIGTERM did not end the program";
    printf("ended %.2f s after SIGTERM\n", seconds);
    EXPECT_LT(seconds, 2.0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
    std::string err = readText(workDir + "/err");
    EXPECT_NE(std::string::npos, err.find("did not answer Terminated")) << "the main thread was not stuck: " << err;
    EXPECT_EQ(3u, tablePositions(readText(table)).size()) << err;
}

// A stream that is a named pipe: nothing writes to it, and reading it would wait for ever. The
// switch to the end part refuses it at once and says so, on standard error and in the window,
// and Escape still ends the program, with status 1.
class BrokenStream : public Signals {};

// Fraction of the pixels of the region (WxH+X+Y) of a screenshot within 10% of a colour.
static double shareOf(const std::string &shot, const char *region, const char *colour) {
    std::string command = "convert '" + shot + "' -crop " + region + " -fuzz 10% -fill white -opaque '" + colour +
                          "' -fill black +opaque white -format '%[fx:mean]' info:";
    FILE *p = popen(command.c_str(), "r");
    double share = -1;
    if (p) {
        if (fscanf(p, "%lf", &share) != 1)
            share = -1;
        pclose(p);
    }
    return share;
}

TEST_F(BrokenStream, AFifoIsRefusedAtTheSwitchAndNamedInTheWindow) {
    std::string dir = workDir + "/fifo";
    std::string data = dir + "/data";
    ASSERT_EQ(0, system(("mkdir -p '" + data + "' && cd '" + data + "' && for f in ../../data/*; do "
                         "[ \"$f\" = ../../data/farewell.mp3 ] || ln -s \"$f\" .; done").c_str()));
    ASSERT_EQ(0, mkfifo((data + "/farewell.mp3").c_str(), 0600));
    pid_t pid = startPlayer(dir);
    ASSERT_GT(pid, 0);
    waitForEndPart(dir);
    std::string shot = dir + "/shot.png";
    EXPECT_EQ(0, system(("import -window root '" + shot + "'").c_str()));
    EXPECT_EQ(0, system("xdotool mousemove 320 240 key Escape"));
    int status = 0;
    bool ended = endsWithin(pid, 3, &status);
    ASSERT_TRUE(ended) << "the program hung: " << readText(dir + "/err");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "status " << status;
    std::string err = readText(dir + "/err");
    EXPECT_NE(std::string::npos, err.find("data/farewell.mp3: a named pipe (FIFO), not a regular file\n")) << err;
    EXPECT_NE(std::string::npos, err.find("vortazov: could not load data/farewell.mp3\n")) << err;
    EXPECT_NE(std::string::npos, readText(dir + "/out").find("Aw shit, couldn't load the muzak either!"));
    // the end part shows the dark panel with the message, not the plain clear colour
    EXPECT_GT(shareOf(shot, "560x100+40+190", "rgb(38,0,0)"), 0.5);
}

INSTANTIATE_TEST_SUITE_P(Quit, Signals, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int> &info) { return std::string(sigabbrev_np(info.param)); });
