// audio_sync.cpp -- how close the engine's "heard now" is to what a real sound server plays, per server path
//
// For each path the program starts a server of its own (tools: tests/sound_server.cpp),
// plays the module through the engine into the server's null sink, and records the sink's
// monitor in the same process through libpulse, at the sink's own rate. The engine opens
// its output at that rate too and renders the module there, so nothing resamples on the
// way and the recording is aligned sample-exactly with libopenmpt's render of the module at
// that rate (the least difference over a search window): recording frame A + f is module
// frame f. Every millisecond it reads the engine's heard frame and BASS_ChannelGetPosition,
// and the monitor stream's time, which is the frame the sink plays now (see monitorFrame).
// Prints per path:
//   - claim error: engine's heard frame minus the frame the server plays, in ms: median, p5, p95;
//   - row error: when a new row was first reported minus when its first frame was played;
//   - whether the recording followed the render to the end: an underrun of the engine's
//     stream (silence played in its place) or a gap in the recording shifts the recording
//     against the render from there on; each such break is reported with its shift, the
//     recording is aligned again past it, and the moments within it are left out.
// Then the silent clock's drift against CLOCK_MONOTONIC_RAW.
//
// Usage: bench_audio_sync [SECONDS_PER_PATH [DRIFT_SECONDS [smoothed]]]   (defaults 20 and 60;
// from the project root: module data/compruss.xm if present, else a test module)
#include <pulse/pulseaudio.h>
#include <time.h>

#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "audio.h"
#include "audio_files.h"
#include "bass.h"
#include "sound_server.h"

using Clock = std::chrono::steady_clock;

// --- the monitor recording (recordLock)
static std::mutex recordLock;
static std::vector<int16_t> recorded;  // interleaved stereo, from the record stream's first frame
static pa_threaded_mainloop *loop;
static pa_context *context;
static pa_stream *monitor;
static int holes;      // [recordLock] holes the server reported in the recording
static int overflows;  // [recordLock] times the server dropped recorded data for want of room
static bool smoothedMonitor;  // read the monitor's time as libpulse smooths it (see monitorFrame)

static void onRead(pa_stream *s, size_t, void *) {
    const void *data;
    size_t bytes;
    while (pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0) {
        std::lock_guard<std::mutex> lock(recordLock);
        if (data) {
            recorded.insert(recorded.end(), (const int16_t *)data, (const int16_t *)data + bytes / 2);
        } else {
            recorded.resize(recorded.size() + bytes / 2, 0);  // a hole: keep the timeline
            holes++;
        }
        pa_stream_drop(s);
    }
}

static void onOverflow(pa_stream *, void *) {
    std::lock_guard<std::mutex> lock(recordLock);
    overflows++;
}

// The rate of the server's sink, or 0 when it does not say; mainloop locked.
static int sinkRate() {
    struct Asked {
        int rate = 0;
        bool done = false;
    } asked;
    pa_operation *o = pa_context_get_sink_info_by_name(
        context, SOUND_SERVER_SINK,
        [](pa_context *, const pa_sink_info *info, int eol, void *user) {
            Asked *a = static_cast<Asked *>(user);
            if (!eol && info)
                a->rate = int(info->sample_spec.rate);
            if (eol)
                a->done = true;
            pa_threaded_mainloop_signal(loop, 0);
        },
        &asked);
    while (o && !asked.done && pa_operation_get_state(o) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop);
    if (o)
        pa_operation_unref(o);
    return asked.rate;
}

static void signalLoop(void *) {
    pa_threaded_mainloop_signal(loop, 0);
}

