// audio.cpp -- the audio engine: mixes the module and the MP3 stream into one output and says what is heard now
#include "audio.h"
#include "bass.h"

#include <cubeb/cubeb.h>
#include <libopenmpt/libopenmpt.hpp>
#include <mpg123.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// What "heard now" rests on, per output, as measured by bench/audio_sync.cpp against a real
// server (a null sink's monitor recorded in the same process, aligned sample-exactly with
// libopenmpt's render; see the README for the figures):
//   - cubeb's pulse back-end on PulseAudio 16 and on PipeWire 0.3 through pipewire-pulse:
//     the position comes from libpulse's timing, which counts the sink's latency;
//   - cubeb's alsa back-end through the ALSA pulse plugin: the position is the frames
//     written minus snd_pcm_delay;
//   - no server at all: the silent clock, steady-clock time x 44100.
// No latency is estimated here: the engine reads the position and only smooths it.

using Clock = std::chrono::steady_clock;

// Frames libopenmpt renders per read, and so between two position stamps: 2.9 ms, so a
// row change is placed within ±1.45 ms. Each read costs libopenmpt a fixed overhead: with
// 64 frames it renders 16 % slower than with 1024, with 128 frames 7 %.
static const int chunkFrames = AUDIO_CHUNK_FRAMES;
// The latency we ask cubeb for (46 ms). The position accounts for whatever the server
// makes of it, so this only trades the risk of an underrun on a busy machine against how
// soon BASS_Stop falls silent.
static const int deviceLatencyFrames = 2048;
// Stamps kept per channel; a lookup reaches back only over the output's buffering.
static const int stampCapacity = 1024;
// How far the silent clock's renderer keeps ahead of the frame heard (46 ms), and how
// often it wakes: a query then always finds the stamps of the frame it asks about.
static const int silentLeadFrames = 2048;
static const std::chrono::milliseconds silentPeriod(5);
// Between two changes of the device's position the heard frame runs on by the steady
// clock, but by no more than this (50 ms): a stalled stream does not run away.
static const int64_t interpolationLimitFrames = AUDIO_RATE / 20;

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
// waits for a render. Order: engineLock before clockLock. Writes to fields read by both
// sides take both locks. cubeb's own lock comes before both: its thread holds it while it
// calls deviceData, so cubeb is never called with one of ours held.
static std::mutex engineLock;
static std::mutex clockLock;

// --- output (engineLock and clockLock)
static AudioBackend chosenBackend = AUDIO_DEVICE;  // set before BASS_Init
static const char *chosenOutput;                   // cubeb back-end asked for; null: cubeb's order
static AudioBackend activeBackend = AUDIO_DEVICE;  // what BASS_Init ended up with
static bool initialized;         // between BASS_Init and BASS_Free
static BOOL initResult;          // what BASS_Init returned: non-zero when a sound device opened
static bool outputRunning;       // BASS_Start/BASS_Stop; when false silence is rendered
static int64_t renderedFrames;   // output frames rendered since BASS_Init
static DWORD nextHandle = 1;     // handles are never reused within a run

// --- the device (pointers under both locks; cubeb itself is called with neither held)
static cubeb *context;                    // open while a device plays
static cubeb_stream *device;
static std::string deviceName;            // cubeb's back-end id
static std::atomic<bool> deviceFailed;    // the stream reported an error: the silent clock takes over

// --- the clock (clockLock)
static uint64_t devicePosition;           // cubeb's position when it last changed, in frames
static Clock::time_point devicePositionTime;  // ... and when that was
static int64_t silentBase;                // heard frame when the silent clock started
static Clock::time_point silentStart;     // ... and the moment it started
static int64_t lastHeard;                 // never report time going backwards
static int64_t lookaheadFrames;           // position queries answer for this many frames ahead
static int64_t lastQueried;               // the frame the queries answered for last: never earlier again

// --- the silent clock's renderer (silentStop under clockLock)
static std::thread silentThread;
static std::condition_variable silentWake;
static bool silentStop;

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
static int moduleFrozenEnds;             // ... and the ends heard by then
// Output frames at which a pass of the song ended (the first frame after its last sample),
// oldest first: libopenmpt says so by rendering nothing at the song's end.
static std::vector<int64_t> moduleEnds;
static StampRing moduleStamps;
static int16_t moduleChunk[chunkFrames * 2];  // the chunk read last, stereo
static int moduleChunkFrames;                 // frames in it; fewer than a chunk at the song's end
static int moduleChunkUsed;                   // of those, already rendered

