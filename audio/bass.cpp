// bass.cpp -- the engine's interface: the operations of bass.h and the back-end seam of audio.h
#include "engine.h"

#include <mpg123.h>

#include <algorithm>

// The engine's state, described field by field in engine.h.
namespace engine {

std::mutex engineLock;
std::mutex clockLock;

// --- output
AudioBackend chosenBackend = AUDIO_DEVICE;
const char *chosenOutput;
int chosenRate = AUDIO_RATE;
AudioBackend startedBackend = AUDIO_DEVICE;
AudioBackend activeBackend = AUDIO_DEVICE;
bool initialized;
BOOL initResult;
bool outputRunning;
int64_t renderedFrames;
int outputRate = AUDIO_RATE;
bool outputRateFixed;
DWORD nextHandle = 1;

// --- the device
DeviceStream *device;
std::string deviceName;
std::atomic<bool> deviceFailed;
std::atomic<bool> deviceChanged;
std::atomic<int> positionReaders;

// --- the keeper
std::thread keeperThread;
std::condition_variable keeperWake;
bool keeperStop;
bool keeperDone;
int keeperAttempts;
bool startFellBack;

// --- the clock
int64_t deviceBase;
uint64_t devicePosition;
Clock::time_point devicePositionTime;
Clock::time_point deviceProgressTime;
Clock::time_point deviceTakenOn;
int64_t silentBase;
Clock::time_point silentStart;
int64_t lastHeard;
double lookaheadSeconds;
int64_t lastQueried;

// --- the silent clock's renderer
std::thread silentThread;
std::condition_variable silentWake;
bool silentStop;

// --- the module
std::unique_ptr<openmpt::module> module;
std::vector<uint8_t> moduleFile;
HMUSIC moduleHandle;
bool moduleLoop;
bool modulePlaying;
bool moduleUsed;
bool modulePastStart;
bool moduleFrozen;
uint32_t moduleFrozenWord;
int moduleFrozenEnds;
std::vector<int64_t> moduleEnds;
StampRing moduleStamps;
int16_t moduleChunk[chunkFrames * 2];
int moduleChunkFrames;
int moduleChunkUsed;

// --- the stream
Mp3Decoder *stream;
FileBytes streamFile;
HSTREAM streamHandle;
DWORD streamLength;
bool streamPlaying;
bool streamFrozen;
uint32_t streamFrozenPosition;
const int16_t *streamPcm;
size_t streamPcmFrames;
size_t streamPcmUsed;
StampRing streamStamps;

// --- loading
std::string loadError;

}  // namespace engine

using namespace engine;

void audioSelectBackend(AudioBackend backend) {
    chosenBackend = backend;
}

AudioBackend audioBackend() {
    std::lock_guard<std::mutex> clock(clockLock);
    return initialized ? activeBackend : chosenBackend;
}

void audioSelectRate(int rate) {
    chosenRate = rate;
}

void audioSelectOutput(const char *name) {
    chosenOutput = name;
}

const char *audioOutputName() {
    AudioBackend backend = audioBackend();
    std::lock_guard<std::mutex> clock(clockLock);
    if (backend == AUDIO_DEVICE)
        return initialized ? deviceName.c_str() : chosenOutput ? chosenOutput : "device";
    return outputFor(backend).name;
}

const char *audioLoadError() {
    return loadError.c_str();
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

int audioOutputRate() {
    std::lock_guard<std::mutex> clock(clockLock);
    return outputRate;
}

int64_t audioHeardFrame() {
    return heardFrame();
}

int64_t audioQueriedFrame() {
    return queriedFrame();
}

void audioSetLookahead(double seconds) {
    std::lock_guard<std::mutex> clock(clockLock);
    lookaheadSeconds = std::max(0.0, seconds);
}

BOOL BASS_Init(int, DWORD, DWORD, void *) {
    {
        std::lock_guard<std::mutex> clock(clockLock);
        if (initialized)
            return initResult;
    }
    mpg123_init();
    AudioBackend backend = chosenBackend;
    {
        std::lock_guard<std::mutex> engine(engineLock);
        std::lock_guard<std::mutex> clock(clockLock);
        activeBackend = startedBackend = backend;
        initialized = true;
        outputRunning = true;  // the output starts with the library, as a device would
        renderedFrames = 0;
        outputRate = backend == AUDIO_DEVICE ? AUDIO_RATE : chosenRate;
        outputRateFixed = false;
        lastHeard = lastQueried = 0;
        devicePosition = 0;
        devicePositionTime = Clock::now();
        deviceFailed = deviceChanged = false;
    }
    // a device starts on the silent clock, and the keeper moves the music onto it as soon
    // as it plays (or whenever one can be opened later)
    bool playing = outputFor(backend).start();
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    outputRateFixed = true;  // a module may be played from now on
    initResult = playing;
    return initResult;
}

HMUSIC BASS_MusicLoad(BOOL mem, const char *file, DWORD offset, DWORD length, DWORD flags) {
    {
        std::lock_guard<std::mutex> clock(clockLock);
        if (!initialized)
            return refuse("the audio engine is not running");
    }
    std::vector<uint8_t> bytes;
    std::string why = loadBytes(mem, file, offset, length, bytes);
    if (why.empty())
        why = checkXm(bytes);
    if (!why.empty())
        return refuse(why);
    bool loop = (flags & BASS_LOOP) != 0;
    std::unique_ptr<openmpt::module> fresh = createModule(bytes, loop);
    if (!fresh)
        return refuse("not a playable XM module");
    std::unique_ptr<openmpt::module> old;
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized)
        return refuse("the audio engine is not running");
    old = std::move(module);
    module = std::move(fresh);
    moduleFile = std::move(bytes);
    moduleHandle = takeHandle();
    moduleLoop = loop;
    modulePlaying = moduleUsed = modulePastStart = moduleFrozen = false;
    moduleChunkFrames = moduleChunkUsed = 0;
    moduleStamps.reset(0);
    moduleEnds.clear();
    loadError.clear();
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
    moduleEnds.clear();
    return 1;
}

