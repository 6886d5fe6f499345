// endpart_test.cpp -- captions and end-part words: which text shows when, where the letters
// go, when the colour is cleared, and the sync table written from SPACE presses
#include "audio.h"
#include "effects.h"
#include "player.h"
#include "scenestate.h"

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

static int exitStatus = -1;  // what the program asked to end with, -1 while it runs

static void watchExit(int status) {
    exitStatus = status;
}

static std::string readText(const char *path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

static void writeBytes(const char *path, const std::vector<uint8_t> &bytes) {
    FILE *f = fopen(path, "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// A one-triangle LWO2 object: points (0,0,0), (0.2,0,0), (0,0.3,0).
static std::vector<uint8_t> triangleObject() {
    std::vector<uint8_t> b;
    auto id = [&](const char *s) { b.insert(b.end(), s, s + 4); };
    auto u4 = [&](uint32_t v) { for (int i = 3; i >= 0; i--) b.push_back(uint8_t(v >> (8 * i))); };
    auto u2 = [&](unsigned v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); };
    auto f4 = [&](float f) { uint32_t v; memcpy(&v, &f, 4); u4(v); };
    id("FORM"); u4(4 + 8 + 36 + 8 + 12); id("LWO2");
    id("PNTS"); u4(36);
    f4(0); f4(0); f4(0); f4(0.2f); f4(0); f4(0); f4(0); f4(0.3f); f4(0);
    id("POLS"); u4(12); id("FACE"); u2(3); u2(0); u2(1); u2(2);
    return b;
}

// Fills the colour buffer with green; a following colour clear brings back the clear colour.
static void paintGreen() {
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.8f, 0, 0, 1);
}

static bool cornerIsGreen() {
    unsigned char pixel[4];
    glReadPixels(2, 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    return pixel[1] > 200 && pixel[0] < 50;
}

// Window coordinates of every vertex drawn by `draw`, from GL feedback mode.
template <typename Draw>
static std::vector<float> feedback(Draw draw) {
    static GLfloat buffer[1 << 16];
    glFeedbackBuffer(1 << 16, GL_3D, buffer);
    glRenderMode(GL_FEEDBACK);
    draw();
    int n = glRenderMode(GL_RENDER);
    std::vector<float> xyz;
    for (int i = 0; i < n;) {
        if (buffer[i] == GL_POLYGON_TOKEN) {
            int count = int(buffer[i + 1]);
            for (int k = 0; k < count; k++)
                for (int c = 0; c < 3; c++)
                    xyz.push_back(buffer[i + 2 + k * 3 + c]);
            i += 2 + count * 3;
        } else {
            i++;
        }
    }
    return xyz;
}

class Letters : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char dir[] = "/tmp/vortazov-endpart-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        ASSERT_EQ(0, chdir(dir));
        writeBytes("triangle.lwo", triangleObject());
        for (int i = 0; i < 26; i++)
            letterModels[i] = new LwoObject("triangle.lwo");
        ASSERT_EQ(1, letterModels[0]->polygonCount);
        int argc = 1;
        char name[] = "endpart_test";
        char *argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH | GLUT_RGBA);
        glutInitWindowSize(640, 480);
        glutCreateWindow("vortazov");
        reshapeView(640, 480);
        endProgram = watchExit;
        glDisable(GL_DEPTH_TEST);
        glDrawBuffer(GL_BACK);
        glReadBuffer(GL_BACK);
    }
};

TEST_F(Letters, CaptionsAdvanceOnePerFrameAndWrapAtTheEnd) {
    captionIndex = 0;
    // the first frame at order 0 row 0 moves on at once: the second row's text shows first
    captionScene(0, 0, 0);
    EXPECT_EQ(1, captionIndex);
    captionScene(0, 1, 0);
    EXPECT_EQ(1, captionIndex);
    captionScene(0, 4, 0);
    EXPECT_EQ(2, captionIndex);
    // a skipped position is caught up one row per frame
    captionScene(0, 17, 0);
    EXPECT_EQ(3, captionIndex);
    captionScene(0, 17, 0);
    EXPECT_EQ(4, captionIndex);
    captionScene(0, 17, 0);
    EXPECT_EQ(5, captionIndex);
    captionScene(0, 17, 0);
    EXPECT_EQ(5, captionIndex);

    // at order 3 row 62 the index reaches the terminating row and wraps to the first
    captionIndex = 65;  // the row at order 3 row 62
    captionScene(3, 62, 0);
    EXPECT_EQ(0, captionIndex);
    // then every frame moves one row on, since every position lies behind the module's
    captionScene(3, 62, 0);
    EXPECT_EQ(1, captionIndex);
    captionScene(3, 63, 0);
    EXPECT_EQ(2, captionIndex);
}

