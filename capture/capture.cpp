// capture.cpp -- renders the presentation offline, frame by frame, with its sound, to a video
//
// The presentation runs as it does live (same start-up, frame driver, scenes and end part),
// but time is ours: before frame k the audio engine has rendered exactly the samples up to
// k / fps, and the frame driver's clock reads k * 1000 / fps. So every run of the same span
// gives the same frames and the same sound, however fast the machine draws.
#include "audio.h"
#include "capture.h"
#include "desktop.h"
#include "player.h"

#include <GL/freeglut.h>
#include <GL/glext.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

static std::string outputName;                  // the video file asked for
static int captureFps = 60;                     // frames per second of the video
static int captureWidth = 640;                  // pixels
static int captureHeight = 480;                 // pixels
static int supersample;                         // picture pixels per output pixel across, 0: by size
static int64_t firstFrame;                      // first frame written (--from); earlier ones only run
static int64_t endFrame = -1;                   // frame at which to stop (--to), -1: the presentation's end
static bool forced;                             // --force: render even where the disk looks too small
static int64_t frameIndex;                      // the frame being drawn, 0 at the module's start
// --at: the frames written as pictures instead of a video, in order, each with its file; empty
// for a video
static std::vector<int64_t> stillFrames;
static std::vector<std::string> stillNames;
static size_t stillsWritten;                    // of those, written so far
static bool stillFailed;                        // a picture could not be written
static const double STREAM_BYTES_PER_SECOND = 16000;  // the end-part stream: 128 kbit/s
static volatile sig_atomic_t stopRequested;     // Escape, a signal, or a write that failed
static volatile sig_atomic_t stopSignal;        // the signal that stopped us, 0 for none
static std::vector<uint8_t> framePixels[2];     // without pixel buffers, frames as read,
                                                // alternately: one is written while the next is drawn
static const int READ_RING = 3;                 // pixel buffers frames are read into, in turn
static GLuint readBuffers[READ_RING];           // the ring; all 0 where pixel buffers are missing
static int64_t framesRead;                      // frames read into the ring so far
static int64_t framesHanded;                    // of those, frames handed to the writer
static PFNGLGENBUFFERSPROC genBuffers;          // buffer object entry points, looked up at run time
static PFNGLDELETEBUFFERSPROC deleteBuffers;
static PFNGLBINDBUFFERPROC bindBuffer;
static PFNGLBUFFERDATAPROC bufferData;
static PFNGLMAPBUFFERPROC mapBuffer;
static PFNGLUNMAPBUFFERPROC unmapBuffer;
static std::vector<int16_t> frameSound;         // the samples of one frame's span
static int lastSceneIndex = -1;                 // last timeline row reported on standard error
static bool endPartReported;
static int64_t switchFrame = -1;                // frame of the switch to the end part
static DWORD switchStreamPosition;              // first stream position seen in the end part
static std::chrono::steady_clock::time_point wallStart;  // when the first frame began
static double lastProgressTime = -1;            // wall seconds of the last progress line
static bool progressOnTerminal;                 // standard error is a terminal: redraw in place
static char musicPosition[64];                  // the last module or stream position shown

static double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
}

// The output frame (44100 Hz) that is heard when video frame k begins.
static int64_t soundFrameAt(int64_t k) {
    return k * AUDIO_RATE / captureFps;
}

static int captureClock() {
    return int(frameIndex * 1000 / captureFps);
}

static void formatTime(char *text, size_t size, double seconds) {
    int whole = int(seconds);
    snprintf(text, size, "%d:%02d.%02d", whole / 60, whole % 60, int((seconds - whole) * 100));
}

// ---------------------------------------------------------------------------------------
// progress on standard error

// The last stream position at which a word becomes current: the presentation's own end.
static int lastWordPosition() {
    for (int i = endscrollCount - 1; i >= 0; i--) {
        if (endscrollText[i].text)
            return endscrollText[i].position;
    }
    return 0;
}

