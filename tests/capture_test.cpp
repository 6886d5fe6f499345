// capture_test.cpp -- the capture program end to end: the file, its timing and sound, repeatability, exits
//
// Runs the real vortazov-capture (under the Xvfb that ctest starts) in a scratch working
// directory whose data/compruss.xm is written here: 24 orders of one 8-row pattern set at
// speed 3 and 125 BPM, so each row lasts 0.06 s and order o starts at o * 0.48 s (the caption
// scene gives way to the next at order 4, 1.92 s). The end-part stream is two seconds of a
// tone. Models and images come from the project's data folder when it has them.
#include "audio.h"
#include "capture_media.h"
#include "xmwriter.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

static std::string workDir;      // the scratch working directory of every capture here
static std::string projectRoot;  // where ctest starts us
static std::vector<uint8_t> moduleBytes;

static std::vector<uint8_t> captureModule(int orders = 24) {
    XmModule m;
    m.name = "capture test";
    m.channels = 2;
    m.speed = 3;
    m.bpm = 125;
    for (int p = 0; p < 4; p++) {
        XmPattern pattern;
        pattern.rows = 8;
        pattern.cells.resize(8 * 2);
        for (int r = 0; r < 8; r += 2) {
            pattern.cells[r * 2].note = uint8_t(49 + p * 3 + r / 2);
            pattern.cells[r * 2].instrument = 1;
        }
        pattern.cells[1].note = uint8_t(25 + p);
        pattern.cells[1].instrument = 1;
        m.patterns.push_back(pattern);
    }
    for (int o = 0; o < orders; o++)
        m.orders.push_back(uint8_t(o % 4));
    XmInstrument instrument;
    instrument.name = "tone";
    XmSample s;
    s.name = "tone";
    for (int i = 0; i < 32; i++) {
        double t = 2 * M_PI * i / 32;
        s.data.push_back(int16_t(12000 * sin(t) + 4000 * sin(3 * t)));
    }
    s.loop = XM_FORWARD_LOOP;
    s.loopLength = 32;
    s.relativeNote = 12;
    instrument.samples.push_back(s);
    instrument.volumeEnvelope = {{0, 64}, {8, 40}, {40, 0}};
    instrument.fadeout = 512;
    m.instruments.push_back(instrument);
    return writeXm(m);
}

// The module as libopenmpt renders it alone, looping as the player loads it: output frames
// [first, first + count) as interleaved stereo.
static std::vector<int16_t> referenceSound(int64_t first, int64_t count) {
    openmpt::module module(moduleBytes);
    module.set_repeat_count(-1);
    module.ctl_set_integer("dither", 0);
    std::vector<int16_t> all(size_t(first + count) * 2);
    // read in the engine's chunks from the song's start: libopenmpt's output differs by a
    // step here and there with other read sizes
    for (int64_t done = 0; done < first + count;) {
        int64_t n = std::min<int64_t>(AUDIO_CHUNK_FRAMES, first + count - done);
        size_t got = module.read_interleaved_stereo(44100, size_t(n), &all[size_t(done) * 2]);
        if (got == 0)
            break;
        done += int64_t(got);
    }
    return std::vector<int16_t>(all.begin() + first * 2, all.end());
}

// Seconds from the module's start to an order and row, as libopenmpt counts them.
static double rowTime(int order, int row) {
    openmpt::module module(moduleBytes);
    return module.set_position_order_row(order, row);
}

// The first frame at `fps` whose start hears the given time: a frame hears the samples
// before k * 44100 / fps, the last of which is the one sounding.
static int64_t firstFrameHearing(double seconds, int fps) {
    int64_t sample = llround(seconds * 44100);
    int64_t k = 0;
    while (k * 44100 / fps - 1 < sample)
        k++;
    return k;
}

static std::string path(const std::string &name) {
    return workDir + "/" + name;
}

// Runs the capture in the scratch directory; its standard error goes to `name`.err.
static int capture(const std::string &arguments, const std::string &name, const std::string &environment = "") {
    return runProgram(CAPTURE_PROGRAM, workDir, arguments, name, environment);
}

// The frame at which the capture's log says a scene or the end part began, -1 if it never did.
static int64_t loggedFrame(const std::string &log, const std::string &what) {
    std::smatch m;
    std::regex line("frame ([0-9]+) \\([^)]*\\): " + what);
    if (!std::regex_search(log, m, line))
        return -1;
    return std::stoll(m[1]);
}

