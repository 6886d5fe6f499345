// websound_test.cpp -- the web build's sounds: websound's tables read back against the pull back-end, its MP3s aligned with their render, broken tables refused
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>

#include "audio.h"
#include "audio_files.h"
#include "bass.h"
#include "soundtable.h"

static std::string outDir;  // websound's output for data/, made once

// Runs websound on the shipped music once for the whole program.
static const std::string &websoundOutput() {
    if (outDir.empty()) {
        std::string dir = scratchDir() + "/site";
        std::string command = "mkdir -p '" + dir + "' && '" WEBSOUND_PATH "' data/compruss.xm data/farewell.mp3 '" +
                              dir + "' > /dev/null";
        if (std::system(command.c_str()) == 0)
            outDir = dir;
    }
    return outDir;
}

static SoundTable readTable(const std::string &path) {
    std::vector<uint8_t> bytes = readBytes(path);
    SoundTable table;
    std::string why = readSoundTable(bytes.data(), bytes.size(), table);
    EXPECT_EQ(why, "") << path;
    return table;
}

// The frames where the answers are checked: a spread over the whole sound, and each change
// and each end with the frames either side of it, rising.
static std::vector<int64_t> checkedFrames(const SoundTable &t) {
    std::set<int64_t> frames;
    for (int64_t f = 0; f <= int64_t(t.frames); f += 997)
        frames.insert(f);
    auto around = [&](int64_t f) {
        for (int64_t d = -1; d <= 1; d++)
            if (f + d >= 0 && f + d <= int64_t(t.frames))
                frames.insert(f + d);
    };
    for (const SoundChange &c : t.changes)
        around(c.frame);
    for (uint32_t e : t.ends)
        around(e);
    frames.insert(t.frames);
    return std::vector<int64_t>(frames.begin(), frames.end());
}

// Mono -1..1 of an interleaved stereo render.
static std::vector<float> mono(const std::vector<int16_t> &pcm) {
    std::vector<float> out(pcm.size() / 2);
    for (size_t i = 0; i < out.size(); i++)
        out[i] = float((pcm[2 * i] + pcm[2 * i + 1]) / 2) / 32768.0f;
    return out;
}

// An MP3 decoded through the engine's stream (mpg123, gapless) from its start to its end.
static std::vector<int16_t> decodeMp3(const std::string &path) {
    audioSelectBackend(AUDIO_PULL);
    BASS_Init(-1, AUDIO_RATE, 0, nullptr);
    HSTREAM s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
    EXPECT_NE(s, 0u) << path << ": " << audioLoadError();
    BASS_StreamPlay(s, 1, 0);
    std::vector<int16_t> pcm;
    while (s && BASS_StreamGetFilePosition(s, 0) < BASS_StreamGetLength(s)) {
        int64_t from = audioRenderedFrames();
        pcm.resize(size_t(from + 4096) * 2);
        audioPullTo(from + 4096, pcm.data() + from * 2);
    }
    BASS_Free();
    return pcm;
}

static SoundAlignment align(const SoundTable &t, const std::vector<float> &decoded, std::string &why) {
    int64_t from;
    int count;
    alignmentSpan(t, int64_t(decoded.size()), from, count);
    SoundAlignment a;
    why = alignDecoded(t, decoded.data() + from, from, count, a);
    return a;
}