// Frames the whole capture will take. Exact with --to; otherwise an estimate from how far
// the module has come (rows from the start to the timeline's end) and from the stream's
// byte rate up to the last word.
static double estimatedEndFrame(int64_t framesDone) {
    if (endFrame >= 0)
        return double(endFrame);
    double now = double(framesDone);
    // the stream's nominal rate until it has played long enough to measure it
    double bytesPerFrame = STREAM_BYTES_PER_SECOND / captureFps;
    double switchAt;
    if (endPartActive) {
        switchAt = double(switchFrame);
        DWORD position = BASS_StreamGetFilePosition(streamHandle, 0);
        if (now - switchAt > captureFps && position > switchStreamPosition)
            bytesPerFrame = (position - switchStreamPosition) / (now - switchAt);
    } else {
        ModulePosition at = decodePosition(BASS_ChannelGetPosition(musicHandle));
        double done = double(rowsFromStart(at.order, at.row)) / TIMELINE_ROWS;
        if (!at.known || done < 0.01)
            return 0;
        switchAt = now / std::min(done, 1.0);
    }
    return std::max(now, switchAt + lastWordPosition() / bytesPerFrame);
}

// Kept every frame: the last progress line comes after the shutdown, when the audio engine
// knows no position any more.
static void notePosition() {
    if (endPartActive)
        snprintf(musicPosition, sizeof musicPosition, "stream %u / %u",
                 BASS_StreamGetFilePosition(streamHandle, 0), BASS_StreamGetLength(streamHandle));
    else {
        ModulePosition at = decodePosition(BASS_ChannelGetPosition(musicHandle));
        snprintf(musicPosition, sizeof musicPosition, "order %d row %d", at.order, at.row);
    }
}

static void showProgress(int64_t framesDone, bool last) {
    double wall = wallSeconds();
    double interval = progressOnTerminal ? 0.1 : 5.0;
    if (!last && lastProgressTime >= 0 && wall - lastProgressTime < interval)
        return;
    lastProgressTime = wall;

    char music[32];
    formatTime(music, sizeof music, double(framesDone) / captureFps);
    double done = double(framesDone);
    double total = last && endFrame < 0 ? double(framesDone) : estimatedEndFrame(framesDone);
    char bar[21] = "....................";
    char left[24] = "?";
    if (total > 0) {
        double fraction = std::min(done / total, 1.0);
        memset(bar, '#', size_t(fraction * 20));
        formatTime(left, sizeof left, (total - done) * wall / done);
    }
    char of[32] = " / ?";
    if (total > 0)
        snprintf(of, sizeof of, " / %s%.0f", endFrame >= 0 ? "" : "~", total);
    fprintf(stderr, "%sframe %lld%s [%s] %s at %s | %.1f frames/s | left %s%s%s",
            progressOnTerminal ? "\r" : "", (long long)framesDone, of, bar, musicPosition, music,
            done / std::max(wall, 1e-3), left, endFrame >= 0 || total <= 0 ? "" : " (est.)",
            progressOnTerminal && !last ? "\033[K" : "\n");
}

// A line of its own for every scene that begins, so a capture can be cut by scene.
static void reportSceneChange() {
    const char *clear = progressOnTerminal ? "\r\033[K" : "";
    char music[32];
    formatTime(music, sizeof music, double(frameIndex) / captureFps);
    if (endPartActive && !endPartReported) {
        endPartReported = true;
        switchFrame = frameIndex;
        fprintf(stderr, "%sframe %lld (%s): the end part begins\n", clear, (long long)frameIndex, music);
        lastProgressTime = -1;
    } else if (!endPartActive && sceneIndex != lastSceneIndex) {
        lastSceneIndex = sceneIndex;
        ModulePosition at = decodePosition(BASS_ChannelGetPosition(musicHandle));
        fprintf(stderr, "%sframe %lld (%s): scene %d at order %d row %d\n", clear, (long long)frameIndex,
                music, sceneIndex, at.order, at.row);
        lastProgressTime = -1;
    }
    if (endPartActive && switchStreamPosition == 0)
        switchStreamPosition = BASS_StreamGetFilePosition(streamHandle, 0);
}

// ---------------------------------------------------------------------------------------
// one frame

