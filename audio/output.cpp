// output.cpp -- where the rendered frames go: a sound device, or the silent clock when there is none
#include "engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

namespace engine {

// The sound devices AUDIO_DEVICE opens, in the order they are tried: PipeWire's own stream
// wherever a PipeWire server with a sink answers (its timing is PipeWire's account of each
// graph cycle; through pipewire-pulse, cubeb's position wanders by several milliseconds),
// then cubeb (PulseAudio, ALSA, ...).
static const DeviceKind *const deviceKinds[] = {&pipewireDevice, &cubebDevice};

// A stream not yet taken on, or already given up, plays silence.
int64_t renderForDevice(DeviceStream *d, int16_t *out, int frames) {
    std::lock_guard<std::mutex> engine(engineLock);
    if (initialized && device == d && activeBackend == AUDIO_DEVICE)
        renderLocked(out, frames);
    else
        memset(out, 0, size_t(frames) * 4);
    int64_t before = d->written;
    d->written += frames;
    return before;
}

// The keeper then moves the presentation onto the silent clock from the frame heard, and
// opens the output again (on the new default output, when that changed).
void reportDeviceTrouble(DeviceStream *d, bool defaultChanged) {
    std::lock_guard<std::mutex> clock(clockLock);
    if (d != device)
        return;
    if (defaultChanged)
        deviceChanged = true;
    else
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

// A call that waits on the server must not hold up the caller when the server does not answer.
bool runBounded(std::function<void()> work, std::chrono::milliseconds limit) {
    struct Done {
        std::mutex lock;
        std::condition_variable wake;
        bool finished = false;
    };
    auto done = std::make_shared<Done>();
    std::thread([work, done] {
        work();
        std::lock_guard<std::mutex> lock(done->lock);
        done->finished = true;
        done->wake.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(done->lock);
    return done->wake.wait_for(lock, limit, [&] { return done->finished; });
}

// Stopping a stream waits for the server.
void closeDevice(DeviceStream *d) {
    if (d)
        runBounded([d] { d->kind->close(d); }, closeLimit);
}

// Opens the first device chosen (audioSelectOutput) that plays; null when there is none.
// It plays silence until it is taken on. Until BASS_Init returns it opens at the rate the
// server runs at, so that the server does not resample (which would also cost the
// benchmark its sample-exact recording); after that at the engine's rate.
static DeviceStream *openDevice() {
    int rate;
    {
        std::lock_guard<std::mutex> clock(clockLock);
        rate = outputRateFixed ? outputRate : 0;
    }
    for (const DeviceKind *kind : deviceKinds) {
        if (!kind->chosen(chosenOutput))
            continue;
        bool answered = false;
        DeviceStream *d = kind->open(rate, answered);
        if (d || answered)
            return d;
    }
    return nullptr;
}

// Takes on an opened stream in place of the silent clock: the frames rendered from now on
// go to it, and its position, counted from its start, is mapped so that the frame rendered
// next is heard once the silence it played so far has been heard. Its rate becomes the
// engine's while BASS_Init has not returned (only silence has been rendered by then). False
// when the engine is closing, or when BASS_Init has fixed another rate. No lock held.
static bool adopt(DeviceStream *d) {
    {
        // BASS_Free has asked the keeper to stop before it stops the silent clock itself
        std::lock_guard<std::mutex> clock(clockLock);
        if (keeperStop)
            return false;
    }
    stopSilentClock();
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    if (outputRateFixed && d->rate != outputRate) {
        startSilentClockLocked(heardFrameLocked(false, 0));  // BASS_Init returned meanwhile
        return false;
    }
    outputRate = d->rate;
    device = d;
    deviceName = d->name;
    deviceBase = renderedFrames - d->written;
    devicePosition = 0;
    devicePositionTime = Clock::now();
    deviceProgressTime = deviceTakenOn = devicePositionTime;
    deviceFailed = deviceChanged = false;
    activeBackend = AUDIO_DEVICE;
    return true;
}

// Gives up the device for the silent clock, which carries on from the frame heard; the
// stream is closed off the caller's way. No lock held.
static void loseDevice() {
    DeviceStream *d;
    {
        std::lock_guard<std::mutex> engine(engineLock);
        std::lock_guard<std::mutex> clock(clockLock);
        d = device;
        if (activeBackend == AUDIO_DEVICE)
            startSilentClockLocked(heardFrameLocked(false, 0));
        device = nullptr;
    }
    // a position query may be asking the stream right now
    while (positionReaders > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    closeDevice(d);
}

// Why the device in use should be given up, or null while it plays: an error, a change of
// the default output, or a position that has stood still too long (a server that stopped
// answering). clockLock held.
static const char *deviceTroubleLocked() {
    if (deviceFailed)
        return "the output failed";
    if (deviceChanged)
        return "the default output changed";
    Clock::time_point now = Clock::now();
    bool starting = now - deviceTakenOn < startPeriod;
    if (now - deviceProgressTime > (starting ? startLimit : stallLimit))
        return "the sound server stopped answering";
    return nullptr;
}

// The keeper: the one thread that opens and closes outputs. It opens the first, watches
// the one in use, gives it up when it fails or stalls, and tries again every retryPeriod
// while there is none; waiting on a server that does not answer never blocks the player.
static void keeperLoop() {
    Clock::time_point nextTry = Clock::now();
    bool lost = false;  // an output was lost and has not been found again
    std::unique_lock<std::mutex> clock(clockLock);
    while (!keeperStop) {
        bool playing = activeBackend == AUDIO_DEVICE;
        clock.unlock();
        if (playing) {
            heardFrame();  // reads the position, so that a stall shows
            const char *why;
            {
                std::lock_guard<std::mutex> c(clockLock);
                why = deviceTroubleLocked();
            }
            if (why) {
                loseDevice();
                printf("Sound output lost (%s): playing on silently.\n", why);
                fflush(stdout);
                lost = true;
                nextTry = Clock::now();
            }
        } else if (Clock::now() >= nextTry) {
            DeviceStream *d = openDevice();  // may wait for a server that does not answer
            nextTry = Clock::now() + retryPeriod;
            if (d && !adopt(d)) {
                closeDevice(d);
                d = nullptr;
            }
            if (d) {
                bool late;
                {
                    std::lock_guard<std::mutex> c(clockLock);
                    late = startFellBack;
                    startFellBack = false;
                }
                // BASS_Init said there was no sound; the player said so too
                if (late)
                    printf("Sound output found (%s): playing from here.\n", deviceName.c_str());
                else if (lost)
                    printf("Sound output found again (%s): playing on from here.\n", deviceName.c_str());
                fflush(stdout);
                lost = false;
            }
            std::lock_guard<std::mutex> c(clockLock);
            keeperAttempts++;
            keeperWake.notify_all();
        }
        clock.lock();
        keeperWake.wait_for(clock, keeperPeriod, [] { return keeperStop; });
    }
    keeperDone = true;
    keeperWake.notify_all();
}

// Starts the keeper with the silent clock running and waits at most openLimit for its first
// attempt to open an output; true when one opened. No lock held.
static bool startKeeper() {
    {
        std::lock_guard<std::mutex> clock(clockLock);
        keeperStop = keeperDone = false;
        keeperAttempts = 0;
        startFellBack = false;
    }
    keeperThread = std::thread(keeperLoop);
    std::unique_lock<std::mutex> clock(clockLock);
    keeperWake.wait_for(clock, openLimit, [] { return keeperAttempts > 0; });
    // decided under the same lock as the keeper's taking on a device, so that an output found
    // from here on is announced, and one found before is not
    startFellBack = activeBackend != AUDIO_DEVICE;
    return !startFellBack;
}

// Stops the keeper and closes the device, waiting a bounded time for each. No lock held.
static void stopKeeper() {
    bool done = true;
    {
        std::unique_lock<std::mutex> clock(clockLock);
        keeperStop = true;
        keeperWake.notify_all();
        if (keeperThread.joinable())
            done = keeperWake.wait_for(clock, closeLimit, [] { return keeperDone; });
    }
    // a keeper still waiting for a server is left to end on its own
    if (keeperThread.joinable()) {
        if (done)
            keeperThread.join();
        else
            keeperThread.detach();
    }
    stopSilentClock();
    DeviceStream *d;
    {
        std::lock_guard<std::mutex> engine(engineLock);
        std::lock_guard<std::mutex> clock(clockLock);
        d = device;
        device = nullptr;
    }
    closeDevice(d);
}

// The silent clock from frame 0, until a device is taken on or for good. No lock held.
static void startSilentClock() {
    std::lock_guard<std::mutex> engine(engineLock);
    std::lock_guard<std::mutex> clock(clockLock);
    startSilentClockLocked(0);
}

// Names the output once when it plays from the start; one found later says so itself.
static bool startDevice() {
    startSilentClock();
    if (!startKeeper())
        return false;
    std::string name;
    int rate;
    {
        std::lock_guard<std::mutex> clock(clockLock);
        name = deviceName;
        rate = outputRate;
    }
    printf("Sound output: %s at %d Hz\n", name.c_str(), rate);
    fflush(stdout);
    return true;
}

static bool startSilent() {
    startSilentClock();
    return false;
}

// The caller pulls every frame itself: nothing to start, nothing fell back.
static bool startPull() {
    return true;
}

static void stopPull() {
}

// The outputs BASS_Init can choose (audio.h): their names, and how each starts (returning
// what BASS_Init returns: true when nothing fell back) and stops. Called with no lock held.
static const Output outputs[] = {
    {AUDIO_DEVICE, "device", startDevice, stopKeeper},
    {AUDIO_SILENT, "silent", startSilent, stopSilentClock},
    {AUDIO_PULL, "pull", startPull, stopPull},
};

const Output &outputFor(AudioBackend backend) {
    for (const Output &o : outputs)
        if (o.backend == backend)
            return o;
    return outputs[0];
}

}  // namespace engine