// Records the sink's monitor at the sink's rate (nothing resamples on the way to us); the
// rate is left in `rate`, 0 when there is none.
static bool startMonitor(int &rate) {
    recorded.clear();
    holes = overflows = 0;
    rate = 0;
    loop = pa_threaded_mainloop_new();
    context = pa_context_new(pa_threaded_mainloop_get_api(loop), "bench monitor");
    pa_context_set_state_callback(context, [](pa_context *, void *) { pa_threaded_mainloop_signal(loop, 0); }, nullptr);
    pa_threaded_mainloop_lock(loop);
    pa_threaded_mainloop_start(loop);
    pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    while (pa_context_get_state(context) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        pa_threaded_mainloop_wait(loop);
    bool ok = pa_context_get_state(context) == PA_CONTEXT_READY;
    if (ok)
        rate = sinkRate();
    ok = ok && rate > 0;
    if (ok) {
        pa_sample_spec spec = {PA_SAMPLE_S16LE, uint32_t(rate), 2};
        monitor = pa_stream_new(context, "monitor", &spec, nullptr);
        pa_stream_set_read_callback(monitor, onRead, nullptr);
        pa_stream_set_overflow_callback(monitor, onOverflow, nullptr);
        pa_stream_set_state_callback(monitor, [](pa_stream *, void *) { signalLoop(nullptr); }, nullptr);
        pa_buffer_attr attr;
        memset(&attr, 0xff, sizeof attr);
        attr.fragsize = uint32_t(rate / 100 * 4);  // 10 ms
        std::string source = std::string(SOUND_SERVER_SINK) + ".monitor";
        pa_stream_flags_t flags = PA_STREAM_ADJUST_LATENCY;
        if (smoothedMonitor)
            flags = pa_stream_flags_t(flags | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        pa_stream_connect_record(monitor, source.c_str(), &attr, flags);
        while (pa_stream_get_state(monitor) == PA_STREAM_CREATING)
            pa_threaded_mainloop_wait(loop);
        ok = pa_stream_get_state(monitor) == PA_STREAM_READY;
    }
    pa_threaded_mainloop_unlock(loop);
    return ok;
}

// Microseconds of the wall clock, the clock the server stamps its timing answers with.
static double wallMicroseconds() {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec * 1e6 + t.tv_nsec * 1e-3;
}

// The recorded frame that the sink plays at wall-clock time `at` (microseconds), or -1
// before the server knows; `at` is left where the reading holds.
//
// The server answers a timing request for a record stream on a monitor with the frames it
// has queued for us (the write index), the frames still in the source and on their way to
// us, and the sink's latency, and stamps the answer with its wall clock (libpulse keeps it
// as the timestamp when the two clocks agree, as they do on one machine). Queued plus on
// the way minus the sink's latency is the recorded frame that the sink plays at that
// stamp, so by default the monitor asks afresh for every reading and carries that frame on
// from the stamp to the moment the engine was asked, at the sink's rate: no estimate is
// involved, and how late this thread wakes up after the answer does not count.
// With "smoothed" it reads pa_stream_get_time as a player would: libpulse's smoother
// interpolates between automatic timing updates, which libpulse spaces out to 1.5 s, and its
// estimate was found several milliseconds off, differently in every run (see the README).
static int64_t monitorFrame(double &at) {
    pa_threaded_mainloop_lock(loop);
    double usec = -1;
    if (smoothedMonitor) {
        pa_usec_t time = 0;
        if (pa_stream_get_time(monitor, &time) == 0)
            usec = double(time);
        at = wallMicroseconds();
    } else {
        pa_operation *o = pa_stream_update_timing_info(monitor, [](pa_stream *, int, void *) { signalLoop(nullptr); },
                                                       nullptr);
        while (o && pa_operation_get_state(o) == PA_OPERATION_RUNNING)
            pa_threaded_mainloop_wait(loop);
        if (o)
            pa_operation_unref(o);
        const pa_timing_info *t = pa_stream_get_timing_info(monitor);
        if (t && t->synchronized_clocks && !t->write_index_corrupt) {
            const pa_sample_spec *spec = pa_stream_get_sample_spec(monitor);
            usec = double(pa_bytes_to_usec(uint64_t(std::max<int64_t>(t->write_index, 0)), spec)) +
                   double(t->source_usec) - double(t->sink_usec);
            at = t->timestamp.tv_sec * 1e6 + t->timestamp.tv_usec;
        }
    }
    pa_threaded_mainloop_unlock(loop);
    return usec < 0 ? -1 : int64_t(usec);
}

static void stopMonitor() {
    pa_threaded_mainloop_stop(loop);
    if (monitor) {
        pa_stream_disconnect(monitor);
        pa_stream_unref(monitor);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_threaded_mainloop_free(loop);
    monitor = nullptr;
}

// --- the reference
static std::vector<int16_t> referencePcm;    // libopenmpt's render in the engine's chunks
static std::vector<uint32_t> rowStartFrame;  // per (order << 8 | row) seen first: module frame
static int referenceRate;                    // ... at this rate

static uint32_t wordOf(openmpt::module &m) {
    return uint32_t(m.get_current_row()) << 16 | uint32_t(m.get_current_order());
}

static void makeReference(const std::vector<uint8_t> &bytes, int seconds, int rate) {
    if (rate == referenceRate)
        return;
    referenceRate = rate;
    std::ostringstream log;
    openmpt::module chunks(bytes, log), frames(bytes, log);
    chunks.ctl_set_integer("dither", 0);
    frames.ctl_set_integer("dither", 0);
    int total = seconds * rate;
    total -= total % AUDIO_CHUNK_FRAMES;  // whole chunks only
    referencePcm.assign(size_t(total) * 2, 0);
    for (int f = 0; f < total; f += AUDIO_CHUNK_FRAMES)
        chunks.read_interleaved_stereo(rate, AUDIO_CHUNK_FRAMES, referencePcm.data() + f * 2);
    rowStartFrame.assign(1 << 24, UINT32_MAX);
    int16_t pcm[2];
    for (int f = 0; f < total && frames.read_interleaved_stereo(rate, 1, pcm) == 1; f++) {
        uint32_t w = wordOf(frames);
        uint32_t key = (w & 0xFFFF) << 8 | (w >> 16 & 0xFF);
        if (key < rowStartFrame.size() && rowStartFrame[key] == UINT32_MAX)
            rowStartFrame[key] = f;
    }
}

// Recording frame of module frame 0: the least summed difference over 8192 frames, searched
// around the first sound.
static int64_t alignRecording(double &meanDifference) {
    std::lock_guard<std::mutex> lock(recordLock);
    size_t lead = 0, first = 0;
    while (lead < referencePcm.size() && referencePcm[lead] == 0)
        lead++;
    while (first < recorded.size() && std::abs(recorded[first]) < 2)
        first++;
    int64_t guess = int64_t(first / 2) - int64_t(lead / 2);
    int64_t best = -1;
    double bestSum = 1e300;
    for (int64_t a = guess - 256; a <= guess + 256; a++) {
        if (a < 0 || size_t(a + 8192 + lead / 2) * 2 > recorded.size())
            continue;
        double sum = 0;
        for (size_t i = lead; i < lead + 8192 * 2; i++)
            sum += std::abs(recorded[size_t(a) * 2 + i] - referencePcm[i]);
        if (sum < bestSum) {
            bestSum = sum;
            best = a;
        }
    }
    meanDifference = bestSum / (8192 * 2);
    return best;
}

// Mean difference per sample between the recording at `offset` and the render, over
// `frames` module frames from module frame `from`; a large value where either ends.
static double mismatch(int64_t offset, int64_t from, int64_t frames) {
    if (offset + from < 0 || size_t((offset + from + frames) * 2) > recorded.size() ||
        size_t((from + frames) * 2) > referencePcm.size())
        return 1e9;
    double sum = 0;
    for (int64_t i = from * 2; i < (from + frames) * 2; i++)
        sum += std::abs(recorded[size_t(offset * 2 + i)] - referencePcm[size_t(i)]);
    return sum / double(frames * 2);
}

// Where the recording follows the render: from module frame `from` on, recording frame
// `offset` + f is module frame f.
struct Segment {
    int64_t from;
    int64_t offset;
};

// The recording cut where it stops following the render, in blocks of 1024 frames: an
// underrun of the engine's stream makes the sink play silence and then the rest later, and
// a gap in the recording makes the rest come earlier. Each time the rest is found again
// (searched up to a second later or 50 ms earlier, a block past the break) a new segment
// begins; `breaks` gets the shift of each break, in frames. The samples in a break, between
// two segments, count for nothing.
static std::vector<Segment> segmentsOf(int64_t offset, int rate, std::vector<int64_t> &breaks) {
    std::lock_guard<std::mutex> lock(recordLock);
    const int64_t block = 1024;
    std::vector<Segment> segments = {{0, offset}};
    int64_t frames = std::min(int64_t(referencePcm.size() / 2), int64_t(recorded.size() / 2) - offset);
    for (int64_t f = 0; f + block <= frames; f += block) {
        if (mismatch(offset, f, block) <= 4)
            continue;
        int64_t again = f + 2 * block, best = -1;
        double bestDifference = 4;
        for (int64_t a = offset - rate / 20; a <= offset + rate; a++) {
            double d = mismatch(a, again, 256);
            if (d < bestDifference && mismatch(a, again, 4 * block) < 4) {
                bestDifference = d;
                best = a;
            }
        }
        segments.push_back({again, best});  // best -1: nothing is found past this break
        breaks.push_back(best < 0 ? INT64_MAX : best - offset);
        if (best < 0)
            break;
        offset = best;
        f = again;
        frames = std::min(int64_t(referencePcm.size() / 2), int64_t(recorded.size() / 2) - offset);
    }
    return segments;
}

static double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * (v.size() - 1) + 0.5))];
}

