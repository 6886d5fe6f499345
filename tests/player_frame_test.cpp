// player_frame_test.cpp -- the frame driver walked through scripted module and stream positions
//
// The audio engine runs on its pull back-end, so the test decides exactly which sample is
// "heard" before each frame. The module is written by the test: 21 orders of one silent
// 64-row pattern at speed 6 and 125 BPM, so order o row r starts at frame (o * 64 + r) * 5292.
#include "audio.h"
#include "player.h"
#include "xmwriter.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

static const int64_t FRAMES_PER_ROW = 5292;  // 0.12 s at 44100 Hz
static int testClockMs;                       // what the frame driver's clock reads

static int testClock() {
    return testClockMs;
}

static int exitStatus = -1;  // what the program asked to end with, -1 while it runs

static void watchExit(int status) {
    exitStatus = status;
}

static int darkStatusPixels;  // black pixels where the status line goes, in the last frame

// Reads the finished frame where the status line goes: 10 pixels from the top-left corner.
static void countStatusPixels() {
    static unsigned char pixels[300 * 16 * 3];
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(8, 480 - 8 - 16, 300, 16, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    darkStatusPixels = 0;
    for (int i = 0; i < 300 * 16; i++)
        darkStatusPixels += pixels[3 * i] < 40 && pixels[3 * i + 1] < 40 && pixels[3 * i + 2] < 40;
}

static void writeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}


static int64_t rowStart(int order, int row) {
    return (int64_t(order) * 64 + row) * FRAMES_PER_ROW;
}

// Plays until the given position is heard (10 ms past its first sample), then draws a frame.
static void frameAt(int order, int row) {
    audioPullTo(rowStart(order, row) + 441, nullptr);
    displayFrame();
}

class FrameDriver : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // a scratch working directory with the program's data layout
        char dir[] = "/tmp/vortazov-frame-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        workDir = dir;
        ASSERT_EQ(0, chdir(workDir.c_str()));
        ASSERT_EQ(0, system("mkdir -p data"));
        writeFile("data/compruss.xm", writeXm(silentTimeline(22)));
        // two seconds of tone as a 128 kbit/s MP3
        ASSERT_EQ(0, system("sox -n -r 44100 -c 2 -b 16 tone.wav synth 2 sine 440 vol 0.3 2>/dev/null"
                            " && lame --quiet -b 128 --cbr tone.wav data/farewell.mp3"));
        audioSelectBackend(AUDIO_PULL);
        int argc = 1;
        char name[] = "frame_test";
        char *argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH | GLUT_RGBA);
        glutInitWindowSize(640, 480);
        glutCreateWindow("vortazov");
        glClearColor(0.8f, 0, 0, 1);
        reshapeView(640, 480);
        readClock = testClock;
        endProgram = watchExit;
        frameFinished = countStatusPixels;
    }
    static std::string workDir;
};
std::string FrameDriver::workDir;

// Without a module the position query says "no position": no row begins, nothing ends.
TEST_F(FrameDriver, MissingModuleLeavesTheTimelineWaiting) {
    BASS_Init(-1, 44100, 0, 0);
    musicHandle = BASS_MusicLoad(0, "data/missing.xm", 0, 0, BASS_LOOP);
    ASSERT_EQ(0u, musicHandle);
    BASS_Start();
    BASS_MusicPlay(musicHandle);
    EXPECT_EQ(0xFFFFFFFFu, BASS_ChannelGetPosition(musicHandle));
    testClockMs = 5000;
    for (int order : {0, 4, 20}) {
        frameAt(order, 62);
        EXPECT_EQ(-1, sceneIndex);
        EXPECT_FALSE(endPartActive);
    }
    EXPECT_STREQ("FPS:0.00, POS: 65535, ROW:65535", statusText);

    // SPACE outside the end part records nothing; Escape ends the program with status 0
    keyPressed(' ', 0, 0);
    EXPECT_EQ(0, syncCount);
    keyPressed(27, 0, 0);
    EXPECT_EQ(0, exitStatus);
    exitStatus = -1;
    statusText[0] = 0;
    fpsLastTime = 0;
    fpsFrames = 0;
    frameCounter = 0;
}