// --- the stream (decoder under engineLock; handle, length, stamps and freeze under clockLock too)
typedef std::shared_ptr<const std::vector<uint8_t>> FileBytes;
struct Mp3Decoder;
static Mp3Decoder *stream;      // open while the stream plays, else null
static FileBytes streamFile;     // the file's bytes; each decoder reads its own cursor on them
static HSTREAM streamHandle;     // 0 when none is open
static DWORD streamLength;       // bytes in the file
static bool streamPlaying;
static bool streamFrozen;
static uint32_t streamFrozenPosition;
static const int16_t *streamPcm; // decoded frame not yet rendered; owned by mpg123
static size_t streamPcmFrames;   // frames in streamPcm
static size_t streamPcmUsed;     // of those, already rendered
static StampRing streamStamps;

// --- loading (the thread that loads)
static std::string loadError;    // why the last load failed, "" after one that succeeded

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

// Reads a whole file into `bytes`; returns why it could not, or "" when it did. Files over
// the limit are refused on their size alone, before anything is read.
static std::string readFile(const char *path, std::vector<uint8_t> &bytes) {
    FILE *f = fopen(path, "rb");
    if (!f)
        return strerror(errno);
    struct stat info;
    if (fstat(fileno(f), &info) != 0 || S_ISDIR(info.st_mode)) {
        int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        fclose(f);
        return strerror(error);
    }
    if (S_ISREG(info.st_mode) && info.st_size > AUDIO_FILE_LIMIT) {
        fclose(f);
        return "file too large (" + std::to_string(int64_t(info.st_size)) + " bytes)";
    }
    uint8_t buffer[65536];
    size_t n;
    // a pipe or a device has no size to check beforehand: stop at the limit
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0 && int64_t(bytes.size()) <= AUDIO_FILE_LIMIT)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::string why;
    if (ferror(f))
        why = strerror(errno);
    else if (int64_t(bytes.size()) > AUDIO_FILE_LIMIT)
        why = "file too large (over " + std::to_string(AUDIO_FILE_LIMIT) + " bytes)";
    fclose(f);
    return why;
}

// The bytes a load names: the file, or with `mem` the `length` bytes at `file` + `offset`.
// From a file, `offset` bytes are skipped and `length` (0: all the rest) are kept.
static std::string loadBytes(BOOL mem, const char *file, DWORD offset, DWORD length, std::vector<uint8_t> &bytes) {
    if (!file)
        return "no file named";
    if (mem) {
        if (length == 0)
            return "no length given for data in memory";
        if (length > AUDIO_FILE_LIMIT)
            return "data too large (" + std::to_string(length) + " bytes)";
        const uint8_t *at = reinterpret_cast<const uint8_t *>(file) + offset;
        bytes.assign(at, at + length);
        return "";
    }
    std::string why = readFile(file, bytes);
    if (!why.empty())
        return why;
    if (offset > bytes.size())
        return "offset " + std::to_string(offset) + " lies past the end (" + std::to_string(bytes.size()) + " bytes)";
    bytes.erase(bytes.begin(), bytes.begin() + offset);
    if (length > 0 && length < bytes.size())
        bytes.resize(length);
    return "";
}

static uint32_t le16(const std::vector<uint8_t> &b, uint64_t at) {
    return at + 2 <= b.size() ? b[at] | b[at + 1] << 8 : 0;
}

static uint32_t le32(const std::vector<uint8_t> &b, uint64_t at) {
    return at + 4 <= b.size() ? le16(b, at) | le16(b, at + 2) << 16 : 0;
}

