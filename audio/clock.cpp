// clock.cpp -- which output frame is heard now, and which one the position queries answer for
#include "engine.h"
#include "queried.h"

#include <algorithm>

namespace engine {

// The frame heard now, from the device's position `position` at moment `at` (when `fresh`)
// and the steady clock; clockLock held. A frame index counts frames from 0: "heard up to
// frame h" means frame h - 1 is sounding.
int64_t heardFrameLocked(bool fresh, uint64_t position, Clock::time_point at) {
    if (!initialized)
        return 0;
    if (activeBackend == AUDIO_PULL)
        return renderedFrames;
    Clock::time_point now = Clock::now();
    int64_t heard;
    if (activeBackend == AUDIO_SILENT) {
        int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now - silentStart).count();
        heard = silentBase + ns * outputRate / 1000000000;
    } else {
        // Servers update the position in steps (ALSA per period, PulseAudio per timing
        // update unless it interpolates, PipeWire per graph cycle); in between, time runs on
        // by the steady clock.
        if (fresh && position != devicePosition) {
            devicePosition = position;
            devicePositionTime = at;
        }
        double since = std::max(0.0, std::chrono::duration<double>(now - devicePositionTime).count());
        double limit = std::chrono::duration<double>(interpolationLimit).count();
        int64_t ahead = int64_t(std::min(since, limit) * outputRate);
        heard = std::min(deviceBase + int64_t(devicePosition) + ahead, renderedFrames);
        // a server that stopped answering asks for no more frames: the frame heard stands
        // still at the last one rendered, however its position runs on
        if (heard > lastHeard)
            deviceProgressTime = now;
    }
    heard = std::max(heard, lastHeard);
    lastHeard = heard;
    return heard;
}

// The frame heard now. The device is asked with none of our locks held (see the locks);
// the keeper does not close it while a query asks (positionReaders).
int64_t heardFrame() {
    DeviceStream *d;
    {
        std::lock_guard<std::mutex> clock(clockLock);
        if (!initialized || activeBackend != AUDIO_DEVICE || !device)
            return heardFrameLocked(false, 0);
        d = device;
        positionReaders++;
    }
    uint64_t position = 0;
    Clock::time_point at;
    bool fresh = d->kind->position(d, position, at);
    std::lock_guard<std::mutex> clock(clockLock);
    positionReaders--;
    // the device may have been given up meanwhile: its position then counts for nothing
    return heardFrameLocked(fresh && device == d, position, at);
}

// The frame the position queries answer for (queried.h); the pull back-end's answer stays
// exact.
int64_t queriedFrame() {
    int64_t heard = heardFrame();
    std::lock_guard<std::mutex> clock(clockLock);
    if (!initialized || activeBackend == AUDIO_PULL)
        return heard;
    return nextQueriedFrame(heard, int64_t(lookaheadSeconds * outputRate), renderedFrames, lastQueried);
}

}  // namespace engine
