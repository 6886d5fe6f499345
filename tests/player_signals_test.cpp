// player_signals_test.cpp -- Ctrl+C, kill and a hang-up end the real program the way Escape does
//
// Runs the real vortazov under the Xvfb that ctest starts, in a scratch working directory whose
// module reaches the end of the timeline in under a second (twenty one-row orders, then one of
// 64 rows, at 9.8 ms a row), so the end part begins at once; the stream, models and images are
// the project's. SPACE is pressed three times in the end part, then the signal is sent.
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
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(workDir.c_str()) != 0 || !freopen(out.c_str(), "w", stdout))
            _exit(127);
        execl(PLAYER_PROGRAM, PLAYER_PROGRAM, (char *)nullptr);
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 300 && readText(out).find("Entering mainloop") == std::string::npos; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // the timeline ends 0.8 s after the start; then three presses in the end part
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(0, system("xdotool mousemove 320 240 key space sleep 0.2 key space sleep 0.2 key space"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    ASSERT_EQ(0, kill(pid, sig));
    auto sent = std::chrono::steady_clock::now();
    int status = 0;
    bool ended = waitFor(pid, 5, &status);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
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
    bool ended = waitFor(pid, 5, &status);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    chmod(workDir.c_str(), 0755);
    ASSERT_TRUE(ended) << "Escape did not end the program";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    std::string table = state + "/vortazov/endpart.snc";
    EXPECT_EQ(2u, tablePositions(readText(table)).size()) << readText(err);
    EXPECT_NE(std::string::npos, readText(err).find("the sync table is in " + table)) << readText(err);
    EXPECT_NE(0, access((workDir + "/endpart.snc").c_str(), F_OK));
}

INSTANTIATE_TEST_SUITE_P(Quit, Signals, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int> &info) { return std::string(sigabbrev_np(info.param)); });
