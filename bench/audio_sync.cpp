// audio_sync.cpp -- how close the engine's "heard now" is to what a real sound server plays, per server path
//
// For each path the program starts a server of its own (tools: tests/sound_server.cpp),
// plays the module through the engine into the server's null sink, and records the sink's
// monitor in the same process through libpulse. The recording is aligned sample-exactly
// with libopenmpt's render of the module (the least difference over a search window), so
// recording frame A + f is module frame f. Every millisecond it reads the engine's heard
// frame and BASS_ChannelGetPosition, and the monitor stream's pa_stream_get_time, which is
// the frame the sink plays now (it includes the sink's latency). Prints per path:
//   - claim error: engine's heard frame minus the frame the server plays, in ms: median, p5, p95;
//   - row error: when a new row was first reported minus when its first frame was played.
// Then the silent clock's drift against CLOCK_MONOTONIC_RAW.
//
// Usage: bench_audio_sync [SECONDS_PER_PATH [DRIFT_SECONDS]]   (defaults 20 and 60; from the
// project root: module data/compruss.xm if present, else a test module)
#include <pulse/pulseaudio.h>
#include <time.h>

#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
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

static void onRead(pa_stream *s, size_t, void *) {
    const void *data;
    size_t bytes;
    while (pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0) {
        std::lock_guard<std::mutex> lock(recordLock);
        if (data)
            recorded.insert(recorded.end(), (const int16_t *)data, (const int16_t *)data + bytes / 2);
        else
            recorded.resize(recorded.size() + bytes / 2, 0);  // a hole: keep the timeline
        pa_stream_drop(s);
    }
}

static void signalLoop(void *) {
    pa_threaded_mainloop_signal(loop, 0);
}

static bool startMonitor() {
    recorded.clear();
    loop = pa_threaded_mainloop_new();
    context = pa_context_new(pa_threaded_mainloop_get_api(loop), "bench monitor");
    pa_context_set_state_callback(context, [](pa_context *, void *) { pa_threaded_mainloop_signal(loop, 0); }, nullptr);
    pa_threaded_mainloop_lock(loop);
    pa_threaded_mainloop_start(loop);
    pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    while (pa_context_get_state(context) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        pa_threaded_mainloop_wait(loop);
    bool ok = pa_context_get_state(context) == PA_CONTEXT_READY;
    if (ok) {
        pa_sample_spec spec = {PA_SAMPLE_S16LE, 44100, 2};
        monitor = pa_stream_new(context, "monitor", &spec, nullptr);
        pa_stream_set_read_callback(monitor, onRead, nullptr);
        pa_stream_set_state_callback(monitor, [](pa_stream *, void *) { signalLoop(nullptr); }, nullptr);
        pa_buffer_attr attr;
        memset(&attr, 0xff, sizeof attr);
        attr.fragsize = 441 * 4;  // 10 ms
        std::string source = std::string(SOUND_SERVER_SINK) + ".monitor";
        pa_stream_connect_record(monitor, source.c_str(), &attr,
                                 pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                                   PA_STREAM_ADJUST_LATENCY));
        while (pa_stream_get_state(monitor) == PA_STREAM_CREATING)
            pa_threaded_mainloop_wait(loop);
        ok = pa_stream_get_state(monitor) == PA_STREAM_READY;
    }
    pa_threaded_mainloop_unlock(loop);
    return ok;
}

// The frame of the recording that the sink plays now, or -1 before the server knows.
static int64_t monitorNow() {
    pa_usec_t usec = 0;
    pa_threaded_mainloop_lock(loop);
    int r = pa_stream_get_time(monitor, &usec);
    pa_threaded_mainloop_unlock(loop);
    return r == 0 ? int64_t(usec) * 44100 / 1000000 : -1;
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

static uint32_t wordOf(openmpt::module &m) {
    return uint32_t(m.get_current_row()) << 16 | uint32_t(m.get_current_order());
}

static void makeReference(const std::vector<uint8_t> &bytes, int seconds) {
    std::ostringstream log;
    openmpt::module chunks(bytes, log), frames(bytes, log);
    chunks.ctl_set_integer("dither", 0);
    frames.ctl_set_integer("dither", 0);
    int total = seconds * 44100;
    total -= total % AUDIO_CHUNK_FRAMES;  // whole chunks only
    referencePcm.assign(size_t(total) * 2, 0);
    for (int f = 0; f < total; f += AUDIO_CHUNK_FRAMES)
        chunks.read_interleaved_stereo(44100, AUDIO_CHUNK_FRAMES, referencePcm.data() + f * 2);
    rowStartFrame.assign(1 << 24, UINT32_MAX);
    int16_t pcm[2];
    for (int f = 0; f < total && frames.read_interleaved_stereo(44100, 1, pcm) == 1; f++) {
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

static double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * (v.size() - 1) + 0.5))];
}