// The live loop's pacer on the real window (Xvfb offers no vsync, so the ticks alone pace):
// 60 frames a second; a frame 40 ms late is made up by the next ones, but a stalled frame is
// followed by one frame, not a burst to catch up.
static std::vector<std::chrono::steady_clock::time_point> frameStarts;  // each frame's clock read
static int stallFrame = -1;  // the frame (index in frameStarts) that sleeps before its swap
static int stallMs = 100;    // ... for this long

static int stampingClock() {
    frameStarts.push_back(std::chrono::steady_clock::now());
    return testClockMs;
}

static void stallOnce() {
    if (int(frameStarts.size()) - 1 == stallFrame)
        usleep(stallMs * 1000);
}

TEST_F(FrameDriver, PacedFramesComeSixtyASecondAndAStallBringsNoBurst) {
    using std::chrono::duration;
    readClock = stampingClock;
    frameFinished = stallOnce;
    setPacing(true);
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        pacedFrame();
    size_t inFiveSeconds = frameStarts.size() - 1;  // the last began after the five seconds
    EXPECT_NEAR(300, double(inFiveSeconds), 5) << "frames in five seconds";

    stallFrame = int(frameStarts.size()) + 2;
    for (int i = 0; i < 12; i++)
        pacedFrame();
    auto gap = [](int k) { return duration<double, std::milli>(frameStarts[k + 1] - frameStarts[k]).count(); };
    EXPECT_GT(gap(stallFrame), 100);
    EXPECT_LT(gap(stallFrame), 110) << "the frame after the stall starts at once";
    for (int k = stallFrame + 1; k < stallFrame + 8; k++)
        EXPECT_GT(gap(k), 12) << "frame " << k - stallFrame << " after the stall came early";

    stallMs = 40;
    stallFrame = int(frameStarts.size()) + 2;
    for (int i = 0; i < 12; i++)
        pacedFrame();
    double fourFrames = duration<double, std::milli>(frameStarts[stallFrame + 4] - frameStarts[stallFrame]).count();
    EXPECT_NEAR(4000.0 / 60, fourFrames, 4) << "the frames after a late one keep to the ticks";
    stallMs = 100;

    setPacing(false);
    readClock = testClock;
    frameFinished = countStatusPixels;
    statusText[0] = 0;
    fpsLastTime = 0;
    fpsFrames = 0;
    frameCounter = 0;
}

// A frame that comes only after the module has looped past its end (a stalled machine, or a
// capture at one frame a second) ends the timeline, though no frame saw order 20 row 62.
TEST_F(FrameDriver, ALoopPastTheEndBetweenTwoFramesEndsTheTimeline) {
    BASS_Init(-1, 44100, 0, 0);
    musicHandle = BASS_MusicLoad(0, "data/compruss.xm", 0, 0, BASS_LOOP);
    ASSERT_NE(0u, musicHandle);
    BASS_Start();
    sceneIndex = -1;
    BASS_MusicPlay(musicHandle);
    frameAt(0, 0);
    frameAt(19, 40);
    EXPECT_FALSE(endPartActive);
    frameAt(22, 3);  // the test module has 22 orders: this is order 0 row 3 of its second pass
    EXPECT_EQ(3u << 16, BASS_ChannelGetPosition(musicHandle));
    EXPECT_TRUE(endPartActive);
    EXPECT_NE(0u, streamHandle);

    // back to the start for the next test
    BASS_Free();
    endPartActive = false;
    streamHandle = 0;
    frameCounter = 0;
    fpsFrames = 0;
    fpsLastTime = 0;
    statusText[0] = 0;
}

// A slow start on a loaded machine: the first two frames take 250 ms, so the lookahead to the
// swap is 250 ms; then the frames are quick and it falls to a few milliseconds. The positions
// hold until the music catches up rather than step back, and the timeline goes on.
static int slowFrames;           // frames still to be slowed
static int64_t lastQueriedKey;   // order * 256 + row the last frame's query answered
static bool positionWentBack;

static void slowStart() {
    if (slowFrames > 0 && slowFrames--)
        usleep(250000);
}