// Asks the module clock, as of the frame heard now, on behalf of `handle`: `none` unless it is
// the module loaded.
template <class T>
static T askModuleClock(DWORD handle, T none, T (*ask)(int64_t heard)) {
    int64_t heard = queriedFrame();
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle == 0 || handle != moduleHandle)
        return none;
    return ask(heard);
}

DWORD BASS_ChannelGetPosition(DWORD handle) {
    return askModuleClock<uint32_t>(handle, 0xFFFFFFFF, modulePositionLocked);
}

int audioModuleEnds(HMUSIC handle) {
    return askModuleClock<int>(handle, 0, moduleEndsLocked);
}

BOOL BASS_Stop(void) {
    int64_t heard = queriedFrame();
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized)
        return 0;
    // Stopped channels keep the position heard at this moment until they are played again.
    if (modulePlaying) {
        moduleFrozenWord = modulePositionLocked(heard);
        moduleFrozenEnds = moduleEndsLocked(heard);
        moduleFrozen = true;
        modulePlaying = false;
    }
    if (streamPlaying) {
        streamFrozenPosition = streamPositionLocked(heard);
        streamFrozen = true;
        streamPlaying = false;
    }
    outputRunning = false;
    return 1;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const char *file, DWORD offset, DWORD length, DWORD) {
    {
        std::lock_guard<std::mutex> clock(clockLock);
        if (!initialized)
            return refuse("the audio engine is not running");
    }
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    std::string why = loadBytes(mem, file, offset, length, *bytes);
    if (why.empty() && bytes->empty())
        why = "empty file";
    if (why.empty() && !decodesAudio(bytes))
        why = "not an MP3 stream";
    if (!why.empty())
        return refuse(why);
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized)
        return refuse("the audio engine is not running");
    // One stream at a time: a new one replaces the old.
    closeStreamLocked();
    streamFile = bytes;
    streamLength = DWORD(bytes->size());
    streamHandle = takeHandle();
    streamStamps.reset(0);
    loadError.clear();
    return streamHandle;
}

BOOL BASS_StreamPlay(HSTREAM handle, BOOL, DWORD) {
    FileBytes bytes;
    int rate;
    {
        std::lock_guard<std::mutex> engine(engineLock);
        if (!initialized || handle == 0 || handle != streamHandle)
            return 0;
        bytes = streamFile;
        rate = outputRate;
    }
    // A fresh decoder plays from the start; opened outside the locks to keep the output going.
    Mp3Decoder *fresh = openDecoder(bytes, rate);
    if (!fresh)
        return 0;
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle != streamHandle) {
        closeDecoder(fresh);
        return 0;
    }
    closeStreamLocked();
    stream = fresh;
    streamPlaying = true;
    streamStamps.reset(0);
    return 1;
}

DWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode) {
    int64_t heard = queriedFrame();
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle == 0 || handle != streamHandle)
        return 0;
    if (mode != 0)
        return streamLength;  // the whole file is at hand: downloaded and ending at its length
    return streamPositionLocked(heard);
}

DWORD BASS_StreamGetLength(HSTREAM handle) {
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle == 0 || handle != streamHandle)
        return 0;
    return streamLength;
}

void BASS_Free(void) {
    {
        std::lock_guard<std::mutex> engine(engineLock);
        if (!initialized)
            return;
    }
    // Both wait (a bounded time) for threads that take our locks, so neither is held here.
    outputFor(startedBackend).stop();
    stopSilentClock();
    std::unique_ptr<openmpt::module> old;
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    initialized = false;
    outputRunning = false;
    old = std::move(module);
    moduleFile.clear();
    moduleHandle = 0;
    modulePlaying = moduleFrozen = false;
    moduleStamps.reset(0);
    moduleEnds.clear();
    closeStreamLocked();
    streamFile.reset();
    streamHandle = 0;
    streamLength = 0;
    streamStamps.reset(0);
    renderedFrames = lastHeard = lastQueried = 0;
}

BOOL BASS_StreamFree(HSTREAM handle) {
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle == 0 || handle != streamHandle)
        return 0;
    closeStreamLocked();
    streamFile.reset();
    streamHandle = 0;
    streamLength = 0;
    streamStamps.reset(0);
    return 1;
}
