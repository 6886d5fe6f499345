// audio.cpp -- the audio engine: mixes the module and the MP3 stream into one output and says what is heard now
#include "audio.h"
#include "bass.h"

#include <SDL.h>
#include <libopenmpt/libopenmpt.hpp>
#include <mpg123.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

// Frames libopenmpt renders per read, and so between two position stamps: 2.9 ms, so a
// row change is placed within ±1.45 ms. Each read costs libopenmpt a fixed overhead: with
// 64 frames it renders 16 % slower than with 1024, with 128 frames 7 %.
static const int chunkFrames = AUDIO_CHUNK_FRAMES;
// Frames per device buffer we ask SDL for (23 ms); the device may choose another size.
static const int requestedBufferFrames = 1024;
// Stamps kept per channel; a lookup reaches back only over the device's buffering.
static const int stampCapacity = 1024;

// Where output value changes begin: `value` holds from output frame `frame` on, until the
// next stamp. Module values are position words, stream values file byte offsets.
struct StampRing {
    int64_t frame[stampCapacity];
    uint32_t value[stampCapacity];
    int count = 0;        // stamps held, newest at (first + count - 1) % capacity
    int first = 0;        // index of the oldest stamp
    uint32_t before = 0;  // value for frames older than every stamp held

    void reset(uint32_t start) {
        count = 0;
        first = 0;
        before = start;
    }
    uint32_t newest() const {
        return count ? value[(first + count - 1) % stampCapacity] : before;
    }
    void push(int64_t at, uint32_t v) {
        if (v == newest())
            return;
        if (count == stampCapacity) {
            before = value[first];
            first = (first + 1) % stampCapacity;
            count--;
        }
        int i = (first + count) % stampCapacity;
        frame[i] = at;
        value[i] = v;
        count++;
    }
    // The value of output frame `sample`: the newest stamp at or before it.
    uint32_t at(int64_t sample) const {
        for (int k = count - 1; k >= 0; k--) {
            int i = (first + k) % stampCapacity;
            if (frame[i] <= sample)
                return value[i];
        }
        return before;
    }
};

// Two locks. engineLock guards the decoders and what the renderer reads (held for a whole
// device buffer while rendering). clockLock guards what the position queries read (the
// stamps, the frame counters, the handles) and is only ever held briefly, so a query never
// waits for a render. Order: engineLock before clockLock. Writes to fields read by both
// sides take both locks.
static std::mutex engineLock;
static std::mutex clockLock;

// --- output (engineLock and clockLock)
static AudioBackend chosenBackend = AUDIO_DEVICE;  // set before BASS_Init
static AudioBackend activeBackend = AUDIO_DEVICE;  // what BASS_Init ended up with
static bool initialized;         // between BASS_Init and BASS_Free
static BOOL initResult;          // what BASS_Init returned: non-zero when a sound device opened
static bool outputRunning;       // BASS_Start/BASS_Stop; when false silence is rendered
static SDL_AudioDeviceID device; // 0 for the pull back-end
static int64_t renderedFrames;   // output frames rendered since BASS_Init
static DWORD nextHandle = 1;     // handles are never reused within a run

// --- device clock (clockLock)
static int deviceBufferFrames;                          // frames per device buffer, as obtained
static int64_t deviceLatencyFrames;                     // frames between handing over and hearing
static int64_t callbackRendered;                        // renderedFrames at the end of the last callback
static std::chrono::steady_clock::time_point callbackTime;  // when the last callback ended
static int64_t lastHeard;                               // never report time going backwards

// --- the module (decoder under engineLock; handle, stamps and freeze under clockLock too)
static std::unique_ptr<openmpt::module> module;
static std::vector<uint8_t> moduleFile;  // the file's bytes, to start afresh on every play
static HMUSIC moduleHandle;              // 0 when none is loaded
static bool moduleLoop;                  // BASS_LOOP given at load
static bool modulePlaying;               // renders while the output runs
static bool moduleUsed;                  // rendered since created: the next play needs a fresh one
static bool modulePastStart;             // has reported a position other than order 0 row 0
static bool moduleFrozen;                // stopped by BASS_Stop: report moduleFrozenWord
static uint32_t moduleFrozenWord;
static StampRing moduleStamps;
static int16_t moduleChunk[chunkFrames * 2];  // the chunk read last, stereo
static int moduleChunkFrames;                 // frames in it; fewer than a chunk at the song's end
static int moduleChunkUsed;                   // of those, already rendered