class Capture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char here[4096];
        ASSERT_TRUE(getcwd(here, sizeof here));
        projectRoot = here;
        char dir[] = "/tmp/vortazov-capture-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        workDir = dir;
        ASSERT_EQ(0, mkdir(path("data").c_str(), 0777));
        moduleBytes = captureModule();
        ASSERT_TRUE(writeFileBytes(path("data/compruss.xm"), moduleBytes));
        std::string mp3 = "cd '" + workDir + "' && sox -n -r 44100 -c 2 -b 16 tone.wav synth 2 sine 440 vol 0.3 "
                          "&& lame --quiet -b 128 --cbr tone.wav data/farewell.mp3";
        ASSERT_EQ(0, system(mp3.c_str()));
        // the real models and images, where they exist, so the scenes look like themselves
        for (const char *name : {"3d", "textures", "particle.tga"}) {
            std::string real = projectRoot + "/data/" + name;
            if (access(real.c_str(), F_OK) == 0) {
                ASSERT_EQ(0, symlink(real.c_str(), path(std::string("data/") + name).c_str()));
            }
        }
    }
    static void TearDownTestSuite() {
        if (!getenv("CAPTURE_TEST_KEEP")) {
            std::string remove = "rm -rf '" + workDir + "'";
            EXPECT_EQ(0, system(remove.c_str()));
        }
    }
    static bool modelsPresent() {
        return access((projectRoot + "/data/3d/samovar.lwo").c_str(), F_OK) == 0;
    }
};

// Two seconds around the first scene change, lossless: the frame count, rate and size, the
// sound sample for sample, and the change on the frame the module's position says.
TEST_F(Capture, LosslessSpanHasItsFramesExactSoundAndTheSceneChange) {
    ASSERT_EQ(0, capture("span.mkv --fps 10 --from 1.0 --to 3.0", "span"));
    MediaInfo info = probe(path("span.mkv"));
    EXPECT_EQ("ffv1", info.videoCodec);
    EXPECT_EQ("flac", info.audioCodec);
    EXPECT_EQ(20, info.frames);
    EXPECT_EQ("10/1", info.frameRate);
    EXPECT_EQ(640, info.width);
    EXPECT_EQ(480, info.height);

    std::vector<int16_t> sound = decodeSound(path("span.mkv"));
    std::vector<int16_t> expected = referenceSound(44100, 88200);
    ASSERT_EQ(expected.size(), sound.size());
    size_t differing = 0;
    for (size_t i = 0; i < sound.size(); i++)
        differing += sound[i] != expected[i];
    EXPECT_EQ(0u, differing) << "of " << sound.size() << " samples";
    double peak = 0;
    for (int16_t v : sound)
        peak = std::max(peak, std::fabs(double(v)));
    EXPECT_GT(peak, 1000) << "the span should not be silent";

    // scene 1 begins at order 4 row 0; the frame driver sees it in the first frame that hears it
    int64_t change = firstFrameHearing(rowTime(4, 0), 10);
    EXPECT_EQ(20, change) << "the test module's timing is not what this test was written for";
    std::string log = readFileText(path("span.err"));
    EXPECT_EQ(change, loggedFrame(log, "scene 1 at order 4")) << log;
    EXPECT_EQ(29, loggedFrame(log, "scene 2 at order 6")) << log;
    if (!modelsPresent()) {
        printf("no models in data/: the change cannot be seen in the picture, only in the log\n");
        return;
    }
    std::vector<std::vector<uint8_t>> frames = decodeFrames(path("span.mkv"), 640, 480);
    ASSERT_EQ(20u, frames.size());
    // the biggest step between two neighbouring frames of the caption scene's last second
    double calm = 0;
    for (int k = 1; k < change - 10; k++)
        calm = std::max(calm, meanDifference(frames[k - 1], frames[k]));
    double step = meanDifference(frames[change - 11], frames[change - 10]);
    printf("mean change between frames: up to %.2f in the caption scene, %.2f at the scene change\n", calm, step);
    EXPECT_GT(step, 2 * calm + 1) << "frames " << change - 1 << " and " << change;
}

// The top-level boxes of an MP4, in file order ("ftyp", "moov", "mdat", ...).
static std::vector<std::string> mp4Boxes(const std::string &bytes) {
    std::vector<std::string> boxes;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        uint64_t size = uint64_t(uint8_t(bytes[at])) << 24 | uint8_t(bytes[at + 1]) << 16 |
                        uint8_t(bytes[at + 2]) << 8 | uint8_t(bytes[at + 3]);
        boxes.push_back(bytes.substr(at + 4, 4));
        if (size == 1 && at + 16 <= bytes.size()) {
            size = 0;
            for (int i = 0; i < 8; i++)
                size = size << 8 | uint8_t(bytes[at + 8 + i]);
        }
        if (size < 8)
            break;
        at += size;
    }
    return boxes;
}

