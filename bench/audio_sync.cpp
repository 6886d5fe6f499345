// audio_sync.cpp -- how close the engine's "heard now" is to what a real sound server plays, per server path
//
// For each path the program starts a server of its own (tools: tests/sound_server.cpp),
// plays the module through the engine into the server's null sink, and records the sink's
// monitor in the same process at the sink's own rate: on PulseAudio through libpulse, on
// PipeWire through a PipeWire stream of its own, so that the reference rests on PipeWire's
// count and not on pipewire-pulse's. The engine opens its output at that rate too and
// renders the module there, so nothing resamples on the way and the recording is aligned
// sample-exactly with libopenmpt's render of the module at that rate (the least difference
// over a search window): recording frame A + f is module frame f. Every millisecond it reads
// the engine's heard frame and BASS_ChannelGetPosition, and from the monitor's timing the
// frame the sink plays at that moment (see monitorFrame and placeNativeSamples).
// Prints per path:
//   - claim error: engine's heard frame minus the frame the server plays, in ms: median, p5, p95;
//   - row error: when a new row was first reported minus when its first frame was played;
//   - whether the recording followed the render to the end: an underrun of the engine's
//     stream (silence played in its place) or a gap in the recording shifts the recording
//     against the render from there on; each such break is reported with its shift, the
//     recording is aligned again past it, and the moments within it are left out.
// On PipeWire also the graph's quantum, and once, with both recorders on one sink, how far
// the two references lie apart. Then the silent clock's drift against CLOCK_MONOTONIC_RAW.
//
// Usage: bench_audio_sync [SECONDS_PER_PATH [DRIFT_SECONDS [smoothed]]]   (defaults 20 and 60;
// from the project root: module data/compruss.xm if present, else a test module)
#include <pipewire/pipewire.h>
#include <pulse/pulseaudio.h>
#include <spa/param/audio/format-utils.h>
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

// One recording of the sink's monitor.
struct Recording {
    std::vector<int16_t> pcm;  // interleaved stereo, from the record stream's first frame
    int holes = 0;      // holes the server reported in it, or graph cycles the recorder missed
    int overflows = 0;  // times the server dropped recorded data for want of room
};
static std::mutex recordLock;      // guards both recordings and the cycles
static Recording pulseRecording;   // [recordLock] through libpulse
static Recording nativeRecording;  // [recordLock] through PipeWire's own stream

static int64_t monotonicNanoseconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// --- the monitor through libpulse
static pa_threaded_mainloop *loop;
static pa_context *context;
static pa_stream *monitor;
static bool smoothedMonitor;  // read the monitor's time as libpulse smooths it (see monitorFrame)

static void onRead(pa_stream *s, size_t, void *) {
    const void *data;
    size_t bytes;
    while (pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0) {
        std::lock_guard<std::mutex> lock(recordLock);
        std::vector<int16_t> &recorded = pulseRecording.pcm;
        if (data) {
            recorded.insert(recorded.end(), (const int16_t *)data, (const int16_t *)data + bytes / 2);
        } else {
            recorded.resize(recorded.size() + bytes / 2, 0);  // a hole: keep the timeline
            pulseRecording.holes++;
        }
        pa_stream_drop(s);
    }
}

