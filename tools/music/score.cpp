// score.cpp -- reads the small text notation the scores are written in, and puts notes into patterns
#include "score.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

// The scores are compiled in, so a mistake in one is the composer's: say where, and stop.
static void scoreError(const std::string &text, const std::string &what) {
    std::fprintf(stderr, "score error: %s\n  in: %s\n", what.c_str(), text.c_str());
    std::exit(1);
}

static const int pitchClass[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G

static int parsePitchClass(const std::string &name, size_t &pos) {
    if (pos >= name.size() || name[pos] < 'A' || name[pos] > 'G')
        return -1;
    int pc = pitchClass[name[pos] - 'A'];
    pos++;
    if (pos < name.size() && name[pos] == '#') { pc++; pos++; }
    else if (pos < name.size() && name[pos] == 'b') { pc--; pos++; }
    return (pc + 12) % 12;
}

int noteNumber(const std::string &name) {
    size_t pos = 0;
    int pc = parsePitchClass(name, pos);
    // B#/Cb cross the octave; the octave number belongs to the letter.
    int letterShift = 0;
    if (pc == 0 && name[0] == 'B') letterShift = 12;
    if (pc == 11 && name[0] == 'C') letterShift = -12;
    if (pc < 0 || pos + 1 != name.size() || name[pos] < '0' || name[pos] > '7')
        scoreError(name, "bad pitch name");
    int note = (name[pos] - '0') * 12 + pc + 1 + letterShift;
    if (note < 1 || note > 96)
        scoreError(name, "pitch out of range");
    return note;
}

std::string noteName(int note) {
    static const char *names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    if (note < 1 || note > 96)
        return "--";
    return names[(note - 1) % 12] + std::to_string((note - 1) / 12);
}

// Splits "NAME:ROWS[@DELAY]"; bars are checked by the callers' common loop below.
template <typename Handle>
static void walkTokens(const std::string &text, int rowsPerBar, Handle handle) {
    std::istringstream in(text);
    std::string token;
    int row = 0, barStart = 0;
    while (in >> token) {
        if (token == "|") {
            if (row - barStart != rowsPerBar)
                scoreError(text, "bar ending at row " + std::to_string(row) + " has " +
                                     std::to_string(row - barStart) + " rows");
            barStart = row;
            continue;
        }
        size_t colon = token.find(':');
        if (colon == std::string::npos)
            scoreError(text, "token without length: " + token);
        size_t at = token.find('@', colon);
        int rows = std::atoi(token.substr(colon + 1, at == std::string::npos ? std::string::npos : at - colon - 1).c_str());
        int delay = at == std::string::npos ? 0 : std::atoi(token.substr(at + 1).c_str());
        if (rows <= 0 || delay < 0 || delay > 15)
            scoreError(text, "bad length or delay: " + token);
        handle(token.substr(0, colon), row, rows, delay);
        row += rows;
    }
    if (row - barStart != rowsPerBar && row != barStart)
        scoreError(text, "last bar has " + std::to_string(row - barStart) + " rows");
}

std::vector<NoteEvent> parseMelody(const std::string &text, int rowsPerBar) {
    std::vector<NoteEvent> events;
    walkTokens(text, rowsPerBar, [&](const std::string &name, int row, int rows, int delay) {
        int note = name == "r" ? 0 : noteNumber(name);
        events.push_back({row, rows, note, delay});
    });
    return events;
}

std::vector<ChordEvent> parseChords(const std::string &text, int rowsPerBar) {
    std::vector<ChordEvent> chords;
    walkTokens(text, rowsPerBar, [&](const std::string &name, int row, int rows, int) {
        size_t pos = 0;
        int root = parsePitchClass(name, pos);
        std::string quality = name.substr(pos);
        std::vector<int> tones;
        if (quality == "") tones = {0, 4, 7};
        else if (quality == "m") tones = {0, 3, 7};
        else if (quality == "7") tones = {0, 4, 7, 10};
        else if (quality == "m7") tones = {0, 3, 7, 10};
        else if (quality == "dim") tones = {0, 3, 6};
        else root = -1;
        if (root < 0)
            scoreError(text, "bad chord: " + name);
        chords.push_back({row, rows, root, tones, name});
    });
    return chords;
}

std::vector<int> parseHits(const std::string &text, int rows) {
    std::vector<int> marks;
    for (char c : text) {
        if (c == ' ' || c == '|')
            continue;
        if (c == 'X') marks.push_back(64);
        else if (c == 'x') marks.push_back(46);
        else if (c == 'o') marks.push_back(30);
        else if (c == '.') marks.push_back(0);
        else scoreError(text, std::string("bad hit mark '") + c + "'");
    }
    std::vector<int> out(rows, 0);
    if (marks.empty())
        return out;
    if (rows % int(marks.size()) != 0)
        scoreError(text, "hit line of " + std::to_string(marks.size()) + " rows does not fill " +
                             std::to_string(rows));
    for (int i = 0; i < rows; i++)
        out[i] = marks[i % marks.size()];
    return out;
}

const ChordEvent &chordAt(const std::vector<ChordEvent> &chords, int row) {
    for (const ChordEvent &c : chords)
        if (row >= c.row && row < c.row + c.rows)
            return c;
    return chords.back();
}

std::vector<int> voicing(const ChordEvent &chord, int lowest) {
    std::vector<int> notes;
    for (int tone : chord.tones) {
        int note = lowest + ((chord.root + tone - (lowest - 1)) % 12 + 12) % 12;
        notes.push_back(note);
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

XmCell &cellAt(XmPattern &pattern, int channels, int row, int channel) {
    return pattern.cells[size_t(row) * channels + channel];
}

XmPattern emptyPattern(int rows, int channels) {
    XmPattern p;
    p.rows = rows;
    p.cells.assign(size_t(rows) * channels, XmCell());
    return p;
}
