// capture_output.cpp -- writes captured frames and sound through ffmpeg, or as PNG files and a WAV
//
// With ffmpeg the frames go down a pipe, as OpenGL reads them, to an ffmpeg that encodes the video
// alone, while the sound goes to a WAV file beside it; when the capture ends a second ffmpeg
// muxes the two into a file beside the output, which is renamed to the output only once it
// is complete. Two steps instead of one ffmpeg reading two pipes: ffmpeg may wait on one
// input while we wait to write the other, and the sound is small. The parts are written in
// forms that stay playable when cut off (MPEG-TS or Matroska, a WAV whose header says "to the
// end of the file"), so a full disk or a killed ffmpeg leaves something that plays.
#include "capture.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

static std::string outputPath;     // what the user asked for
static std::string videoPath;      // ffmpeg: the video before muxing, beside the output
static std::string partPath;       // ffmpeg: the muxed file until it is complete, beside the output
static std::string wavPath;        // the sound, beside the output or in the PNG folder
static std::string pngFolder;      // PNG fallback: where the frames go; empty with ffmpeg
static std::string ffmpegPath;     // the ffmpeg that runs, empty for the PNG fallback
static bool losslessOutput;        // .mkv: FFV1 and FLAC; .mp4: H.264 and AAC
static int frameWidth, frameHeight;  // pixels
static int framesPerSecond;
static pid_t encoderPid = -1;      // the ffmpeg encoding the video, -1 when none runs
static int encoderInput = -1;      // write end of the pipe to its standard input
static FILE *wavFile;
static bool soundBroken;           // a write to the WAV failed (a full disk): the capture should stop
static int64_t wavFrames;          // stereo frames in the WAV so far
static int64_t framesWritten;
static bool captureOpened;
// The writer thread hands frames to ffmpeg (or the PNG files) while the next one is drawn.
static std::thread writer;
static std::mutex writerLock;
static std::condition_variable writerSignal;  // a frame came, the frame is done, or the end
static const uint8_t *writerFrame;  // the frame being written, null when the writer is idle
static bool writerFailed;           // a frame could not be written: no more are taken
static bool writerEnd;              // no more frames will come

// ---------------------------------------------------------------------------------------
// small writers

