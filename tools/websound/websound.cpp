// websound.cpp -- renders the module and the end-part stream through the engine's pull back-end into MP3 files and position tables for the web build
//
// A browser plays the show's music from audio rendered here, so it needs no tracker replayer
// and no decoder of our own; what the position queries answer comes from the tables written
// beside each sound, read back by the web back-end (audio/soundtable.h).
//
// The pull back-end answers for the frames pulled, and the same pulls always give the same
// samples and answers. Pulled one frame at a time, each answer is that of exactly one heard
// frame, so the tables hold every change at the frame where the engine makes it.
#include "audio.h"
#include "bass.h"
#include "mp3encode.h"
#include "soundtable.h"
#include "timeline.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// How long the module is rendered past the end of its first pass (seconds): the frame driver
// switches to the end part by then on any machine that still draws a frame a second, and
// the module sounds on until the switch.
static const double TAIL_SECONDS = 2.0;
// A sound longer than this (seconds) is not ours: the render stops and says so.
static const double LONGEST_SECONDS = 20 * 60;
// lame's bitrate (kbit/s, constant). The module is bright and noisy (square waves, drums),
// and the stream is a 128 kbit/s MP3 encoded once more: 160 keeps both close to their render
// (docs/web-audio.md) for 4.8 MB together.
static int bitrate = 160;

struct Render {
    std::vector<int16_t> pcm;  // interleaved stereo at the table's rate
    SoundTable table;
};

// Pulls the next frame into the render.
static void pullFrame(Render &r, int64_t frame) {
    r.pcm.resize(size_t(frame) * 2);
    audioPullTo(frame, r.pcm.data() + (frame - 1) * 2);
}

static void noteChange(SoundTable &t, int64_t frame, uint32_t value) {
    if (t.changes.empty() || t.changes.back().value != value)
        t.changes.push_back({uint32_t(frame), value});
}

static void formatTime(char *text, size_t size, int64_t frame, int rate) {
    double seconds = double(frame) / rate;
    snprintf(text, size, "%d:%06.3f", int(seconds / 60), seconds - 60 * int(seconds / 60));
}

// The module as the player plays it (looping), from its start to TAIL_SECONDS past the end
// of its first pass; the timeline's end must come before that.
static bool renderModule(const std::string &path, Render &r) {
    HMUSIC music = BASS_MusicLoad(0, path.c_str(), 0, 0, BASS_LOOP);
    if (!music) {
        std::fprintf(stderr, "websound: %s: %s\n", path.c_str(), audioLoadError());
        return false;
    }
    BASS_MusicPlay(music);
    SoundTable &t = r.table;
    t.kind = SOUND_MODULE;
    t.rate = audioOutputRate();
    noteChange(t, 0, BASS_ChannelGetPosition(music));
    int64_t timelineEnd = -1, firstEnd = -1;
    int64_t tail = int64_t(TAIL_SECONDS * t.rate);
    int64_t frame = 0;
    while (firstEnd < 0 || frame < firstEnd + tail) {
        if (frame >= int64_t(LONGEST_SECONDS * t.rate)) {
            std::fprintf(stderr, "websound: %s does not end within %.0f minutes\n", path.c_str(), LONGEST_SECONDS / 60);
            return false;
        }
        pullFrame(r, ++frame);
        uint32_t word = BASS_ChannelGetPosition(music);
        noteChange(t, frame, word);
        ModulePosition at = decodePosition(word);
        if (timelineEnd < 0 && at.order == TIMELINE_END_ORDER && at.row >= TIMELINE_END_ROW)
            timelineEnd = frame;
        if (audioModuleEnds(music) > int(t.ends.size())) {
            t.ends.push_back(uint32_t(frame));
            if (firstEnd < 0)
                firstEnd = frame;
        }
    }
    if (timelineEnd < 0 || timelineEnd > firstEnd) {
        std::fprintf(stderr, "websound: %s never reaches order %d row %d before its end\n", path.c_str(),
                     TIMELINE_END_ORDER, TIMELINE_END_ROW);
        return false;
    }
    t.frames = uint32_t(frame);
    char end[32], first[32], all[32];
    formatTime(end, sizeof end, timelineEnd, t.rate);
    formatTime(first, sizeof first, firstEnd, t.rate);
    formatTime(all, sizeof all, frame, t.rate);
    std::printf("%s: order %d row %d heard from frame %lld (%s); the first pass ends at frame %lld (%s); "
                "rendered to frame %lld (%s), %zu position changes\n",
                path.c_str(), TIMELINE_END_ORDER, TIMELINE_END_ROW, (long long)timelineEnd, end, (long long)firstEnd,
                first, (long long)frame, all, t.changes.size());
    return true;
}