// An XM file whose patterns, instruments and sample data all lie inside it: "" then, else
// what is wrong. libopenmpt would play a truncated module with the missing parts silent;
// we refuse it instead.
static const char *checkXm(const std::vector<uint8_t> &b) {
    static const char signature[] = "Extended Module: ";
    if (b.empty())
        return "empty file";
    if (b.size() < 17 || memcmp(b.data(), signature, 17) != 0)
        return "not an XM module";
    const char *truncated = "truncated XM module";
    if (b.size() < 80)
        return truncated;
    uint64_t pos = 60 + uint64_t(le32(b, 60));
    uint32_t patterns = le16(b, 70);
    uint32_t instruments = le16(b, 72);
    for (uint32_t p = 0; p < patterns; p++) {
        if (pos + 9 > b.size())
            return truncated;
        pos += uint64_t(le32(b, pos)) + le16(b, pos + 7);  // header length, packed data size
    }
    for (uint32_t i = 0; i < instruments; i++) {
        if (pos + 29 > b.size())
            return truncated;
        uint64_t headerSize = std::max<uint32_t>(le32(b, pos), 29);
        uint32_t samples = le16(b, pos + 27);
        if (samples == 0) {
            pos += headerSize;
            continue;
        }
        if (pos + 33 > b.size())
            return truncated;
        uint64_t sampleHeaderSize = le32(b, pos + 29);
        pos += headerSize;
        uint64_t data = 0;
        for (uint32_t s = 0; s < samples; s++) {
            if (pos + 4 > b.size())
                return truncated;
            data += le32(b, pos);  // sample length in bytes
            pos += sampleHeaderSize;
        }
        pos += data;
    }
    return pos <= b.size() ? "" : truncated;
}

// A fresh player for the module's bytes, null when libopenmpt refuses them.
static std::unique_ptr<openmpt::module> createModule(const std::vector<uint8_t> &bytes, bool loop) {
    try {
        std::ostringstream log;  // libopenmpt's warnings; the caller reports failure once
        auto m = std::make_unique<openmpt::module>(bytes, log);
        // Played once, a looping song is read on after libopenmpt's empty read at its end,
        // which is how the engine learns that a pass has ended (a repeat count of -1 would
        // loop without a word). A song that does not loop fades out and stops.
        m->set_repeat_count(0);
        if (loop)
            m->ctl_set_text("play.at_end", "continue");
        // libopenmpt dithers 16-bit output from a random seed; without it every run
        // renders the same samples, which a capture that runs in lockstep relies on.
        m->ctl_set_integer("dither", 0);
        return m;
    } catch (...) {
        return nullptr;
    }
}

// mpg123 reads the stream from memory through a cursor of each decoder's own; the bytes
// live as long as the last decoder or the stream needs them.
struct Mp3Cursor {
    FileBytes bytes;
    int64_t at = 0;
};

struct Mp3Decoder {
    mpg123_handle *mpg = nullptr;
    Mp3Cursor cursor;
};

static mpg123_ssize_t readMp3(void *handle, void *out, size_t count) {
    Mp3Cursor *c = static_cast<Mp3Cursor *>(handle);
    size_t n = std::min<size_t>(count, c->bytes->size() - size_t(c->at));
    memcpy(out, c->bytes->data() + c->at, n);
    c->at += int64_t(n);
    return mpg123_ssize_t(n);
}

static off_t seekMp3(void *handle, off_t offset, int whence) {
    Mp3Cursor *c = static_cast<Mp3Cursor *>(handle);
    int64_t size = int64_t(c->bytes->size());
    int64_t to;
    if (whence == SEEK_SET)
        to = offset;
    else if (whence == SEEK_CUR)
        to = c->at + offset;
    else if (whence == SEEK_END)
        to = size + offset;
    else
        return -1;
    if (to < 0 || to > size)
        return -1;
    c->at = to;
    return off_t(to);
}

static void closeDecoder(Mp3Decoder *d) {
    if (!d)
        return;
    if (d->mpg) {
        mpg123_close(d->mpg);
        mpg123_delete(d->mpg);
    }
    delete d;
}