static void put16(std::vector<uint8_t> &b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

static void put32(std::vector<uint8_t> &b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

static void put32be(std::vector<uint8_t> &b, uint32_t v) {
    b.push_back(uint8_t(v >> 24));
    b.push_back(uint8_t(v >> 16));
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}

// A 44100 Hz 16-bit stereo WAV header for `frames` frames; sizes past 4 GiB are clamped,
// which readers treat as "to the end of the file".
static std::vector<uint8_t> wavHeader(int64_t frames) {
    int64_t data = frames * 4;
    uint32_t dataSize = data > 0xFFFFFFF0LL - 36 ? 0xFFFFFFF0u - 36 : uint32_t(data);
    std::vector<uint8_t> h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    put32(h, 36 + dataSize);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(h, 16);
    put16(h, 1);  // PCM
    put16(h, 2);
    put32(h, 44100);
    put32(h, 44100 * 4);
    put16(h, 4);
    put16(h, 16);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    put32(h, dataSize);
    return h;
}

static uint32_t crcTable[256];

static uint32_t crc32(const uint8_t *p, size_t n, uint32_t crc = 0) {
    if (!crcTable[1]) {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int k = 0; k < 8; k++)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            crcTable[i] = c;
        }
    }
    crc = ~crc;
    for (size_t i = 0; i < n; i++)
        crc = crcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

static void pngChunk(std::vector<uint8_t> &png, const char *type, const std::vector<uint8_t> &data) {
    put32be(png, uint32_t(data.size()));
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32be(png, crc32(png.data() + start, png.size() - start));
}

// Stored (uncompressed) deflate blocks keep the writer free of a compression library; the
// fallback is for machines without ffmpeg, where size matters less than working at all.
bool captureWritePicture(const std::string &path, const uint8_t *bgrx, int width, int height) {
    std::vector<uint8_t> raw;  // each row: filter type 0, then the pixels as RGB, top row first
    raw.reserve((size_t(width) * 3 + 1) * height);
    for (int y = height - 1; y >= 0; y--) {
        raw.push_back(0);
        for (const uint8_t *p = bgrx + size_t(y) * width * 4, *end = p + size_t(width) * 4; p < end; p += 4)
            raw.insert(raw.end(), {p[2], p[1], p[0]});
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;  // Adler-32 of the uncompressed data
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at < raw.size() || at == 0;) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        bool last = at + n == raw.size();
        z.push_back(last ? 1 : 0);
        put16(z, uint32_t(n));
        put16(z, uint32_t(~n & 0xFFFF));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        at += n;
        if (last)
            break;
    }
    put32be(z, b << 16 | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    put32be(ihdr, uint32_t(width));
    put32be(ihdr, uint32_t(height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter choice, no interlace
    pngChunk(png, "IHDR", ihdr);
    pngChunk(png, "IDAT", z);
    pngChunk(png, "IEND", {});

    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
    return fclose(f) == 0 && ok;
}

// ---------------------------------------------------------------------------------------
// ffmpeg

// The first executable "ffmpeg" on the PATH, empty when there is none.
static std::string findFfmpeg() {
    const char *path = getenv("PATH");
    std::string dirs = path ? path : "";
    size_t at = 0;
    while (at <= dirs.size()) {
        size_t end = dirs.find(':', at);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = end > at ? dirs.substr(at, end - at) : ".";
        std::string candidate = dir + "/ffmpeg";
        struct stat s;
        if (stat(candidate.c_str(), &s) == 0 && S_ISREG(s.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        at = end + 1;
    }
    return "";
}

// Starts a program; with `input` set, its standard input is a pipe whose write end comes back
// there. Standard output and error stay ours, so ffmpeg's own error messages reach the user.
static pid_t startProgram(const std::vector<std::string> &args, int *input) {
    int fds[2] = {-1, -1};
    // close-on-exec, so that a later child cannot hold the encoder's pipe open
    if (input && pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        // A process group of its own: Ctrl+C and a hang-up reach the whole foreground group
        // of a terminal, and ffmpeg must outlive them long enough for us to close the file.
        setpgid(0, 0);
        if (input) {
            dup2(fds[0], 0);
            close(fds[0]);
            close(fds[1]);
        }
        std::vector<char *> argv;
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid > 0)
        setpgid(pid, pid);  // also here, so no signal can come before the child has done it
    if (input) {
        close(fds[0]);
        if (pid < 0)
            close(fds[1]);
        else
            *input = fds[1];
    }
    return pid;
}

// Waits for a program; true when it exited with status 0.
static bool finishProgram(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

static bool writeAll(int fd, const uint8_t *p, size_t n) {
    while (n > 0) {
        ssize_t done = write(fd, p, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        p += done;
        n -= size_t(done);
    }
    return true;
}

static std::vector<std::string> ffmpegCommand() {
    // -nostdin: outside the terminal's foreground group, reading keys from it would stop ffmpeg.
    // -xerror: without it, a failure to write the file's end (a full disk) still exits with 0.
    return {ffmpegPath, "-hide_banner", "-nostdin", "-loglevel", "error", "-xerror", "-y"};
}

static bool startEncoder() {
    std::vector<std::string> args = ffmpegCommand();
    std::string size = std::to_string(frameWidth) + "x" + std::to_string(frameHeight);
    // the frames as OpenGL reads them, bottom row first: vflip turns them around by pointing
    // at the last row with a negative stride, without copying a pixel
    args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "bgr0", "-video_size", size,
                             "-framerate", std::to_string(framesPerSecond), "-i", "-"});
    if (losslessOutput)
        // tagged as what it is: the window's RGB, sRGB as any monitor shows it
        args.insert(args.end(), {"-vf", "vflip", "-c:v", "ffv1", "-level", "3", "-g", "1", "-slicecrc", "1",
                                 "-colorspace", "rgb", "-color_primaries", "bt709",
                                 "-color_trc", "iec61966-2-1", "-color_range", "pc",
                                 "-flags:v", "+bitexact", "-f", "matroska"});
    else
        // Players take HD video without tags as BT.709, many SD too: the matrix is chosen
        // in the conversion itself (swscale's default is BT.601) and every colour field is
        // tagged, at every size. veryfast encodes in about half the time of medium, and at
        // this quality the pictures differ by about 1 dB of PSNR (48 against 49 dB from the
        // frames read back). What video sites ask for: High profile, a closed GOP of half a
        // second, 2 B-frames. MPEG-TS, not MP4, until the mux: it plays when cut off.
        args.insert(args.end(), {"-vf", "vflip,scale=out_color_matrix=bt709:out_range=tv,format=yuv420p",
                                 "-c:v", "libx264", "-preset", "veryfast", "-crf", "16",
                                 "-profile:v", "high", "-g", std::to_string(std::max(1, framesPerSecond / 2)),
                                 "-bf", "2", "-flags:v", "+bitexact+cgop",
                                 "-colorspace", "bt709", "-color_primaries", "bt709",
                                 "-color_trc", "bt709", "-color_range", "tv", "-f", "mpegts"});
    args.insert(args.end(), {"-fflags", "+bitexact", videoPath});
    encoderPid = startProgram(args, &encoderInput);
    // A pipe holds 64 KiB, a frame is megabytes: a larger pipe means fewer turns between the
    // writer and ffmpeg. Only a wish; the system may refuse it.
    if (encoderPid > 0)
        fcntl(encoderInput, F_SETPIPE_SZ, 1 << 20);
    return encoderPid > 0;
}

// Muxes the video part and the WAV into partPath.
static bool muxVideoAndSound() {
    std::vector<std::string> args = ffmpegCommand();
    args.insert(args.end(), {"-i", videoPath, "-i", wavPath, "-map", "0:v:0", "-map", "1:a:0",
                             "-c:v", "copy"});
    if (losslessOutput)
        args.insert(args.end(), {"-c:a", "flac", "-f", "matroska"});
    else
        // AAC-LC at 48 kHz and 384 kbit/s as video sites ask; soxr's resampler at 28 bits
        // keeps its error below what AAC adds
        args.insert(args.end(), {"-af", "aresample=resampler=soxr:precision=28", "-ar", "48000",
                                 "-ac", "2", "-c:a", "aac", "-profile:a", "aac_low", "-b:a", "384k",
                                 "-movflags", "+faststart", "-f", "mp4"});
    // bitexact: no encoder version strings or random stream identifiers, so two captures of
    // the same span give the same bytes, not only the same pictures
    args.insert(args.end(), {"-flags:a", "+bitexact", "-fflags", "+bitexact", partPath});
    pid_t pid = startProgram(args, nullptr);
    if (pid <= 0 || !finishProgram(pid))
        return false;
    // on the disk before it takes the output's name, so a crash cannot leave it half there
    int fd = open(partPath.c_str(), O_RDONLY);
    bool synced = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0)
        close(fd);
    return synced;
}

// True when ffmpeg decodes the first frame of a file's video (or the start of its sound).
static bool plays(const std::string &file, const char *stream) {
    std::vector<std::string> args = ffmpegCommand();
    args.insert(args.end(), {"-i", file, "-map", stream, "-frames:v", "1", "-t", "0.1", "-f", "null", "-"});
    pid_t pid = startProgram(args, nullptr);
    return pid > 0 && finishProgram(pid);
}

// Describes a part kept after a failure, or removes it when nothing in it plays.
static std::string keptPart(const std::string &file, const char *stream, const char *what) {
    struct stat s;
    if (stat(file.c_str(), &s) != 0)
        return "";
    if (s.st_size == 0 || !plays(file, stream)) {
        remove(file.c_str());
        return "";
    }
    return file + " (" + what + ", plays up to where it stops)";
}

// ---------------------------------------------------------------------------------------
// the writer thread

static bool writeFrame(const uint8_t *bgrx) {
    if (!pngFolder.empty()) {
        char name[32];
        snprintf(name, sizeof name, "/frame%06lld.png", (long long)framesWritten);
        if (!captureWritePicture(pngFolder + name, bgrx, frameWidth, frameHeight)) {
            fprintf(stderr, "\n%s%s: cannot write\n", pngFolder.c_str(), name);
            return false;
        }
    } else if (!writeAll(encoderInput, bgrx, size_t(frameWidth) * frameHeight * 4)) {
        fprintf(stderr, "\nffmpeg stopped taking frames after frame %lld\n", (long long)framesWritten);
        return false;
    }
    return true;
}

static void writeFrames() {
    std::unique_lock<std::mutex> lock(writerLock);
    for (;;) {
        writerSignal.wait(lock, [] { return writerFrame || writerEnd; });
        if (!writerFrame)
            return;
        lock.unlock();
        bool ok = writeFrame(writerFrame);
        lock.lock();
        if (ok)
            framesWritten++;
        writerFailed = !ok;
        writerFrame = nullptr;
        writerSignal.notify_all();
    }
}

// Waits until the writer has finished the frame it has; false when that frame failed.
static bool waitForWriter(std::unique_lock<std::mutex> &lock) {
    writerSignal.wait(lock, [] { return !writerFrame; });
    return !writerFailed;
}

static void stopWriter() {
    if (!writer.joinable())
        return;
    {
        std::unique_lock<std::mutex> lock(writerLock);
        waitForWriter(lock);
        writerEnd = true;
        writerSignal.notify_all();
    }
    writer.join();
}

// ---------------------------------------------------------------------------------------
// the capture

static std::string lowerExtension(const std::string &path) {
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string e = path.substr(dot);
    for (char &c : e)
        c = char(tolower((unsigned char)c));
    return e;
}

// The video's bytes a frame, measured over whole captures of the presentation at 60 frames a
// second (docs/capture-space.md): so many at 640x480, growing with the pixels to a power; H.264
// also takes more a frame the fewer frames a second there are, FFV1 codes every frame alone.
// The parts hold the video as MPEG-TS or Matroska, a little more than the finished file does,
// and their figures are taken for both.
struct VideoRate {
    double bytesPerFrameAtVga;  // 640x480, 60 frames a second
    double pixelExponent;       // bytes a frame grow as (pixels / 640x480) to this power
    double fpsExponent;         // ... and as (60 / frames a second) to this one
};
static const VideoRate H264_RATE = {2302, 0.62, 0.6};
static const VideoRate FFV1_RATE = {41127, 0.60, 0.0};
// The scenes differ in what they take: the densest stretch of a share of the presentation's
// length against the whole's average, the most of the four whole captures measured (between
// two shares, the line between them).
static const struct {
    double share, factor;
} DENSEST_STRETCH[] = {{0.04, 3.7}, {0.13, 3.4}, {0.26, 1.9}, {0.52, 1.7}, {1.0, 1.0}};
// On top, for what the rates above do not hold exactly (other sizes, other rates).
static const double VIDEO_MARGIN = 1.15;
static const double AAC_BYTES_PER_SECOND = 384000 / 8;

static double densestStretch(double share) {
    if (share <= DENSEST_STRETCH[0].share)
        return DENSEST_STRETCH[0].factor;
    for (size_t i = 1; i < sizeof DENSEST_STRETCH / sizeof DENSEST_STRETCH[0]; i++) {
        const auto &a = DENSEST_STRETCH[i - 1], &b = DENSEST_STRETCH[i];
        if (share <= b.share)
            return a.factor + (b.factor - a.factor) * (share - a.share) / (b.share - a.share);
    }
    return 1.0;
}

int64_t captureSpaceNeeded(const std::string &output, int width, int height, int fps, double seconds,
                           double wholeSeconds) {
    double frames = seconds * fps;
    double wav = 44 + seconds * 44100 * 4;
    if (findFfmpeg().empty())  // PNGs of stored deflate blocks: the RGB rows, a few bytes more
        return int64_t(frames * (double(width) * height * 3 + height * 6 + 100) + wav);
    bool lossless = lowerExtension(output) == ".mkv";
    const VideoRate &rate = lossless ? FFV1_RATE : H264_RATE;
    double perFrame = rate.bytesPerFrameAtVga * std::pow(double(width) * height / (640 * 480), rate.pixelExponent) *
                      std::pow(60.0 / fps, rate.fpsExponent);
    double video = frames * perFrame * densestStretch(seconds / wholeSeconds) * VIDEO_MARGIN;
    // FLAC takes less than the WAV it is made from
    double sound = lossless ? wav : seconds * AAC_BYTES_PER_SECOND;
    // at the end the video part, the WAV and the muxed file lie side by side
    return int64_t(video + wav + video + sound);
}

int64_t captureFreeSpace(const std::string &output) {
    size_t slash = output.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : output.substr(0, slash);
    struct statvfs info;
    if (statvfs(folder.c_str(), &info) != 0)
        return -1;
    return int64_t(info.f_bavail) * int64_t(info.f_frsize);
}

bool captureOpen(const std::string &output, int width, int height, int fps) {
    std::string extension = lowerExtension(output);
    if (extension != ".mp4" && extension != ".mkv") {
        fprintf(stderr, "%s: the output must end in .mp4 (H.264 and AAC) or .mkv (FFV1 and FLAC)\n",
                output.c_str());
        return false;
    }
    losslessOutput = extension == ".mkv";
    if (!losslessOutput && (width % 2 || height % 2)) {
        fprintf(stderr, "%s: H.264 needs an even width and height, not %dx%d\n", output.c_str(),
                width, height);
        return false;
    }
    outputPath = output;
    frameWidth = width;
    frameHeight = height;
    framesPerSecond = fps;
    // a dead ffmpeg and a file-size limit must show up as failed writes, not end us (ffmpeg
    // inherits the second and so fails on its own write too)
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);

    ffmpegPath = findFfmpeg();
    if (ffmpegPath.empty()) {
        pngFolder = output.substr(0, output.size() - extension.size());
        if (mkdir(pngFolder.c_str(), 0777) != 0 && errno != EEXIST) {
            fprintf(stderr, "%s: cannot create the folder: %s\n", pngFolder.c_str(), strerror(errno));
            return false;
        }
        wavPath = pngFolder + "/audio.wav";
        fprintf(stderr, "ffmpeg not found: writing numbered PNG frames and audio.wav into %s/ instead\n",
                pngFolder.c_str());
    } else {
        videoPath = output + (losslessOutput ? ".video.mkv" : ".video.ts");
        wavPath = output + ".wav";
        partPath = output + ".part";
    }
    wavFile = fopen(wavPath.c_str(), "wb");
    if (!wavFile) {
        fprintf(stderr, "%s: cannot write: %s\n", output.c_str(), strerror(errno));
        return false;
    }
    // sized "to the end of the file" until the close writes the real size: a WAV cut off
    // by a full disk or a kill still plays
    std::vector<uint8_t> header = wavHeader(INT64_MAX / 8);
    soundBroken = fwrite(header.data(), 1, header.size(), wavFile) != header.size();
    if (!ffmpegPath.empty() && !startEncoder()) {
        fprintf(stderr, "%s: cannot start\n", ffmpegPath.c_str());
        fclose(wavFile);
        remove(wavPath.c_str());
        return false;
    }
    writer = std::thread(writeFrames);
    captureOpened = true;
    return true;
}

bool captureAddFrame(const uint8_t *bgrx) {
    if (!captureOpened || soundBroken)
        return false;
    std::unique_lock<std::mutex> lock(writerLock);
    if (!waitForWriter(lock))
        return false;
    writerFrame = bgrx;
    writerSignal.notify_all();
    return true;
}

void captureAddSound(const int16_t *samples, int64_t frames) {
    if (!captureOpened || frames <= 0)
        return;
    std::vector<uint8_t> b;
    b.reserve(size_t(frames) * 4);
    for (int64_t i = 0; i < frames * 2; i++)
        put16(b, uint16_t(samples[i]));
    if (!soundBroken && fwrite(b.data(), 1, b.size(), wavFile) != b.size()) {
        fprintf(stderr, "\n%s: cannot write: %s\n", wavPath.c_str(), strerror(errno));
        soundBroken = true;
    }
    wavFrames += frames;
}

int64_t captureFramesWritten() {
    std::unique_lock<std::mutex> lock(writerLock);
    waitForWriter(lock);
    return framesWritten;
}

bool captureClose() {
    if (!captureOpened)
        return false;
    captureOpened = false;
    stopWriter();
    std::vector<uint8_t> header = wavHeader(wavFrames);
    bool soundOk = fseek(wavFile, 0, SEEK_SET) == 0 &&
                   fwrite(header.data(), 1, header.size(), wavFile) == header.size();
    soundOk = fclose(wavFile) == 0 && soundOk;
    wavFile = nullptr;

    if (!pngFolder.empty()) {
        fprintf(stderr, "wrote %lld PNG frames and %s (%.3f s of sound) into %s/\n",
                (long long)framesWritten, "audio.wav", wavFrames / 44100.0, pngFolder.c_str());
        return soundOk && framesWritten > 0;
    }

    close(encoderInput);
    encoderInput = -1;
    bool videoOk = finishProgram(encoderPid) && !writerFailed;
    encoderPid = -1;
    if (framesWritten == 0) {
        fprintf(stderr, "nothing captured: %s not written\n", outputPath.c_str());
        remove(videoPath.c_str());
        remove(wavPath.c_str());
        return false;
    }
    soundOk = soundOk && !soundBroken;
    if (!videoOk || !soundOk || !muxVideoAndSound() || rename(partPath.c_str(), outputPath.c_str()) != 0) {
        remove(partPath.c_str());
        std::string video = keptPart(videoPath, "0:v:0", "the video without sound");
        std::string sound = keptPart(wavPath, "0:a:0", "the sound");
        std::string kept = video.empty() || sound.empty() ? video + sound : video + " and " + sound;
        struct stat s;
        fprintf(stderr, "%s could not be completed and was not written%s; %s%s\n", outputPath.c_str(),
                stat(outputPath.c_str(), &s) == 0 ? " (the file of that name from before is left as it was)" : "",
                kept.empty() ? "nothing that plays was left to keep" : "kept: ", kept.c_str());
        return false;
    }
    remove(videoPath.c_str());
    remove(wavPath.c_str());
    fprintf(stderr, "wrote %s: %lld frames at %d per second, %dx%d, %.3f s of sound\n",
            outputPath.c_str(), (long long)framesWritten, framesPerSecond, frameWidth, frameHeight,
            wavFrames / 44100.0);
    return true;
}