// The mean colour, as decoded, of the pixels that show `colour` in the window with a 5x5
// neighbourhood of the same colour (so neither chroma subsampling nor an edge reaches them).
static bool meanOfFlatColour(const std::vector<uint8_t> &window, const std::vector<uint8_t> &decoded, int width,
                             int height, const uint8_t colour[3], double mean[3], size_t *count) {
    auto is = [&](int x, int y) {
        const uint8_t *p = &window[(size_t(y) * width + x) * 3];
        return p[0] == colour[0] && p[1] == colour[1] && p[2] == colour[2];
    };
    double sum[3] = {0, 0, 0};
    *count = 0;
    for (int y = 2; y < height - 2; y++) {
        for (int x = 2; x < width - 2; x++) {
            bool flat = true;
            for (int dy = -2; dy <= 2 && flat; dy++)
                for (int dx = -2; dx <= 2 && flat; dx++)
                    flat = is(x + dx, y + dy);
            if (!flat)
                continue;
            for (int c = 0; c < 3; c++)
                sum[c] += decoded[(size_t(y) * width + x) * 3 + c];
            ++*count;
        }
    }
    for (int c = 0; c < 3; c++)
        mean[c] = *count ? sum[c] / *count : -1;
    return *count > 0;
}

// H.264 and AAC in an .mp4 at 1080p, as video sites ask for them: High profile, AAC at
// 48 kHz, the index at the front, every colour tag BT.709; the sound as heard, and the
// colours as a BT.709 player shows them against the window's own (a lossless capture).
TEST_F(Capture, Mp4At1080pIsTaggedAndShowsTheWindowsColours) {
    // the samovar scene's first second: yellows on the red
    ASSERT_EQ(0, capture("hd.mp4 --fps 10 --size 1080p --from 2.0 --to 3.0", "hd"));
    MediaInfo info = probe(path("hd.mp4"));
    EXPECT_EQ("h264", info.videoCodec);
    EXPECT_EQ("High", info.videoProfile);
    EXPECT_EQ("aac", info.audioCodec);
    EXPECT_EQ(48000, info.audioRate);
    EXPECT_EQ(10, info.frames);
    EXPECT_EQ("10/1", info.frameRate);
    EXPECT_EQ(1920, info.width);
    EXPECT_EQ(1080, info.height);
    EXPECT_EQ("bt709", info.colorSpace);
    EXPECT_EQ("bt709", info.colorPrimaries);
    EXPECT_EQ("bt709", info.colorTransfer);
    EXPECT_EQ("tv", info.colorRange);
    EXPECT_NEAR(1.0, info.audioSeconds, 0.03);
    std::vector<std::string> boxes = mp4Boxes(readFileText(path("hd.mp4")));
    auto moov = std::find(boxes.begin(), boxes.end(), "moov"), mdat = std::find(boxes.begin(), boxes.end(), "mdat");
    EXPECT_TRUE(moov != boxes.end() && mdat != boxes.end() && moov < mdat) << "the index comes first";

    ASSERT_EQ(0, capture("window.mkv --fps 10 --size 1080p --from 2.5 --to 2.6", "window"));
    std::vector<std::vector<uint8_t>> window = decodeFrames(path("window.mkv"), 1920, 1080);
    std::vector<std::vector<uint8_t>> shown =
        decodeFrames(path("hd.mp4"), 1920, 1080, "scale=in_color_matrix=bt709:in_range=tv");
    ASSERT_EQ(1u, window.size());
    ASSERT_EQ(10u, shown.size());
    const uint8_t red[3] = {204, 0, 0};
    // the picture reaches the far corner: a back buffer kept at the window's first size
    // (640x480) would leave the top right black
    EXPECT_TRUE(std::equal(red, red + 3, &window[0][1919 * 3])) << "top right corner";
    // the most common yellow the window shows
    std::map<uint32_t, size_t> yellows;
    for (size_t p = 0; p < window[0].size(); p += 3) {
        const uint8_t *c = &window[0][p];
        if (c[0] > 200 && c[1] > 200 && c[2] < 100)
            yellows[uint32_t(c[0]) << 16 | c[1] << 8 | c[2]]++;
    }
    std::vector<const uint8_t *> colours = {red};
    uint8_t yellow[3] = {0, 0, 0};
    if (!yellows.empty()) {
        auto most = std::max_element(yellows.begin(), yellows.end(),
                                     [](const auto &a, const auto &b) { return a.second < b.second; });
        yellow[0] = uint8_t(most->first >> 16);
        yellow[1] = uint8_t(most->first >> 8);
        yellow[2] = uint8_t(most->first);
        colours.push_back(yellow);
    } else if (modelsPresent()) {
        ADD_FAILURE() << "no yellow in the frame";
    }
    for (const uint8_t *colour : colours) {
        double mean[3];
        size_t count;
        ASSERT_TRUE(meanOfFlatColour(window[0], shown[5], 1920, 1080, colour, mean, &count))
            << int(colour[0]) << "," << int(colour[1]) << "," << int(colour[2]) << " nowhere flat";
        printf("window (%d, %d, %d) decoded as BT.709: (%.1f, %.1f, %.1f) over %zu pixels\n", colour[0], colour[1],
               colour[2], mean[0], mean[1], mean[2], count);
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(colour[c], mean[c], 3.0) << "channel " << c;
    }

    // AAC is lossy and may shift the sound by its priming: find the shift, then the error
    std::vector<int16_t> sound = decodeSound(path("hd.mp4"));
    std::vector<int16_t> expected = referenceSound(88200, 44100);
    ASSERT_GT(sound.size(), 40000u * 2);
    double bestNoise = 1e30;
    int bestShift = 0;
    for (int shift = -2048; shift <= 2048; shift++) {
        double noise = 0;
        for (size_t i = 4096; i + 4096 < expected.size() / 2; i += 7) {
            int64_t j = int64_t(i) + shift;
            if (j < 0 || size_t(j) * 2 + 1 >= sound.size())
                continue;
            double d = double(sound[j * 2]) - expected[i * 2];
            noise += d * d;
        }
        if (noise < bestNoise) {
            bestNoise = noise;
            bestShift = shift;
        }
    }
    double signal = 0, noise = 0;
    for (size_t i = 4096; i + 4096 < expected.size() / 2; i++) {
        int64_t j = int64_t(i) + bestShift;
        if (j < 0 || size_t(j) * 2 + 1 >= sound.size())
            continue;
        for (int c = 0; c < 2; c++) {
            double d = double(sound[j * 2 + c]) - expected[i * 2 + c];
            signal += double(expected[i * 2 + c]) * expected[i * 2 + c];
            noise += d * d;
        }
    }
    EXPECT_LE(std::abs(bestShift), 2) << "the sound is shifted against the pictures";
    EXPECT_GT(10 * log10(signal / std::max(noise, 1.0)), 25.0) << "signal to AAC error, dB";
}

