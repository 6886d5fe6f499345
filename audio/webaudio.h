// webaudio.h -- what the web build's audio engine offers beyond bass.h and audio.h
#pragma once

// Pull back-end only: goes on from the frame pulled last as a live output, heard through
// WebAudio (or on the silent clock where the browser has none): the module, or the stream
// once the end part has begun, plays on from that frame, and the heard frame runs on from it
// as the sound is heard. So a show started at a moment runs its frames before it unseen on
// the pulled clock, as the capture does, and is then heard from that moment in step.
// Returns non-zero when it goes on through WebAudio.
extern "C" int audioGoLive(void);
