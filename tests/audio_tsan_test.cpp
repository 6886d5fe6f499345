// audio_tsan_test.cpp -- the engine under ThreadSanitizer: the audio thread renders while the main thread queries and controls
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio.h"
#include "audio_files.h"
#include "bass.h"

using Clock = std::chrono::steady_clock;

// Every operation of the interface from the main thread while the silent clock's thread, or
// cubeb's with the keeper watching it (on the server ctest starts for this test), renders the
// module and the stream. The sanitizer fails the program on any data race; the test itself
// checks that the positions still move.
class AudioThreads : public ::testing::TestWithParam<AudioBackend> {};

TEST_P(AudioThreads, QueriesAndControlWhileTheAudioThreadRenders) {
    if (GetParam() == AUDIO_DEVICE && !getenv("PULSE_SERVER"))
        GTEST_SKIP() << "run under with_sound_server for a server of the test's own";
    std::string xm = scratchDir() + "/tsan.xm";
    ASSERT_TRUE(writeBytes(xm, makeTestModule(1)));
    std::string mp3 = makeTestMp3("tsan", 1.0);
    ASSERT_NE(mp3, "");

    audioSelectBackend(GetParam());
    BASS_Init(-1, 44100, 0, nullptr);
    // PulseAudio's null sink holds a new stream's first write for about two seconds, while
    // cubeb already fills its buffer and the clock runs a little ahead: wait until half a
    // second has been heard
    Clock::time_point opened = Clock::now();
    while (GetParam() == AUDIO_DEVICE && audioHeardFrame() < 44100 / 2 && Clock::now() - opened < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    HMUSIC music = BASS_MusicLoad(0, xm.c_str(), 0, 0, BASS_LOOP);
    ASSERT_NE(music, 0u);
    BASS_Start();
    BASS_MusicPlay(music);
    Clock::time_point start = Clock::now();
    uint32_t previous = BASS_ChannelGetPosition(music);
    int changes = 0;
    bool replayed = false;
    while (Clock::now() - start < std::chrono::milliseconds(1500)) {
        uint32_t word = BASS_ChannelGetPosition(music);
        changes += word != previous;
        previous = word;
        audioHeardFrame();
        audioRenderedFrames();
        if (!replayed && Clock::now() - start > std::chrono::milliseconds(700)) {
            BASS_MusicPlay(music);  // a fresh player swapped in under the audio thread
            replayed = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GT(changes, 10);

    // the switch to the end part, then the stream played out
    BASS_Stop();
    HSTREAM s = BASS_StreamCreateFile(0, mp3.c_str(), 0, 0, BASS_LOOP);
    ASSERT_NE(s, 0u);
    BASS_Start();
    BASS_StreamPlay(s, 1, BASS_LOOP);
    start = Clock::now();
    while (BASS_StreamGetFilePosition(s, 0) < BASS_StreamGetLength(s) &&
           Clock::now() - start < std::chrono::seconds(4))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(BASS_StreamGetFilePosition(s, 0), BASS_StreamGetLength(s));
    BASS_Stop();
    BASS_Free();
    BASS_StreamFree(s);
}

INSTANTIATE_TEST_SUITE_P(Outputs, AudioThreads, ::testing::Values(AUDIO_SILENT, AUDIO_DEVICE),
                         [](const ::testing::TestParamInfo<AudioBackend> &info) {
                             return std::string(info.param == AUDIO_SILENT ? "Silent" : "Device");
                         });