// The same span twice gives the same frames and sound, whether the frames are read back
// through pixel buffers or directly (an OpenGL older than 2.1 has no pixel buffers); so does a
// span that starts earlier, from its frames on: the frames before --from are run, only not written.
TEST_F(Capture, SameSpanGivesTheSameFrames) {
    ASSERT_EQ(0, capture("a.mkv --fps 10 --from 2.0 --to 3.0", "a"));
    ASSERT_EQ(0, capture("b.mkv --fps 10 --from 2.0 --to 3.0", "b", "MESA_GL_VERSION_OVERRIDE=2.0"));
    EXPECT_EQ(std::string::npos, readFileText(path("a.err")).find("read back directly"));
    EXPECT_NE(std::string::npos, readFileText(path("b.err")).find("read back directly"));
    ASSERT_EQ(0, capture("c.mkv --fps 10 --to 3.0", "c"));
    std::vector<std::string> a = frameHashes(path("a.mkv")), b = frameHashes(path("b.mkv"));
    std::vector<std::string> c = frameHashes(path("c.mkv"));
    ASSERT_EQ(10u, a.size());
    EXPECT_EQ(a, b);
    ASSERT_EQ(30u, c.size());
    EXPECT_EQ(a, std::vector<std::string>(c.begin() + 20, c.end()));
    // pictures of moments are those frames, each run up to from the start; in any order
    ASSERT_EQ(0, capture("still.png --fps 10 --at 2.3,2.0", "still"));
    EXPECT_EQ(a[3], frameHashes(path("still-2.3.png")).at(0));
    EXPECT_EQ(a[0], frameHashes(path("still-2.0.png")).at(0));
    EXPECT_EQ(decodeSound(path("a.mkv")), decodeSound(path("b.mkv")));
    EXPECT_TRUE(readFileText(path("a.mkv")) == readFileText(path("b.mkv"))) << "byte for byte";
}

