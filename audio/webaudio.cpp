// webaudio.cpp -- the audio engine of the web build: answers bass.h and audio.h from the position tables of sounds rendered ahead of time, played through WebAudio
//
// websound renders the module and the stream through the desktop engine's pull back-end and
// writes beside each sound what the position queries answered at every heard frame. Here the
// page's audio/webaudio.js fetches and decodes those sounds; this file answers the player's
// queries from the tables at the frame heard now and tells webaudio.js what to play when.
//
// Frames are counted as on the desktop: output frames from BASS_Init at the render's rate,
// "heard up to frame h" meaning frame h - 1 is sounding. Each channel (the module, the
// stream) began at an output frame, its origin, and answers with its table at the heard frame
// less its origin. The output frames are tied to WebAudio's clock by one number,
// contextOrigin: output frame f sounds at context time contextOrigin + f / rate.
#include "audio.h"
#include "bass.h"
#include "queried.h"
#include "soundtable.h"
#include "webaudio.h"

#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

// --- webaudio.js, as the engine asks it (names are the paths the player loads)

EM_JS(int, jsPresent, (), { return typeof vortazovAudio !== 'undefined'; });
EM_JS(int, jsState, (const char *name), { return vortazovAudio.state(UTF8ToString(name)); });
EM_JS(void, jsText, (const char *name, int which, char *out, int size), {
    const n = UTF8ToString(name);
    const text = which == 0 ? vortazovAudio.error(n) : vortazovAudio.url(n, which == 2);
    stringToUTF8(text, out, size);
});
EM_JS(void, jsNames, (char *out, int size), { stringToUTF8(vortazovAudio.names().join('\n'), out, size); });
EM_JS(int, jsTableSize, (const char *name), { return vortazovAudio.table(UTF8ToString(name)).length; });
EM_JS(void, jsCopyTable, (const char *name, uint8_t *out), {
    HEAPU8.set(vortazovAudio.table(UTF8ToString(name)), out);
});
EM_JS(double, jsFrames, (const char *name), { return vortazovAudio.frames(UTF8ToString(name)); });
EM_JS(void, jsMono, (const char *name, double from, int count, float *out), {
    vortazovAudio.mono(UTF8ToString(name), from, count, HEAPF32.subarray(out >> 2, (out >> 2) + count));
});
EM_JS(double, jsShift, (const char *name), { return vortazovAudio.shift(UTF8ToString(name)); });
EM_JS(void, jsSetShift, (const char *name, int shift), { vortazovAudio.setShift(UTF8ToString(name), shift); });
EM_JS(void, jsMixInto, (const char *name, double frame, int count, int16_t *out), {
    vortazovAudio.mixInto(UTF8ToString(name), frame, count, HEAP16.subarray(out >> 1, (out >> 1) + 2 * count));
});
EM_JS(int, jsOpen, (), { return vortazovAudio.open(); });
EM_JS(double, jsRenderedTime, (), { return vortazovAudio.renderedTime(); });
EM_JS(double, jsMargin, (), { return vortazovAudio.margin(); });
EM_JS(double, jsStartTime, (), { return vortazovAudio.startTime(); });
EM_JS(double, jsHeardTime, (), { return vortazovAudio.heardTime(); });
EM_JS(void, jsPlay, (const char *name, double when, double frame), {
    vortazovAudio.play(UTF8ToString(name), when, frame);
});
EM_JS(void, jsStop, (const char *name, double when), { vortazovAudio.stop(UTF8ToString(name), when); });

// One sound the player loaded: the module or the stream.
struct Channel {
    DWORD handle = 0;        // 0: none loaded
    std::string name;        // the path it was loaded as: the page's name for the sound
    SoundTable table;
    bool audible = false;    // its sound is decoded and aligned with the table
    bool playing = false;    // played and not stopped since
    bool waiting = false;    // played while the output was stopped: begins with BASS_Start
    int64_t origin = 0;      // output frame at which its frame 0 sounds
    bool frozen = false;     // stopped by BASS_Stop: answers what it answered then
    uint32_t frozenValue = 0;
    int frozenEnds = 0;
};