// The engine pulled afresh to each checked frame answers what the table says there, and the
// samples it renders are the ones lame encoded: decoded with mpg123 they line up at shift 0.
// A decoder that adds its delay is found out by the shift, and another sound by the match.
TEST(Websound, TablesAnswerAsThePullBackEndAndTheMp3sAlign) {
    const std::string &dir = websoundOutput();
    ASSERT_NE(dir, "") << "websound failed";
    for (bool module : {true, false}) {
        std::string name = module ? "compruss" : "farewell";
        SoundTable t = readTable(dir + "/" + name + ".pos");
        ASSERT_EQ(t.kind, module ? SOUND_MODULE : SOUND_STREAM);
        ASSERT_EQ(t.rate, AUDIO_RATE);

        audioSelectBackend(AUDIO_PULL);
        BASS_Init(-1, AUDIO_RATE, 0, nullptr);
        DWORD handle = module ? BASS_MusicLoad(0, "data/compruss.xm", 0, 0, BASS_LOOP)
                              : BASS_StreamCreateFile(0, "data/farewell.mp3", 0, 0, 0);
        ASSERT_NE(handle, 0u);
        if (module)
            BASS_MusicPlay(handle);
        else
            BASS_StreamPlay(handle, 1, 0);
        std::vector<int16_t> render(size_t(t.frames) * 2);
        int mismatches = 0;
        std::vector<int64_t> frames = checkedFrames(t);
        for (int64_t f : frames) {
            audioPullTo(f, render.data() + audioRenderedFrames() * 2);
            uint32_t engine = module ? BASS_ChannelGetPosition(handle) : BASS_StreamGetFilePosition(handle, 0);
            if (engine != t.valueAt(f) && mismatches++ < 5)
                ADD_FAILURE() << name << " frame " << f << ": engine " << engine << ", table " << t.valueAt(f);
            if (module && audioModuleEnds(handle) != t.endsAt(f) && mismatches++ < 5)
                ADD_FAILURE() << name << " frame " << f << ": ends " << audioModuleEnds(handle) << ", table "
                              << t.endsAt(f);
        }
        BASS_Free();
        EXPECT_EQ(mismatches, 0) << name << ": of " << frames.size() << " frames checked";
        if (module) {
            EXPECT_GE(t.ends.size(), 1u) << "the render reaches past the first pass";
            EXPECT_EQ(t.valueAt(t.ends[0] - 1) & 0xFFFF, 20u) << "the first pass ends after order 20";
        } else {
            EXPECT_EQ(t.valueAt(t.frames), t.fileLength) << "played out";
        }

        std::vector<float> decoded = mono(decodeMp3(dir + "/" + name + ".mp3"));
        std::string why;
        SoundAlignment a = align(t, decoded, why);
        EXPECT_EQ(why, "") << name;
        EXPECT_EQ(a.shift, 0) << name;
        EXPECT_GT(a.match, 0.9) << name;
        // the whole sound against its render: the codec's error, at the shift found
        std::vector<float> original = mono(render);
        double signal = 0, error = 0;
        for (size_t i = 0; i < original.size() && i < decoded.size(); i++) {
            signal += double(original[i]) * original[i];
            error += double(original[i] - decoded[i]) * (original[i] - decoded[i]);
        }
        double snr = 10 * std::log10(signal / std::max(error, 1e-12));
        std::printf("%s: %zu frames decoded of %u rendered, shift %d, match %.4f, SNR %.1f dB\n", name.c_str(),
                    decoded.size(), t.frames, a.shift, a.match, snr);
        EXPECT_GT(snr, 10.0) << name;
        EXPECT_GE(decoded.size(), size_t(t.frames)) << name;

        // a decoder that keeps lame's delay and tag frame (576 + 529 + 1152 frames)
        std::vector<float> delayed(2257, 0.0f);
        delayed.insert(delayed.end(), decoded.begin(), decoded.end());
        a = align(t, delayed, why);
        EXPECT_EQ(why, "") << name;
        EXPECT_EQ(a.shift, 2257) << name;
    }
    // the other sound is no match for a table
    SoundTable module = readTable(dir + "/compruss.pos");
    std::vector<float> other = mono(decodeMp3(dir + "/farewell.mp3"));
    std::string why;
    align(module, other, why);
    EXPECT_NE(why, "") << "farewell's sound passed as the module's";
}

// A table that is cut short, padded, of another format, or whose entries contradict each
// other is refused with a reason, and nothing of it is kept.
TEST(Websound, BrokenTablesAreRefused) {
    const std::string &dir = websoundOutput();
    ASSERT_NE(dir, "") << "websound failed";
    std::vector<uint8_t> good = readBytes(dir + "/farewell.pos");
    SoundTable t;
    ASSERT_EQ(readSoundTable(good.data(), good.size(), t), "");
    EXPECT_EQ(writeSoundTable(t), good) << "written back byte for byte";

    auto refused = [](std::vector<uint8_t> bytes, const char *what) {
        SoundTable table;
        std::string why = readSoundTable(bytes.data(), bytes.size(), table);
        EXPECT_NE(why, "") << what;
        EXPECT_TRUE(table.changes.empty() && table.reference.empty()) << what;
        return why;
    };
    std::vector<uint8_t> cut(good.begin(), good.end() - 1);
    EXPECT_NE(refused(cut, "one byte short").find("truncated"), std::string::npos);
    std::vector<uint8_t> padded = good;
    padded.push_back(0);
    refused(padded, "one byte more");
    refused(std::vector<uint8_t>(good.begin(), good.begin() + 20), "a header cut short");
    std::vector<uint8_t> magic = good;
    magic[0] = 'X';
    EXPECT_EQ(refused(magic, "another format"), "not a sound position table");

    // entries made inconsistent through the structure, then written and read
    SoundTable broken = t;
    std::swap(broken.changes[10], broken.changes[11]);
    refused(writeSoundTable(broken), "answers out of order");
    broken = t;
    broken.changes.back().value = t.fileLength - 1;
    refused(writeSoundTable(broken), "a stream that never plays out");
    broken = t;
    broken.referenceFrame = t.frames;
    refused(writeSoundTable(broken), "a reference past the end");
    broken = t;
    broken.ends.push_back(5);
    refused(writeSoundTable(broken), "a stream with module ends");
    // a count in the header far larger than the file
    std::vector<uint8_t> huge = good;
    huge[27] = 0x7F;
    refused(huge, "a change count of two billion");
}
