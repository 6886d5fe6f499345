// channels.cpp -- the module and the MP3 stream: rendered into the output, each change of position stamped at its output frame
#include "engine.h"

#include <mpg123.h>
#include <soxr.h>

#include <algorithm>
#include <cstring>
#include <sstream>

namespace engine {

static uint32_t positionWord(int order, int row) {
    return (uint32_t(row) & 0xFFFF) << 16 | (uint32_t(order) & 0xFFFF);
}

static void mixInto(int16_t *dst, const int16_t *src, int samples) {
    for (int i = 0; i < samples; i++) {
        int v = dst[i] + src[i];
        dst[i] = int16_t(std::clamp(v, -32768, 32767));
    }
}

// A fresh player for the module's bytes, null when libopenmpt refuses them.
std::unique_ptr<openmpt::module> createModule(const std::vector<uint8_t> &bytes, bool loop) {
    try {
        std::ostringstream log;  // libopenmpt's warnings; the caller reports failure once
        auto m = std::make_unique<openmpt::module>(bytes, log);
        // Played once, a looping song is read on after libopenmpt's empty read at its end,
        // which is how the engine learns that a pass has ended (a repeat count of -1 would
        // loop without a word). A song that does not loop fades out and stops.
        m->set_repeat_count(0);
        if (loop)
            m->ctl_set_text("play.at_end", "continue");
        // libopenmpt dithers 16-bit output from a random seed; without it every run
        // renders the same samples, which a capture that runs in lockstep relies on.
        m->ctl_set_integer("dither", 0);
        return m;
    } catch (...) {
        return nullptr;
    }
}

// mpg123 reads the stream from memory through a cursor of each decoder's own; the bytes
// live as long as the last decoder or the stream needs them.
struct Mp3Cursor {
    FileBytes bytes;
    int64_t at = 0;
};

// mpg123 decodes at AUDIO_RATE. At another output rate soxr resamples the decoded frames;
// its output is aligned in time with its input (output frame k is input time k / rate), so
// an MPEG frame that begins at decoded frame i begins at resampled frame ceil(i * rate /
// AUDIO_RATE).
struct Mp3Decoder {
    mpg123_handle *mpg = nullptr;
    Mp3Cursor cursor;
    int rate = AUDIO_RATE;         // output frames a second
    soxr_t resampler = nullptr;    // null at AUDIO_RATE
    bool flushed = false;          // the resampler has given out what it held at the end
    std::vector<int16_t> resampled;  // its output not yet rendered
    int64_t decodedFrames = 0;     // frames mpg123 gave so far
    int64_t origin = -1;           // output frame of the stream's first frame, once rendered
};

static mpg123_ssize_t readMp3(void *handle, void *out, size_t count) {
    Mp3Cursor *c = static_cast<Mp3Cursor *>(handle);
    size_t n = std::min<size_t>(count, c->bytes->size() - size_t(c->at));
    memcpy(out, c->bytes->data() + c->at, n);
    c->at += int64_t(n);
    return mpg123_ssize_t(n);
}

static off_t seekMp3(void *handle, off_t offset, int whence) {
    Mp3Cursor *c = static_cast<Mp3Cursor *>(handle);
    int64_t size = int64_t(c->bytes->size());
    int64_t to;
    if (whence == SEEK_SET)
        to = offset;
    else if (whence == SEEK_CUR)
        to = c->at + offset;
    else if (whence == SEEK_END)
        to = size + offset;
    else
        return -1;
    if (to < 0 || to > size)
        return -1;
    c->at = to;
    return off_t(to);
}

void closeDecoder(Mp3Decoder *d) {
    if (!d)
        return;
    if (d->mpg) {
        mpg123_close(d->mpg);
        mpg123_delete(d->mpg);
    }
    if (d->resampler)
        soxr_delete(d->resampler);
    delete d;
}

// An mpg123 decoder on the bytes, giving stereo 16-bit frames at `rate`, positioned at their start.
Mp3Decoder *openDecoder(const FileBytes &bytes, int rate) {
    Mp3Decoder *d = new Mp3Decoder;
    d->cursor.bytes = bytes;
    d->rate = rate;
    if (rate != AUDIO_RATE) {
        // no dither: the same file always gives the same samples
        soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        io.flags |= SOXR_NO_DITHER;
        soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t error = nullptr;
        d->resampler = soxr_create(AUDIO_RATE, rate, 2, &error, &io, &quality, nullptr);
        if (error) {
            closeDecoder(d);
            return nullptr;
        }
    }
    int error = 0;
    d->mpg = mpg123_new(nullptr, &error);
    if (!d->mpg) {
        closeDecoder(d);
        return nullptr;
    }
    mpg123_param(d->mpg, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(d->mpg);
    mpg123_format(d->mpg, AUDIO_RATE, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_replace_reader_handle(d->mpg, readMp3, seekMp3, nullptr) != MPG123_OK ||
        mpg123_open_handle(d->mpg, &d->cursor) != MPG123_OK) {
        closeDecoder(d);
        return nullptr;
    }
    return d;
}

// A stream is usable when the decoder finds at least one frame with sound in it.
bool decodesAudio(const FileBytes &bytes) {
    Mp3Decoder *d = openDecoder(bytes, AUDIO_RATE);
    if (!d)
        return false;
    bool found = false;
    for (int tries = 0; tries < 64 && !found; tries++) {
        off_t number;
        unsigned char *pcm;
        size_t size = 0;
        int result = mpg123_decode_frame(d->mpg, &number, &pcm, &size);
        if (result == MPG123_OK && size > 0)
            found = true;
        else if (result != MPG123_OK && result != MPG123_NEW_FORMAT)
            break;
    }
    closeDecoder(d);
    return found;
}

static void pushModuleStamp(int64_t at, uint32_t word) {
    std::lock_guard<std::mutex> clock(clockLock);
    moduleStamps.push(at, word);
}

static void pushModuleEnd(int64_t at) {
    std::lock_guard<std::mutex> clock(clockLock);
    moduleEnds.push_back(at);
    // only whether and how often the song has ended matters: the oldest ends may go
    if (moduleEnds.size() > 64)
        moduleEnds.erase(moduleEnds.begin());
}

static void pushStreamStamp(int64_t at, uint32_t position) {
    std::lock_guard<std::mutex> clock(clockLock);
    streamStamps.push(at, position);
}

// libopenmpt is always read in whole chunks counted from the song's start, because its
// output differs by a bit here and there with other read sizes; the output then depends on
// nothing but the song, however the device or a caller of audioPullTo cuts it up. After a
// read libopenmpt reports the order and row of the chunk's last frame; the change to it
// happened somewhere inside the chunk, so it is stamped at the chunk's middle.
static void renderModule(int16_t *dst, int frames, int64_t start) {
    int done = 0;
    while (done < frames && modulePlaying) {
        if (moduleChunkUsed == moduleChunkFrames) {
            if (moduleChunkFrames > 0 && moduleChunkFrames < chunkFrames && !moduleLoop) {
                modulePlaying = false;  // the song is over and has faded out
                pushModuleEnd(start + done);
                break;
            }
            moduleChunkFrames = int(module->read_interleaved_stereo(outputRate, chunkFrames, moduleChunk));
            moduleChunkUsed = 0;
            if (moduleChunkFrames == 0 && moduleLoop) {
                // the end of a pass: the next read plays on from the song's start or its
                // restart position, in chunks counted from there
                pushModuleEnd(start + done);
                moduleChunkFrames = int(module->read_interleaved_stereo(outputRate, chunkFrames, moduleChunk));
            }
            if (moduleChunkFrames == 0) {
                modulePlaying = false;
                if (!moduleLoop)
                    pushModuleEnd(start + done);
                break;
            }
            uint32_t word = positionWord(module->get_current_order(), module->get_current_row());
            // A song that does not loop reports order 0 row 0 during its fade-out at the end:
            // that is not a restart, so the last row stays current.
            if (word == 0 && modulePastStart && !moduleLoop)
                continue;
            if (word != 0)
                modulePastStart = true;
            pushModuleStamp(start + done + moduleChunkFrames / 2, word);
            continue;
        }
        int n = std::min(frames - done, moduleChunkFrames - moduleChunkUsed);
        mixInto(dst + done * 2, moduleChunk + moduleChunkUsed * 2, n * 2);
        moduleChunkUsed += n;
        done += n;
    }
}

static void endStream(int64_t at) {
    streamPlaying = false;
    streamPcm = nullptr;
    streamPcmFrames = streamPcmUsed = 0;
    pushStreamStamp(at, streamLength);
}

// Decodes the stream's next MPEG frame and stamps its file offset at the output frame where
// its samples begin (mpg123_framepos right after mpg123_decode_frame is that offset); at
// another rate than AUDIO_RATE its frames go through the resampler, and at the end the
// resampler gives out what it still holds. False once nothing is left.
static bool decodeStreamLocked() {
    Mp3Decoder *d = stream;
    for (;;) {
        off_t number;
        unsigned char *pcm;
        size_t bytes = 0;
        int result = d->flushed ? MPG123_DONE : mpg123_decode_frame(d->mpg, &number, &pcm, &bytes);
        if (result == MPG123_NEW_FORMAT)
            continue;  // the format is fixed to ours, so nothing changes
        if (result != MPG123_OK && !d->resampler)
            return false;  // MPG123_DONE, or an error we cannot get past
        size_t frames = result == MPG123_OK ? bytes / 4 : 0;
        if (frames > 0) {
            int64_t begins = (d->decodedFrames * d->rate + AUDIO_RATE - 1) / AUDIO_RATE;
            pushStreamStamp(d->origin + begins, uint32_t(mpg123_framepos(d->mpg)));
            d->decodedFrames += int64_t(frames);
        }
        if (!d->resampler) {
            streamPcm = reinterpret_cast<const int16_t *>(pcm);
            streamPcmFrames = frames;
            streamPcmUsed = 0;
            if (frames > 0)
                return true;
            continue;
        }
        if (result != MPG123_OK)
            d->flushed = true;  // from now on only what the resampler still holds
        size_t room = frames * size_t(d->rate) / AUDIO_RATE + 4096;
        d->resampled.resize(room * 2);
        size_t used = 0, made = 0;
        soxr_process(d->resampler, frames ? pcm : nullptr, frames, &used, d->resampled.data(), room, &made);
        d->resampled.resize(made * 2);
        streamPcm = d->resampled.data();
        streamPcmFrames = made;
        streamPcmUsed = 0;
        if (made > 0)
            return true;
        if (d->flushed)
            return false;
    }
}

static void renderStream(int16_t *dst, int frames, int64_t start) {
    int done = 0;
    if (streamPlaying && stream->origin < 0)
        stream->origin = start;
    while (done < frames && streamPlaying) {
        if (streamPcmUsed == streamPcmFrames) {
            if (!decodeStreamLocked())
                endStream(start + done);
            continue;
        }
        int n = int(std::min<size_t>(frames - done, streamPcmFrames - streamPcmUsed));
        mixInto(dst + done * 2, streamPcm + streamPcmUsed * 2, n * 2);
        streamPcmUsed += n;
        done += n;
    }
}

// Renders the next `frames` output frames into out (interleaved stereo).
void renderLocked(int16_t *out, int frames) {
    memset(out, 0, size_t(frames) * 4);
    if (outputRunning && modulePlaying && module)
        renderModule(out, frames, renderedFrames);
    if (outputRunning && streamPlaying && stream)
        renderStream(out, frames, renderedFrames);
    std::lock_guard<std::mutex> clock(clockLock);
    renderedFrames += frames;
}

uint32_t modulePositionLocked(int64_t heard) {
    if (moduleFrozen)
        return moduleFrozenWord;
    return moduleStamps.at(heard - 1);
}

int moduleEndsLocked(int64_t heard) {
    if (moduleFrozen)
        return moduleFrozenEnds;
    return int(std::count_if(moduleEnds.begin(), moduleEnds.end(), [&](int64_t end) { return end <= heard - 1; }));
}

uint32_t streamPositionLocked(int64_t heard) {
    if (streamFrozen)
        return streamFrozenPosition;
    return streamStamps.at(heard - 1);
}

void closeStreamLocked() {
    closeDecoder(stream);
    stream = nullptr;
    streamPcm = nullptr;
    streamPcmFrames = streamPcmUsed = 0;
    streamPlaying = streamFrozen = false;
}

}  // namespace engine