static void onOverflow(pa_stream *, void *) {
    std::lock_guard<std::mutex> lock(recordLock);
    pulseRecording.overflows++;
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
    {
        std::lock_guard<std::mutex> lock(recordLock);
        pulseRecording = Recording();
    }
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
    if (!loop)
        return;
    pa_threaded_mainloop_stop(loop);
    if (monitor) {
        pa_stream_disconnect(monitor);
        pa_stream_unref(monitor);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_threaded_mainloop_free(loop);
    monitor = nullptr;
    loop = nullptr;
}

// --- the monitor through PipeWire's own stream
//
// PipeWire hands a monitor's readers each graph cycle's buffer with its account of the cycle
// (pw_stream_get_time_n): `now`, the moment the cycle began on CLOCK_MONOTONIC, and `delay`,
// how long ago the samples left the sink beyond that. A sink that drives the graph mixes its
// input at the end of a cycle, and its monitor hands that to the readers in the next one: a
// click a player hands over in the cycle that begins at t is in the monitor's buffer of the
// cycle that begins one quantum later, and that buffer reaches us about 0.3 ms into its
// cycle, before the player has handed over that cycle's frames. So at `now` the sink plays
// the frame just after the buffer received. (With both recorders on one sink, this and
// pipewire-pulse's answers for its monitor agree to a few tenths of a millisecond.)

// One buffer of the monitor and PipeWire's account of the cycle it came in.
struct Cycle {
    int64_t now;     // CLOCK_MONOTONIC ns at the start of that cycle; 0 when not known (a late call took several)
    int64_t first;   // recording frame of its first frame
    int64_t frames;  // frames in it: the quantum
    double delay;    // pw_time.delay, in frames
};
static pw_thread_loop *pwLoop;
static pw_context *pwContext;
static pw_core *pwCore;
static pw_stream *pwMonitor;
static spa_hook pwMonitorListener;
static std::atomic<int> pwMonitorRate;  // the recording's rate once its format is set: the graph's
static std::vector<Cycle> cycles;       // [recordLock] oldest first
static int64_t ticksAhead;              // [recordLock] graph position minus recording frame: steps when a cycle is missed
static int64_t ticksAheadNew;           // [recordLock] ... a different value seen on the last buffer, not yet confirmed

static void onMonitorFormat(void *, uint32_t id, const spa_pod *param) {
    spa_audio_info_raw info;
    memset(&info, 0, sizeof info);
    if (id == SPA_PARAM_Format && param && spa_format_audio_raw_parse(param, &info) >= 0)
        pwMonitorRate = int(info.rate);
}

// On PipeWire's data thread, within the cycle.
static void onMonitorProcess(void *) {
    pw_time t;
    memset(&t, 0, sizeof t);
    pw_stream_get_time_n(pwMonitor, &t, sizeof t);
    int taken = 0;
    while (pw_buffer *b = pw_stream_dequeue_buffer(pwMonitor)) {
        spa_data &d = b->buffer->datas[0];
        uint32_t offset = d.chunk ? std::min(d.chunk->offset, d.maxsize) : 0;
        uint32_t bytes = d.data && d.chunk ? std::min(d.chunk->size, d.maxsize - offset) : 0;
        const int16_t *pcm = static_cast<const int16_t *>(d.data) + offset / 2;
        std::lock_guard<std::mutex> lock(recordLock);
        std::vector<int16_t> &recorded = nativeRecording.pcm;
        Cycle c = {0, int64_t(recorded.size() / 2), int64_t(bytes / 4), 0};
        if (taken++ == 0 && t.rate.denom > 0) {
            c.delay = double(t.delay) * t.rate.num * pwMonitorRate / t.rate.denom;
            // A call that comes late reads the next cycle's account for this cycle's buffer
            // (the graph position one quantum ahead, and back in step at the next buffer):
            // its moment is taken back by that much. Only a step that stays is a missed cycle.
            int64_t ahead = int64_t(t.ticks) - c.first;
            if (cycles.empty())
                ticksAhead = ticksAheadNew = ahead;
            if (ahead != ticksAhead && ahead == ticksAheadNew) {
                ticksAhead = ahead;
                nativeRecording.holes++;
            }
            ticksAheadNew = ahead;
            double early = double(ahead - ticksAhead) * t.rate.num / t.rate.denom;
            c.now = t.now - int64_t(early * 1e9);
        }
        cycles.push_back(c);
        recorded.insert(recorded.end(), pcm, pcm + bytes / 2);
        pw_stream_queue_buffer(pwMonitor, b);
    }
}

// Records the default sink's monitor through a PipeWire stream at the graph's rate (left in
// `rate`, 0 when there is none), for about `seconds`. It asks for no graph cycle of its own:
// the quantum is the player's.
static bool startNativeMonitor(int &rate, int seconds) {
    {
        std::lock_guard<std::mutex> lock(recordLock);
        nativeRecording = Recording();
        nativeRecording.pcm.reserve(size_t(seconds + 20) * 48000 * 2);  // no allocation on the data thread
        cycles.clear();
        cycles.reserve(size_t(seconds + 20) * 48000 / 64);
    }
    pwMonitorRate = 0;
    static const pw_stream_events events = [] {
        pw_stream_events e;
        memset(&e, 0, sizeof e);
        e.version = PW_VERSION_STREAM_EVENTS;
        e.param_changed = onMonitorFormat;
        e.process = onMonitorProcess;
        return e;
    }();
    // client-rt: the data thread runs at real-time priority, so that no cycle is missed on a busy machine
    pwLoop = pw_thread_loop_new("bench monitor", nullptr);
    if (pwLoop)
        pwContext = pw_context_new(pw_thread_loop_get_loop(pwLoop),
                                   pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    if (!pwContext)
        return false;
    pw_thread_loop_lock(pwLoop);
    pw_thread_loop_start(pwLoop);
    pw_properties *props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture",
                                             PW_KEY_STREAM_CAPTURE_SINK, "true", PW_KEY_TARGET_OBJECT, SOUND_SERVER_SINK,
                                             nullptr);
    pwCore = pw_context_connect(pwContext, nullptr, 0);
    if (pwCore)
        pwMonitor = pw_stream_new(pwCore, "bench monitor", props);
    else
        pw_properties_free(props);
    if (pwMonitor)
        pw_stream_add_listener(pwMonitor, &pwMonitorListener, &events, nullptr);
    spa_audio_info_raw info;
    memset(&info, 0, sizeof info);
    info.format = SPA_AUDIO_FORMAT_S16;
    info.channels = 2;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod *params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    bool ok = pwMonitor && pw_stream_connect(pwMonitor, PW_DIRECTION_INPUT, PW_ID_ANY,
                                             pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                                             PW_STREAM_FLAG_RT_PROCESS),
                                             params, 1) == 0;
    pw_thread_loop_unlock(pwLoop);
    bool flowing = false;
    for (Clock::time_point start = Clock::now(); ok && !flowing && Clock::now() - start < std::chrono::seconds(5);) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard<std::mutex> lock(recordLock);
        flowing = !cycles.empty();
    }
    rate = flowing ? pwMonitorRate.load() : 0;
    return rate > 0;
}

