// output.cpp -- where the rendered frames go: a cubeb device, or the silent clock when there is none
#include "engine.h"

#include <algorithm>
#include <cstring>

namespace engine {

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
void startSilentClockLocked(int64_t from) {
    activeBackend = AUDIO_SILENT;
    silentBase = from;
    silentStart = Clock::now();
    silentStop = false;
    silentThread = std::thread(silentClockThread);
}

// Stops the silent clock's renderer; no lock held (it waits for the thread).
void stopSilentClock() {
    {
        std::lock_guard<std::mutex> clock(clockLock);
        silentStop = true;
    }
    silentWake.notify_all();
    if (silentThread.joinable())
        silentThread.join();
}

// Closes the device, if one is open; no lock held (stopping waits for cubeb's thread).
void closeDevice() {
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
bool openDevice() {
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

}  // namespace engine
