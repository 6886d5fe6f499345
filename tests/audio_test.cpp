// audio_test.cpp -- the audio engine on the pull, silent and device back-ends, with files made here and a real server
#include <gtest/gtest.h>

#include <libopenmpt/libopenmpt.hpp>
#include <mpg123.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <thread>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include "audio.h"
#include "audio_files.h"
#include "bass.h"

static std::vector<uint8_t> moduleBytes;  // the test module
static std::string modulePath;            // ... written here
static std::string mp3Path;               // 3 s sweep encoded by lame
static std::vector<uint8_t> mp3Bytes;

class Audio : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!modulePath.empty())
            return;
        moduleBytes = makeTestModule(1);
        modulePath = scratchDir() + "/test.xm";
        ASSERT_TRUE(writeBytes(modulePath, moduleBytes));
        mp3Path = makeTestMp3("sweep", 3.0);
        ASSERT_NE(mp3Path, "") << "lame failed";
        mp3Bytes = readBytes(mp3Path);
    }
    void TearDown() override {
        BASS_Free();
        audioSelectBackend(AUDIO_DEVICE);
        audioSelectOutput(nullptr);
        audioSelectRate(AUDIO_RATE);
    }
};

static std::string order_row(uint32_t word) {
    return std::to_string(word & 0xFFFF) + "/" + std::to_string(word >> 16);
}

// libopenmpt as the engine drives it: no dither, so that samples compare exactly.
static std::unique_ptr<openmpt::module> referenceModule() {
    static std::ostringstream log;
    auto m = std::make_unique<openmpt::module>(moduleBytes, log);
    m->ctl_set_integer("dither", 0);
    return m;
}

static uint32_t referenceWord(openmpt::module &m) {
    return uint32_t(m.get_current_row()) << 16 | uint32_t(m.get_current_order());
}

// libopenmpt's position at every frame of the module rendered at `rate`, from reads of one
// frame: entry f is the order and row that frame f belongs to.
static const std::vector<uint32_t> &positionTable(int rate = 44100) {
    static std::map<int, std::vector<uint32_t>> tables;
    std::vector<uint32_t> &table = tables[rate];
    if (table.empty()) {
        auto m = referenceModule();
        int16_t pcm[2];
        while (m->read_interleaved_stereo(rate, 1, pcm) == 1)
            table.push_back(referenceWord(*m));
    }
    return table;
}

// However the pulls cut the output, the samples are libopenmpt's (read in the engine's
// chunks), then silence; after a pull to frame N the position is that of a frame within
// half a chunk (1.45 ms) of frame N - 1, exactly libopenmpt's report when N ends a chunk,
// and the last row, not the order 0 row 0 of the fade-out, once the song is over.
TEST_F(Audio, PullModuleFollowsLibopenmpt) {
    const std::vector<uint32_t> &table = positionTable();
    audioSelectBackend(AUDIO_PULL);
    ASSERT_NE(BASS_Init(-1, 44100, 0, nullptr), 0);
    EXPECT_EQ(audioBackend(), AUDIO_PULL);
    audioSetLookahead(0.05);  // pulled frames are exact: a lookahead changes nothing here
    HMUSIC music = BASS_MusicLoad(0, modulePath.c_str(), 0, 0, 0);
    ASSERT_NE(music, 0u);
    EXPECT_EQ(BASS_ChannelGetPosition(music), 0u);  // loaded, not yet playing
    BASS_Start();
    ASSERT_NE(BASS_MusicPlay(music), 0);

    auto reference = referenceModule();
    std::vector<int16_t> want;
    std::vector<uint32_t> reportAfterChunk;  // libopenmpt's position after each chunk
    const int chunk = AUDIO_CHUNK_FRAMES;
    std::vector<int16_t> pcm(chunk * 2);
    size_t n;
    while ((n = reference->read_interleaved_stereo(44100, chunk, pcm.data())) > 0) {
        want.insert(want.end(), pcm.begin(), pcm.begin() + n * 2);
        reportAfterChunk.push_back(referenceWord(*reference));
    }
    const int64_t songFrames = int64_t(table.size());
    ASSERT_EQ(int64_t(want.size()) / 2, songFrames);
    const uint32_t lastRow = table[songFrames - 4500];  // before the fade-out
    EXPECT_EQ(order_row(lastRow), "4/7");
    want.resize(want.size() + 2 * 44100, 0);

    int64_t frame = 0;
    uint32_t previous = 0;
    int rowsSeen = 0;
    for (int i = 0; frame < songFrames + 44100; i++) {
        int step = 1 + (i * 7919) % 2500;  // irregular, from one frame to 57 ms
        std::vector<int16_t> got(step * 2, 1);
        ASSERT_EQ(audioPullTo(frame + step, got.data()), step);
        ASSERT_TRUE(std::equal(got.begin(), got.end(), want.begin() + frame * 2)) << "in the pull to " << frame + step;
        frame += step;
        ASSERT_EQ(audioHeardFrame(), frame);
        uint32_t word = BASS_ChannelGetPosition(music);
        if (frame >= songFrames - 4410) {  // the fade-out and after
            ASSERT_EQ(order_row(word), order_row(lastRow)) << "at frame " << frame;
        } else {
            bool near = false;
            for (int64_t f = std::max<int64_t>(0, frame - 1 - chunk / 2); f <= frame - 1 + chunk / 2 && !near; f++)
                near = table[f] == word;
            ASSERT_TRUE(near) << order_row(word) << " at frame " << frame;
            if (frame % chunk == 0) {
                ASSERT_EQ(order_row(word), order_row(reportAfterChunk[frame / chunk - 1]));
            }
        }
        // order and row only ever rise in this module: it has no jumps back
        ASSERT_GE((word & 0xFFFF) * 256 + (word >> 16), (previous & 0xFFFF) * 256 + (previous >> 16));
        rowsSeen += word != previous;
        previous = word;
    }
    EXPECT_GT(rowsSeen, 60);
    EXPECT_EQ(audioRenderedFrames(), frame);
    audioSetLookahead(0);
}

