// audio.h -- the audio engine's back-end seam: where the mixed samples go and how time runs
#pragma once
#include <cstdint>

// The engine renders the module and the stream into 44100 Hz stereo 16-bit frames. Where
// those frames go is the back-end:
//   AUDIO_DEVICE  an SDL audio device; falls back to AUDIO_SILENT when none opens
//   AUDIO_SILENT  SDL's dummy driver: nothing is heard, but time runs as on a device
//   AUDIO_PULL    no thread and no device: the caller renders up to a frame index with
//                 audioPullTo, and the position queries report that frame as heard now:
//                 the stream's file position is that of the MPEG frame that coded the last
//                 frame rendered, the module's order and row those of a frame within half a
//                 chunk of it (exactly libopenmpt's report when the pull ends a chunk).
//                 The same pulls always give the same samples and positions.
// Choose before BASS_Init; the default is AUDIO_DEVICE. BASS_Init returns non-zero for
// AUDIO_DEVICE and AUDIO_PULL, zero for AUDIO_SILENT and for a device that fell back.
enum AudioBackend { AUDIO_DEVICE, AUDIO_SILENT, AUDIO_PULL };

const int AUDIO_RATE = 44100;
// The module is rendered in reads of this many frames counted from its start, whatever the
// output asks for, so its samples depend on nothing else; its position is known once per
// such chunk (2.9 ms).
const int AUDIO_CHUNK_FRAMES = 128;

void audioSelectBackend(AudioBackend backend);
AudioBackend audioBackend();

// Pull back-end only: renders output frames up to (not including) frame index `frame`,
// counted from BASS_Init, and, when `out` is not null, writes them there as interleaved
// stereo samples ((frame - audioRenderedFrames()) * 2 values). Returns the frames rendered.
int64_t audioPullTo(int64_t frame, int16_t *out);
// Frames handed to the back-end so far.
int64_t audioRenderedFrames();
// The output frame being heard now (estimated for a device from its buffering).
int64_t audioHeardFrame();