static int watchingClock() {
    ModulePosition position = decodePosition(BASS_ChannelGetPosition(musicHandle));
    int64_t key = positionKey(position.order, position.row);
    positionWentBack |= key < lastQueriedKey;
    lastQueriedKey = key;
    return testClockMs;
}

TEST_F(FrameDriver, ALookaheadThatFallsNeitherStepsBackNorEndsTheTimeline) {
    audioSelectBackend(AUDIO_SILENT);
    BASS_Init(-1, 44100, 0, 0);
    musicHandle = BASS_MusicLoad(0, "data/compruss.xm", 0, 0, BASS_LOOP);
    ASSERT_NE(0u, musicHandle);
    BASS_Start();
    sceneIndex = -1;
    BASS_MusicPlay(musicHandle);
    slowFrames = 2;
    frameFinished = slowStart;
    readClock = watchingClock;
    setPacing(true);
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1500) && !endPartActive)
        pacedFrame();
    EXPECT_FALSE(endPartActive) << "the end part began at order " << lastQueriedKey / 256 << " row " << lastQueriedKey % 256;
    EXPECT_FALSE(positionWentBack);
    EXPECT_EQ(0, sceneIndex);
    EXPECT_GE(lastQueriedKey, 10) << "the music played on";

    setPacing(false);
    BASS_Free();
    audioSelectBackend(AUDIO_PULL);
    readClock = testClock;
    frameFinished = countStatusPixels;
    endPartActive = false;
    streamHandle = 0;
    statusText[0] = 0;
    fpsLastTime = 0;
    fpsFrames = 0;
    frameCounter = 0;
}

// One run of the whole timeline in order, so each step builds on the last.
TEST_F(FrameDriver, WalksTheTimelineAndSwitchesToTheEndPart) {
    BASS_Init(-1, 44100, 0, 0);
    musicHandle = BASS_MusicLoad(0, "data/compruss.xm", 0, 0, BASS_LOOP);
    ASSERT_NE(0u, musicHandle);
    BASS_Start();
    sceneIndex = -1;
    BASS_MusicPlay(musicHandle);

    // before the first frame-rate update the status line is empty
    testClockMs = 500;
    frameAt(0, 0);
    EXPECT_EQ(0, sceneIndex);
    EXPECT_STREQ("", statusText);
    EXPECT_EQ(1, frameCounter);
    EXPECT_EQ(0, darkStatusPixels);

    // the first update comes more than 1000 ms after start, and counts earlier frames only
    testClockMs = 1001;
    frameAt(0, 1);
    EXPECT_STREQ("FPS:1.00, POS: 0, ROW:1", statusText);
    EXPECT_GT(darkStatusPixels, 50) << "the status line is drawn in black over the picture";
    testClockMs = 1500;
    frameAt(0, 2);
    frameAt(0, 3);
    testClockMs = 2002;
    frameAt(0, 4);
    EXPECT_STREQ("FPS:3.00, POS: 0, ROW:4", statusText);

    // within an order nothing changes; an exact row start advances
    frameAt(3, 63);
    EXPECT_EQ(0, sceneIndex);
    frameAt(4, 0);
    EXPECT_EQ(1, sceneIndex);
    EXPECT_EQ(samovarScene, SceneTable[sceneIndex].render);

    // a frame that misses a row's exact start still moves on once it is past it
    frameAt(5, 60);
    frameAt(6, 3);
    EXPECT_EQ(2, sceneIndex);

    // a jump over several rows catches up one row per frame
    frameAt(12, 0);
    EXPECT_EQ(3, sceneIndex);
    frameAt(12, 1);
    EXPECT_EQ(4, sceneIndex);
    frameAt(12, 2);
    EXPECT_EQ(4, sceneIndex);

    frameAt(16, 0);
    frameAt(16, 1);
    EXPECT_EQ(6, sceneIndex);
    EXPECT_EQ(missileScene, SceneTable[sceneIndex].render);

    // order 20 row 61 is still the timeline; row 62 switches
    frameAt(20, 61);
    EXPECT_FALSE(endPartActive);
    EXPECT_EQ(0u, streamHandle);
    DWORD beforeSwitch = BASS_ChannelGetPosition(musicHandle);
    frameAt(20, 62);
    EXPECT_TRUE(endPartActive);
    ASSERT_NE(0u, streamHandle);

    // the module has stopped: its position no longer moves while the output runs
    audioPullTo(audioRenderedFrames() + 2 * FRAMES_PER_ROW, nullptr);
    EXPECT_EQ(BASS_ChannelGetPosition(musicHandle), BASS_ChannelGetPosition(musicHandle));
    EXPECT_NE(beforeSwitch, 0u);
    DWORD stopped = BASS_ChannelGetPosition(musicHandle);
    EXPECT_EQ(62u, stopped >> 16);

    // the stream plays from its start; the status line shows its position and length
    DWORD length = BASS_StreamGetLength(streamHandle);
    EXPECT_GT(length, 30000u);
    DWORD position = BASS_StreamGetFilePosition(streamHandle, 0);
    EXPECT_GT(position, 0u);
    EXPECT_LT(position, length);
    displayFrame();
    char expected[64];
    snprintf(expected, sizeof expected, "POS: %d / %d", int(BASS_StreamGetFilePosition(streamHandle, 0)),
             int(length));
    EXPECT_STREQ(expected, statusText);

    // once the stream has played out, the next frame ends the program with status 0
    audioPullTo(audioRenderedFrames() + 3 * 44100, nullptr);
    EXPECT_GE(BASS_StreamGetFilePosition(streamHandle, 0), length);
    int framesBefore = frameCounter;
    displayFrame();
    EXPECT_EQ(0, exitStatus);
    EXPECT_EQ(framesBefore, frameCounter) << "nothing of the last frame is drawn";
}

