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
    int note;         // XM note number
    int bar;          // bar of the tune, 0 for the first full bar
    double beat;      // beat within the bar, from 0
    double seconds;   // time in the decoded stream
    int position;     // byte offset in the MP3 stream
    int fixedAt;      // the position the end part's table prescribes for this word, 0 if free
};

// The end-part piece as a module.
XmModule composeFarewell();
// The words, timed by the module's tick length and the silence put before the render.
std::vector<WordCue> farewellWords(double tickSeconds, double leadInSeconds);
// Silence before the render so that the last word lands exactly on its prescribed position.
double farewellLeadIn(double tickSeconds);
// Length of one tick of the farewell module as libopenmpt plays it.
double farewellTickSeconds();
std::string farewellCues(const std::vector<WordCue> &words, double leadInSeconds, double streamSeconds);

// MP3 stream layout as lame writes it at 128 kbit/s CBR: a tag frame of this many bytes, then
// 16000 bytes a second.
extern const int mp3TagBytes;
extern const int mp3BytesPerSecond;
extern const int wordCount;

// Renders a module through libopenmpt: 44100 Hz interleaved stereo floats, to the song's end or
// `maxSeconds`, whichever comes first.
std::vector<float> renderModule(const std::vector<uint8_t> &file, double maxSeconds);