// Without ffmpeg: numbered PNG frames and the WAV in a folder, the same pictures and sound.
TEST_F(Capture, WithoutFfmpegWritesPngFramesAndAWav) {
    ASSERT_EQ(0, capture("same.mkv --fps 10 --from 2.0 --to 3.0", "same"));
    ASSERT_EQ(0, capture("frames.mkv --fps 10 --from 2.0 --to 3.0", "frames", "PATH=/nonexistent"));
    EXPECT_NE(std::string::npos, readFileText(path("frames.err")).find("ffmpeg not found"));
    EXPECT_NE(0, access(path("frames.mkv").c_str(), F_OK));
    std::vector<std::string> expected = frameHashes(path("same.mkv"));
    ASSERT_EQ(10u, expected.size());
    for (int k = 0; k < 10; k++) {
        char name[64];
        snprintf(name, sizeof name, "frames/frame%06d.png", k);
        std::vector<std::string> png = frameHashes(path(name));
        ASSERT_EQ(1u, png.size()) << name;
        EXPECT_EQ(expected[k], png[0]) << name;
    }
    EXPECT_NE(0, access(path("frames/frame000010.png").c_str(), F_OK));
    EXPECT_EQ(decodeSound(path("same.mkv")), decodeSound(path("frames/audio.wav")));
}

// Without --to the capture runs to the presentation's end: here the end-part stream runs
// out two seconds after the timeline's end (order 21 row 0, past its terminating row).
TEST_F(Capture, RunsToThePresentationsOwnEnd) {
    ASSERT_EQ(0, capture("whole.mkv --fps 10", "whole"));
    std::string log = readFileText(path("whole.err"));
    int64_t switchFrame = loggedFrame(log, "the end part begins");
    EXPECT_EQ(firstFrameHearing(rowTime(21, 0), 10), switchFrame) << log;
    MediaInfo info = probe(path("whole.mkv"));
    // the stream's last sample sounds 20 frames after the switch; the frame after it ends
    EXPECT_GE(info.frames, switchFrame + 20);
    EXPECT_LE(info.frames, switchFrame + 22);
    EXPECT_EQ(size_t(info.frames) * 4410 * 2, decodeSound(path("whole.mkv")).size());
}

// At one frame a second no frame sees the end of the last order: a module of 21 orders of 8
// rows (10.08 s) loops from order 20 row 7 back to order 0, and the first frame after the
// loop ends the timeline instead of letting the module play on.
TEST_F(Capture, AtOneFrameASecondTheTimelineEndsWhenTheModuleLoops) {
    std::string loop = path("loop");
    ASSERT_EQ(0, mkdir(loop.c_str(), 0777));
    ASSERT_EQ(0, symlink(path("data").c_str(), (loop + "/real").c_str()));
    std::string data = "mkdir '" + loop + "/data' && cd '" + loop + "/data' && for f in ../real/*; do "
                       "[ \"$f\" = ../real/compruss.xm ] || ln -s \"$f\" .; done";
    ASSERT_EQ(0, system(data.c_str()));
    ASSERT_TRUE(writeFileBytes(loop + "/data/compruss.xm", captureModule(21)));
    ASSERT_EQ(0, runProgram(CAPTURE_PROGRAM, loop, "slow.mkv --fps 1 --to 60", "slow"));
    std::string log = readFileText(loop + "/slow.err");
    int64_t switchFrame = loggedFrame(log, "the end part begins");
    EXPECT_EQ(firstFrameHearing(rowTime(21, 0), 1), switchFrame) << log;
    // the two seconds of stream, and the end
    EXPECT_LE(probe(loop + "/slow.mkv").frames, switchFrame + 3);
}

// Escape in the capture window stops early and still leaves a complete file.
TEST_F(Capture, EscapeStopsEarlyAndClosesTheFile) {
    std::string command = "cd '" + workDir + "' && ('" CAPTURE_PROGRAM "' escaped.mkv --fps 60 "
                          ">escaped.out 2>escaped.err & pid=$!; "
                          "for i in $(seq 1 100); do xdotool search --name '^vortazov$' >/dev/null 2>&1 && break; "
                          "sleep 0.1; done; sleep 1; xdotool mousemove 320 240 key Escape; wait $pid)";
    int status = system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    std::string log = readFileText(path("escaped.err"));
    EXPECT_NE(std::string::npos, log.find("stopped at frame")) << log;
    MediaInfo info = probe(path("escaped.mkv"));
    EXPECT_GT(info.frames, 0);
    EXPECT_LT(info.frames, 60 * 12) << "it ran to the end: Escape came too late";
    EXPECT_EQ(size_t(info.frames) * 735 * 2, decodeSound(path("escaped.mkv")).size());
    EXPECT_NE(0, access(path("escaped.mkv.wav").c_str(), F_OK)) << "the parts are removed";
}