// --- the stream (decoder under engineLock; handle, length, stamps and freeze under clockLock too)
static mpg123_handle *stream;    // open while the stream plays, else null
static std::string streamPath;
static HSTREAM streamHandle;     // 0 when none is open
static DWORD streamLength;       // bytes in the file
static bool streamPlaying;
static bool streamFrozen;
static uint32_t streamFrozenPosition;
static const int16_t *streamPcm; // decoded frame not yet rendered; owned by mpg123
static size_t streamPcmFrames;   // frames in streamPcm
static size_t streamPcmUsed;     // of those, already rendered
static StampRing streamStamps;

static int64_t heardFrameLocked();

static uint32_t positionWord(int order, int row) {
    return (uint32_t(row) & 0xFFFF) << 16 | (uint32_t(order) & 0xFFFF);
}

static void mixInto(int16_t *dst, const int16_t *src, int samples) {
    for (int i = 0; i < samples; i++) {
        int v = dst[i] + src[i];
        dst[i] = int16_t(std::clamp(v, -32768, 32767));
    }
}

// ---------------------------------------------------------------------------------------
// loading

// Reads a whole file; empty when it cannot be read.
static std::vector<uint8_t> readFile(const char *path) {
    std::vector<uint8_t> bytes;
    FILE *f = fopen(path, "rb");
    if (!f)
        return bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(f);
    return bytes;
}

static uint32_t le16(const std::vector<uint8_t> &b, uint64_t at) {
    return at + 2 <= b.size() ? b[at] | b[at + 1] << 8 : 0;
}

static uint32_t le32(const std::vector<uint8_t> &b, uint64_t at) {
    return at + 4 <= b.size() ? le16(b, at) | le16(b, at + 2) << 16 : 0;
}

// An XM file whose patterns, instruments and sample data all lie inside it. libopenmpt
// would play a truncated module with the missing parts silent; we refuse it instead.
static bool completeXm(const std::vector<uint8_t> &b) {
    static const char signature[] = "Extended Module: ";
    if (b.size() < 80 || memcmp(b.data(), signature, 17) != 0)
        return false;
    uint64_t pos = 60 + uint64_t(le32(b, 60));
    uint32_t patterns = le16(b, 70);
    uint32_t instruments = le16(b, 72);
    for (uint32_t p = 0; p < patterns; p++) {
        if (pos + 9 > b.size())
            return false;
        pos += uint64_t(le32(b, pos)) + le16(b, pos + 7);  // header length, packed data size
    }
    for (uint32_t i = 0; i < instruments; i++) {
        if (pos + 29 > b.size())
            return false;
        uint64_t headerSize = std::max<uint32_t>(le32(b, pos), 29);
        uint32_t samples = le16(b, pos + 27);
        if (samples == 0) {
            pos += headerSize;
            continue;
        }
        if (pos + 33 > b.size())
            return false;
        uint64_t sampleHeaderSize = le32(b, pos + 29);
        pos += headerSize;
        uint64_t data = 0;
        for (uint32_t s = 0; s < samples; s++) {
            if (pos + 4 > b.size())
                return false;
            data += le32(b, pos);  // sample length in bytes
            pos += sampleHeaderSize;
        }
        pos += data;
    }
    return pos <= b.size();
}

// A fresh player for the module's bytes, null when libopenmpt refuses them.
static std::unique_ptr<openmpt::module> createModule(const std::vector<uint8_t> &bytes, bool loop) {
    try {
        std::ostringstream log;  // libopenmpt's warnings; the caller reports failure once
        auto m = std::make_unique<openmpt::module>(bytes, log);
        m->set_repeat_count(loop ? -1 : 0);
        // libopenmpt dithers 16-bit output from a random seed; without it every run
        // renders the same samples, which a capture that runs in lockstep relies on.
        m->ctl_set_integer("dither", 0);
        return m;
    } catch (...) {
        return nullptr;
    }
}