TEST_F(Letters, CaptionsClearTheColourOnlyOnEveryFourthRow) {
    captionIndex = 7;  // order 0 row 28, whatever its text
    paintGreen();
    captionScene(0, 26, 0);
    EXPECT_TRUE(cornerIsGreen());
    paintGreen();
    captionScene(0, 28, 0);
    EXPECT_FALSE(cornerIsGreen());
    // an empty caption draws nothing but still clears
    captionIndex = 50;  // order 3 row 8, an empty text
    paintGreen();
    captionScene(3, 8, 0);
    EXPECT_FALSE(cornerIsGreen());
}

// Each letter sits at pen -2 + 0.45 i, sways by 15 sin(..) degrees, pulses, and is moved
// along a circle of radius 0.5 by its own step of letterPhase.
TEST_F(Letters, WordLayoutPenSwayPulseAndCircle) {
    frameCounter = 37;
    letterPhase = frameCounter;
    std::vector<float> got = feedback([] { drawWord("ab c.", 0.25f, -0.5f); });
    // "a", "b" and "c" draw; the space and the full stop only move the pen
    ASSERT_EQ(3u * 3 * 3, got.size());
    EXPECT_EQ(37 + 3, letterPhase);

    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    const float points[3][2] = {{0, 0}, {0.2f, 0}, {0, 0.3f}};
    const int slots[3] = {0, 1, 3};
    for (int k = 0; k < 3; k++) {
        int i = slots[k];
        double sway = 15 * sin((i * 16 + 37) * 3.14159 / 64) * 3.14159 / 180;
        double pulse = 0.15 * sin((37 + i * 8) * 3.14159 / 64) + 0.85;
        double theta = (37 + k) * double(float(3.14159 / 128));
        for (int v = 0; v < 3; v++) {
            double px = points[v][0] + 0.5 * cos(theta), py = points[v][1] + 0.5 * sin(theta);
            double x = -2.0 + 0.45 * i + 0.25 + pulse * (px * cos(sway) - py * sin(sway));
            double y = -0.5 + pulse * (px * sin(sway) + py * cos(sway));
            double wx, wy, wz;
            gluProject(x, y, 0, model, projection, viewport, &wx, &wy, &wz);
            EXPECT_NEAR(wx, got[(k * 3 + v) * 3], 0.05) << "letter " << k << " vertex " << v;
            EXPECT_NEAR(wy, got[(k * 3 + v) * 3 + 1], 0.05) << "letter " << k << " vertex " << v;
        }
    }
}

TEST_F(Letters, DrawLetterIgnoresIndicesWithoutAModel) {
    letterPhase = 0;
    std::vector<float> got = feedback([] {
        drawLetter(-1);
        drawLetter(26);
        drawLetter('.' - 'a');
    });
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(0, letterPhase);
}

TEST_F(Letters, EndPartWordsFollowTheStreamPosition) {
    ASSERT_EQ(78, endscrollCount);
    EXPECT_STREQ("the", endscrollText[0].text);
    EXPECT_STREQ("party", endscrollText[1].text);
    EXPECT_STREQ("of", endscrollText[2].text);
    EXPECT_STREQ("the", endscrollText[76].text);
    EXPECT_STREQ("sails", endscrollText[77].text);
    EXPECT_EQ(67145, endscrollText[0].position);
    EXPECT_EQ(1157339, endscrollText[77].position);
    for (int i = 0; i < endscrollCount; i++) {
        if (i > 0) {
            EXPECT_LT(endscrollText[i - 1].position, endscrollText[i].position);
        }
        // the font has the letters a to z only: anything else would silently leave a gap
        EXPECT_EQ(strspn(endscrollText[i].text, "abcdefghijklmnopqrstuvwxyz "), strlen(endscrollText[i].text))
            << "word " << i << " \"" << endscrollText[i].text << "\"";
    }

    endscrollIndex = -1;
    lastClearPosition = 0;
    // nothing is drawn, and nothing cleared, before the stream passes 6000 and 67145 bytes
    paintGreen();
    EXPECT_TRUE(feedback([] { endPart(6000); }).empty());
    EXPECT_TRUE(cornerIsGreen());
    EXPECT_EQ(-1, endscrollIndex);
    endPart(6001);
    EXPECT_FALSE(cornerIsGreen());
    EXPECT_EQ(6001, lastClearPosition);
    paintGreen();
    EXPECT_TRUE(feedback([] { endPart(67144); }).empty());
    EXPECT_EQ(-1, endscrollIndex);

    // "the" from 67145; a clear only after 6000 more bytes
    lastClearPosition = 67000;
    paintGreen();
    EXPECT_EQ(3u * 3 * 3, feedback([] { endPart(67145); }).size());
    EXPECT_EQ(0, endscrollIndex);
    endPart(73000);
    EXPECT_TRUE(cornerIsGreen());
    endPart(73001);
    EXPECT_FALSE(cornerIsGreen());

    // a jump over several words catches up one word per frame
    endPart(85000);
    EXPECT_EQ(1, endscrollIndex);
    endPart(85000);
    EXPECT_EQ(2, endscrollIndex);
    endPart(85000);
    EXPECT_EQ(2, endscrollIndex);

    // the last word shows for one frame; the next frame ends the program with status 0
    endscrollIndex = 76;
    endPart(1157339);
    EXPECT_EQ(77, endscrollIndex);
    EXPECT_EQ(-1, exitStatus);
    endPart(1157339);
    EXPECT_EQ(0, exitStatus);
}

