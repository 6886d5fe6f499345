// compose.cpp -- writes the presentation's music: compose OUTDIR makes compruss.xm, farewell.mp3 and CUES.md
//
// Everything is computed from the scores in compruss.cpp and farewell.cpp and the synthesised
// instruments, so two runs give the same module byte for byte. The MP3 comes from lame, whose
// output depends on its version; its timing does not.
#include "music.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

static bool writeFile(const std::string &path, const void *data, size_t size) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        return false;
    }
    bool ok = std::fwrite(data, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return ok;
}

// Quotes a path for the shell.
static std::string shellQuote(const std::string &text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

static void putLe(std::vector<uint8_t> &out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++)
        out.push_back(uint8_t(value >> (8 * i)));
}

// Stereo 16-bit PCM at 44100 Hz through a WAV file into lame, with fixed options: CBR 128 kbit/s,
// joint stereo, no ID3 tag (a tag would move every byte position), no ReplayGain analysis.
// A file rather than a pipe: lame's input library may seek in its input.
static bool encodeMp3(const std::vector<int16_t> &pcm, const std::string &path) {
    std::vector<uint8_t> wav;
    uint32_t dataBytes = uint32_t(pcm.size() * 2);
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    putLe(wav, 36 + dataBytes, 4);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe(wav, 16, 4);
    putLe(wav, 1, 2);           // PCM
    putLe(wav, 2, 2);           // stereo
    putLe(wav, 44100, 4);
    putLe(wav, 44100 * 4, 4);   // bytes a second
    putLe(wav, 4, 2);           // bytes a frame
    putLe(wav, 16, 2);          // bits a sample
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    putLe(wav, dataBytes, 4);
    for (int16_t v : pcm)
        putLe(wav, uint16_t(v), 2);
    std::string wavPath = path + ".wav";
    if (!writeFile(wavPath, wav.data(), wav.size()))
        return false;
    std::string command = "lame --quiet -m j -b 128 --cbr -q 2 --noreplaygain " + shellQuote(wavPath) + " " +
                          shellQuote(path);
    int status = std::system(command.c_str());
    std::remove(wavPath.c_str());
    if (status != 0) {
        std::fprintf(stderr, "lame failed (status %d) writing %s\n", status, path.c_str());
        return false;
    }
    return true;
}

// The farewell render: silence first so the words land, the song, a fade at the end. The peak
// goes to -4.4 dBFS, which puts the song's loudness (about -19 dBFS RMS) level with the module's,
// so the switch to the end part neither jumps nor drops.
static std::vector<int16_t> farewellPcm(const std::vector<float> &song, double leadInSeconds, double seconds) {
    const int rate = 44100;
    size_t lead = size_t(std::lround(leadInSeconds * rate));
    size_t frames = size_t(std::lround(seconds * rate));
    std::vector<float> mix(2 * frames, 0.0f);
    for (size_t i = 0; i + 2 * lead < mix.size() && i < song.size(); i++)
        mix[2 * lead + i] = song[i];
    size_t fade = size_t(1.5 * rate);
    for (size_t f = frames - fade; f < frames; f++) {
        float g = float(frames - f) / float(fade);
        mix[2 * f] *= g;
        mix[2 * f + 1] *= g;
    }
    float peak = 1e-6f;
    for (float v : mix)
        peak = std::max(peak, std::fabs(v));
    double gain = 0.6 / peak;
    std::vector<int16_t> pcm(mix.size());
    for (size_t i = 0; i < mix.size(); i++)
        pcm[i] = int16_t(std::lround(std::clamp(mix[i] * gain, -1.0, 1.0) * 32767.0));
    return pcm;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: compose OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];

    // the module
    std::vector<uint8_t> module = writeXm(composeCompruss());
    if (!writeFile(dir + "/compruss.xm", module.data(), module.size()))
        return 1;

    // the end-part words
    double tick = farewellTickSeconds();
    double leadIn = farewellLeadIn(tick);
    std::vector<WordCue> words = farewellWords(tick, leadIn);
    for (const WordCue &w : words) {
        // A prescribed word more than 15 ms off its note would be seen to miss the beat.
        if (w.fixedAt && std::abs(w.position - w.fixedAt) > mp3BytesPerSecond * 15 / 1000) {
            std::fprintf(stderr, "farewell: a word falls at %d, the end part wants it at %d\n", w.position, w.fixedAt);
            return 1;
        }
    }

    // the end-part stream: the last word, then three seconds and a little more
    double streamSeconds = words.back().seconds + 3.2;
    std::vector<float> song = renderModule(writeXm(composeFarewell()), streamSeconds);
    if (!encodeMp3(farewellPcm(song, leadIn, streamSeconds), dir + "/farewell.mp3"))
        return 1;

    // the cue sheet
    std::string cues = "# Music cue sheet\n\nWritten by tools/music/compose from the scores; do not edit by hand.\n\n";
    cues += comprussCues() + "\n" + farewellCues(words, leadIn, streamSeconds);
    if (!writeFile(dir + "/CUES.md", cues.data(), cues.size()))
        return 1;

    for (const WordCue &w : words)
        std::printf("%d\n", w.fixedAt ? w.fixedAt : w.position);
    return 0;
}
