// music.h -- the two pieces of the presentation: their scores, renders and cue sheets
#pragma once
#include "xmwriter.h"

#include <string>
#include <vector>

// The presentation's module, and its cue sheet section (markdown).
XmModule composeCompruss();
std::string comprussCues();

// One word of the end part: a note of the farewell tune and where the stream reaches it.
struct WordCue {
    int note;         // XM note number, 0 for the silence after the song
    int bar;          // bar of the tune, 0 for the first full bar
    double beat;      // beat within the bar, from 0
    int rows;         // length of the note in rows (sixteenths)
    double seconds;   // time in the decoded stream
    int position;     // byte offset in the MP3 stream
    int fixedAt;      // the position the end part's table prescribes for this word, 0 if free
};

// When each row of the farewell module starts as libopenmpt plays it (seconds from the start,
// one more entry than rows for the end), and the length of a tick in each row.
struct SongClock {
    std::vector<double> rowStart, tick;
};
SongClock farewellClock();

// The end-part piece as a module.
XmModule composeFarewell();
// The words, timed by the song's clock and the silence put before the render.
std::vector<WordCue> farewellWords(const SongClock &clock, double leadInSeconds);
// Silence before the render so that the first words land on their prescribed positions.
double farewellLeadIn(const SongClock &clock);
std::string farewellCues(const std::vector<WordCue> &words, const std::vector<std::string> &texts,
                         double leadInSeconds, double songSeconds, double streamSeconds);

// Integrated loudness (ITU-R BS.1770, gated) of 44100 Hz interleaved stereo, in LUFS.
double integratedLoudness(const std::vector<float> &stereo);

// MP3 stream layout as lame writes it at 128 kbit/s CBR: a tag frame of this many bytes, then
// 16000 bytes a second.
extern const int mp3TagBytes;
extern const int mp3BytesPerSecond;
extern const int wordCount;

// Renders a module through libopenmpt: 44100 Hz interleaved stereo floats, to the song's end or
// `maxSeconds`, whichever comes first.
std::vector<float> renderModule(const std::vector<uint8_t> &file, double maxSeconds);