// Ctrl+C in a terminal reaches its whole foreground process group, and a hang-up the same;
// the capture stops after the frame it is on and still leaves a complete, playable file,
// then ends as the signal would have.
TEST_F(Capture, SignalsToTheWholeGroupStillLeaveAPlayableFile) {
    for (int sig : {SIGINT, SIGHUP}) {
        std::string name = std::string("signal") + sigabbrev_np(sig);
        std::string err = path(name + ".err"), video = name + ".mkv";
        pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0);  // as a terminal's job is
            if (chdir(workDir.c_str()) != 0 || !freopen(err.c_str(), "w", stderr) ||
                !freopen("/dev/null", "w", stdout))
                _exit(127);
            execl(CAPTURE_PROGRAM, CAPTURE_PROGRAM, video.c_str(), "--fps", "60", (char *)nullptr);
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        setpgid(pid, pid);
        for (int i = 0; i < 300 && readFileText(err).find("frame ") == std::string::npos; i++)
            usleep(100000);
        usleep(500000);
        ASSERT_EQ(0, kill(-pid, sig));
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << readFileText(err);
        MediaInfo info = probe(path(video));
        EXPECT_GT(info.frames, 0) << readFileText(err);
        EXPECT_EQ(size_t(info.frames) * 735 * 2, decodeSound(path(video)).size());
        EXPECT_NE(0, access(path(video + ".wav").c_str(), F_OK)) << "the parts are removed";
    }
}

// Pixels in a frame whose colour is a blend of its neighbours': more than `tolerance` from each
// of the 8 around it in some channel, and within their range in every channel.
static size_t blendedPixels(const std::vector<uint8_t> &f, int width, int height, int tolerance) {
    size_t count = 0;
    for (int y = 1; y < height - 1; y++) {
        for (int x = 1; x < width - 1; x++) {
            const uint8_t *p = &f[(size_t(y) * width + x) * 3];
            bool alone = true, between = true;
            for (int c = 0; c < 3; c++) {
                int low = 255, high = 0;
                for (int dy = -1; dy <= 1; dy++)
                    for (int dx = -1; dx <= 1; dx++) {
                        if (!dx && !dy)
                            continue;
                        int v = f[(size_t(y + dy) * width + x + dx) * 3 + c];
                        low = std::min(low, v);
                        high = std::max(high, v);
                    }
                between = between && p[c] >= low && p[c] <= high;
            }
            for (int dy = -1; dy <= 1 && alone; dy++)
                for (int dx = -1; dx <= 1 && alone; dx++) {
                    if (!dx && !dy)
                        continue;
                    const uint8_t *q = &f[(size_t(y + dy) * width + x + dx) * 3];
                    int d = std::max({std::abs(p[0] - q[0]), std::abs(p[1] - q[1]), std::abs(p[2] - q[2])});
                    alone = d > tolerance;
                }
            count += alone && between;
        }
    }
    return count;
}

// Supersampling smooths the edges and nothing else: the same frame at 2 against 1 gains
// blended pixels at edges, differs from 1 only next to its edges, and keeps the status line's
// pixels as they are.
TEST_F(Capture, SupersamplingSmoothsEdgesAndNothingElse) {
    if (!modelsPresent()) {
        printf("no models in data/: nothing with edges to smooth\n");
        return;
    }
    ASSERT_EQ(0, capture("ss1.mkv --fps 10 --supersample 1 --from 2.5 --to 2.6", "ss1"));
    ASSERT_EQ(0, capture("ss2.mkv --fps 10 --supersample 2 --from 2.5 --to 2.6", "ss2"));
    std::vector<std::vector<uint8_t>> one = decodeFrames(path("ss1.mkv"), 640, 480);
    std::vector<std::vector<uint8_t>> two = decodeFrames(path("ss2.mkv"), 640, 480);
    ASSERT_EQ(1u, one.size());
    ASSERT_EQ(1u, two.size());
    const int TOLERANCE = 8;  // channel steps: shading sampled at other points moves by a few
    size_t blendedOne = blendedPixels(one[0], 640, 480, TOLERANCE);
    size_t blendedTwo = blendedPixels(two[0], 640, 480, TOLERANCE);
    // differences next to an edge of the unsmoothed frame (a neighbour more than TOLERANCE
    // away) are the smoothing; anywhere else they would be a change of look
    size_t atEdges = 0, elsewhere = 0;
    for (int y = 0; y < 480; y++) {
        for (int x = 0; x < 640; x++) {
            size_t at = (size_t(y) * 640 + x) * 3;
            int d = 0;
            for (int c = 0; c < 3; c++)
                d = std::max(d, std::abs(one[0][at + c] - two[0][at + c]));
            if (d <= TOLERANCE)
                continue;
            bool edge = false;
            for (int dy = -1; dy <= 1; dy++)
                for (int dx = -1; dx <= 1; dx++) {
                    int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= 640 || ny >= 480)
                        continue;
                    size_t n = (size_t(ny) * 640 + nx) * 3;
                    for (int c = 0; c < 3; c++)
                        edge = edge || std::abs(one[0][at + c] - one[0][n + c]) > TOLERANCE;
                }
            (edge ? atEdges : elsewhere)++;
        }
    }
    printf("blended pixels: %zu at 1, %zu at 2; differing by more than %d: %zu at edges, %zu elsewhere\n",
           blendedOne, blendedTwo, TOLERANCE, atEdges, elsewhere);
    EXPECT_GT(blendedTwo, 10 * blendedOne + 500);
    EXPECT_GT(atEdges, 1000u);
    EXPECT_LE(elsewhere, atEdges / 100);
    // the status line, text and all, in the top-left corner of the frame
    size_t statusDiffering = 0;
    for (int y = 0; y < 14; y++)
        for (int x = 0; x < 260; x++)
            for (int c = 0; c < 3; c++)
                statusDiffering += one[0][(size_t(y) * 640 + x) * 3 + c] != two[0][(size_t(y) * 640 + x) * 3 + c];
    EXPECT_EQ(0u, statusDiffering);
}