// The table a new scene is added to: rows in play order, each scene's moment for the tools
// within its own rows, each initialiser with a turn of its own, the end row after the end.
TEST(SceneTable, RowsInPlayOrderEndingOneRowPastTheTimelineEnd) {
    int rows = 0;
    std::set<int> turns;
    for (; SceneTable[rows].render; rows++) {
        const SceneEntry &scene = SceneTable[rows], &next = SceneTable[rows + 1];
        int from = positionKey(scene.order, scene.row), to = positionKey(next.order, next.row);
        int shown = positionKey(scene.showOrder, scene.showRow);
        EXPECT_LT(from, to) << scene.name;
        EXPECT_TRUE(shown >= from && shown < to) << scene.name;
        if (scene.init) {
            EXPECT_GT(scene.initTurn, 0) << scene.name;
            EXPECT_TRUE(turns.insert(scene.initTurn).second) << scene.name << ": a turn taken twice";
        }
    }
    EXPECT_EQ(7, rows);
    EXPECT_EQ(TIMELINE_END_ORDER, SceneTable[rows].order);
    EXPECT_EQ(TIMELINE_END_ROW + 1, SceneTable[rows].row);
}

// Drawn at N times the window's size, each window pixel is the mean of the N x N picture
// pixels it covers (at 1/N, each picture pixel fills N x N window pixels, at other sizes the
// picture covers the window); every frame, even one that would go straight to the window, draws through
// the picture with the picture's viewport, and the window's viewport comes back for the overlay.
TEST_F(FrameDriver, ASupersampledPictureIsBoxFilteredToTheWindow) {
    GLint viewport[4];
    for (int factor : {2, 3, 4}) {
        pictureSetScale(float(factor));
        EXPECT_EQ(float(factor), pictureScale());
        pictureBegin(false);
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(640 * factor, viewport[2]);
        EXPECT_EQ(480 * factor, viewport[3]);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        // white over picture columns 1 to N and rows 0 to N - 2: window pixel (0, 0) is covered
        // (N - 1) * (N - 1) of N * N, its neighbour to the right 1 * (N - 1)
        glEnable(GL_SCISSOR_TEST);
        glScissor(1, 0, factor, factor - 1);
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0.8f, 0, 0, 1);
        pictureEnd();
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(640, viewport[2]);
        EXPECT_EQ(480, viewport[3]);
        unsigned char pixels[3 * 3];
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, 3, 1, GL_RGB, GL_UNSIGNED_BYTE, pixels);
        double square = factor * factor;
        EXPECT_NEAR(255 * (factor - 1) * (factor - 1) / square, pixels[0], 0.51) << factor;
        EXPECT_NEAR(255 * (factor - 1) / square, pixels[3], 0.51) << factor;
        EXPECT_EQ(0, pixels[6]) << factor;
    }
    // at a half, each picture pixel is a 2 x 2 square of the window's, not a blend of its neighbours
    pictureSetScale(0.5f);
    pictureBegin(false);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(320, viewport[2]);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 1, 1);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.8f, 0, 0, 1);
    pictureEnd();
    unsigned char square[3 * 3 * 3];
    glReadPixels(0, 0, 3, 3, GL_RGB, GL_UNSIGNED_BYTE, square);
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(i % 3 < 2 && i / 3 < 2 ? 255 : 0, square[3 * i]) << "window pixel " << i % 3 << ", " << i / 3;

    // between whole steps the picture is stretched over the whole window
    pictureSetScale(0.8f);
    pictureBegin(false);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(512, viewport[2]);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.8f, 0, 0, 1);
    pictureEnd();
    unsigned char corners[3];
    glReadPixels(639, 479, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, corners);
    EXPECT_EQ(255, corners[2]) << "the far corner is the picture's";
    glReadPixels(0, 0, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, corners);
    EXPECT_EQ(255, corners[2]) << "the near corner is the picture's";

    pictureSetScale(1);
    pictureBegin(false);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(640, viewport[2]) << "at scale 1 a frame that clears on its own skips the picture";
    pictureEnd();
}