// An mpg123 decoder on the file, giving 44100 Hz stereo 16-bit, positioned at its start.
static mpg123_handle *openDecoder(const std::string &path) {
    int error = 0;
    mpg123_handle *h = mpg123_new(nullptr, &error);
    if (!h)
        return nullptr;
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(h);
    mpg123_format(h, AUDIO_RATE, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(h, path.c_str()) != MPG123_OK) {
        mpg123_delete(h);
        return nullptr;
    }
    return h;
}

// A stream is usable when the decoder finds at least one frame with sound in it.
static bool decodesAudio(const std::string &path) {
    mpg123_handle *h = openDecoder(path);
    if (!h)
        return false;
    bool found = false;
    for (int tries = 0; tries < 64 && !found; tries++) {
        off_t number;
        unsigned char *pcm;
        size_t bytes = 0;
        int result = mpg123_decode_frame(h, &number, &pcm, &bytes);
        if (result == MPG123_OK && bytes > 0)
            found = true;
        else if (result != MPG123_OK && result != MPG123_NEW_FORMAT)
            break;
    }
    mpg123_close(h);
    mpg123_delete(h);
    return found;
}

static DWORD takeHandle() {
    DWORD h = nextHandle++;
    if (nextHandle == 0)
        nextHandle = 1;
    return h;
}

// ---------------------------------------------------------------------------------------
// rendering (engineLock held)

static void pushModuleStamp(int64_t at, uint32_t word) {
    std::lock_guard<std::mutex> clock(clockLock);
    moduleStamps.push(at, word);
}

static void pushStreamStamp(int64_t at, uint32_t position) {
    std::lock_guard<std::mutex> clock(clockLock);
    streamStamps.push(at, position);
}

// libopenmpt is always read in whole chunks counted from the song's start, because its
// output differs by a bit here and there with other read sizes; the output then depends on
// nothing but the song, however the device or a caller of audioPullTo cuts it up. After a
// read libopenmpt reports the order and row of the chunk's last frame; the change to it
// happened somewhere inside the chunk, so it is stamped at the chunk's middle.
static void renderModule(int16_t *dst, int frames, int64_t start) {
    int done = 0;
    while (done < frames && modulePlaying) {
        if (moduleChunkUsed == moduleChunkFrames) {
            if (moduleChunkFrames > 0 && moduleChunkFrames < chunkFrames) {
                modulePlaying = false;  // the song is over (it never ends when looping)
                break;
            }
            moduleChunkFrames = int(module->read_interleaved_stereo(AUDIO_RATE, chunkFrames, moduleChunk));
            moduleChunkUsed = 0;
            if (moduleChunkFrames == 0) {
                modulePlaying = false;
                break;
            }
            uint32_t word = positionWord(module->get_current_order(), module->get_current_row());
            // A song that does not loop reports order 0 row 0 during its fade-out at the end:
            // that is not a restart, so the last row stays current.
            if (word == 0 && modulePastStart && !moduleLoop)
                continue;
            if (word != 0)
                modulePastStart = true;
            pushModuleStamp(start + done + moduleChunkFrames / 2, word);
            continue;
        }
        int n = std::min(frames - done, moduleChunkFrames - moduleChunkUsed);
        mixInto(dst + done * 2, moduleChunk + moduleChunkUsed * 2, n * 2);
        moduleChunkUsed += n;
        done += n;
    }
}

static void endStream(int64_t at) {
    streamPlaying = false;
    streamPcm = nullptr;
    streamPcmFrames = streamPcmUsed = 0;
    pushStreamStamp(at, streamLength);
}

// Each MPEG frame's samples are stamped with the frame's file offset at the exact output
// frame where they begin; mpg123_framepos right after mpg123_decode_frame is that offset.
static void renderStream(int16_t *dst, int frames, int64_t start) {
    int done = 0;
    while (done < frames && streamPlaying) {
        if (streamPcmUsed == streamPcmFrames) {
            off_t number;
            unsigned char *pcm;
            size_t bytes = 0;
            int result = mpg123_decode_frame(stream, &number, &pcm, &bytes);
            if (result == MPG123_NEW_FORMAT)
                continue;  // the format is fixed to ours, so nothing changes
            if (result != MPG123_OK) {
                endStream(start + done);  // MPG123_DONE, or an error we cannot get past
                break;
            }
            streamPcm = reinterpret_cast<const int16_t *>(pcm);
            streamPcmFrames = bytes / 4;
            streamPcmUsed = 0;
            if (streamPcmFrames > 0)
                pushStreamStamp(start + done, uint32_t(mpg123_framepos(stream)));
            continue;
        }
        int n = int(std::min<size_t>(frames - done, streamPcmFrames - streamPcmUsed));
        mixInto(dst + done * 2, streamPcm + streamPcmUsed * 2, n * 2);
        streamPcmUsed += n;
        done += n;
    }
}

