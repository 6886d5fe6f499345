// cubeb.cpp -- the sound device through cubeb: PulseAudio (or PipeWire through pipewire-pulse), ALSA, JACK, sndio
#include "engine.h"

#include <cubeb/cubeb.h>

#include <cstring>

namespace engine {

struct CubebStream : DeviceStream {
    cubeb *context = nullptr;
    cubeb_stream *stream = nullptr;
};

// cubeb's thread asks for the next frames (also before the stream starts, to fill it).
static long cubebData(cubeb_stream *, void *user, const void *, void *out, long frames) {
    renderForDevice(static_cast<CubebStream *>(user), static_cast<int16_t *>(out), int(frames));
    return frames;
}

// A server that goes away or a card unplugged ends the stream with an error.
static void cubebState(cubeb_stream *, void *user, cubeb_state state) {
    if (state == CUBEB_STATE_ERROR)
        reportDeviceTrouble(static_cast<CubebStream *>(user), false);
}

static void cubebDeviceChanged(void *user) {
    reportDeviceTrouble(static_cast<CubebStream *>(user), true);
}

// The rate the server runs at, 0 when it does not say within rateLimit. cubeb's pulse
// back-end waits without a bound for the server to name its default sink, which a server
// without one never does; so the question goes through a cubeb context of its own.
static int preferredRate() {
    auto rate = std::make_shared<uint32_t>(0);  // outlives a question left unanswered
    const char *backend = chosenOutput;
    bool answered = runBounded([rate, backend] {
        cubeb *context = nullptr;
        if (cubeb_init(&context, "vortazov", backend) == CUBEB_OK) {
            if (cubeb_get_preferred_sample_rate(context, rate.get()) != CUBEB_OK)
                *rate = 0;
            cubeb_destroy(context);
        }
    }, rateLimit);
    return answered ? int(*rate) : 0;
}

static void cubebClose(DeviceStream *device) {
    CubebStream *d = static_cast<CubebStream *>(device);
    if (d->stream) {
        cubeb_stream_stop(d->stream);
        cubeb_stream_destroy(d->stream);
    }
    if (d->context)
        cubeb_destroy(d->context);
    delete d;
}

// A stereo 16-bit stream on the chosen back-end (or the first that works), started.
static DeviceStream *cubebOpen(int rate, bool &answered) {
    answered = false;
    CubebStream *d = new CubebStream;
    d->kind = &cubebDevice;
    if (cubeb_init(&d->context, "vortazov", chosenOutput) != CUBEB_OK) {
        delete d;
        return nullptr;
    }
    d->name = cubeb_get_backend_id(d->context);
    if (rate == 0) {
        int preferred = preferredRate();
        rate = preferred >= 8000 && preferred <= 384000 ? preferred : AUDIO_RATE;
    }
    d->rate = rate;
    cubeb_stream_params params;
    params.format = CUBEB_SAMPLE_S16NE;
    params.rate = uint32_t(d->rate);
    params.channels = 2;
    params.layout = CUBEB_LAYOUT_STEREO;
    params.prefs = CUBEB_STREAM_PREF_NONE;
    // cubeb tries its other back-ends when the one named fails; a test or a benchmark that
    // names one wants that one or none
    if ((chosenOutput && d->name != chosenOutput) ||
        cubeb_stream_init(d->context, &d->stream, "vortazov", nullptr, nullptr, nullptr, &params, deviceLatencyFrames,
                          cubebData, cubebState, d) != CUBEB_OK) {
        d->stream = nullptr;
        closeDevice(d);
        return nullptr;
    }
    cubeb_stream_register_device_changed_callback(d->stream, cubebDeviceChanged);
    if (cubeb_stream_start(d->stream) != CUBEB_OK) {
        closeDevice(d);
        return nullptr;
    }
    return d;
}

// cubeb's position already counts the server's or the card's latency: the frame played now.
static bool cubebPosition(DeviceStream *device, uint64_t &frame, Clock::time_point &at) {
    CubebStream *d = static_cast<CubebStream *>(device);
    bool known = cubeb_stream_get_position(d->stream, &frame) == CUBEB_OK;
    at = Clock::now();
    return known;
}

// Any choice but PipeWire's own stream is one of cubeb's back-ends (or none: cubeb's order).
static bool cubebChosen(const char *choice) {
    return !choice || strcmp(choice, "pipewire") != 0;
}

const DeviceKind cubebDevice = {cubebChosen, cubebOpen, cubebPosition, cubebClose};

}  // namespace engine