static AudioBackend chosenBackend = AUDIO_DEVICE;  // what BASS_Init starts
static AudioBackend activeBackend = AUDIO_DEVICE;  // what runs: WebAudio (the device), silent, pulled
static bool initialized;        // between BASS_Init and BASS_Free
static BOOL initResult;         // what BASS_Init returned
static bool outputRunning;      // BASS_Start / BASS_Stop
static DWORD nextHandle = 1;    // handles are never reused within a run
static Channel module;          // the module loaded last
static Channel stream;          // the stream created last
static std::string loadError;   // why the last load failed, "" after one that succeeded
static int64_t pulledFrame;     // pulled: the frame heard
static double contextOrigin;    // WebAudio: context seconds at which output frame 0 sounds
static double silentStartMs;    // silent clock: performance.now() when it started
static int64_t silentBase;      //   ... and the output frame heard then
static int64_t lastHeard;       // never report time going backwards, nor a frame before the output went live
static int64_t lastQueried;     // the frame the queries answered for last: never earlier again
static double lookaheadSeconds; // position queries answer for this far ahead
static int64_t stopFrame = -1;  // where BASS_Stop silenced the output, -1 when it has not

static const int RATE = AUDIO_RATE;  // every table is rendered at this rate (websound's pull back-end)

static double contextTimeOf(int64_t frame) {
    return contextOrigin + double(frame) / RATE;
}

static int64_t silentFrame() {
    return silentBase + int64_t((emscripten_get_now() - silentStartMs) * RATE / 1000);
}

static void startSilentClock(int64_t from) {
    activeBackend = AUDIO_SILENT;
    silentStartMs = emscripten_get_now();
    silentBase = from;
}

static int64_t heardFrame() {
    if (!initialized)
        return 0;
    int64_t heard = pulledFrame;
    if (activeBackend == AUDIO_SILENT)
        heard = silentFrame();
    else if (activeBackend == AUDIO_DEVICE)
        heard = int64_t(std::floor((jsHeardTime() - contextOrigin) * RATE));
    heard = std::max(heard, lastHeard);
    lastHeard = heard;
    return heard;
}

// The first output frame a sound can still be started at: what the output has not yet
// rendered (WebAudio: its scheduling margin past currentTime).
static int64_t renderedFrame() {
    if (activeBackend == AUDIO_PULL)
        return pulledFrame;
    if (activeBackend == AUDIO_SILENT)
        return heardFrame();
    int64_t rendered = int64_t(std::ceil((jsRenderedTime() + jsMargin() - contextOrigin) * RATE));
    return std::max(rendered, heardFrame());
}

// The frame the position queries answer for (queried.h); the pull back-end's answer stays
// exact.
static int64_t queriedFrame() {
    int64_t heard = heardFrame();
    if (!initialized || activeBackend == AUDIO_PULL)
        return heard;
    int64_t rendered = renderedFrame();
    return nextQueriedFrame(heard, int64_t(lookaheadSeconds * RATE), rendered, lastQueried);
}

// Where a sound played now begins: where BASS_Stop silenced the output when that is still
// ahead (so the stream follows the module without a gap), else the first frame open.
static int64_t startFrame() {
    int64_t open = renderedFrame();
    if (activeBackend == AUDIO_DEVICE && stopFrame >= 0 && stopFrame <= open &&
        contextTimeOf(stopFrame) >= jsRenderedTime() + jsMargin() / 2)
        return stopFrame;
    return open;
}

// Lets the channel sound from output frame `from` on (its frame from - origin).
static void sound(const Channel &c, int64_t from) {
    if (activeBackend == AUDIO_DEVICE && c.audible)
        jsPlay(c.name.c_str(), contextTimeOf(from), double(from - c.origin));
}

static void silence(const Channel &c, int64_t at) {
    if (activeBackend == AUDIO_DEVICE && c.audible)
        jsStop(c.name.c_str(), contextTimeOf(at));
}

static void begin(Channel &c) {
    c.playing = true;
    c.frozen = false;
    c.waiting = !outputRunning;
    if (c.waiting)
        return;
    c.origin = startFrame();
    sound(c, c.origin);
}

static uint32_t valueAt(const Channel &c, int64_t queried) {
    if (c.frozen)
        return c.frozenValue;
    return c.table.valueAt(c.playing && !c.waiting ? queried - c.origin : 0);
}

static int endsAt(const Channel &c, int64_t queried) {
    if (c.frozen)
        return c.frozenEnds;
    return c.playing && !c.waiting ? c.table.endsAt(queried - c.origin) : 0;
}

static DWORD refuse(const std::string &why) {
    loadError = why;
    return 0;
}

static std::string pageText(const std::string &name, int which) {
    char text[512];
    jsText(name.c_str(), which, text, sizeof text);
    return text;
}