// GL_FRONT reads black on some drivers, and the capture does not swap: the frame is taken
// from the back buffer, status line included. BGRA is the window's own layout: read back as a
// plain copy, where RGB would be converted pixel by pixel. The rows stay bottom first; the
// writer turns them around where it costs nothing. `into`: a pixel buffer bound for packing,
// or memory.
static void readBackBuffer(void *into) {
    GLint alignment;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, captureWidth, captureHeight, GL_BGRA, GL_UNSIGNED_BYTE, into);
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
}

// Reading into memory waits until the renderer has finished the frame and copied it out, and
// only then is the next frame drawn. Read into a pixel buffer, the copy is queued behind the
// frame and the next frame is drawn meanwhile; the buffer is mapped READ_RING - 1 frames later,
// when its copy is long done. Needs buffer objects with pixel packing (OpenGL 2.1).
static void setUpReadRing() {
    const char *version = (const char *)glGetString(GL_VERSION);
    int major = 0, minor = 0;
    bool version21 = version && sscanf(version, "%d.%d", &major, &minor) == 2 && major * 10 + minor >= 21;
    if (version21) {
        genBuffers = (PFNGLGENBUFFERSPROC)glutGetProcAddress("glGenBuffers");
        deleteBuffers = (PFNGLDELETEBUFFERSPROC)glutGetProcAddress("glDeleteBuffers");
        bindBuffer = (PFNGLBINDBUFFERPROC)glutGetProcAddress("glBindBuffer");
        bufferData = (PFNGLBUFFERDATAPROC)glutGetProcAddress("glBufferData");
        mapBuffer = (PFNGLMAPBUFFERPROC)glutGetProcAddress("glMapBuffer");
        unmapBuffer = (PFNGLUNMAPBUFFERPROC)glutGetProcAddress("glUnmapBuffer");
    }
    if (genBuffers && deleteBuffers && bindBuffer && bufferData && mapBuffer && unmapBuffer) {
        for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; i++) {
        }
        genBuffers(READ_RING, readBuffers);
        for (GLuint buffer : readBuffers) {
            bindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
            GLsizeiptr size = GLsizeiptr(captureWidth) * captureHeight * 4;
            bufferData(GL_PIXEL_PACK_BUFFER, size, nullptr, GL_STREAM_READ);
        }
        bindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        if (glGetError() == GL_NO_ERROR && readBuffers[READ_RING - 1] != 0)
            return;
        deleteBuffers(READ_RING, readBuffers);  // out of memory: read directly, as below
        std::fill(readBuffers, readBuffers + READ_RING, 0);
    }
    fprintf(stderr, "no pixel buffers here: frames are read back directly, the slower way\n");
    for (std::vector<uint8_t> &pixels : framePixels)
        pixels.resize(size_t(captureWidth) * captureHeight * 4);
}

// Unmaps the ring's buffer for frame `frame` (counted from the first one read).
static void releaseRingFrame(int64_t frame) {
    bindBuffer(GL_PIXEL_PACK_BUFFER, readBuffers[frame % READ_RING]);
    unmapBuffer(GL_PIXEL_PACK_BUFFER);
    bindBuffer(GL_PIXEL_PACK_BUFFER, 0);
}

// Hands the oldest frame of the ring to the writer, mapped: the writer reads it where it is.
// The frame handed before is free once the writer has taken this one, and is unmapped.
// False when the frame could not be written or mapped.
static bool handOnRingFrame() {
    bindBuffer(GL_PIXEL_PACK_BUFFER, readBuffers[framesHanded % READ_RING]);
    const uint8_t *pixels = (const uint8_t *)mapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY);
    bindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    if (!pixels) {
        fprintf(stderr, "%sframe %lld could not be read back\n", progressOnTerminal ? "\r\033[K" : "",
                (long long)(firstFrame + framesHanded));
        return false;
    }
    bool written = captureAddFrame(pixels);
    if (framesHanded > 0)
        releaseRingFrame(framesHanded - 1);
    framesHanded++;
    return written;
}

// Hands the frames still in the ring to the writer, in order: at the end, and on every stop.
static bool flushReadRing() {
    bool written = true;
    while (written && framesHanded < framesRead)
        written = handOnRingFrame();
    return written;
}

