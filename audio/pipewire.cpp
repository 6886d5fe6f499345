// pipewire.cpp -- the sound device through PipeWire's own stream: the frame heard is PipeWire's account of each graph cycle
#include "engine.h"

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace engine {

// How long an open waits for the server to answer (it may be frozen: its socket still takes
// the connection), and then for the stream to play.
static const std::chrono::milliseconds answerLimit(1000);
static const std::chrono::milliseconds playLimit(2000);
// A PipeWire that played here before and comes back (restarted, or its session manager) brings
// its sinks back a moment after it answers; until then the sound waits for them rather than go
// round to cubeb, which would reach the same server the slower way and stay there.
static const std::chrono::milliseconds sinkReturnLimit(3000);
static std::atomic<bool> playedBefore;  // a PipeWire stream has played in this run
// What the listeners call, filled once, with pw_init, by the first open: the functions they
// name are defined below.
static pw_core_events coreEvents;
static pw_registry_events registryEvents;
static pw_metadata_events defaultsEvents;  // the "default" metadata's
static pw_stream_events streamEvents;

struct PipewireStream : DeviceStream {
    pw_thread_loop *loop = nullptr;  // PipeWire's thread for everything but the samples
    pw_context *context = nullptr;
    pw_core *core = nullptr;
    pw_registry *registry = nullptr;
    pw_proxy *defaults = nullptr;  // the "default" metadata: which sink the desktop plays to
    pw_stream *stream = nullptr;
    spa_hook coreListener, registryListener, defaultsListener, streamListener;

    // [the loop's lock] what the server has said
    int syncSeq = -1;        // the sync asked last
    bool synced = false;     // ... and answered
    bool failed = false;     // the connection or the stream failed
    int sinks = 0;           // Audio/Sink nodes announced
    int graphRate = 0;       // the graph's default rate, 0 until the server says
    bool defaultKnown = false;
    std::string defaultSink;  // default.audio.sink, as the server last said
    pw_stream_state state = PW_STREAM_STATE_UNCONNECTED;

    std::atomic<int> streamRate{0};      // frames a second the stream took, 0 until it took a format
    std::atomic<bool> processed{false};  // the stream asked for frames at least once

    // [timingLock] the frame played at the start of the last graph cycle, and that moment
    std::mutex timingLock;
    bool timed = false;
    uint64_t played = 0;
    Clock::time_point playedAt;
};

// --- the server's answers, on PipeWire's thread

static void coreInfo(void *user, const pw_core_info *info) {
    PipewireStream *d = static_cast<PipewireStream *>(user);
    const char *rate = info->props ? spa_dict_lookup(info->props, "default.clock.rate") : nullptr;
    if (rate)
        d->graphRate = atoi(rate);
}

static void coreDone(void *user, uint32_t id, int seq) {
    PipewireStream *d = static_cast<PipewireStream *>(user);
    if (id == PW_ID_CORE && seq == d->syncSeq) {
        d->synced = true;
        pw_thread_loop_signal(d->loop, false);
    }
}

// The connection broke: the server went away (or refused us).
static void coreError(void *user, uint32_t id, int, int, const char *) {
    PipewireStream *d = static_cast<PipewireStream *>(user);
    if (id != PW_ID_CORE)
        return;
    d->failed = true;
    reportDeviceTrouble(d, false);
    pw_thread_loop_signal(d->loop, false);
}

// Keeps the default sink: when the desktop names another one, the output is opened again
// there, as on the other devices.
static int defaultsProperty(void *user, uint32_t subject, const char *key, const char *, const char *value) {
    PipewireStream *d = static_cast<PipewireStream *>(user);
    if (subject != PW_ID_CORE || !key || strcmp(key, "default.audio.sink") != 0)
        return 0;
    std::string sink = value ? value : "";
    if (d->defaultKnown && sink != d->defaultSink)
        reportDeviceTrouble(d, true);
    d->defaultSink = sink;
    d->defaultKnown = true;
    return 0;
}

static void registryGlobal(void *user, uint32_t id, uint32_t, const char *type, uint32_t, const spa_dict *props) {
    PipewireStream *d = static_cast<PipewireStream *>(user);
    const char *what = props ? spa_dict_lookup(props, strcmp(type, PW_TYPE_INTERFACE_Node) == 0 ? PW_KEY_MEDIA_CLASS
                                                                                                 : PW_KEY_METADATA_NAME)
                             : nullptr;
    if (!what)
        return;
    if (strcmp(type, PW_TYPE_INTERFACE_Node) == 0 && strcmp(what, "Audio/Sink") == 0) {
        d->sinks++;
        pw_thread_loop_signal(d->loop, false);
    }
    if (strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0 && strcmp(what, "default") == 0 && !d->defaults) {
        d->defaults = static_cast<pw_proxy *>(pw_registry_bind(d->registry, id, type, PW_VERSION_METADATA, 0));
        if (d->defaults)
            pw_metadata_add_listener(reinterpret_cast<pw_metadata *>(d->defaults), &d->defaultsListener, &defaultsEvents, d);
    }
}

static void streamState(void *user, pw_stream_state, pw_stream_state state, const char *) {
    PipewireStream *d = static_cast<PipewireStream *>(user);
    bool wasPlaying = d->state == PW_STREAM_STATE_STREAMING || d->state == PW_STREAM_STATE_PAUSED;
    d->state = state;
    if (state == PW_STREAM_STATE_ERROR || (wasPlaying && state == PW_STREAM_STATE_UNCONNECTED)) {
        d->failed = true;
        reportDeviceTrouble(d, false);
    }
    pw_thread_loop_signal(d->loop, false);
}

// The format the stream took; at the rate asked for, or the graph's when none was asked.
static void streamParam(void *user, uint32_t id, const spa_pod *param) {
    PipewireStream *d = static_cast<PipewireStream *>(user);
    spa_audio_info_raw info{};
    if (id == SPA_PARAM_Format && param && spa_format_audio_raw_parse(param, &info) >= 0)
        d->streamRate = int(info.rate);
}

// PipeWire's data thread, once per graph cycle (the stream asks for its frames within the
// cycle that plays them): renders the cycle's frames and notes the frame played at the
// cycle's start. By PipeWire's account (pw_stream_get_time_n, taken before this cycle's
// buffer is queued) what was handed over before it has left the stream (queued), the
// resampler (buffered) and the way to the device (delay) by then, less what is still there.
static void streamProcess(void *user) {
    PipewireStream *d = static_cast<PipewireStream *>(user);
    pw_buffer *b = pw_stream_dequeue_buffer(d->stream);
    if (!b)
        return;
    spa_data &data = b->buffer->datas[0];
    if (!data.data || !data.chunk) {
        pw_stream_queue_buffer(d->stream, b);
        return;
    }
    uint32_t room = data.maxsize / 4;
    uint32_t frames = std::min<uint32_t>(b->requested ? uint32_t(b->requested) : uint32_t(pipewireQuantum), room);
    pw_time t{};
    bool timed = pw_stream_get_time_n(d->stream, &t, sizeof t) == 0 && t.rate.denom > 0 && t.now > 0;
    int64_t before = renderForDevice(d, static_cast<int16_t *>(data.data), int(frames));
    data.chunk->offset = 0;
    data.chunk->stride = 4;
    data.chunk->size = frames * 4;
    b->size = frames;  // queued counts in frames
    pw_stream_queue_buffer(d->stream, b);
    if (timed) {
        // delay is in the graph's ticks, the rest in the stream's frames
        double ticksToFrames = double(d->streamRate) * t.rate.num / t.rate.denom;
        int64_t played = before - int64_t(t.queued) - int64_t(t.buffered) - std::llround(double(t.delay) * ticksToFrames);
        std::lock_guard<std::mutex> timing(d->timingLock);
        d->played = uint64_t(std::max<int64_t>(played, 0));
        d->playedAt = Clock::time_point(std::chrono::nanoseconds(t.now));  // CLOCK_MONOTONIC, as the steady clock
        d->timed = true;
    }
    d->processed = true;
}

// --- the device

static void pipewireClose(DeviceStream *device) {
    PipewireStream *d = static_cast<PipewireStream *>(device);
    if (d->loop) {
        pw_thread_loop_lock(d->loop);
        if (d->stream)
            pw_stream_destroy(d->stream);
        if (d->defaults)
            pw_proxy_destroy(d->defaults);
        if (d->registry)
            pw_proxy_destroy(reinterpret_cast<pw_proxy *>(d->registry));
        if (d->core)
            pw_core_disconnect(d->core);
        pw_thread_loop_unlock(d->loop);
        pw_thread_loop_stop(d->loop);
    }
    if (d->context)
        pw_context_destroy(d->context);
    if (d->loop)
        pw_thread_loop_destroy(d->loop);
    delete d;
}

// Waits, the loop locked, until `done` or the connection failed, at most `limit` from now.
template <class Done>
static bool waitFor(PipewireStream *d, std::chrono::milliseconds limit, Done done) {
    timespec deadline;
    pw_thread_loop_get_time(d->loop, &deadline, int64_t(limit.count()) * SPA_NSEC_PER_MSEC);
    while (!done() && !d->failed)
        if (pw_thread_loop_timed_wait_full(d->loop, &deadline) != 0)
            break;
    return done() && !d->failed;
}

// Everything the server was asked so far has been answered (the registry's announcements
// with it); the loop locked.
static bool roundTrip(PipewireStream *d) {
    d->synced = false;
    d->syncSeq = pw_core_sync(d->core, PW_ID_CORE, 0);
    return waitFor(d, answerLimit, [d] { return d->synced; });
}

static DeviceStream *pipewireOpen(int rate, bool &answered) {
    answered = false;
    static std::once_flag initialized;
    std::call_once(initialized, [] {
        pw_init(nullptr, nullptr);
        coreEvents.version = PW_VERSION_CORE_EVENTS;
        coreEvents.info = coreInfo;
        coreEvents.done = coreDone;
        coreEvents.error = coreError;
        registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
        registryEvents.global = registryGlobal;
        defaultsEvents.version = PW_VERSION_METADATA_EVENTS;
        defaultsEvents.property = defaultsProperty;
        streamEvents.version = PW_VERSION_STREAM_EVENTS;
        streamEvents.state_changed = streamState;
        streamEvents.param_changed = streamParam;
        streamEvents.process = streamProcess;
    });
    PipewireStream *d = new PipewireStream;
    d->kind = &pipewireDevice;
    d->name = "pipewire";
    d->loop = pw_thread_loop_new("vortazov-sound", nullptr);
    // client-rt: the data thread asks for real-time priority, as PipeWire's own players do
    if (d->loop)
        d->context = pw_context_new(pw_thread_loop_get_loop(d->loop),
                                    pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    if (!d->context || pw_thread_loop_start(d->loop) < 0) {
        closeDevice(d);
        return nullptr;
    }
    pw_thread_loop_lock(d->loop);
    // fails at once where no PipeWire server listens
    d->core = pw_context_connect(d->context, nullptr, 0);
    bool ok = d->core != nullptr;
    if (ok) {
        pw_core_add_listener(d->core, &d->coreListener, &coreEvents, d);
        d->registry = pw_core_get_registry(d->core, PW_VERSION_REGISTRY, 0);
        pw_registry_add_listener(d->registry, &d->registryListener, &registryEvents, d);
        // a server that took the connection and then said nothing is there, but stalled; one
        // without a sink leaves the sound to another server (PulseAudio)
        ok = roundTrip(d);
        if (ok && d->sinks == 0 && playedBefore)
            waitFor(d, sinkReturnLimit, [d] { return d->sinks > 0; });
        answered = ok ? d->sinks > 0 : !d->failed;
        ok = ok && d->sinks > 0 && roundTrip(d);  // and the default sink's name, once bound
    }
    if (ok) {
        // the graph cycle asked for, at the rate the stream will take
        int latencyRate = rate ? rate : d->graphRate > 0 ? d->graphRate : 48000;
        pw_properties *props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                                                 PW_KEY_APP_NAME, "vortazov", PW_KEY_NODE_NAME, "vortazov", nullptr);
        pw_properties_setf(props, PW_KEY_NODE_LATENCY, "%d/%d", pipewireQuantum, latencyRate);
        d->stream = pw_stream_new(d->core, "vortazov", props);
        ok = d->stream != nullptr;
        if (ok) {
            pw_stream_add_listener(d->stream, &d->streamListener, &streamEvents, d);
            // no rate before BASS_Init has fixed one: the stream takes the graph's, so nothing resamples
            spa_audio_info_raw info{};
            info.format = SPA_AUDIO_FORMAT_S16;
            info.rate = uint32_t(rate);
            info.channels = 2;
            info.position[0] = SPA_AUDIO_CHANNEL_FL;
            info.position[1] = SPA_AUDIO_CHANNEL_FR;
            uint8_t buffer[1024];
            spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
            const spa_pod *params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
            // the process call comes on PipeWire's data thread within the cycle, so the stream
            // holds only the cycle being played and what was just handed over
            ok = pw_stream_connect(d->stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                                   pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                                   PW_STREAM_FLAG_RT_PROCESS),
                                   params, 1) == 0;
        }
        ok = ok && waitFor(d, playLimit, [d] { return d->state == PW_STREAM_STATE_STREAMING; });
    }
    pw_thread_loop_unlock(d->loop);
    d->rate = d->streamRate;
    // the first cycle follows at once
    for (Clock::time_point start = Clock::now(); ok && !d->processed && Clock::now() - start < answerLimit;)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!ok || !d->processed || d->rate < 8000 || d->rate > 384000 || (rate && d->rate != rate)) {
        closeDevice(d);
        return nullptr;
    }
    playedBefore = true;
    return d;
}

static bool pipewirePosition(DeviceStream *device, uint64_t &frame, Clock::time_point &at) {
    PipewireStream *d = static_cast<PipewireStream *>(device);
    std::lock_guard<std::mutex> timing(d->timingLock);
    frame = d->played;
    at = d->playedAt;
    return d->timed;
}

static bool pipewireChosen(const char *choice) {
    return !choice || strcmp(choice, "pipewire") == 0;
}

const DeviceKind pipewireDevice = {pipewireChosen, pipewireOpen, pipewirePosition, pipewireClose};

}  // namespace engine
