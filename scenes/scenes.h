// scenes.h -- the render functions of the scene timeline and the scenes' initialisers
#pragma once
#include "frameclock.h"

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
// The words' look, before a frame's words are drawn (the captions', the end part's): yellow
// at `alpha`, blended over the picture, flat shaded, the letters' phase at frameCounter.
void beginWords(float alpha);
const float END_WORD_ALPHA = 0.1f;  // the end part's words' opacity