// With the loop flag the song starts over at its end and keeps sounding; without it, it
// falls silent.
TEST_F(Audio, LoopFlagLoopsTheModule) {
    audioSelectBackend(AUDIO_PULL);
    ASSERT_NE(BASS_Init(-1, 44100, 0, nullptr), 0);
    HMUSIC music = BASS_MusicLoad(0, modulePath.c_str(), 0, 0, BASS_LOOP);
    ASSERT_NE(music, 0u);
    BASS_MusicPlay(music);
    const int songFrames = 296793;  // one pass, as libopenmpt renders it
    std::vector<int16_t> pcm(2048 * 2);
    int passes = 0, lastOrder = 0;
    int64_t loudLate = 0;
    for (int64_t frame = 2048; frame <= 3 * songFrames; frame += 2048) {
        ASSERT_EQ(audioPullTo(frame, pcm.data()), 2048);
        int order = BASS_ChannelGetPosition(music) & 0xFFFF;
        if (order < lastOrder)
            passes++;
        lastOrder = order;
        if (frame > 2 * songFrames)
            for (int16_t v : pcm)
                loudLate += v != 0;
    }
    EXPECT_EQ(passes, 2);
    EXPECT_GT(loudLate, 100000);

    // the same module without the flag: silence after one pass
    music = BASS_MusicLoad(0, modulePath.c_str(), 0, 0, 0);
    BASS_MusicPlay(music);
    int64_t start = audioRenderedFrames();
    audioPullTo(start + songFrames + 8000, nullptr);  // the song and its fade-out
    std::vector<int16_t> after(44100 * 2, 7);
    ASSERT_EQ(audioPullTo(start + songFrames + 8000 + 44100, after.data()), 44100);
    EXPECT_EQ(std::count(after.begin(), after.end(), 0), long(after.size()));
    EXPECT_EQ(order_row(BASS_ChannelGetPosition(music)), "4/7");
}

struct Mp3Layout {
    std::vector<Mp3Frame> frames;  // every frame, the tag frame first
    int delay = 0;                 // encoder delay and padding, from the encoder's tag
    int padding = 0;
};

static Mp3Layout layoutOf(const std::vector<uint8_t> &file) {
    Mp3Layout layout;
    layout.frames = walkMp3Frames(file);
    for (size_t x = 0; x + 144 < file.size() && x < 64; x++)
        if (memcmp(&file[x], "Info", 4) == 0 || memcmp(&file[x], "Xing", 4) == 0) {
            layout.delay = file[x + 141] << 4 | file[x + 142] >> 4;
            layout.padding = (file[x + 142] & 15) << 8 | file[x + 143];
        }
    return layout;
}