struct Sample {
    int64_t heard;    // engine's heard frame
    int64_t playing;  // recording frame the sink plays
    uint32_t word;    // engine's module position
};

static void measurePath(const char *label, const char *serverKind, const char *output,
                        const std::string &modulePath, int seconds) {
    SoundServer server;
    if (!startSoundServer(server, serverKind)) {
        printf("%-34s no server\n", label);
        return;
    }
    setenv("PULSE_SERVER", server.address.c_str(), 1);
    if (!startMonitor()) {
        printf("%-34s the monitor could not be recorded\n", label);
        stopSoundServer(server);
        return;
    }
    audioSelectBackend(AUDIO_DEVICE);
    audioSelectOutput(output);
    bool opened = BASS_Init(-1, 44100, 0, nullptr) != 0;
    HMUSIC music = BASS_MusicLoad(0, modulePath.c_str(), 0, 0, BASS_LOOP);
    if (!opened || !music) {
        printf("%-34s the engine did not open cubeb's %s back-end (%s)\n", label, output, audioOutputName());
        BASS_Free();
        stopMonitor();
        stopSoundServer(server);
        return;
    }
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
    Clock::time_point start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        Sample s;
        s.playing = monitorNow();
        s.heard = audioHeardFrame();
        s.word = BASS_ChannelGetPosition(music);
        samples.push_back(s);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    double difference = 0;
    int64_t offset = alignRecording(difference);
    BASS_Free();
    audioSelectOutput(nullptr);
    stopMonitor();
    stopSoundServer(server);
    unsetenv("PULSE_SERVER");
    if (offset < 0) {
        printf("%-34s the module was not found in the recording\n", label);
        return;
    }
    // after 3 s, once the servers' start-up has settled
    std::vector<double> claim, rows;
    uint32_t previous = 0xFFFFFFFF;
    int reported = 0, matched = 0;
    for (const Sample &s : samples) {
        if (s.playing < 0)
            continue;
        int64_t heardModule = s.heard - moduleStart;     // module frame the engine says is heard
        int64_t playedModule = s.playing - offset;       // module frame the sink plays
        bool settled = playedModule > 3 * 44100;
        if (settled)
            claim.push_back((heardModule - playedModule) / 44.1);
        if (s.word != previous && previous != 0xFFFFFFFF && settled) {
            reported++;
            uint32_t key = (s.word & 0xFFFF) << 8 | (s.word >> 16 & 0xFF);
            if (key < rowStartFrame.size() && rowStartFrame[key] != UINT32_MAX) {
                rows.push_back((playedModule - int64_t(rowStartFrame[key])) / 44.1);
                matched++;
            }
        }
        previous = s.word;
    }
    printf("%-34s claim-played ms: median %+6.2f p5 %+6.2f p95 %+6.2f | row reported-heard ms: median %+6.2f p5 %+6.2f "
           "p95 %+6.2f (%d rows, %d placed) | align diff %.2f, start-up %.2f s\n",
           label, percentile(claim, 0.5), percentile(claim, 0.05), percentile(claim, 0.95), percentile(rows, 0.5),
           percentile(rows, 0.05), percentile(rows, 0.95), reported, matched, difference, startupSeconds);
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
    makeReference(bytes, seconds + 2);
    printf("module %s, %d s per path, polled every millisecond\n", modulePath.c_str(), seconds);
    measurePath("cubeb pulse on PulseAudio", "pulseaudio", "pulse", modulePath, seconds);
    measurePath("cubeb pulse on PipeWire-pulse", "pipewire", "pulse", modulePath, seconds);
    // the same with the graph at our rate: nothing resamples, so the recording aligns exactly
    measurePath("cubeb pulse on PipeWire 44.1 kHz", "pipewire-44100", "pulse", modulePath, seconds);
    measurePath("cubeb alsa via ALSA pulse plugin", "pulseaudio", "alsa", modulePath, seconds);

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
