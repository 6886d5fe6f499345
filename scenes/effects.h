// effects.h -- the models, textures and display lists every scene shares, and their set-up
#pragma once
#include "lwo2.h"
#include "tga.h"

// The model bank: one object per file, loaded by loadModels.
extern LwoObject *sirppijavasaraModel;
extern LwoObject *gowestModel;
extern LwoObject *missileModel;
extern LwoObject *balalaikaModel;
extern LwoObject *samovarModel;
extern LwoObject *ripaskaLeftModel;
extern LwoObject *ripaskaRightModel;
extern LwoObject *ripaskaStillModel;
extern LwoObject *fuckguidelinesModel;
extern LwoObject *raveModel;
extern LwoObject *spiralModel;
extern LwoObject *letterModels[26];  // a to z
// The eleven named models and their files, in load order (the tools walk the bank by these).
extern LwoObject **const namedModels[11];
extern const char *const namedModelPaths[11];

// The texture bank, loaded by loadTextures.
extern Texture *particleTexture;
extern Texture *picture1Texture;
extern Texture *picture2Texture;
extern Texture *kaavio1Texture;
extern Texture *kaavio2Texture;
extern Texture *portrait6Texture;
extern Texture *portrait5Texture;
extern Texture *portrait4Texture;
extern Texture *portrait3Texture;
extern Texture *portrait2Texture;
extern Texture *portrait1Texture;

// Shared display lists, compiled by loadModels.
extern unsigned int samovarLists[6];    // alpha k / 12 for list k
extern unsigned int balalaikaLists[6];  // alpha k / 12 for list k
extern unsigned int flashList;
extern unsigned int sirppijavasaraList;
extern unsigned int raveList;
extern unsigned int spiralList;

void initEffects();
void loadModels();
void loadTextures();
void deinitEffects();
void releaseModels();
void releaseTextures();