// A full disk (a file-size limit here) during the final mux, or during the capture itself,
// leaves nothing under the output's name; the parts kept play, and the message says so.
TEST_F(Capture, AFullDiskLeavesNothingBrokenUnderTheOutputsName) {
    ASSERT_EQ(0, capture("roomy.mkv --fps 10 --from 2.0 --to 3.0", "roomy"));
    std::string videoAlone = "cd '" + workDir + "' && ffmpeg -v error -i roomy.mkv -map 0:v -c copy roomyvideo.mkv";
    ASSERT_EQ(0, system(videoAlone.c_str()));
    struct stat whole, video;
    ASSERT_EQ(0, stat(path("roomy.mkv").c_str(), &whole));
    ASSERT_EQ(0, stat(path("roomyvideo.mkv").c_str(), &video));
    // room for the video part and the WAV (4410 * 4 bytes a frame), not for the muxed file
    long long limit = (video.st_size + whole.st_size) / 2;
    ASSERT_GT(limit, video.st_size + 4096);
    ASSERT_GT(limit, 44 + 44100 * 4);
    EXPECT_EQ(1, capture("full.mkv --fps 10 --from 2.0 --to 3.0", "full", "ulimit -f " + std::to_string(limit / 512) + " &&"));
    std::string log = readFileText(path("full.err"));
    EXPECT_NE(0, access(path("full.mkv").c_str(), F_OK)) << log;
    EXPECT_NE(0, access(path("full.mkv.part").c_str(), F_OK)) << log;
    EXPECT_NE(std::string::npos, log.find("full.mkv could not be completed and was not written; kept: "
                                          "full.mkv.video.mkv (the video without sound, plays up to where it stops) "
                                          "and full.mkv.wav (the sound, plays"))
        << log;
    EXPECT_EQ(10, probe(path("full.mkv.video.mkv")).frames);
    EXPECT_EQ(decodeSound(path("roomy.mkv")), decodeSound(path("full.mkv.wav")));

    // a limit reached within the first second: the capture stops, its H.264 part is cut off
    EXPECT_EQ(1, capture("cut.mp4 --fps 60 --from 2.0 --to 3.0", "cut", "ulimit -f 200 &&"));
    log = readFileText(path("cut.err"));
    EXPECT_NE(0, access(path("cut.mp4").c_str(), F_OK)) << log;
    EXPECT_NE(std::string::npos, log.find("cut.mp4 could not be completed and was not written; kept: "
                                          "cut.mp4.video.ts (the video without sound, plays up to where it stops)"))
        << log;
    MediaInfo cut = probe(path("cut.mp4.video.ts"));
    EXPECT_GT(cut.frames, 0) << log;
    EXPECT_LT(cut.frames, 60) << log;
}