// The file offset the stream must report while output frame `sample` (counted from the
// stream's start) is heard: the MPEG frame that coded it. The decoder delays everything by
// 529 samples, which gapless decoding trims along with the encoder's delay and padding.
static uint32_t expectedOffset(const Mp3Layout &layout, int64_t sample, uint32_t length) {
    const int decoderDelay = 529;
    int64_t audioFrames = int64_t(layout.frames.size()) - 1;
    int64_t total = audioFrames * 1152 - layout.delay - layout.padding;
    if (sample < 0)
        return 0;
    if (sample >= total)
        return length;
    int64_t coded = (sample + layout.delay + decoderDelay) / 1152;
    return layout.frames[1 + coded].offset;
}

// Offsets follow the frame headers sample for sample; the length is the file's; the
// position reaches the length when the last sample has been heard, and stays there.
TEST_F(Audio, PullStreamPositionsFollowFrameHeaders) {
    Mp3Layout layout = layoutOf(mp3Bytes);
    ASSERT_GT(layout.frames.size(), 100u);
    ASSERT_EQ(layout.frames.back().offset + layout.frames.back().length, mp3Bytes.size());
    ASSERT_EQ(layout.delay, 576);

    audioSelectBackend(AUDIO_PULL);
    ASSERT_NE(BASS_Init(-1, 44100, 0, nullptr), 0);
    audioPullTo(1000, nullptr);  // the stream starts later than the output
    HSTREAM s = BASS_StreamCreateFile(0, mp3Path.c_str(), 0, 0, BASS_LOOP);
    ASSERT_NE(s, 0u);
    uint32_t length = BASS_StreamGetLength(s);
    EXPECT_EQ(length, mp3Bytes.size());
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), 0u);
    BASS_Start();
    ASSERT_NE(BASS_StreamPlay(s, 1, BASS_LOOP), 0);
    int64_t start = audioRenderedFrames();
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), 0u);

    // the reference: the same file decoded by mpg123 on its own
    mpg123_init();
    mpg123_handle *h = mpg123_new(nullptr, nullptr);
    mpg123_format_none(h);
    mpg123_format(h, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    ASSERT_EQ(mpg123_open(h, mp3Path.c_str()), MPG123_OK);
    std::vector<int16_t> want;
    for (;;) {
        off_t n;
        unsigned char *pcm;
        size_t bytes = 0;
        int r = mpg123_decode_frame(h, &n, &pcm, &bytes);
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT)
            break;
        want.insert(want.end(), (int16_t *)pcm, (int16_t *)(pcm + bytes));
    }
    mpg123_close(h);
    mpg123_delete(h);
    int64_t total = int64_t(want.size()) / 2;
    EXPECT_EQ(total, 3 * 44100);

    std::vector<int16_t> got;
    std::vector<uint32_t> seen;
    int64_t frame = start;
    for (int i = 0; frame < start + total + 3000; i++) {
        int step = 1 + (i * 4513) % 1100;  // under a frame's 1152, so none is missed
        std::vector<int16_t> buffer(step * 2);
        frame += step;
        ASSERT_EQ(audioPullTo(frame, buffer.data()), step);
        got.insert(got.end(), buffer.begin(), buffer.end());
        uint32_t position = BASS_StreamGetFilePosition(s, 0);
        ASSERT_EQ(position, expectedOffset(layout, frame - 1 - start, length)) << "frame " << frame - start;
        if (seen.empty() || seen.back() != position)
            seen.push_back(position);
    }
    // every frame that codes sound was reported in turn, then the length
    EXPECT_EQ(seen.front(), layout.frames[1].offset);
    EXPECT_EQ(seen.back(), length);
    EXPECT_GE(seen.size(), layout.frames.size() - 2);
    got.resize(want.size() + 2000, 1);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
    EXPECT_EQ(std::count(got.begin() + want.size(), got.end(), 0), 2000);

    // the exact moment: heard up to the last sample is not yet the end, one more is
    ASSERT_NE(BASS_StreamPlay(s, 1, 0), 0);
    start = audioRenderedFrames();
    audioPullTo(start + total, nullptr);
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), layout.frames.back().offset);
    audioPullTo(start + total + 1, nullptr);
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), length);
    audioPullTo(start + total + 44100, nullptr);  // it plays once: loop flags are ignored
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), length);
    EXPECT_EQ(BASS_StreamGetLength(s), length);
}