// The stream from its start until its position is its length: it has played out.
static bool renderStream(const std::string &path, Render &r) {
    HSTREAM stream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
    if (!stream) {
        std::fprintf(stderr, "websound: %s: %s\n", path.c_str(), audioLoadError());
        return false;
    }
    BASS_StreamPlay(stream, 1, 0);
    SoundTable &t = r.table;
    t.kind = SOUND_STREAM;
    t.rate = audioOutputRate();
    t.fileLength = BASS_StreamGetLength(stream);
    noteChange(t, 0, BASS_StreamGetFilePosition(stream, 0));
    int64_t frame = 0;
    while (t.changes.back().value < t.fileLength) {
        if (frame >= int64_t(LONGEST_SECONDS * t.rate)) {
            std::fprintf(stderr, "websound: %s does not end within %.0f minutes\n", path.c_str(), LONGEST_SECONDS / 60);
            return false;
        }
        pullFrame(r, ++frame);
        noteChange(t, frame, BASS_StreamGetFilePosition(stream, 0));
    }
    t.frames = uint32_t(frame);
    char all[32];
    formatTime(all, sizeof all, frame, t.rate);
    std::printf("%s: %u bytes, played out at frame %lld (%s), %zu position changes\n", path.c_str(), t.fileLength,
                (long long)frame, all, t.changes.size());
    return true;
}

// The render as an MP3 (mp3encode.h) and its table beside it. Each is written under a
// temporary name and renamed, so a file of that name is whole.
static bool writeSound(const Render &r, const std::string &outDir, const std::string &name) {
    std::string base = outDir + "/" + name;
    std::string mp3 = base + ".mp3", table = base + ".pos";
    if (!encodeMp3(r.pcm, r.table.rate, bitrate, mp3 + ".part")) {
        std::remove((mp3 + ".part").c_str());
        return false;
    }
    std::vector<uint8_t> written = writeSoundTable(r.table);
    if (!writeFile(table + ".part", written.data(), written.size()))
        return false;
    if (std::rename((mp3 + ".part").c_str(), mp3.c_str()) != 0 ||
        std::rename((table + ".part").c_str(), table.c_str()) != 0) {
        std::fprintf(stderr, "websound: cannot rename into %s\n", base.c_str());
        return false;
    }
    return true;
}

static std::string baseName(const std::string &path) {
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// Renders one sound on a fresh pull engine, so every sound starts at output frame 0.
static bool make(bool module, const std::string &path, const std::string &outDir) {
    audioSelectBackend(AUDIO_PULL);
    BASS_Init(-1, AUDIO_RATE, 0, nullptr);
    Render r;
    bool ok = module ? renderModule(path, r) : renderStream(path, r);
    BASS_Free();
    if (!ok)
        return false;
    takeReference(r.table, r.pcm.data(), int64_t(r.table.frames));
    std::printf("%s: alignment reference at frame %u\n", path.c_str(), r.table.referenceFrame);
    return writeSound(r, outDir, baseName(path));
}

int main(int argc, char **argv) {
    if (argc >= 4 && std::string(argv[argc - 2]) == "--bitrate") {
        bitrate = std::atoi(argv[argc - 1]);
        argc -= 2;
    }
    if (argc != 4 || bitrate < 32 || bitrate > 320) {
        std::fprintf(stderr, "usage: websound MODULE.xm STREAM.mp3 OUTPUT_FOLDER [--bitrate KBITS]\n"
                             "writes NAME.mp3 and NAME.pos for each into the folder\n");
        return 2;
    }
    if (!make(true, argv[1], argv[3]) || !make(false, argv[2], argv[3]))
        return 1;
    return 0;
}
