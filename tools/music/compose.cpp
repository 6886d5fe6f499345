// compose.cpp -- writes the presentation's music: compose OUTDIR makes compruss.xm, farewell.mp3 and CUES.md
//
// Everything is computed from the scores in compruss.cpp and farewell.cpp and the synthesised
// instruments, so two runs give the same module byte for byte. The MP3 comes from lame, whose
// output depends on its version; its timing does not.
#include "endwords.h"
#include "mp3encode.h"
#include "music.h"
#include "timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

// The end part's words, as the player shows them.
static const endScrolltext endWords[] = {
#include "endwords.inc"
};
static const int endWordCount = int(sizeof endWords / sizeof endWords[0]);

// The farewell render: silence first so the words land, the song, faded to nothing by the
// last word (the program ends one frame after it), then silence to the stream's end.
static std::vector<float> farewellMix(const std::vector<float> &song, double leadInSeconds, double silentFrom,
                                      double seconds) {
    const int rate = 44100;
    size_t lead = size_t(std::lround(leadInSeconds * rate));
    size_t frames = size_t(std::lround(seconds * rate));
    size_t end = size_t(std::lround(silentFrom * rate));
    std::vector<float> mix(2 * frames, 0.0f);
    for (size_t i = 0; i + 2 * lead < mix.size() && i < song.size(); i++)
        mix[2 * lead + i] = song[i];
    // A raised-cosine fade over the last 0.4 s before the silence; the last chord has almost
    // gone by itself, so this only takes its tail.
    size_t fade = size_t(0.4 * rate);
    for (size_t f = end - fade; f < frames; f++) {
        double g = f >= end ? 0.0 : 0.5 + 0.5 * std::cos(3.14159265358979 * double(f - (end - fade)) / fade);
        mix[2 * f] = float(mix[2 * f] * g);
        mix[2 * f + 1] = float(mix[2 * f + 1] * g);
    }
    return mix;
}

static std::vector<int16_t> toPcm16(const std::vector<float> &mix, double gain) {
    std::vector<int16_t> pcm(mix.size());
    for (size_t i = 0; i < mix.size(); i++)
        pcm[i] = int16_t(std::lround(std::clamp(mix[i] * gain, -1.0, 1.0) * 32767.0));
    return pcm;
}

// What a player will hear: the MP3 decoded by mpg123, as floats.
static std::vector<float> decodeMp3(const std::string &path) {
    std::string raw = path + ".raw";
    std::vector<float> out;
    std::string command = "mpg123 -q -s " + shellQuote(path) + " > " + shellQuote(raw);
    if (std::system(command.c_str()) == 0)
        if (FILE *f = std::fopen(raw.c_str(), "rb")) {
            uint8_t b[2];
            while (std::fread(b, 1, 2, f) == 2)
                out.push_back(float(int16_t(b[0] | b[1] << 8)) / 32768.0f);
            std::fclose(f);
        }
    std::remove(raw.c_str());
    if (out.empty())
        std::fprintf(stderr, "mpg123 cannot decode %s\n", path.c_str());
    return out;
}

// Encodes the song at the module's loudness, so that the switch to the end part neither jumps
// nor drops. The encoder itself lowers the level a little (0.44 dB for lame 3.100), so the
// gain is set again from the decoded stream; a peak that would clip lowers it.
static bool encodeFarewell(const std::vector<float> &mix, double loudness, const std::string &path) {
    float peak = 1e-6f;
    for (float v : mix)
        peak = std::max(peak, std::fabs(v));
    double gain = std::pow(10.0, (loudness - integratedLoudness(mix)) / 20.0);
    for (int pass = 0; pass < 2; pass++) {
        gain = std::min(gain, 0.97 / peak);
        if (!encodeMp3(toPcm16(mix, gain), 44100, mp3BytesPerSecond * 8 / 1000, path))
            return false;
        std::vector<float> heard = decodeMp3(path);
        if (heard.empty())
            return false;
        gain *= std::pow(10.0, (loudness - integratedLoudness(heard)) / 20.0);
    }
    return true;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: compose OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];

    // the module
    XmModule compruss = composeCompruss();
    std::vector<uint8_t> module = writeXm(compruss);
    if (!writeFile(dir + "/compruss.xm", module.data(), module.size()))
        return 1;

    // the end-part words
    SongClock clock = farewellClock();
    double leadIn = farewellLeadIn(clock);
    std::vector<WordCue> words = farewellWords(clock, leadIn);
    for (const WordCue &w : words) {
        // A prescribed word more than 15 ms off its note would be seen to miss the beat.
        if (w.fixedAt && std::abs(w.position - w.fixedAt) > mp3BytesPerSecond * 15 / 1000) {
            std::fprintf(stderr, "farewell: a word falls at %d, the end part wants it at %d\n", w.position, w.fixedAt);
            return 1;
        }
    }
    // The player's table must hold these positions, or its words leave their notes.
    std::vector<std::string> texts;
    for (int i = 0; i < endWordCount; i++)
        texts.push_back(endWords[i].text);
    if (endWordCount != int(words.size())) {
        std::fprintf(stderr, "player/endwords.inc has %d words, the song %d\n", endWordCount, int(words.size()));
        return 1;
    }
    for (size_t i = 0; i < words.size(); i++) {
        int want = words[i].fixedAt ? words[i].fixedAt : words[i].position;
        if (endWords[i].position != want) {
            std::fprintf(stderr, "player/endwords.inc: word %d \"%s\" is at %d, its note at %d\n", int(i),
                         endWords[i].text, endWords[i].position, want);
            return 1;
        }
    }

    // the end-part stream: the song to its last word, then two seconds and a little more
    double silentFrom = words.back().seconds;
    double streamSeconds = silentFrom + 2.2;
    std::vector<float> song = renderModule(writeXm(composeFarewell()), streamSeconds);
    double timelineEnd = TIMELINE_ROWS * 6 * 2.5 / compruss.bpm;
    double loudness = integratedLoudness(renderModule(module, timelineEnd));
    if (!encodeFarewell(farewellMix(song, leadIn, silentFrom, streamSeconds), loudness, dir + "/farewell.mp3"))
        return 1;

    // the cue sheet
    std::string cues = "# Music cue sheet\n\nWritten by tools/music/compose from the scores; do not edit by hand.\n\n";
    cues += comprussCues() + "\n" + farewellCues(words, texts, leadIn, silentFrom, streamSeconds);
    if (!writeFile(dir + "/CUES.md", cues.data(), cues.size()))
        return 1;

    for (const WordCue &w : words)
        std::printf("%d\n", w.fixedAt ? w.fixedAt : w.position);
    return 0;
}