// The sync recorder, with positions from a real stream played on the pull back-end.
class SyncRecorder : public ::testing::Test {
protected:
    void SetUp() override {
        syncCount = 0;
        endPartActive = false;
        endProgram = watchExit;  // also when the suite runs without the window's
    }
};

static int64_t pulled;

static void playOn(int64_t frames) {
    pulled += frames;
    audioPullTo(pulled, nullptr);
}

TEST_F(SyncRecorder, PressesBecomeTheTableInPressOrder) {
    ASSERT_EQ(0, system("sox -n -r 44100 -c 2 -b 16 tone.wav synth 3 sine 440 vol 0.3 2>/dev/null"
                        " && lame --quiet -b 128 --cbr tone.wav tone.mp3"));
    audioSelectBackend(AUDIO_PULL);
    BASS_Init(-1, 44100, 0, 0);
    BASS_Start();
    pulled = 0;

    // SPACE outside the end part records nothing, and shutdown writes no file
    remove("endpart.snc");
    recordSyncPoint();
    EXPECT_EQ(0, syncCount);
    writeSyncTable();
    EXPECT_NE(0, access("endpart.snc", F_OK));

    endPartActive = true;
    streamHandle = BASS_StreamCreateFile(0, "tone.mp3", 0, 0, BASS_LOOP);
    ASSERT_NE(0u, streamHandle);
    BASS_StreamPlay(streamHandle, 1, BASS_LOOP);
    writeSyncTable();  // the end part without a press writes nothing either
    EXPECT_NE(0, access("endpart.snc", F_OK));

    playOn(22050);
    recordSyncPoint();
    recordSyncPoint();  // a second press at the same position is kept
    playOn(22050);
    recordSyncPoint();
    playOn(22050);
    recordSyncPoint();
    ASSERT_EQ(4, syncCount);
    EXPECT_EQ(syncPositions[0], syncPositions[1]);
    EXPECT_LT(syncPositions[1], syncPositions[2]);
    EXPECT_LT(syncPositions[2], syncPositions[3]);

    // a leftover under the old temporary name, linked to a file elsewhere, is never followed
    char outside[] = "/tmp/vortazov-outside-XXXXXX";
    ASSERT_TRUE(mkdtemp(outside));
    std::string outsideFile = std::string(outside) + "/precious";
    writeBytes(outsideFile.c_str(), {'k', 'e', 'e', 'p'});
    ASSERT_EQ(0, symlink(outsideFile.c_str(), "endpart.snc.tmp"));

    writeSyncTable();
    char expected[512];
    snprintf(expected, sizeof expected,
             "endScrolltext endscrollText[] = {\n"
             " \n\t{0.0f, 0.0f, %d,\t\t\"\"},\n\t{0.0f, 0.0f, %d,\t\t\"\"},\n"
             "\t{0.0f, 0.0f, %d,\t\t\"\"},\n\t{0.0f, 0.0f, %d,\t\t\"\"}\n};",
             syncPositions[0], syncPositions[1], syncPositions[2], syncPositions[3]);
    EXPECT_EQ(expected, readText("endpart.snc"));
    EXPECT_EQ("keep", readText(outsideFile.c_str()));
    struct stat link, table;
    ASSERT_EQ(0, lstat("endpart.snc.tmp", &link));
    EXPECT_TRUE(S_ISLNK(link.st_mode)) << "the leftover is left alone";
    ASSERT_EQ(0, lstat("endpart.snc", &table));
    EXPECT_TRUE(S_ISREG(table.st_mode));
    EXPECT_EQ(0, system("test -z \"$(ls -A | grep '^endpart\\.snc\\.' | grep -v '^endpart\\.snc\\.tmp$')\""))
        << "no temporary file is left behind";
    remove("endpart.snc.tmp");
    remove(outsideFile.c_str());
    rmdir(outside);

    // far more presses than the old fixed table held are all kept
    for (int i = 0; i < 2500; i++)
        recordSyncPoint();
    EXPECT_EQ(2504, syncCount);
    BASS_StreamFree(streamHandle);
    BASS_Free();
}

