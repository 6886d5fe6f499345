// audio.h -- the audio engine's back-end seam: where the mixed samples go and how time runs
#pragma once
#include <cstdint>

// The engine renders the module and the stream into stereo 16-bit frames at the output's
// rate (audioOutputRate), 44100 Hz unless a device runs at another. Where those frames go
// is the back-end:
//   AUDIO_DEVICE  a sound device: PipeWire's own stream where a PipeWire server with a sink
//                 answers, else a cubeb output stream (PulseAudio, ALSA, ...). The frame
//                 heard now is PipeWire's account of each graph cycle, carried on by the
//                 steady clock, or cubeb's stream position; both count the server's or the
//                 card's latency. The stream opens at the rate the server runs at (e.g.
//                 48000 Hz), and the engine renders the module at that rate and resamples
//                 the MP3 to it, so that nothing resamples on the way; positions are the
//                 same at every rate. Standard output names the device once, and says
//                 when one is lost, found again, or found after BASS_Init fell back.
//                 Plays on AUDIO_SILENT while there is none: when none opens within 3 s
//                 of BASS_Init, or when it fails, stalls for half a second (a server that
//                 stopped answering) or the default output changes; the silent clock then
//                 carries on from the frame heard, and an output is tried again every
//                 1.5 s off the caller's thread and taken on at the frame the clock has
//                 reached. No call on the caller's thread waits on a server unbounded.
//   AUDIO_SILENT  no output: the engine's own clock, heard frame = steady-clock time since
//                 BASS_Init x the output's rate, with a thread rendering just ahead of it so that the
//                 positions follow as they would on a device.
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
// Frames a second of the output: every frame count here (rendered, heard, pulled) is at
// this rate. AUDIO_RATE, or a device's own rate once it opened in BASS_Init, or for the
// pull and silent back-ends the rate chosen with audioSelectRate (AUDIO_RATE unless chosen).
int audioOutputRate();
// The rate the pull and silent back-ends render at, chosen before BASS_Init (tests compare
// positions across rates); a device takes the server's. The capture keeps AUDIO_RATE.
void audioSelectRate(int rate);
// Which device AUDIO_DEVICE opens: "pipewire" (PipeWire's own stream) or one of cubeb's
// back-ends ("pulse", "alsa", "jack", "sndio"); null, the default, tries PipeWire first and
// then cubeb's back-ends in cubeb's order. A named one that cannot be had counts as no
// device. Choose before BASS_Init; the string must outlive the call.
void audioSelectOutput(const char *name);
// The output in use: "pipewire" or cubeb's back-end name while a device plays, "silent" or "pull".
const char *audioOutputName();

// Why the last BASS_MusicLoad or BASS_StreamCreateFile that returned 0 failed, e.g. "not an
// XM module", "No such file or directory", "file too large (2147483648 bytes)"; "" after a
// load that succeeded. For the thread that loads.
const char *audioLoadError();
// Seconds an XM file plays for, once through from its start, read before anything plays (the
// capture's estimate of its disk space); negative when the file cannot be read as a module.
double audioModuleFileSeconds(const char *path);

// Pull back-end only: renders output frames up to (not including) frame index `frame`,
// counted from BASS_Init, and, when `out` is not null, writes them there as interleaved
// stereo samples ((frame - audioRenderedFrames()) * 2 values). Returns the frames rendered.
int64_t audioPullTo(int64_t frame, int16_t *out);
// Frames handed to the back-end so far.
int64_t audioRenderedFrames();
// The output frame being heard now: the device's position, interpolated on the steady
// clock between its updates; the silent clock's; or, when pulled, the frames pulled.
// It never goes backwards.
int64_t audioHeardFrame();
// Position queries (order and row, the stream's file position, and what BASS_Stop keeps)
// answer for the frame heard `seconds` from now rather than now: the frame driver sets the
// time from its query to its picture's swap, so a picture shows the music heard when it
// appears. 0 by default; the pull back-end always answers for the frames pulled.
void audioSetLookahead(double seconds);
// The frame the position queries answer for now: audioHeardFrame plus the lookahead. It
// never goes backwards, even when the lookahead falls: the answer then holds until the
// music catches up, so the positions never step back while the music plays forward.
int64_t audioQueriedFrame();
// How many times the module has played through its last row by the frame the position
// queries answer for: each pass of a looping module, or the end of one that does not loop
// (libopenmpt reports the song's end as it renders it). 0 on handle 0; kept by BASS_Stop as
// the position is. The frame driver ends the timeline on it, so a frame that comes only
// after the module went past its end (a stalled machine, a capture at a frame a second)
// still ends it, and no step back of the position can be taken for a loop.
int audioModuleEnds(unsigned int handle);  // a module handle (HMUSIC)