// Renders the next `frames` output frames into out (interleaved stereo).
static void renderLocked(int16_t *out, int frames) {
    memset(out, 0, size_t(frames) * 4);
    if (outputRunning && modulePlaying && module)
        renderModule(out, frames, renderedFrames);
    if (outputRunning && streamPlaying && stream)
        renderStream(out, frames, renderedFrames);
    std::lock_guard<std::mutex> clock(clockLock);
    renderedFrames += frames;
}

static void SDLCALL audioCallback(void *, Uint8 *bytes, int length) {
    std::lock_guard<std::mutex> engine(engineLock);
    renderLocked(reinterpret_cast<int16_t *>(bytes), length / 4);
    std::lock_guard<std::mutex> clock(clockLock);
    callbackRendered = renderedFrames;
    callbackTime = std::chrono::steady_clock::now();
}

// ---------------------------------------------------------------------------------------
// the clock (clockLock held)

// Frames a device holds between our callback and the speaker. SDL cannot tell; this is the
// one place that estimates it. The disk and dummy drivers consume a buffer, then sleep for
// its duration, so the buffer just handed over is the one heard. Real drivers keep about
// one more buffer queued (ALSA runs two periods; PulseAudio asks for one buffer of target
// length on top of the one being played).
static int64_t estimateLatency(const char *driver, int bufferFrames) {
    if (driver && (strcmp(driver, "disk") == 0 || strcmp(driver, "dummy") == 0))
        return bufferFrames;
    return 2 * int64_t(bufferFrames);
}

// The output frame being heard now: what was handed over minus the device's buffering,
// advanced in real time since the last callback, but never past the next buffer's start and
// never backwards.
static int64_t heardFrameLocked() {
    if (!initialized)
        return 0;
    if (activeBackend == AUDIO_PULL)
        return renderedFrames;
    double since = std::chrono::duration<double>(std::chrono::steady_clock::now() - callbackTime).count();
    int64_t base = callbackRendered - deviceLatencyFrames;
    int64_t heard = base + int64_t(since * AUDIO_RATE);
    heard = std::min(heard, base + deviceBufferFrames);
    heard = std::max(heard, lastHeard);
    lastHeard = heard;
    return heard;
}

// A frame index counts frames from 0; "heard up to frame h" means frame h - 1 is sounding.
static uint32_t modulePositionLocked() {
    if (moduleFrozen)
        return moduleFrozenWord;
    return moduleStamps.at(heardFrameLocked() - 1);
}

static uint32_t streamPositionLocked() {
    if (streamFrozen)
        return streamFrozenPosition;
    return streamStamps.at(heardFrameLocked() - 1);
}

// ---------------------------------------------------------------------------------------
// output back-ends

// Opens SDL audio with the named driver (null: SDL's choice, which honours SDL_AUDIODRIVER).
static bool openDevice(const char *driver) {
    if (driver)
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, driver, SDL_HINT_OVERRIDE);
    int result = SDL_InitSubSystem(SDL_INIT_AUDIO);
    if (driver)
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    if (result != 0)
        return false;
    SDL_AudioSpec want, have;
    SDL_zero(want);
    want.freq = AUDIO_RATE;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = requestedBufferFrames;
    want.callback = audioCallback;
    // SDL converts rate and format for us; the buffer size is the device's, so that the
    // latency estimate rests on what the device really uses.
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    device = id;
    deviceBufferFrames = have.samples;
    deviceLatencyFrames = estimateLatency(SDL_GetCurrentAudioDriver(), have.samples);
    callbackRendered = 0;
    callbackTime = std::chrono::steady_clock::now();
    lastHeard = 0;
    return true;
}

void audioSelectBackend(AudioBackend backend) {
    chosenBackend = backend;
}

AudioBackend audioBackend() {
    std::lock_guard<std::mutex> clock(clockLock);
    return initialized ? activeBackend : chosenBackend;
}