// An output at 48000 Hz (a server that runs at that rate) hears the same positions at the
// same times as one at 44100: the stream's file offsets sample for sample (output frame k is
// time k / 48000, so the MP3's sample k * 441 / 480), the module's order and row within half
// a chunk, and the stream ends at its length in time.
TEST_F(Audio, PositionsAreTheSameAt48000) {
    const std::vector<uint32_t> &table = positionTable();
    Mp3Layout layout = layoutOf(mp3Bytes);
    audioSelectRate(48000);
    audioSelectBackend(AUDIO_PULL);
    ASSERT_NE(BASS_Init(-1, 44100, 0, nullptr), 0);
    EXPECT_EQ(audioOutputRate(), 48000);
    HMUSIC music = BASS_MusicLoad(0, modulePath.c_str(), 0, 0, 0);
    HSTREAM s = BASS_StreamCreateFile(0, mp3Path.c_str(), 0, 0, 0);
    ASSERT_NE(music, 0u);
    ASSERT_NE(s, 0u);
    uint32_t length = BASS_StreamGetLength(s);
    BASS_Start();
    ASSERT_NE(BASS_MusicPlay(music), 0);
    ASSERT_NE(BASS_StreamPlay(s, 1, 0), 0);
    const int64_t streamFrames = 3 * 48000;
    const int halfChunk = AUDIO_CHUNK_FRAMES / 2 + 1;  // in frames at 44100 Hz, rounded up
    std::vector<int16_t> pcm(2 * 1100);
    double loudness = 0;
    int64_t frame = 0;
    for (int i = 0; frame < streamFrames + 2000; i++) {
        int step = 1 + (i * 4513) % 1100;
        ASSERT_EQ(audioPullTo(frame + step, pcm.data()), step);
        for (int k = 0; k < step * 2; k++)
            loudness += std::abs(pcm[k]);
        frame += step;
        int64_t at44100 = (frame - 1) * 441 / 480;  // the sample heard last, at 44100 Hz
        ASSERT_EQ(BASS_StreamGetFilePosition(s, 0), expectedOffset(layout, at44100, length)) << "frame " << frame;
        uint32_t word = BASS_ChannelGetPosition(music);
        bool near = false;
        for (int64_t f = std::max<int64_t>(0, at44100 - halfChunk); f <= at44100 + halfChunk && !near; f++)
            near = table[f] == word;
        ASSERT_TRUE(near) << order_row(word) << " at frame " << frame;
    }
    EXPECT_GT(loudness / (2.0 * frame), 100);  // the music sounds at that rate
    // the stream's last sample is heard at 48000 * its length in seconds, and then it ends
    BASS_Free();
    ASSERT_NE(BASS_Init(-1, 44100, 0, nullptr), 0);
    s = BASS_StreamCreateFile(0, mp3Path.c_str(), 0, 0, 0);
    ASSERT_NE(BASS_StreamPlay(s, 1, 0), 0);
    audioPullTo(streamFrames, nullptr);
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), layout.frames.back().offset);
    audioPullTo(streamFrames + 1, nullptr);
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), length);
}