static void stopNativeMonitor() {
    if (!pwLoop)
        return;
    pw_thread_loop_lock(pwLoop);
    if (pwMonitor)
        pw_stream_destroy(pwMonitor);
    if (pwCore)
        pw_core_disconnect(pwCore);
    pw_thread_loop_unlock(pwLoop);
    pw_thread_loop_stop(pwLoop);
    if (pwContext)
        pw_context_destroy(pwContext);
    pw_thread_loop_destroy(pwLoop);
    pwMonitor = nullptr;
    pwCore = nullptr;
    pwContext = nullptr;
    pwLoop = nullptr;
}

// The graph's quantum as the recorder saw it: the median buffer.
static int nativeQuantum() {
    std::lock_guard<std::mutex> lock(recordLock);
    std::vector<int64_t> frames;
    for (const Cycle &c : cycles)
        frames.push_back(c.frames);
    if (frames.empty())
        return 0;
    std::nth_element(frames.begin(), frames.begin() + frames.size() / 2, frames.end());
    return int(frames[frames.size() / 2]);
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
static int64_t alignRecording(const Recording &recording, double &meanDifference) {
    std::lock_guard<std::mutex> lock(recordLock);
    const std::vector<int16_t> &recorded = recording.pcm;
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
static double mismatch(const std::vector<int16_t> &recorded, int64_t offset, int64_t from, int64_t frames) {
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
static std::vector<Segment> segmentsOf(const Recording &recording, int64_t offset, int rate,
                                       std::vector<int64_t> &breaks) {
    std::lock_guard<std::mutex> lock(recordLock);
    const std::vector<int16_t> &recorded = recording.pcm;
    const int64_t block = 1024;
    std::vector<Segment> segments = {{0, offset}};
    int64_t frames = std::min(int64_t(referencePcm.size() / 2), int64_t(recorded.size() / 2) - offset);
    for (int64_t f = 0; f + block <= frames; f += block) {
        if (mismatch(recorded, offset, f, block) <= 4)
            continue;
        int64_t again = f + 2 * block, best = -1;
        double bestDifference = 4;
        for (int64_t a = offset - rate / 20; a <= offset + rate; a++) {
            double d = mismatch(recorded, a, again, 256);
            if (d < bestDifference && mismatch(recorded, a, again, 4 * block) < 4) {
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
    int64_t askedNs;  // ... and at this CLOCK_MONOTONIC time
    int64_t playing;  // recording frame the sink plays then, from the monitor's timing; -1 unknown
    int64_t checked;  // ... by the other recorder, when both record
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

// The frame of the libpulse recording that the sink plays at each sample's time. A fresh
// answer of a server is never early, only late: pipewire-pulse answers with its counts as of
// its last graph cycle (one quantum, 256 frames at 48 kHz, steps in its answers) yet stamps
// them with the time it answers, and PulseAudio leaves out now and then, for about 10 ms, a
// fragment on its way from the sink to us (the answers fall back by about 200 or 15 frames
// and return); neither counts a frame as played before it is. So the frame played at a
// moment is the latest of the answers of the 40 ms before it, each carried on at the sink's
// rate to that moment. The smoothed time is libpulse's estimate at the moment read, and only
// the last one counts.
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

// The frame of the PipeWire recording that the sink plays at each sample's time: at the
// start of the last cycle before it, the frame after that cycle's buffer (see the monitor
// above) plus the delay reported, carried on at the graph's rate, as the sink plays it.
static void placeNativeSamples(std::vector<Sample> &samples, int rate) {
    std::lock_guard<std::mutex> lock(recordLock);
    size_t next = 0;
    const Cycle *last = nullptr;
    for (Sample &s : samples) {
        for (; next < cycles.size() && cycles[next].now <= s.askedNs; next++)
            if (cycles[next].now > 0)
                last = &cycles[next];
        s.playing = last ? last->first + last->frames + std::llround(last->delay + (s.askedNs - last->now) * 1e-9 * rate)
                         : -1;
    }
}

// Which recorder the reference rests on for a path.
enum Reference {
    PULSE_MONITOR,   // libpulse (PulseAudio)
    NATIVE_MONITOR,  // PipeWire's own stream, asking no quantum
    NATIVE_CHECKED,  // PipeWire's own stream, with libpulse recording the same monitor through
                     // pipewire-pulse beside it (which makes the quantum 256 frames): the two
                     // references are compared
};

// The module frame each sample's `playing` (or `checked`) recording frame is, per the
// recording's alignment and its segments; -1 where unknown or within a break.
static std::vector<int64_t> playedModuleFrames(const std::vector<Sample> &samples, bool checked,
                                               const std::vector<Segment> &segments) {
    std::vector<int64_t> played;
    for (const Sample &s : samples) {
        int64_t playing = checked ? s.checked : s.playing;
        if (playing < 0 || segments.empty()) {
            played.push_back(-1);
            continue;
        }
        // the segment that holds the recording frame played
        size_t k = 0;
        while (k + 1 < segments.size() && segments[k + 1].offset >= 0 &&
               playing >= segments[k + 1].offset + segments[k + 1].from)
            k++;
        int64_t module = playing - segments[k].offset;
        bool inBreak = k + 1 < segments.size() && module >= segments[k + 1].from - 2048;
        played.push_back(inBreak ? -1 : module);
    }
    return played;
}

static void measurePath(const char *label, const char *serverKind, const char *output, Reference reference,
                        const std::string &modulePath, const std::vector<uint8_t> &bytes, int seconds) {
    SoundServer server;
    if (!startSoundServer(server, serverKind)) {
        printf("%-34s no server\n", label);
        return;
    }
    setenv("PULSE_SERVER", server.address.c_str(), 1);
    setenv("PIPEWIRE_REMOTE", server.pipewireRemote.c_str(), 1);
    bool native = reference != PULSE_MONITOR, pulse = reference != NATIVE_MONITOR;
    int recordRate = 0, pulseRate = 0;  // frames a second of the recordings: the sink's
    bool recording = (!native || startNativeMonitor(recordRate, seconds)) && (!pulse || startMonitor(pulseRate));
    if (!native)
        recordRate = pulseRate;
    if (!recording) {
        printf("%-34s the monitor could not be recorded\n", label);
        stopMonitor();
        stopNativeMonitor();
        stopSoundServer(server);
        return;
    }
    audioSelectBackend(AUDIO_DEVICE);
    audioSelectOutput(output);
    bool opened = BASS_Init(-1, 44100, 0, nullptr) != 0;
    HMUSIC music = BASS_MusicLoad(0, modulePath.c_str(), 0, 0, BASS_LOOP);
    int rate = audioOutputRate();
    if (!opened || !music) {
        printf("%-34s the engine did not open its %s output (%s)\n", label, output, audioOutputName());
        BASS_Free();
        stopMonitor();
        stopNativeMonitor();
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
    std::thread reader;
    if (pulse)
        reader = std::thread(readMonitor);
    Clock::time_point start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        Sample s;
        double before = wallMicroseconds();
        int64_t beforeNs = monotonicNanoseconds();
        s.heard = audioHeardFrame();
        s.asked = (before + wallMicroseconds()) / 2;
        s.askedNs = (beforeNs + monotonicNanoseconds()) / 2;
        s.word = BASS_ChannelGetPosition(music);
        s.playing = s.checked = -1;
        samples.push_back(s);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    readingStop = true;
    if (reader.joinable())
        reader.join();
    // what the recorders met while the engine was measured (clients leaving later change the quantum)
    Recording seen;
    {
        std::lock_guard<std::mutex> lock(recordLock);
        seen.holes = (native ? nativeRecording : pulseRecording).holes;
        seen.overflows = (native ? nativeRecording : pulseRecording).overflows;
    }
    if (pulse) {
        placeSamples(samples, rate);
        for (Sample &s : samples)
            s.checked = s.playing;
    }
    if (native)
        placeNativeSamples(samples, rate);
    const Recording &referenceRecording = native ? nativeRecording : pulseRecording;
    double difference = 0;
    int64_t offset = alignRecording(referenceRecording, difference);
    std::vector<int64_t> breaks;
    std::vector<Segment> segments;
    if (offset >= 0)
        segments = segmentsOf(referenceRecording, offset, rate, breaks);
    // the other recorder's reference, aligned by its own recording
    std::vector<int64_t> checkBreaks;
    std::vector<Segment> checkSegments;
    double checkDifference = 0;
    int64_t checkOffset = reference == NATIVE_CHECKED ? alignRecording(pulseRecording, checkDifference) : -1;
    if (checkOffset >= 0)
        checkSegments = segmentsOf(pulseRecording, checkOffset, rate, checkBreaks);
    BASS_Free();
    audioSelectOutput(nullptr);
    stopMonitor();
    stopNativeMonitor();
    stopSoundServer(server);
    unsetenv("PULSE_SERVER");
    unsetenv("PIPEWIRE_REMOTE");
    if (offset < 0) {
        printf("%-34s the module was not found in the recording\n", label);
        return;
    }
    // after 3 s, once the servers' start-up has settled, and not within a break
    std::vector<double> claim, rows;
    uint32_t previous = 0xFFFFFFFF;
    int reported = 0, matched = 0;
    double msPerFrame = 1000.0 / rate;
    std::vector<int64_t> played = playedModuleFrames(samples, false, segments);
    for (size_t i = 0; i < samples.size(); i++) {
        const Sample &s = samples[i];
        int64_t playedModule = played[i];  // module frame the sink plays
        if (playedModule < 0)
            continue;
        int64_t heardModule = s.heard - moduleStart;  // module frame the engine says is heard
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
    const Recording &r = seen;
    bool clean = breaks.empty() && r.holes == 0 && r.overflows == 0 && rate == recordRate;
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
    if (r.holes || r.overflows)
        verdict += " holes " + std::to_string(r.holes) + ", overflows " + std::to_string(r.overflows);
    std::string quantum = native ? ", quantum " + std::to_string(nativeQuantum()) : "";
    printf("%-34s %d Hz claim-played ms: median %+6.2f p5 %+6.2f p95 %+6.2f | row reported-heard ms: median %+6.2f "
           "p5 %+6.2f p95 %+6.2f (%d rows, %d placed) | align diff %.2f, start-up %.2f s%s | %s\n",
           label, rate, percentile(claim, 0.5), percentile(claim, 0.05), percentile(claim, 0.95), percentile(rows, 0.5),
           percentile(rows, 0.05), percentile(rows, 0.95), reported, matched, difference, startupSeconds,
           quantum.c_str(), verdict.c_str());
    if (reference == NATIVE_CHECKED) {
        // the frame played by PipeWire's count minus by pipewire-pulse's, at the same moments
        std::vector<int64_t> checkPlayed = playedModuleFrames(samples, true, checkSegments);
        std::vector<double> apart;
        for (size_t i = 0; i < samples.size(); i++)
            if (played[i] > 3 * rate && checkPlayed[i] >= 0)
                apart.push_back((played[i] - checkPlayed[i]) * msPerFrame);
        const Recording &c = pulseRecording;
        bool checkClean = checkOffset >= 0 && checkBreaks.empty() && c.holes == 0 && c.overflows == 0;
        printf("%-34s the reference by PipeWire's count minus by pipewire-pulse's, ms: median %+6.2f p5 %+6.2f p95 "
               "%+6.2f | align diff %.2f | %s\n",
               "", percentile(apart, 0.5), percentile(apart, 0.05), percentile(apart, 0.95), checkDifference,
               checkClean ? "clean" : "NOT CLEAN: the pipewire-pulse recording broke or was not found");
    }
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
    pw_init(nullptr, nullptr);
    printf("module %s, %d s per path, polled every millisecond, monitor time %s\n", modulePath.c_str(), seconds,
           smoothedMonitor ? "smoothed by libpulse" : "asked afresh each time");
    measurePath("cubeb pulse on PulseAudio", "pulseaudio", "pulse", PULSE_MONITOR, modulePath, bytes, seconds);
    measurePath("pipewire native 48 kHz", "pipewire", "pipewire", NATIVE_MONITOR, modulePath, bytes, seconds);
    measurePath("cubeb pulse on PipeWire-pulse", "pipewire", "pulse", NATIVE_MONITOR, modulePath, bytes, seconds);
    measurePath("pipewire native 44.1 kHz", "pipewire-44100", "pipewire", NATIVE_MONITOR, modulePath, bytes, seconds);
    measurePath("cubeb pulse on PipeWire 44.1 kHz", "pipewire-44100", "pulse", NATIVE_MONITOR, modulePath, bytes,
                seconds);
    measurePath("pipewire native 48 kHz, 2 monitors", "pipewire", "pipewire", NATIVE_CHECKED, modulePath, bytes,
                seconds);
    measurePath("cubeb alsa via ALSA pulse plugin", "pulseaudio", "alsa", PULSE_MONITOR, modulePath, bytes, seconds);

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