int64_t audioPullTo(int64_t frame, int16_t *out) {
    std::lock_guard<std::mutex> engine(engineLock);
    if (!initialized || activeBackend != AUDIO_PULL || frame <= renderedFrames)
        return 0;
    int64_t total = frame - renderedFrames;
    int16_t scratch[4096 * 2];
    for (int64_t done = 0; done < total;) {
        int n = int(std::min<int64_t>(total - done, 4096));
        int16_t *dst = out ? out + done * 2 : scratch;
        renderLocked(dst, n);
        done += n;
    }
    return total;
}

int64_t audioRenderedFrames() {
    std::lock_guard<std::mutex> clock(clockLock);
    return renderedFrames;
}

int64_t audioHeardFrame() {
    std::lock_guard<std::mutex> clock(clockLock);
    return heardFrameLocked();
}

// ---------------------------------------------------------------------------------------
// the library interface

BOOL BASS_Init(int, DWORD, DWORD, void *) {
    {
        std::lock_guard<std::mutex> clock(clockLock);
        if (initialized)
            return initResult;
    }
    mpg123_init();
    AudioBackend backend = chosenBackend;
    bool opened = false;
    if (backend == AUDIO_DEVICE) {
        opened = openDevice(nullptr);
        // no device, or SDL_AUDIODRIVER asked for SDL's silent one: a silent clock that
        // runs in real time instead
        const char *driver = SDL_GetCurrentAudioDriver();
        if (!opened || (driver && strcmp(driver, "dummy") == 0))
            backend = AUDIO_SILENT;
    }
    if (backend == AUDIO_SILENT && !opened && !openDevice("dummy"))
        backend = AUDIO_PULL;  // not even SDL's dummy driver: time only moves when pulled
    SDL_AudioDeviceID running;
    {
        std::lock_guard<std::mutex> engine(engineLock);
        std::lock_guard<std::mutex> clock(clockLock);
        activeBackend = backend;
        initialized = true;
        outputRunning = true;  // the output starts with the library, as a device would
        renderedFrames = 0;
        lastHeard = 0;
        running = device;
    }
    // SDL takes its own device lock here, which the callback holds while it waits for ours.
    if (running)
        SDL_PauseAudioDevice(running, 0);
    // The pull back-end hands every frame to its caller: nothing fell back.
    std::lock_guard<std::mutex> clock(clockLock);
    initResult = backend == AUDIO_DEVICE || (backend == AUDIO_PULL && chosenBackend == AUDIO_PULL);
    return initResult;
}

HMUSIC BASS_MusicLoad(BOOL mem, const char *file, DWORD, DWORD, DWORD flags) {
    if (mem || !file)
        return 0;
    {
        std::lock_guard<std::mutex> clock(clockLock);
        if (!initialized)
            return 0;
    }
    std::vector<uint8_t> bytes = readFile(file);
    bool loop = (flags & BASS_LOOP) != 0;
    std::unique_ptr<openmpt::module> fresh = completeXm(bytes) ? createModule(bytes, loop) : nullptr;
    if (!fresh)
        return 0;
    std::unique_ptr<openmpt::module> old;
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized)
        return 0;
    old = std::move(module);
    module = std::move(fresh);
    moduleFile = std::move(bytes);
    moduleHandle = takeHandle();
    moduleLoop = loop;
    modulePlaying = moduleUsed = modulePastStart = moduleFrozen = false;
    moduleChunkFrames = moduleChunkUsed = 0;
    moduleStamps.reset(0);
    return moduleHandle;
}

BOOL BASS_Start(void) {
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized)
        return 0;
    outputRunning = true;
    return 1;
}

BOOL BASS_MusicPlay(HMUSIC handle) {
    std::unique_ptr<openmpt::module> fresh;
    std::vector<uint8_t> bytes;
    bool loop = false;
    {
        std::lock_guard<std::mutex> engine(engineLock);
        if (!initialized || handle == 0 || handle != moduleHandle)
            return 0;
        if (moduleUsed) {
            bytes = moduleFile;
            loop = moduleLoop;
        }
    }
    // Playing again starts from a fresh player, so tempo, speed and volumes set by the song
    // begin as the file says; it is built outside the locks to keep the output going.
    if (!bytes.empty()) {
        fresh = createModule(bytes, loop);
        if (!fresh)
            return 0;
    }
    std::unique_ptr<openmpt::module> old;
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle != moduleHandle)
        return 0;
    if (fresh) {
        old = std::move(module);
        module = std::move(fresh);
    }
    modulePlaying = moduleUsed = true;
    modulePastStart = moduleFrozen = false;
    moduleChunkFrames = moduleChunkUsed = 0;
    moduleStamps.reset(0);
    return 1;
}

