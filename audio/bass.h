// bass.h -- the audio interface the player calls: twelve operations, implemented by the engine in audio/
#pragma once

typedef unsigned int DWORD;
typedef int BOOL;
typedef DWORD HMUSIC;
typedef DWORD HSTREAM;

// Flag for BASS_MusicLoad, BASS_StreamCreateFile and BASS_StreamPlay: loop at the end. Here
// only BASS_MusicLoad heeds it: the module plays on from its start (or its restart position)
// after its last row, and audioModuleEnds (audio.h) counts each pass that ended. A stream
// always plays once and then reports its length as its position; the flag is ignored for it.
#define BASS_LOOP 4

// Handle 0 means "nothing loaded". Every query on handle 0 returns without harm:
// BASS_ChannelGetPosition gives 0xFFFFFFFF (order and row 65535, a position that matches
// no timeline row), BASS_StreamGetFilePosition and BASS_StreamGetLength give 0.

// Opens the output (stereo). Non-zero when a sound device opened; zero when the engine fell
// back to its silent real-time clock, on which everything still plays. All four arguments
// are ignored: the output is the default one of the back-end chosen through audio.h (cubeb
// picks the device), at the rate the server runs at (44100 Hz without one; see audio.h),
// and there is no window to attach to.
// The operations below are called from one thread (the player's main thread).
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void *win);
// Loads an XM module from a file, or with mem non-zero from the `length` bytes at `file` +
// `offset` (copied). Returns 0 when it is missing, too large or invalid: audioLoadError (audio.h)
// says why.
HMUSIC BASS_MusicLoad(BOOL mem, const char *file, DWORD offset, DWORD length, DWORD flags);
// Starts (or resumes) the output.
BOOL BASS_Start(void);
// Plays the module from order 0, row 0.
BOOL BASS_MusicPlay(HMUSIC handle);
// Order in the low 16 bits and row in the high 16 bits of the sample being heard now.
DWORD BASS_ChannelGetPosition(DWORD handle);
// Stops all output.
BOOL BASS_Stop(void);
// Opens an MP3 stream from a file or from memory, as BASS_MusicLoad (the bytes are held in
// memory while it plays). Returns 0 when it is missing, too large or invalid.
HSTREAM BASS_StreamCreateFile(BOOL mem, const char *file, DWORD offset, DWORD length, DWORD flags);
// Plays the stream from its start.
BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags);
// Mode 0: byte offset in the file of the MP3 frame being heard now. Once the stream has
// played out it equals the file's length.
DWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode);
// Length of the stream's file in bytes.
DWORD BASS_StreamGetLength(HSTREAM handle);
// Closes the output and frees the module and the stream.
void BASS_Free(void);
// Frees a stream; handle 0 (or one already freed with BASS_Free) does nothing.
BOOL BASS_StreamFree(HSTREAM handle);