// An mpg123 decoder on the bytes, giving 44100 Hz stereo 16-bit, positioned at their start.
static Mp3Decoder *openDecoder(const FileBytes &bytes) {
    Mp3Decoder *d = new Mp3Decoder;
    d->cursor.bytes = bytes;
    int error = 0;
    d->mpg = mpg123_new(nullptr, &error);
    if (!d->mpg) {
        closeDecoder(d);
        return nullptr;
    }
    mpg123_param(d->mpg, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(d->mpg);
    mpg123_format(d->mpg, AUDIO_RATE, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_replace_reader_handle(d->mpg, readMp3, seekMp3, nullptr) != MPG123_OK ||
        mpg123_open_handle(d->mpg, &d->cursor) != MPG123_OK) {
        closeDecoder(d);
        return nullptr;
    }
    return d;
}

// A stream is usable when the decoder finds at least one frame with sound in it.
static bool decodesAudio(const FileBytes &bytes) {
    Mp3Decoder *d = openDecoder(bytes);
    if (!d)
        return false;
    bool found = false;
    for (int tries = 0; tries < 64 && !found; tries++) {
        off_t number;
        unsigned char *pcm;
        size_t size = 0;
        int result = mpg123_decode_frame(d->mpg, &number, &pcm, &size);
        if (result == MPG123_OK && size > 0)
            found = true;
        else if (result != MPG123_OK && result != MPG123_NEW_FORMAT)
            break;
    }
    closeDecoder(d);
    return found;
}

static DWORD takeHandle() {
    DWORD h = nextHandle++;
    if (nextHandle == 0)
        nextHandle = 1;
    return h;
}

// A load that failed: keeps the reason for audioLoadError and returns handle 0.
static DWORD refuse(const std::string &why) {
    loadError = why;
    return 0;
}

// ---------------------------------------------------------------------------------------
// rendering (engineLock held)

static void pushModuleStamp(int64_t at, uint32_t word) {
    std::lock_guard<std::mutex> clock(clockLock);
    moduleStamps.push(at, word);
}

static void pushModuleEnd(int64_t at) {
    std::lock_guard<std::mutex> clock(clockLock);
    moduleEnds.push_back(at);
    // only whether and how often the song has ended matters: the oldest ends may go
    if (moduleEnds.size() > 64)
        moduleEnds.erase(moduleEnds.begin());
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
            if (moduleChunkFrames > 0 && moduleChunkFrames < chunkFrames && !moduleLoop) {
                modulePlaying = false;  // the song is over and has faded out
                pushModuleEnd(start + done);
                break;
            }
            moduleChunkFrames = int(module->read_interleaved_stereo(AUDIO_RATE, chunkFrames, moduleChunk));
            moduleChunkUsed = 0;
            if (moduleChunkFrames == 0 && moduleLoop) {
                // the end of a pass: the next read plays on from the song's start or its
                // restart position, in chunks counted from there
                pushModuleEnd(start + done);
                moduleChunkFrames = int(module->read_interleaved_stereo(AUDIO_RATE, chunkFrames, moduleChunk));
            }
            if (moduleChunkFrames == 0) {
                modulePlaying = false;
                if (!moduleLoop)
                    pushModuleEnd(start + done);
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
            int result = mpg123_decode_frame(stream->mpg, &number, &pcm, &bytes);
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
                pushStreamStamp(start + done, uint32_t(mpg123_framepos(stream->mpg)));
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

// cubeb's thread asks for the next frames (also before the stream starts, to fill it).
static long deviceData(cubeb_stream *, void *, const void *, void *out, long frames) {
    std::lock_guard<std::mutex> engine(engineLock);
    if (activeBackend == AUDIO_DEVICE)
        renderLocked(static_cast<int16_t *>(out), int(frames));
    else
        memset(out, 0, size_t(frames) * 4);  // the silent clock has taken over
    return frames;
}

// A server that goes away or a card unplugged ends the stream with an error; the next
// query moves the presentation onto the silent clock from the frame heard last.
static void deviceState(cubeb_stream *, void *, cubeb_state state) {
    if (state == CUBEB_STATE_ERROR)
        deviceFailed = true;
}

// ---------------------------------------------------------------------------------------
// the clock

// The frame heard now, from the device's position `position` (when `fresh`) and the steady
// clock; clockLock held. A frame index counts frames from 0: "heard up to frame h" means
// frame h - 1 is sounding.
static int64_t heardFrameLocked(bool fresh, uint64_t position) {
    if (!initialized)
        return 0;
    if (activeBackend == AUDIO_PULL)
        return renderedFrames;
    Clock::time_point now = Clock::now();
    int64_t heard;
    if (activeBackend == AUDIO_SILENT) {
        int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now - silentStart).count();
        heard = silentBase + ns * AUDIO_RATE / 1000000000;
    } else {
        // Servers update the position in steps (ALSA per period, PulseAudio per timing
        // update unless it interpolates); in between, time runs on by the steady clock.
        if (fresh && position != devicePosition) {
            devicePosition = position;
            devicePositionTime = now;
        }
        double since = std::chrono::duration<double>(now - devicePositionTime).count();
        int64_t ahead = std::min(int64_t(since * AUDIO_RATE), interpolationLimitFrames);
        heard = std::min(int64_t(devicePosition) + ahead, renderedFrames);
    }
    heard = std::max(heard, lastHeard);
    lastHeard = heard;
    return heard;
}

static void startSilentClockLocked(int64_t from);

// The frame heard now. The device is asked with none of our locks held (see the locks).
// Controls and queries come from one thread, so the device cannot close meanwhile.
static int64_t heardFrame() {
    cubeb_stream *s;
    {
        std::lock_guard<std::mutex> clock(clockLock);
        if (!initialized || activeBackend != AUDIO_DEVICE)
            return heardFrameLocked(false, 0);
        s = device;
    }
    if (deviceFailed) {
        std::lock_guard<std::mutex> engine(engineLock);
        std::lock_guard<std::mutex> clock(clockLock);
        if (activeBackend == AUDIO_DEVICE)
            startSilentClockLocked(lastHeard);
        return heardFrameLocked(false, 0);
    }
    uint64_t position = 0;
    bool fresh = s && cubeb_stream_get_position(s, &position) == CUBEB_OK;
    std::lock_guard<std::mutex> clock(clockLock);
    return heardFrameLocked(fresh, position);
}

// The frame the position queries answer for: the one heard `lookaheadFrames` from now, so
// that a picture drawn from the answer shows what is heard when it appears. Never past what
// has been rendered (no stamps lie beyond), and the pull back-end's answer stays exact.
static int64_t queriedFrame() {
    int64_t heard = heardFrame();
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || activeBackend == AUDIO_PULL)
        return heard;
    // The lookahead follows the frames' drawing times and may fall at any frame (a slow first
    // frame, then fast ones): the answer then holds until the music catches up with it, as
    // a position that stepped back would show the pictures of an earlier moment again.
    int64_t queried = std::max(heard, std::min(heard + lookaheadFrames, renderedFrames));
    queried = std::max(queried, lastQueried);
    lastQueried = queried;
    return queried;
}

static uint32_t modulePositionLocked(int64_t heard) {
    if (moduleFrozen)
        return moduleFrozenWord;
    return moduleStamps.at(heard - 1);
}

static int moduleEndsLocked(int64_t heard) {
    if (moduleFrozen)
        return moduleFrozenEnds;
    return int(std::count_if(moduleEnds.begin(), moduleEnds.end(), [&](int64_t end) { return end <= heard - 1; }));
}

static uint32_t streamPositionLocked(int64_t heard) {
    if (streamFrozen)
        return streamFrozenPosition;
    return streamStamps.at(heard - 1);
}

// ---------------------------------------------------------------------------------------
// output back-ends

// The silent clock's renderer: keeps the output rendered a little ahead of the frame heard,
// so that the stamps are there when a query asks.
static void silentClockThread() {
    std::vector<int16_t> scratch(4096 * 2);
    std::unique_lock<std::mutex> clock(clockLock);
    while (!silentStop) {
        int64_t target = heardFrameLocked(false, 0) + silentLeadFrames;
        clock.unlock();
        {
            std::lock_guard<std::mutex> engine(engineLock);
            for (;;) {
                int64_t missing;
                {
                    std::lock_guard<std::mutex> c(clockLock);
                    missing = target - renderedFrames;
                }
                if (missing <= 0)
                    break;
                renderLocked(scratch.data(), int(std::min<int64_t>(missing, 4096)));
            }
        }
        clock.lock();
        silentWake.wait_for(clock, silentPeriod, [] { return silentStop; });
    }
}

// Starts the silent clock at heard frame `from`; both locks held.
static void startSilentClockLocked(int64_t from) {
    activeBackend = AUDIO_SILENT;
    silentBase = from;
    silentStart = Clock::now();
    silentStop = false;
    silentThread = std::thread(silentClockThread);
}

// Stops the silent clock's renderer; no lock held (it waits for the thread).
static void stopSilentClock() {
    {
        std::lock_guard<std::mutex> clock(clockLock);
        silentStop = true;
    }
    silentWake.notify_all();
    if (silentThread.joinable())
        silentThread.join();
}

// Closes the device, if one is open; no lock held (stopping waits for cubeb's thread).
static void closeDevice() {
    cubeb_stream *s;
    cubeb *c;
    {
        std::lock_guard<std::mutex> engine(engineLock);
        std::lock_guard<std::mutex> clock(clockLock);
        s = device;
        c = context;
        device = nullptr;
        context = nullptr;
    }
    if (s) {
        cubeb_stream_stop(s);
        cubeb_stream_destroy(s);
    }
    if (c)
        cubeb_destroy(c);
}

// Opens and starts a 44100 Hz stereo 16-bit cubeb stream on the chosen back-end (or the
// first that works); false when there is none. The output state is set up already, since
// cubeb asks for frames while it opens.
static bool openDevice() {
    cubeb *c = nullptr;
    if (cubeb_init(&c, "vortazov", chosenOutput) != CUBEB_OK)
        return false;
    // cubeb tries its other back-ends when the one named fails; a test or a benchmark that
    // names one wants that one or none
    if (chosenOutput && strcmp(cubeb_get_backend_id(c), chosenOutput) != 0) {
        cubeb_destroy(c);
        return false;
    }
    cubeb_stream_params params;
    params.format = CUBEB_SAMPLE_S16NE;
    params.rate = AUDIO_RATE;
    params.channels = 2;
    params.layout = CUBEB_LAYOUT_STEREO;
    params.prefs = CUBEB_STREAM_PREF_NONE;
    cubeb_stream *s = nullptr;
    if (cubeb_stream_init(c, &s, "vortazov", nullptr, nullptr, nullptr, &params, deviceLatencyFrames,
                          deviceData, deviceState, nullptr) != CUBEB_OK) {
        cubeb_destroy(c);
        return false;
    }
    {
        std::lock_guard<std::mutex> engine(engineLock);
        std::lock_guard<std::mutex> clock(clockLock);
        context = c;
        device = s;
        deviceName = cubeb_get_backend_id(c);
    }
    if (cubeb_stream_start(s) != CUBEB_OK) {
        closeDevice();
        return false;
    }
    return true;
}

void audioSelectBackend(AudioBackend backend) {
    chosenBackend = backend;
}

AudioBackend audioBackend() {
    heardFrame();  // notices a device that failed
    std::lock_guard<std::mutex> clock(clockLock);
    return initialized ? activeBackend : chosenBackend;
}

void audioSelectOutput(const char *name) {
    chosenOutput = name;
}

const char *audioOutputName() {
    AudioBackend backend = audioBackend();
    std::lock_guard<std::mutex> clock(clockLock);
    if (backend == AUDIO_DEVICE)
        return initialized ? deviceName.c_str() : chosenOutput ? chosenOutput : "device";
    return backend == AUDIO_SILENT ? "silent" : "pull";
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

int64_t audioHeardFrame() {
    return heardFrame();
}

int64_t audioQueriedFrame() {
    return queriedFrame();
}

void audioSetLookahead(double seconds) {
    std::lock_guard<std::mutex> clock(clockLock);
    lookaheadFrames = std::max<int64_t>(0, int64_t(seconds * AUDIO_RATE));
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
    {
        std::lock_guard<std::mutex> engine(engineLock);
        std::lock_guard<std::mutex> clock(clockLock);
        activeBackend = backend;
        initialized = true;
        outputRunning = true;  // the output starts with the library, as a device would
        renderedFrames = 0;
        lastHeard = lastQueried = 0;
        devicePosition = 0;
        devicePositionTime = Clock::now();
        deviceFailed = false;
    }
    bool opened = backend == AUDIO_DEVICE && openDevice();
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (backend == AUDIO_SILENT || (backend == AUDIO_DEVICE && !opened))
        startSilentClockLocked(0);
    // The pull back-end hands every frame to its caller: nothing fell back.
    initResult = opened || backend == AUDIO_PULL;
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

DWORD BASS_ChannelGetPosition(DWORD handle) {
    int64_t heard = queriedFrame();
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle == 0 || handle != moduleHandle)
        return 0xFFFFFFFF;
    return modulePositionLocked(heard);
}

int audioModuleEnds(HMUSIC handle) {
    int64_t heard = queriedFrame();
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || handle == 0 || handle != moduleHandle)
        return 0;
    return moduleEndsLocked(heard);
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

static void closeStreamLocked() {
    closeDecoder(stream);
    stream = nullptr;
    streamPcm = nullptr;
    streamPcmFrames = streamPcmUsed = 0;
    streamPlaying = streamFrozen = false;
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
    {
        std::lock_guard<std::mutex> engine(engineLock);
        if (!initialized || handle == 0 || handle != streamHandle)
            return 0;
        bytes = streamFile;
    }
    // A fresh decoder plays from the start; opened outside the locks to keep the output going.
    Mp3Decoder *fresh = openDecoder(bytes);
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
    // Both wait for a thread that takes our locks, so neither is held here.
    stopSilentClock();
    closeDevice();
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