// The picture's size on a slow renderer, its divisor counted in quarters: the window's divided
// in proportion to the time over the budget, within the divisors the window allows, back down
// by a step where there is room, and left alone by a renderer that holds 60 frames a second.
TEST(PictureSize, ShrinksToTheBudgetAndGrowsBackWithinItsBounds) {
    EXPECT_EQ(4, adaptiveDivisor(4, 100, 10, 4)) << "a window below 800 x 600 is never divided";
    EXPECT_EQ(4, adaptiveDivisor(4, 16.6, 60, 16)) << "vsync's wait on a renderer that keeps up";
    EXPECT_EQ(4, adaptiveDivisor(4, 25, 60, 16)) << "a few slow frames that cost no tick";
    EXPECT_EQ(6, adaptiveDivisor(4, 16.4, 58, 16)) << "from the window's size, at least to 1/1.5";
    EXPECT_EQ(9, adaptiveDivisor(8, 16.4, 58, 16)) << "further down, at least one step";
    // 2.5 times the budget: the area that takes 80 % of it is 1/3.1 of the window's, 4.5 times:
    // 1/5.6; the divisor is the root of that, rounded up to a quarter
    EXPECT_EQ(7, adaptiveDivisor(4, 33.3, 30, 16));
    EXPECT_EQ(9, adaptiveDivisor(4, 60, 16, 16));
    EXPECT_EQ(9, adaptiveDivisor(4, 200, 5, 9)) << "1920 x 1080 goes no lower than 854 x 480";
    EXPECT_EQ(8, adaptiveDivisor(8, 10, 60, 16)) << "at 1/1.75, 10 * 64 / 49 ms would not fit in 75 %";
    EXPECT_EQ(7, adaptiveDivisor(8, 9, 60, 16));
}

// The desktop's scale for the window and its status line: whole steps of 96 dots per inch, the
// smaller one for a fractional scale, never a window larger than the screen.
TEST(DesktopScale, WholeStepsThatFitTheScreen) {
    EXPECT_EQ(1, scaleForDpi(0, 3840, 2160)) << "no Xft.dpi";
    EXPECT_EQ(1, scaleForDpi(96, 3840, 2160));
    EXPECT_EQ(1, scaleForDpi(144, 3840, 2160));
    EXPECT_EQ(2, scaleForDpi(192, 3840, 2160));
    EXPECT_EQ(2, scaleForDpi(288, 1920, 1080)) << "1920 x 1440 would not fit";
    EXPECT_EQ(1, scaleForDpi(192, 1024, 768));
}

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