struct Sample {
    int64_t heard;    // engine's heard frame
    double asked;     // ... read at this wall-clock time, microseconds
    int64_t playing;  // recording frame the sink plays then, from the readings
    uint32_t word;    // engine's module position
};

// One answer of the server: the recorded frame the sink plays at wall-clock time `at`.
struct Reading {
    double usec;  // the frame, in microseconds of recording
    double at;
};

// The readings of the monitor's time, taken on a thread of their own as fast as the server
// answers (0.2 ms apart, about every 0.35 ms here), so that the freshest one is never far
// behind a sample.
static std::mutex readingLock;         // guards readings
static std::vector<Reading> readings;  // [readingLock] oldest first
static std::atomic<bool> readingStop;  // ends the reading thread

static void readMonitor() {
    while (!readingStop) {
        double at = 0;
        int64_t usec = monitorFrame(at);
        if (usec >= 0) {
            std::lock_guard<std::mutex> lock(readingLock);
            readings.push_back({double(usec), at});
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// The recorded frame the sink plays at each sample's time. A fresh answer of a server is
// never early, only late: pipewire-pulse answers with its counts as of its last graph cycle
// (one quantum, 256 frames at 48 kHz, steps in its answers) yet stamps them with the time it
// answers, and PulseAudio leaves out now and then, for about 10 ms, a fragment on its way
// from the sink to us (the answers fall back by about 200 or 15 frames and return);
// neither counts a frame as played before it is. So the frame played at a moment is the latest of the
// answers of the 40 ms before it, each carried on at the sink's rate to that moment. The
// smoothed time is libpulse's estimate at the moment read, and only the last one counts.
static void placeSamples(std::vector<Sample> &samples, int rate) {
    std::lock_guard<std::mutex> lock(readingLock);
    double window = smoothedMonitor ? 0 : 40000;
    size_t first = 0, next = 0;
    for (Sample &s : samples) {
        while (next < readings.size() && readings[next].at <= s.asked)
            next++;
        while (first < next && readings[first].at < s.asked - window)
            first++;
        if (next == 0) {
            s.playing = -1;
            continue;
        }
        double best = -1;
        for (size_t i = std::min(first, next - 1); i < next; i++)
            best = std::max(best, readings[i].usec + s.asked - readings[i].at);
        s.playing = int64_t(best * rate / 1e6);
    }
}

static void measurePath(const char *label, const char *serverKind, const char *output,
                        const std::string &modulePath, const std::vector<uint8_t> &bytes, int seconds) {
    SoundServer server;
    if (!startSoundServer(server, serverKind)) {
        printf("%-34s no server\n", label);
        return;
    }
    setenv("PULSE_SERVER", server.address.c_str(), 1);
    int recordRate = 0;  // frames a second of the recording: the sink's
    if (!startMonitor(recordRate)) {
        printf("%-34s the monitor could not be recorded\n", label);
        stopSoundServer(server);
        return;
    }
    audioSelectBackend(AUDIO_DEVICE);
    audioSelectOutput(output);
    bool opened = BASS_Init(-1, 44100, 0, nullptr) != 0;
    HMUSIC music = BASS_MusicLoad(0, modulePath.c_str(), 0, 0, BASS_LOOP);
    int rate = audioOutputRate();
    if (!opened || !music) {
        printf("%-34s the engine did not open cubeb's %s back-end (%s)\n", label, output, audioOutputName());
        BASS_Free();
        stopMonitor();
        stopSoundServer(server);
        return;
    }
    makeReference(bytes, seconds + 2, rate);
    // let the output start flowing (PulseAudio's null sink holds the first write ~2 s)
    Clock::time_point opening = Clock::now();
    while (audioRenderedFrames() < 8 * 2048 && Clock::now() - opening < std::chrono::seconds(8))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    double startupSeconds = std::chrono::duration<double>(Clock::now() - opening).count();
    // The module's frame 0 is the output frame rendered next after BASS_MusicPlay: exact
    // when no render ran between the two reads.
    int64_t moduleStart;
    for (;;) {
        int64_t before = audioRenderedFrames();
        BASS_MusicPlay(music);
        moduleStart = audioRenderedFrames();
        if (before == moduleStart)
            break;
    }
    std::vector<Sample> samples;
    readings.clear();
    readingStop = false;
    std::thread reader(readMonitor);
    Clock::time_point start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        Sample s;
        double before = wallMicroseconds();
        s.heard = audioHeardFrame();
        s.asked = (before + wallMicroseconds()) / 2;
        s.word = BASS_ChannelGetPosition(music);
        samples.push_back(s);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    readingStop = true;
    reader.join();
    placeSamples(samples, rate);
    double difference = 0;
    int64_t offset = alignRecording(difference);
    std::vector<int64_t> breaks;
    std::vector<Segment> segments;
    if (offset >= 0)
        segments = segmentsOf(offset, rate, breaks);
    BASS_Free();
    audioSelectOutput(nullptr);
    stopMonitor();
    stopSoundServer(server);
    unsetenv("PULSE_SERVER");
    if (offset < 0) {
        printf("%-34s the module was not found in the recording\n", label);
        return;
    }
    // after 3 s, once the servers' start-up has settled, and not within a break
    std::vector<double> claim, rows;
    uint32_t previous = 0xFFFFFFFF;
    int reported = 0, matched = 0;
    double msPerFrame = 1000.0 / rate;
    for (const Sample &s : samples) {
        if (s.playing < 0)
            continue;
        // the segment that holds the recording frame played
        size_t k = 0;
        while (k + 1 < segments.size() && segments[k + 1].offset >= 0 &&
               s.playing >= segments[k + 1].offset + segments[k + 1].from)
            k++;
        int64_t heardModule = s.heard - moduleStart;          // module frame the engine says is heard
        int64_t playedModule = s.playing - segments[k].offset;  // module frame the sink plays
        bool inBreak = k + 1 < segments.size() && playedModule >= segments[k + 1].from - 2048;
        if (inBreak)
            continue;
        bool settled = playedModule > 3 * rate;
        if (settled)
            claim.push_back((heardModule - playedModule) * msPerFrame);
        if (s.word != previous && previous != 0xFFFFFFFF && settled) {
            reported++;
            uint32_t key = (s.word & 0xFFFF) << 8 | (s.word >> 16 & 0xFF);
            if (key < rowStartFrame.size() && rowStartFrame[key] != UINT32_MAX) {
                rows.push_back((playedModule - int64_t(rowStartFrame[key])) * msPerFrame);
                matched++;
            }
        }
        previous = s.word;
    }
    bool clean = breaks.empty() && holes == 0 && overflows == 0 && rate == recordRate;
    std::string verdict = clean ? "clean" : "NOT CLEAN:";
    if (rate != recordRate)
        verdict += " the sink runs at " + std::to_string(recordRate) + " Hz, the engine at another rate;";
    for (size_t i = 0; i < breaks.size(); i++) {
        char text[96];
        if (breaks[i] == INT64_MAX)
            snprintf(text, sizeof text, " lost at %.2f s, measured up to there;", segments[i + 1].from / double(rate));
        else if (breaks[i] == 0)
            snprintf(text, sizeof text, " samples changed at %.2f s, none lost;", segments[i + 1].from / double(rate));
        else
            snprintf(text, sizeof text, " %s of %+.2f ms at %.2f s;", breaks[i] > 0 ? "underrun" : "gap",
                     breaks[i] * msPerFrame, segments[i + 1].from / double(rate));
        verdict += text;
    }
    if (holes || overflows)
        verdict += " holes " + std::to_string(holes) + ", overflows " + std::to_string(overflows);
    printf("%-34s %d Hz claim-played ms: median %+6.2f p5 %+6.2f p95 %+6.2f | row reported-heard ms: median %+6.2f "
           "p5 %+6.2f p95 %+6.2f (%d rows, %d placed) | align diff %.2f, start-up %.2f s | %s\n",
           label, rate, percentile(claim, 0.5), percentile(claim, 0.05), percentile(claim, 0.95), percentile(rows, 0.5),
           percentile(rows, 0.05), percentile(rows, 0.95), reported, matched, difference, startupSeconds,
           verdict.c_str());
    fflush(stdout);
}

static double monotonicRaw() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC_RAW, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

int main(int argc, char **argv) {
    int seconds = argc > 1 ? atoi(argv[1]) : 20;
    int driftSeconds = argc > 2 ? atoi(argv[2]) : 60;
    std::string modulePath = "data/compruss.xm";
    std::vector<uint8_t> bytes = readBytes(modulePath);
    if (bytes.empty()) {
        bytes = makeTestModule(6);
        modulePath = scratchDir() + "/sync.xm";
        writeBytes(modulePath, bytes);
    }
    smoothedMonitor = argc > 3 && strcmp(argv[3], "smoothed") == 0;
    printf("module %s, %d s per path, polled every millisecond, monitor time %s\n", modulePath.c_str(), seconds,
           smoothedMonitor ? "smoothed by libpulse" : "asked afresh each time");
    measurePath("cubeb pulse on PulseAudio", "pulseaudio", "pulse", modulePath, bytes, seconds);
    measurePath("cubeb pulse on PipeWire-pulse", "pipewire", "pulse", modulePath, bytes, seconds);
    measurePath("cubeb pulse on PipeWire 44.1 kHz", "pipewire-44100", "pulse", modulePath, bytes, seconds);
    measurePath("cubeb alsa via ALSA pulse plugin", "pulseaudio", "alsa", modulePath, bytes, seconds);

    // the silent clock against the kernel's unadjusted clock
    audioSelectBackend(AUDIO_SILENT);
    BASS_Init(-1, 44100, 0, nullptr);
    double t0 = monotonicRaw();
    int64_t h0 = audioHeardFrame();
    std::this_thread::sleep_for(std::chrono::seconds(driftSeconds));
    int64_t h1 = audioHeardFrame();
    double elapsed = monotonicRaw() - t0;
    BASS_Free();
    double drift = ((h1 - h0) / 44100.0 - elapsed) / elapsed * 100;
    printf("silent clock over %.1f s: %+.4f %% (%+.2f ms)\n", elapsed, drift, ((h1 - h0) / 44100.0 - elapsed) * 1000);
    return 0;
}
