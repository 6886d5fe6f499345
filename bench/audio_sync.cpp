// audio_sync.cpp -- how close the module position a frame driver sees is to what is heard, on SDL's disk driver
//
// The disk driver writes each buffer to its file and then sleeps for the buffer's duration,
// so a frame is "heard" when its buffer is written plus its place in the buffer. This
// program notes the moment of every write by standing in for the C library's fwrite (the
// file's own buffering would hide it: stdio passes two buffers on at a time). The main
// thread polls BASS_ChannelGetPosition every millisecond like a frame driver and notes when
// each row is first seen; the truth is the frame each row begins at (libopenmpt, one frame
// per read) and the moment that frame was written. Prints mean and max absolute error, and
// the error that reading libopenmpt's position straight after each 1024-frame render
// would have given.
//
// Usage: bench_audio_sync [seconds] [--rows]   (module: data/compruss.xm if present, else a
// test module; --rows prints every row's errors)
#include <dlfcn.h>
#include <unistd.h>

#include <libopenmpt/libopenmpt.hpp>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

#include "audio.h"
#include "audio_files.h"
#include "bass.h"

using Clock = std::chrono::steady_clock;

static const int bufferFrames = 1024;  // the engine asks for this; the disk driver takes it
static Clock::time_point origin;       // the bench's time zero
static const int maxWrites = 1 << 20;
static double writeTime[maxWrites];    // seconds since origin of each device buffer written
static std::atomic<int> writes;        // buffers written so far
static std::atomic<bool> recording;

static double now() {
    return std::chrono::duration<double>(Clock::now() - origin).count();
}

// Every buffer the disk driver writes passes here (SDL calls fwrite from its audio thread).
extern "C" size_t fwrite(const void *data, size_t size, size_t count, FILE *file) {
    typedef size_t (*Fwrite)(const void *, size_t, size_t, FILE *);
    static Fwrite real = reinterpret_cast<Fwrite>(dlsym(RTLD_NEXT, "fwrite"));
    if (recording && size * count == bufferFrames * 4) {
        int i = writes.load();
        if (i < maxWrites) {
            writeTime[i] = now();
            writes.store(i + 1);
        }
    }
    return real(data, size, count, file);
}

static uint32_t wordOf(openmpt::module &m) {
    return uint32_t(m.get_current_row()) << 16 | uint32_t(m.get_current_order());
}

