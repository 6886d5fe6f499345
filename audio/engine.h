// engine.h -- the audio engine's shared state and inner calls, private to audio/
//
// The engine's jobs lie in one file each: load.cpp reads files and checks XM modules;
// channels.cpp renders the module and the stream and keeps their position stamps; clock.cpp
// says which output frame is heard now; output.cpp drives the outputs (a sound device, the
// silent clock); pipewire.cpp and cubeb.cpp are the sound devices; bass.cpp is the interface
// of bass.h and audio.h.
#pragma once
#include "audio.h"
#include "bass.h"

#include <libopenmpt/libopenmpt.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What "heard now" rests on, per output, as measured by bench/audio_sync.cpp against a real
// server (a null sink's monitor recorded in the same process at the sink's rate, aligned
// sample-exactly with libopenmpt's render at that rate; see docs/audio-sync.md):
//   - PipeWire's own stream: PipeWire's account of each graph cycle (pw_stream_get_time_n),
//     carried on by the monotonic clock between cycles;
//   - cubeb's pulse back-end on PulseAudio 16: the position comes from libpulse's timing,
//     which counts the sink's latency; it is the frame played to within a frame or two. On
//     PipeWire through pipewire-pulse (used only where the stream of its own cannot be had)
//     libpulse's smoother extrapolates between timing answers that pipewire-pulse gives as
//     of its last graph cycle, and the position wanders by a few milliseconds either way;
//   - cubeb's alsa back-end through the ALSA pulse plugin: the position is the frames
//     written minus snd_pcm_delay;
//   - no server at all: the silent clock, steady-clock time x the output's rate.
// No latency is estimated here: the engine reads the position and only smooths it.

