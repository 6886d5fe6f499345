// mp3encode.cpp -- whole-file writes and the one lame command line that the music tools encode MP3 with
#include "mp3encode.h"

#include <cstdio>
#include <cstdlib>

bool writeFile(const std::string &path, const void *data, size_t size) {
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

std::string shellQuote(const std::string &text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

static void putLe(std::vector<uint8_t> &out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++)
        out.push_back(uint8_t(value >> (8 * i)));
}

// The PCM as a WAV file: lame reads its input through libsndfile, which does not promise to
// take raw input as raw.
static std::vector<uint8_t> wavFile(const std::vector<int16_t> &pcm, uint32_t rate) {
    std::vector<uint8_t> wav;
    uint32_t dataBytes = uint32_t(pcm.size() * 2);
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    putLe(wav, 36 + dataBytes, 4);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe(wav, 16, 4);
    putLe(wav, 1, 2);         // PCM
    putLe(wav, 2, 2);         // stereo
    putLe(wav, rate, 4);
    putLe(wav, rate * 4, 4);  // bytes a second
    putLe(wav, 4, 2);         // bytes a frame
    putLe(wav, 16, 2);        // bits a sample
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    putLe(wav, dataBytes, 4);
    for (int16_t v : pcm)
        putLe(wav, uint16_t(v), 2);
    return wav;
}

// lame's options fix the MP3's byte positions, which the end part's words are timed by:
// constant bitrate, joint stereo, no ID3 tag (a tag would move every byte position), no
// ReplayGain analysis. lame's gapless tag, which it writes by default, tells a decoder that
// reads it where the PCM begins and ends. A file rather than a pipe: lame's input library may
// seek in its input.
bool encodeMp3(const std::vector<int16_t> &pcm, int rate, int kbits, const std::string &mp3Path) {
    std::string wavPath = mp3Path + ".wav.part";
    std::vector<uint8_t> wav = wavFile(pcm, uint32_t(rate));
    if (!writeFile(wavPath, wav.data(), wav.size()))
        return false;
    std::string command = "lame --quiet -m j -b " + std::to_string(kbits) + " --cbr -q 2 --noreplaygain " +
                          shellQuote(wavPath) + " " + shellQuote(mp3Path);
    int status = std::system(command.c_str());
    std::remove(wavPath.c_str());
    if (status != 0) {
        std::fprintf(stderr, "lame failed (status %d) writing %s (is lame installed?)\n", status, mp3Path.c_str());
        return false;
    }
    return true;
}