// Gives the writer the frame just finished in the back buffer, or, through the ring, the one
// finished READ_RING - 1 frames ago. False when a frame could not be written.
static bool writeFrame() {
    if (!readBuffers[0]) {
        std::vector<uint8_t> &pixels = framePixels[frameIndex % 2];
        readBackBuffer(pixels.data());
        return captureAddFrame(pixels.data());
    }
    // the slot read into now held frame framesRead - READ_RING: handing on the one after it
    // frees it
    bool written = true;
    while (written && framesHanded < framesRead - READ_RING + 2)
        written = handOnRingFrame();
    bindBuffer(GL_PIXEL_PACK_BUFFER, readBuffers[framesRead % READ_RING]);
    readBackBuffer(nullptr);
    bindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    framesRead++;
    // no swap follows in a capture: the copy must start now, not with the next frame
    glFlush();
    return written;
}

// The pictures asked for at this frame (several moments may fall on one frame).
static void writeStills() {
    if (stillsWritten >= stillFrames.size() || stillFrames[stillsWritten] != frameIndex)
        return;
    std::vector<uint8_t> &pixels = framePixels[0];
    pixels.resize(size_t(captureWidth) * captureHeight * 4);
    readBackBuffer(pixels.data());
    for (; stillsWritten < stillFrames.size() && stillFrames[stillsWritten] == frameIndex; stillsWritten++) {
        const std::string &name = stillNames[stillsWritten];
        if (captureWritePicture(name, pixels.data(), captureWidth, captureHeight)) {
            fprintf(stderr, "%swrote %s (frame %lld)\n", progressOnTerminal ? "\r\033[K" : "", name.c_str(),
                    (long long)frameIndex);
        } else {
            fprintf(stderr, "%s%s: cannot write: %s\n", progressOnTerminal ? "\r\033[K" : "", name.c_str(),
                    strerror(errno));
            stillFailed = true;
            stopRequested = 1;
        }
    }
}

// Called by the frame driver with frame `frameIndex` finished in the back buffer. Then the
// sound of the frame's span is rendered, so the next frame hears its own start.
static void frameDone() {
    // the words follow the stream: without it the end part never ends
    if (endPartActive && !streamHandle && !stopRequested) {
        fprintf(stderr, "%sthe end part's stream could not be played (see above): the capture ends here\n",
                progressOnTerminal ? "\r\033[K" : "");
        stopRequested = 1;
    }
    reportSceneChange();
    notePosition();
    writeStills();
    bool writing = frameIndex >= firstFrame && stillFrames.empty();
    if (writing) {
        if (!writeFrame())
            stopRequested = 1;  // what was written so far is still closed into a file
    }
    int64_t to = soundFrameAt(frameIndex + 1);
    int64_t count = to - audioRenderedFrames();
    if (count > 0) {
        frameSound.resize(size_t(count) * 2);
        int64_t got = audioPullTo(to, writing ? frameSound.data() : nullptr);
        if (writing)
            captureAddSound(frameSound.data(), got);
    }
    showProgress(frameIndex + 1, false);
}

// ---------------------------------------------------------------------------------------
// the run

static void captureKeyPressed(unsigned char key, int, int) {
    if (key == 27)
        stopRequested = 1;
}

static void interrupted(int sig) {
    stopSignal = sig;
    stopRequested = 1;
}