// Everything here lives in namespace engine, apart from the player's own names.
namespace engine {

using Clock = std::chrono::steady_clock;

// Frames libopenmpt renders per read, and so between two position stamps: 2.9 ms, so a
// row change is placed within ±1.45 ms. Each read costs libopenmpt a fixed overhead: with
// 64 frames it renders 16 % slower than with 1024, with 128 frames 7 %.
static const int chunkFrames = AUDIO_CHUNK_FRAMES;
// The latency we ask cubeb for (46 ms). The position accounts for whatever the server
// makes of it, so this only trades the risk of an underrun on a busy machine against how
// soon BASS_Stop falls silent.
static const int deviceLatencyFrames = 2048;
// The graph cycle we ask PipeWire for, in frames at the stream's rate (21 ms at 48 kHz): the
// stream has one cycle in the sink and the next one rendered meanwhile, so it holds about as
// much as cubeb's request. Other clients may make the cycle shorter; the clock follows.
static const int pipewireQuantum = deviceLatencyFrames / 2;
// Stamps kept per channel; a lookup reaches back only over the output's buffering.
static const int stampCapacity = 1024;
// How far the silent clock's renderer keeps ahead of the frame heard (46 ms), and how
// often it wakes: a query then always finds the stamps of the frame it asks about.
static const int silentLeadFrames = 2048;
static const std::chrono::milliseconds silentPeriod(5);
// Between two changes of the device's position the heard frame runs on by the steady
// clock, but by no more than this (50 ms): a stalled stream does not run away. The web
// back-end carries its answers on as far (CARRY_LIMIT in webaudio.js).
static const std::chrono::milliseconds interpolationLimit(50);

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
// output buffer while rendering). clockLock guards what the position queries read (the
// stamps, the frame counters, the handles) and is only ever held briefly, so a query never
// waits for a render. Order: engineLock before clockLock. Fields marked [both] are read under
// either lock and written under both. A device's own lock (cubeb's, PipeWire's thread loop)
// comes before both: its thread holds it while it asks for frames, so a device is never
// called with one of ours held.
extern std::mutex engineLock;
extern std::mutex clockLock;

// --- output
extern AudioBackend chosenBackend;   // [set before BASS_Init] the back-end asked for
extern const char *chosenOutput;     // [set before BASS_Init] device asked for (audioSelectOutput); null: any
extern int chosenRate;               // [set before BASS_Init] the pull and silent back-ends' rate
extern AudioBackend startedBackend;  // [both] what BASS_Init was asked for
extern AudioBackend activeBackend;   // [both] what BASS_Init ended up with
extern bool initialized;             // [both] between BASS_Init and BASS_Free
extern BOOL initResult;              // [both] what BASS_Init returned: non-zero when a sound device opened
extern bool outputRunning;           // [both] BASS_Start/BASS_Stop; when false silence is rendered
extern int64_t renderedFrames;       // [both] output frames rendered since BASS_Init
// [both] The output's frames a second: every frame count of the engine (rendered, heard,
// stamped) is at this rate. AUDIO_RATE, or the rate the server runs at when the first device
// opens, so that nothing resamples after us; fixed from the moment BASS_Init returns.
extern int outputRate;
extern bool outputRateFixed;         // [both] BASS_Init has returned: outputRate no longer changes
extern DWORD nextHandle;             // [both] handles are never reused within a run

// How long the keeper waits: for its first attempt to open an output (BASS_Init waits that
// long at most), for a close, between attempts while there is no output, between its looks
// at the output in use; and how long the frame heard may stand still on a device before
// the server counts as stalled (longer in a new stream's first seconds: PulseAudio's null
// sink plays a new stream's first write and then asks for more only two seconds later).
static const std::chrono::milliseconds openLimit(3000);
static const std::chrono::milliseconds closeLimit(300);
// How long the first attempt waits for the server to say at which rate it runs.
static const std::chrono::milliseconds rateLimit(1000);
static const std::chrono::milliseconds retryPeriod(1500);
static const std::chrono::milliseconds keeperPeriod(20);
static const std::chrono::milliseconds stallLimit(500);
static const std::chrono::milliseconds startLimit(4000);
static const std::chrono::milliseconds startPeriod(5000);

// One opened output; each kind of device extends it with its own handles (pipewire.cpp,
// cubeb.cpp), and only its own file sees them.
struct DeviceKind;
struct DeviceStream {
    const DeviceKind *kind = nullptr;
    std::string name;      // what audioOutputName says while it plays: "pipewire", cubeb's back-end id
    int rate = AUDIO_RATE; // frames a second it was opened at
    int64_t written = 0;   // [engineLock] frames handed to the device since it started, silence included
};

// A kind of sound device the keeper can open: the table in output.cpp lists them in the
// order they are tried. Each call may wait on the server, so the keeper makes them with
// none of our locks held, and a close runs bounded (closeDevice).
struct DeviceKind {
    // True when audioSelectOutput's choice (null: any) names this kind.
    bool (*chosen)(const char *choice);
    // Opens and starts a stereo 16-bit stream at `rate` (0: the rate the server runs at),
    // playing silence until the engine takes it on; null when it cannot. `answered` tells the
    // keeper whether a server of this kind is there: then no other kind is tried this time
    // (a PipeWire server that is stalled would be reached again through pipewire-pulse).
    // cubeb never sets it: it is tried last, so there is no other kind left to spare.
    DeviceStream *(*open)(int rate, bool &answered);
    // The frame the device played at moment `at`, counted from its start; false when it
    // does not say. Called from any thread, with none of our locks held.
    bool (*position)(DeviceStream *d, uint64_t &frame, Clock::time_point &at);
    // Stops and frees it; may wait on the server.
    void (*close)(DeviceStream *d);
};
extern const DeviceKind pipewireDevice;
extern const DeviceKind cubebDevice;

// --- the device (called with neither lock held)
extern DeviceStream *device;            // [both] the output in use; null on the silent clock
extern std::string deviceName;          // [both] the name of the output last taken on
extern std::atomic<bool> deviceFailed;  // [clockLock to set] the stream reported an error
extern std::atomic<bool> deviceChanged; // [clockLock to set] the desktop's default output changed
extern std::atomic<int> positionReaders;  // position queries asking the device now; it stays open meanwhile

// --- the keeper: the thread that opens, watches and closes the outputs
extern std::thread keeperThread;            // [the thread that calls BASS_Init and BASS_Free]
extern std::condition_variable keeperWake;  // [clockLock] wakes it to stop, and BASS_Init when it tried
extern bool keeperStop;                     // [clockLock] asks it to stop
extern bool keeperDone;                     // [clockLock] it has stopped
extern int keeperAttempts;                  // [clockLock] attempts to open an output so far
extern bool startFellBack;                  // [clockLock] BASS_Init fell back to silence: announce an output found later

// --- the clock
extern int64_t deviceBase;                  // [clockLock] output frame heard at the device's position 0
extern uint64_t devicePosition;             // [clockLock] the device's position when it last changed, in frames
extern Clock::time_point devicePositionTime;  // [clockLock] ... and the moment it holds for
extern Clock::time_point deviceProgressTime;  // [clockLock] when the frame heard on the device last moved on
extern Clock::time_point deviceTakenOn;     // [clockLock] when the device in use was taken on
extern int64_t silentBase;                  // [clockLock] heard frame when the silent clock started
extern Clock::time_point silentStart;       // [clockLock] ... and the moment it started
extern int64_t lastHeard;                   // [clockLock] never report time going backwards
extern double lookaheadSeconds;             // [clockLock] position queries answer for this far ahead
extern int64_t lastQueried;                 // [clockLock] the frame the queries answered for last: never earlier again

// --- the silent clock's renderer
extern std::thread silentThread;            // [both] runs while the silent clock is the output
extern std::condition_variable silentWake;  // [clockLock] wakes it to stop
extern bool silentStop;                     // [clockLock] asks it to stop

// --- the module
extern std::unique_ptr<openmpt::module> module;  // [engineLock] the player
extern std::vector<uint8_t> moduleFile;  // [both] the file's bytes, to start afresh on every play
extern HMUSIC moduleHandle;              // [both] 0 when none is loaded
extern bool moduleLoop;                  // [both] BASS_LOOP given at load
extern bool modulePlaying;               // [both] renders while the output runs
extern bool moduleUsed;                  // [both] rendered since created: the next play needs a fresh one
extern bool modulePastStart;             // [engineLock] has reported a position other than order 0 row 0
extern bool moduleFrozen;                // [both] stopped by BASS_Stop: report moduleFrozenWord
extern uint32_t moduleFrozenWord;        // [both] the position kept by BASS_Stop
extern int moduleFrozenEnds;             // [both] ... and the ends heard by then
// [clockLock] Output frames at which a pass of the song ended (the first frame after its
// last sample), oldest first: libopenmpt says so by rendering nothing at the song's end.
extern std::vector<int64_t> moduleEnds;
extern StampRing moduleStamps;                // [clockLock] position words by output frame
extern int16_t moduleChunk[chunkFrames * 2];  // [engineLock] the chunk read last, stereo
extern int moduleChunkFrames;                 // [engineLock] frames in it; fewer than a chunk at the song's end
extern int moduleChunkUsed;                   // [engineLock] of those, already rendered

// --- the stream
typedef std::shared_ptr<const std::vector<uint8_t>> FileBytes;
struct Mp3Decoder;
extern Mp3Decoder *stream;          // [engineLock] open while the stream plays, else null
extern FileBytes streamFile;        // [both] the file's bytes; each decoder reads its own cursor on them
extern HSTREAM streamHandle;        // [both] 0 when none is open
extern DWORD streamLength;          // [both] bytes in the file
extern bool streamPlaying;          // [both] renders while the output runs
extern bool streamFrozen;           // [both] stopped by BASS_Stop: report streamFrozenPosition
extern uint32_t streamFrozenPosition;  // [both] the position kept by BASS_Stop
extern const int16_t *streamPcm;    // [engineLock] decoded frame not yet rendered; owned by the decoder
extern size_t streamPcmFrames;      // [engineLock] frames in streamPcm
extern size_t streamPcmUsed;        // [engineLock] of those, already rendered
extern StampRing streamStamps;      // [clockLock] file offsets by output frame

// --- loading
extern std::string loadError;  // [the thread that loads] why the last load failed, "" after one that succeeded

// load.cpp: reading files, the XM check, handles
std::string loadBytes(BOOL mem, const char *file, DWORD offset, DWORD length, std::vector<uint8_t> &bytes);
const char *checkXm(const std::vector<uint8_t> &b);
DWORD takeHandle();
DWORD refuse(const std::string &why);

// channels.cpp: the module and the stream, rendered and stamped
std::unique_ptr<openmpt::module> createModule(const std::vector<uint8_t> &bytes, bool loop);
void closeDecoder(Mp3Decoder *d);
Mp3Decoder *openDecoder(const FileBytes &bytes, int rate);
bool decodesAudio(const FileBytes &bytes);
void renderLocked(int16_t *out, int frames);
uint32_t modulePositionLocked(int64_t heard);
int moduleEndsLocked(int64_t heard);
uint32_t streamPositionLocked(int64_t heard);
void closeStreamLocked();

// clock.cpp: the frame heard now
int64_t heardFrameLocked(bool fresh, uint64_t position, Clock::time_point at = Clock::time_point());
int64_t heardFrame();
int64_t queriedFrame();

// output.cpp: the outputs
void startSilentClockLocked(int64_t from);
void stopSilentClock();
// What a device's thread calls for its next `frames` frames: the music once the device is
// taken on, silence before and after. Returns the frames handed to the device before these.
int64_t renderForDevice(DeviceStream *d, int16_t *out, int frames);
// A device's thread reports that its stream failed, or that the desktop's default output
// changed; the keeper then gives it up for the silent clock.
void reportDeviceTrouble(DeviceStream *d, bool defaultChanged);
// Runs `work` on a thread of its own and waits for it at most `limit`; false when it did
// not finish in time (it is then left to finish whenever it can).
bool runBounded(std::function<void()> work, std::chrono::milliseconds limit);
// Closes a device through its kind, waiting for it at most closeLimit.
void closeDevice(DeviceStream *d);
// What each output (audio.h's back-ends) does at BASS_Init and BASS_Free.
struct Output {
    AudioBackend backend;
    const char *name;    // audioOutputName's answer while it is in use (a device says its own)
    bool (*start)();     // true when it plays as chosen, false when it fell back to the silent clock
    void (*stop)();      // waits for its threads a bounded time
};
const Output &outputFor(AudioBackend backend);

}  // namespace engine