// Where "endpart.snc" cannot be written the table goes to the state folder, and standard error
// says so; a table another run wrote since this one started is kept beside ours; only when
// nothing can be written is the table printed, on both outputs, and the run marked as failed.
TEST_F(SyncRecorder, TheTableIsNeverLost) {
    const std::string table = "endScrolltext endscrollText[] = {\n \n\t{0.0f, 0.0f, 0,\t\t\"\"},\n\t{0.0f, 0.0f, 0,\t\t\"\"}\n};";
    char here[4096];
    ASSERT_TRUE(getcwd(here, sizeof here));
    std::string state = std::string(here) + "/state";
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    endPartActive = true;
    syncCount = 0;
    streamHandle = 0;
    recordSyncPoint();
    recordSyncPoint();

    // a folder in the table's place cannot be replaced by a file, so the write here fails
    ASSERT_EQ(0, system("rm -rf endpart.snc state && mkdir endpart.snc && echo old table >endpart.snc/kept"));
    noteSyncTables();
    ::testing::internal::CaptureStderr();
    writeSyncTable();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ("old table\n", readText("endpart.snc/kept"));
    EXPECT_EQ(table, readText("state/vortazov/endpart.snc"));
    EXPECT_NE(std::string::npos, err.find("the sync table is in " + state + "/vortazov/endpart.snc")) << err;
    EXPECT_FALSE(syncTableLost);
    EXPECT_EQ(0, system("test -z \"$(ls -A . state/vortazov | grep '^endpart\\.snc\\.')\"")) << "no temporary file is left";

    // another run wrote the table after this one started: both are kept, and standard error says where ours went
    ASSERT_EQ(0, system("rm -rf endpart.snc"));
    noteSyncTables();
    writeBytes("endpart.snc", {'o', 't', 'h', 'e', 'r'});
    for (const char *ours : {"endpart-2.snc", "endpart-3.snc"}) {
        ::testing::internal::CaptureStderr();
        writeSyncTable();
        err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ("other", readText("endpart.snc"));
        EXPECT_EQ(table, readText(ours));
        EXPECT_NE(std::string::npos, err.find(std::string("this run's sync table is in ") + ours)) << err;
    }
    // the table this run found at its start is simply replaced
    noteSyncTables();
    writeSyncTable();
    EXPECT_EQ(table, readText("endpart.snc"));

    // nowhere to write: the table on standard error and standard output, and the run fails
    ASSERT_EQ(0, system("rm -rf endpart.snc state && mkdir endpart.snc && touch state"));
    noteSyncTables();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    writeSyncTable();
    err = ::testing::internal::GetCapturedStderr();
    std::string out = ::testing::internal::GetCapturedStdout();
    for (const std::string &text : {out, err}) {
        EXPECT_NE(std::string::npos, text.find("could not write endpart.snc")) << text;
        EXPECT_NE(std::string::npos, text.find(table)) << text;
    }
    EXPECT_TRUE(syncTableLost);
    syncTableLost = false;
    system("rm -rf endpart.snc endpart-*.snc state");
    unsetenv("XDG_STATE_HOME");
}

// Closing the window runs the shutdown sequence like Escape, so the presses are not lost.
// The sequence runs once per process: run this test on its own.
TEST_F(SyncRecorder, ClosingTheWindowWritesTheTable) {
    remove("endpart.snc");
    endPartActive = true;
    streamHandle = 0;
    recordSyncPoint();
    exitStatus = -1;
    windowClosed();
    EXPECT_EQ(0, exitStatus);
    EXPECT_EQ("endScrolltext endscrollText[] = {\n \n\t{0.0f, 0.0f, 0,\t\t\"\"}\n};", readText("endpart.snc"));
}

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