// Reads the sound the page loaded under `file` into c: its table checked, its decoded audio
// (where the page decoded it) aligned with the render, once. "" or why not.
static std::string loadChannel(const char *file, Channel &c) {
    if (!file)
        return "no file named";
    if (!jsPresent())
        return "the page did not load the web audio engine (webaudio.js)";
    c.name = file;
    int state = jsState(file);
    if (state == -2)
        return "not among the sounds the page loaded";
    if (state == -1)
        return pageText(c.name, 0);
    if (state == 0)
        return "still loading";
    std::string tableUrl = pageText(c.name, 1), audioUrl = pageText(c.name, 2);
    std::vector<uint8_t> bytes(static_cast<size_t>(jsTableSize(file)));
    jsCopyTable(file, bytes.data());
    std::string why = readSoundTable(bytes.data(), bytes.size(), c.table);
    if (!why.empty())
        return tableUrl + ": " + why;
    if (c.table.rate != RATE)
        return tableUrl + ": rendered at " + std::to_string(c.table.rate) + " Hz, not " + std::to_string(RATE);
    if (state == 1)
        return "";  // positions only: the page left the sound out
    if (std::isnan(jsShift(file))) {
        int64_t decoded = int64_t(jsFrames(file));
        int64_t from;
        int count;
        alignmentSpan(c.table, decoded, from, count);
        std::vector<float> mono(static_cast<size_t>(count));
        jsMono(file, double(from), count, mono.data());
        SoundAlignment alignment;
        why = alignDecoded(c.table, mono.data(), from, count, alignment);
        if (!why.empty())
            return audioUrl + ": " + why;
        jsSetShift(file, alignment.shift);
    }
    c.audible = true;
    return "";
}

// Aligns every sound the page decoded, at start-up: the alignment takes some milliseconds,
// which the switch to the end part should not wait for. A sound that fails says why when the
// player loads it.
static void alignPageSounds() {
    char names[4096];
    jsNames(names, sizeof names);
    std::string list = names;
    for (size_t at = 0; at < list.size();) {
        size_t end = std::min(list.find('\n', at), list.size());
        Channel c;
        loadChannel(list.substr(at, end - at).c_str(), c);
        at = end + 1;
    }
}

static DWORD takeHandle() {
    DWORD h = nextHandle++;
    if (nextHandle == 0)
        nextHandle = 1;
    return h;
}

// Loads the page's sound `file` into c, which must be of `kind`, and gives it a new handle;
// 0, with loadError saying why, when it cannot. A sound that loads replaces the channel's
// sound (one module and one stream at a time); one that does not leaves it as it was.
static DWORD loadInto(Channel &c, BOOL mem, const char *file, SoundKind kind) {
    if (!initialized)
        return refuse("the audio engine is not running");
    if (mem)
        return refuse("the web build plays the sounds the page loaded, not data in memory");
    Channel fresh;
    std::string why = loadChannel(file, fresh);
    if (why.empty() && fresh.table.kind != kind)
        why = pageText(fresh.name, 1) + (kind == SOUND_MODULE ? ": a stream's table, not a module's" : ": a module's table, not a stream's");
    if (!why.empty())
        return refuse(why);
    if (c.playing)
        silence(c, renderedFrame());
    c = fresh;
    c.handle = takeHandle();
    loadError.clear();
    return c.handle;
}

// Plays c from its start, the handle being its own; played again, it starts over.
static BOOL play(Channel &c, DWORD handle) {
    if (!initialized || handle == 0 || handle != c.handle)
        return 0;
    if (c.playing)
        silence(c, renderedFrame());
    begin(c);
    return 1;
}

void audioSelectBackend(AudioBackend backend) {
    chosenBackend = backend;
}

AudioBackend audioBackend() {
    return initialized ? activeBackend : chosenBackend;
}

int audioOutputRate() {
    return RATE;
}

const char *audioOutputName() {
    switch (audioBackend()) {
    case AUDIO_DEVICE:
        return "webaudio";
    case AUDIO_SILENT:
        return "silent";
    case AUDIO_PULL:
        break;
    }
    return "pull";
}

const char *audioLoadError() {
    return loadError.c_str();
}

int64_t audioPullTo(int64_t frame, int16_t *out) {
    if (!initialized || activeBackend != AUDIO_PULL || frame <= pulledFrame)
        return 0;
    int64_t count = frame - pulledFrame;
    if (out) {
        std::fill(out, out + count * 2, int16_t(0));
        for (const Channel *c : {&module, &stream}) {
            if (!outputRunning || !c->playing || c->waiting || c->frozen || !c->audible)
                continue;
            // the channel's frames in the span pulled, from the later of its origin and the span's start
            int64_t from = std::max(pulledFrame, c->origin);
            if (from < frame)
                jsMixInto(c->name.c_str(), double(from - c->origin), int(frame - from), out + (from - pulledFrame) * 2);
        }
    }
    pulledFrame = frame;
    return count;
}

int64_t audioRenderedFrames() {
    return initialized ? renderedFrame() : 0;
}

int64_t audioHeardFrame() {
    return heardFrame();
}