// Ctrl+C, kill and a closed terminal stop the capture after the frame it is on; the file is
// closed as on Escape, and then the process ends as the signal would have.
static void catchStopSignals() {
    struct sigaction action = {};
    action.sa_handler = interrupted;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

// The display callback: frames are drawn by our loop alone, never by an expose or a reshape.
static void noDisplay() {
}

// Every exit of the presentation (its end, Escape, a closed window) leaves through exit(),
// so the file is finished here.
static void finishCapture() {
    if (!stillFrames.empty()) {
        showProgress(frameIndex, true);
        if (stillsWritten < stillFrames.size() && !stillFailed)
            fprintf(stderr, "the presentation ended or was stopped before frame %lld: %s not written\n",
                    (long long)stillFrames[stillsWritten], stillNames[stillsWritten].c_str());
        fflush(stderr);
        if (stillsWritten < stillFrames.size() || stillFailed)
            _exit(1);
        if (stopSignal) {
            signal(stopSignal, SIG_DFL);
            raise(stopSignal);
        }
        return;
    }
    if (readBuffers[0])
        flushReadRing();  // a frame that could not be written is reported as the file is closed
    if (frameIndex > 0) {
        showProgress(frameIndex, true);
        double wall = wallSeconds();
        fprintf(stderr, "captured %lld frames (from frame %lld) in %.1f s: %.2f frames per second\n",
                (long long)captureFramesWritten(), (long long)firstFrame, wall,
                frameIndex / std::max(wall, 1e-3));
    }
    // the presentation ends with status 0 whatever happened; a capture that left no complete
    // file says so in its status (_exit, as exit may not be called again from here)
    bool closed = captureClose();
    if (readBuffers[0] && framesHanded > 0)
        releaseRingFrame(framesHanded - 1);
    fflush(stdout);
    fflush(stderr);
    if (!closed)
        _exit(1);
    if (stopSignal) {
        signal(stopSignal, SIG_DFL);
        raise(stopSignal);
    }
}

static void usage() {
    fprintf(stderr, "usage: vortazov-capture OUTPUT.mp4|OUTPUT.mkv [--fps N] [--size WxH|720p|1080p|1440p|2160p] "
                    "[--supersample 1-4] [--from SECONDS] [--to SECONDS] [--force]\n"
                    "       vortazov-capture OUTPUT.png --at SECONDS[,SECONDS...] [--fps N] [--size ...] "
                    "[--supersample 1-4]\n");
}

// A decimal number and nothing else: no spaces around it, no hexadecimal.
static bool parseNumber(const char *text, double *value) {
    char *end;
    if (!isdigit((unsigned char)text[0]) && text[0] != '.' && text[0] != '-' && text[0] != '+')
        return false;
    if (strpbrk(text, "xX"))
        return false;
    *value = strtod(text, &end);
    return end != text && *end == 0 && std::isfinite(*value);
}

// The 16:9 sizes by the names video sites give them.
static const struct {
    const char *name;
    int width, height;
} namedSizes[] = {{"720p", 1280, 720}, {"1080p", 1920, 1080}, {"1440p", 2560, 1440}, {"2160p", 3840, 2160}};

// "WxH" in whole pixels, nothing before or after, or one of the named sizes.
static bool parseSize(const char *text, int *width, int *height) {
    for (const auto &named : namedSizes) {
        if (strcmp(text, named.name) == 0) {
            *width = named.width;
            *height = named.height;
            return true;
        }
    }
    char *end;
    if (!isdigit((unsigned char)text[0]))
        return false;
    long w = strtol(text, &end, 10);
    if (*end != 'x' || !isdigit((unsigned char)end[1]))
        return false;
    long h = strtol(end + 1, &end, 10);
    if (*end != 0 || w < 1 || h < 1 || w > 8192 || h > 8192)
        return false;
    *width = int(w);
    *height = int(h);
    return true;
}

// --at's moments, "SECONDS[,SECONDS...]": each one becomes the frame shown at that moment and
// its file, OUTPUT itself for a single moment, else OUTPUT-SECONDS.png with the moment as given.
static bool parseStills(const char *list) {
    std::string stem = outputName.substr(0, outputName.size() - 4);  // without ".png"
    std::vector<std::string> moments;
    for (const char *at = list;; at++) {
        const char *comma = strchr(at, ',');
        moments.push_back(comma ? std::string(at, comma) : std::string(at));
        if (!comma)
            break;
        at = comma;
    }
    std::vector<std::pair<int64_t, std::string>> stills;
    for (const std::string &moment : moments) {
        double seconds;
        if (!parseNumber(moment.c_str(), &seconds) || seconds < 0)
            return false;
        stills.push_back({llround(seconds * captureFps), moments.size() == 1 ? outputName : stem + "-" + moment + ".png"});
    }
    std::stable_sort(stills.begin(), stills.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &still : stills) {
        stillFrames.push_back(still.first);
        stillNames.push_back(still.second);
    }
    return true;
}

static bool parseOptions(int argc, char **argv) {
    double from = 0, to = -1;
    const char *at = nullptr;  // --at's list, read once the output's name and rate are known
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        double v;
        if (a == "--fps" && value && parseNumber(value, &v) && v >= 1 && v <= 1000 && v == int(v)) {
            captureFps = int(v);
            i++;
        } else if (a == "--size" && value && parseSize(value, &captureWidth, &captureHeight)) {
            i++;
        } else if (a == "--supersample" && value && parseNumber(value, &v) && v >= 1 && v <= 4 && v == int(v)) {
            supersample = int(v);
            i++;
        } else if (a == "--from" && value && parseNumber(value, &v) && v >= 0) {
            from = v;
            i++;
        } else if (a == "--to" && value && parseNumber(value, &v) && v > 0) {
            to = v;
            i++;
        } else if (a == "--at" && value && !at) {
            at = value;
            i++;
        } else if (a == "--force") {
            forced = true;
        } else if (a.size() > 0 && a[0] != '-' && outputName.empty()) {
            outputName = a;
        } else {
            fprintf(stderr, "vortazov-capture: bad argument \"%s\"%s\n", argv[i],
                    value && a.rfind("--", 0) == 0 ? " (or its value)" : "");
            return false;
        }
    }
    if (outputName.empty())
        return false;
    bool png = outputName.size() > 4 && outputName.compare(outputName.size() - 4, 4, ".png") == 0;
    if (at || png) {
        if (!at || !png || from > 0 || to >= 0) {
            fprintf(stderr, "vortazov-capture: pictures are asked for as OUTPUT.png --at SECONDS, without --from or --to\n");
            return false;
        }
        if (!parseStills(at)) {
            fprintf(stderr, "vortazov-capture: bad moment in --at \"%s\"\n", at);
            return false;
        }
        // nothing is written but the pictures, and the run ends after the last of them
        to = double(stillFrames.back() + 1) / captureFps;
    }
    // Smooth edges where they show most: below 1080p a pixel is large on a video site's
    // player, and at 640x480 supersampling by 2 kept 0.66 to 0.87 of the capture's speed; from
    // 1080p on the pixels are small, and there it kept only 0.37 to 0.46.
    if (supersample == 0)
        supersample = int64_t(captureWidth) * captureHeight < 1920 * 1080 ? 2 : 1;
    firstFrame = llround(from * captureFps);
    if (to >= 0) {
        endFrame = llround(to * captureFps);
        if (endFrame <= firstFrame) {
            fprintf(stderr, "vortazov-capture: --to must come after --from\n");
            return false;
        }
    }
    return true;
}