// BASS_Stop silences everything and freezes the positions; BASS_Start alone does not
// bring the channels back; playing again starts from the beginning, sample for sample.
TEST_F(Audio, StopStartAndPlayAgain) {
    audioSelectBackend(AUDIO_PULL);
    ASSERT_NE(BASS_Init(-1, 44100, 0, nullptr), 0);
    HMUSIC music = BASS_MusicLoad(0, modulePath.c_str(), 0, 0, BASS_LOOP);
    HSTREAM s = BASS_StreamCreateFile(0, mp3Path.c_str(), 0, 0, 0);
    ASSERT_NE(music, 0u);
    ASSERT_NE(s, 0u);
    BASS_Start();
    BASS_MusicPlay(music);
    std::vector<int16_t> first(60000 * 2), again(60000 * 2), quiet(10000 * 2, 5);
    int64_t t = audioRenderedFrames();
    audioPullTo(t + 60000, first.data());
    uint32_t at60000 = BASS_ChannelGetPosition(music);
    audioPullTo(t + 90000, nullptr);
    uint32_t at90000 = BASS_ChannelGetPosition(music);
    EXPECT_NE(at90000, at60000);

    BASS_Stop();
    EXPECT_EQ(BASS_ChannelGetPosition(music), at90000);
    audioPullTo(t + 100000, quiet.data());
    EXPECT_EQ(std::count(quiet.begin(), quiet.end(), 0), long(quiet.size()));
    BASS_Start();
    audioPullTo(t + 110000, quiet.data());
    EXPECT_EQ(std::count(quiet.begin(), quiet.end(), 0), long(quiet.size()));
    EXPECT_EQ(BASS_ChannelGetPosition(music), at90000);

    BASS_MusicPlay(music);
    EXPECT_EQ(BASS_ChannelGetPosition(music), 0u);
    t = audioRenderedFrames();
    audioPullTo(t + 60000, again.data());
    EXPECT_EQ(again, first);
    EXPECT_EQ(BASS_ChannelGetPosition(music), at60000);

    // the stream the same way, while the module plays on
    BASS_StreamPlay(s, 1, 0);
    audioPullTo(audioRenderedFrames() + 30000, nullptr);
    uint32_t streamAt = BASS_StreamGetFilePosition(s, 0);
    EXPECT_GT(streamAt, 417u * 20);
    BASS_Stop();
    audioPullTo(audioRenderedFrames() + 30000, nullptr);
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), streamAt);
    BASS_Start();
    BASS_StreamPlay(s, 1, 0);
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), 0u);
    audioPullTo(audioRenderedFrames() + 40, nullptr);
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), 417u);  // the first frame after the tag frame
    EXPECT_EQ(BASS_ChannelGetPosition(music), at90000);  // the module stays stopped
}

static std::string writeScratch(const std::string &name, const std::vector<uint8_t> &bytes) {
    std::string path = scratchDir() + "/" + name;
    EXPECT_TRUE(writeBytes(path, bytes));
    return path;
}