int64_t audioQueriedFrame() {
    return queriedFrame();
}

void audioSetLookahead(double seconds) {
    lookaheadSeconds = std::max(0.0, seconds);
}

int audioModuleEnds(HMUSIC handle) {
    int64_t queried = queriedFrame();
    if (!initialized || handle == 0 || handle != module.handle)
        return 0;
    return endsAt(module, queried);
}

int audioGoLive(void) {
    if (!initialized)
        return 0;
    if (activeBackend != AUDIO_PULL)
        return activeBackend == AUDIO_DEVICE;
    int64_t from = pulledFrame;
    // nothing before the frame the output goes live from is heard
    lastHeard = std::max(lastHeard, from);
    if (jsPresent() && jsOpen()) {
        activeBackend = AUDIO_DEVICE;
        contextOrigin = jsStartTime() - double(from) / RATE;
    } else {
        startSilentClock(from);
    }
    if (outputRunning) {
        for (Channel *c : {&module, &stream})
            if (c->playing && !c->waiting && !c->frozen)
                sound(*c, from);
    }
    return activeBackend == AUDIO_DEVICE;
}

BOOL BASS_Init(int, DWORD, DWORD, void *) {
    if (initialized)
        return initResult;
    initialized = true;
    outputRunning = true;  // the output starts with the library, as a device would
    activeBackend = chosenBackend;
    pulledFrame = lastHeard = lastQueried = 0;
    stopFrame = -1;
    initResult = 1;
    if (jsPresent())
        alignPageSounds();
    if (activeBackend == AUDIO_DEVICE) {
        if (jsPresent() && jsOpen())
            contextOrigin = jsStartTime();
        else
            initResult = 0;  // no WebAudio in this browser: the silent clock keeps time
    }
    if (activeBackend == AUDIO_SILENT || !initResult) {
        startSilentClock(0);
        initResult = 0;
    }
    return initResult;
}

HMUSIC BASS_MusicLoad(BOOL mem, const char *file, DWORD, DWORD, DWORD flags) {
    if (initialized && !mem && !(flags & BASS_LOOP))
        return refuse("the web build's module is rendered looping: load it with BASS_LOOP");
    return loadInto(module, mem, file, SOUND_MODULE);
}

BOOL BASS_Start(void) {
    if (!initialized)
        return 0;
    outputRunning = true;
    for (Channel *c : {&module, &stream}) {
        if (c->playing && c->waiting)
            begin(*c);
    }
    return 1;
}

BOOL BASS_MusicPlay(HMUSIC handle) {
    return play(module, handle);
}

DWORD BASS_ChannelGetPosition(DWORD handle) {
    int64_t queried = queriedFrame();
    if (!initialized || handle == 0 || handle != module.handle)
        return 0xFFFFFFFF;
    return valueAt(module, queried);
}

BOOL BASS_Stop(void) {
    int64_t queried = queriedFrame();
    if (!initialized)
        return 0;
    // Stopped channels keep the position heard at this moment until they are played again;
    // what the output has already rendered still sounds, as on a device.
    int64_t at = renderedFrame();
    for (Channel *c : {&module, &stream}) {
        if (!c->playing)
            continue;
        c->frozenValue = valueAt(*c, queried);
        c->frozenEnds = endsAt(*c, queried);
        c->frozen = true;
        c->playing = c->waiting = false;
        silence(*c, at);
    }
    stopFrame = at;
    outputRunning = false;
    return 1;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const char *file, DWORD, DWORD, DWORD) {
    return loadInto(stream, mem, file, SOUND_STREAM);
}

BOOL BASS_StreamPlay(HSTREAM handle, BOOL, DWORD) {
    return play(stream, handle);
}

DWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode) {
    int64_t queried = queriedFrame();
    if (!initialized || handle == 0 || handle != stream.handle)
        return 0;
    if (mode != 0)
        return stream.table.fileLength;  // the whole file is at hand
    return valueAt(stream, queried);
}

DWORD BASS_StreamGetLength(HSTREAM handle) {
    if (!initialized || handle == 0 || handle != stream.handle)
        return 0;
    return stream.table.fileLength;
}

void BASS_Free(void) {
    if (!initialized)
        return;
    int64_t at = renderedFrame();
    for (Channel *c : {&module, &stream}) {
        if (c->playing)
            silence(*c, at);
        *c = Channel();
    }
    initialized = false;
    outputRunning = false;
    pulledFrame = lastHeard = lastQueried = 0;
}

BOOL BASS_StreamFree(HSTREAM handle) {
    if (!initialized || handle == 0 || handle != stream.handle)
        return 0;
    if (stream.playing)
        silence(stream, renderedFrame());
    stream = Channel();
    return 1;
}