// Seconds the presentation lasts: the module once through (a little past the timeline's end),
// then the stream up to its last word at 128 kbit/s, or to its end. Negative when the module
// cannot be read; the start-up then says why.
static double presentationSeconds() {
    double module = audioModuleFileSeconds(dataPath("data/compruss.xm").c_str());
    if (module < 0)
        return -1;
    struct stat info;
    double streamBytes = stat(dataPath("data/farewell.mp3").c_str(), &info) == 0 ? double(info.st_size) : 0;
    return module + std::min(streamBytes, double(lastWordPosition())) / STREAM_BYTES_PER_SECOND;
}

// A capture finds a full disk only when a write fails, minutes in, so the space it will need
// is weighed against what the disk has before anything is rendered. False (after saying so)
// when it would not fit.
static bool diskHoldsCapture() {
    double total = presentationSeconds();
    if (total < 0)
        return true;
    double to = endFrame >= 0 ? std::min(double(endFrame) / captureFps, total) : total;
    double seconds = to - double(firstFrame) / captureFps;
    int64_t free = captureFreeSpace(outputName);
    if (seconds <= 0 || free < 0)
        return true;
    int64_t needed = captureSpaceNeeded(outputName, captureWidth, captureHeight, captureFps, seconds, total);
    if (needed <= free)
        return true;
    fprintf(stderr, "vortazov-capture: %s would need about %lld MB of disk (%.0f s at %dx%d, %d frames a "
                    "second: the video and the sound as parts, then the finished file beside them), and "
                    "its folder has %lld MB free. Free some space or write elsewhere; --force renders anyway.\n",
            outputName.c_str(), (long long)(needed / 1000000), seconds, captureWidth, captureHeight, captureFps,
            (long long)(free / 1000000));
    return false;
}