int main(int argc, char **argv) {
    double limit = 1e9;
    bool printRows = false;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--rows") == 0)
            printRows = true;
        else
            limit = atof(argv[i]);
    }
    std::string modulePath = "data/compruss.xm";
    std::vector<uint8_t> bytes = readBytes(modulePath);
    if (bytes.empty()) {
        bytes = makeTestModule(3);
        modulePath = scratchDir() + "/sync.xm";
        writeBytes(modulePath, bytes);
    }

    // the truth: the frame at which each row begins, and the naive reading's view of it
    std::ostringstream log;
    openmpt::module truth(bytes, log);
    truth.ctl_set_integer("dither", 0);
    std::vector<int64_t> rowStart;   // module frame of each row change, in order
    std::vector<uint32_t> rowWord;
    int16_t pcm[2];
    uint32_t last = 0xFFFFFFFF;
    for (int64_t f = 0; truth.read_interleaved_stereo(44100, 1, pcm) == 1; f++) {
        uint32_t w = wordOf(truth);
        if (w != last && !(w == 0 && f > 0)) {
            rowStart.push_back(f);
            rowWord.push_back(w);
        }
        last = w;
    }
    int64_t songFrames = rowStart.empty() ? 0 : rowStart.back();
    // the first 4096 frames as the engine renders them, to find the song in the output
    openmpt::module head(bytes, log);
    head.ctl_set_integer("dither", 0);
    std::vector<int16_t> headPcm(4096 * 2);
    for (int f = 0; f < 4096; f += AUDIO_CHUNK_FRAMES)
        head.read_interleaved_stereo(44100, AUDIO_CHUNK_FRAMES, headPcm.data() + f * 2);

    std::string diskPath = scratchDir() + "/disk.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", diskPath.c_str(), 1);
    origin = Clock::now();
    recording = true;
    if (!BASS_Init(-1, 44100, 0, nullptr) || audioBackend() != AUDIO_DEVICE) {
        printf("the disk driver did not open\n");
        return 1;
    }
    HMUSIC music = BASS_MusicLoad(0, modulePath.c_str(), 0, 0, 0);
    if (!music) {
        printf("cannot load %s\n", modulePath.c_str());
        return 1;
    }
    BASS_Start();
    BASS_MusicPlay(music);

    // the frame driver: poll every millisecond, note when each position is first seen
    std::vector<double> seenTime;
    std::vector<double> pollBefore;  // the poll before each sighting, which still saw the old row
    std::vector<uint32_t> seenWord;
    double playSeconds = std::min(limit, double(songFrames) / 44100 + 0.2);
    double start = now();
    last = 0xFFFFFFFF;
    double previousPoll = start;
    while (now() - start < playSeconds) {
        uint32_t w = BASS_ChannelGetPosition(music);
        double t = now();
        if (w != last) {
            seenTime.push_back(t);
            pollBefore.push_back(previousPoll);
            seenWord.push_back(w);
            last = w;
        }
        previousPoll = t;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    BASS_Free();
    recording = false;
    std::vector<uint8_t> written = readBytes(diskPath);
    unlink(diskPath.c_str());

    // where the song begins in the output: its first 4096 frames, sample for sample
    std::vector<int16_t> out(written.size() / 2);
    memcpy(out.data(), written.data(), out.size() * 2);
    int64_t songAt = -1;
    for (size_t f = 0; songAt < 0 && (f + 4096) * 2 <= out.size(); f++)
        if (std::equal(headPcm.begin(), headPcm.end(), out.begin() + f * 2))
            songAt = int64_t(f);
    if (songAt < 0) {
        printf("the song was not found in the output\n");
        return 1;
    }
    // the moment output frame j was heard: its buffer's write, plus its place in it
    auto heardAt = [&](int64_t j) {
        int64_t k = j / bufferFrames;
        return k < writes ? writeTime[k] + double(j % bufferFrames) / 44100 : -1.0;
    };
    auto bufferWrittenAt = [&](int64_t j) { return heardAt(j / bufferFrames * bufferFrames); };

    double sum = 0, worst = 0, naiveSum = 0, naiveWorst = 0;
    double onTimeSum = 0, onTimeWorst = 0;  // rows whose poller woke within 3 ms of the last poll
    int rows = 0, missed = 0, onTime = 0;
    size_t next = 0;
    for (size_t r = 1; r < rowStart.size(); r++) {
        int64_t j = songAt + rowStart[r];
        if (j >= int64_t(out.size() / 2) || heardAt(j) < 0)
            break;
        double truthTime = heardAt(j);
        while (next < seenWord.size() && seenWord[next] != rowWord[r])
            next++;
        if (next == seenWord.size()) {
            missed++;
            next = 0;
            continue;
        }
        double error = seenTime[next] - truthTime;
        // the naive reading: the position after a 1024-frame render is taken as current from
        // the moment that buffer is written
        double naive = bufferWrittenAt(j) - truthTime;
        if (printRows)
            printf("row at frame %lld: seen %+.2f ms (poll gap %.2f ms), naive %+.2f ms\n", (long long)j,
                   1000 * error, 1000 * (seenTime[next] - pollBefore[next]), 1000 * naive);
        sum += std::fabs(error);
        worst = std::max(worst, std::fabs(error));
        // On a busy machine the poller sometimes sleeps far longer than asked; then the
        // sighting says more about the scheduler than about the engine.
        if (seenTime[next] - pollBefore[next] <= 0.003) {
            onTimeSum += std::fabs(error);
            onTimeWorst = std::max(onTimeWorst, std::fabs(error));
            onTime++;
        }
        naiveSum += std::fabs(naive);
        naiveWorst = std::max(naiveWorst, std::fabs(naive));
        rows++;
    }
    printf("module %s, %.1f s played, buffer %d frames, song at output frame %lld\n", modulePath.c_str(),
           playSeconds, bufferFrames, (long long)songAt);
    printf("rows compared %d (not seen by the poller: %d)\n", rows, missed);
    printf("engine: mean |error| %.2f ms, max %.2f ms\n", 1000 * sum / std::max(rows, 1), 1000 * worst);
    printf("engine, the %d rows whose poll came on time: mean |error| %.2f ms, max %.2f ms\n", onTime,
           1000 * onTimeSum / std::max(onTime, 1), 1000 * onTimeWorst);
    printf("naive:  mean |error| %.2f ms, max %.2f ms\n", 1000 * naiveSum / std::max(rows, 1), 1000 * naiveWorst);
    printf("naive / engine mean error: %.1f\n", naiveSum / std::max(sum, 1e-9));
    return 0;
}