// Handle 0 and files that are missing, empty, cut short or not what their name says:
// handle 0 from the loads, harmless answers from everything else, before BASS_Init and
// after BASS_Free too.
TEST_F(Audio, HandleZeroAndBadFiles) {
    EXPECT_EQ(BASS_MusicLoad(0, modulePath.c_str(), 0, 0, 0), 0u);  // not initialised
    EXPECT_EQ(BASS_ChannelGetPosition(0), 0xFFFFFFFFu);

    audioSelectBackend(AUDIO_PULL);
    ASSERT_NE(BASS_Init(-1, 44100, 0, nullptr), 0);
    EXPECT_EQ(BASS_ChannelGetPosition(0), 0xFFFFFFFFu);
    EXPECT_EQ(BASS_StreamGetFilePosition(0, 0), 0u);
    EXPECT_EQ(BASS_StreamGetLength(0), 0u);
    EXPECT_EQ(BASS_StreamFree(0), 0);
    EXPECT_EQ(BASS_MusicPlay(0), 0);
    EXPECT_EQ(BASS_StreamPlay(0, 1, 4), 0);

    std::vector<uint8_t> text(2000);
    for (size_t i = 0; i < text.size(); i++)
        text[i] = "Not a module, just some words.\n"[i % 31];
    std::vector<std::string> badModules = {
        scratchDir() + "/missing.xm",
        writeScratch("empty.xm", {}),
        writeScratch("text.xm", text),
        mp3Path,
    };
    // each refusal says why, as the player prints it after its own message
    std::vector<std::string> reasons = {"No such file or directory", "empty file", "not an XM module",
                                        "not an XM module"};
    reasons.resize(badModules.size() + 6, "truncated XM module");
    for (size_t cut : {10ul, 59ul, 80ul, 336ul, moduleBytes.size() / 2, moduleBytes.size() - 1})
        badModules.push_back(writeScratch("cut" + std::to_string(cut) + ".xm",
                                          std::vector<uint8_t>(moduleBytes.begin(), moduleBytes.begin() + cut)));
    reasons[4] = "not an XM module";  // 10 bytes: the signature is cut
    badModules.push_back(scratchDir());
    reasons.push_back("a folder, not a file");
    // a named pipe with no writer is refused at once: reading it would wait for ever
    std::string fifo = scratchDir() + "/fifo.xm";
    remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    badModules.push_back(fifo);
    reasons.push_back("a named pipe (FIFO), not a regular file");
    // a file over the limit is refused on its size, before it is read (a sparse file here)
    std::string huge = scratchDir() + "/huge.xm";
    FILE *f = fopen(huge.c_str(), "wb");
    ASSERT_TRUE(f && ftruncate(fileno(f), int64_t(2) << 30) == 0);
    fclose(f);
    badModules.push_back(huge);
    reasons.push_back("file too large (2147483648 bytes)");
    for (size_t i = 0; i < badModules.size(); i++) {
        EXPECT_EQ(BASS_MusicLoad(0, badModules[i].c_str(), 0, 0, 4), 0u) << badModules[i];
        EXPECT_STREQ(audioLoadError(), reasons[i].c_str()) << badModules[i];
    }
    EXPECT_EQ(BASS_StreamCreateFile(0, huge.c_str(), 0, 0, 4), 0u);
    EXPECT_STREQ(audioLoadError(), "file too large (2147483648 bytes)");
    // from memory: the bytes the file holds load as the file does, a part of them does not
    HMUSIC fromMemory = BASS_MusicLoad(1, reinterpret_cast<const char *>(moduleBytes.data()), 0, DWORD(moduleBytes.size()), 4);
    EXPECT_NE(fromMemory, 0u);
    EXPECT_STREQ(audioLoadError(), "");
    EXPECT_EQ(BASS_MusicLoad(1, reinterpret_cast<const char *>(moduleBytes.data()), 0, DWORD(moduleBytes.size() / 2), 4), 0u);
    EXPECT_STREQ(audioLoadError(), "truncated XM module");
    HSTREAM memoryStream = BASS_StreamCreateFile(1, reinterpret_cast<const char *>(mp3Bytes.data()), 0, DWORD(mp3Bytes.size()), 0);
    EXPECT_NE(memoryStream, 0u);
    EXPECT_EQ(BASS_StreamGetLength(memoryStream), mp3Bytes.size());

    std::vector<std::string> badStreams = {
        scratchDir() + "/missing.mp3",
        writeScratch("empty.mp3", {}),
        writeScratch("text.mp3", text),
        writeScratch("tagonly.mp3", std::vector<uint8_t>(mp3Bytes.begin(), mp3Bytes.begin() + 417)),
        writeScratch("cut.mp3", std::vector<uint8_t>(mp3Bytes.begin(), mp3Bytes.begin() + 300)),
    };
    const char *streamReasons[] = {"No such file or directory", "empty file", "not an MP3 stream",
                                   "not an MP3 stream", "not an MP3 stream"};
    for (size_t i = 0; i < badStreams.size(); i++) {
        EXPECT_EQ(BASS_StreamCreateFile(0, badStreams[i].c_str(), 0, 0, 4), 0u) << badStreams[i];
        EXPECT_STREQ(audioLoadError(), streamReasons[i]) << badStreams[i];
    }

    // a stream cut in the middle of a frame plays what it has and ends at its length
    std::string half = writeScratch("half.mp3", std::vector<uint8_t>(mp3Bytes.begin(), mp3Bytes.begin() + 20000));
    HSTREAM s = BASS_StreamCreateFile(0, half.c_str(), 0, 0, 4);
    ASSERT_NE(s, 0u);
    EXPECT_EQ(BASS_StreamGetLength(s), 20000u);
    BASS_StreamPlay(s, 1, 4);
    audioPullTo(audioRenderedFrames() + 3 * 44100, nullptr);
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), 20000u);

    // the failures left nothing behind: a good module still loads and plays
    HMUSIC music = BASS_MusicLoad(0, modulePath.c_str(), 0, 0, 4);
    ASSERT_NE(music, 0u);
    EXPECT_EQ(BASS_ChannelGetPosition(s), 0xFFFFFFFFu);  // a stream is no module
    EXPECT_EQ(BASS_StreamGetLength(music), 0u);
    BASS_MusicPlay(music);
    audioPullTo(audioRenderedFrames() + 44100, nullptr);
    EXPECT_NE(BASS_ChannelGetPosition(music), 0u);

    // the shutdown order of the program, then everything again
    BASS_Stop();
    BASS_Free();
    EXPECT_EQ(BASS_StreamFree(s), 0);
    EXPECT_EQ(BASS_StreamFree(0), 0);
    EXPECT_EQ(BASS_ChannelGetPosition(music), 0xFFFFFFFFu);
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), 0u);
    EXPECT_EQ(BASS_StreamGetLength(s), 0u);
    EXPECT_EQ(BASS_MusicPlay(music), 0);
    EXPECT_EQ(BASS_Start(), 0);
    EXPECT_EQ(BASS_Stop(), 0);
    EXPECT_EQ(audioPullTo(100000, nullptr), 0);
    BASS_Free();
}