DWORD BASS_ChannelGetPosition(DWORD handle) {
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle == 0 || handle != moduleHandle)
        return 0xFFFFFFFF;
    return modulePositionLocked();
}

BOOL BASS_Stop(void) {
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized)
        return 0;
    // Stopped channels keep the position heard at this moment until they are played again.
    if (modulePlaying) {
        moduleFrozenWord = modulePositionLocked();
        moduleFrozen = true;
        modulePlaying = false;
    }
    if (streamPlaying) {
        streamFrozenPosition = streamPositionLocked();
        streamFrozen = true;
        streamPlaying = false;
    }
    outputRunning = false;
    return 1;
}

static void closeStreamLocked() {
    if (stream) {
        mpg123_close(stream);
        mpg123_delete(stream);
    }
    stream = nullptr;
    streamPcm = nullptr;
    streamPcmFrames = streamPcmUsed = 0;
    streamPlaying = streamFrozen = false;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const char *file, DWORD, DWORD, DWORD) {
    if (mem || !file)
        return 0;
    {
        std::lock_guard<std::mutex> clock(clockLock);
        if (!initialized)
            return 0;
    }
    FILE *f = fopen(file, "rb");
    if (!f)
        return 0;
    long length = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : -1;
    fclose(f);
    if (length <= 0 || length > 0x7FFFFFFFL || !decodesAudio(file))
        return 0;
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized)
        return 0;
    // One stream at a time: a new one replaces the old.
    closeStreamLocked();
    streamPath = file;
    streamLength = DWORD(length);
    streamHandle = takeHandle();
    streamStamps.reset(0);
    return streamHandle;
}

BOOL BASS_StreamPlay(HSTREAM handle, BOOL, DWORD) {
    std::string path;
    {
        std::lock_guard<std::mutex> engine(engineLock);
        if (!initialized || handle == 0 || handle != streamHandle)
            return 0;
        path = streamPath;
    }
    // A fresh decoder plays from the start; opened outside the locks to keep the output going.
    mpg123_handle *fresh = openDecoder(path);
    if (!fresh)
        return 0;
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle != streamHandle) {
        mpg123_close(fresh);
        mpg123_delete(fresh);
        return 0;
    }
    closeStreamLocked();
    stream = fresh;
    streamPlaying = true;
    streamStamps.reset(0);
    return 1;
}

DWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode) {
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle == 0 || handle != streamHandle)
        return 0;
    if (mode != 0)
        return streamLength;  // the whole file is at hand: downloaded and ending at its length
    return streamPositionLocked();
}

DWORD BASS_StreamGetLength(HSTREAM handle) {
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle == 0 || handle != streamHandle)
        return 0;
    return streamLength;
}

void BASS_Free(void) {
    SDL_AudioDeviceID closing;
    {
        std::lock_guard<std::mutex> engine(engineLock);
        if (!initialized)
            return;
        closing = device;
    }
    // Closing waits for the callback to return, so no lock may be held here.
    if (closing) {
        SDL_CloseAudioDevice(closing);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    std::unique_ptr<openmpt::module> old;
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    device = 0;
    initialized = false;
    outputRunning = false;
    old = std::move(module);
    moduleFile.clear();
    moduleHandle = 0;
    modulePlaying = moduleFrozen = false;
    moduleStamps.reset(0);
    closeStreamLocked();
    streamHandle = 0;
    streamLength = 0;
    streamStamps.reset(0);
    renderedFrames = callbackRendered = lastHeard = 0;
}

BOOL BASS_StreamFree(HSTREAM handle) {
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle == 0 || handle != streamHandle)
        return 0;
    closeStreamLocked();
    streamHandle = 0;
    streamLength = 0;
    streamStamps.reset(0);
    return 1;
}