// Asks for the capture size and lets GLUT deliver events until the reshape callback has
// seen it; the frame driver sizes its picture there. The first reshape comes this way too.
static bool waitForSize() {
    glutReshapeWindow(captureWidth, captureHeight);
    auto start = std::chrono::steady_clock::now();
    while (windowWidth != captureWidth || windowHeight != captureHeight) {
        glutMainLoopEvent();
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(10)) {
            fprintf(stderr, "the window could not be made %dx%d (it is %dx%d)\n", captureWidth,
                    captureHeight, windowWidth, windowHeight);
            return false;
        }
        usleep(1000);
    }
    return true;
}

// The driver takes the window's new size for its back buffer at a swap: without one after the
// resize, every frame would be drawn into a buffer of the window's first size. So one swap
// here, then a check that the back buffer reaches the window's far corner; where it does not,
// every frame is swapped as live.
static bool backBufferHasWindowSize() {
    glutSwapBuffers();
    GLfloat clearColour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    uint8_t corner[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(captureWidth - 1, captureHeight - 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, corner);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    glClear(GL_COLOR_BUFFER_BIT);
    return corner[0] == 255 && corner[1] == 0 && corner[2] == 255;
}

int main(int argc, char **argv) {
    if (!parseOptions(argc, argv)) {
        usage();
        return 2;
    }
    catchStopSignals();
    // pictures take no more room than they are, and nothing is written but them
    if (stillFrames.empty() && !forced && !diskHoldsCapture())
        return 1;
    if (stillFrames.empty() && !captureOpen(outputName, captureWidth, captureHeight, captureFps))
        return 1;
    // from here on every way out (GLUT failing to open a display included) closes the files
    atexit(finishCapture);
    wallStart = std::chrono::steady_clock::now();
    progressOnTerminal = isatty(2);
    // GLUT's own options (such as -display) are not ours to pass on
    int glutArgc = 1;
    char *glutArgv[] = {argv[0], nullptr};
    audioSelectBackend(AUDIO_PULL);
    startDemo(&glutArgc, glutArgv);
    // the scenes follow the music: without it every frame would be the same message
    if (!musicHandle) {
        fprintf(stderr, "vortazov-capture: the music could not be loaded (see above): nothing to capture\n");
        shutdownDemo();
        exit(1);
    }
    // a video does not depend on the desktop it was made on: its status line is the size an
    // unscaled window shows at the output's size
    textScale = 1;

    // Escape only: SPACE records nothing here, and the lighting keys would make two captures
    // of the same span differ
    glutKeyboardFunc(captureKeyPressed);
    glutSpecialFunc(nullptr);
    glutDisplayFunc(noDisplay);
    glutIdleFunc(nullptr);
    // time is ours here: a swap must not wait for the display
    setPacing(false);
    readClock = captureClock;
    frameFinished = frameDone;
    // the scenes draw into a picture this many times the output's size, box-filtered down to
    // it; the status line is drawn after, at the output's size, as in the live window
    pictureSetScale(float(supersample));
    if (!waitForSize()) {
        shutdownDemo();
        exit(1);
    }
    // the frames are read back from the back buffer, never shown: a swap would send each one
    // to the display for nothing (33 MB at 3840x2160)
    if (backBufferHasWindowSize())
        presentFrame = nullptr;
    if (stillFrames.empty())
        setUpReadRing();

    wallStart = std::chrono::steady_clock::now();
    for (frameIndex = 0; endFrame < 0 || frameIndex < endFrame; frameIndex++) {
        // the presentation's own end leaves from inside the frame, through exit()
        displayFrame();
        glutMainLoopEvent();
        if (stopRequested) {
            fprintf(stderr, "%sstopped at frame %lld\n", progressOnTerminal ? "\r\033[K" : "",
                    (long long)frameIndex);
            frameIndex++;
            break;
        }
    }
    shutdownDemo();
    exit(endStatus());  // 1 when a data file could not be loaded: the video lacks it
}