using Clock = std::chrono::steady_clock;

static double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Plays the module for `seconds` of real time on whatever back-end is open and checks that
// time runs at the output rate and that each position was libopenmpt's within a buffer of
// the frame heard then.
static void checkRealTimeModule(double seconds) {
    const std::vector<uint32_t> &table = positionTable(audioOutputRate());
    HMUSIC music = BASS_MusicLoad(0, modulePath.c_str(), 0, 0, 4);
    ASSERT_NE(music, 0u);
    BASS_Start();
    BASS_MusicPlay(music);
    int64_t playedAt = audioRenderedFrames();  // the module begins at the next buffer
    int64_t heardAtStart = audioHeardFrame();
    Clock::time_point start = Clock::now();
    int checked = 0, distinct = 0;
    uint32_t previous = 0;
    while (secondsSince(start) < seconds) {
        int64_t before = audioHeardFrame();
        uint32_t word = BASS_ChannelGetPosition(music);
        int64_t after = audioHeardFrame();
        ASSERT_GE(after, before);
        distinct += word != previous;
        previous = word;
        // the module's frame 0 is output frame playedAt, or one device buffer later
        bool found = false;
        for (int64_t f = before - 1 - playedAt - 4096; f <= after - playedAt + AUDIO_CHUNK_FRAMES && !found; f++)
            found = word == (f < 0 ? 0 : table[std::min<int64_t>(f, table.size() - 1)]);
        ASSERT_TRUE(found) << order_row(word) << " while hearing frame " << before - playedAt;
        checked++;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    double rate = (audioHeardFrame() - heardAtStart) / secondsSince(start);
    EXPECT_NEAR(rate, audioOutputRate(), 0.1 * audioOutputRate());
    EXPECT_GT(checked, 100);
    EXPECT_GE(distinct, int(seconds * 6));  // rows last 120 ms at the start
}

// The silent back-end: no device, the clock runs in real time, the module and the stream
// play on it, and the stream's position reaches its length when it has played out.
TEST_F(Audio, SilentClockPlaysInRealTime) {
    audioSelectBackend(AUDIO_SILENT);
    EXPECT_EQ(BASS_Init(-1, 44100, 0, nullptr), 0);
    EXPECT_EQ(audioBackend(), AUDIO_SILENT);
    checkRealTimeModule(1.5);

    // the frame driver's end test on a one-second stream
    std::string shortMp3 = makeTestMp3("short", 1.0);
    HSTREAM s = BASS_StreamCreateFile(0, shortMp3.c_str(), 0, 0, 4);
    ASSERT_NE(s, 0u);
    BASS_Stop();
    BASS_Start();
    BASS_StreamPlay(s, 1, 4);
    Clock::time_point start = Clock::now();
    uint32_t previous = 0;
    while (BASS_StreamGetFilePosition(s, 0) < BASS_StreamGetLength(s) && secondsSince(start) < 5) {
        uint32_t position = BASS_StreamGetFilePosition(s, 0);
        ASSERT_GE(position, previous);
        previous = position;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_NEAR(secondsSince(start), 1.0, 0.15);
    EXPECT_GT(previous, 15000u);

    // a lookahead moves the queries on by that much, within what is rendered already
    audioSetLookahead(0.01);
    // (the clock runs on between the calls, so the query is bounded by the frames heard around it)
    int64_t heardBefore = audioHeardFrame();
    int64_t queried = audioQueriedFrame();
    int64_t heardAfter = audioHeardFrame();
    EXPECT_GE(queried - heardBefore, 430);
    EXPECT_LE(queried - heardAfter, 441);
    // a lookahead that falls (a slow frame, then quick ones) holds the answer, never moves it back
    audioSetLookahead(0.04);
    int64_t ahead = audioQueriedFrame();
    audioSetLookahead(0.001);
    EXPECT_GE(audioQueriedFrame(), ahead);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_LE(audioQueriedFrame(), audioHeardFrame() + 45) << "once the music has caught up, the new lookahead holds";
    audioSetLookahead(0);
}

// With no sound server to reach (neither PipeWire nor one that speaks PulseAudio's protocol)
// the engine falls back to the silent clock and says so.
TEST_F(Audio, NoServerFallsBackToSilentClock) {
    const char *variables[] = {"PULSE_SERVER", "PIPEWIRE_REMOTE"};
    std::string saved[2];
    bool wasSet[2];
    for (int i = 0; i < 2; i++) {
        const char *value = getenv(variables[i]);
        wasSet[i] = value != nullptr;
        saved[i] = value ? value : "";
    }
    setenv("PULSE_SERVER", ("unix:" + scratchDir() + "/no-server").c_str(), 1);
    setenv("PIPEWIRE_REMOTE", (scratchDir() + "/no-server").c_str(), 1);
    EXPECT_EQ(BASS_Init(-1, 44100, 0, nullptr), 0);
    EXPECT_EQ(audioBackend(), AUDIO_SILENT);
    EXPECT_STREQ(audioOutputName(), "silent");
    checkRealTimeModule(0.5);
    // the engine keeps trying to open an output until it is freed: only then may the
    // servers be as they were
    BASS_Free();
    for (int i = 0; i < 2; i++) {
        if (wasSet[i])
            setenv(variables[i], saved[i].c_str(), 1);
        else
            unsetenv(variables[i]);
    }
}

// A real server with a null sink (ctest runs this program under with_sound_server, once
// with PulseAudio and once with PipeWire): with no output chosen, PipeWire's own stream is
// taken where PipeWire runs and cubeb's pulse back-end otherwise; the device opens at the
// sink's rate, time runs at that rate, the positions follow what is heard, and the sink's
// monitor records the module sample for sample, after the silence before BASS_MusicPlay.
TEST_F(Audio, DevicePlaysOnARealServer) {
    const char *kind = getenv("SOUND_SERVER_KIND");
    if (!getenv("PULSE_SERVER") || !kind)
        GTEST_SKIP() << "run under with_sound_server for a server of the test's own";
    bool pipewire = strncmp(kind, "pipewire", 8) == 0;
    int sinkRate = strcmp(kind, "pipewire") == 0 ? 48000 : 44100;
    std::string rateOption = "--rate=" + std::to_string(sinkRate);
    std::string recording = scratchDir() + "/monitor.raw";
    pid_t recorder = fork();
    if (recorder == 0) {
        FILE *out = fopen(recording.c_str(), "wb");
        if (!out)
            _exit(127);
        dup2(fileno(out), 1);
        execlp("parec", "parec", "-d", "vortazov_null.monitor", "--raw", "--format=s16le", rateOption.c_str(),
               "--channels=2", "--latency-msec=20", (char *)nullptr);
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the recorder connects
    EXPECT_NE(BASS_Init(-1, 44100, 0, nullptr), 0);
    ASSERT_EQ(audioBackend(), AUDIO_DEVICE);
    EXPECT_STREQ(audioOutputName(), pipewire ? "pipewire" : "pulse");
    EXPECT_EQ(audioOutputRate(), sinkRate);
    // PulseAudio's null sink asks for nothing more than cubeb's first write for about two
    // seconds (its latency is two seconds until a client lowers it); the clock waits with it
    Clock::time_point opened = Clock::now();
    while (audioRenderedFrames() < 4 * 2048 && secondsSince(opened) < 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    checkRealTimeModule(1.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the last buffers reach the sink
    BASS_Free();
    kill(recorder, SIGTERM);
    waitpid(recorder, nullptr, 0);

    std::vector<uint8_t> raw = readBytes(recording);
    std::vector<int16_t> written(raw.size() / 2);
    memcpy(written.data(), raw.data(), written.size() * 2);
    size_t first = 0;
    while (first < written.size() && written[first] == 0)
        first++;
    first &= ~size_t(1);
    auto reference = referenceModule();
    std::vector<int16_t> want(44800 * 2);
    for (int f = 0; f < 44800; f += AUDIO_CHUNK_FRAMES)  // in the engine's chunks
        reference->read_interleaved_stereo(sinkRate, AUDIO_CHUNK_FRAMES, want.data() + f * 2);
    size_t lead = 0;
    while (want[lead] == 0)
        lead++;
    lead &= ~size_t(1);
    ASSERT_GT(written.size(), first + 40000 * 2);
    EXPECT_TRUE(std::equal(written.begin() + first, written.begin() + first + 40000 * 2, want.begin() + lead));
}
