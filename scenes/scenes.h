// scenes.h -- the render functions of the scene timeline and the scenes' initialisers
#pragma once
#include <cstdlib>

// Called once per frame with the module's order and row and the elapsed milliseconds.
typedef void (*RenderFunction)(int order, int row, float elapsedMs);

void captionScene(int order, int row, float elapsedMs);
void samovarScene(int order, int row, float elapsedMs);
void sirppijavasaraScene(int order, int row, float elapsedMs);
void portraitScene(int order, int row, float elapsedMs);
void ripaskaScene(int order, int row, float elapsedMs);
void spiralScene(int order, int row, float elapsedMs);
void missileScene(int order, int row, float elapsedMs);

void initRipaska();
void initMissiles();
void initSirppijavasara();
void initPortraits();

// The letter font shared by the captions and the end part.
extern int letterPhase;  // angle step of the next letter drawn; set to frameCounter per frame
// Draws letter `index` (0 for a to 25 for z) at the origin; any other index draws nothing.
void drawLetter(int index);
// Lays out one line of text as the captions do: pen from -2.0 in steps of 0.45, each
// letter swaying and pulsing with frameCounter. Characters outside a to z draw nothing.
void drawWord(const char *text, float x, float y);

// One random draw u in [0, 1] from the program's one unseeded generator. The scenes' ranges
// are written for a generator of 15-bit values (0 to 32767); glibc's rand() spans 0 to
// 2^31 - 1, so its top 15 bits are taken (on a 15-bit rand() the divisor is 1).
inline int randomValue() { return rand() / (RAND_MAX / 32768 + 1); }
inline double randomDraw() { return randomValue() / 32767.0; }