// A disk too small for the capture (a tmpfs of 2 MB in a mount namespace of the test's own): the
// capture says so before it renders anything and leaves nothing there; --force renders anyway,
// and meets the full disk as any capture would.
TEST_F(Capture, ADiskTooSmallIsFoundBeforeRendering) {
    ASSERT_EQ(0, mkdir(path("small").c_str(), 0777));
    // root mounts in a namespace of its own; another user may in a user namespace, where allowed
    std::string unshare;
    for (const char *command : {"unshare -m", "unshare -rm"}) {
        std::string probe = std::string(command) + " sh -c 'mount -t tmpfs -o size=2m tmpfs " + path("small") +
                            "' 2>/dev/null";
        if (system(probe.c_str()) == 0) {
            unshare = command;
            break;
        }
    }
    if (unshare.empty())
        GTEST_SKIP() << "no mount namespace here to make a small disk in";
    // the capture on the small disk; what it left there is listed in NAME.files
    auto onSmallDisk = [&](const std::string &arguments, const std::string &name) {
        std::string command = "cd '" + workDir + "' && " + unshare +
                              " sh -c 'mount -t tmpfs -o size=2m tmpfs small && \"$0\" \"$@\"; status=$?; "
                              "ls small >" + name + ".files; exit $status' '" CAPTURE_PROGRAM "' " + arguments +
                              " >" + name + ".out 2>" + name + ".err";
        int status = system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    // the whole presentation here (about 13 s) takes several MB at 640x480
    EXPECT_EQ(1, onSmallDisk("small/whole.mp4", "tiny"));
    std::string log = readFileText(path("tiny.err"));
    EXPECT_NE(std::string::npos, log.find("small/whole.mp4 would need about ")) << log;
    EXPECT_NE(std::string::npos, log.find("--force renders anyway")) << log;
    EXPECT_EQ(std::string::npos, log.find("frame ")) << "nothing is rendered: " << log;
    EXPECT_EQ("", readFileText(path("tiny.files")));

    EXPECT_EQ(1, onSmallDisk("small/forced.mp4 --fps 10 --force", "forced"));
    log = readFileText(path("forced.err"));
    EXPECT_EQ(std::string::npos, log.find("would need about")) << log;
    EXPECT_NE(std::string::npos, log.find("small/forced.mp4 could not be completed")) << log;
}

TEST_F(Capture, RefusesWhatItCannotWrite) {
    EXPECT_EQ(1, capture("movie.avi --fps 10 --to 1", "avi"));
    EXPECT_NE(0, access(path("movie.avi").c_str(), F_OK));
    EXPECT_EQ(1, capture("odd.mp4 --size 321x240 --to 1", "odd"));
    EXPECT_EQ(2, capture("late.mkv --from 3 --to 2", "late"));
    EXPECT_EQ(2, capture("rate.mkv --fps 0", "rate"));
    EXPECT_EQ(2, capture("--fps 10", "none"));
    EXPECT_EQ(2, capture("junk.mkv --size 320x240junk --to 1", "junk"));
    EXPECT_EQ(2, capture("junk.mkv --fps 10x --to 1", "junk"));
    EXPECT_EQ(2, capture("junk.mkv --size 1080i --to 1", "junk"));
    EXPECT_EQ(2, capture("junk.mkv --supersample 5 --to 1", "junk"));
    EXPECT_EQ(2, capture("junk.mkv --at 1", "junk"));
    EXPECT_EQ(2, capture("junk.png --at 1,x", "junk"));
    EXPECT_EQ(2, capture("junk.png --at 1 --from 0.5", "junk"));
    EXPECT_EQ(1, capture("/nonexistent/o.mp4 --to 1", "unwritable"));
    EXPECT_NE(std::string::npos, readFileText(path("unwritable.err")).find("/nonexistent/o.mp4: cannot write"))
        << "names the output asked for, not a part of it";
    EXPECT_EQ(1, capture("/nonexistent/o.png --fps 10 --at 1", "unwritablestill")) << "a picture not written is a failure";
    EXPECT_EQ(std::string::npos, readFileText(path("unwritablestill.err")).find("wrote"));
    // the presentation ends at about 12 s: nothing falls in the range, and nothing is left behind
    EXPECT_EQ(1, capture("after.mkv --fps 10 --from 100", "after"));
    EXPECT_NE(std::string::npos, readFileText(path("after.err")).find("nothing captured"));
    EXPECT_NE(0, access(path("after.mkv").c_str(), F_OK));
    EXPECT_NE(0, access(path("after.mkv.wav").c_str(), F_OK));
    EXPECT_NE(0, access(path("after.mkv.video.mkv").c_str(), F_OK));
    EXPECT_EQ(1, capture("after.png --fps 10 --at 100", "afterstill"));
    EXPECT_NE(std::string::npos, readFileText(path("afterstill.err")).find("after.png not written"));
}
