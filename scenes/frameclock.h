// frameclock.h -- what the scenes take from the frame driver: its frame count and the random draw
#pragma once
#include <cstdlib>

// Frames drawn, counted by the frame driver at the end of every frame: the scenes' animation
// clock (the samovar scene adds one of its own per frame).
inline int frameCounter;

// One random draw u in [0, 1] from the program's one unseeded generator. The scenes' ranges
// are written for a generator of 15-bit values (0 to 32767); glibc's rand() spans 0 to
// 2^31 - 1, so its top 15 bits are taken (on a 15-bit rand() the divisor is 1).
inline int randomValue() { return rand() / (RAND_MAX / 32768 + 1); }
inline double randomDraw() { return randomValue() / 32767.0; }
